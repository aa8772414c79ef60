// The dialog's sliders all run from 0 to 100; these are the fixed scales
// between a slider position and the value stored in the registry. Every
// conversion from a position first limits it to 0..100, every conversion to a
// position limits its result to 0..100. Portable.
#pragma once

#include <cstdint>

namespace Quellmar::config {

inline constexpr int kSliderMin = 0;
inline constexpr int kSliderMax = 100;

enum class Scale {
  kSpeed,        // custom voice speed, words a minute, 85..350, linear
  kPitch,        // custom voice pitch, 45..91, linear
  kVolume,       // custom voice volume, 0..65535, linear
  kPause,        // sentence, semicolon and comma pauses, 0..3000 ms, linear
  kWordGap,      // gap between words, 0..100 ms, linear
  kExtraRate,    // global rate percent, 25..400, logarithmic: 50 is unchanged
  kExtraVolume,  // global volume percent, 0..200, two per step
};

// x to the nearest integer, halves away from zero.
int32_t Nearest(double x);

int32_t ValueForPosition(Scale scale, int position);
int PositionForValue(Scale scale, int32_t value);

}  // namespace Quellmar::config
