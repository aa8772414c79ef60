#include "engine_host/render.h"

#include "engine_host/resample_avx2.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#if defined(__x86_64__) || defined(__i386__)
#include <emmintrin.h>
#endif

namespace Quellmar {
namespace {

constexpr double kUnityTolerance = 0.000001;
constexpr double kLimitKnee = 24000;
constexpr double kLimitRange = 8767;  // the limiter approaches 24000 + 8767 = 32767

// tanh for x >= 0 built from IEEE-exact operations only, so that every build
// (glibc, the Windows runtimes) limits a sample to the same value; library
// tanh functions differ in the last bits between platforms.
double PortableTanh(double x) {
  if (!(x < 20)) return 1.0;  // 1 - tanh(20) is below half an ulp of 1
  // expm1(2x) = 2^k (expm1(r) + 1) - 1 with 2x = k ln2 + r, |r| <= ln2 / 2.
  constexpr double kLn2Hi = 6.93147180369123816490e-01;  // trailing bits zero: k * kLn2Hi is exact
  constexpr double kLn2Lo = 1.90821492927058770002e-10;
  constexpr double kInvLn2 = 1.44269504088896338700e+00;
  const double y = 2 * x;
  const int k = static_cast<int>(y * kInvLn2 + 0.5);
  const double r = (y - k * kLn2Hi) - k * kLn2Lo;
  // Taylor series of expm1 to r^17; the next term is below 1e-24.
  constexpr int kTerms = 17;
  static constexpr std::array<double, kTerms + 1> inv_factorial = [] {
    std::array<double, kTerms + 1> f{};
    f[0] = 1;
    for (int j = 1; j <= kTerms; ++j) f[j] = f[j - 1] / j;
    return f;
  }();
  double p = 0;
  for (int j = kTerms; j >= 1; --j) p = (p + inv_factorial[j]) * r;
  const double scale = std::ldexp(1.0, k);
  const double em1 = k == 0 ? p : scale * p + (scale - 1);
  return em1 / (em1 + 2);
}

}  // namespace

const CrossfadeTables& Crossfade() {
  static const CrossfadeTables tables = [] {
    constexpr double kPi = 3.14159265358979323846;
    CrossfadeTables t{};
    for (int k = 0; k < kOverlap; ++k) {
      const double in = 0.5 - 0.5 * std::cos(kPi * k / (kOverlap - 1));
      t.fade_in[k] = static_cast<float>(in);
      t.fade_out[k] = static_cast<float>(1 - in);
    }
    return t;
  }();
  return tables;
}

namespace {

// One Catmull-Rom value, exactly as written (no reordering: every build must
// round the same way).
inline double CatmullRom(double x0, double x1, double x2, double x3, double t) {
  return x1 + t * (0.5 * (x2 - x0) +
                   t * ((x0 - 2.5 * x1 + 2 * x2 - 0.5 * x3) + t * (0.5 * (x3 - x0) + 1.5 * (x1 - x2))));
}

inline int16_t ResampleOne(const int16_t* x, size_t last, double p) {
  size_t i = static_cast<size_t>(p);
  const double t = p - static_cast<double>(i);
  i = std::min(i, last);
  return RoundSample(CatmullRom(x[i == 0 ? 0 : i - 1], x[i], x[std::min(i + 1, last)], x[std::min(i + 2, last)], t));
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
                two_half = _mm_set1_pd(2.5), lowest = _mm_set1_pd(-32768.0), highest = _mm_set1_pd(32767.0),
                minus_half = _mm_set1_pd(-0.5);
  for (size_t j = 0; j < count; j += 2) {
    const __m128d pos = _mm_loadu_pd(p + j);
    const __m128i index = _mm_cvttpd_epi32(pos);
    const __m128d t = _mm_sub_pd(pos, _mm_cvtepi32_pd(index));
    const int i0 = _mm_cvtsi128_si32(index);
    const int i1 = _mm_cvtsi128_si32(_mm_shuffle_epi32(index, 1));
    // x[i-1 .. i+2] of both outputs, interleaved and widened to 32 bits.
    const __m128i q = _mm_unpacklo_epi16(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(x + i0 - 1)),
                                         _mm_loadl_epi64(reinterpret_cast<const __m128i*>(x + i1 - 1)));
    const __m128i lo = _mm_srai_epi32(_mm_unpacklo_epi16(q, q), 16);  // x0 x0' x1 x1'
    const __m128i hi = _mm_srai_epi32(_mm_unpackhi_epi16(q, q), 16);  // x2 x2' x3 x3'
    const __m128d x0 = _mm_cvtepi32_pd(lo);
    const __m128d x1 = _mm_cvtepi32_pd(_mm_shuffle_epi32(lo, _MM_SHUFFLE(3, 2, 3, 2)));
    const __m128d x2 = _mm_cvtepi32_pd(hi);
    const __m128d x3 = _mm_cvtepi32_pd(_mm_shuffle_epi32(hi, _MM_SHUFFLE(3, 2, 3, 2)));

    const __m128d c1 = _mm_mul_pd(half, _mm_sub_pd(x2, x0));
    const __m128d c2 = _mm_sub_pd(_mm_add_pd(_mm_sub_pd(x0, _mm_mul_pd(two_half, x1)), _mm_mul_pd(two, x2)),
                                  _mm_mul_pd(half, x3));
    const __m128d c3 = _mm_add_pd(_mm_mul_pd(half, _mm_sub_pd(x3, x0)), _mm_mul_pd(one_half, _mm_sub_pd(x1, x2)));
    __m128d v = _mm_add_pd(x1, _mm_mul_pd(t, _mm_add_pd(c1, _mm_mul_pd(t, _mm_add_pd(c2, _mm_mul_pd(t, c3))))));

    // RoundSample: clamp, truncate, step away from zero on a half or more.
    v = _mm_min_pd(_mm_max_pd(v, lowest), highest);
    const __m128i whole = _mm_cvttpd_epi32(v);
    const __m128d frac = _mm_sub_pd(v, _mm_cvtepi32_pd(whole));
    const __m128i up = _mm_shuffle_epi32(_mm_castpd_si128(_mm_cmpge_pd(frac, half)), _MM_SHUFFLE(3, 3, 2, 0));
    const __m128i down = _mm_shuffle_epi32(_mm_castpd_si128(_mm_cmple_pd(frac, minus_half)), _MM_SHUFFLE(3, 3, 2, 0));
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
  double mantissa = std::frexp(step, &exponent) * 9007199254740992.0;  // 2^53: an integer
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

}  // namespace

Samples Resample(const Samples& in, double step) { return resample::ResampleWith(in, step, HasAvx2()); }

Samples resample::ResampleWith(const Samples& in, double step, bool allow_avx2) {
  const size_t n = in.size();
  if (n == 0 || !(step > 0) || !std::isfinite(step)) return {};
  const double length = std::trunc(static_cast<double>(n) / step);
  if (!(length <= static_cast<double>(kMaxRenderSamples))) return {};
  const size_t count = static_cast<size_t>(length);

  Samples out(count);
  const int16_t* x = in.data();
  const size_t last = n - 1;
#if defined(__x86_64__) || defined(__i386__)
  // Positions are made in blocks (p(j+1) = p(j) + step, accumulated); the
  // outputs whose neighbours are all inside the input are then
  // interpolated several at a time.
  const bool avx2 = allow_avx2 && HasAvx2();
  if (step == 0.5 && avx2 && n >= 8) {
    // Positions i and i + 0.5 exactly; the interior straight from the input.
    const size_t first = 1, interior = (n - 3 - first) / 4 * 4;  // i + 2 <= n - 1
    for (size_t i = 0; i < first; ++i) {
      out[2 * i] = ResampleOne(x, last, static_cast<double>(i));
      out[2 * i + 1] = ResampleOne(x, last, i + 0.5);
    }
    resample::HalfStepAvx2(x, first, interior, out.data());
    for (size_t i = first + interior; i < n; ++i) {
      out[2 * i] = ResampleOne(x, last, static_cast<double>(i));
      out[2 * i + 1] = ResampleOne(x, last, i + 0.5);
    }
    return out;
  }
  const bool multiples = PositionsAreExactMultiples(step, count);
  const size_t group = avx2 ? 4 : 2;
  const bool vector = n < (size_t{1} << 30);  // indices fit the 32-bit conversions
  constexpr size_t kBlock = 512;
  double positions[kBlock];
  const double interior_end = static_cast<double>(n) - 2;  // i + 2 <= n - 1
  double p = 0;
  for (size_t j = 0; j < count; j += kBlock) {
    const size_t m = std::min(kBlock, count - j);
    if (multiples) {
      for (size_t k = 0; k < m; ++k) positions[k] = static_cast<double>(j + k) * step;
    } else {
      for (size_t k = 0; k < m; ++k, p += step) positions[k] = p;
    }
    size_t k = 0;
    while (k < m && positions[k] < 1) out[j + k] = ResampleOne(x, last, positions[k]), ++k;
    size_t end = k;
    if (vector) {
      if (positions[m - 1] < interior_end) {
        end = m;
      } else {
        while (end < m && positions[end] < interior_end) ++end;
      }
      end -= (end - k) % group;
      if (avx2) {
        resample::InteriorAvx2(x, positions + k, end - k, out.data() + j + k);
      } else {
        ResampleInteriorSse2(x, positions + k, end - k, out.data() + j + k);
      }
    }
    for (k = end; k < m; ++k) out[j + k] = ResampleOne(x, last, positions[k]);
  }
#else
  double p = 0;
  for (size_t j = 0; j < count; ++j, p += step) out[j] = ResampleOne(x, last, p);
#endif
  return out;
}

void ApplyGain(Samples& samples, double gain) {
  if (std::fabs(gain - 1) < kUnityTolerance) return;
  if (!(gain > 0) || !std::isfinite(gain)) {
    std::fill(samples.begin(), samples.end(), int16_t{0});
    return;
  }
  for (int16_t& s : samples) {
    double v = s * gain;
    if (v > kLimitKnee || v < -kLimitKnee) {
      const double limited = kLimitKnee + kLimitRange * PortableTanh((std::fabs(v) - kLimitKnee) / kLimitRange);
      v = v > 0 ? limited : -limited;
    }
    s = RoundSample(v);
  }
}

Samples Render(const Samples& in, const RenderParams& params) {
  const double duration = params.duration_factor;
  const double pitch = params.pitch_factor;
  if (in.empty() || !(duration > 0) || !std::isfinite(duration) || !(pitch > 0) || !std::isfinite(pitch)) {
    return {};
  }
  Samples out = Resample(TimeStretch(in, duration * pitch), pitch * 0.5);
  ApplyGain(out, params.gain_factor);
  return out;
}

}  // namespace Quellmar
