#pragma once

#include <compare>
#include <cstdint>
#include <string>
#include <string_view>

namespace media {

// The key of one terminal channel. Ordered by `sim` byte by byte (a prefix first), then by
// channel: std::string compares as unsigned bytes, which is exactly that order.
struct SIMCH {
    std::string sim;
    uint8_t channel = 0;

    friend bool operator==(const SIMCH&, const SIMCH&) = default;
    friend auto operator<=>(const SIMCH&, const SIMCH&) = default;
};

inline constexpr size_t kSimDigits = 20;

// Left-pads with '0' to 20 characters; 20 or more characters come back unchanged.
std::string padSim(std::string_view sim);
// Removes every leading '0'; zeros only give an empty text.
std::string stripSim(std::string_view sim);

// "CH0 " to "CH9 " (trailing blank), "CH10" to "CH37"; empty beyond.
std::string_view channelLabel(unsigned channel);
// The decimal value of the leading digits of characters 3 and 4 of a label of more than three
// characters that begins with "CH"; 0 for anything else.
uint8_t channelFromLabel(std::string_view label);

} // namespace media
