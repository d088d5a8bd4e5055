#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <string_view>
#include <type_traits>

namespace media {

// Picture size and frame rate read from a sequence parameter set.
struct SpsInfo {
    int width = 0;
    int height = 0;
    int frameRate = 0; // 0: the SPS does not signal timing
};

// One NAL unit of an access unit in byte-stream form. Its 4-byte start code always lies
// directly before `offset`.
struct NalUnit {
    uint8_t type = 0;
    int size = 0;
    int offset = 0;
    const uint8_t* data = nullptr;
};

// Finds the next unit after a 4-byte start code (00 00 00 01) from `pos`; `pos` moves to the
// start code that ends it. With `lastToEnd` the last unit runs to the end of the data;
// without it the last unit is not returned and `pos` stays at its start code, so that the
// caller can resume once more bytes have arrived.
bool NextNalUnit(const uint8_t* data, int length, int& pos, bool lastToEnd, NalUnit& unit);

// Calls `visit` with every unit of a whole frame, the last one running to its end. A visitor
// returning bool stops the walk with false; the result says whether the walk went through.
template <typename Visit> bool ForEachNalUnit(std::string_view frame, Visit&& visit) {
    if (frame.size() > static_cast<size_t>(std::numeric_limits<int>::max())) return false;
    const auto* data = reinterpret_cast<const uint8_t*>(frame.data());
    int pos = 0;
    NalUnit unit;
    while (NextNalUnit(data, static_cast<int>(frame.size()), pos, true, unit)) {
        if constexpr (std::is_same_v<decltype(visit(unit)), bool>) {
            if (!visit(unit)) return false;
        } else {
            visit(unit);
        }
    }
    return true;
}

// Reads width, height and frame rate from an SPS (NAL header byte included). Removes the
// emulation-prevention bytes in place. Fails only when the unit is not an SPS.
bool ParseSps(uint8_t* sps, int length, SpsInfo& info);

// Most significant bit first. Reads beyond the end of the buffer yield zero bits and never
// touch memory outside it.
class BitReader {
public:
    BitReader(const uint8_t* data, size_t size) : data(data), size(size) {}

    uint32_t ReadBits(int n);
    // Exp-Golomb; a code too long for 32 bits saturates at 0xFFFFFFFF.
    uint32_t ReadUe();
    int32_t ReadSe();

    size_t bitPos() const { return pos; }
    bool atEnd() const { return pos >= size * 8; }

private:
    uint32_t bit() {
        const uint32_t b = atEnd() ? 0 : (data[pos >> 3] >> (7 - (pos & 7))) & 1;
        ++pos;
        return b;
    }

    const uint8_t* data;
    size_t size;
    size_t pos = 0;
};

} // namespace media
