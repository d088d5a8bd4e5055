#pragma once

#include <string>
#include <string_view>

namespace util {

// Pairs of hex digits of either case. Fails on an odd length or any other character and
// then leaves `out` as it was.
bool hexToBytes(std::string_view text, std::string& out);

// Lowercase, two digits per byte.
std::string bytesToHex(std::string_view bytes);

} // namespace util
