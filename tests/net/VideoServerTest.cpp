// The video-server connection against tavrina-sim on loopback: real sockets, real H.264.

#include <gtest/gtest.h>

#include <QFile>
#include <QTcpSocket>
#include <memory>
#include <set>
#include <vector>

#include "SimProcess.h"
#include "net/QtTcpClient.h"
#include "net/RTP_Cont.h"
#include "util/Clock.h"

using media::SIMCH;
using net::RTP_Cont;
using tavrina_test::runUntil;
using tavrina_test::SimProcess;

namespace {

struct Reply {
    uint16_t code;
    bool ok;
    std::string text;
};

// A client connection with everything it receives recorded.
class Client {
public:
    Client(const SimProcess& sim, const std::string& user = "demo",
           const std::string& password = "mqv908172")
        : cont([this] { return makeSocket(); }, util::systemClock()) {
        cont.serverAddress = "127.0.0.1";
        cont.serverPort = sim.videoPort;
        cont.OnReply = [this](const SIMCH&, uint16_t code, bool ok, const std::string& text) {
            replies.push_back({code, ok, text});
            if (code == RTP_Cont::kAnswer && ok) ++logins;
        };
        cont.OnFrame = [this](const media::RTPmeta& h, std::string_view body) {
            ++frames;
            if (h.PT == media::kPtH264) h264.append(body);
            if (h.dataType == media::kAudio) audioTypes.insert(h.PT);
        };
        cont.Connect(user, password);
    }

    bool until(const std::function<bool()>& done, int ms) {
        return runUntil(done, ms, [this] { cont.Poll(); });
    }
    bool hasReply(uint16_t code) const {
        for (const Reply& r : replies)
            if (r.code == code) return true;
        return false;
    }
    const Reply& last(uint16_t code) const {
        for (auto it = replies.rbegin(); it != replies.rend(); ++it)
            if (it->code == code) return *it;
        static const Reply none{0, false, {}};
        return none;
    }
    std::unique_ptr<net::TcpClient> makeSocket() { return std::make_unique<net::QtTcpClient>(); }

    RTP_Cont cont;
    std::vector<Reply> replies;
    int logins = 0;
    int frames = 0;
    std::string h264;
    std::set<int> audioTypes;
};

std::set<int> nalTypes(const std::string& stream) {
    std::set<int> types;
    for (size_t i = 0; (i = stream.find(std::string("\0\0\0\1", 4), i)) != std::string::npos;) {
        i += 4;
        if (i < stream.size()) types.insert(stream[i] & 0x1F);
    }
    return types;
}

} // namespace

TEST(VideoServer, OpenStreamsDecodableVideoAndCloses) {
    SimProcess sim;
    ASSERT_TRUE(sim.running());
    Client c(sim);
    ASSERT_TRUE(c.until([&] { return c.cont.loggedIn(); }, 5000));
    EXPECT_TRUE(c.hasReply(RTP_Cont::kNotice));

    const SIMCH key{sim.firstSim, sim.firstChannel};
    c.cont.RequestChannel(key, true, 0, 0);
    ASSERT_TRUE(c.until([&] { return c.hasReply(RTP_Cont::kOpen); }, 3000));
    EXPECT_TRUE(c.last(RTP_Cont::kOpen).ok);
    EXPECT_EQ(c.last(RTP_Cont::kOpen).text, "0"); // the terminal was not streaming yet

    ASSERT_TRUE(c.until([&] { return c.frames >= 30; }, 5000));
    const std::set<int> types = nalTypes(c.h264);
    EXPECT_TRUE(types.count(7) && types.count(8) && types.count(5)) << "SPS, PPS and IDR";
    // The first vehicle speaks G.711 A-law.
    EXPECT_EQ(c.audioTypes, std::set<int>{media::kPtG711A});

    // A second viewer finds the stream already there.
    Client other(sim);
    ASSERT_TRUE(other.until([&] { return other.cont.loggedIn(); }, 5000));
    other.cont.RequestChannel(key, true, 0, 0);
    ASSERT_TRUE(other.until([&] { return other.hasReply(RTP_Cont::kOpen); }, 3000));
    EXPECT_EQ(other.last(RTP_Cont::kOpen).text, "1");

    other.cont.RequestChannel(key, false, 0, 0);
    ASSERT_TRUE(other.until([&] { return other.hasReply(RTP_Cont::kClose); }, 3000));
    EXPECT_EQ(other.last(RTP_Cont::kClose).text, "2"); // someone still watches
    c.cont.RequestChannel(key, false, 0, 0);
    ASSERT_TRUE(c.until([&] { return c.hasReply(RTP_Cont::kClose); }, 3000));
    EXPECT_EQ(c.last(RTP_Cont::kClose).text, "1");
}

