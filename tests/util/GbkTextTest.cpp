#include "util/GbkText.h"

#include <random>
#include <string>

#include <gtest/gtest.h>

namespace {

using namespace util::literals;

const std::string replacementChar = "\xEF\xBF\xBD";

// True when `s` is well-formed UTF-8 (no overlongs, surrogates or values past U+10FFFF).
bool isWellFormedUtf8(const std::string& s) {
    size_t i = 0;
    while (i < s.size()) {
        const auto c = static_cast<unsigned char>(s[i]);
        size_t n = 0;
        unsigned lo = 0x80, hi = 0xBF;
        if (c < 0x80) {
            ++i;
            continue;
        } else if (c >= 0xC2 && c <= 0xDF) {
            n = 1;
        } else if (c >= 0xE0 && c <= 0xEF) {
            n = 2;
            lo = c == 0xE0 ? 0xA0 : 0x80;
            hi = c == 0xED ? 0x9F : 0xBF;
        } else if (c >= 0xF0 && c <= 0xF4) {
            n = 3;
            lo = c == 0xF0 ? 0x90 : 0x80;
            hi = c == 0xF4 ? 0x8F : 0xBF;
        } else {
            return false;
        }
        if (i + n >= s.size()) return false;
        for (size_t k = 1; k <= n; ++k) {
            const auto d = static_cast<unsigned char>(s[i + k]);
            if (d < (k == 1 ? lo : 0x80) || d > (k == 1 ? hi : 0xBF)) return false;
        }
        i += n + 1;
    }
    return true;
}

TEST(GbkText, ConvertsKnownTextBothWays) {
    const struct {
        const char* utf8;
        std::string gbk;
    } cases[] = {
        {"终端响应超时", "\xD6\xD5\xB6\xCB\xCF\xEC\xD3\xA6\xB3\xAC\xCA\xB1"},
        {"打开文件失败", "\xB4\xF2\xBF\xAA\xCE\xC4\xBC\xFE\xCA\xA7\xB0\xDC"},
        {"宋体", "\xCB\xCE\xCC\xE5"},
        {"粤B12345 通道1", "\xD4\xC1"
                           "B12345 \xCD\xA8\xB5\xC0"
                           "1"},
        {"·", "\xA1\xA4"},
        {"plain ASCII ~\x7F", "plain ASCII ~\x7F"},
        {"", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(util::utf8ToGbk(c.utf8), c.gbk) << c.utf8;
        EXPECT_EQ(util::gbkToUtf8(c.gbk), c.utf8) << c.utf8;
    }
}

TEST(GbkText, LiteralIsConvertedOnceAndCached) {
    const std::string& first = "登录成功"_gbk;
    EXPECT_EQ(first, "\xB5\xC7\xC2\xBC\xB3\xC9\xB9\xA6");
    EXPECT_EQ(&first, &"登录成功"_gbk);
    EXPECT_NE(&first, &"宋体"_gbk);
    EXPECT_EQ("宋体"_gbk, "\xCB\xCE\xCC\xE5");
}

TEST(GbkText, ZeroByteEndsTheText) {
    EXPECT_EQ(util::utf8ToGbk(std::string("宋\0体", 7)), "\xCB\xCE");
    EXPECT_EQ(util::gbkToUtf8(std::string("\xCB\xCE\0\xCC\xE5", 5)), "宋");
    EXPECT_EQ(util::utf8ToGbk(std::string("ab\0cd", 5)), "ab");
    EXPECT_EQ(util::gbkToUtf8(std::string("\0\xCB\xCE", 3)), "");
}

TEST(GbkText, ReplacesWhatCannotBeConverted) {
    const struct {
        std::string utf8;
        std::string gbk;
    } cases[] = {
        {"a😀b", "a?b"},                  // outside GBK, four bytes
        {"宋한体", "\xCB\xCE?\xCC\xE5"}, // outside GBK, three bytes
        {"😀😀", "??"},
        {"a\xFFz", "a?z"},            // never valid in UTF-8
        {"a\x80\x80z", "a??z"},       // stray continuation bytes
        {"\xC0\xAF", "??"},           // overlong '/'
        {"\xED\xA0\x80", "???"},      // surrogate
        {"宋\xE4\xBD", "\xCB\xCE??"}, // cut off at the end
        {"\xE4\xBDZ", "??Z"},         // cut off before ASCII
        {"\xF4\x90\x80\x80", "????"}, // past U+10FFFF
    };
    for (const auto& c : cases) {
        EXPECT_EQ(util::utf8ToGbk(c.utf8), c.gbk) << testing::PrintToString(c.utf8);
    }
}

TEST(GbkText, BrokenGbkBecomesReplacementCharacter) {
    const struct {
        std::string gbk;
        std::string utf8;
    } cases[] = {
        {"\xCB\xCE\xCC", "宋" + replacementChar}, // lead byte cut off at the end
        {"\xCC", replacementChar},
        {"\xFFz", replacementChar + "z"},                          // never valid in GBK
        {"\xCB\x20\xCE", replacementChar + " " + replacementChar}, // lead byte before ASCII
    };
    for (const auto& c : cases) {
        EXPECT_EQ(util::gbkToUtf8(c.gbk), c.utf8) << testing::PrintToString(c.gbk);
    }
}

TEST(GbkText, ConvertsLongTextPastAnyInternalBuffer) {
    std::string utf8;
    std::string gbk;
    for (int i = 0; i < 3000; ++i) {
        utf8 += "终端x";
        gbk += "\xD6\xD5\xB6\xCBx";
    }
    utf8 += "😀";
    gbk += "?";
    EXPECT_EQ(util::utf8ToGbk(utf8), gbk);
    EXPECT_EQ(util::gbkToUtf8(gbk), utf8.substr(0, utf8.size() - 4) + "?");
}

TEST(GbkText, RandomBytesNeverBreakEitherConversion) {
    std::mt19937 rng(20261210);
    std::uniform_int_distribution<int> length(0, 48);
    std::uniform_int_distribution<int> byte(0, 255);
    std::bernoulli_distribution highByte(0.7);
    for (int round = 0; round < 10000; ++round) {
        std::string in(static_cast<size_t>(length(rng)), '\0');
        for (char& c : in) {
            c = static_cast<char>(highByte(rng) ? 0x80 | byte(rng) : byte(rng));
        }
        const std::string utf8 = util::gbkToUtf8(in);
        ASSERT_TRUE(isWellFormedUtf8(utf8)) << testing::PrintToString(in);
        ASSERT_EQ(utf8.find('\0'), std::string::npos);
        const std::string gbk = util::utf8ToGbk(in);
        ASSERT_EQ(gbk.find('\0'), std::string::npos);
        ASSERT_LE(gbk.size(), in.size());
        // Every GBK character survives the way back; only what was broken turns into '?'.
        std::string expected = utf8;
        for (size_t at; (at = expected.find(replacementChar)) != std::string::npos;) {
            expected.replace(at, replacementChar.size(), "?");
        }
        ASSERT_EQ(util::gbkToUtf8(util::utf8ToGbk(utf8)), expected) << testing::PrintToString(in);
    }
}

} // namespace
