// Snapshots as JPEG: what is written reads back at its size and close to its pixels, and what
// is not a JPEG is refused without harm.

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "media/JpegFile.h"

namespace {

using media::JpegFile;
using media::JpegImage;

TEST(JpegFile, RoundTripKeepsSizeAndColours) {
    const int w = 37, h = 21; // not a multiple of the 8x8 blocks
    std::vector<uint32_t> pixels(static_cast<size_t>(w) * h);
    std::vector<const uint32_t*> rows(h);
    for (int r = 0; r < h; ++r) {
        rows[r] = pixels.data() + static_cast<size_t>(r) * w;
        for (int c = 0; c < w; ++c)
            pixels[static_cast<size_t>(r) * w + c] = c < w / 2 ? 0x00C02010 : 0x0020A0F0;
    }
    std::string jpeg;
    ASSERT_TRUE(JpegFile::encode(rows.data(), w, h, 90, jpeg));
    EXPECT_EQ(jpeg.substr(0, 2), "\xFF\xD8");
    JpegImage image;
    ASSERT_TRUE(JpegFile::decode(jpeg, image));
    ASSERT_EQ(image.width, w);
    ASSERT_EQ(image.height, h);
    // Away from the edge between the halves, each channel within a few steps.
    for (int r = 0; r < h; ++r)
        for (int c : {2, w - 3})
            for (int sh : {0, 8, 16}) {
                const auto want = static_cast<int>((pixels[r * w + c] >> sh) & 0xFF);
                const auto got = static_cast<int>((image.pixels[r * w + c] >> sh) & 0xFF);
                EXPECT_NEAR(got, want, 8) << r << "," << c;
            }
}

TEST(JpegFile, RefusesWhatIsNotAPicture) {
    const uint32_t pixel = 0;
    const uint32_t* row = &pixel;
    std::string jpeg;
    ASSERT_TRUE(JpegFile::encode(&row, 1, 1, 90, jpeg));
    EXPECT_FALSE(JpegFile::encode(&row, 0, 1, 90, jpeg));
    EXPECT_TRUE(jpeg.empty());
    ASSERT_TRUE(JpegFile::encode(&row, 1, 1, 90, jpeg));
    const std::string cases[] = {"", "not a jpeg", jpeg.substr(0, 20),
                                 std::string("\xFF\xD8\xFF\xC0\x00\x11\x08\xFF\xFF\xFF\xFF", 11)};
    for (const std::string& c : cases) {
        JpegImage image;
        EXPECT_FALSE(JpegFile::decode(c, image)) << c.size();
        EXPECT_TRUE(image.pixels.empty());
    }
    JpegImage image;
    EXPECT_FALSE(JpegFile::load("/nonexistent/x.jpg", image));
}

} // namespace