TEST(VideoServer, FlowControlHoldsAndResumesTheRelay) {
    SimProcess sim;
    ASSERT_TRUE(sim.running());
    Client c(sim);
    ASSERT_TRUE(c.until([&] { return c.cont.loggedIn(); }, 5000));
    const SIMCH key{sim.firstSim, sim.firstChannel};
    c.cont.RequestChannel(key, true, 0, 0);
    ASSERT_TRUE(c.until([&] { return c.frames >= 5; }, 5000));

    c.cont.SendFlowControl(key, 1);
    c.until([] { return false; }, 300); // what was already on the way
    const int held = c.frames;
    c.until([] { return false; }, 700);
    EXPECT_EQ(c.frames, held);

    c.cont.SendFlowControl(key, 0);
    EXPECT_TRUE(c.until([&] { return c.frames >= held + 5; }, 3000));
}

TEST(VideoServer, WrongPasswordAndUnknownChannelAreRefused) {
    SimProcess sim;
    ASSERT_TRUE(sim.running());
    Client wrong(sim, "demo", "not-the-password");
    ASSERT_TRUE(wrong.until([&] { return wrong.hasReply(RTP_Cont::kAnswer); }, 5000));
    EXPECT_FALSE(wrong.last(RTP_Cont::kAnswer).ok);
    EXPECT_FALSE(wrong.cont.loggedIn());

    Client stranger(sim, "nobody");
    ASSERT_TRUE(stranger.until([&] { return stranger.hasReply(RTP_Cont::kLogin); }, 5000));
    EXPECT_FALSE(stranger.last(RTP_Cont::kLogin).ok);

    Client c(sim);
    ASSERT_TRUE(c.until([&] { return c.cont.loggedIn(); }, 5000));
    c.cont.RequestChannel({"00000000000000000000", 1}, true, 0, 0);
    ASSERT_TRUE(c.until([&] { return c.hasReply(RTP_Cont::kOpen); }, 3000));
    EXPECT_FALSE(c.last(RTP_Cont::kOpen).ok);
}

TEST(VideoServer, DroppedConnectionIsRestoredWithin6Seconds) {
    SimProcess sim({"--drop-after", "1"});
    ASSERT_TRUE(sim.running());
    Client c(sim);
    ASSERT_TRUE(c.until([&] { return c.logins == 1; }, 5000));
    ASSERT_TRUE(c.until([&] { return !c.cont.loggedIn(); }, 3000));
    EXPECT_TRUE(c.until([&] { return c.logins == 2; }, 6000));
}

TEST(VideoServer, JunkFloodIsDroppedAndTheServerLivesOn) {
    SimProcess sim;
    ASSERT_TRUE(sim.running());
    QTcpSocket junk;
    junk.connectToHost("127.0.0.1", sim.videoPort);
    ASSERT_TRUE(junk.waitForConnected(3000));
    const QByteArray chunk(16 * 1024, 'j');
    for (int i = 0; i < 16 && junk.state() == QAbstractSocket::ConnectedState; ++i) {
        junk.write(chunk);
        junk.waitForBytesWritten(1000);
    }
    EXPECT_TRUE(runUntil([&] { return junk.state() != QAbstractSocket::ConnectedState; }, 3000));

    Client c(sim);
    EXPECT_TRUE(c.until([&] { return c.cont.loggedIn(); }, 5000));
}

