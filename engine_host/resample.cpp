// Resample: Catmull-Rom interpolation at accumulated positions, whole or
// streamed. Both forms share the kernels below, so they agree sample for
// sample.
#include "engine_host/resample.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#if defined(__x86_64__) || defined(__i386__)
#include <emmintrin.h>
#endif

namespace Quellmar {
namespace {

// One Catmull-Rom value, exactly as written (no reordering: every build must
// round the same way).
inline double CatmullRom(double x0, double x1, double x2, double x3, double t) {
  return x1 + t * (0.5 * (x2 - x0) + t * ((x0 - 2.5 * x1 + 2 * x2 - 0.5 * x3) +
                                          t * (0.5 * (x3 - x0) + 1.5 * (x1 - x2))));
}

// Indices clamped to 0 .. last. Positions may be relative to any whole
// sample of the input: p - whole is exact, so i and t are the same.
inline int16_t ResampleOne(const int16_t* x, size_t last, double p) {
  size_t i = static_cast<size_t>(p);
  const double t = p - static_cast<double>(i);
  i = std::min(i, last);
  return RoundSample(CatmullRom(x[i == 0 ? 0 : i - 1], x[i], x[std::min(i + 1, last)],
                                x[std::min(i + 2, last)], t));
}

#if defined(__x86_64__) || defined(__i386__)
#if defined(__i386__)
__attribute__((force_align_arg_pointer))  // 32-bit Windows: 4-byte aligned stack on entry
#endif
// Two outputs at positions p[0], p[1] whose four neighbours are all inside
// the input: the same operations as CatmullRom and RoundSample, two at a
// time. count is even.
void ResampleInteriorSse2(const int16_t* x, const double* p, size_t count, int16_t* out) {
  const __m128d half = _mm_set1_pd(0.5), one_half = _mm_set1_pd(1.5), two = _mm_set1_pd(2.0),
                two_half = _mm_set1_pd(2.5), lowest = _mm_set1_pd(-32768.0),
                highest = _mm_set1_pd(32767.0), minus_half = _mm_set1_pd(-0.5);
  for (size_t j = 0; j < count; j += 2) {
    const __m128d pos = _mm_loadu_pd(p + j);
    const __m128i index = _mm_cvttpd_epi32(pos);
    const __m128d t = _mm_sub_pd(pos, _mm_cvtepi32_pd(index));
    const int i0 = _mm_cvtsi128_si32(index);
    const int i1 = _mm_cvtsi128_si32(_mm_shuffle_epi32(index, 1));
    // x[i-1 .. i+2] of both outputs, interleaved and widened to 32 bits.
    const __m128i q =
        _mm_unpacklo_epi16(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(x + i0 - 1)),
                           _mm_loadl_epi64(reinterpret_cast<const __m128i*>(x + i1 - 1)));
    const __m128i lo = _mm_srai_epi32(_mm_unpacklo_epi16(q, q), 16);  // x0 x0' x1 x1'
    const __m128i hi = _mm_srai_epi32(_mm_unpackhi_epi16(q, q), 16);  // x2 x2' x3 x3'
    const __m128d x0 = _mm_cvtepi32_pd(lo);
    const __m128d x1 = _mm_cvtepi32_pd(_mm_shuffle_epi32(lo, _MM_SHUFFLE(3, 2, 3, 2)));
    const __m128d x2 = _mm_cvtepi32_pd(hi);
    const __m128d x3 = _mm_cvtepi32_pd(_mm_shuffle_epi32(hi, _MM_SHUFFLE(3, 2, 3, 2)));

    const __m128d c1 = _mm_mul_pd(half, _mm_sub_pd(x2, x0));
    const __m128d c2 =
        _mm_sub_pd(_mm_add_pd(_mm_sub_pd(x0, _mm_mul_pd(two_half, x1)), _mm_mul_pd(two, x2)),
                   _mm_mul_pd(half, x3));
    const __m128d c3 =
        _mm_add_pd(_mm_mul_pd(half, _mm_sub_pd(x3, x0)), _mm_mul_pd(one_half, _mm_sub_pd(x1, x2)));
    __m128d v = _mm_add_pd(
        x1, _mm_mul_pd(t, _mm_add_pd(c1, _mm_mul_pd(t, _mm_add_pd(c2, _mm_mul_pd(t, c3))))));

    // RoundSample: clamp, truncate, step away from zero on a half or more.
    v = _mm_min_pd(_mm_max_pd(v, lowest), highest);
    const __m128i whole = _mm_cvttpd_epi32(v);
    const __m128d frac = _mm_sub_pd(v, _mm_cvtepi32_pd(whole));
    const __m128i up =
        _mm_shuffle_epi32(_mm_castpd_si128(_mm_cmpge_pd(frac, half)), _MM_SHUFFLE(3, 3, 2, 0));
    const __m128i down = _mm_shuffle_epi32(_mm_castpd_si128(_mm_cmple_pd(frac, minus_half)),
                                           _MM_SHUFFLE(3, 3, 2, 0));
    const __m128i rounded = _mm_add_epi32(_mm_sub_epi32(whole, up), down);
    const int packed = _mm_cvtsi128_si32(_mm_packs_epi32(rounded, rounded));
    std::memcpy(out + j, &packed, sizeof packed);
  }
}
#endif

// True when every accumulated position is exactly j * step: the step is a
// short binary fraction (0.5 at pitch 1) and count * step needs no rounding.
// Then the positions need not be made one after the other.
bool PositionsAreExactMultiples(double step, size_t count) {
  int exponent = 0;
  double mantissa = std::frexp(step, &exponent) * 9007199254740992.0;   // 2^53: an integer
  while (std::fmod(mantissa, 2.0) == 0 && mantissa > 1) mantissa /= 2;  // odd part
  return mantissa * static_cast<double>(count + 1) < 9007199254740992.0;
}

bool HasAvx2() {
#if defined(__x86_64__) || defined(__i386__)
  static const bool has = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") != 0;
  }();
  return has;
#else
  return false;
#endif
}

