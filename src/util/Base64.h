#pragma once

#include <string>
#include <string_view>

namespace util {

// Standard alphabet with '=' padding.
std::string base64Encode(std::string_view bytes);

} // namespace util
