#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "media/Decodesps.h"

namespace {

using media::BitReader;
using media::NalUnit;
using media::NextNalUnit;
using media::ParseSps;
using media::SpsInfo;
using Bytes = std::vector<uint8_t>;

// Writes SPS syntax the way an encoder does, so that every branch of the reader can be fed.
class BitWriter {
public:
    void bits(uint64_t v, int n) {
        for (int i = n - 1; i >= 0; --i)
            bit((v >> i) & 1);
    }
    void ue(uint32_t v) {
        const uint64_t x = uint64_t{v} + 1;
        int len = 0;
        while ((x >> len) > 1)
            ++len;
        bits(0, len);
        bits(x, len + 1);
    }
    void se(int32_t v) { ue(v > 0 ? 2 * static_cast<uint32_t>(v) - 1 : -2 * v); }
    // rbsp_stop_one_bit and alignment, then emulation prevention as a real stream has it.
    Bytes finish(bool escape = true) {
        bit(1);
        while (nbits % 8)
            bit(0);
        if (!escape) return raw;
        Bytes out;
        int zeros = 0;
        for (uint8_t b : raw) {
            if (zeros >= 2 && b <= 3) {
                out.push_back(3);
                zeros = 0;
            }
            out.push_back(b);
            zeros = b == 0 ? zeros + 1 : 0;
        }
        return out;
    }

private:
    void bit(int b) {
        if (nbits % 8 == 0) raw.push_back(0);
        if (b) raw.back() |= static_cast<uint8_t>(0x80 >> (nbits % 8));
        ++nbits;
    }
    Bytes raw;
    int nbits = 0;
};

struct Vui {
    bool present = false;
    bool aspect255 = false; // aspect_ratio_idc 255 with SAR fields
    bool signalType = false;
    bool chromaLoc = false;
    bool timing = false;
    uint32_t unitsInTick = 1;
    uint32_t timeScale = 50;
    bool fixed = true;
};

struct SpsCase {
    const char* name;
    int profile;
    int widthMbs, heightMapUnits;
    int cropLeft, cropRight, cropTop, cropBottom;
    int pocType;
    bool frameMbsOnly;
    bool scaling;
    int chromaFormat;
    Vui vui;
    SpsInfo want;
};

void PrintTo(const SpsCase& c, std::ostream* os) {
    *os << c.name;
}

Bytes makeSps(const SpsCase& c) {
    BitWriter w;
    w.bits(0x67, 8);
    w.bits(c.profile, 8);
    w.bits(0, 8); // constraint flags and reserved bits
    w.bits(30, 8);
    w.ue(0);
    if (c.profile == 100 || c.profile == 110 || c.profile == 122 || c.profile == 144) {
        w.ue(c.chromaFormat);
        if (c.chromaFormat == 3) w.bits(0, 1);
        w.ue(0);
        w.ue(0);
        w.bits(0, 1);
        w.bits(c.scaling, 1);
        if (c.scaling) w.bits(0, 8);
    }
    w.ue(0);
    w.ue(c.pocType);
    if (c.pocType == 0) w.ue(2);
    if (c.pocType == 1) {
        w.bits(0, 1);
        w.se(-3);
        w.se(5);
        w.ue(3);
        w.se(1);
        w.se(-2);
        w.se(7);
    }
    w.ue(1);
    w.bits(0, 1);
    w.ue(c.widthMbs - 1);
    w.ue(c.heightMapUnits - 1);
    w.bits(c.frameMbsOnly, 1);
    if (!c.frameMbsOnly) w.bits(1, 1);
    w.bits(1, 1);
    const bool crop = c.cropLeft || c.cropRight || c.cropTop || c.cropBottom;
    w.bits(crop, 1);
    if (crop) {
        w.ue(c.cropLeft);
        w.ue(c.cropRight);
        w.ue(c.cropTop);
        w.ue(c.cropBottom);
    }
    w.bits(c.vui.present, 1);
    if (c.vui.present) {
        w.bits(1, 1);
        w.bits(c.vui.aspect255 ? 255 : 1, 8);
        if (c.vui.aspect255) w.bits(0x00100009, 32);
        w.bits(1, 1); // overscan info
        w.bits(0, 1);
        w.bits(c.vui.signalType, 1);
        if (c.vui.signalType) {
            w.bits(5, 3);
            w.bits(1, 1);
            w.bits(1, 1);
            w.bits(0x010101, 24);
        }
        w.bits(c.vui.chromaLoc, 1);
        if (c.vui.chromaLoc) {
            w.ue(1);
            w.ue(1);
        }
        w.bits(c.vui.timing, 1);
        if (c.vui.timing) {
            w.bits(c.vui.unitsInTick, 32);
            w.bits(c.vui.timeScale, 32);
            w.bits(c.vui.fixed, 1);
        }
        w.bits(0, 5); // nal/vcl hrd, pic_struct, bitstream restriction
    }
    return w.finish();
}

Vui timing(uint32_t unitsInTick, uint32_t timeScale, bool fixed) {
    Vui v;
    v.present = v.timing = true;
    v.unitsInTick = unitsInTick;
    v.timeScale = timeScale;
    v.fixed = fixed;
    return v;
}

class ParseSpsTest : public ::testing::TestWithParam<SpsCase> {};

TEST_P(ParseSpsTest, ReadsSizeAndFrameRate) {
    const SpsCase& c = GetParam();
    Bytes sps = makeSps(c);
    SpsInfo info;
    info.frameRate = 99; // zeroed by every parse
    ASSERT_TRUE(ParseSps(sps.data(), static_cast<int>(sps.size()), info));
    EXPECT_EQ(info.width, c.want.width);
    EXPECT_EQ(info.height, c.want.height);
    EXPECT_EQ(info.frameRate, c.want.frameRate);
}

Vui fullVui() {
    Vui v = timing(1001, 60000, true);
    v.aspect255 = v.signalType = v.chromaLoc = true;
    return v;
}

const SpsCase kSpsCases[] = {
    {"Baseline640x480NoVui", 66, 40, 30, 0, 0, 0, 0, 2, true, false, 1, {}, {640, 480, 0}},
    {"High1080Cropped",
     100,
     120,
     68,
     0,
     0,
     0,
     4,
     0,
     true,
     false,
     1,
     timing(1, 50, true),
     {1920, 1080, 25}},
    {"HighScalingMatrix",
     100,
     44,
     36,
     0,
     0,
     0,
     0,
     0,
     true,
     true,
     1,
     timing(1, 50, true),
     {704, 576, 25}},
    {"High444SeparatePlanes", 244, 22, 18, 0, 0, 0, 0, 0, true, false, 3, {}, {352, 288, 0}},
    {"High444Predictive", 144, 22, 18, 0, 0, 0, 0, 0, true, false, 3, {}, {352, 288, 0}},
    {"PocType1", 77, 22, 18, 0, 0, 0, 0, 1, true, false, 1, timing(1, 30, true), {352, 288, 15}},
    {"FieldCoded", 77, 45, 18, 0, 0, 0, 0, 0, false, false, 1, {}, {720, 288, 0}},
    {"AllSidesCropped", 100, 20, 15, 1, 2, 3, 4, 2, true, false, 1, {}, {314, 226, 0}},
    {"VuiAllOptionalFields",
     100,
     80,
     45,
     0,
     0,
     0,
     0,
     2,
     true,
     false,
     1,
     fullVui(),
     {1280, 720, 30}},
    // A frame is two ticks whether or not the rate is fixed.
    {"TimingNotFixed",
     100,
     22,
     18,
     0,
     0,
     0,
     0,
     2,
     true,
     false,
     1,
     timing(1, 50, false),
     {352, 288, 25}},
    {"TimingRoundedUp",
     100,
     22,
     18,
     0,
     0,
     0,
     0,
     2,
     true,
     false,
     1,
     timing(1, 51, true),
     {352, 288, 26}},
    {"ZeroTicksGiveNoRate",
     100,
     22,
     18,
     0,
     0,
     0,
     0,
     2,
     true,
     false,
     1,
     timing(0, 50, true),
     {352, 288, 0}},
    {"NegativeTicksGiveNoRate",
     100,
     22,
     18,
     0,
     0,
     0,
     0,
     2,
     true,
     false,
     1,
     timing(0x80000000u, 50, true),
     {352, 288, 0}},
    {"VuiWithoutTiming",
     100,
     22,
     18,
     0,
     0,
     0,
     0,
     2,
     true,
     false,
     1,
     [] {
         Vui v;
         v.present = true;
         return v;
     }(),
     {352, 288, 0}},
};

INSTANTIATE_TEST_SUITE_P(Sps, ParseSpsTest, ::testing::ValuesIn(kSpsCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ParseSps, RealBaselineSps) {
    // An encoder's 640x480 Baseline SPS: 25 fps as time_scale 50, with two 00 00 03 inside.
    Bytes sps = {0x67, 0x42, 0xC0, 0x1E, 0xD9, 0x00, 0xA0, 0x3D, 0xB0, 0x11, 0x00, 0x00,
                 0x03, 0x00, 0x01, 0x00, 0x00, 0x03, 0x00, 0x32, 0x0F, 0x16, 0x2E, 0x48};
    SpsInfo info;
    ASSERT_TRUE(ParseSps(sps.data(), static_cast<int>(sps.size()), info));
    EXPECT_EQ(info.width, 640);
    EXPECT_EQ(info.height, 480);
    EXPECT_EQ(info.frameRate, 25);
}

TEST(ParseSps, EmulationPreventionIsRemovedInPlace) {
    // 1280x720 in 80x45 macroblocks: a width of 80 gives ue 79 and long zero runs with timing.
    SpsCase c = kSpsCases[8];
    c.vui = timing(1, 0x00000300, true);
    Bytes sps = makeSps(c);
    Bytes marker = {0, 0, 3};
    ASSERT_NE(std::search(sps.begin(), sps.end(), marker.begin(), marker.end()), sps.end());
    SpsInfo info;
    ASSERT_TRUE(ParseSps(sps.data(), static_cast<int>(sps.size()), info));
    EXPECT_EQ(info.width, 1280);
    EXPECT_EQ(info.frameRate, 384);
}

TEST(ParseSps, OnlyTypeSevenIsAnSps) {
    for (uint8_t header : {0x68, 0x65, 0x41, 0x06, 0x00}) {
        Bytes unit = {header, 0x42, 0x00, 0x1E, 0xE9, 0x01, 0x40, 0x7B, 0x20};
        SpsInfo info;
        info.width = 5;
        EXPECT_FALSE(ParseSps(unit.data(), static_cast<int>(unit.size()), info)) << +header;
        EXPECT_EQ(info.width, 0);
    }
}

TEST(ParseSps, TruncatedUnitsStayInsideTheBuffer) {
    // Every prefix of a full SPS parses (the fields past the end read as zero bits).
    const Bytes full = makeSps(kSpsCases[8]);
    for (size_t n = 1; n <= full.size(); ++n) {
        std::vector<uint8_t> cut(full.begin(), full.begin() + static_cast<long>(n));
        SpsInfo info;
        EXPECT_TRUE(ParseSps(cut.data(), static_cast<int>(cut.size()), info)) << n;
    }
    // A huge offset_for_ref_frame count in a short unit ends when the data does.
    BitWriter w;
    w.bits(0x674D001E, 32);
    w.ue(0);
    w.ue(0);
    w.ue(1);
    w.bits(0, 1);
    w.se(0);
    w.se(0);
    w.ue(0xFFFFFFFE);
    Bytes cyc = w.finish();
    SpsInfo info;
    EXPECT_TRUE(ParseSps(cyc.data(), static_cast<int>(cyc.size()), info));
    EXPECT_EQ(info.width, 16);
}

TEST(BitReader, ReadsMsbFirstAndZerosPastTheEnd) {
    const uint8_t data[] = {0xA5, 0x0F};
    BitReader r(data, sizeof data);
    EXPECT_EQ(r.ReadBits(3), 0b101u);
    EXPECT_EQ(r.ReadBits(13), 0x050Fu);
    EXPECT_EQ(r.ReadBits(32), 0u);
    EXPECT_EQ(r.ReadUe(), 0u);
    EXPECT_EQ(r.ReadSe(), 0);

    const uint8_t last[] = {0xFF};
    BitReader s(last, 1);
    EXPECT_EQ(s.ReadBits(4), 0xFu);
    EXPECT_EQ(s.ReadBits(8), 0xF0u); // the missing half reads as zero bits
}

TEST(BitReader, ExpGolomb) {
    // Codes 1, 010, 011, 00100, 00101, 00110, 00111, 0001000 packed back to back.
    BitWriter w;
    for (uint32_t v = 0; v < 8; ++v)
        w.ue(v);
    for (int32_t v : {0, 1, -1, 2, -2, 1000, -1000})
        w.se(v);
    w.ue(0xFFFFFFFE);
    Bytes b = w.finish(false);
    BitReader r(b.data(), b.size());
    for (uint32_t v = 0; v < 8; ++v)
        EXPECT_EQ(r.ReadUe(), v);
    for (int32_t v : {0, 1, -1, 2, -2, 1000, -1000})
        EXPECT_EQ(r.ReadSe(), v);
    EXPECT_EQ(r.ReadUe(), 0xFFFFFFFEu);

    // 40 zero bits before the 1: too long for 32 bits, saturates.
    const uint8_t longCode[] = {0, 0, 0, 0, 0, 0x80, 0, 0, 0, 0, 0, 0};
    BitReader l(longCode, sizeof longCode);
    EXPECT_EQ(l.ReadUe(), 0xFFFFFFFFu);
    // All zeros to the end: the count stops at the end, 2^16 - 1 for two zero bytes.
    const uint8_t zeros[] = {0, 0};
    BitReader z(zeros, sizeof zeros);
    EXPECT_EQ(z.ReadUe(), 0xFFFFu);
}

std::vector<NalUnit> split(const Bytes& d, bool lastToEnd, int* endPos = nullptr) {
    std::vector<NalUnit> units;
    int pos = 0;
    NalUnit u;
    while (NextNalUnit(d.data(), static_cast<int>(d.size()), pos, lastToEnd, u))
        units.push_back(u);
    if (endPos) *endPos = pos;
    return units;
}

TEST(NextNalUnit, SplitsAnAccessUnit) {
    const Bytes au = {0, 0, 0, 1, 0x67, 1, 2, 0, 0, 0, 1, 0x68, 3, 0, 0, 0, 1, 0x65, 4, 5, 6};
    int pos = -1;
    auto units = split(au, true, &pos);
    ASSERT_EQ(units.size(), 3u);
    EXPECT_EQ(units[0].type, 7);
    EXPECT_EQ(units[0].offset, 4);
    EXPECT_EQ(units[0].size, 3);
    EXPECT_EQ(units[1].type, 8);
    EXPECT_EQ(units[1].size, 2);
    EXPECT_EQ(units[2].type, 5);
    EXPECT_EQ(units[2].offset, 17);
    EXPECT_EQ(units[2].size, 4);
    EXPECT_EQ(pos, static_cast<int>(au.size()));
    for (const NalUnit& u : units)
        EXPECT_EQ(Bytes(u.data - 4, u.data), (Bytes{0, 0, 0, 1}));

    // Without lastToEnd the last unit waits, and the position stays at its start code.
    units = split(au, false, &pos);
    ASSERT_EQ(units.size(), 2u);
    EXPECT_EQ(units[1].type, 8);
    EXPECT_EQ(pos, 13);
}

TEST(NextNalUnit, EdgeCases) {
    struct Case {
        const char* name;
        Bytes data;
        bool lastToEnd;
        std::vector<std::pair<int, int>> want; // type, size
        int endPos;
    };
    const Case cases[] = {
        {"ThreeByteStartCodesOnly", {0, 0, 1, 0x67, 1, 0, 0, 1, 0x68, 2}, true, {}, 6},
        {"ShortData", {0, 0, 0, 1}, true, {}, 4},
        {"ShortDataWaits", {0, 0, 0, 1}, false, {}, 0},
        {"BackToBackStartCodes", {0, 0, 0, 1, 0, 0, 0, 1, 0x41, 9}, true, {{0, 0}, {1, 2}}, 10},
        {"StartCodeAtTheVeryEnd", {0, 0, 0, 1, 0x41, 7, 0, 0, 0, 1}, true, {{1, 2}}, 6},
        {"LeadingJunk", {9, 9, 0, 0, 0, 1, 0x65, 1, 2}, true, {{5, 3}}, 9},
        {"ThreeByteCodeInsideAUnit", {0, 0, 0, 1, 0x67, 0, 0, 1, 0x68}, true, {{7, 5}}, 9},
        {"NoStartCode", {1, 2, 3, 4, 5, 6, 7}, true, {}, 3},
    };
    for (const Case& c : cases) {
        int pos = 0;
        auto units = split(c.data, c.lastToEnd, &pos);
        std::vector<std::pair<int, int>> got;
        for (const NalUnit& u : units)
            got.emplace_back(u.type, u.size);
        EXPECT_EQ(got, c.want) << c.name;
        EXPECT_EQ(pos, c.endPos) << c.name;
    }
}

} // namespace
