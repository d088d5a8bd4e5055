#include "util/BEUnpack.h"

#include <bit>

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
    if (!need(1) || !need(1 + size_t{p()[0]})) return false;
    const size_t n = p()[0];
    s.assign(buf.data() + at + 1, n);
    at += 1 + n;
    return true;
}

bool BEUnpack::str16(std::string& s) {
    const size_t start = at;
    uint16_t n = 0;
    if (!u16(n)) return false;
    if (!need(n)) {
        at = start;
        return false;
    }
    s.assign(buf.data() + at, n);
    at += n;
    return true;
}

bool BEUnpack::str32(std::string& s) {
    const size_t start = at;
    uint32_t n = 0;
    if (!u32(n)) return false;
    if (!need(n)) {
        at = start;
        return false;
    }
    s.assign(buf.data() + at, n);
    at += n;
    return true;
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
