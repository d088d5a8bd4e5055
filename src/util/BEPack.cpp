#include "util/BEPack.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace util {

BEPack& BEPack::u8(uint8_t v) {
    out->push_back(static_cast<char>(v));
    return *this;
}

BEPack& BEPack::u16(uint16_t v) {
    char b[2] = {static_cast<char>(v >> 8), static_cast<char>(v)};
    out->append(b, 2);
    return *this;
}

BEPack& BEPack::u24(uint32_t v) {
    char b[3] = {static_cast<char>(v >> 16), static_cast<char>(v >> 8), static_cast<char>(v)};
    out->append(b, 3);
    return *this;
}

BEPack& BEPack::u32(uint32_t v) {
    char b[4] = {static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8),
                 static_cast<char>(v)};
    out->append(b, 4);
    return *this;
}

BEPack& BEPack::f64(double v) {
    const auto bits = std::bit_cast<uint64_t>(v);
    u32(static_cast<uint32_t>(bits >> 32));
    return u32(static_cast<uint32_t>(bits));
}

BEPack& BEPack::str8(std::string_view s) {
    s = s.substr(0, 0xFF);
    u8(static_cast<uint8_t>(s.size()));
    return raw(s);
}

BEPack& BEPack::str16(std::string_view s) {
    s = s.substr(0, 0xFFFF);
    u16(static_cast<uint16_t>(s.size()));
    return raw(s);
}

BEPack& BEPack::str32(std::string_view s) {
    u32(static_cast<uint32_t>(s.size()));
    return raw(s);
}

BEPack& BEPack::fixed(std::string_view s, size_t width, char fill) {
    s = s.substr(0, width);
    raw(s);
    out->append(width - s.size(), fill);
    return *this;
}

BEPack& BEPack::bcd(std::string_view digits, size_t bytes) {
    for (size_t i = 0; i < bytes; ++i) {
        const size_t d = i * 2;
        const unsigned hi = d < digits.size() ? (static_cast<unsigned char>(digits[d]) & 0x0F) : 0;
        const unsigned lo =
            d + 1 < digits.size() ? (static_cast<unsigned char>(digits[d + 1]) & 0x0F) : 0;
        out->push_back(static_cast<char>((hi << 4) | lo));
    }
    return *this;
}

BEPack& BEPack::raw(std::string_view s) {
    out->append(s.data(), s.size());
    return *this;
}

} // namespace util
