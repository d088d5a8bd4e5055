#pragma once

#include <string>
#include <string_view>

namespace util {

// Raw 16-byte MD5 digest.
std::string md5(std::string_view data);
// MD5 as 32 lowercase hex digits.
std::string md5Hex(std::string_view data);
// Raw 20-byte SHA-1 digest.
std::string sha1(std::string_view data);

} // namespace util
