// The G.711 A-law and IMA ADPCM codecs: frame layout, malformed input, state carry-over.

#include <gtest/gtest.h>

#include "media/AudioCodec.h"
#include "sound/SoundSignals.h"

using media::AdpcmState;
using namespace tavrina_test;

namespace {

std::string adpcmFrame(uint8_t words, int16_t predictor, uint8_t index, std::string codes) {
    std::string f{'\x00', '\x01', static_cast<char>(words), '\x00'};
    f.push_back(static_cast<char>(static_cast<uint16_t>(predictor) & 0xFF));
    f.push_back(static_cast<char>(static_cast<uint16_t>(predictor) >> 8));
    f.push_back(static_cast<char>(index));
    f.push_back('\x00');
    return f + codes;
}

} // namespace

TEST(Adpcm, FrameOf48BytesGives80Samples) {
    AdpcmState st;
    const std::string pcm = media::DecodeAdpcm(adpcmFrame(22, 1000, 20, std::string(40, 'w')), st);
    EXPECT_EQ(pcm.size(), 160u);
}

TEST(Adpcm, MalformedFramesDecodeToNothing) {
    struct Case {
        const char* what;
        std::string frame;
    };
    const Case cases[] = {
        {"empty", {}},
        {"header only", adpcmFrame(2, 0, 0, "").substr(0, 7)},
        {"N claims one byte more", adpcmFrame(22, 0, 0, std::string(39, 'w'))},
        {"N claims 255 words", adpcmFrame(255, 0, 0, std::string(40, 'w'))},
        {"N below the state block", adpcmFrame(1, 0, 0, std::string(40, 'w'))},
        {"step index out of the table", adpcmFrame(22, 0, 89, std::string(40, 'w'))},
    };
    for (const Case& c : cases) {
        AdpcmState st{123, 7};
        EXPECT_TRUE(media::DecodeAdpcm(c.frame, st).empty()) << c.what;
        EXPECT_EQ(st.predictor, 123) << c.what;
        EXPECT_EQ(st.index, 7) << c.what;
    }
    // Bytes beyond the N words are not part of the frame.
    AdpcmState st;
    EXPECT_EQ(media::DecodeAdpcm(adpcmFrame(2, 5, 0, "trailing"), st), "");
    EXPECT_EQ(media::DecodeAdpcm(adpcmFrame(3, 5, 0, "ab-trailing"), st).size(), 8u);
}

TEST(Adpcm, ExtremeCodesClampAtFullScale) {
    AdpcmState st;
    // Code 7 again and again climbs to the top of the step table and the sample range.
    const auto up =
        pcmSamples(media::DecodeAdpcm(adpcmFrame(202, 0, 0, std::string(400, 'w')), st));
    EXPECT_EQ(up.back(), 32767);
    EXPECT_EQ(st.index, 88);
    const auto down =
        pcmSamples(media::DecodeAdpcm(adpcmFrame(202, 0, 0, std::string(400, '\xFF')), st));
    EXPECT_EQ(down.back(), -32768);
}

TEST(Adpcm, EncodeSilenceFromZeroState) {
    AdpcmState st;
    const std::string frame = media::EncodeAdpcm(std::string(160, '\0'), st);
    ASSERT_EQ(frame.size(), 48u);
    EXPECT_EQ(frame.substr(0, 8), std::string("\x00\x01\x16\x00\x00\x00\x00\x00", 8));
    AdpcmState dec;
    EXPECT_EQ(media::DecodeAdpcm(frame, dec), std::string(160, '\0'));
}

TEST(Adpcm, EncodeRefusesLengthsNoFrameCanHold) {
    for (const size_t bytes : {0u, 100u, 161u, 2080u, 3200u}) {
        AdpcmState st;
        EXPECT_TRUE(media::EncodeAdpcm(std::string(bytes, '\x10'), st).empty()) << bytes;
    }
    // The largest frame: N = 1920 / 8 + 2 = 242.
    AdpcmState st;
    const std::string frame = media::EncodeAdpcm(std::string(1920, '\x10'), st);
    ASSERT_EQ(frame.size(), 4u + 2 * 242);
    EXPECT_EQ(static_cast<uint8_t>(frame[2]), 242);
}

