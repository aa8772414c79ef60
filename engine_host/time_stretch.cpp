// TimeStretch: waveform-similarity overlap-add with a fixed output hop of
// kOverlap samples, kFrame-sample frames and a kOverlap-sample crossfade.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "engine_host/time_stretch.h"

#if defined(QM_STRETCH_X86)
#include <emmintrin.h>
#endif

namespace Quellmar::stretch {
namespace {

// Factors this close to 1 leave the samples untouched.
constexpr double kUnityTolerance = 0.000001;

// The frame starts follow g = c, 2c, 3c, ... accumulated, rounded to the
// nearest sample. Returns false once the frame starting there would not fit
// before the end of the input (g may be huge or infinite for tiny factors).
bool NextFrameStart(double g, uint64_t n, uint64_t& f) {
  if (!(g < static_cast<double>(n))) return false;
  f = static_cast<uint64_t>(std::round(g));
  return f + kFrame < n;
}

// More frames than this would make more than kMaxRenderSamples.
constexpr uint64_t kMaxFrames = (kMaxRenderSamples - kFrame) / kOverlap;

// Whether n input samples stretched by factor would be far beyond
// kMaxRenderSamples; checked before anything is counted or made.
bool FarTooLong(uint64_t n, double factor) {
  return static_cast<double>(n) * factor > 2.0 * kMaxRenderSamples;
}

// Weights are single precision; the blend itself is done in double.
void Blend(int16_t* overlap, const int16_t* next, const CrossfadeTables& fade) {
#if defined(QM_STRETCH_X86)
  // SSE2, two at a time: the same operations as the scalar form below.
  const __m128d half = _mm_set1_pd(0.5), minus_half = _mm_set1_pd(-0.5), lowest = _mm_set1_pd(-32768.0),
                highest = _mm_set1_pd(32767.0);
  for (int k = 0; k < kOverlap; k += 2) {
    int32_t a, b;
    std::memcpy(&a, overlap + k, 4);
    std::memcpy(&b, next + k, 4);
    const __m128d xa = _mm_cvtepi32_pd(_mm_srai_epi32(_mm_unpacklo_epi16(_mm_cvtsi32_si128(a), _mm_cvtsi32_si128(a)), 16));
    const __m128d xb = _mm_cvtepi32_pd(_mm_srai_epi32(_mm_unpacklo_epi16(_mm_cvtsi32_si128(b), _mm_cvtsi32_si128(b)), 16));
    const __m128d wo = _mm_cvtps_pd(_mm_castsi128_ps(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(&fade.fade_out[k]))));
    const __m128d wi = _mm_cvtps_pd(_mm_castsi128_ps(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(&fade.fade_in[k]))));
    __m128d v = _mm_add_pd(_mm_mul_pd(xa, wo), _mm_mul_pd(xb, wi));
    v = _mm_min_pd(_mm_max_pd(v, lowest), highest);
    const __m128i whole = _mm_cvttpd_epi32(v);
    const __m128d frac = _mm_sub_pd(v, _mm_cvtepi32_pd(whole));
    const __m128i up = _mm_shuffle_epi32(_mm_castpd_si128(_mm_cmpge_pd(frac, half)), _MM_SHUFFLE(3, 3, 2, 0));
    const __m128i down = _mm_shuffle_epi32(_mm_castpd_si128(_mm_cmple_pd(frac, minus_half)), _MM_SHUFFLE(3, 3, 2, 0));
    const __m128i rounded = _mm_add_epi32(_mm_sub_epi32(whole, up), down);
    const int32_t packed = _mm_cvtsi128_si32(_mm_packs_epi32(rounded, rounded));
    std::memcpy(overlap + k, &packed, 4);
  }
#else
  for (int k = 0; k < kOverlap; ++k) {
    overlap[k] = RoundSample(overlap[k] * static_cast<double>(fade.fade_out[k]) +
                             next[k] * static_cast<double>(fade.fade_in[k]));
  }
#endif
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

