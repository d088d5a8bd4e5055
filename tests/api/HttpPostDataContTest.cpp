#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <string>
#include <vector>

#include "FakeTransport.h"
#include "api/HttpPostDataCont.h"
#include "util/Clock.h"
#include "util/DateTime.h"
#include "util/GbkText.h"

using api::HttpPostDataCont;
using apitest::FakeTransport;
using media::SIMCH;
using util::gbkToUtf8;
using util::utf8ToGbk;

namespace {

struct Result {
    int opid;
    bool result;
    std::string status; // UTF-8
    SIMCH simch;
};

const std::string kSim = "00000000013912345678"; // nine leading zeros

class Client : public ::testing::Test {
protected:
    Client() : clock(0, util::encodeDateTime(2026, 5, 1, 12, 0, 0)) {
        client = std::make_unique<HttpPostDataCont>(fake, clock);
        client->dataUrl = "http://p/data/";
        client->cmdUrl = "http://p/cmd";
        client->OnResult = [this](int opid, bool r, const std::string& s, const SIMCH& k) {
            results.push_back({opid, r, gbkToUtf8(s), k});
        };
    }
    void logIn() {
        client->loggedIn = true;
        client->userId = "7";
        client->userName = utf8ToGbk("张三");
        client->playServer = "vs1";
        client->projectType = 1;
    }
    // Posts through `send`, answers with (status, body) and returns the one result.
    Result exchange(const std::function<void()>& send, long status, const std::string& body) {
        fake->answer(status, body);
        results.clear();
        send();
        EXPECT_TRUE(apitest::drain(*client));
        EXPECT_EQ(results.size(), 1u);
        return results.empty() ? Result{-1, false, "", {}} : results.back();
    }

