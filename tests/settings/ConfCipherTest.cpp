#include <gtest/gtest.h>

#include <string>

#include "settings/ConfCipher.h"
#include "util/Hex.h"

using settings::ConfDecrypt;
using settings::ConfEncrypt;

namespace {

std::string hex(const std::string& s) {
    return util::bytesToHex(s);
}

// Worked out independently from the algorithm: k, c, s and the check word step by step.
TEST(ConfCipher, KnownVectors) {
    const struct {
        std::string plain, body;
    } cases[] = {
        {"", "2e38790d"},
        {"Zorvu", "c30def4cba47a199f0249719"},
        {std::string("\x05Zorvu\0\0\0\0", 10), "9c38f248e871f89d6c64cf6edfb874fd"},
    };
    for (const auto& c : cases) {
        std::string data = c.plain;
        ASSERT_TRUE(ConfEncrypt(data));
        EXPECT_EQ(hex(data), c.body);
        ASSERT_TRUE(ConfDecrypt(data));
        EXPECT_EQ(data, c.plain);
    }
}

TEST(ConfCipher, LengthsGrowToWordsPlusCheckWord) {
    for (size_t n = 0; n <= 13; ++n) {
        std::string plain;
        for (size_t i = 0; i < n; ++i)
            plain.push_back(static_cast<char>(0xF0 + i));
        std::string data = plain;
        ASSERT_TRUE(ConfEncrypt(data));
        const size_t gain = data.size() - n;
        if (n % 4 == 0)
            EXPECT_EQ(gain, 4u) << n;
        else
            EXPECT_TRUE(gain >= 5 && gain <= 7) << n;
        EXPECT_EQ(data.size() % 4, 0u);
        ASSERT_TRUE(ConfDecrypt(data)) << n;
        EXPECT_EQ(data, plain);
    }
}

TEST(ConfCipher, RefusesDamagedBodies) {
    std::string good(37, 'x');
    ASSERT_TRUE(ConfEncrypt(good));
    const auto refused = [](std::string body) {
        const std::string before = body;
        const bool ok = ConfDecrypt(body);
        EXPECT_EQ(body, before); // left as it was
        return !ok;
    };
    EXPECT_TRUE(refused(""));
    EXPECT_TRUE(refused("abc"));
    EXPECT_TRUE(refused(good.substr(0, good.size() - 1)));
    EXPECT_TRUE(refused(good.substr(0, good.size() - 4))); // last word taken as check word
    for (size_t bit = 0; bit < 30; ++bit) {                // every checked bit of the check word
        std::string body = good;
        body[body.size() - 4 + bit / 8] ^= static_cast<char>(1 << (bit % 8));
        EXPECT_TRUE(refused(body)) << bit;
    }
    for (size_t at : {0u, 5u, 17u, 35u}) {
        std::string body = good;
        body[at] ^= 0x10;
        EXPECT_TRUE(refused(body)) << at;
    }
}

// The two unchecked bits of the check word give the length of the last content word; on a
// body without content words they must not make the length negative.
TEST(ConfCipher, ForgedPartialWordOnEmptyBody) {
    for (const char flip : {'\x40', '\x80', '\xC0'}) {
        std::string body;
        ASSERT_TRUE(ConfEncrypt(body));
        body[3] ^= flip;
        EXPECT_FALSE(ConfDecrypt(body));
    }
}

TEST(ConfCipher, ShortKeyFails) {
    std::string data = "abcd";
    EXPECT_FALSE(ConfEncrypt(data, "0123456789abcde"));
    EXPECT_EQ(data, "abcd");
    ASSERT_TRUE(ConfEncrypt(data, "0123456789abcdef"));
    EXPECT_FALSE(ConfDecrypt(data, "short"));
    EXPECT_TRUE(ConfDecrypt(data, "0123456789abcdef"));
    EXPECT_EQ(data, "abcd");
}

} // namespace
