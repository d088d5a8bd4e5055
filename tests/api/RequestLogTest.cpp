#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "FakeTransport.h"
#include "api/HttpPostDataCont.h"
#include "api/RequestLog.h"
#include "util/Clock.h"
#include "util/DateTime.h"
#include "util/GbkText.h"

namespace fs = std::filesystem;
using util::utf8ToGbk;

namespace {

class Log : public ::testing::Test {
protected:
    Log() : clock(0, util::encodeDateTime(2026, 5, 1, 9, 8, 7)) {
        dir = fs::temp_directory_path() /
              ("apilog-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    ~Log() override { fs::remove_all(dir); }

    std::string contents() {
        std::ifstream in(dir / "log.txt", std::ios::binary);
        std::ostringstream s;
        s << in.rdbuf();
        return s.str();
    }

    util::FakeClock clock;
    fs::path dir;
};

TEST_F(Log, EntryLinesWithAndWithoutTheSaveBox) {
    struct Case {
        bool save;
        const char* message;
        const char* url;
        const char* body;
        const char* reply;
        const char* expected;
    };
    const std::vector<Case> cases = {
        {true, "", "http://h/login", "{\"a\":1}", "",
         "2026-05-01 09:08:07 [L]\n[URL]:http://h/login\n[POST]:{\"a\":1}\n"},
        {false, "", "http://h/login", "{\"a\":1}", "",
         "2026-05-01 09:08:07 [L]\n[URL]:http://h/login\n[POST][size]:7\n"},
        {true, "SIM: CH:0 opid:0 isok:1 msg:", "", "", "{}",
         "2026-05-01 09:08:07 [L]\n[MSG]:SIM: CH:0 opid:0 isok:1 msg:\n[REC]:{}\n"},
        {false, "m", "", "", "{}", "2026-05-01 09:08:07 [L]\n[MSG]:m\n[REC][size]:2\n"},
        {false, "", "", "", "", "2026-05-01 09:08:07 [L]\n"},
    };
    for (const Case& c : cases) {
        fs::remove(dir / "log.txt");
        api::RequestLog log(clock);
        log.setDirectory(dir.string());
        log.logOn = true;
        log.saveBodies = c.save;
        log.write("L", c.message, c.url, c.body, c.reply);
        EXPECT_EQ(contents(), c.expected) << c.expected;
    }
}

TEST_F(Log, OffOrUnwritableWritesNothing) {
    api::RequestLog log(clock);
    log.setDirectory(dir.string());
    log.write("L", "m", "u", "b", "r");
    EXPECT_FALSE(fs::exists(dir / "log.txt"));
    log.logOn = true;
    log.setDirectory((dir / "missing").string());
    log.write("L", "m", "u", "b", "r"); // silently skipped
    EXPECT_FALSE(fs::exists(dir / "missing"));
}

TEST_F(Log, RequestAndCompletionEntries) {
    auto fake = std::make_shared<apitest::FakeTransport>();
    api::HttpPostDataCont client(fake, clock);
    client.log.setDirectory(dir.string());
    client.log.logOn = true;
    client.log.saveBodies = true;
    client.dataUrl = "http://h/";
    client.cmdUrl = "http://h/cmd";
    fake->answer(200, R"({"code":0,"msg":"成功","obj":{"deptId":1,"id":2}})");
    client.login(0, "a", "b");
    ASSERT_TRUE(apitest::drain(client));
    client.log.saveBodies = false;
    fake->answer(404, "");
    client.playLive({"00000000013912345678", 3}, 1, 0);
    ASSERT_TRUE(apitest::drain(client));
    const std::string liveBody = R"({"audio":1,"chl":3,"operateType":"1","playServer":"",)"
                                 R"("projectType":0,"st":0,"terid":"13912345678","userfid":"2"})";
    EXPECT_EQ(fake->sent().back().body, liveBody);
    const std::string expected = utf8ToGbk(
        "2026-05-01 09:08:07 [登录]\n"
        "[URL]:http://h/login\n"
        "[POST]:{\"dlly\":\"Kelvex\",\"password\":\"b\",\"projectType\":0,\"username\":\"a\","
        "\"version\":\"V1.0\"}\n"
        "2026-05-01 09:08:07 [POSTREC]\n"
        "[MSG]:SIM: CH:0 opid:0 isok:1 msg:\n"
        "[REC]:{\"code\":0,\"msg\":\"成功\",\"obj\":{\"deptId\":1,\"id\":2}}\n"
        "2026-05-01 09:08:07 [实时播放]\n"
        "[MSG]:SIM:00000000013912345678 CH:3\n"
        "[URL]:http://h/cmd\n"
        "[POST][size]:" +
        std::to_string(liveBody.size()) +
        "\n"
        "2026-05-01 09:08:07 [POSTREC]\n"
        "[MSG]:SIM:00000000013912345678 CH:3 opid:2 isok:0 msg:连接出错:404\n");
    EXPECT_EQ(util::gbkToUtf8(contents()), util::gbkToUtf8(expected));
}

} // namespace
