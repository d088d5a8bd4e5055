#include "media/SIMCH.h"

#include <gtest/gtest.h>

#include <map>

using media::SIMCH;

TEST(SIMCH, OrdersBySimBytesThenChannel) {
    EXPECT_LT((SIMCH{"0139", 5}), (SIMCH{"0140", 0}));
    EXPECT_LT((SIMCH{"013", 9}), (SIMCH{"0139", 0})); // a prefix first
    EXPECT_LT((SIMCH{"0139", 1}), (SIMCH{"0139", 2}));
    EXPECT_LT((SIMCH{"9", 0}), (SIMCH{"\xB0\xA1", 0})); // bytes compare unsigned
    EXPECT_EQ((SIMCH{"0139", 1}), (SIMCH{"0139", 1}));
    EXPECT_NE((SIMCH{"0139", 1}), (SIMCH{"139", 1}));
}

TEST(SIMCH, PadAndStrip) {
    struct Case {
        const char* in;
        const char* padded;
        const char* stripped;
    };
    const Case cases[] = {
        {"13912345678", "00000000013912345678", "13912345678"},
        {"", "00000000000000000000", ""},
        {"0000", "00000000000000000000", ""},
        {"00000000013912345678", "00000000013912345678", "13912345678"},
        {"123456789012345678901", "123456789012345678901", "123456789012345678901"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(media::padSim(c.in), c.padded) << c.in;
        EXPECT_EQ(media::stripSim(c.in), c.stripped) << c.in;
    }
}

TEST(SIMCH, ChannelLabels) {
    EXPECT_EQ(media::channelLabel(0), "CH0 ");
    EXPECT_EQ(media::channelLabel(9), "CH9 ");
    EXPECT_EQ(media::channelLabel(10), "CH10");
    EXPECT_EQ(media::channelLabel(37), "CH37");
    EXPECT_EQ(media::channelLabel(38), "");
    EXPECT_EQ(media::channelLabel(255), "");
    for (unsigned ch = 0; ch < 38; ++ch)
        EXPECT_EQ(media::channelFromLabel(media::channelLabel(ch)), ch);
}

TEST(SIMCH, ChannelFromLabel) {
    const std::map<std::string, int> cases = {
        {"CH1 ", 1}, {"CH12", 12}, {"CH1", 0},   {"CH", 0},     {"ch12", 0},
        {"CHx1", 0}, {"CH7x", 7},  {"CH99", 99}, {"CH123", 12}, {"", 0},
    };
    for (const auto& [label, channel] : cases)
        EXPECT_EQ(media::channelFromLabel(label), channel) << label;
}
