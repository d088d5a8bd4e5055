// The platform client against tavrina-sim's web service, push channel and video server.

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QEventLoop>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <iostream>
#include <map>
#include <set>
#include <sstream>
#include <vector>

#include "../net/SimProcess.h"
#include "api/HttpPostDataCont.h"
#include "api/UpAlarmXC.h"
#include "net/QtTcpClient.h"
#include "net/RTP_Cont.h"
#include "net/WS_AVPBList.h"
#include "support/RunCommand.h"
#include "util/GbkText.h"

using namespace util::literals;
using tavrina_test::runUntil;
using tavrina_test::SimProcess;

namespace {

struct Result {
    bool done = false;
    bool ok = false;
    std::string status;
};

class Platform {
public:
    explicit Platform(const SimProcess& sim) {
        client.dataUrl = sim.dataUrl;
        client.cmdUrl = sim.cmdUrl;
        client.playServer = "tavrina-sim-1";
        client.OnResult = [this](int opid, bool ok, const std::string& status,
                                 const media::SIMCH&) {
            auto& r = results[opid];
            r.done = true;
            r.ok = ok;
            r.status = status;
            ++count[opid];
        };
    }
    // Waits for the next result of `opid`.
    Result wait(int opid, int ms = 15000) {
        results[opid] = {};
        runUntil([&] { return results[opid].done; }, ms, [&] { client.runCompletions(); });
        return results[opid];
    }
    api::HttpPostDataCont client;
    std::map<int, Result> results;
    std::map<int, int> count;
};

QJsonArray inspect(const SimProcess& sim, const char* what) {
    QNetworkAccessManager net;
    const QString base = QString::fromStdString(sim.dataUrl).section("/qorl/", 0, 0);
    QNetworkReply* reply = net.get(QNetworkRequest(QUrl(base + "/sim/" + what)));
    runUntil([&] { return reply->isFinished(); }, 5000);
    const QJsonArray out = QJsonDocument::fromJson(reply->readAll()).array();
    reply->deleteLater();
    return out;
}

} // namespace

TEST(PlatformSim, LoginFleetStatesPatrolsAndAlarms) {
    SimProcess sim({"--http-port", "0", "--vehicles", "12"});
    ASSERT_TRUE(sim.running());
    Platform p(sim);

    p.client.login(0, "demo", "wrong");
    Result r = p.wait(0);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.status, "用户名或密码错误"_gbk);

    p.client.login(0, "demo", "demo");
    r = p.wait(0);
    ASSERT_TRUE(r.ok) << util::gbkToUtf8(r.status);
    EXPECT_EQ(r.status, "登录成功"_gbk);

    p.client.requestVehicleTree();
    r = p.wait(1);
    ASSERT_TRUE(r.ok) << util::gbkToUtf8(r.status);
    size_t vehicles = 0, terminals = 0;
    std::set<std::string> sims;
    for (const auto& [id, node] : p.client.vehicles) {
        vehicles += node.kind == 3;
        if (node.kind == 4) {
            ++terminals;
            sims.insert(node.name);
        }
    }
    EXPECT_EQ(vehicles, 12u);
    EXPECT_GT(terminals, vehicles); // one vehicle in eight has two terminals
    EXPECT_TRUE(sims.count(sim.firstSim));

    p.client.queryState(sims);
    r = p.wait(10);
    EXPECT_TRUE(r.ok) << util::gbkToUtf8(r.status);

    p.client.reportPatrol(0, {sim.firstSim}, "2026-12-10 10:00:00", "2026-12-10 10:00:00");
    ASSERT_TRUE(p.wait(8).ok);
    const std::string patrol = p.client.patrolId;
    EXPECT_FALSE(patrol.empty());
    p.client.reportPatrol(2, {sim.firstSim}, "2026-12-10 10:00:00", "2026-12-10 10:05:00");
    ASSERT_TRUE(p.wait(8).ok);
    EXPECT_EQ(p.client.patrolId, patrol); // the same patrol keeps its id

    api::UpAlarmXC alarm;
    alarm.simch = {sim.firstSim, 2};
    alarm.alarmType = "遮挡摄像头"_gbk;
    alarm.alarmTime = "2026-12-10 10:01:00";
    p.client.uploadPatrolAlarm(alarm);
    ASSERT_TRUE(p.wait(9).ok);
    const QJsonArray alarms = inspect(sim, "alarms");
    ASSERT_EQ(alarms.size(), 1);
    EXPECT_EQ(alarms[0]["bjlx"].toString(), QString::fromUtf8("遮挡摄像头"));
    EXPECT_EQ(alarms[0]["sptd"].toInt(), 2);
    EXPECT_EQ(alarms[0]["sjhm"].toString().toStdString(), media::stripSim(sim.firstSim));
}

