#include "net/RTP_Cont.h"

#include <gtest/gtest.h>

#include <vector>

#include "FakeTcpClient.h"
#include "util/BEPack.h"
#include "util/BEUnpack.h"
#include "util/GbkText.h"

using namespace util::literals;
using media::SIMCH;
using net::RTP_Cont;
using tavrina_test::FakeTcpClient;

namespace {

const std::string kUser = "demo";
const std::string kPassword = "mqv908172";
const SIMCH kChannel{"00000000013912345678", 2};

// One control message as the server received it.
struct Sent {
    uint16_t seq;
    SIMCH key;
    uint16_t code;
    std::string rest;
};

struct Reply {
    SIMCH key;
    uint16_t code;
    bool result;
    std::string text;
};

class RTP_ContTest : public ::testing::Test {
protected:
    RTP_ContTest() : clock(0, 46000.0), cont([this] { return makeSocket(); }, clock) {
        cont.serverAddress = "video.example";
        cont.serverPort = 7611;
        cont.OnReply = [this](const SIMCH& k, uint16_t code, bool result, const std::string& text) {
            replies.push_back({k, code, result, text});
        };
    }

    std::unique_ptr<net::TcpClient> makeSocket() {
        auto s = std::make_unique<FakeTcpClient>();
        sock = s.get();
        return s;
    }

    // Advances the clock a second at a time, polling as the owner's timer would.
    void seconds(int n) {
        for (int i = 0; i < n; ++i) {
            clock.advanceMs(1000);
            cont.Poll();
        }
    }

    // Everything the client sent so far, decoded.
    std::vector<Sent> sent() const {
        std::vector<Sent> out;
        media::RTP1078Exp exp;
        exp.OnPacket = [&](const media::RTP_data& p) {
            util::BEUnpack in(std::string_view(p.data).substr(p.data.size() - p.meta.length));
            Sent s{p.meta.seq, p.meta.simch, 0, {}};
            in.u16(s.code);
            in.raw(in.remaining(), s.rest);
            out.push_back(s);
        };
        exp.Feed(sock->sent + "pad!");
        return out;
    }

    static std::string reply(uint16_t code, bool ok, const std::string& text, SIMCH key = {}) {
        uint16_t seq = 0;
        util::BEPack body;
        body.u16(0).u16(code).u8(ok ? 1 : 0).str16(text);
        return media::RTP1078Exp::BuildControlPacket(key, body.bytes(), seq);
    }

    void logIn() {
        cont.Connect(kUser, kPassword);
        seconds(1);
        sock->accept();
        sock->deliver(reply(3, true, "c1"));
        sock->deliver(reply(4, true, "ok"));
        ASSERT_TRUE(cont.loggedIn());
        replies.clear();
        sock->sent.clear();
    }

    util::FakeClock clock;
    FakeTcpClient* sock = nullptr;
    RTP_Cont cont;
    std::vector<Reply> replies;
};

std::string text16(const std::string& s) {
    return util::BEPack().str16(s).take();
}

} // namespace

TEST(RTP_ContTokens, KnownValues) {
    const std::string key = "vbnx%%%kwz847";
    const std::string hash = RTP_Cont::PasswordHash("demo", "mqv908172", key);
    EXPECT_EQ(hash, "e949a56f7cff62509399b962e0e08c71");
    EXPECT_EQ(RTP_Cont::LoginToken("demo", key),
              "a74f251fdf6352e78cd5cb1a65bf71ee1017be95211f2cdb4894bb6b3eb1fb1e");
    EXPECT_EQ(RTP_Cont::AnswerToken("demo", "c1", hash),
              "12b8910e8816a482486e6914870a452aba84f89837d4d78a4bbde02adfbe9d3c");
    // An empty challenge still gives 64 digits.
    EXPECT_EQ(RTP_Cont::AnswerToken("demo", "", hash),
              "394713293371c75b19f7ae29a80818da21350b3880917cf7dfbe2ed80f069254");
}

