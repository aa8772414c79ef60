// The correlation sums with AVX2, chosen at run time. Only unaligned loads:
// 64-bit Windows compilers do not keep the stack 32-byte aligned.
#include "engine_host/time_stretch.h"

#if defined(QM_STRETCH_X86)
#include <immintrin.h>

namespace Quellmar::stretch {
namespace {

#define QM_AVX2 __attribute__((target("avx2")))

QM_AVX2 inline __m256i Load(const int16_t* p) {
  return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}

QM_AVX2 inline __m128i Sum4(__m256i a, __m256i b, __m256i c, __m256i d) {
  const __m256i s = _mm256_hadd_epi32(_mm256_hadd_epi32(a, b), _mm256_hadd_epi32(c, d));
  return _mm_add_epi32(_mm256_castsi256_si128(s), _mm256_extracti128_si256(s, 1));
}

}  // namespace

// Same bounds as the SSE2 sums; the zero padding to 128 makes each
// candidate eight whole vectors.
QM_AVX2 void HighSumsAvx2(const SplitTemplate& t, const int16_t* in, size_t lo, size_t count, int32_t* out) {
  for (size_t j = 0; j < count; j += 4) {
    __m256i a0 = _mm256_setzero_si256(), a1 = a0, a2 = a0, a3 = a0;
    const int16_t* x = in + lo + j;
    for (int q = 0; q < SplitTemplate::kPadded; q += 16) {
      const __m256i h = Load(t.high + q);
      a0 = _mm256_add_epi32(a0, _mm256_madd_epi16(Load(x + q), h));
      a1 = _mm256_add_epi32(a1, _mm256_madd_epi16(Load(x + q + 1), h));
      a2 = _mm256_add_epi32(a2, _mm256_madd_epi16(Load(x + q + 2), h));
      a3 = _mm256_add_epi32(a3, _mm256_madd_epi16(Load(x + q + 3), h));
    }
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + j), Sum4(a0, a1, a2, a3));
  }
}

QM_AVX2 int32_t LowSumAvx2(const SplitTemplate& t, const int16_t* x) {
  __m256i a = _mm256_setzero_si256(), b = a;
  for (int q = 0; q < SplitTemplate::kPadded; q += 32) {
    a = _mm256_add_epi32(a, _mm256_madd_epi16(Load(x + q), Load(t.low + q)));
    b = _mm256_add_epi32(b, _mm256_madd_epi16(Load(x + q + 16), Load(t.low + q + 16)));
  }
  a = _mm256_add_epi32(a, b);
  __m128i s = _mm_add_epi32(_mm256_castsi256_si128(a), _mm256_extracti128_si256(a, 1));
  s = _mm_add_epi32(s, _mm_shuffle_epi32(s, _MM_SHUFFLE(1, 0, 3, 2)));
  s = _mm_add_epi32(s, _mm_shuffle_epi32(s, _MM_SHUFFLE(2, 3, 0, 1)));
  return _mm_cvtsi128_si32(s);
}

}  // namespace Quellmar::stretch

#endif
