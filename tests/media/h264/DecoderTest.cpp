// What the decoder wrapper promises without a real stream; real streams are in the
// integration suite.

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "media/Hi_H264DeCode.h"

namespace {

using media::Hi_H264DeCode;

TEST(Hi_H264DeCode, NoPictureUntilOneIsDecoded) {
    Hi_H264DeCode d;
    int w = 1, h = 1;
    uint32_t ts = 1;
    EXPECT_FALSE(d.Picture(w, h, ts));
    ASSERT_TRUE(d.Create());
    EXPECT_EQ(d.lastResult, -1);
    EXPECT_EQ(d.decodedCount, 0u);
    EXPECT_FALSE(d.Picture(w, h, ts));

    // A PPS without its SPS, a slice without either, an empty unit and junk: no picture, and
    // the decoder stays usable.
    const std::vector<std::vector<uint8_t>> units = {
        {0, 0, 0, 1, 0x68, 0xCE, 0x38, 0x80},
        {0, 0, 0, 1, 0x65, 0x88, 0x84, 0x00, 0x33, 0xFF},
        {0, 0, 0, 1},
        {0xDE, 0xAD, 0xBE, 0xEF, 0x00, 0x00, 0x00},
    };
    for (const auto& u : units) {
        EXPECT_NE(d.Decode(u.data(), static_cast<int>(u.size())), Hi_H264DeCode::kPicture);
        EXPECT_FALSE(d.Picture(w, h, ts));
    }
    EXPECT_EQ(d.decodedCount, 0u);
    EXPECT_NE(d.Decode(nullptr, 0), Hi_H264DeCode::kPicture);
    EXPECT_TRUE(d.created());
}

TEST(Hi_H264DeCode, DecodeCreatesLazilyAndDestroyReleases) {
    Hi_H264DeCode d;
    EXPECT_FALSE(d.created());
    const uint8_t sei[] = {0, 0, 0, 1, 0x06, 0x05, 0x01, 0x00, 0x80};
    d.Decode(sei, sizeof sei);
    EXPECT_TRUE(d.created());
    d.Destroy();
    EXPECT_FALSE(d.created());
    d.Destroy(); // twice is harmless
}

} // namespace
