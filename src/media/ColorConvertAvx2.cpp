// The AVX2 kernel of the colour conversions, the SSE2 one widened (see ColorConvert.cpp for the
// arithmetic). This file alone is compiled with -mavx2 and is called only when the processor
// has it; it uses no inline code shared with other files, so that no AVX2 instruction can leak
// into code that runs on older processors.

#include "media/ColorConvert.h"

#if defined(__AVX2__)
#include <immintrin.h>
#endif

namespace media::detail {

#if defined(__AVX2__)
namespace {

struct Terms {
    __m256i r, g, b;
};

inline Terms exactTerms(__m256i u32, __m256i v32) {
    const __m256 du = _mm256_sub_ps(_mm256_cvtepi32_ps(u32), _mm256_set1_ps(128.0f));
    const __m256 dv = _mm256_sub_ps(_mm256_cvtepi32_ps(v32), _mm256_set1_ps(128.0f));
    const __m256i gu = _mm256_cvttps_epi32(_mm256_mul_ps(du, _mm256_set1_ps(0.3455f)));
    const __m256i gv = _mm256_cvttps_epi32(_mm256_mul_ps(dv, _mm256_set1_ps(0.7169f)));
    return {_mm256_cvttps_epi32(_mm256_mul_ps(dv, _mm256_set1_ps(1.4075f))),
            _mm256_sub_epi32(_mm256_setzero_si256(), _mm256_add_epi32(gu, gv)),
            _mm256_cvttps_epi32(_mm256_mul_ps(du, _mm256_set1_ps(1.779f)))};
}

constexpr float kBias = 256.0002f;

inline Terms fastTerms(__m256i u32, __m256i v32) {
    const __m256 j = _mm256_cvtepi32_ps(_mm256_srli_epi32(u32, 2));
    const __m256 k = _mm256_cvtepi32_ps(_mm256_srli_epi32(v32, 2));
    const __m256 r =
        _mm256_add_ps(_mm256_mul_ps(k, _mm256_set1_ps(5.63f)), _mm256_set1_ps(kBias - 180.66f));
    const __m256 g = _mm256_add_ps(_mm256_add_ps(_mm256_mul_ps(j, _mm256_set1_ps(-1.382f)),
                                                 _mm256_mul_ps(k, _mm256_set1_ps(-2.8676f))),
                                   _mm256_set1_ps(kBias + 136.4872f));
    const __m256 b =
        _mm256_add_ps(_mm256_mul_ps(j, _mm256_set1_ps(7.116f)), _mm256_set1_ps(kBias - 227.212f));
    return {_mm256_cvttps_epi32(r), _mm256_cvttps_epi32(g), _mm256_cvttps_epi32(b)};
}

// Sixteen block terms (two vectors of eight) as thirty-two 16-bit pixel terms, in pixel order:
// the pack interleaves the lanes as blocks 0-3, 8-11 | 4-7, 12-15, which the unpacks then
// spread as pixels 0-15 and 16-31.
template <bool Fast> inline void perPixel(__m256i lo, __m256i hi, __m256i& first, __m256i& second) {
    __m256i t = _mm256_packs_epi32(lo, hi);
    if (Fast) t = _mm256_sub_epi16(t, _mm256_set1_epi16(256));
    first = _mm256_unpacklo_epi16(t, t);
    second = _mm256_unpackhi_epi16(t, t);
}

inline void store32(__m256i yv, __m256i rl, __m256i rh, __m256i gl, __m256i gh, __m256i bl,
                    __m256i bh, uint32_t* out) {
    const __m256i zero = _mm256_setzero_si256();
    const __m256i ylo = _mm256_cvtepu8_epi16(_mm256_castsi256_si128(yv));
    const __m256i yhi = _mm256_cvtepu8_epi16(_mm256_extracti128_si256(yv, 1));
    // Lanes after packus: pixels 0-7, 16-23 | 8-15, 24-31.
    const __m256i R = _mm256_packus_epi16(_mm256_add_epi16(ylo, rl), _mm256_add_epi16(yhi, rh));
    const __m256i G = _mm256_packus_epi16(_mm256_add_epi16(ylo, gl), _mm256_add_epi16(yhi, gh));
    const __m256i B = _mm256_packus_epi16(_mm256_add_epi16(ylo, bl), _mm256_add_epi16(yhi, bh));
    // Low unpacks hold pixels 0-15 in order, high unpacks 16-31.
    const __m256i bgLo = _mm256_unpacklo_epi8(B, G), bgHi = _mm256_unpackhi_epi8(B, G);
    const __m256i r0Lo = _mm256_unpacklo_epi8(R, zero), r0Hi = _mm256_unpackhi_epi8(R, zero);
    const __m256i q0 = _mm256_unpacklo_epi16(bgLo, r0Lo); // 0-3 | 8-11
    const __m256i q1 = _mm256_unpackhi_epi16(bgLo, r0Lo); // 4-7 | 12-15
    const __m256i q2 = _mm256_unpacklo_epi16(bgHi, r0Hi); // 16-19 | 24-27
    const __m256i q3 = _mm256_unpackhi_epi16(bgHi, r0Hi); // 20-23 | 28-31
    auto* o = reinterpret_cast<__m256i*>(out);
    _mm256_storeu_si256(o + 0, _mm256_permute2x128_si256(q0, q1, 0x20));
    _mm256_storeu_si256(o + 1, _mm256_permute2x128_si256(q0, q1, 0x31));
    _mm256_storeu_si256(o + 2, _mm256_permute2x128_si256(q2, q3, 0x20));
    _mm256_storeu_si256(o + 3, _mm256_permute2x128_si256(q2, q3, 0x31));
}

inline __m256i widen8(const uint8_t* p) {
    return _mm256_cvtepu8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)));
}

