// Runs tavrina-config and tavrina-jsoncheck as operators do, on real files, and checks the
// settings file the build ships.

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

#include "settings/ConfSet.h"
#include "support/RunCommand.h"
#include "util/GbkText.h"

using namespace util::literals;
namespace fs = std::filesystem;

namespace {

using Result = tavrina_test::CommandResult;
const auto run = [](const std::string& command) { return tavrina_test::runCommand(command); };

std::string quote(const std::string& s) {
    return "'" + s + "'";
}

const std::string kConfig = TAVRINA_CONFIG;
const std::string kJsonCheck = TAVRINA_JSONCHECK;

class Tool : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() /
              ("configtool-" + std::to_string(::getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
        file = (dir / "Zorvu.cfset").string();
    }
    void TearDown() override { fs::remove_all(dir); }

    Result config(const std::string& args) { return run(kConfig + " " + args); }

    fs::path dir;
    std::string file;
};

const char* kTemplate = R"(# every type once
name: 文本
category: 甲
type: 字符串
internal: 0
description: 说明
value: 初始

name: 整数
category: 甲
type: 1
value: 5

name: 小数
category: 乙
type: 小数

name: 位
category: 乙
type: 按位定义
dict: 1=二
dict: 0=一

name: 字典
category: 乙
type: 字典定义
dict: 0=零
value: 0

name: 目录
category: 丙
type: 目录
value: /tmp/

name: 路径
category: 丙
type: 路径文件

name: 数据
category: 丙
type: 数据
internal: 1
value: 00ff
)";

TEST_F(Tool, CreateSetEveryTypeShow) {
    std::ofstream(dir / "t.txt") << kTemplate;
    Result r = config("create " + file + " --from " + quote((dir / "t.txt").string()));
    ASSERT_EQ(r.status, 0) << r.out;
    const struct {
        const char* name;
        const char* value;
        const char* shown; // as get prints it back
    } sets[] = {
        {"文本", "新 值", "新 值"},
        {"整数", "-7", "-7"},
        {"小数", "0.1", "0.1"},
        {"位", "4294967295", "-1"},
        {"字典", "3", "3"},
        {"目录", "/var/媒体/", "/var/媒体/"},
        {"路径", "/a/说明.pdf", "/a/说明.pdf"},
        {"数据", "DEADbeef00", "deadbeef00"},
    };
    for (const auto& s : sets) {
        r = config("set " + file + " " + quote(s.name) + " " + quote(s.value));
        ASSERT_EQ(r.status, 0) << s.name << ": " << r.out;
    }
    for (const auto& s : sets) {
        r = config("get " + file + " " + quote(s.name));
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, std::string(s.shown) + "\n") << s.name;
    }
    r = config("show " + file);
    ASSERT_EQ(r.status, 0) << r.out;
    // In the editor's order: category, then name, byte by byte in GBK.
    EXPECT_EQ(r.out, "丙\t路径\t路径文件\t/a/说明.pdf\n"
                     "丙\t目录\t目录\t/var/媒体/\n"
                     "丙\t数据\t数据\tdeadbeef00\n"
                     "甲\t文本\t字符串\t新 值\n"
                     "甲\t整数\t整数\t-7\n"
                     "乙\t位\t按位定义\t-1\n"
                     "乙\t小数\t小数\t0.1\n"
                     "乙\t字典\t字典定义\t3\n");
    EXPECT_FALSE(fs::exists(dir / "Zorvu.cftmp"));
}

TEST_F(Tool, FailuresPrintTheStoreMessage) {
    Result r = config("show " + file);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "设置文件不存在\n");
    std::ofstream(dir / "t.txt") << kTemplate;
    ASSERT_EQ(config("create " + file + " --from " + (dir / "t.txt").string()).status, 0);
    r = config("get " + file + " 没有");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "无[没有]参数\n");
    r = config("set " + file + " 没有 1");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "无[没有]参数\n");
    for (const char* bad : {"整数 abc", "整数 4294967296", "小数 1,5", "数据 0g", "数据 abc"})
        EXPECT_EQ(config("set " + file + " " + bad).status, 1) << bad;

    // A file of another program keeps its message; the interrupted-save notice is not fatal.
    fs::copy_file(file, dir / "Other.cfset");
    r = config("show " + (dir / "Other.cfset").string());
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "设置文件非本程序适用\n");
    std::ofstream(dir / "Zorvu.cftmp") << "cut";
    r = config("get " + file + " 整数");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "使用旧设置文件\n5\n");
}

