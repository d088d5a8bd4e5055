#include "media/SIMCH.h"

#include <array>

namespace media {

std::string padSim(std::string_view sim) {
    std::string out;
    if (sim.size() < kSimDigits) out.assign(kSimDigits - sim.size(), '0');
    out.append(sim);
    return out;
}

std::string stripSim(std::string_view sim) {
    const size_t first = sim.find_first_not_of('0');
    return first == std::string_view::npos ? std::string() : std::string(sim.substr(first));
}

namespace {

constexpr size_t kLabelCount = 38;

constexpr std::array<std::array<char, 4>, kLabelCount> makeLabels() {
    std::array<std::array<char, 4>, kLabelCount> labels{};
    for (size_t ch = 0; ch < kLabelCount; ++ch) {
        labels[ch] = {'C', 'H', ' ', ' '};
        if (ch < 10) {
            labels[ch][2] = static_cast<char>('0' + ch);
        } else {
            labels[ch][2] = static_cast<char>('0' + ch / 10);
            labels[ch][3] = static_cast<char>('0' + ch % 10);
        }
    }
    return labels;
}

constexpr auto kLabels = makeLabels();

} // namespace

std::string_view channelLabel(unsigned channel) {
    if (channel >= kLabelCount) return {};
    return {kLabels[channel].data(), 4};
}

uint8_t channelFromLabel(std::string_view label) {
    if (label.size() <= 3 || label.substr(0, 2) != "CH") return 0;
    unsigned value = 0;
    for (size_t i = 2; i < 4 && label[i] >= '0' && label[i] <= '9'; ++i)
        value = value * 10 + static_cast<unsigned>(label[i] - '0');
    return static_cast<uint8_t>(value);
}

} // namespace media
