// Resample's interior, four outputs at a time with AVX2 (chosen at run time),
// and a way to choose the path for tests.
#pragma once

#include <cstddef>
#include <cstdint>

#include "engine_host/render.h"

namespace Quellmar::resample {

// Resample with or without the AVX2 paths (without: SSE2 on x86, else scalar).
Samples ResampleWith(const Samples& in, double step, bool avx2);

// For positions p[0..count) with 1 <= p[j] < n - 2 (all four neighbours
// inside x) and count a multiple of 4: the same operations, in the same
// order, as the scalar interpolation and rounding.
void InteriorAvx2(const int16_t* x, const double* p, size_t count, int16_t* out);

// Step 0.5 (pitch 1, the common case): positions are exactly i and i + 0.5,
// so out[2i] = x[i] and out[2i + 1] is the interpolation at t = 0.5, with
// the neighbours read as contiguous vectors. Handles i in [first, first +
// count), count a multiple of 4, 1 <= first and first + count + 2 <= n - 1.
void HalfStepAvx2(const int16_t* x, size_t first, size_t count, int16_t* out);

}  // namespace Quellmar::resample