  // The candidate with the highest high sum is probably the best: its exact
  // score is a floor for the best score. With low in 0..kLowMax, a
  // candidate's score is at most 2^kShift * high + kLowMax * pos, where pos
  // sums the positive samples of its window; one whose bound is below the
  // floor scores strictly less and can be neither best nor tied.
  int32_t top = high[0];
  for (size_t j = 1; j < count; ++j) top = std::max(top, high[j]);  // branch-free
  size_t guess = 0;
  while (high[guess] != top) ++guess;
  const auto score = [&](size_t j) {
    const int64_t base = int64_t{high[j]} * (1 << SplitTemplate::kShift);
    return low_zero ? base : base + low_sum(t, in + lo + j);
  };
  const int64_t floor = score(guess);

  const auto positive = [](int x) { return x > 0 ? x : 0; };
  int64_t pos = 0;  // sliding sum over the window of candidate j
  for (int k = 0; k < kOverlap; ++k) pos += positive(in[lo + k]);
  size_t best = lo;
  int64_t best_score = std::numeric_limits<int64_t>::min();
  for (size_t j = 0;; ++j) {
    if (int64_t{high[j]} * (1 << SplitTemplate::kShift) + kLowMax * pos >= floor) {
      const int64_t s = j == guess ? floor : score(j);
      if (s > best_score) {
        best_score = s;
        best = lo + j;
      }
    }
    if (j + 1 == count) break;
    pos += positive(in[lo + j + kOverlap]) - positive(in[lo + j]);
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
  if (FarTooLong(n, factor)) return {};
  size_t frames = 0;
  uint64_t f = 0;
  for (double g = c; NextFrameStart(g, n, f); g += c) {
    if (++frames > kMaxFrames) return {};
  }

  const SearchFn search = Search(path);
  const CrossfadeTables& fade = Crossfade();
  Samples out;
  out.reserve(kFrame + frames * kOverlap);
  out.assign(in.begin(), in.begin() + kFrame);
  double g = c;
  for (size_t i = 0; i < frames; ++i, g += c) {
    NextFrameStart(g, n, f);
    const size_t lo = f > kSearchRadius ? static_cast<size_t>(f) - kSearchRadius : 0;
    const size_t hi = std::min(static_cast<size_t>(f) + kSearchRadius, n - kFrame - 1);
    // f + kFrame < n keeps the range non-empty; f is the fallback anyway.
    const size_t best = lo <= hi ? search(out.data() + out.size() - kOverlap, in.data(), lo, hi)
                                 : static_cast<size_t>(f);

    int16_t* overlap = out.data() + out.size() - kOverlap;
    const int16_t* next = in.data() + best;
    Blend(overlap, next, fade);
    out.insert(out.end(), next + kOverlap, next + kFrame);
  }
  return out;
}

StretchStream::StretchStream(double factor, Path path)
    : factor_(factor), step_(kOverlap / factor), g_(step_), search_(Search(path)) {
  if (!(factor > 0) || !std::isfinite(factor)) {
    mode_ = Mode::kNothing;
  } else if (std::fabs(factor - 1) < kUnityTolerance) {
    mode_ = Mode::kCopy;
  } else {
    mode_ = Mode::kWaiting;
  }
}

void StretchStream::Push(const int16_t* x, size_t count) {
  if (ended_ || too_long_ || mode_ == Mode::kNothing || mode_ == Mode::kDone) return;
  in_.Push(x, count);
}

size_t StretchStream::Pull(Samples& out, size_t room) {
  if (too_long_) return 0;
  switch (mode_) {
    case Mode::kNothing:
      if (ended_) mode_ = Mode::kDone;
      return 0;
    case Mode::kDone:
      return 0;
    case Mode::kCopy:
      return Copy(out, room);
    case Mode::kWaiting:
      if (in_.seen() < kMinStretchInput) {
        if (!ended_) return 0;
        mode_ = Mode::kCopy;  // too short to stretch
        return Copy(out, room);
      }
      if (Refused()) return 0;
      // The first frame is the input's own; its second half stays open.
      out.insert(out.end(), in_.At(0), in_.At(kOverlap));
      std::copy(in_.At(kOverlap), in_.At(kFrame), open_.begin());
      mode_ = Mode::kStretching;
      return kOverlap + Frames(out, room > kOverlap ? room - kOverlap : 0);
    case Mode::kStretching:
      return Frames(out, room);
  }
  return 0;
}

size_t StretchStream::Copy(Samples& out, size_t room) {
  const size_t n = static_cast<size_t>(std::min<uint64_t>(room, in_.size()));
  out.insert(out.end(), in_.data(), in_.data() + n);
  in_.DropBefore(in_.base() + n);
  if (ended_ && in_.base() == in_.seen()) mode_ = Mode::kDone;
  return n;
}

// What TimeStretch refuses for the whole input is refused as soon as the
// input seen so far shows it: far too long, or more frames certain to come
// than the bound allows. A frame whose nominal start g is at most n - 241.5
// exists whatever follows; the accumulated starts stray from i x step by far
// less than the margin of 1e-9.
bool StretchStream::Refused() {
  const double certain = static_cast<double>(in_.seen()) - (kFrame + 1.5);
  too_long_ = too_long_ || FarTooLong(in_.seen(), factor_) ||
              certain >= static_cast<double>(kMaxFrames + 1) * step_ * (1 + 1e-9);
  return too_long_;
}

size_t StretchStream::Frames(Samples& out, size_t room) {
  if (Refused()) return 0;
  const CrossfadeTables& fade = Crossfade();
  size_t made = 0;
  while (made < room) {
    uint64_t f = 0, hi = 0;
    if (ended_) {
      if (!NextFrameStart(g_, in_.seen(), f)) {
        out.insert(out.end(), open_.begin(), open_.end());
        made += kOverlap;
        mode_ = Mode::kDone;
        break;
      }
      hi = std::min<uint64_t>(f + kSearchRadius, in_.seen() - kFrame - 1);
    } else {
      // Known to exist, with its whole search range, whatever input follows.
      if (!(g_ < static_cast<double>(in_.seen()))) break;
      f = static_cast<uint64_t>(std::round(g_));
      if (f + kFrame + kSearchRadius + 1 > in_.seen()) break;
      hi = f + kSearchRadius;
    }
    if (++frames_ > kMaxFrames) {
      too_long_ = true;
      break;
    }
    const uint64_t lo = f > kSearchRadius ? f - kSearchRadius : 0;
    const uint64_t best = lo <= hi ? in_.base() + search_(open_.data(), in_.data(),
                                                          static_cast<size_t>(lo - in_.base()),
                                                          static_cast<size_t>(hi - in_.base()))
                                   : f;
    Blend(open_.data(), in_.At(best), fade);
    out.insert(out.end(), open_.begin(), open_.end());
    made += kOverlap;
    std::copy(in_.At(best) + kOverlap, in_.At(best) + kFrame, open_.begin());
    g_ += step_;
  }
  // Keep the next frame's search range on (or, for a frame beyond any
  // input there could be, nothing).
  uint64_t keep = in_.seen();
  if (mode_ == Mode::kStretching && g_ < 9e18) {
    const auto f = static_cast<uint64_t>(std::round(g_));
    keep = std::min(f > kSearchRadius ? f - kSearchRadius : 0, in_.seen());
  }
  in_.DropBefore(keep);
  return made;
}

}  // namespace Quellmar::stretch

namespace Quellmar {

Samples TimeStretch(const Samples& in, double factor) {
  return stretch::TimeStretchWith(in, factor, stretch::Fastest());
}

}  // namespace Quellmar
