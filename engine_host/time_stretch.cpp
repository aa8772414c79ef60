// TimeStretch: waveform-similarity overlap-add with a fixed output hop of
// kOverlap samples, kFrame-sample frames and a kOverlap-sample crossfade.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>

#include "engine_host/time_stretch.h"

namespace Quellmar::stretch {
namespace {

// Factors this close to 1 leave the samples untouched.
constexpr double kUnityTolerance = 0.000001;

// The frame starts follow g = c, 2c, 3c, ... accumulated, rounded to the
// nearest sample. Returns false once the frame starting there would not fit
// before the end of the input (g may be huge or infinite for tiny factors).
bool NextFrameStart(double g, size_t n, size_t& f) {
  if (!(g < static_cast<double>(n))) return false;
  f = static_cast<size_t>(std::round(g));
  return f + kFrame < n;
}

}  // namespace

size_t SearchPlain(const int16_t* tail, const int16_t* in, size_t lo, size_t hi) {
  size_t best = lo;
  int64_t best_score = std::numeric_limits<int64_t>::min();
  for (size_t v = lo; v <= hi; ++v) {
    int64_t score = 0;
    for (int k = 0; k < kOverlap; ++k) score += int32_t{tail[k]} * in[v + k];
    if (score > best_score) {  // ties keep the earlier start
      best_score = score;
      best = v;
    }
  }
  return best;
}

size_t SearchSplit(const int16_t* tail, const int16_t* in, size_t lo, size_t hi, HighSumsFn high_sums,
                   LowSumFn low_sum) {
  constexpr size_t kMaxCandidates = 2 * kSearchRadius + 1;
  constexpr int kLowMax = (1 << SplitTemplate::kShift) - 1;
  SplitTemplate t;
  bool low_zero = true;
  for (int k = 0; k < SplitTemplate::kPadded; ++k) {
    const int v = k < kOverlap ? tail[k] : 0;
    t.high[k] = static_cast<int16_t>(v >> SplitTemplate::kShift);  // floor
    t.low[k] = static_cast<int16_t>(v & kLowMax);
    low_zero = low_zero && t.low[k] == 0;
  }
  const size_t count = hi - lo + 1;
  int32_t high[kMaxCandidates + 3];
  high_sums(t, in, lo, count, high);

  // With low in 0..kLowMax, sum(low * x) lies in [-kLowMax * neg, kLowMax * pos],
  // where pos and neg sum the positive and negative parts of the window:
  // pos = (|x| sum + x sum) / 2, neg = (|x| sum - x sum) / 2. Everything
  // below is doubled to keep it in integers; sliding sums keep it cheap.
  int64_t upper2[kMaxCandidates];  // twice the highest score candidate j can have
  int64_t sum = 0, abs_sum = 0;
  for (int k = 0; k < kOverlap; ++k) {
    const int x = in[lo + k];
    sum += x;
    abs_sum += x < 0 ? -x : x;
  }
  size_t guess = 0;  // the candidate with the highest midpoint: probably the best
  int64_t guess_mid2 = std::numeric_limits<int64_t>::min();
  for (size_t j = 0;; ++j) {
    const int64_t base2 = int64_t{high[j]} * (2 << SplitTemplate::kShift);
    const int64_t mid2 = base2 + kLowMax * sum;
    upper2[j] = mid2 + kLowMax * abs_sum;
    if (mid2 > guess_mid2) guess_mid2 = mid2, guess = j;
    if (j + 1 == count) break;
    const int out_x = in[lo + j], in_x = in[lo + j + kOverlap];
    sum += in_x - out_x;
    abs_sum += (in_x < 0 ? -in_x : in_x) - (out_x < 0 ? -out_x : out_x);
  }
  const auto score = [&](size_t j) {
    const int64_t base = int64_t{high[j]} * (1 << SplitTemplate::kShift);
    return low_zero ? base : base + low_sum(t, in + lo + j);
  };

  // The best score is at least the guess's; a candidate whose upper bound is
  // below that scores strictly less and can be neither best nor tied.
  const int64_t threshold = score(guess);
  const int64_t threshold2 = 2 * threshold;
  size_t best = lo;
  int64_t best_score = std::numeric_limits<int64_t>::min();
  for (size_t j = 0; j < count; ++j) {
    if (upper2[j] < threshold2) continue;
    const int64_t s = j == guess ? threshold : score(j);
    if (s > best_score) {
      best_score = s;
      best = lo + j;
    }
  }
  return best;
}

#if defined(QM_STRETCH_X86)
size_t SearchSse2(const int16_t* tail, const int16_t* in, size_t lo, size_t hi) {
  return SearchSplit(tail, in, lo, hi, HighSumsSse2, LowSumSse2);
}
size_t SearchAvx2(const int16_t* tail, const int16_t* in, size_t lo, size_t hi) {
  return SearchSplit(tail, in, lo, hi, HighSumsAvx2, LowSumAvx2);
}
#endif

bool Available(Path path) {
#if defined(QM_STRETCH_X86)
  switch (path) {
    case Path::Plain:
    case Path::Sse2:  // the baseline of every build
      return true;
    case Path::Avx2:
      __builtin_cpu_init();
      return __builtin_cpu_supports("avx2");
  }
  return false;
#else
  return path == Path::Plain;
#endif
}

Path Fastest() {
  static const Path fastest = [] {
    if (Available(Path::Avx2)) return Path::Avx2;
    if (Available(Path::Sse2)) return Path::Sse2;
    return Path::Plain;
  }();
  return fastest;
}

SearchFn Search(Path path) {
#if defined(QM_STRETCH_X86)
  if (path == Path::Avx2 && Available(Path::Avx2)) return SearchAvx2;
  if (path != Path::Plain) return SearchSse2;
#else
  (void)path;
#endif
  return SearchPlain;
}

Samples TimeStretchWith(const Samples& in, double factor, Path path) {
  const size_t n = in.size();
  if (n == 0 || !(factor > 0) || !std::isfinite(factor)) return {};
  if (std::fabs(factor - 1) < kUnityTolerance || n < kMinStretchInput) return in;

  // Count the frames first: it bounds the output before anything is
  // allocated, and a factor too large to make progress is caught here.
  const double c = kOverlap / factor;
  const size_t max_frames = (kMaxRenderSamples - kFrame) / kOverlap;
  if (static_cast<double>(n) * factor > 2.0 * kMaxRenderSamples) return {};
  size_t frames = 0;
  size_t f = 0;
  for (double g = c; NextFrameStart(g, n, f); g += c) {
    if (++frames > max_frames) return {};
  }

  const SearchFn search = Search(path);
  const CrossfadeTables& fade = Crossfade();
  Samples out;
  out.reserve(kFrame + frames * kOverlap);
  out.assign(in.begin(), in.begin() + kFrame);
  double g = c;
  for (size_t i = 0; i < frames; ++i, g += c) {
    NextFrameStart(g, n, f);
    const size_t lo = f > kSearchRadius ? f - kSearchRadius : 0;
    const size_t hi = std::min(f + kSearchRadius, n - kFrame - 1);
    // f + kFrame < n keeps the range non-empty; f is the fallback anyway.
    const size_t best = lo <= hi ? search(out.data() + out.size() - kOverlap, in.data(), lo, hi) : f;

    int16_t* overlap = out.data() + out.size() - kOverlap;
    const int16_t* next = in.data() + best;
    for (int k = 0; k < kOverlap; ++k) {
      // Weights are single precision; the blend itself is done in double.
      overlap[k] = RoundSample(overlap[k] * static_cast<double>(fade.fade_out[k]) +
                               next[k] * static_cast<double>(fade.fade_in[k]));
    }
    out.insert(out.end(), next + kOverlap, next + kFrame);
  }
  return out;
}

}  // namespace Quellmar::stretch

namespace Quellmar {

Samples TimeStretch(const Samples& in, double factor) {
  return stretch::TimeStretchWith(in, factor, stretch::Fastest());
}

}  // namespace Quellmar
