// From a voice's settings, the global settings and the host's adjustments of
// one text fragment to the render parameters of one synthesis request.
#pragma once

#include <cstdint>

#include "common/voice_settings.h"
#include "engine_host/render_params.h"

namespace Quellmar {

struct RenderSetup {
  RenderParams params;
  // Used by text preparation only; it does not travel to the worker.
  bool speak_punctuation = false;
};

// `rate` and `pitch` on SAPI's scale -10..10 (limited here), `volume` a
// percentage (limited to at most 100). Never fails.
RenderSetup ComputeRenderParams(const CustomVoiceSettings& voice, const GlobalSettings& global,
                                int32_t rate, int32_t pitch, uint16_t volume);

// The speed curve: 85 words a minute is 2.0, 175 is 1.0, 350 is 0.5, linear
// on each side of 175. `speed` is limited to 85..350.
double DurationForSpeed(int32_t speed);
// The pitch curve in semitones: 45 is -6, 63 is 0, 91 is +6.
double SemitonesForPitch(int32_t pitch);

}  // namespace Quellmar