// Positions per block: the vector kernels take them from memory.
constexpr size_t kBlock = 512;

// The outputs at increasing positions p[0..m) of x[0..last], the interior
// ones (all four neighbours inside x) several at a time.
void OutputsAt(const int16_t* x, size_t last, const double* p, size_t m, bool avx2, int16_t* out) {
  size_t k = 0;
  while (k < m && p[k] < 1) out[k] = ResampleOne(x, last, p[k]), ++k;
  size_t end = k;
#if defined(__x86_64__) || defined(__i386__)
  if (last < (size_t{1} << 30)) {  // indices fit the 32-bit conversions
    const double interior_end = static_cast<double>(last) - 1;  // i + 2 <= last
    if (m > 0 && p[m - 1] < interior_end) {
      end = m;
    } else {
      while (end < m && p[end] < interior_end) ++end;
    }
    end -= (end - k) % (avx2 ? 4 : 2);
    if (avx2) {
      resample::InteriorAvx2(x, p + k, end - k, out + k);
    } else {
      ResampleInteriorSse2(x, p + k, end - k, out + k);
    }
  }
#else
  (void)avx2;
#endif
  for (k = end; k < m; ++k) out[k] = ResampleOne(x, last, p[k]);
}

// Step 0.5 with AVX2: out[2k], out[2k + 1] at positions i and i + 0.5 for
// i = first + k < end.
void HalfSteps(const int16_t* x, size_t last, size_t first, size_t end, int16_t* out) {
  size_t i = first;
  const auto pair = [&](size_t at) {
    out[2 * (at - first)] = ResampleOne(x, last, static_cast<double>(at));
    out[2 * (at - first) + 1] = ResampleOne(x, last, at + 0.5);
  };
  for (; i < end && i < 1; ++i) pair(i);
  const size_t interior_end = std::min(end, last >= 1 ? last - 1 : 0);  // i + 2 <= last
  if (interior_end > i) {
    const size_t count = (interior_end - i) / 4 * 4;
    resample::HalfStepAvx2(x, i, count, out + 2 * (i - first));
    i += count;
  }
  for (; i < end; ++i) pair(i);
}

}  // namespace

Samples Resample(const Samples& in, double step) {
  return resample::ResampleWith(in, step, HasAvx2());
}

