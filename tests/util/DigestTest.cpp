#include "util/Digest.h"
#include "util/Hex.h"

#include <string>

#include <gtest/gtest.h>

namespace {

TEST(Digest, Md5KnownVectors) {
    const struct {
        std::string in;
        const char* hex;
    } cases[] = {
        {"", "d41d8cd98f00b204e9800998ecf8427e"},
        {"a", "0cc175b9c0f1b6a831c399e269772661"},
        {"abc", "900150983cd24fb0d6963f7d28e17f72"},
        {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
        {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
        {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
         "57edf4a22be3c955ac49da2e2107b67a"},
        {std::string("\0", 1), "93b885adfe0da089cdf634904fd59f71"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(util::md5Hex(c.in), c.hex) << c.in;
        const std::string raw = util::md5(c.in);
        EXPECT_EQ(raw.size(), 16u);
        EXPECT_EQ(util::bytesToHex(raw), c.hex);
    }
}

TEST(Digest, Sha1KnownVectors) {
    const struct {
        std::string in;
        const char* hex;
    } cases[] = {
        {"", "da39a3ee5e6b4b0d3255bfef95601890afd80709"},
        {"abc", "a9993e364706816aba3e25717850c26c9cd0d89d"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "84983e441c3bd26ebaae4aa1f95129e5e54670f1"},
        {std::string(1'000'000, 'a'), "34aa973cd4c4daa4f61eeb2bdbad27316534016f"},
    };
    for (const auto& c : cases) {
        const std::string raw = util::sha1(c.in);
        EXPECT_EQ(raw.size(), 20u);
        EXPECT_EQ(util::bytesToHex(raw), c.hex) << c.in.substr(0, 60);
    }
}

} // namespace
