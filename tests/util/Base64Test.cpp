#include "util/Base64.h"

#include <string>

#include <gtest/gtest.h>

namespace {

TEST(Base64, EncodesTheStandardVectors) {
    const struct {
        const char* in;
        const char* out;
    } cases[] = {
        {"", ""},
        {"f", "Zg=="},
        {"fo", "Zm8="},
        {"foo", "Zm9v"},
        {"foob", "Zm9vYg=="},
        {"fooba", "Zm9vYmE="},
        {"foobar", "Zm9vYmFy"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(util::base64Encode(c.in), c.out) << c.in;
}

TEST(Base64, UsesTheFullAlphabetOnHighBytes) {
    // The two last alphabet characters and bytes with the top bit set (no sign extension).
    EXPECT_EQ(util::base64Encode(std::string("\xFB\xEF\xBE\xFF", 4)), "++++/w==");
    EXPECT_EQ(util::base64Encode(std::string("\x00\x00\x00", 3)), "AAAA");
    EXPECT_EQ(util::base64Encode(std::string("\xFF\xFF\xFF", 3)), "////");
}

} // namespace