TEST(Adpcm, StateCarriesAcrossFramesAndMatchesTheDecoder) {
    const auto signal = speechLike(640);
    AdpcmState enc;
    std::vector<std::string> frames;
    for (size_t at = 0; at < signal.size(); at += 160)
        frames.push_back(media::EncodeAdpcm(
            pcmBytes(std::vector<int16_t>(signal.begin() + at, signal.begin() + at + 160)), enc));

    std::vector<int16_t> decoded;
    AdpcmState dec;
    for (size_t i = 0; i < frames.size(); ++i) {
        ASSERT_EQ(frames[i].size(), 88u);
        if (i > 0) {
            // Each header holds the state the previous frame ended in.
            const auto head = pcmSamples(frames[i].substr(4, 2));
            EXPECT_EQ(head[0], dec.predictor) << i;
            EXPECT_EQ(static_cast<uint8_t>(frames[i][6]), dec.index) << i;
        }
        const auto part = pcmSamples(media::DecodeAdpcm(frames[i], dec));
        decoded.insert(decoded.end(), part.begin(), part.end());
    }
    EXPECT_EQ(dec.predictor, enc.predictor);
    EXPECT_EQ(dec.index, enc.index);
    EXPECT_EQ(decoded.size(), signal.size());
}

TEST(Adpcm, SignalToNoiseOfTonesAndSpeech) {
    struct Case {
        const char* what;
        std::vector<int16_t> signal;
        double minDb;
    };
    // IMA ADPCM at 4 bits keeps about 20 dB on such signals once the step has adapted; a
    // wrong bit or table entry costs far more than the margin.
    const Case cases[] = {
        {"1 kHz tone", tone(1000, 12000, 8000), 18.0},
        {"300 Hz quiet tone", tone(300, 800, 8000), 18.0},
        {"speech-like", speechLike(8000), 18.0},
    };
    for (const Case& c : cases) {
        AdpcmState enc, dec;
        std::vector<int16_t> out;
        for (size_t at = 0; at < c.signal.size(); at += 320) {
            const auto part = pcmSamples(media::DecodeAdpcm(
                media::EncodeAdpcm(pcmBytes(std::vector<int16_t>(c.signal.begin() + at,
                                                                 c.signal.begin() + at + 320)),
                                   enc),
                dec));
            out.insert(out.end(), part.begin(), part.end());
        }
        ASSERT_EQ(out.size(), c.signal.size());
        // Skip the first 40 ms in which the step adapts from its initial value.
        const std::vector<int16_t> a(c.signal.begin() + 320, c.signal.end());
        const std::vector<int16_t> b(out.begin() + 320, out.end());
        EXPECT_GT(snrDb(a, b), c.minDb) << c.what;
    }
}

TEST(ALaw, DecodesToTheLowerEdgeOfEachInterval) {
    struct Case {
        uint8_t code;
        int16_t value;
    };
    const Case cases[] = {{0xD5, 0},   {0x55, 0},    {0xAA, 31744}, {0x2A, -31744},
                          {0xD4, 16},  {0x54, -16},  {0xC5, 256},   {0xC4, 272},
                          {0xF5, 512}, {0x45, -256}, {0xA5, 16384}, {0x80, 5376}};
    for (const Case& c : cases) {
        const auto s = pcmSamples(media::DecodeALaw(std::string(1, static_cast<char>(c.code))));
        ASSERT_EQ(s.size(), 1u);
        EXPECT_EQ(s[0], c.value) << std::hex << int(c.code);
    }
}

TEST(ALaw, EveryCodeSurvivesDecodeAndEncode) {
    for (int code = 0; code < 256; ++code) {
        const std::string one(1, static_cast<char>(code));
        const std::string back = media::EncodeALaw(media::DecodeALaw(one));
        // 0x55 is -0, which decodes to the same 0 as +0 (0xD5).
        EXPECT_EQ(static_cast<uint8_t>(back[0]), code == 0x55 ? 0xD5 : code) << code;
    }
}

TEST(ALaw, EncodeEdges) {
    EXPECT_TRUE(media::EncodeALaw("abc").empty());
    EXPECT_TRUE(media::EncodeALaw("").empty());
    // Full scale of either sign takes the largest code of that sign; -32768 must not wrap.
    const std::string codes = media::EncodeALaw(pcmBytes({32767, -32768, -32767, 0, -1}));
    EXPECT_EQ(codes, std::string("\xAA\x2A\x2A\xD5\x55", 5));
}
