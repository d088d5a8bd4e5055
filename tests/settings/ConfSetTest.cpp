#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

#include "settings/ConfCipher.h"
#include "settings/ConfSet.h"
#include "util/BEPack.h"
#include "util/BEUnpack.h"
#include "util/GbkText.h"

using namespace util::literals;
using settings::ConfSet;
using settings::ConfVal;
namespace fs = std::filesystem;

namespace {

std::string readFile(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void writeFile(const fs::path& p, const std::string& bytes) {
    std::ofstream(p, std::ios::binary | std::ios::trunc) << bytes;
}

std::string le32(uint32_t n) {
    return {static_cast<char>(n), static_cast<char>(n >> 8), static_cast<char>(n >> 16),
            static_cast<char>(n >> 24)};
}

// A settings file around an arbitrary plain content.
std::string fileFor(std::string plain) {
    settings::ConfEncrypt(plain);
    return le32(static_cast<uint32_t>(plain.size())) + plain;
}

ConfVal param(const std::string& category, const std::string& name, uint8_t type,
              const std::string& value = {}) {
    ConfVal v;
    v.category = category;
    v.name = name;
    v.type = type;
    v.value = value;
    return v;
}

class ConfSetFiles : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() /
              ("confset-" + std::to_string(::getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
        store.Setup(dir.string() + "/", "Zorvu");
    }
    void TearDown() override { fs::remove_all(dir); }

    fs::path cfg() const { return dir / "Zorvu.cfset"; }
    fs::path tmp() const { return dir / "Zorvu.cftmp"; }

    // One parameter of each type, added out of name order.
    void fill(ConfSet& s) {
        s.params["z"] = param("b", "z", settings::kConfData);
        s.params["用户名"_gbk] = param("登录"_gbk, "用户名"_gbk, settings::kConfText);
        s.params["port"] = param("a", "port", settings::kConfInt);
        s.params["ratio"] = param("a", "ratio", settings::kConfFloat);
        s.params["bits"] = param("a", "bits", settings::kConfBits);
        ConfVal dict = param("a", "dict", settings::kConfDict);
        dict.internal = true;
        dict.description = "说明"_gbk;
        dict.dictionary[2] = "二"_gbk;
        dict.dictionary[0] = "零"_gbk;
        dict.dictionary[1] = "一"_gbk;
        s.params["dict"] = dict;
        s.params["dir"] = param("c", "dir", settings::kConfDir);
        s.params["path"] = param("c", "path", settings::kConfPath);
        ASSERT_TRUE(s.SetStr("z", std::string("\0\x01\xFF", 3)));
        ASSERT_TRUE(s.SetStr("用户名"_gbk, "张三"_gbk));
        ASSERT_TRUE(s.SetInt("port", 9300u));
        ASSERT_TRUE(s.SetFloat("ratio", 0.1));
        ASSERT_TRUE(s.SetInt("bits", 5u));
        ASSERT_TRUE(s.SetInt("dict", 2u));
        ASSERT_TRUE(s.SetStr("dir", "/var/媒体/"_gbk));
        ASSERT_TRUE(s.SetStr("path", "/a/b.pdf"));
    }

    ConfSet loaded() {
        ConfSet s;
        s.Setup(dir.string() + "/", "Zorvu");
        EXPECT_TRUE(s.Load()) << util::gbkToUtf8(s.Message);
        return s;
    }

    fs::path dir;
    ConfSet store;
};

TEST_F(ConfSetFiles, SaveLoadRoundTripInNameAndKeyOrder) {
    fill(store);
    ASSERT_TRUE(store.Save()) << util::gbkToUtf8(store.Message);
    EXPECT_TRUE(fs::exists(cfg()));
    EXPECT_FALSE(fs::exists(tmp()));
    ConfSet back = loaded();
    EXPECT_EQ(back.params, store.params);
    EXPECT_TRUE(back.Message.empty());
    std::string s;
    double d = 0;
    EXPECT_TRUE(back.GetStr("用户名"_gbk, s));
    EXPECT_EQ(s, "张三"_gbk);
    EXPECT_TRUE(back.GetFloat("ratio", d));
    EXPECT_EQ(d, 0.1);

    // The file itself: signature, count, records by name, dictionary entries by key.
    std::string body = readFile(cfg()).substr(4);
    ASSERT_TRUE(settings::ConfDecrypt(body));
    util::BEUnpack in(body);
    std::string sig;
    uint32_t count = 0;
    ASSERT_TRUE(in.str8(sig) && in.u32(count));
    EXPECT_EQ(sig, "Zorvu");
    EXPECT_EQ(count, 8u);
    std::vector<std::string> names;
    std::string dictKeys;
    for (uint32_t i = 0; i < count; ++i) {
        std::string category, name, value, description, text;
        uint8_t internal = 0, type = 0, n = 0, key = 0;
        ASSERT_TRUE(in.str8(category) && in.str8(name) && in.str32(value) && in.u8(internal) &&
                    in.u8(type) && in.str16(description) && in.u8(n));
        for (uint8_t k = 0; k < n; ++k) {
            ASSERT_TRUE(in.u8(key) && in.str8(text));
            dictKeys.push_back(static_cast<char>('0' + key));
        }
        names.push_back(name);
    }
    EXPECT_TRUE(in.atEnd());
    EXPECT_EQ(names, (std::vector<std::string>{"bits", "dict", "dir", "path", "port", "ratio", "z",
                                               "用户名"_gbk}));
    EXPECT_EQ(dictKeys, "012");
}

TEST_F(ConfSetFiles, ForeignSignatureRefusedStoreKept) {
    ConfSet other;
    other.Setup(dir.string() + "/", "Zorvx");
    fill(other);
    ASSERT_TRUE(other.Save());
    fs::rename(dir / "Zorvx.cfset", cfg());
    store.params["keep"] = param("a", "keep", settings::kConfInt, std::string(4, '\0'));
    const auto before = store.params;
    EXPECT_FALSE(store.Load());
    EXPECT_EQ(store.Message, "设置文件非本程序适用"_gbk);
    EXPECT_EQ(store.params, before);
}

// What the file holds, and the message a load gives for it.
TEST_F(ConfSetFiles, DamagedFilesRefused) {
    fill(store);
    ASSERT_TRUE(store.Save());
    const std::string good = readFile(cfg());
    std::string badCheck = good;
    badCheck[good.size() - 1] ^= 0x01;
    std::string oddLength = good.substr(0, good.size() - 1);
    oddLength.replace(0, 4, le32(static_cast<uint32_t>(oddLength.size() - 4)));
    util::BEPack noCount;
    noCount.str8("Zorvu");

    const struct {
        const char* what;
        std::string bytes;
        std::string message;
    } cases[] = {
        {"empty file", "", "设置文件错误"_gbk},
        {"short length", "\x08\x00", "设置文件错误"_gbk},
        {"body cut short", good.substr(0, good.size() - 3), "设置文件错误"_gbk},
        {"length beyond the file", le32(0xFFFFFFF0u) + good.substr(4), "设置文件错误"_gbk},
        {"zero length", le32(0), "设置内容解密失败"_gbk},
        {"length not a word multiple", oddLength, "设置内容解密失败"_gbk},
        {"check word wrong", badCheck, "设置内容解密失败"_gbk},
        {"no signature", fileFor(""), "设置文件错误"_gbk},
        {"no record count", fileFor(noCount.bytes()), "设置文件错误"_gbk},
        {"not enciphered", le32(8) + std::string("\x05Zorvu\0\0", 8), "设置内容解密失败"_gbk},
    };
    for (const auto& c : cases) {
        writeFile(cfg(), c.bytes);
        ConfSet s;
        s.Setup(dir.string() + "/", "Zorvu");
        s.params["keep"] = ConfVal();
        EXPECT_FALSE(s.Load()) << c.what;
        EXPECT_EQ(util::gbkToUtf8(s.Message), util::gbkToUtf8(c.message)) << c.what;
        EXPECT_EQ(s.params.size(), 1u) << c.what; // untouched before the records
    }
}

TEST_F(ConfSetFiles, RecordCutShortKeepsEarlierRecords) {
    util::BEPack plain;
    plain.str8("Zorvu").u32(3);
    for (const char* name : {"b", "a"})
        plain.str8("cat").str8(name).str32(std::string(4, '\0')).u8(0).u8(1).str16("").u8(0);
    plain.str8("cat").str8("c").str32("xx"); // the third record ends here
    writeFile(cfg(), fileFor(plain.bytes()));
    EXPECT_FALSE(store.Load());
    EXPECT_EQ(store.Message, "设置文件错误"_gbk);
    ASSERT_EQ(store.params.size(), 2u);
    EXPECT_TRUE(store.Find("a") && store.Find("b"));
}

TEST_F(ConfSetFiles, DuplicateNameInFileFirstWins) {
    util::BEPack plain;
    plain.str8("Zorvu").u32(2);
    for (const char* category : {"first", "second"})
        plain.str8(category).str8("n").str32(std::string(4, '\0')).u8(0).u8(1).str16("").u8(0);
    writeFile(cfg(), fileFor(plain.bytes()));
    ASSERT_TRUE(store.Load());
    ASSERT_EQ(store.params.size(), 1u);
    EXPECT_EQ(store.Find("n")->category, "first");
}

// A temporary file beside the settings file at load: taken over when it reads well, ignored
// with a notice when it does not (an interrupted save), the reading error when it is alone.
TEST_F(ConfSetFiles, TemporaryFileAtLoad) {
    fill(store);
    ASSERT_TRUE(store.Save());
    const std::string oldFile = readFile(cfg());
    ASSERT_TRUE(store.SetInt("port", 7000u));
    std::string body = store.Serialize();
    settings::ConfEncrypt(body);
    const std::string newFile = le32(static_cast<uint32_t>(body.size())) + body;

    const struct {
        const char* what;
        std::string tmpBytes; // empty: no temporary file
        bool withCfg;
        bool ok;
        std::string message;
        uint32_t port;
        bool tmpRemains;
    } cases[] = {
        {"good temporary replaces", newFile, true, true, "", 7000, false},
        {"good temporary alone", newFile, false, true, "", 7000, false},
        {"cut short beside good file", newFile.substr(0, newFile.size() / 2), true, true,
         "使用旧设置文件"_gbk, 9300, true},
        {"garbage beside good file", "garbage!", true, true, "使用旧设置文件"_gbk, 9300, true},
        {"cut short alone", newFile.substr(0, newFile.size() / 2), false, false, "设置文件错误"_gbk,
         0, true},
        {"neither file", "", false, false, "设置文件不存在"_gbk, 0, false},
        {"settings file only", "", true, true, "", 9300, false},
    };
    for (const auto& c : cases) {
        fs::remove(cfg());
        fs::remove(tmp());
        if (c.withCfg) writeFile(cfg(), oldFile);
        if (!c.tmpBytes.empty()) writeFile(tmp(), c.tmpBytes);
        ConfSet s;
        s.Setup(dir.string() + "/", "Zorvu");
        EXPECT_EQ(s.Load(), c.ok) << c.what;
        EXPECT_EQ(util::gbkToUtf8(s.Message), util::gbkToUtf8(c.message)) << c.what;
        EXPECT_EQ(fs::exists(tmp()), c.tmpRemains) << c.what;
        uint32_t port = 0;
        if (c.ok) {
            EXPECT_TRUE(s.GetInt("port", port)) << c.what;
        }
        EXPECT_EQ(port, c.port) << c.what;
    }
}

TEST_F(ConfSetFiles, SaveAfterInterruptedSaveReplacesBoth) {
    fill(store);
    ASSERT_TRUE(store.Save());
    writeFile(tmp(), readFile(cfg()).substr(0, 20));
    ConfSet s = loaded();
    EXPECT_EQ(s.Message, "使用旧设置文件"_gbk);
    ASSERT_TRUE(s.SetInt("port", 1234u));
    ASSERT_TRUE(s.Save());
    EXPECT_TRUE(s.Message.empty());
    EXPECT_FALSE(fs::exists(tmp()));
    uint32_t port = 0;
    ConfSet again = loaded();
    EXPECT_TRUE(again.Message.empty());
    EXPECT_TRUE(again.GetInt("port", port));
    EXPECT_EQ(port, 1234u);
}

// A save that cannot write its content completely (a full disk) must leave the settings file
// alone and leave no partial temporary file to be taken over later.
TEST_F(ConfSetFiles, FailedWriteKeepsSettingsFile) {
    if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
    fill(store);
    ASSERT_TRUE(store.Save());
    const std::string before = readFile(cfg());
    fs::create_symlink("/dev/full", tmp());
    ASSERT_TRUE(store.SetInt("port", 1u));
    EXPECT_FALSE(store.Save());
    EXPECT_EQ(store.Message, "写入设置文件失败"_gbk);
    EXPECT_EQ(readFile(cfg()), before);
    EXPECT_FALSE(fs::exists(fs::symlink_status(tmp())));
}

TEST_F(ConfSetFiles, UnwritableDirectory) {
    fill(store);
    store.Setup((dir / "missing").string() + "/", "Zorvu");
    EXPECT_FALSE(store.Save());
    EXPECT_EQ(store.Message, "打开设置文件失败"_gbk);
}

TEST(ConfSetAccess, TypedAccessMessages) {
    ConfSet s;
    s.params["t"] = param("", "t", settings::kConfText);
    s.params["i"] = param("", "i", settings::kConfInt);
    s.params["f"] = param("", "f", settings::kConfFloat);
    s.params["short"] = param("", "short", settings::kConfInt, "\x01\x02");
    s.params["longtext"] =
        param("", "longtext", settings::kConfText, std::string("\x00\x05", 2) + "ab");
    s.params["data"] = param("", "data", settings::kConfData, std::string("\x00\x00\x01\x00", 4));
    std::string str = "unchanged";
    uint32_t u = 77;
    double d = 7.5;
    const auto msg = [&](bool ok) { return ok ? std::string("ok") : util::gbkToUtf8(s.Message); };
    EXPECT_EQ(msg(s.GetStr("x", str)), "无[x]参数");
    EXPECT_EQ(msg(s.GetInt("x", u)), "无[x]参数");
    EXPECT_EQ(msg(s.SetFloat("x", 1)), "无[x]参数");
    EXPECT_EQ(msg(s.GetInt("t", u)), "参数[t]类型非数字");
    EXPECT_EQ(msg(s.SetInt("f", 1u)), "参数[f]类型非数字");
    EXPECT_EQ(msg(s.GetStr("i", str)), "参数[i]类型非字符串");
    EXPECT_EQ(msg(s.SetStr("f", "a")), "参数[f]类型非字符串");
    EXPECT_EQ(msg(s.GetFloat("i", d)), "参数[i]类型非小数");
    EXPECT_EQ(msg(s.GetInt("short", u)), "提取[short]参数值出错");
    EXPECT_EQ(msg(s.GetStr("longtext", str)), "提取[longtext]参数值出错");
    EXPECT_EQ(msg(s.GetStr("data", str)), "提取[data]参数值出错");
    EXPECT_EQ(msg(s.GetFloat("f", d)), "提取[f]参数值出错"); // an empty value
    EXPECT_EQ(str, "unchanged");
    EXPECT_EQ(u, 77u);
    EXPECT_EQ(d, 7.5);
    EXPECT_EQ(s.Find("short")->value, "\x01\x02"); // failed setters changed nothing

    s.Message = "kept";
    EXPECT_TRUE(s.SetInt("i", 1u));
    EXPECT_EQ(s.Message, "kept"); // success leaves the message alone
}

TEST(ConfSetAccess, IntegerViews) {
    ConfSet s;
    s.params["i"] = param("", "i", settings::kConfBits);
    const struct {
        uint32_t stored;
        bool flag;
        uint8_t byte;
        int32_t signedValue;
    } cases[] = {
        {256, false, 0, 256},         {257, true, 1, 257}, {0x1FF, true, 0xFF, 0x1FF},
        {0xFFFFFFFF, true, 0xFF, -1}, {0, false, 0, 0},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(s.SetInt("i", c.stored));
        bool flag = !c.flag;
        uint8_t byte = 0;
        int32_t v = 0;
        ASSERT_TRUE(s.GetBool("i", flag) && s.GetByte("i", byte) && s.GetInt("i", v));
        EXPECT_EQ(flag, c.flag) << c.stored;
        EXPECT_EQ(byte, c.byte) << c.stored;
        EXPECT_EQ(v, c.signedValue) << c.stored;
    }
}

TEST(ConfSetAccess, TextCutDataWhole) {
    ConfSet s;
    s.params["t"] = param("", "t", settings::kConfPath);
    s.params["d"] = param("", "d", settings::kConfData);
    const std::string big(70000, 'q');
    std::string out;
    ASSERT_TRUE(s.SetStr("t", big));
    ASSERT_TRUE(s.GetStr("t", out));
    EXPECT_EQ(out.size(), 65535u);
    ASSERT_TRUE(s.SetStr("d", big + std::string(1, '\0')));
    ASSERT_TRUE(s.GetStr("d", out));
    EXPECT_EQ(out, big + std::string(1, '\0'));
    // Trailing bytes after the decoded item are ignored.
    s.Find("t")->value = std::string("\x00\x01zTRAILING", 11);
    ASSERT_TRUE(s.GetStr("t", out));
    EXPECT_EQ(out, "z");
}

// The count of dictionary entries is one byte: a 256th entry is dropped, not wrapped to 0.
TEST(ConfSetFormat, FullDictionaryWritesAtMost255) {
    ConfSet s;
    s.Setup("", "Zorvu");
    ConfVal v = param("c", "n", settings::kConfDict, std::string(4, '\0'));
    for (int k = 0; k < 256; ++k)
        v.dictionary[static_cast<uint8_t>(k)] = "x";
    s.params["n"] = v;
    ConfSet::Params back;
    const std::string path =
        (fs::temp_directory_path() / ("confset-dict-" + std::to_string(::getpid()))).string();
    writeFile(path, fileFor(s.Serialize()));
    ASSERT_TRUE(s.ReadFile(path, back)) << util::gbkToUtf8(s.Message);
    fs::remove(path);
    ASSERT_EQ(back.size(), 1u);
    EXPECT_EQ(back["n"].dictionary.size(), 255u);
    EXPECT_EQ(back["n"].dictionary.rbegin()->first, 254);
}

TEST(ConfValOrder, CategoryThenNameBytewise) {
    EXPECT_LT(param("a", "z", 0), param("b", "a", 0));
    EXPECT_LT(param("a", "a", 0), param("a", "ab", 0));
    EXPECT_LT(param("z", "a", 0), param("\xB5\xC7", "a", 0)); // high bytes after ASCII
    EXPECT_EQ(util::gbkToUtf8(ConfVal::TypeLabel(settings::kConfBits)), "按位定义");
    EXPECT_EQ(util::gbkToUtf8(ConfVal::TypeLabel(settings::kConfData)), "数据");
}

} // namespace
