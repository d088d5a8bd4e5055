#pragma once

#include <string>
#include <string_view>

namespace settings {

// The key compiled into the program; only its first 16 bytes are used.
inline constexpr std::string_view kConfKey = "zrqwmvtplxkbnhdsfgcyo483";

// Enciphers `data` in place: it grows to the next multiple of 4 plus one check word.
// Fails only on a key shorter than 16 bytes.
bool ConfEncrypt(std::string& data, std::string_view key = kConfKey);

// Deciphers in place. Fails, leaving `data` as it was, on a length that is not a multiple of
// 4, a check word that does not match, or a short key.
bool ConfDecrypt(std::string& data, std::string_view key = kConfKey);

} // namespace settings