    std::shared_ptr<FakeTransport> fake = std::make_shared<FakeTransport>();
    util::FakeClock clock;
    std::unique_ptr<HttpPostDataCont> client;
    std::vector<Result> results;
};

TEST_F(Client, BodiesMemberForMember) {
    logIn();
    api::AVResource entry{{kSim, 2}, "260501080000", "260501083000", 0, 1, 1, 4096};
    api::UpAlarmXC alarm;
    alarm.simch = {kSim, 3};
    alarm.alarmType = utf8ToGbk("遮挡摄像头");
    alarm.alarmTime = "2026-05-01 12:00:00";
    alarm.state = utf8ToGbk("未处理");
    alarm.location = "A1";
    alarm.driver = "d";
    alarm.contactNumber = "0123";
    alarm.contactPerson = "p";
    alarm.handledBy = "h";
    alarm.handling = "x";
    alarm.pictureData = "QUJD";
    alarm.remark = "r";
    struct Case {
        const char* what;
        std::function<void()> send;
        const char* url;
        const char* body;
    };
    const std::vector<Case> cases = {
        {"login", [&] { client->login(1, utf8ToGbk("张三"), "b"); }, "http://p/data/login",
         R"({"dlly":"Kelvex","password":"b","projectType":1,"username":"张三","version":"V1.0"})"},
        {"vehicle tree",
         [&] {
             client->deptId = "12";
             client->requestVehicleTree();
         },
         "http://p/data/carTree", R"({"deptId":"12","projectType":1})"},
        {"live play",
         [&] {
             client->playLive({kSim, 3}, 1, 0);
         },
         "http://p/cmd",
         R"({"audio":1,"chl":3,"operateType":"1","playServer":"vs1","projectType":1,"st":0,)"
         R"("terid":"13912345678","userfid":"7"})"},
        {"live control",
         [&] {
             client->controlLive({kSim, 3}, 4, 0, 1);
         },
         "http://p/cmd",
         R"({"chl":3,"closeType":0,"instruction":4,"operateType":"4","projectType":1,)"
         R"("switchStream":1,"terid":"13912345678","userfid":"7"})"},
        {"recording list",
         [&] {
             client->queryRecordings({kSim, 1}, "260501000000", "260501235959");
         },
         "http://p/cmd",
         R"({"chl":1,"endtime":"260501235959","ft":"0","mt":"0","operateType":"2",)"
         R"("projectType":1,"st":"0","starttime":"260501000000","terid":"13912345678","userfid":"7"})"},
        {"playback", [&] { client->playRecording(entry, 0, 1); }, "http://p/cmd",
         R"({"chl":2,"endtime":"260501083000","memoryType":1,"multiple":1,"operateType":"3",)"
         R"("playServer":"vs1","playbackType":0,"projectType":1,"starttime":"260501080000",)"
         R"("streamType":1,"terid":"13912345678","type":0,"userfid":"7"})"},
        {"playback control",
         [&] {
             client->controlPlayback({kSim, 2}, 2, 0, "000000000000");
         },
         "http://p/cmd",
         R"({"chl":2,"locate":"000000000000","multiple":0,"operateType":"5",)"
         R"("playbackControl":2,"projectType":1,"terid":"13912345678","userfid":"7"})"},
        {"patrol start",
         [&] {
             client->patrolId = "old";
             client->reportPatrol(0, {kSim, "00000000000000000042"}, "2026-05-01 11:00:00",
                                  "2026-05-01 12:00:00");
         },
         "http://p/data/videoxc_client",
         R"({"jssj":"2026-05-01 12:00:00","kssj":"2026-05-01 11:00:00","lxfid":"",)"
         R"("projectType":1,"sjhms":["13912345678","42"],"type":1,"userfid":"7"})"},
        {"patrol alarm", [&] { client->uploadPatrolAlarm(alarm); }, "http://p/data/uploadAlermSpxc",
         R"({"bjdd":"A1","bjlx":"遮挡摄像头","bjsj":"2026-05-01 12:00:00","bjzt":"未处理",)"
         R"("bz":"r","clfs":"x","clr":"h","file":"QUJD","jsyxm":"d","lxfs":"0123","lxr":"p",)"
         R"("sjhm":"13912345678","sptd":3,"username":"张三"})"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const size_t before = fake->sent().size();
        c.send();
        ASSERT_TRUE(apitest::drain(*client));
        const auto sent = fake->sent();
        ASSERT_EQ(sent.size(), before + 1);
        EXPECT_EQ(sent.back().url, c.url);
        EXPECT_EQ(sent.back().body, c.body);
    }
}

TEST_F(Client, CommandsBeforeLoginSendNothing) {
    const SIMCH key{kSim, 3};
    client->playLive(key, 1, 0);
    client->controlLive(key, 0, 0, 0);
    client->queryRecordings(key, "a", "b");
    api::AVResource entry;
    entry.key = key;
    client->playRecording(entry, 0, 1);
    client->controlPlayback(key, 2, 0, "000000000000");
    client->requestVehicleTree();
    EXPECT_TRUE(fake->sent().empty());
    const std::vector<int> opids = {2, 3, 5, 6, 7, 1};
    ASSERT_EQ(results.size(), opids.size());
    for (size_t i = 0; i < opids.size(); ++i) {
        EXPECT_EQ(results[i].opid, opids[i]);
        EXPECT_FALSE(results[i].result);
        EXPECT_EQ(results[i].status, "还没登陆呢");
        EXPECT_EQ(results[i].simch, opids[i] == 1 ? SIMCH{} : key);
    }
}

TEST_F(Client, CommandReplies) {
    logIn();
    struct Case {
        long status;
        std::string body;
        bool result;
        const char* text;
    };
    const std::vector<Case> cases = {
        {404, "not here", false, "连接出错:404"},
        {500, R"({"code":0,"msg":"ok"})", false, "连接出错:500"},
        {200, "<html>", false, "返回数据错误"},
        {200, R"({"code":0})", false, "返回数据错误"},
        {200, R"({"msg":"x"})", false, "返回数据错误"},
        {200, R"({"code":3,"msg":"平台忙"})", false, "平台忙"},
        {200, R"({"code":0,"msg":"已下发"})", true, "已下发"},
        {200, R"({"code":"0","msg":"文本码"})", true, "文本码"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.body);
        const Result r = exchange([&] { client->playLive({kSim, 3}, 1, 0); }, c.status, c.body);
        EXPECT_EQ(r.opid, 2);
        EXPECT_EQ(r.result, c.result);
        EXPECT_EQ(r.status, c.text);
        EXPECT_EQ(r.simch, (SIMCH{kSim, 3}));
    }
}

TEST_F(Client, NonJsonFailsEveryOperation) {
    logIn();
    const std::vector<std::function<void()>> sends = {
        [&] { client->login(0, "u", "p"); },
        [&] { client->requestVehicleTree(); },
        [&] { client->queryState({kSim}); },
        [&] { client->reportPatrol(1, {kSim}, "a", "b"); },
        [&] { client->uploadPatrolAlarm({}); },
        [&] { client->queryRecordings({kSim, 1}, "a", "b"); },
    };
    for (const auto& send : sends) {
        const Result r = exchange(send, 200, "not json");
        EXPECT_FALSE(r.result);
        EXPECT_EQ(r.status, "返回数据错误");
    }
}

TEST_F(Client, LoginReply) {
    struct Case {
        const char* body;
        bool result;
        const char* text;
        const char* deptId;
        const char* userId;
    };
    const std::vector<Case> cases = {
        {R"({"code":0,"msg":"","obj":{"deptId":12,"id":7}})", true, "登录成功", "12", "7"},
        {R"({"code":0,"msg":"","obj":{"id":7}})", false, "无用户组织数据", "", ""},
        {R"({"code":0,"msg":""})", false, "无用户组织数据", "", ""},
        {R"({"code":0,"msg":"","obj":{"deptId":"d9"}})", false, "无用户ID数据", "d9", ""},
        {R"({"code":2,"msg":"密码错误","obj":{"deptId":1,"id":2}})", false, "密码错误", "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.body);
        client->deptId.clear();
        client->userId.clear();
        client->loggedIn = false;
        const Result r = exchange([&] { client->login(2, "u", "p"); }, 200, c.body);
        EXPECT_EQ(r.opid, 0);
        EXPECT_EQ(r.result, c.result);
        EXPECT_EQ(r.status, c.text);
        EXPECT_EQ(client->deptId, c.deptId);
        EXPECT_EQ(client->userId, c.userId);
        EXPECT_EQ(client->loggedIn, c.result);
        EXPECT_EQ(client->projectType, 2);
        EXPECT_EQ(client->userName, "u");
    }
}

TEST_F(Client, StateQueryBatchesOf201) {
    client->setMaxWorkers(1); // batches reach the transport in the order they were posted
    for (const auto& [count, batches] : std::vector<std::pair<int, std::vector<size_t>>>{
             {0, {}}, {1, {1}}, {201, {201}}, {202, {201, 1}}, {450, {201, 201, 48}}}) {
        SCOPED_TRACE(count);
        std::set<std::string> sims;
        for (int i = 0; i < count; ++i)
            sims.insert(media::padSim(std::to_string(13900000000LL + i)));
        const size_t before = fake->sent().size();
        client->queryState(sims);
        ASSERT_TRUE(apitest::drain(*client));
        const auto sent = fake->sent();
        ASSERT_EQ(sent.size() - before, batches.size());
        size_t next = 0;
        for (size_t b = 0; b < batches.size(); ++b) {
            api::CJvalue body;
            ASSERT_TRUE(body.parse(sent[before + b].body));
            const api::CJvalue& list = body.get("sjhms");
            ASSERT_EQ(list.childCount(), batches[b]);
            // Walked in set order, zeros stripped, nothing lost or repeated.
            for (size_t i = 0; i < list.childCount(); ++i, ++next)
                EXPECT_EQ(list.get(static_cast<int32_t>(i)).text(),
                          std::to_string(13900000000LL + static_cast<long long>(next)));
        }
    }
}

// A vehicle "v1" with terminals kSim and "…99", an online flag to watch.
const char* kFleet = R"({"code":0,"msg":"","obj":[
    {"id":"o1","pId":"","dept":1,"name":"公司"},
    {"id":"v1","pId":"o1","dept":3,"name":"车1","isOnline":0,"sjhm":"13912345678;99"}]})";