TEST(PlatformSim, LivePlayMakesTheTerminalStream) {
    SimProcess sim({"--http-port", "0", "--vehicles", "12"});
    ASSERT_TRUE(sim.running());
    Platform p(sim);
    p.client.login(0, "demo", "demo");
    ASSERT_TRUE(p.wait(0).ok);

    net::RTP_Cont video([] { return std::make_unique<net::QtTcpClient>(); }, util::systemClock());
    video.serverAddress = "127.0.0.1";
    video.serverPort = sim.videoPort;
    std::string openText;
    int frames = 0;
    video.OnReply = [&](const media::SIMCH&, uint16_t code, bool ok, const std::string& text) {
        if (code == net::RTP_Cont::kOpen && ok) openText = text;
    };
    video.OnFrame = [&](const media::RTPmeta&, std::string_view) { ++frames; };
    video.Connect("demo", "mqv908172");
    const auto poll = [&] {
        video.Poll();
        p.client.runCompletions();
    };
    ASSERT_TRUE(runUntil([&] { return video.loggedIn(); }, 5000, poll));

    const media::SIMCH key{sim.firstSim, sim.firstChannel};
    video.RequestChannel(key, true, 0, 0);
    ASSERT_TRUE(runUntil([&] { return !openText.empty(); }, 3000, poll));
    EXPECT_EQ(openText, "0");
    runUntil([] { return false; }, 1000, poll);
    EXPECT_EQ(frames, 0); // with the platform on, the terminal waits to be told

    p.client.playLive(key, 1, 0);
    const Result r = p.wait(2);
    ASSERT_TRUE(r.ok) << util::gbkToUtf8(r.status);
    EXPECT_TRUE(runUntil([&] { return frames >= 20; }, 5000, poll));
    const QJsonArray commands = inspect(sim, "commands");
    ASSERT_FALSE(commands.isEmpty());
    EXPECT_EQ(commands.last()["operateType"].toString(), "1");
    EXPECT_EQ(commands.last()["playServer"].toString(), "tavrina-sim-1");
}

TEST(PlatformSim, RecordingListArrivesOverThePushChannel) {
    SimProcess sim({"--http-port", "0", "--ws-port", "0", "--vehicles", "12"});
    ASSERT_TRUE(sim.running());
    Platform p(sim);
    p.client.login(0, "demo", "demo");
    ASSERT_TRUE(p.wait(0).ok);

    api::RequestLog log;
    net::WS_AVPBList listener([] { return std::make_unique<net::QtTcpClient>(); },
                              util::systemClock(), log);
    listener.host = "127.0.0.1";
    listener.port = sim.wsPort;
    listener.path = "/qorl/zdwebsocket/";
    listener.key = {sim.firstSim, 0};
    int connected = 0, lists = 0;
    listener.OnListResult = [&](const std::string& key, bool ok) {
        if (key.empty() && ok) ++connected;
        if (!key.empty() && ok) ++lists;
    };
    const auto poll = [&] {
        listener.Poll();
        p.client.runCompletions();
    };
    listener.Listen();
    ASSERT_TRUE(runUntil([&] { return connected == 1; }, 5000, poll));
    listener.ClearList();
    p.client.queryRecordings({sim.firstSim, 0}, "261209000000", "261209235959");
    ASSERT_TRUE(p.wait(5).ok);
    ASSERT_TRUE(runUntil([&] { return lists == 1; }, 5000, poll));
    ASSERT_GT(listener.recordings().size(), 4u);
    for (const api::AVResource& r : listener.recordings()) {
        EXPECT_EQ(r.start.size(), 12u);
        EXPECT_LT(r.start, r.end);
        EXPECT_EQ(r.start.substr(0, 6), "261209");
    }

    // The first recording can be played back.
    api::AVResource request = *listener.recordings().begin();
    ASSERT_TRUE(listener.FindCovering(request));
    p.client.playRecording(request, 0, 1);
    const Result r = p.wait(6);
    EXPECT_TRUE(r.ok) << util::gbkToUtf8(r.status);
}