TEST_F(RTP_ContTest, LoginSequence) {
    cont.Connect(kUser, kPassword);
    cont.Poll();
    EXPECT_TRUE(sock->opens.empty()); // the first attempt waits for the once-a-second step
    seconds(1);
    ASSERT_EQ(sock->opens.size(), 1u);
    EXPECT_EQ(sock->opens[0], std::make_pair(std::string("video.example"), uint16_t{7611}));

    sock->accept();
    auto out = sent();
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].code, RTP_Cont::kLogin);
    EXPECT_EQ(out[0].seq, 0);
    EXPECT_EQ(out[0].key, (SIMCH{std::string(20, '0'), 0})); // the empty key on the wire
    EXPECT_EQ(out[0].rest, text16(kUser) + text16(RTP_Cont::LoginToken(kUser, cont.key)));

    sock->deliver(reply(3, true, "c1"));
    EXPECT_TRUE(replies.empty()); // answered inside, not reported
    out = sent();
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[1].code, RTP_Cont::kAnswer);
    EXPECT_EQ(out[1].seq, 1);
    EXPECT_EQ(out[1].rest,
              text16(kUser) +
                  text16("12b8910e8816a482486e6914870a452aba84f89837d4d78a4bbde02adfbe9d3c"));
    EXPECT_FALSE(cont.loggedIn());

    sock->deliver(reply(4, true, "welcome"));
    EXPECT_TRUE(cont.loggedIn());
    ASSERT_EQ(replies.size(), 1u);
    EXPECT_EQ(replies[0].code, 4);
    EXPECT_TRUE(replies[0].result);
    EXPECT_EQ(replies[0].text, "welcome");
}

TEST_F(RTP_ContTest, FailedLoginStepsOnlyReachTheOwner) {
    for (uint16_t step : {3, 4}) {
        replies.clear();
        cont.Connect(kUser, kPassword);
        seconds(1);
        sock->accept();
        if (step == 4) sock->deliver(reply(3, true, "c"));
        const size_t before = sent().size();
        sock->deliver(reply(step, false, "refused"));
        EXPECT_EQ(sent().size(), before) << step;
        ASSERT_EQ(replies.size(), 1u) << step;
        EXPECT_EQ(replies[0].code, step);
        EXPECT_FALSE(replies[0].result);
        EXPECT_FALSE(cont.loggedIn());
    }
}

TEST_F(RTP_ContTest, RequestsBeforeLoginSendNothing) {
    cont.RequestChannel(kChannel, true, 0, 0); // no socket at all
    cont.Connect(kUser, kPassword);
    seconds(1);
    sock->accept();
    sock->sent.clear();
    cont.RequestChannel(kChannel, false, 0, 0);
    cont.SendFlowControl(kChannel, 1);
    uint16_t mediaSeq = 0;
    cont.SendMedia(media::RTPmeta{}, "pcm", mediaSeq);
    EXPECT_TRUE(sock->sent.empty());
    EXPECT_EQ(mediaSeq, 0);
    ASSERT_EQ(replies.size(), 2u);
    for (const Reply& r : replies) {
        EXPECT_EQ(r.key, kChannel);
        EXPECT_FALSE(r.result);
        EXPECT_EQ(r.text, "视频服务器未连接"_gbk);
    }
    EXPECT_EQ(replies[0].code, 1);
    EXPECT_EQ(replies[1].code, 2);
}

TEST_F(RTP_ContTest, ChannelRequestsAreNumberedAndRenumberedAfterDisconnect) {
    logIn();
    cont.RequestChannel(kChannel, true, 1, 0);
    cont.RequestChannel(kChannel, false, 9, 9);
    cont.SendFlowControl(kChannel, 1);
    auto out = sent();
    ASSERT_EQ(out.size(), 3u);
    EXPECT_EQ(out[0].code, RTP_Cont::kOpen);
    EXPECT_EQ(out[0].key, kChannel);
    EXPECT_EQ(out[0].rest, std::string("\x01\x00", 2));
    EXPECT_EQ(out[1].code, RTP_Cont::kClose);
    EXPECT_EQ(out[1].rest, std::string("\x00\x00", 2));
    EXPECT_EQ(out[2].code, RTP_Cont::kFlow);
    EXPECT_EQ(out[2].rest, "\x01");
    EXPECT_EQ(out[1].seq, out[0].seq + 1);
    EXPECT_EQ(out[2].seq, out[0].seq + 2);

    sock->peerCloses();
    EXPECT_FALSE(cont.loggedIn());
    sock->sent.clear();
    seconds(6);
    sock->accept();
    out = sent();
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].code, RTP_Cont::kLogin);
    EXPECT_EQ(out[0].seq, 0);
}

