#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

#include "media/ColorConvert.h"
#include "media/VideoFrame.h"

namespace {

using media::ConvertIsa;

// The conversions written out per pixel, straight from their formulas in real arithmetic.
int clamp8(double v) {
    const long t = static_cast<long>(v); // truncation toward zero
    return static_cast<int>(std::clamp<long>(t, 0, 255));
}

uint32_t packRgb(int r, int g, int b) {
    return static_cast<uint32_t>(r << 16 | g << 8 | b);
}

uint32_t exactPixel(int y, int u, int v) {
    const int rv = static_cast<int>((v - 128) * 1.4075), gu = static_cast<int>((u - 128) * 0.3455);
    const int gv = static_cast<int>((v - 128) * 0.7169), bu = static_cast<int>((u - 128) * 1.779);
    return packRgb(clamp8(y + rv), clamp8(y - gu - gv), clamp8(y + bu));
}

// The fast formulas in exact decimal fixed point (a double could land a hair below an integer).
long truncDiv(long a, long b) {
    return a / b;
}
uint32_t fastPixel(int y, int u, int v) {
    const long i = y / 2, j = u / 4, k = v / 4;
    auto c = [](long t) { return static_cast<int>(std::clamp<long>(t, 0, 255)); };
    return packRgb(c(truncDiv(5630 * k + 2000 * i - 180660, 1000)),
                   c(truncDiv(20000 * i - 13820 * j - 28676 * k + 1364872, 10000)),
                   c(truncDiv(2000 * i + 7116 * j - 227212, 1000)));
}

struct Planes {
    int rows, columns, yStride, uvStride;
    std::vector<uint8_t> y, u, v;
    Planes(int r, int c, int pad) : rows(r), columns(c) {
        yStride = c + pad;
        uvStride = (c + 1) / 2 + pad;
        y.assign(static_cast<size_t>(yStride) * r, 0);
        u.assign(static_cast<size_t>(uvStride) * ((r + 1) / 2), 0);
        v.assign(u.size(), 0);
    }
};

struct Bitmap {
    static constexpr uint32_t kUntouched = 0xDEADBEEF;
    int rows, columns;
    std::vector<uint32_t> pixels;
    std::vector<uint32_t*> table;
    Bitmap(int r, int c) : rows(r), columns(c), pixels(static_cast<size_t>(r) * c, kUntouched) {
        for (int i = 0; i < r; ++i)
            table.push_back(pixels.data() + static_cast<size_t>(i) * c);
    }
    uint32_t at(int r, int c) const { return pixels[static_cast<size_t>(r) * columns + c]; }
};

void run(bool fast, const Planes& p, Bitmap& out) {
    (fast ? media::ConvertFast : media::ConvertExact)(p.rows, p.columns, p.y.data(), p.u.data(),
                                                      p.v.data(), p.yStride, p.uvStride,
                                                      out.table.data());
}

// Compares a conversion with the per-pixel formula; cells of an odd last row or column must
// stay untouched. Returns the number of mismatches (reporting the first few).
int compare(bool fast, const Planes& p, const Bitmap& out) {
    int bad = 0;
    for (int r = 0; r < p.rows; ++r) {
        for (int c = 0; c < p.columns; ++c) {
            uint32_t want = Bitmap::kUntouched;
            if (r < (p.rows & ~1) && c < (p.columns & ~1)) {
                const size_t ci = static_cast<size_t>(r / 2) * p.uvStride + c / 2;
                const int y = p.y[static_cast<size_t>(r) * p.yStride + c];
                want = fast ? fastPixel(y, p.u[ci], p.v[ci]) : exactPixel(y, p.u[ci], p.v[ci]);
            }
            if (out.at(r, c) != want && ++bad <= 5)
                ADD_FAILURE() << (fast ? "fast" : "exact") << " row " << r << " column " << c
                              << ": " << std::hex << out.at(r, c) << " want " << want;
        }
    }
    return bad;
}

class ConvertIsaTest : public ::testing::TestWithParam<ConvertIsa> {
protected:
    void SetUp() override {
        if (media::setConvertIsa(GetParam()) != GetParam())
            GTEST_SKIP() << "the processor lacks this instruction set";
    }
    void TearDown() override { media::setConvertIsa(media::bestConvertIsa()); }
};

TEST_P(ConvertIsaTest, EveryYuvCombination) {
    // For each U, a picture whose blocks run over every V (columns) and every Y (four per
    // block, rows): 256 pictures of 512 x 128 pixels hold all 2^24 inputs.
    Planes p(128, 512, 0);
    for (int r = 0; r < p.rows; ++r)
        for (int c = 0; c < p.columns; ++c)
            p.y[static_cast<size_t>(r) * p.yStride + c] =
                static_cast<uint8_t>(4 * (r / 2) + 2 * (r % 2) + c % 2);
    for (int r = 0; r < p.rows / 2; ++r)
        for (int c = 0; c < p.columns / 2; ++c)
            p.v[static_cast<size_t>(r) * p.uvStride + c] = static_cast<uint8_t>(c);
    for (bool fast : {false, true}) {
        int bad = 0;
        for (int u = 0; u < 256 && bad == 0; ++u) {
            std::fill(p.u.begin(), p.u.end(), static_cast<uint8_t>(u));
            Bitmap out(p.rows, p.columns);
            run(fast, p, out);
            bad = compare(fast, p, out);
        }
        EXPECT_EQ(bad, 0) << (fast ? "fast" : "exact");
    }
}

TEST_P(ConvertIsaTest, OddSizesStridesAndVectorTails) {
    std::mt19937 rng(1078);
    for (int columns : {1, 2, 7, 14, 16, 30, 32, 34, 62, 64, 66, 97, 510, 514, 1922}) {
        for (int rows : {1, 2, 3, 6}) {
            Planes p(rows, columns, columns % 3 * 5);
            for (auto* plane : {&p.y, &p.u, &p.v})
                for (uint8_t& b : *plane)
                    b = static_cast<uint8_t>(rng());
            for (bool fast : {false, true}) {
                Bitmap out(rows, columns);
                run(fast, p, out);
                EXPECT_EQ(compare(fast, p, out), 0) << columns << "x" << rows;
            }
        }
    }
}

std::string isaName(ConvertIsa isa) {
    return isa == ConvertIsa::Scalar ? "Scalar" : isa == ConvertIsa::Sse2 ? "Sse2" : "Avx2";
}

INSTANTIATE_TEST_SUITE_P(Isa, ConvertIsaTest,
                         ::testing::Values(ConvertIsa::Scalar, ConvertIsa::Sse2, ConvertIsa::Avx2),
                         [](const auto& info) { return isaName(info.param); });

TEST(ColorTables, MatchTheirFormulas) {
    const media::ColorTables& t = media::colorTables();
    EXPECT_EQ(&t, &media::colorTables()); // built once
    for (int x = 0; x < 256; ++x) {
        const double d = x - 128;
        EXPECT_EQ(t.RV[x], static_cast<int>(d * 1.4075)) << x;
        EXPECT_EQ(t.GU[x], static_cast<int>(d * 0.3455)) << x;
        EXPECT_EQ(t.GV[x], static_cast<int>(d * 0.7169)) << x;
        EXPECT_EQ(t.BU[x], static_cast<int>(d * 1.779)) << x;
    }
    ASSERT_EQ(t.fast.size(), 524288u);
    int bad = 0;
    for (int y = 0; y < 256; y += 2)
        for (int u = 0; u < 256; u += 4)
            for (int v = 0; v < 256; v += 4)
                bad += t.fast[(y / 2) * 4096 + (u / 4) * 64 + v / 4] != fastPixel(y, u, v);
    EXPECT_EQ(bad, 0);
}

TEST(Convert, KnownColours) {
    struct Case {
        uint8_t y, u, v;
        uint32_t exact, fast;
    };
    const Case cases[] = {
        {0, 128, 128, 0x000000, 0x000000},
        {255, 128, 128, 0xFFFFFF, 0xFDFEFE},
        {81, 90, 240, 0xEE0E0E, 0xED0E09}, // saturated red: R 81 + 157, G 81 + 13 - 80, B 81 - 67
    };
    for (const Case& c : cases) {
        Planes p(2, 2, 0);
        std::fill(p.y.begin(), p.y.end(), c.y);
        p.u[0] = c.u;
        p.v[0] = c.v;
        for (bool fast : {false, true}) {
            Bitmap out(2, 2);
            run(fast, p, out);
            for (uint32_t px : out.pixels)
                EXPECT_EQ(px, fast ? c.fast : c.exact) << +c.y << " " << +c.u << " " << +c.v;
        }
    }
}

TEST(VideoFrame, SizeToAndRowTable) {
    media::VideoFrame f;
    EXPECT_FALSE(f.SizeTo(2049, 16));
    EXPECT_FALSE(f.hasPicture);
    ASSERT_TRUE(f.SizeTo(2048, 4));
    ASSERT_TRUE(f.SizeTo(1080, 1920));
    EXPECT_TRUE(f.hasPicture);
    EXPECT_EQ(f.width(), 1920);
    EXPECT_EQ(f.height(), 1080);
    for (int r : {0, 1, 539, 1079})
        EXPECT_EQ(f.rowTable()[r], f.bits() + static_cast<size_t>(r) * 1920);
    EXPECT_EQ(f.rowTable()[1080], nullptr);

    // A 1920 x 1088 picture with a bottom crop of 8 fills the whole 1080-row bitmap.
    Planes p(1088, 1920, 0);
    std::fill(p.y.begin(), p.y.end(), 255);
    std::fill(p.u.begin(), p.u.end(), 128);
    std::fill(p.v.begin(), p.v.end(), 128);
    media::ConvertExact(1088 - 8, 1920, p.y.data(), p.u.data(), p.v.data(), p.yStride, p.uvStride,
                        f.rowTable());
    EXPECT_EQ(f.pixel(1079, 1919), 0xFFFFFFu);
}

TEST(VideoFrame, TakeAndClear) {
    media::VideoFrame f;
    const uint32_t* bits = nullptr;
    EXPECT_FALSE(f.Take(true, bits)); // nothing to draw yet
    ASSERT_TRUE(f.SizeTo(4, 4));
    EXPECT_FALSE(f.Take(false, bits));
    EXPECT_TRUE(f.Take(true, bits)); // the old picture, redrawn
    EXPECT_EQ(f.shownCount, 0);
    f.newPicture = true;
    EXPECT_TRUE(f.Take(false, bits));
    EXPECT_EQ(bits, f.bits());
    EXPECT_EQ(f.shownCount, 1);
    EXPECT_FALSE(f.newPicture);
    EXPECT_FALSE(f.Take(false, bits));
    f.Clear();
    EXPECT_FALSE(f.hasPicture);
    EXPECT_EQ(f.shownCount, 0);
    EXPECT_FALSE(f.Take(true, bits));
    EXPECT_EQ(f.rowTable()[0], nullptr);
}

} // namespace
