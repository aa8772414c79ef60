// Resample's interior, four outputs at a time with AVX2 (chosen at run time).
#pragma once

#include <cstddef>
#include <cstdint>

namespace Quellmar::resample {

// For positions p[0..count) with 1 <= p[j] < n - 2 (all four neighbours
// inside x) and count a multiple of 4: the same operations, in the same
// order, as the scalar interpolation and rounding.
void InteriorAvx2(const int16_t* x, const double* p, size_t count, int16_t* out);

}  // namespace Quellmar::resample
