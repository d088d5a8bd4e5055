// FaacCode: set-up errors, frame buffering, the AudioSpecificConfig, the silence frame, flush.

#include <gtest/gtest.h>

#include "media/FaacCode.h"
#include "sound/SoundSignals.h"
#include "util/GbkText.h"

using media::FaacCode;
using namespace util::literals;
using namespace tavrina_test;

TEST(FaacCode, OnlySixteenAndThirtyTwoBits) {
    FaacCode aac;
    for (const int bits : {8, 24, 0}) {
        EXPECT_FALSE(aac.Init(8000, 1, bits, false));
        EXPECT_EQ(aac.lastError, "采样位数只支持16、32"_gbk);
    }
    std::string out, config;
    double ms = -1;
    EXPECT_FALSE(aac.Encode(std::string(4096, '\0'), out, ms));
    EXPECT_TRUE(out.empty());
    EXPECT_EQ(ms, 0);
    EXPECT_FALSE(aac.DecoderConfig(config));
    EXPECT_FALSE(aac.Silence(out, ms));
}

TEST(FaacCode, FormatsTheEncoderCannotTake) {
    FaacCode aac;
    EXPECT_FALSE(aac.Init(0, 1, 16, false));
    EXPECT_EQ(aac.lastError, "初始化AAC编码器失败"_gbk);
    EXPECT_FALSE(aac.Init(8000, 0, 16, false));
    EXPECT_EQ(aac.lastError, "初始化AAC编码器失败"_gbk);
    // A rate inside the range that has no AAC sampling-frequency index.
    EXPECT_FALSE(aac.Init(9000, 1, 16, false));
    EXPECT_EQ(aac.lastError, "设置编码器失败"_gbk);
    EXPECT_EQ(aac.frameBytes, 0u);
}

TEST(FaacCode, DecoderConfigIsTheTwoByteAudioSpecificConfig) {
    struct Case {
        int rate, channels, bits;
        uint8_t b0, b1;
    };
    // object type 2 (LC), 4-bit rate index, 4-bit channel configuration, three zero bits.
    const Case cases[] = {{8000, 1, 16, 0x15, 0x88},
                          {16000, 1, 16, 0x14, 0x08},
                          {44100, 2, 32, 0x12, 0x10},
                          {48000, 2, 16, 0x11, 0x90}};
    for (const Case& c : cases) {
        FaacCode aac;
        ASSERT_TRUE(aac.Init(c.rate, c.channels, c.bits, false)) << c.rate;
        std::string config;
        ASSERT_TRUE(aac.DecoderConfig(config));
        EXPECT_EQ(config, std::string({static_cast<char>(c.b0), static_cast<char>(c.b1)}))
            << c.rate;
        EXPECT_EQ(aac.frameBytes, 1024u * c.channels * c.bits / 8);
        EXPECT_EQ(aac.bytesPerSecond, c.rate * c.channels * c.bits / 8);
    }
}

TEST(FaacCode, SilenceFrameIsReadyAfterInit) {
    FaacCode aac;
    ASSERT_TRUE(aac.Init(8000, 1, 16, false));
    std::string frame;
    double ms = 0;
    ASSERT_TRUE(aac.Silence(frame, ms));
    EXPECT_FALSE(frame.empty());
    EXPECT_LT(frame.size(), 64u); // near silence costs next to nothing
    EXPECT_DOUBLE_EQ(ms, 128.0);
    aac.Reset();
    EXPECT_FALSE(aac.Silence(frame, ms));
}