template <bool Fast>
int kernel(const uint8_t* y0, const uint8_t* y1, const uint8_t* u, const uint8_t* v, uint32_t* o0,
           uint32_t* o1, int blocks) {
    const __m256i mask = _mm256_set1_epi8(static_cast<char>(Fast ? 0xFE : 0xFF));
    int c = 0;
    for (; c + 16 <= blocks; c += 16) {
        const __m256i uLo = widen8(u + c), uHi = widen8(u + c + 8);
        const __m256i vLo = widen8(v + c), vHi = widen8(v + c + 8);
        const Terms lo = Fast ? fastTerms(uLo, vLo) : exactTerms(uLo, vLo);
        const Terms hi = Fast ? fastTerms(uHi, vHi) : exactTerms(uHi, vHi);
        __m256i rl, rh, gl, gh, bl, bh;
        perPixel<Fast>(lo.r, hi.r, rl, rh);
        perPixel<Fast>(lo.g, hi.g, gl, gh);
        perPixel<Fast>(lo.b, hi.b, bl, bh);
        const __m256i l0 = _mm256_and_si256(
            _mm256_loadu_si256(reinterpret_cast<const __m256i*>(y0 + 2 * c)), mask);
        const __m256i l1 = _mm256_and_si256(
            _mm256_loadu_si256(reinterpret_cast<const __m256i*>(y1 + 2 * c)), mask);
        store32(l0, rl, rh, gl, gh, bl, bh, o0 + 2 * c);
        store32(l1, rl, rh, gl, gh, bl, bh, o1 + 2 * c);
    }
    return c;
}

} // namespace

int convertBlocksAvx2(const uint8_t* y0, const uint8_t* y1, const uint8_t* u, const uint8_t* v,
                      uint32_t* o0, uint32_t* o1, int blocks, bool fast) {
    return fast ? kernel<true>(y0, y1, u, v, o0, o1, blocks)
                : kernel<false>(y0, y1, u, v, o0, o1, blocks);
}
#else
int convertBlocksAvx2(const uint8_t*, const uint8_t*, const uint8_t*, const uint8_t*, uint32_t*,
                      uint32_t*, int, bool) {
    return 0;
}
#endif

} // namespace media::detail
