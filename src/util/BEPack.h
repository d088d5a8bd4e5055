#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace util {

// Appends big-endian fields to a growable byte string. Every binary format of the system
// (stream packets, saved states, settings values) is written through this one helper.
class BEPack {
public:
    BEPack() = default;
    explicit BEPack(std::string& target) : out(&target) {}
    BEPack(const BEPack&) = delete;
    BEPack& operator=(const BEPack&) = delete;

    BEPack& u8(uint8_t v);
    BEPack& u16(uint16_t v);
    BEPack& u24(uint32_t v);
    BEPack& u32(uint32_t v);
    BEPack& f64(double v);

    // Length-prefixed byte strings; a text too long for the prefix is cut to fit it.
    BEPack& str8(std::string_view s);
    BEPack& str16(std::string_view s);
    BEPack& str32(std::string_view s);

    // Exactly `width` bytes: the text cut to width, or padded with `fill`.
    BEPack& fixed(std::string_view s, size_t width, char fill);

    // `bytes` bytes of packed decimal digits, first digit in the high half. The low four
    // bits of each character form a nibble; missing digits are written as 0.
    BEPack& bcd(std::string_view digits, size_t bytes);

    BEPack& raw(std::string_view s);

    const std::string& bytes() const { return *out; }
    std::string take() { return std::move(*out); }
    size_t size() const { return out->size(); }

private:
    std::string own;
    std::string* out = &own;
};

} // namespace util