TEST(VideoServer, RealTerminalOnTheTerminalPortIsRelayed) {
    QFile capture(QString(TAVRINA_TESTDATA) + "/jt1078/sim10-h264-g711a.rtp");
    if (!capture.open(QIODevice::ReadOnly)) GTEST_SKIP() << "shared test data not found";
    const QByteArray bytes = capture.readAll();
    SimProcess sim;
    ASSERT_TRUE(sim.running());

    QTcpSocket terminal;
    terminal.connectToHost("127.0.0.1", sim.terminalPort);
    ASSERT_TRUE(terminal.waitForConnected(3000));
    const qsizetype half = bytes.size() / 2;
    terminal.write(bytes.left(half));
    terminal.waitForBytesWritten(1000);

    Client c(sim);
    ASSERT_TRUE(c.until([&] { return c.cont.loggedIn(); }, 5000));
    const SIMCH key{"00000000020232609559", 1};
    c.cont.RequestChannel(key, true, 0, 0);
    ASSERT_TRUE(c.until([&] { return c.hasReply(RTP_Cont::kOpen); }, 3000));
    EXPECT_TRUE(c.last(RTP_Cont::kOpen).ok);
    EXPECT_EQ(c.last(RTP_Cont::kOpen).text, "1"); // the terminal is already streaming

    terminal.write(bytes.mid(half));
    terminal.waitForBytesWritten(1000);
    EXPECT_TRUE(c.until([&] { return c.frames >= 50; }, 3000)) << c.frames;
    EXPECT_FALSE(c.h264.empty());
}

// With --replay every terminal streams a real terminal's capture: from its first key frame,
// looped, keyed to the terminal's own SIM and channel, with timestamps that carry on.
TEST(VideoServer, ReplayStreamsACaptureUnderEachTerminalsKey) {
    SimProcess sim({"--replay", TAVRINA_TESTDATA "/jt1078/sim10-h264-g711a.rtp"});
    ASSERT_TRUE(sim.running());
    Client c(sim);
    std::vector<media::RTPmeta> video;
    std::set<SIMCH> keys;
    c.cont.OnFrame = [&](const media::RTPmeta& h, std::string_view) {
        keys.insert(h.simch);
        if (h.dataType <= media::kVideoB) video.push_back(h);
    };
    ASSERT_TRUE(c.until([&] { return c.cont.loggedIn(); }, 5000));
    const SIMCH key{sim.firstSim, sim.firstChannel};
    c.cont.RequestChannel(key, true, 0, 0);
    // The capture's 40 pictures after its first key frame last about 4 s: wait for a second pass.
    ASSERT_TRUE(c.until([&] { return video.size() >= 50; }, 15000));
    EXPECT_EQ(keys, std::set<SIMCH>{key});
    EXPECT_EQ(video.front().dataType, media::kVideoI);
    size_t keyFrames = 0;
    for (size_t i = 1; i < video.size(); ++i) {
        EXPECT_GT(video[i].timestamp, video[i - 1].timestamp) << i;
        keyFrames += video[i].dataType == media::kVideoI;
    }
    EXPECT_GE(keyFrames, 2u);
}

TEST(VideoServer, ReplayOfAFileWithoutVideoIsRefused) {
    QTemporaryDir dir;
    const QString empty = dir.filePath("empty.rtp");
    QFile(empty).open(QIODevice::WriteOnly);
    for (const QString& file : {empty, dir.filePath("missing.rtp")}) {
        QProcess p;
        p.start(TAVRINA_SIM, {"--video-port", "0", "--terminal-port", "0", "--replay", file});
        ASSERT_TRUE(p.waitForFinished(10000));
        EXPECT_EQ(p.exitCode(), 1);
        EXPECT_TRUE(p.readAllStandardError().contains("cannot replay"));
    }
}
