#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace util {

// Reads big-endian fields at a position that advances. Every read first checks that the
// bytes it needs remain; when they do not it returns false and leaves the position as it was.
class BEUnpack {
public:
    explicit BEUnpack(std::string_view data) : buf(data) {}

    bool u8(uint8_t& v) {
        if (!need(1)) return false;
        v = p()[0];
        at += 1;
        return true;
    }
    bool u16(uint16_t& v) {
        if (!need(2)) return false;
        v = static_cast<uint16_t>((p()[0] << 8) | p()[1]);
        at += 2;
        return true;
    }
    bool u24(uint32_t& v);
    bool u32(uint32_t& v) {
        if (!need(4)) return false;
        v = (uint32_t{p()[0]} << 24) | (uint32_t{p()[1]} << 16) | (uint32_t{p()[2]} << 8) | p()[3];
        at += 4;
        return true;
    }
    bool f64(double& v);

    bool str8(std::string& s);
    bool str16(std::string& s);
    bool str32(std::string& s);

    // `width` bytes as they stand (fill bytes included).
    bool fixed(size_t width, std::string& s) { return raw(width, s); }
    bool raw(size_t n, std::string& s);
    bool skip(size_t n) {
        if (!need(n)) return false;
        at += n;
        return true;
    }

    // `n` bytes expanded to two characters each, 0x30 + nibble, high half first
    // (packed decimal digits; nibbles above 9 give ':' to '?').
    bool digits(size_t n, std::string& s);

    // The bytes before the next `delim`; the delimiter is consumed but not returned.
    // Fails when no delimiter remains.
    bool until(char delim, std::string& s);

    size_t pos() const { return at; }
    size_t remaining() const { return buf.size() - at; }
    bool atEnd() const { return at == buf.size(); }

private:
    template <typename Length> bool prefixed(std::string& s);
    bool need(size_t n) const { return buf.size() - at >= n; }
    const unsigned char* p() const {
        return reinterpret_cast<const unsigned char*>(buf.data()) + at;
    }

    std::string_view buf;
    size_t at = 0;
};

} // namespace util
