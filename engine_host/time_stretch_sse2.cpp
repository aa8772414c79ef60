// The correlation sums with SSE2, the baseline of every x86 build.
#include "engine_host/time_stretch.h"

#if defined(QM_STRETCH_X86)
#include <emmintrin.h>

namespace Quellmar::stretch {
namespace {

inline __m128i Load(const int16_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }

// Horizontal sums of four vectors: {sum a, sum b, sum c, sum d}.
inline __m128i Sum4(__m128i a, __m128i b, __m128i c, __m128i d) {
  const __m128i s0 = _mm_add_epi32(_mm_unpacklo_epi32(a, b), _mm_unpackhi_epi32(a, b));
  const __m128i s1 = _mm_add_epi32(_mm_unpacklo_epi32(c, d), _mm_unpackhi_epi32(c, d));
  return _mm_add_epi32(_mm_unpacklo_epi64(s0, s1), _mm_unpackhi_epi64(s0, s1));
}

}  // namespace

// 32-bit Windows only promises a 4-byte aligned stack on entry; realign so
// that vector spills are safe.
#if defined(__i386__)
#define QM_REALIGN __attribute__((force_align_arg_pointer))
#else
#define QM_REALIGN
#endif

// |high| <= 512 and |x| <= 32768: every partial sum stays below 120 * 2^24 < 2^31.
QM_REALIGN void HighSumsSse2(const SplitTemplate& t, const int16_t* in, size_t lo, size_t count, int32_t* out) {
  for (size_t j = 0; j < count; j += 4) {
    __m128i a0 = _mm_setzero_si128(), a1 = a0, a2 = a0, a3 = a0;
    const int16_t* x = in + lo + j;
    for (int q = 0; q < kOverlap; q += 8) {
      const __m128i h = Load(t.high + q);
      a0 = _mm_add_epi32(a0, _mm_madd_epi16(Load(x + q), h));
      a1 = _mm_add_epi32(a1, _mm_madd_epi16(Load(x + q + 1), h));
      a2 = _mm_add_epi32(a2, _mm_madd_epi16(Load(x + q + 2), h));
      a3 = _mm_add_epi32(a3, _mm_madd_epi16(Load(x + q + 3), h));
    }
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + j), Sum4(a0, a1, a2, a3));
  }
}

// low <= 63: every partial sum stays below 120 * 63 * 32768 < 2^28.
QM_REALIGN int32_t LowSumSse2(const SplitTemplate& t, const int16_t* x) {
  __m128i a = _mm_setzero_si128(), b = a;
  for (int q = 0; q < kOverlap; q += 16) {
    a = _mm_add_epi32(a, _mm_madd_epi16(Load(x + q), Load(t.low + q)));
    b = _mm_add_epi32(b, _mm_madd_epi16(Load(x + q + 8), Load(t.low + q + 8)));  // zeros past 120
  }
  a = _mm_add_epi32(a, b);
  a = _mm_add_epi32(a, _mm_shuffle_epi32(a, _MM_SHUFFLE(1, 0, 3, 2)));
  a = _mm_add_epi32(a, _mm_shuffle_epi32(a, _MM_SHUFFLE(2, 3, 0, 1)));
  return _mm_cvtsi128_si32(a);
}

}  // namespace Quellmar::stretch

#endif
