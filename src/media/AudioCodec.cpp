#include "media/AudioCodec.h"

#include <algorithm>
#include <array>

namespace media {
namespace {

constexpr std::array<int, 16> kIndexTable = {-1, -1, -1, -1, 2, 4, 6, 8,
                                             -1, -1, -1, -1, 2, 4, 6, 8};

constexpr std::array<int, 89> kStepTable = {
    7,     8,     9,     10,    11,    12,    13,    14,    16,    17,    19,   21,    23,
    25,    28,    31,    34,    37,    41,    45,    50,    55,    60,    66,   73,    80,
    88,    97,    107,   118,   130,   143,   157,   173,   190,   209,   230,  253,   279,
    307,   337,   371,   408,   449,   494,   544,   598,   658,   724,   796,  876,   963,
    1060,  1166,  1282,  1411,  1552,  1707,  1878,  2066,  2272,  2499,  2749, 3024,  3327,
    3660,  4026,  4428,  4871,  5358,  5894,  6484,  7132,  7845,  8630,  9493, 10442, 11487,
    12635, 13899, 15289, 16818, 18500, 20350, 22385, 24623, 27086, 29794, 32767};

constexpr uint8_t kMaxIndex = 88;

// Applies one code to the state and returns the new sample.
int16_t expandNibble(AdpcmState& s, unsigned code) {
    const int step = kStepTable[s.index];
    s.index = static_cast<uint8_t>(std::clamp(s.index + kIndexTable[code], 0, int(kMaxIndex)));
    int diff = step >> 3;
    if (code & 4) diff += step;
    if (code & 2) diff += step >> 1;
    if (code & 1) diff += step >> 2;
    const int p = (code & 8) ? s.predictor - diff : s.predictor + diff;
    s.predictor = static_cast<int16_t>(std::clamp(p, -32768, 32767));
    return s.predictor;
}

unsigned encodeSample(AdpcmState& s, int sample) {
    const int step = kStepTable[s.index];
    int d = sample - s.predictor;
    unsigned code = 0;
    if (d < 0) {
        code = 8;
        d = -d;
    }
    if (d >= step) {
        code |= 4;
        d -= step;
    }
    if (d >= step / 2) {
        code |= 2;
        d -= step / 2;
    }
    if (d >= step / 4) code |= 1;
    expandNibble(s, code);
    return code;
}

int16_t sampleAt(std::string_view pcm, size_t i) {
    return static_cast<int16_t>(static_cast<uint8_t>(pcm[2 * i]) |
                                (static_cast<uint8_t>(pcm[2 * i + 1]) << 8));
}

void putSample(std::string& out, int16_t v) {
    const auto u = static_cast<uint16_t>(v);
    out.push_back(static_cast<char>(u & 0xFF));
    out.push_back(static_cast<char>(u >> 8));
}

} // namespace

std::string DecodeAdpcm(std::string_view frame, AdpcmState& state) {
    if (frame.size() < 8) return {};
    const size_t words = static_cast<uint8_t>(frame[2]);
    // The 4-byte state block is part of the N words; a count below it describes no frame.
    if (words < 2 || frame.size() < 4 + 2 * words) return {};
    const auto index = static_cast<uint8_t>(frame[6]);
    if (index > kMaxIndex) return {};
    state.predictor = sampleAt(frame.substr(4), 0);
    state.index = index;

    const std::string_view codes = frame.substr(8, 2 * words - 4);
    std::string pcm;
    pcm.reserve(codes.size() * 4);
    for (const char c : codes) {
        const auto b = static_cast<uint8_t>(c);
        putSample(pcm, expandNibble(state, b >> 4));
        putSample(pcm, expandNibble(state, b & 0x0F));
    }
    return pcm;
}

std::string EncodeAdpcm(std::string_view pcm, AdpcmState& state) {
    if (pcm.empty() || pcm.size() % 160 != 0 || pcm.size() > kAdpcmMaxPcmBytes) return {};
    if (state.index > kMaxIndex) state.index = kMaxIndex;
    std::string frame;
    frame.reserve(8 + pcm.size() / 4);
    frame.push_back(0x00);
    frame.push_back(0x01);
    frame.push_back(static_cast<char>(pcm.size() / 8 + 2));
    frame.push_back(0x00);
    putSample(frame, state.predictor);
    frame.push_back(static_cast<char>(state.index));
    frame.push_back(0x00);
    const size_t samples = pcm.size() / 2;
    for (size_t i = 0; i < samples; i += 2) {
        const unsigned hi = encodeSample(state, sampleAt(pcm, i));
        const unsigned lo = encodeSample(state, sampleAt(pcm, i + 1));
        frame.push_back(static_cast<char>((hi << 4) | lo));
    }
    return frame;
}

std::string DecodeALaw(std::string_view codes) {
    std::string pcm;
    pcm.reserve(codes.size() * 2);
    for (const char c : codes) {
        const unsigned x = static_cast<uint8_t>(c) ^ 0xD5u;
        const int m = x & 0x0F;
        const int e = (x & 0x70) >> 4;
        const int value = e == 0 ? 16 * m : (16 * m + 256) << (e - 1);
        putSample(pcm, static_cast<int16_t>((x & 0x80) ? -value : value));
    }
    return pcm;
}

std::string EncodeALaw(std::string_view pcm) {
    if (pcm.size() % 2 != 0) return {};
    std::string codes;
    codes.reserve(pcm.size() / 2);
    for (size_t i = 0; i < pcm.size() / 2; ++i) {
        int s = sampleAt(pcm, i);
        unsigned sign = 0x80;
        if (s < 0) {
            sign = 0;
            // In 16 bits -(-32768) would stay 0x8000 and shift out to the code of -0: full
            // scale would click to silence, so it takes the largest negative code instead.
            s = std::min(-s, 32767);
        }
        unsigned e = 7;
        while ((s & 0x4000) == 0 && e > 0) {
            s <<= 1;
            --e;
        }
        if (e > 0) s <<= 1;
        const unsigned mantissa = (static_cast<int16_t>(static_cast<uint16_t>(s)) >> 11) & 0x0F;
        codes.push_back(static_cast<char>((sign | (e << 4) | mantissa) ^ 0x55));
    }
    return codes;
}

} // namespace media
