// Inside TimeStretch: the correlation search and the choice of the code
// that runs it. Exposed so that tests, the fuzzer and the benchmark can run
// every search path against each other.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "engine_host/render.h"
#include "engine_host/sample_window.h"

namespace Quellmar::stretch {

// Finds the start v in [lo, hi] whose next kOverlap input samples correlate
// best with the kOverlap samples at tail: the first v with the highest
// sum of tail[k] * in[v + k]. Every score is an exact integer (|score| <
// 2^37), so the paths agree exactly, ties included. `in` must hold at least
// hi + kFrame + 1 samples (the SIMD paths read a little past v + kOverlap).
using SearchFn = size_t (*)(const int16_t* tail, const int16_t* in, size_t lo, size_t hi);

size_t SearchPlain(const int16_t* tail, const int16_t* in, size_t lo, size_t hi);

// The vector paths split each template sample t = 64 * high + low (high in
// -512..511, low in 0..63), so that both partial sums fit in 32 bits:
// score = 64 * sum(high * x) + sum(low * x), and |sum(high * x)| <=
// 120 * 512 * 32768 < 2^31. The high sums of all candidates, with bounds on
// the low sums, rule out most candidates; only those that could still be
// best get their low sum computed.
struct SplitTemplate {
  static constexpr int kShift = 6;
  static constexpr int kPadded = 128;  // zeros after kOverlap: whole 16-sample vectors
  alignas(16) int16_t high[kPadded];
  alignas(16) int16_t low[kPadded];
};
// out[j] = sum(high[k] * in[lo + j + k]) for j < count rounded up to a
// multiple of 4 (out must have room); reads in[lo + count + 3 + 127] at most.
using HighSumsFn = void (*)(const SplitTemplate& t, const int16_t* in, size_t lo, size_t count, int32_t* out);
// sum(low[k] * x[k]) over kOverlap samples (may read up to x[127]).
using LowSumFn = int32_t (*)(const SplitTemplate& t, const int16_t* x);
size_t SearchSplit(const int16_t* tail, const int16_t* in, size_t lo, size_t hi, HighSumsFn high, LowSumFn low);

#if defined(__x86_64__) || defined(__i386__)
#define QM_STRETCH_X86 1
void HighSumsSse2(const SplitTemplate& t, const int16_t* in, size_t lo, size_t count, int32_t* out);
int32_t LowSumSse2(const SplitTemplate& t, const int16_t* x);
void HighSumsAvx2(const SplitTemplate& t, const int16_t* in, size_t lo, size_t count, int32_t* out);
int32_t LowSumAvx2(const SplitTemplate& t, const int16_t* x);
size_t SearchSse2(const int16_t* tail, const int16_t* in, size_t lo, size_t hi);
size_t SearchAvx2(const int16_t* tail, const int16_t* in, size_t lo, size_t hi);
#endif

enum class Path { Plain, Sse2, Avx2 };
// Whether this machine can run a path.
bool Available(Path path);
// The fastest path this machine runs (decided once).
Path Fastest();
SearchFn Search(Path path);

// TimeStretch with a chosen search path.
Samples TimeStretchWith(const Samples& in, double factor, Path path);

// TimeStretch fed piece by piece: the same output, each sample made as soon
// as the input it depends on is known. A frame starting at f is made once
// f + kFrame + kSearchRadius + 1 samples are known (then neither its search
// range nor its existence depends on the input's length); the last
// kOverlap samples made stay open for the next frame's crossfade. Until
// kMinStretchInput samples are known, nothing is made: a shorter input is
// copied, not stretched. Only the input from the next frame's search start
// on is kept.
class StretchStream {
 public:
  StretchStream(double factor, Path path);

  // Appends input; ignored after End.
  void Push(const int16_t* x, size_t count);
  // No more input: the last frames and the open samples become known.
  void End() { ended_ = true; }
  // Appends the output now known to out, stopping once at least `room`
  // samples were added (frames come kOverlap at a time); returns how many.
  size_t Pull(Samples& out, size_t room);

  // Ended and every output made (or none will be).
  bool done() const { return mode_ == Mode::kDone || (too_long_ && ended_); }
  // The output passed kMaxRenderSamples: TimeStretch of the whole input
  // would have made nothing, and this stream makes no more.
  bool too_long() const { return too_long_; }

 private:
  enum class Mode { kNothing, kCopy, kWaiting, kStretching, kDone };
  bool Refused();
  size_t Copy(Samples& out, size_t room);
  size_t Frames(Samples& out, size_t room);

  double factor_;
  double step_;  // analysis step kOverlap / factor
  double g_;     // the next frame's nominal start, accumulated
  SearchFn search_;
  Mode mode_;
  SampleWindow in_;
  uint64_t frames_ = 0;
  std::array<int16_t, kOverlap> open_{};  // the last samples made, crossfaded by the next frame
  bool ended_ = false;
  bool too_long_ = false;
};

}  // namespace Quellmar::stretch