TEST_F(RTP_ContTest, MediaUsesTheCallersCounter) {
    logIn();
    media::RTPmeta h;
    h.PT = media::kPtG711A;
    h.dataType = media::kAudio;
    h.simch = kChannel;
    uint16_t mediaSeq = 500;
    cont.SendMedia(h, std::string(1000, 'a'), mediaSeq);
    EXPECT_EQ(mediaSeq, 502);
    cont.Poll();
    media::RTP1078Exp exp;
    std::vector<media::RTP_data> got;
    exp.OnPacket = [&](const media::RTP_data& p) { got.push_back(p); };
    exp.Feed(sock->sent + "pad!");
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].meta.seq, 500);
    EXPECT_EQ(got[1].meta.seq, 501);
}

TEST_F(RTP_ContTest, ThreeHeartbeatsThenClose) {
    logIn();
    seconds(15);
    auto out = sent();
    ASSERT_EQ(out.size(), 3u);
    for (const Sent& s : out)
        EXPECT_EQ(s.code, RTP_Cont::kHeartbeat);
    EXPECT_EQ(sock->closes, 1); // the one close before the first attempt
    seconds(1);
    EXPECT_EQ(sent().size(), 3u);
    EXPECT_GE(sock->closes, 2);
    EXPECT_FALSE(cont.loggedIn());
}

TEST_F(RTP_ContTest, FramesKeepTheConnectionQuiet) {
    logIn();
    media::RTPmeta h;
    h.PT = media::kPtH264;
    h.simch = kChannel;
    for (int i = 0; i < 30; ++i) {
        uint16_t s = 0;
        sock->deliver(media::RTP1078Exp::BuildPackets(h, "frame", s));
        seconds(1);
    }
    EXPECT_TRUE(sent().empty());
    EXPECT_TRUE(cont.loggedIn());
}

TEST_F(RTP_ContTest, UnansweredAttemptIsRetriedAfterAbout5Seconds) {
    cont.Connect(kUser, kPassword);
    seconds(1);
    ASSERT_EQ(sock->opens.size(), 1u);
    seconds(5);
    EXPECT_EQ(sock->opens.size(), 1u);
    seconds(1);
    EXPECT_EQ(sock->opens.size(), 2u);
}

TEST_F(RTP_ContTest, FramesAndPacketsReachTheOwnerByDataType) {
    logIn();
    std::vector<media::RTPmeta> frames;
    std::vector<media::RTPmeta> packets;
    cont.OnFrame = [&](const media::RTPmeta& h, std::string_view) { frames.push_back(h); };
    cont.OnPacket = [&](const media::RTP_data& p) { packets.push_back(p.meta); };

    auto build = [](uint8_t dataType, uint8_t pt, const std::string& body) {
        media::RTPmeta h;
        h.dataType = dataType;
        h.PT = pt;
        h.simch = kChannel;
        uint16_t s = 0;
        return media::RTP1078Exp::BuildPackets(h, body, s);
    };
    sock->deliver(build(media::kTransparent, 126, std::string("\x00\x00\x00\x01\x01\x00\x00", 7)));
    sock->deliver(build(media::kVideoI, 127, "video with control type"));
    sock->deliver(build(media::kAudio, media::kPtG711A, "audio"));
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(frames[0].PT, 127);
    EXPECT_EQ(frames[1].dataType, media::kAudio);
    EXPECT_EQ(packets.size(), 2u);
    EXPECT_TRUE(replies.empty());
}

TEST_F(RTP_ContTest, NoticesAndMalformedReplies) {
    logIn();
    uint16_t s = 0;
    auto control = [&](const std::string& body) {
        sock->deliver(media::RTP1078Exp::BuildControlPacket(kChannel, body, s));
    };
    control(util::BEPack().u16(5).u32(9000).str16("10.1.2.3").str16("srv-1").take());
    control(std::string("\x00", 1));                                       // too short
    control(util::BEPack().u16(0).u16(1).u8(1).u16(10).raw("cut").take()); // text cut short
    control(util::BEPack().u16(9).u16(1).take());                          // unknown kind
    control(util::BEPack().u16(0).u16(1).u8(1).str16("3").take());
    ASSERT_EQ(replies.size(), 2u);
    EXPECT_EQ(replies[0].code, 5);
    EXPECT_TRUE(replies[0].result);
    EXPECT_EQ(replies[0].text, "srv-1");
    EXPECT_EQ(replies[0].key, kChannel);
    EXPECT_EQ(cont.noticeAddress, "10.1.2.3");
    EXPECT_EQ(cont.noticePort, 9000u);
    EXPECT_FALSE(cont.useNotice);
    EXPECT_EQ(replies[1].code, 1);
    EXPECT_EQ(replies[1].text, "3");
    EXPECT_TRUE(cont.loggedIn());

    // Ports that are no TCP port leave the stored address alone; the text still arrives.
    for (uint32_t port : {0u, 65536u, 0x10000u + 9001u, 0xFFFFFFFFu}) {
        control(util::BEPack().u16(5).u32(port).str16("10.9.9.9").str16("srv-2").take());
        EXPECT_EQ(replies.back().text, "srv-2");
        EXPECT_EQ(cont.noticeAddress, "10.1.2.3") << port;
        EXPECT_EQ(cont.noticePort, 9000u) << port;
    }
    control(util::BEPack().u16(5).u32(65535).str16("10.9.9.9").str16("srv-3").take());
    EXPECT_EQ(cont.noticePort, 65535u);
}

