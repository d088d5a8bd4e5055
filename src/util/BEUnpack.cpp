#include "util/BEUnpack.h"

#include <bit>
#include <type_traits>

namespace util {

bool BEUnpack::u24(uint32_t& v) {
    if (!need(3)) return false;
    v = (uint32_t{p()[0]} << 16) | (uint32_t{p()[1]} << 8) | p()[2];
    at += 3;
    return true;
}

bool BEUnpack::f64(double& v) {
    if (!need(8)) return false;
    uint32_t hi = 0, lo = 0;
    u32(hi);
    u32(lo);
    v = std::bit_cast<double>((uint64_t{hi} << 32) | lo);
    return true;
}

bool BEUnpack::str8(std::string& s) {
    return prefixed<uint8_t>(s);
}
bool BEUnpack::str16(std::string& s) {
    return prefixed<uint16_t>(s);
}
bool BEUnpack::str32(std::string& s) {
    return prefixed<uint32_t>(s);
}

template <typename Length> bool BEUnpack::prefixed(std::string& s) {
    const size_t start = at;
    Length n = 0;
    bool ok = false;
    if constexpr (std::is_same_v<Length, uint8_t>)
        ok = u8(n);
    else if constexpr (std::is_same_v<Length, uint16_t>)
        ok = u16(n);
    else
        ok = u32(n);
    if (ok && raw(n, s)) return true;
    at = start; // the length alone must not move the position either
    return false;
}

bool BEUnpack::raw(size_t n, std::string& s) {
    if (!need(n)) return false;
    s.assign(buf.data() + at, n);
    at += n;
    return true;
}

bool BEUnpack::digits(size_t n, std::string& s) {
    if (!need(n)) return false;
    s.resize(n * 2);
    for (size_t i = 0; i < n; ++i) {
        s[2 * i] = static_cast<char>(0x30 + (p()[i] >> 4));
        s[2 * i + 1] = static_cast<char>(0x30 + (p()[i] & 0x0F));
    }
    at += n;
    return true;
}

bool BEUnpack::until(char delim, std::string& s) {
    const size_t end = buf.find(delim, at);
    if (end == std::string_view::npos) return false;
    s.assign(buf.data() + at, end - at);
    at = end + 1;
    return true;
}

} // namespace util
