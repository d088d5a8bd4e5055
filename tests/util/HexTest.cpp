#include "util/Hex.h"

#include <string>

#include <gtest/gtest.h>

namespace {

TEST(Hex, ReadsPairsOfEitherCase) {
    std::string out = "old";
    ASSERT_TRUE(util::hexToBytes("00ff7F80aBcD", out));
    EXPECT_EQ(out, std::string("\x00\xFF\x7F\x80\xAB\xCD", 6));
    ASSERT_TRUE(util::hexToBytes("", out));
    EXPECT_EQ(out, "");
}

TEST(Hex, RefusesBadTextAndKeepsTheTarget) {
    for (const char* bad : {"0", "abc", "0g", "g0", " 00", "00 ", "0x00", "-1", "zz"}) {
        std::string out = "kept";
        EXPECT_FALSE(util::hexToBytes(bad, out)) << bad;
        EXPECT_EQ(out, "kept") << bad;
    }
    std::string out = "kept";
    EXPECT_FALSE(util::hexToBytes(std::string("0\0", 2), out));
    EXPECT_EQ(out, "kept");
}

TEST(Hex, WritesLowercaseAndRoundTripsEveryByte) {
    EXPECT_EQ(util::bytesToHex(std::string("\x00\x0A\xF0\xFF", 4)), "000af0ff");
    std::string all;
    for (int i = 0; i < 256; ++i)
        all.push_back(static_cast<char>(i));
    std::string back;
    ASSERT_TRUE(util::hexToBytes(util::bytesToHex(all), back));
    EXPECT_EQ(back, all);
}

} // namespace