TEST(PlatformSim, FaultsAreReportedAsTheClientSeesThem) {
    SimProcess sim({"--http-port", "0", "--vehicles", "12", "--http-status", "videoxc_client:404",
                    "--http-garbage", "accstatus", "--unreachable-every", "1"});
    ASSERT_TRUE(sim.running());
    Platform p(sim);
    p.client.login(0, "demo", "demo");
    ASSERT_TRUE(p.wait(0).ok);
    p.client.requestVehicleTree();
    ASSERT_TRUE(p.wait(1).ok);

    p.client.reportPatrol(0, {sim.firstSim}, "2026-12-10 10:00:00", "2026-12-10 10:00:00");
    Result r = p.wait(8);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.status, "连接出错:404"_gbk);

    p.client.queryState({sim.firstSim});
    r = p.wait(10);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.status, "返回数据错误"_gbk);

    // Every vehicle but the first has terminals that are not connected.
    std::string other;
    for (const auto& [id, node] : p.client.vehicles)
        if (node.kind == 4 && node.name != sim.firstSim) other = node.name;
    ASSERT_FALSE(other.empty());
    p.client.playLive({other, 1}, 1, 0);
    r = p.wait(2);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.status, "设备未连接TCP服务！"_gbk);
}

TEST(PlatformSim, LargeFleet) {
    SimProcess sim({"--http-port", "0", "--vehicles", "100000"});
    ASSERT_TRUE(sim.running());
    Platform p(sim);
    p.client.login(0, "demo", "demo");
    ASSERT_TRUE(p.wait(0).ok);
    p.client.requestVehicleTree();
    const Result r = p.wait(1, 60000);
    ASSERT_TRUE(r.ok) << util::gbkToUtf8(r.status);
    size_t vehicles = 0;
    for (const auto& [id, node] : p.client.vehicles)
        vehicles += node.kind == 3;
    EXPECT_EQ(vehicles, 100000u);
}

// A live play posted while a whole fleet's states are being synchronised on a slow platform
// reaches it at once instead of after every batch.
TEST(PlatformSim, LivePlayOvertakesTheStateSynchronisation) {
    constexpr int kDelayMs = 400;
    SimProcess sim(
        {"--http-port", "0", "--vehicles", "20000", "--http-delay", QString::number(kDelayMs)});
    ASSERT_TRUE(sim.running());
    Platform p(sim);
    p.client.login(0, "demo", "demo");
    ASSERT_TRUE(p.wait(0).ok);
    p.client.requestVehicleTree();
    ASSERT_TRUE(p.wait(1, 60000).ok);
    std::set<std::string> sims;
    for (const auto& [id, node] : p.client.vehicles)
        if (node.kind == api::kTerminal) sims.insert(node.name);
    p.client.queryState(sims);
    const size_t batches = p.client.pendingRequests();
    ASSERT_GT(batches, 8 * api::HttpPostDataCont::kDefaultMaxWorkers);

    QElapsedTimer t;
    t.start();
    p.client.playLive({sim.firstSim, sim.firstChannel}, 1, 0);
    const Result r = p.wait(2, 30000);
    const qint64 answeredMs = t.elapsed();
    ASSERT_TRUE(r.done);
    EXPECT_TRUE(r.ok) << util::gbkToUtf8(r.status);
    // The batches ahead of it need many rounds of the platform's delay; it needed one.
    const size_t left = p.client.pendingRequests();
    EXPECT_GT(left, batches / 2);
    std::cout << "live play answered after " << answeredMs << " ms (platform delay " << kDelayMs
              << " ms), " << left << " of " << batches << " state batches still pending\n";
    runUntil([&] { return p.client.pendingRequests() == 0; }, 60000,
             [&] { p.client.runCompletions(); });
}

// What an integrator sees of a platform account: the tool's tree holds the whole fleet, every
// vehicle under an organisation, its terminals below it and their channels below them.
TEST(PlatformSim, ApicheckTreeHoldsTheFleet) {
    SimProcess sim({"--http-port", "0", "--vehicles", "60", "--seed", "5"});
    ASSERT_TRUE(sim.running());
    const auto r = tavrina_test::runCommand(
        std::string(TAVRINA_BINARY_DIR) + "/bin/tavrina-apicheck --data-url " + sim.dataUrl +
            " --cmd-url " + sim.cmdUrl + " --user demo --password demo --tree",
        false);
    EXPECT_EQ(r.status, 0) << r.out;
    std::map<int, int> kinds;
    std::vector<size_t> depthOf(6, 0);
    std::istringstream in(r.out);
    for (std::string line; std::getline(in, line);) {
        const size_t k = line.find("\tkind=");
        if (k == std::string::npos) continue;
        const int kind = line[k + 6] - '0';
        ++kinds[kind];
        const size_t depth = line.find_first_not_of(' ') / 2;
        if (kind >= 3) {
            EXPECT_EQ(depth, depthOf[kind - 1] + 1) << line; // below the node before of its kind
        }
        depthOf[kind] = depth;
    }
    EXPECT_EQ(kinds[3], 60);
    EXPECT_GT(kinds[4], 60);
    EXPECT_GT(kinds[5], kinds[4]);
    EXPECT_NE(r.out.find("summary vehicles=60 "), std::string::npos);
}