TEST_F(Client, StateReplyAppliesToTerminals) {
    logIn();
    ASSERT_TRUE(exchange([&] { client->requestVehicleTree(); }, 200, kFleet).result);
    const std::string t1 = "v1" + kSim, t2 = "v1" + media::padSim("99");
    const std::string fresh =
        util::formatDateTime("yyyy-mm-dd hh:nn:ss", clock.now() - 60.0 / 86400);
    const std::string stale =
        util::formatDateTime("yyyy-mm-dd hh:nn:ss", clock.now() - 300.0 / 86400);
    struct Case {
        std::string element;
        bool online;
        bool gpsAcc;
    };
    const std::vector<Case> cases = {
        {R"({"sjhm":"13912345678","acc":1,"spwzhbsj":")" + fresh + R"(","gpsacc":3})", true, true},
        {R"({"sjhm":"13912345678","acc":1})", false, false},                 // never reported
        {R"({"sjhm":"13912345678","acc":1,"spwzhbsj":"now"})", true, false}, // short: now
        {R"({"sjhm":"13912345678","acc":1,"spwzhbsj":")" + stale + R"("})", false, false},
        {R"({"sjhm":"13912345678","acc":0,"spwzhbsj":")" + fresh + R"(","gpsacc":2})", false,
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.element);
        const Result r = exchange([&] { client->queryState({kSim}); }, 200,
                                  R"({"code":0,"msg":"","obj":[)" + c.element + "]}");
        EXPECT_TRUE(r.result);
        EXPECT_EQ(r.status, "同步状态成功");
        EXPECT_EQ(client->vehicles.at(t1).online, c.online);
        EXPECT_EQ(client->vehicles.at(t1).gpsAcc, c.gpsAcc);
        EXPECT_EQ(client->vehicles.at("v1").online, c.online); // the other terminal is off
        EXPECT_FALSE(client->vehicles.at(t2).online);
    }
}

