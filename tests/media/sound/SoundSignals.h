#pragma once

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

namespace tavrina_test {

inline std::string pcmBytes(const std::vector<int16_t>& samples) {
    std::string out;
    for (const int16_t s : samples) {
        out.push_back(static_cast<char>(static_cast<uint16_t>(s) & 0xFF));
        out.push_back(static_cast<char>(static_cast<uint16_t>(s) >> 8));
    }
    return out;
}

inline std::vector<int16_t> pcmSamples(const std::string& bytes) {
    std::vector<int16_t> out(bytes.size() / 2);
    for (size_t i = 0; i < out.size(); ++i)
        out[i] = static_cast<int16_t>(static_cast<uint8_t>(bytes[2 * i]) |
                                      (static_cast<uint8_t>(bytes[2 * i + 1]) << 8));
    return out;
}

inline std::vector<int16_t> tone(double hz, double amplitude, size_t count, int rate = 8000) {
    std::vector<int16_t> out(count);
    for (size_t i = 0; i < count; ++i)
        out[i] = static_cast<int16_t>(std::lround(amplitude * std::sin(2 * M_PI * hz * i / rate)));
    return out;
}

// A voice-like test signal: a gliding fundamental with harmonics under a syllable envelope.
inline std::vector<int16_t> speechLike(size_t count, int rate = 8000) {
    std::vector<int16_t> out(count);
    double phase = 0;
    for (size_t i = 0; i < count; ++i) {
        const double t = static_cast<double>(i) / rate;
        const double f0 = 140 + 40 * std::sin(2 * M_PI * 1.3 * t);
        phase += 2 * M_PI * f0 / rate;
        const double envelope = 0.55 + 0.45 * std::sin(2 * M_PI * 4 * t);
        double v = 0;
        for (int h = 1; h <= 12; ++h)
            v += std::sin(h * phase) / h;
        out[i] = static_cast<int16_t>(std::lround(9000 * envelope * v));
    }
    return out;
}

// Signal-to-noise ratio of b against the reference a, in dB.
inline double snrDb(const std::vector<int16_t>& a, const std::vector<int16_t>& b) {
    double signal = 0, noise = 0;
    for (size_t i = 0; i < a.size() && i < b.size(); ++i) {
        signal += double(a[i]) * a[i];
        noise += (double(a[i]) - b[i]) * (double(a[i]) - b[i]);
    }
    return 10 * std::log10(signal / std::max(noise, 1.0));
}

} // namespace tavrina_test