TEST_F(Tool, BadTemplateRefused) {
    std::ofstream(dir / "t.txt") << "name: a\ntype: 整数\nvalue: x\n";
    Result r = config("create " + file + " --from " + (dir / "t.txt").string());
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("line 1"), std::string::npos) << r.out;
    std::ofstream(dir / "t.txt") << "name: a\nname: a\n";
    EXPECT_EQ(config("create " + file + " --from " + (dir / "t.txt").string()).status, 1);
    EXPECT_FALSE(fs::exists(file));
}

// The file the build puts beside the programs holds every parameter start-up reads, readable
// with the accessor start-up uses, and the listener pairs of both platforms.
TEST(ShippedSettings, HoldsEveryStartupParameter) {
    const fs::path bin = fs::path(TAVRINA_BINARY_DIR) / "bin";
    ASSERT_TRUE(fs::exists(bin / "Zorvu.cfset"));
    settings::ConfSet store;
    store.Setup(bin.string() + "/", "Zorvu");
    ASSERT_TRUE(store.Load()) << util::gbkToUtf8(store.Message);
    std::string text;
    uint32_t number = 0;
    bool flag = false;
    uint8_t byte = 0;
    for (const std::string* name :
         {&"用户名"_gbk, &"密码"_gbk, &"截图录像保存目录"_gbk, &"RTP服务器IP"_gbk,
          &"POST_Data_url"_gbk, &"POST_CMD_url"_gbk, &"WS监听IP"_gbk, &"出租车WS监听IP"_gbk})
        EXPECT_TRUE(store.GetStr(*name, text)) << util::gbkToUtf8(store.Message);
    for (const std::string* name :
         {&"RTP服务器端口"_gbk, &"WS监听端口"_gbk, &"出租车WS监听端口"_gbk}) {
        EXPECT_TRUE(store.GetInt(*name, number)) << util::gbkToUtf8(store.Message);
        EXPECT_TRUE(number > 0 && number < 65536);
    }
    EXPECT_TRUE(store.GetBool("收发日志"_gbk, flag)) << util::gbkToUtf8(store.Message);
    EXPECT_TRUE(store.GetByte("平台名称"_gbk, byte)) << util::gbkToUtf8(store.Message);
    EXPECT_GE(store.Find("平台名称"_gbk)->dictionary.size(), 2u);
    const settings::ConfVal* cache = store.Find("车辆资料"_gbk);
    ASSERT_NE(cache, nullptr);
    EXPECT_TRUE(cache->internal);
    EXPECT_TRUE(store.GetStr("车辆资料"_gbk, text));
    for (const auto& [name, v] : store.params) {
        EXPECT_FALSE(v.category.empty()) << util::gbkToUtf8(name);
        EXPECT_FALSE(v.description.empty()) << util::gbkToUtf8(name);
    }
}

TEST_F(Tool, JsonCheck) {
    std::ofstream(dir / "good.json") << R"({"b":1,"a":"\u00e9"} trailing)";
    std::ofstream(dir / "bad.json") << "[1,]";
    const std::string good = (dir / "good.json").string(), bad = (dir / "bad.json").string();
    Result r = run(kJsonCheck + " --write " + good);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "ok " + good + "\n{\"a\":\"é\",\"b\":1}\n");
    r = run(kJsonCheck + " " + good + " " + bad + " " + (dir / "missing.json").string());
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out,
              "ok " + good + "\nfail " + bad + "\nfail " + (dir / "missing.json").string() + "\n");
}

} // namespace