TEST(FaacCode, BuffersWholeFramesAndStartsAfterTheEncoderDelay) {
    FaacCode aac;
    ASSERT_TRUE(aac.Init(8000, 1, 16, false));
    const std::string pcm = pcmBytes(tone(440, 8000, 10 * 1024));
    std::string out;
    double ms = -1;
    ASSERT_TRUE(aac.Encode(pcm.substr(0, 2047), out, ms));
    EXPECT_TRUE(out.empty());
    EXPECT_EQ(ms, 0);
    // 320-byte chunks, as the player hands them: a frame every 6.4 calls once the encoder's
    // delay of two frames has passed.
    std::vector<size_t> producedAt;
    for (size_t at = 2047; at < pcm.size(); at += 320) {
        const size_t n = std::min<size_t>(320, pcm.size() - at);
        ASSERT_TRUE(aac.Encode(pcm.substr(at, n), out, ms));
        if (!out.empty()) {
            EXPECT_DOUBLE_EQ(ms, 128.0);
            producedAt.push_back((at + n) / 2048);
        }
    }
    EXPECT_EQ(producedAt, (std::vector<size_t>{3, 4, 5, 6, 7, 8, 9, 10}));
}

TEST(FaacCode, SeveralFramesAtOnceAreConcatenated) {
    FaacCode aac;
    ASSERT_TRUE(aac.Init(8000, 1, 16, false));
    std::string out;
    double ms = 0;
    ASSERT_TRUE(aac.Encode(pcmBytes(tone(440, 8000, 3072)), out, ms));
    EXPECT_DOUBLE_EQ(ms, 128.0); // two of the three fill the encoder's delay
    ASSERT_TRUE(aac.Encode(pcmBytes(tone(440, 8000, 3072)), out, ms));
    EXPECT_DOUBLE_EQ(ms, 3 * 128.0);
    EXPECT_GT(out.size(), 3u * 20);
}

TEST(FaacCode, FlushDrainsAndTheEncoderCarriesOn) {
    FaacCode aac;
    ASSERT_TRUE(aac.Init(8000, 1, 16, false));
    std::string out;
    double ms = 0;
    ASSERT_TRUE(aac.Encode(pcmBytes(tone(440, 8000, 2048 + 300)), out, ms));
    EXPECT_TRUE(out.empty());
    ASSERT_TRUE(aac.Encode({}, out, ms));
    // Everything held back comes out: two whole frames and the short remainder.
    EXPECT_DOUBLE_EQ(ms, 3 * 128.0);
    ASSERT_TRUE(aac.Encode({}, out, ms)); // nothing left
    EXPECT_TRUE(out.empty());
    ASSERT_TRUE(aac.Encode(pcmBytes(tone(440, 8000, 3 * 1024)), out, ms));
    EXPECT_DOUBLE_EQ(ms, 128.0);
}

TEST(FaacCode, AdtsFramesCarryTheirHeader) {
    FaacCode aac;
    ASSERT_TRUE(aac.Init(8000, 1, 16, true));
    std::string out;
    double ms = 0;
    ASSERT_TRUE(aac.Encode(pcmBytes(tone(440, 8000, 4 * 1024)), out, ms));
    EXPECT_DOUBLE_EQ(ms, 2 * 128.0);
    // Two frames, each a sync word and a length that leads exactly to the next one.
    size_t at = 0;
    int frames = 0;
    while (at + 7 <= out.size()) {
        const auto b = [&](size_t i) {
            return static_cast<unsigned>(static_cast<uint8_t>(out[at + i]));
        };
        ASSERT_EQ(b(0), 0xFFu);
        ASSERT_EQ(b(1) & 0xF6, 0xF0u);
        at += ((b(3) & 3) << 11) | (b(4) << 3) | (b(5) >> 5);
        ++frames;
    }
    EXPECT_EQ(at, out.size());
    EXPECT_EQ(frames, 2);
}

TEST(FaacCode, ThirtyTwoBitInput) {
    FaacCode aac;
    ASSERT_TRUE(aac.Init(8000, 1, 32, false));
    std::string pcm;
    for (const int16_t s : tone(440, 8000, 2048)) {
        const uint32_t v = static_cast<uint32_t>(static_cast<int32_t>(s) * 65536);
        for (int i = 0; i < 4; ++i)
            pcm.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
    }
    std::string out;
    double ms = 0;
    ASSERT_TRUE(aac.Encode(pcm + pcm, out, ms));
    EXPECT_DOUBLE_EQ(ms, 2 * 128.0);
}