namespace resample {

Samples ResampleWith(const Samples& in, double step, bool allow_avx2) {
  const size_t n = in.size();
  if (n == 0 || !(step > 0) || !std::isfinite(step)) return {};
  const double length = std::trunc(static_cast<double>(n) / step);
  if (!(length <= static_cast<double>(kMaxRenderSamples))) return {};
  const size_t count = static_cast<size_t>(length);

  Samples out(count);
  const int16_t* x = in.data();
  const size_t last = n - 1;
  const bool avx2 = allow_avx2 && HasAvx2();
  if (step == 0.5 && avx2) {  // positions i and i + 0.5 exactly
    HalfSteps(x, last, 0, n, out.data());
    return out;
  }
  // Positions are made in blocks (p(j+1) = p(j) + step, accumulated).
  const bool multiples = PositionsAreExactMultiples(step, count);
  double positions[kBlock];
  double p = 0;
  for (size_t j = 0; j < count; j += kBlock) {
    const size_t m = std::min(kBlock, count - j);
    if (multiples) {
      for (size_t k = 0; k < m; ++k) positions[k] = static_cast<double>(j + k) * step;
    } else {
      for (size_t k = 0; k < m; ++k, p += step) positions[k] = p;
    }
    OutputsAt(x, last, positions, m, avx2, out.data() + j);
  }
  return out;
}

ResampleStream::ResampleStream(double step, bool allow_avx2)
    : step_(step),
      valid_(step > 0 && std::isfinite(step)),
      avx2_(allow_avx2 && HasAvx2()),
      multiples_(valid_ && PositionsAreExactMultiples(step, kMaxRenderSamples)) {}

void ResampleStream::Push(const int16_t* x, size_t count) {
  if (ended_ || !valid_ || too_long_) return;
  in_.Push(x, count);
}

bool ResampleStream::done() const {
  if (!valid_ || too_long_) return ended_;
  return ended_ && (in_.seen() == 0 || static_cast<double>(next_) >=
                                           std::trunc(static_cast<double>(in_.seen()) / step_));
}

size_t ResampleStream::Pull(int16_t* out, size_t room) {
  if (!valid_ || too_long_ || in_.seen() == 0) return 0;
  // Outputs below this count exist whatever follows: the count only grows
  // with the input.
  const double length = std::trunc(static_cast<double>(in_.seen()) / step_);
  if (!(length <= static_cast<double>(kMaxRenderSamples))) {
    too_long_ = true;
    return 0;
  }
  const uint64_t count = static_cast<uint64_t>(length);
  // Before the end an output needs x[i + 2] known, i + 2 < seen: p < seen - 2.
  const double readable_end = static_cast<double>(in_.seen()) - 2;
  const double base = static_cast<double>(in_.base());
  size_t made = 0;
  double positions[kBlock];

  // At step 0.5 outputs come in pairs at i and i + 0.5; an odd start (never
  // made by RenderStream) is evened out below by the general path.
  if (step_ == 0.5 && avx2_ && next_ % 2 == 0) {
    const uint64_t first = next_ / 2;
    uint64_t end = std::min<uint64_t>(count / 2, first + room / 2);
    if (!ended_) end = std::min<uint64_t>(end, in_.seen() >= 2 ? in_.seen() - 2 : 0);
    if (end > first) {
      HalfSteps(in_.data(), in_.size() - 1, static_cast<size_t>(first - in_.base()),
                static_cast<size_t>(end - in_.base()), out);
      made = 2 * (end - first);
      next_ += made;
      position_ = static_cast<double>(next_) * 0.5;
    }
  }
  while (made < room && next_ < count) {
    const size_t m = static_cast<size_t>(std::min<uint64_t>({kBlock, room - made, count - next_}));
    double p = position_;
    for (size_t k = 0; k < m; ++k, p += step_)
      positions[k] = multiples_ ? static_cast<double>(next_ + k) * step_ : p;
    size_t known = m;
    if (!ended_) {
      while (known > 0 && !(positions[known - 1] < readable_end)) --known;
    }
    if (known == 0) break;
    position_ = positions[known - 1] + step_;  // exactly the accumulated next position
    for (size_t k = 0; k < known; ++k) positions[k] -= base;  // exact: base is a whole sample
    OutputsAt(in_.data(), in_.size() - 1, positions, known, avx2_, out + made);
    made += known;
    next_ += known;
    if (known < m) break;
  }
  Drop();
  return made;
}

// Keeps x[i - 1] on, i being the next output's whole position, or the
// last sample seen when i lies beyond it (at the end, i is clamped to the
// last sample, so its neighbour below must stay).
void ResampleStream::Drop() {
  const uint64_t i =
      position_ < static_cast<double>(in_.seen()) ? static_cast<uint64_t>(position_) : in_.seen();
  const uint64_t top = std::min(i, in_.seen() - 1);
  const uint64_t keep = top == 0 ? 0 : top - 1;
  in_.DropBefore(keep);
}

}  // namespace resample
}  // namespace Quellmar
