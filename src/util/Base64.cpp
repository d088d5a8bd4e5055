#include "util/Base64.h"

#include <cstdint>

namespace util {

std::string base64Encode(std::string_view bytes) {
    static constexpr char alphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    size_t i = 0;
    for (; i + 3 <= bytes.size(); i += 3) {
        const uint32_t v = uint32_t{static_cast<uint8_t>(bytes[i])} << 16 |
                           uint32_t{static_cast<uint8_t>(bytes[i + 1])} << 8 |
                           static_cast<uint8_t>(bytes[i + 2]);
        out.push_back(alphabet[v >> 18]);
        out.push_back(alphabet[(v >> 12) & 0x3F]);
        out.push_back(alphabet[(v >> 6) & 0x3F]);
        out.push_back(alphabet[v & 0x3F]);
    }
    const size_t rest = bytes.size() - i;
    if (rest > 0) {
        uint32_t v = uint32_t{static_cast<uint8_t>(bytes[i])} << 16;
        if (rest == 2) v |= uint32_t{static_cast<uint8_t>(bytes[i + 1])} << 8;
        out.push_back(alphabet[v >> 18]);
        out.push_back(alphabet[(v >> 12) & 0x3F]);
        out.push_back(rest == 2 ? alphabet[(v >> 6) & 0x3F] : '=');
        out.push_back('=');
    }
    return out;
}

} // namespace util
