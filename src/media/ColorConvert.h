#pragma once

#include <cstdint>
#include <vector>

namespace media {

// YUV 4:2:0 to 32-bit RGB (0x00RRGGBB). Both conversions walk the picture in 2x2 blocks (an odd
// last row or column is left untouched) and write through a table of row addresses.
void ConvertExact(int rows, int columns, const uint8_t* y, const uint8_t* u, const uint8_t* v,
                  int yStride, int uvStride, uint32_t* const* rowTable);
// Same walk on 7-bit luma and 6-bit chroma, as the fast table holds it.
void ConvertFast(int rows, int columns, const uint8_t* y, const uint8_t* u, const uint8_t* v,
                 int yStride, int uvStride, uint32_t* const* rowTable);

struct ColorTables {
    static constexpr int kFastSize = 128 * 64 * 64;
    // Exact conversion: (value - 128) x factor, truncated toward zero.
    int16_t RV[256], GU[256], GV[256], BU[256];
    // Fast conversion: packed pixels indexed ((Y / 2) * 4096) + ((U / 4) * 64) + (V / 4).
    std::vector<uint32_t> fast;
};

// Built on first use, once per run; safe to call from any thread.
const ColorTables& colorTables();
inline void EnsureColorTables() {
    (void)colorTables();
}

// Instruction sets of the conversion kernels; the best one the processor has is chosen at the
// first conversion. Tests and benchmarks may select a lower one.
enum class ConvertIsa { Scalar, Sse2, Avx2 };
ConvertIsa bestConvertIsa();
ConvertIsa convertIsa();
// Selects `isa`, or the best available below it; returns the one selected.
ConvertIsa setConvertIsa(ConvertIsa isa);

namespace detail {
// The vector kernels compute the tables' values arithmetically: each formula is a chroma term
// per 2x2 block plus a luma term per pixel (Y, or 2 x (Y / 2) for the fast one), clamped. They
// convert two luma rows sharing one chroma row, whole vectors only, and return the number of
// blocks done; the caller finishes the rest from the tables.
int convertBlocksSse2(const uint8_t* y0, const uint8_t* y1, const uint8_t* u, const uint8_t* v,
                      uint32_t* o0, uint32_t* o1, int blocks, bool fast);
int convertBlocksAvx2(const uint8_t* y0, const uint8_t* y1, const uint8_t* u, const uint8_t* v,
                      uint32_t* o0, uint32_t* o1, int blocks, bool fast);
} // namespace detail

} // namespace media