TEST_F(Client, StateReplyFailures) {
    struct Case {
        const char* body;
        const char* text;
    };
    const std::vector<Case> cases = {
        {R"({"code":0,"msg":""})", "无obj数据"},
        {R"({"code":0,"msg":"","obj":{"a":{"sjhm":"1","acc":1}}})", "ACC查询..."},
        {R"({"code":0,"msg":"","obj":[{"acc":1}]})", "ACC查询..."},
        {R"({"code":0,"msg":"","obj":[{"sjhm":"1"}]})", "ACC查询..."},
        {R"({"code":9,"msg":"无权限","obj":[]})", "无权限"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.body);
        const Result r = exchange([&] { client->queryState({kSim}); }, 200, c.body);
        EXPECT_EQ(r.opid, 10);
        EXPECT_FALSE(r.result);
        EXPECT_EQ(r.status, c.text);
    }
}

TEST_F(Client, DeviceNotConnectedMarksTheTerminalOffline) {
    logIn();
    ASSERT_TRUE(exchange([&] { client->requestVehicleTree(); }, 200, kFleet).result);
    const std::string t1 = "v1" + kSim;
    for (const auto& [msg, offline] : std::vector<std::pair<std::string, bool>>{
             {"设备未连接TCP服务！", true}, {"设备忙", false}}) {
        client->setTerminalState(kSim, true, clock.now(), false, 0);
        ASSERT_TRUE(client->vehicles.at("v1").online);
        const Result r = exchange(
            [&] {
                client->playLive({kSim, 1}, 1, 0);
            },
            200, R"({"code":1,"msg":")" + msg + R"("})");
        EXPECT_FALSE(r.result);
        EXPECT_EQ(r.status, msg);
        EXPECT_EQ(client->vehicles.at(t1).online, !offline) << msg;
        EXPECT_EQ(client->vehicles.at("v1").online, !offline) << msg;
    }
}

TEST_F(Client, PatrolIdKeptAcrossReports) {
    logIn();
    const std::vector<std::string> sims = {kSim};
    Result r = exchange([&] { client->reportPatrol(0, sims, "s", "e"); }, 200,
                        R"({"code":0,"msg":"","obj":{"lxfid":"P-1"}})");
    EXPECT_TRUE(r.result);
    EXPECT_EQ(r.status, "视频巡查...");
    EXPECT_EQ(client->patrolId, "P-1");
    // The next report of the same patrol names it; a reply without an id keeps it.
    r = exchange([&] { client->reportPatrol(2, sims, "s", "e"); }, 200,
                 R"({"code":0,"msg":"","obj":{}})");
    EXPECT_FALSE(r.result);
    EXPECT_EQ(r.status, "无轮询FID");
    EXPECT_EQ(client->patrolId, "P-1");
    EXPECT_NE(fake->sent().back().body.find(R"("lxfid":"P-1")"), std::string::npos);
    EXPECT_NE(fake->sent().back().body.find(R"("type":2)"), std::string::npos);
    // An empty patrol sends nothing and leaves the status as it was.
    const size_t before = fake->sent().size();
    client->statusText = "keep";
    client->reportPatrol(0, {}, "s", "e");
    EXPECT_EQ(fake->sent().size(), before);
    EXPECT_EQ(client->statusText, "keep");
    EXPECT_EQ(client->patrolId, "P-1");
}

