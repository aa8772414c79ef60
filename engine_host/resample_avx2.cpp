#include "engine_host/resample.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>

#include <cstring>

namespace Quellmar::resample {
namespace {

// Four consecutive samples from x[at], widened to 32 bits.
__attribute__((target("avx2"))) inline __m128i Column(const int16_t* x, size_t at) {
  return _mm_cvtepi16_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(x + at)));
}

}  // namespace

__attribute__((target("avx2"))) void InteriorAvx2(const int16_t* x, const double* p, size_t count, int16_t* out) {
  const __m256d half = _mm256_set1_pd(0.5), one = _mm256_set1_pd(1.0), one_half = _mm256_set1_pd(1.5),
                two = _mm256_set1_pd(2.0), two_half = _mm256_set1_pd(2.5), minus_half = _mm256_set1_pd(-0.5),
                lowest = _mm256_set1_pd(-32768.0), highest = _mm256_set1_pd(32767.0);
  for (size_t j = 0; j < count; j += 4) {
    const __m256d pos = _mm256_loadu_pd(p + j);
    const __m128i index = _mm256_cvttpd_epi32(pos);
    const __m256d t = _mm256_sub_pd(pos, _mm256_cvtepi32_pd(index));
    const auto quad = [&](int i) { return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(x + i - 1)); };
    // Rows x[i-1 .. i+2] of the four outputs, transposed to columns.
    const __m128i ab = _mm_unpacklo_epi16(quad(_mm_cvtsi128_si32(index)), quad(_mm_extract_epi32(index, 1)));
    const __m128i cd = _mm_unpacklo_epi16(quad(_mm_extract_epi32(index, 2)), quad(_mm_extract_epi32(index, 3)));
    const __m128i c01 = _mm_unpacklo_epi32(ab, cd);  // x0 of a b c d, x1 of a b c d
    const __m128i c23 = _mm_unpackhi_epi32(ab, cd);
    const __m256d x0 = _mm256_cvtepi32_pd(_mm_cvtepi16_epi32(c01));
    const __m256d x1 = _mm256_cvtepi32_pd(_mm_cvtepi16_epi32(_mm_srli_si128(c01, 8)));
    const __m256d x2 = _mm256_cvtepi32_pd(_mm_cvtepi16_epi32(c23));
    const __m256d x3 = _mm256_cvtepi32_pd(_mm_cvtepi16_epi32(_mm_srli_si128(c23, 8)));

    const __m256d c1 = _mm256_mul_pd(half, _mm256_sub_pd(x2, x0));
    const __m256d c2 = _mm256_sub_pd(
        _mm256_add_pd(_mm256_sub_pd(x0, _mm256_mul_pd(two_half, x1)), _mm256_mul_pd(two, x2)),
        _mm256_mul_pd(half, x3));
    const __m256d c3 =
        _mm256_add_pd(_mm256_mul_pd(half, _mm256_sub_pd(x3, x0)), _mm256_mul_pd(one_half, _mm256_sub_pd(x1, x2)));
    __m256d v = _mm256_add_pd(
        x1, _mm256_mul_pd(t, _mm256_add_pd(c1, _mm256_mul_pd(t, _mm256_add_pd(c2, _mm256_mul_pd(t, c3))))));

    // Clamp, truncate, step away from zero on a half or more (all exact).
    v = _mm256_min_pd(_mm256_max_pd(v, lowest), highest);
    const __m256d whole = _mm256_cvtepi32_pd(_mm256_cvttpd_epi32(v));
    const __m256d frac = _mm256_sub_pd(v, whole);
    const __m256d up = _mm256_and_pd(_mm256_cmp_pd(frac, half, _CMP_GE_OQ), one);
    const __m256d down = _mm256_and_pd(_mm256_cmp_pd(frac, minus_half, _CMP_LE_OQ), one);
    const __m128i rounded = _mm256_cvttpd_epi32(_mm256_sub_pd(_mm256_add_pd(whole, up), down));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out + j), _mm_packs_epi32(rounded, rounded));
  }
}

__attribute__((target("avx2"))) void HalfStepAvx2(const int16_t* x, size_t first, size_t count, int16_t* out) {
  const __m256d t = _mm256_set1_pd(0.5), half = t, one = _mm256_set1_pd(1.0), one_half = _mm256_set1_pd(1.5),
                two = _mm256_set1_pd(2.0), two_half = _mm256_set1_pd(2.5), minus_half = _mm256_set1_pd(-0.5),
                lowest = _mm256_set1_pd(-32768.0), highest = _mm256_set1_pd(32767.0);
  for (size_t i = first; i < first + count; i += 4) {
    const __m128i x1i = Column(x, i);
    const __m256d x0 = _mm256_cvtepi32_pd(Column(x, i - 1));
    const __m256d x1 = _mm256_cvtepi32_pd(x1i);
    const __m256d x2 = _mm256_cvtepi32_pd(Column(x, i + 1));
    const __m256d x3 = _mm256_cvtepi32_pd(Column(x, i + 2));

    const __m256d c1 = _mm256_mul_pd(half, _mm256_sub_pd(x2, x0));
    const __m256d c2 = _mm256_sub_pd(
        _mm256_add_pd(_mm256_sub_pd(x0, _mm256_mul_pd(two_half, x1)), _mm256_mul_pd(two, x2)),
        _mm256_mul_pd(half, x3));
    const __m256d c3 =
        _mm256_add_pd(_mm256_mul_pd(half, _mm256_sub_pd(x3, x0)), _mm256_mul_pd(one_half, _mm256_sub_pd(x1, x2)));
    __m256d v = _mm256_add_pd(
        x1, _mm256_mul_pd(t, _mm256_add_pd(c1, _mm256_mul_pd(t, _mm256_add_pd(c2, _mm256_mul_pd(t, c3))))));

    v = _mm256_min_pd(_mm256_max_pd(v, lowest), highest);
    const __m256d whole = _mm256_cvtepi32_pd(_mm256_cvttpd_epi32(v));
    const __m256d frac = _mm256_sub_pd(v, whole);
    const __m256d up = _mm256_and_pd(_mm256_cmp_pd(frac, half, _CMP_GE_OQ), one);
    const __m256d down = _mm256_and_pd(_mm256_cmp_pd(frac, minus_half, _CMP_LE_OQ), one);
    const __m128i mid = _mm256_cvttpd_epi32(_mm256_sub_pd(_mm256_add_pd(whole, up), down));
    const __m128i pairs = _mm_packs_epi32(_mm_unpacklo_epi32(x1i, mid), _mm_unpackhi_epi32(x1i, mid));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 2 * (i - first)), pairs);
  }
}

}  // namespace Quellmar::resample

#endif
