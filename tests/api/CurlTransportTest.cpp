#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "FakeTransport.h"
#include "LocalHttpServer.h"
#include "api/CurlTransport.h"
#include "api/HttpPostDataCont.h"
#include "util/GbkText.h"

using apitest::LocalHttpServer;
using util::gbkToUtf8;

namespace {

struct Result {
    int opid;
    bool result;
    std::string status; // UTF-8
};

// The client on libcurl against a local server, with short time-outs so a silent server
// shows the "no status line" failure quickly.
struct LocalClient {
    explicit LocalClient(LocalHttpServer& server, long totalMs = 30'000)
        : client(std::make_shared<api::CurlTransport>(2'000, totalMs)) {
        client.dataUrl = server.url("/qorl/");
        client.cmdUrl = server.url("/qorl/cmd");
        client.OnResult = [this](int opid, bool r, const std::string& s, const media::SIMCH&) {
            results.push_back({opid, r, gbkToUtf8(s)});
        };
    }
    api::HttpPostDataCont client;
    std::vector<Result> results;
};

TEST(CurlTransport, PostsUtf8JsonAndReadsTheReplyBack) {
    LocalHttpServer server([](const LocalHttpServer::Request&) {
        return LocalHttpServer::Reply{
            200, R"({"code":0,"msg":"登录成功啦","obj":{"deptId":"部门1","id":9}})"};
    });
    LocalClient s(server);
    s.client.login(0, util::utf8ToGbk("张三"), "pw");
    ASSERT_TRUE(apitest::drain(s.client));
    ASSERT_EQ(s.results.size(), 1u);
    EXPECT_TRUE(s.results[0].result);
    EXPECT_EQ(s.results[0].status, "登录成功");
    EXPECT_EQ(gbkToUtf8(s.client.deptId), "部门1");
    const auto got = server.received();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].head.rfind("POST /qorl/login HTTP/1.1", 0), 0u);
    EXPECT_NE(got[0].head.find("Content-Type: application/json"), std::string::npos);
    EXPECT_EQ(got[0].body, R"({"dlly":"Kelvex","password":"pw","projectType":0,"username":"张三",)"
                           R"("version":"V1.0"})");
}

TEST(CurlTransport, FailuresBecomeConnectionErrors) {
    struct Case {
        int status;
        int delayMs;
        const char* text;
    };
    for (const Case& c : {Case{404, 0, "连接出错:404"}, Case{503, 0, "连接出错:503"},
                          Case{200, 3000, "连接出错:0"}}) {
        LocalHttpServer server([&](const LocalHttpServer::Request&) {
            return LocalHttpServer::Reply{c.status, R"({"code":0,"msg":"ok"})", c.delayMs};
        });
        LocalClient s(server, 500);
        s.client.loggedIn = true;
        s.client.playLive({"00000000013912345678", 1}, 1, 0);
        ASSERT_TRUE(apitest::drain(s.client));
        ASSERT_EQ(s.results.size(), 1u);
        EXPECT_FALSE(s.results[0].result);
        EXPECT_EQ(s.results[0].status, c.text);
    }
}

TEST(CurlTransport, NobodyListening) {
    int port = 0;
    {
        LocalHttpServer gone(
            [](const LocalHttpServer::Request&) { return LocalHttpServer::Reply{}; });
        port = std::stoi(gone.url("").substr(17));
    }
    api::HttpPostDataCont client(std::make_shared<api::CurlTransport>(2'000, 5'000));
    client.dataUrl = "http://127.0.0.1:" + std::to_string(port) + "/";
    std::string status;
    client.OnResult = [&](int, bool, const std::string& s, const media::SIMCH&) { status = s; };
    client.login(0, "u", "p");
    ASSERT_TRUE(apitest::drain(client));
    EXPECT_EQ(gbkToUtf8(status), "连接出错:0");
}

TEST(CurlTransport, DestroyedWhileTheServerIsSilent) {
    LocalHttpServer server([](const LocalHttpServer::Request&) {
        return LocalHttpServer::Reply{200, "{}", 20'000};
    });
    int calls = 0;
    {
        api::HttpPostDataCont client; // default time-outs: the close must not wait for them
        client.dataUrl = server.url("/");
        client.OnResult = [&](int, bool, const std::string&, const media::SIMCH&) { ++calls; };
        client.login(0, "u", "p");
        for (int i = 0; i < 200 && server.received().empty(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        ASSERT_EQ(server.received().size(), 1u);
    }
    EXPECT_EQ(calls, 0);
}

} // namespace
