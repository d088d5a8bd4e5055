#include "media/ColorConvert.h"

#include <algorithm>
#include <atomic>

#if defined(__x86_64__) || defined(__i386__)
#include <emmintrin.h>
#define TAVRINA_X86 1
#endif

namespace media {

namespace {

uint8_t clamp255(int v) {
    return static_cast<uint8_t>(std::clamp(v, 0, 255));
}

uint32_t pack(int r, int g, int b) {
    return uint32_t{clamp255(r)} << 16 | uint32_t{clamp255(g)} << 8 | clamp255(b);
}

ColorTables buildTables() {
    ColorTables t;
    for (int x = 0; x < 256; ++x) {
        const int d = x - 128;
        // Integer forms of d x 1.4075, 0.3455, 0.7169 and 1.779, truncated toward zero.
        t.RV[x] = static_cast<int16_t>(d * 14075 / 10000);
        t.GU[x] = static_cast<int16_t>(d * 3455 / 10000);
        t.GV[x] = static_cast<int16_t>(d * 7169 / 10000);
        t.BU[x] = static_cast<int16_t>(d * 1779 / 1000);
    }
    // Fast formulas scaled to integers: R = (563k + 200i - 18066) / 100,
    // G = (20000i - 13820j - 28676k + 1364872) / 10000, B = (2000i + 7116j - 227212) / 1000.
    t.fast.resize(ColorTables::kFastSize);
    for (int i = 0; i < 128; ++i)
        for (int j = 0; j < 64; ++j)
            for (int k = 0; k < 64; ++k)
                t.fast[(i << 12) | (j << 6) | k] =
                    pack((563 * k + 200 * i - 18066) / 100,
                         (20000 * i - 13820 * j - 28676 * k + 1364872) / 10000,
                         (2000 * i + 7116 * j - 227212) / 1000);
    return t;
}

ConvertIsa detectIsa() {
#if TAVRINA_X86
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx2")) return ConvertIsa::Avx2;
    return ConvertIsa::Sse2;
#else
    return ConvertIsa::Scalar;
#endif
}

std::atomic<int> selected{-1};

ConvertIsa currentIsa() {
    const int s = selected.load(std::memory_order_relaxed);
    if (s >= 0) return static_cast<ConvertIsa>(s);
    const ConvertIsa best = bestConvertIsa();
    selected.store(static_cast<int>(best), std::memory_order_relaxed);
    return best;
}

template <bool Fast>
void convertScalar(const ColorTables& t, const uint8_t* y0, const uint8_t* y1, const uint8_t* u,
                   const uint8_t* v, uint32_t* o0, uint32_t* o1, int blocks) {
    for (int c = 0; c < blocks; ++c) {
        if (Fast) {
            // One lookup per pixel in the packed table.
            const uint32_t* fast = t.fast.data() + ((u[c] >> 2) << 6 | (v[c] >> 2));
            o0[2 * c] = fast[(y0[2 * c] >> 1) << 12];
            o0[2 * c + 1] = fast[(y0[2 * c + 1] >> 1) << 12];
            o1[2 * c] = fast[(y1[2 * c] >> 1) << 12];
            o1[2 * c + 1] = fast[(y1[2 * c + 1] >> 1) << 12];
        } else {
            const int r = t.RV[v[c]], g = -t.GU[u[c]] - t.GV[v[c]], b = t.BU[u[c]];
            for (int k = 0; k < 2; ++k) {
                const int l0 = y0[2 * c + k], l1 = y1[2 * c + k];
                o0[2 * c + k] = pack(l0 + r, l0 + g, l0 + b);
                o1[2 * c + k] = pack(l1 + r, l1 + g, l1 + b);
            }
        }
    }
}

template <bool Fast>
void convert(int rows, int columns, const uint8_t* y, const uint8_t* u, const uint8_t* v,
             int yStride, int uvStride, uint32_t* const* rowTable) {
    rows &= ~1;
    columns &= ~1;
    if (rows <= 0 || columns <= 0 || !y || !u || !v || !rowTable) return;
    const ColorTables& t = colorTables();
    const ConvertIsa isa = currentIsa();
    const int blocks = columns / 2;
    for (int row = 0; row < rows; row += 2) {
        const uint8_t* y0 = y + static_cast<ptrdiff_t>(row) * yStride;
        const uint8_t* y1 = y0 + yStride;
        const uint8_t* ur = u + static_cast<ptrdiff_t>(row / 2) * uvStride;
        const uint8_t* vr = v + static_cast<ptrdiff_t>(row / 2) * uvStride;
        uint32_t* o0 = rowTable[row];
        uint32_t* o1 = rowTable[row + 1];
        int done = 0;
        if (isa == ConvertIsa::Avx2)
            done = detail::convertBlocksAvx2(y0, y1, ur, vr, o0, o1, blocks, Fast);
        if (isa != ConvertIsa::Scalar)
            done += detail::convertBlocksSse2(y0 + 2 * done, y1 + 2 * done, ur + done, vr + done,
                                              o0 + 2 * done, o1 + 2 * done, blocks - done, Fast);
        convertScalar<Fast>(t, y0 + 2 * done, y1 + 2 * done, ur + done, vr + done, o0 + 2 * done,
                            o1 + 2 * done, blocks - done);
    }
}

} // namespace

const ColorTables& colorTables() {
    // Lives for the whole run, as the players expect.
    static const ColorTables tables = buildTables();
    return tables;
}

ConvertIsa bestConvertIsa() {
    static const ConvertIsa best = detectIsa();
    return best;
}

ConvertIsa convertIsa() {
    return currentIsa();
}

ConvertIsa setConvertIsa(ConvertIsa isa) {
    const ConvertIsa chosen = std::min(isa, bestConvertIsa());
    selected.store(static_cast<int>(chosen), std::memory_order_relaxed);
    return chosen;
}

void ConvertExact(int rows, int columns, const uint8_t* y, const uint8_t* u, const uint8_t* v,
                  int yStride, int uvStride, uint32_t* const* rowTable) {
    convert<false>(rows, columns, y, u, v, yStride, uvStride, rowTable);
}

void ConvertFast(int rows, int columns, const uint8_t* y, const uint8_t* u, const uint8_t* v,
                 int yStride, int uvStride, uint32_t* const* rowTable) {
    convert<true>(rows, columns, y, u, v, yStride, uvStride, rowTable);
}

namespace detail {

#if TAVRINA_X86
namespace {

// Each block's chroma terms, one 32-bit lane per block, in single precision. A product
// (value - 128) x factor is 0 or lies at least 1e-4 from an integer, four times the rounding
// error here, so truncation gives the tables' values (the tests check every input).
struct Terms {
    __m128i r, g, b;
};

inline Terms exactTerms(__m128i u32, __m128i v32) {
    const __m128 du = _mm_sub_ps(_mm_cvtepi32_ps(u32), _mm_set1_ps(128.0f));
    const __m128 dv = _mm_sub_ps(_mm_cvtepi32_ps(v32), _mm_set1_ps(128.0f));
    const __m128i gu = _mm_cvttps_epi32(_mm_mul_ps(du, _mm_set1_ps(0.3455f)));
    const __m128i gv = _mm_cvttps_epi32(_mm_mul_ps(dv, _mm_set1_ps(0.7169f)));
    return {_mm_cvttps_epi32(_mm_mul_ps(dv, _mm_set1_ps(1.4075f))),
            _mm_sub_epi32(_mm_setzero_si128(), _mm_add_epi32(gu, gv)),
            _mm_cvttps_epi32(_mm_mul_ps(du, _mm_set1_ps(1.779f)))};
}

// The fast terms are floors of the formulas' chroma parts: shifted positive by 256 and
// truncated, with a bias of 2e-4 that lies above the rounding error of these few operations
// (under 8e-5) and below the smallest distance of a non-integer value from the next integer
// (4e-4, the G term's multiples of 1/2500).
constexpr float kBias = 256.0002f;

inline Terms fastTerms(__m128i u32, __m128i v32) {
    const __m128 j = _mm_cvtepi32_ps(_mm_srli_epi32(u32, 2));
    const __m128 k = _mm_cvtepi32_ps(_mm_srli_epi32(v32, 2));
    const __m128 r = _mm_add_ps(_mm_mul_ps(k, _mm_set1_ps(5.63f)), _mm_set1_ps(kBias - 180.66f));
    const __m128 g = _mm_add_ps(
        _mm_add_ps(_mm_mul_ps(j, _mm_set1_ps(-1.382f)), _mm_mul_ps(k, _mm_set1_ps(-2.8676f))),
        _mm_set1_ps(kBias + 136.4872f));
    const __m128 b = _mm_add_ps(_mm_mul_ps(j, _mm_set1_ps(7.116f)), _mm_set1_ps(kBias - 227.212f));
    // Still 256 too high; taken off once the terms are 16 bits wide.
    return {_mm_cvttps_epi32(r), _mm_cvttps_epi32(g), _mm_cvttps_epi32(b)};
}

// Eight block terms (two vectors of four) as sixteen 16-bit pixel terms, in pixel order.
template <bool Fast> inline void perPixel(__m128i lo, __m128i hi, __m128i& first, __m128i& second) {
    __m128i t = _mm_packs_epi32(lo, hi);
    if (Fast) t = _mm_sub_epi16(t, _mm_set1_epi16(256));
    first = _mm_unpacklo_epi16(t, t);
    second = _mm_unpackhi_epi16(t, t);
}

inline void store16(const __m128i yv, const __m128i rl, const __m128i rh, const __m128i gl,
                    const __m128i gh, const __m128i bl, const __m128i bh, uint32_t* out) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i ylo = _mm_unpacklo_epi8(yv, zero), yhi = _mm_unpackhi_epi8(yv, zero);
    // packus clamps each sum to 0..255.
    const __m128i R = _mm_packus_epi16(_mm_add_epi16(ylo, rl), _mm_add_epi16(yhi, rh));
    const __m128i G = _mm_packus_epi16(_mm_add_epi16(ylo, gl), _mm_add_epi16(yhi, gh));
    const __m128i B = _mm_packus_epi16(_mm_add_epi16(ylo, bl), _mm_add_epi16(yhi, bh));
    const __m128i bgLo = _mm_unpacklo_epi8(B, G), bgHi = _mm_unpackhi_epi8(B, G);
    const __m128i r0Lo = _mm_unpacklo_epi8(R, zero), r0Hi = _mm_unpackhi_epi8(R, zero);
    auto* o = reinterpret_cast<__m128i*>(out);
    _mm_storeu_si128(o + 0, _mm_unpacklo_epi16(bgLo, r0Lo));
    _mm_storeu_si128(o + 1, _mm_unpackhi_epi16(bgLo, r0Lo));
    _mm_storeu_si128(o + 2, _mm_unpacklo_epi16(bgHi, r0Hi));
    _mm_storeu_si128(o + 3, _mm_unpackhi_epi16(bgHi, r0Hi));
}

template <bool Fast>
int kernelSse2(const uint8_t* y0, const uint8_t* y1, const uint8_t* u, const uint8_t* v,
               uint32_t* o0, uint32_t* o1, int blocks) {
    const __m128i mask = _mm_set1_epi8(static_cast<char>(Fast ? 0xFE : 0xFF));
    const __m128i zero = _mm_setzero_si128();
    int c = 0;
    for (; c + 8 <= blocks; c += 8) {
        const __m128i u16 =
            _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(u + c)), zero);
        const __m128i v16 =
            _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(v + c)), zero);
        const __m128i uLo = _mm_unpacklo_epi16(u16, zero), uHi = _mm_unpackhi_epi16(u16, zero);
        const __m128i vLo = _mm_unpacklo_epi16(v16, zero), vHi = _mm_unpackhi_epi16(v16, zero);
        const Terms lo = Fast ? fastTerms(uLo, vLo) : exactTerms(uLo, vLo);
        const Terms hi = Fast ? fastTerms(uHi, vHi) : exactTerms(uHi, vHi);
        __m128i rl, rh, gl, gh, bl, bh;
        perPixel<Fast>(lo.r, hi.r, rl, rh);
        perPixel<Fast>(lo.g, hi.g, gl, gh);
        perPixel<Fast>(lo.b, hi.b, bl, bh);
        const __m128i l0 =
            _mm_and_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(y0 + 2 * c)), mask);
        const __m128i l1 =
            _mm_and_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(y1 + 2 * c)), mask);
        store16(l0, rl, rh, gl, gh, bl, bh, o0 + 2 * c);
        store16(l1, rl, rh, gl, gh, bl, bh, o1 + 2 * c);
    }
    return c;
}

} // namespace

int convertBlocksSse2(const uint8_t* y0, const uint8_t* y1, const uint8_t* u, const uint8_t* v,
                      uint32_t* o0, uint32_t* o1, int blocks, bool fast) {
    return fast ? kernelSse2<true>(y0, y1, u, v, o0, o1, blocks)
                : kernelSse2<false>(y0, y1, u, v, o0, o1, blocks);
}
#else
int convertBlocksSse2(const uint8_t*, const uint8_t*, const uint8_t*, const uint8_t*, uint32_t*,
                      uint32_t*, int, bool) {
    return 0;
}
#endif

} // namespace detail

} // namespace media
