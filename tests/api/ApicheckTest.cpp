#include <gtest/gtest.h>

#include "support/RunCommand.h"

#include <sys/wait.h>

#include <cstdio>
#include <memory>
#include <string>

#include "LocalHttpServer.h"

using apitest::LocalHttpServer;

namespace {

// A platform of one organisation and one vehicle with two terminals and a channel.
LocalHttpServer::Reply platform(const LocalHttpServer::Request& r, int commandCode) {
    const std::string path = r.head.substr(5, r.head.find(' ', 5) - 5);
    if (path == "/p/login")
        return {200, R"({"code":0,"msg":"登录成功","obj":{"deptId":"1","id":"2"}})"};
    if (path == "/p/carTree")
        return {200,
                R"({"code":0,"msg":"","obj":[{"id":"o","pId":"","dept":1,"name":"公司"},)"
                R"({"id":"v","pId":"o","dept":3,"name":"粤B1","isOnline":1,"sjhm":"1391;1392"},)"
                R"({"id":"c","pId":"v","dept":4,"name":"前","sptd":1,"sjhm":"1391"}]})"};
    if (path == "/p/accstatus")
        return {200, R"({"code":0,"msg":"","obj":[{"sjhm":"1391","acc":1}]})"};
    if (path == "/p/cmd")
        return {200, R"({"code":)" + std::to_string(commandCode) + R"(,"msg":"已下发"})"};
    return {404, ""};
}

std::pair<int, std::string> run(const std::string& args) {
    const auto r = tavrina_test::runCommand(
        std::string(TAVRINA_BINARY_DIR) + "/bin/tavrina-apicheck " + args, false);
    return {r.status, r.out};
}

TEST(Apicheck, EveryStepAgainstAPlatform) {
    for (int code : {0, 1}) {
        LocalHttpServer server(
            [&](const LocalHttpServer::Request& r) { return platform(r, code); });
        const auto [exit, out] =
            run("--data-url " + server.url("/p/") + " --cmd-url " + server.url("/p/cmd") +
                " --user demo --password demo --live 1391:1");
        EXPECT_EQ(out, "opid=0 result=1 status=登录成功\n"
                       "opid=1 result=1 status=获取车辆资料完成\n"
                       "opid=10 result=1 status=同步状态成功\n"
                       "opid=2 result=" +
                           std::to_string(code == 0) +
                           " status=已下发\n"
                           "summary vehicles=1 terminals=2 channels=1\n");
        EXPECT_EQ(exit, code == 0 ? 0 : 1);
    }
}

TEST(Apicheck, TreeAsTheViewShowsIt) {
    LocalHttpServer server([](const LocalHttpServer::Request& r) { return platform(r, 0); });
    const auto [exit, out] = run("--data-url " + server.url("/p/") + " --cmd-url " +
                                 server.url("/p/cmd") + " --user demo --password demo --tree");
    // 1391 reported without a time goes off; the vehicle stays online through 1392.
    EXPECT_EQ(out, "opid=0 result=1 status=登录成功\n"
                   "opid=1 result=1 status=获取车辆资料完成\n"
                   "opid=10 result=1 status=同步状态成功\n"
                   "公司(1/1)\tkind=1 image=0\n"
                   "  粤B1\tkind=3 image=2\n"
                   "    00000000000000001391\tkind=4 image=7\n"
                   "      CH1 \tkind=5 image=5\n"
                   "    00000000000000001392\tkind=4 image=6\n"
                   "summary vehicles=1 terminals=2 channels=1\n");
    EXPECT_EQ(exit, 0);
}

TEST(Apicheck, LoginRefusedStops) {
    LocalHttpServer server([](const LocalHttpServer::Request&) {
        return LocalHttpServer::Reply{200, R"({"code":5,"msg":"用户名或密码错误"})"};
    });
    const auto [exit, out] = run("--data-url " + server.url("/p/") + " --cmd-url " +
                                 server.url("/p/cmd") + " --user demo --password x");
    EXPECT_EQ(out, "opid=0 result=0 status=用户名或密码错误\n"
                   "summary vehicles=0 terminals=0 channels=0\n");
    EXPECT_EQ(exit, 1);
    EXPECT_EQ(run("--user demo").first, 2);
}

} // namespace