TEST_F(RTP_ContTest, PartialSendsDrainInOrder) {
    logIn();
    sock->acceptLimit = 7;
    for (int i = 0; i < 5; ++i)
        cont.RequestChannel(kChannel, true, 0, 0);
    EXPECT_GT(cont.sendBufferSize(), 0u);
    while (cont.sendBufferSize() > 0)
        sock->becomesWritable();
    const auto out = sent();
    ASSERT_EQ(out.size(), 5u);
    for (size_t i = 1; i < out.size(); ++i)
        EXPECT_EQ(out[i].seq, out[0].seq + i);
}

TEST_F(RTP_ContTest, SendErrorsAndStalledPeersDropTheConnection) {
    logIn();
    sock->failSend = true;
    cont.RequestChannel(kChannel, true, 0, 0);
    EXPECT_FALSE(cont.loggedIn());
    EXPECT_EQ(cont.sendBufferSize(), 0u);

    logIn();
    sock->acceptLimit = 0; // the peer stopped reading
    media::RTPmeta h;
    h.simch = kChannel;
    uint16_t s = 0;
    const std::string chunk(64 * 1024, 'v');
    for (int i = 0; i < 200 && cont.loggedIn(); ++i)
        cont.SendMedia(h, chunk, s);
    EXPECT_FALSE(cont.loggedIn());
    EXPECT_LE(cont.sendBufferSize(), RTP_Cont::kMaxSendBuffer);

    logIn();
    sock->raiseError();
    EXPECT_FALSE(cont.loggedIn());
}

TEST_F(RTP_ContTest, DisconnectLetsTheLastRequestsLeave) {
    struct Case {
        const char* name;
        long budget; // what the server still reads
        int graceful, aborted;
        size_t requests;
    };
    for (const Case& c : {Case{"reading", -1, 1, 0, 3}, Case{"stalled", 0, 0, 1, 0}}) {
        logIn();
        sock->sent.clear();
        sock->budget = 0;
        for (uint8_t ch = 1; ch <= 3; ++ch)
            cont.RequestChannel({kChannel.sim, ch}, false, 0, 0); // the closes at exit
        sock->budget = c.budget;
        struct {
            std::string sent;
            int graceful = -1, aborted = -1;
        } wire;
        const int abortedBefore = sock->closes; // the attempt closes before it opens
        sock->onDestroy = [&](const FakeTcpClient& f) {
            wire = {f.sent, f.gracefulCloses, f.closes - abortedBefore};
        };
        cont.Disconnect();
        EXPECT_EQ(wire.graceful, c.graceful) << c.name;
        EXPECT_EQ(wire.aborted, c.aborted) << c.name;
        media::RTP1078Exp exp;
        size_t requests = 0;
        exp.OnPacket = [&](const media::RTP_data&) { ++requests; };
        exp.Feed(wire.sent + "pad!");
        EXPECT_EQ(requests, c.requests) << c.name;
    }
}

TEST_F(RTP_ContTest, DisconnectDropsEverything) {
    logIn();
    cont.Disconnect();
    EXPECT_FALSE(cont.hasSocket());
    EXPECT_FALSE(cont.loggedIn());
    cont.Poll(); // nothing to do, nothing to crash
    cont.RequestChannel(kChannel, true, 0, 0);
    ASSERT_EQ(replies.size(), 1u);
    EXPECT_FALSE(replies[0].result);
}
