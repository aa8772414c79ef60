// Inside Resample: the choice of the vector paths, the streaming form, and
// the AVX2 kernels (chosen at run time). Exposed so that tests, the fuzzer
// and the benchmark can run every path against the others.
#pragma once

#include <cstddef>
#include <cstdint>

#include "engine_host/render.h"
#include "engine_host/sample_window.h"

namespace Quellmar::resample {

// Resample with or without the AVX2 paths (without: SSE2 on x86, else scalar).
Samples ResampleWith(const Samples& in, double step, bool avx2);

// Resample fed piece by piece: the same outputs, each made as soon as the
// four input samples around its position are known (or, at the end, clamped
// as Resample clamps them). Holds back at most three input samples past the
// last output and keeps only the input the next output reads.
class ResampleStream {
 public:
  ResampleStream(double step, bool allow_avx2);

  // Appends input; ignored after End.
  void Push(const int16_t* x, size_t count);
  // No more input: the outputs that read past it become known.
  void End() { ended_ = true; }
  // Writes up to `room` of the outputs now known to out; returns how many.
  size_t Pull(int16_t* out, size_t room);

  // Ended and every output made (or none will be).
  bool done() const;
  // The output reached kMaxRenderSamples with more to come: Resample of the
  // whole input would have made nothing, and this stream makes no more.
  bool too_long() const { return too_long_; }

 private:
  void Drop();

  double step_;
  bool valid_, avx2_, multiples_;
  SampleWindow in_;
  uint64_t next_ = 0;    // index of the next output
  double position_ = 0;  // its position, accumulated as Resample accumulates it
  bool ended_ = false;
  bool too_long_ = false;
};

// For positions p[0..count) with 1 <= p[j] < n - 2 (all four neighbours
// inside x) and count a multiple of 4: the same operations, in the same
// order, as the scalar interpolation and rounding.
void InteriorAvx2(const int16_t* x, const double* p, size_t count, int16_t* out);

// Step 0.5 (pitch 1, the common case): positions are exactly i and i + 0.5,
// so out[2k] = x[i] and out[2k + 1] is the interpolation at t = 0.5, with
// k = i - first and the neighbours read as contiguous vectors. Handles i in
// [first, first + count), count a multiple of 4, 1 <= first and
// first + count + 1 <= n - 1.
void HalfStepAvx2(const int16_t* x, size_t first, size_t count, int16_t* out);

}  // namespace Quellmar::resample