TEST_F(Client, CapOnRunningWorkersEveryRequestAnsweredOnce) {
    logIn();
    client->setMaxWorkers(3);
    fake->hold = true;
    for (int ch = 0; ch < 20; ++ch)
        client->playLive({kSim, static_cast<uint8_t>(ch)}, 1, 0);
    ASSERT_TRUE(fake->waitActive(3));
    EXPECT_EQ(fake->sent().size(), 3u);
    EXPECT_EQ(client->pendingRequests(), 20u);
    fake->release();
    ASSERT_TRUE(apitest::drain(*client));
    EXPECT_LE(fake->peak, 3);
    ASSERT_EQ(results.size(), 20u);
    std::set<int> channels;
    for (const Result& r : results) {
        EXPECT_TRUE(r.result);
        channels.insert(r.simch.channel);
    }
    EXPECT_EQ(channels.size(), 20u);
}

TEST_F(Client, CommandsOvertakeAFullQueueOfStateBatches) {
    logIn();
    fake->hold = true;
    fake->holdOnly = "accstatus"; // the platform answers no state batch for now
    std::set<std::string> sims;
    for (int i = 0; i < 500 * 201; ++i)
        sims.insert(media::padSim(std::to_string(13900000000LL + i)));
    client->queryState(sims);
    ASSERT_TRUE(fake->waitActive(static_cast<int>(HttpPostDataCont::kDefaultMaxWorkers)));
    EXPECT_EQ(client->pendingRequests(), 500u);

    // Both commands reach the platform at once and are answered.
    client->playLive({kSim, 1}, 1, 0);
    client->controlLive({kSim, 1}, 0, 0, 0);
    for (int i = 0; i < 100 && results.size() < 2; ++i) {
        client->waitCompletions(50);
        client->runCompletions();
    }
    ASSERT_EQ(results.size(), 2u);
    EXPECT_EQ(results[0].opid + results[1].opid,
              HttpPostDataCont::kPlayLive + HttpPostDataCont::kControlLive);
    EXPECT_EQ(client->pendingRequests(), 500u); // no batch was answered or dropped
    size_t states = 0;
    for (const auto& post : fake->sent())
        states += post.url.find("accstatus") != std::string::npos;
    EXPECT_EQ(states, HttpPostDataCont::kDefaultMaxWorkers); // the bulk lane is still bounded

    fake->release();
    ASSERT_TRUE(apitest::drain(*client));
    EXPECT_EQ(results.size(), 502u);
    EXPECT_LE(fake->peak, static_cast<int>(2 * HttpPostDataCont::kDefaultMaxWorkers));
}

TEST_F(Client, ResultHandlerMayPostAndDrainAgain) {
    // The owner's handler posts the next request and, as a nested loop would, drains.
    client->OnResult = [this](int opid, bool r, const std::string& s, const SIMCH& k) {
        results.push_back({opid, r, gbkToUtf8(s), k});
        if (opid == 0 && r) {
            client->requestVehicleTree();
            client->runCompletions();
        }
    };
    fake->answer(200, R"({"code":0,"msg":"","obj":{"deptId":1,"id":2}})");
    fake->answer(200, kFleet);
    client->login(0, "u", "p");
    ASSERT_TRUE(apitest::drain(*client));
    ASSERT_EQ(results.size(), 2u);
    EXPECT_EQ(results[0].opid + results[1].opid, 1);
    EXPECT_TRUE(results[0].result && results[1].result);
}

TEST(ClientLifetime, DestroyedWithWorkersBusyOrWaiting) {
    for (bool busy : {true, false}) {
        auto fake = std::make_shared<FakeTransport>();
        fake->hold = busy;
        int calls = 0;
        {
            HttpPostDataCont client(fake);
            client.OnResult = [&](int, bool, const std::string&, const SIMCH&) { ++calls; };
            client.setMaxWorkers(2);
            for (int i = 0; i < 5; ++i)
                client.login(0, "u", "p");
            ASSERT_TRUE(fake->waitActive(busy ? 2 : 0));
            if (!busy) {
                ASSERT_TRUE(client.waitCompletions(5000)); // finished, not run
            }
        }
        EXPECT_EQ(calls, 0) << busy;
    }
}

} // namespace
