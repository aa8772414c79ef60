// How one piece of text is rendered: computed by the callers from the voice
// and the host's adjustments, carried to the worker in a synthesis request,
// applied by the engine driver (tags, pauses) and the renderer (factors).
#pragma once

#include <array>
#include <cstdint>

namespace Quellmar {

struct RenderParams {
  double duration_factor = 1.0;  // 2.0 twice as long (slower), 0.5 half as long
  double pitch_factor = 1.0;     // 2.0 one octave up
  double gain_factor = 1.0;      // level multiplier
  bool tags = false;             // whether the engine obeys tags embedded in the text
  // The engine's four pauses (sentence, semicolon/colon, comma, word) in ms;
  // negative leaves the engine's current value unchanged.
  std::array<int32_t, 4> pauses = {-1, -1, -1, -1};
};

}  // namespace Quellmar
