// A cascade/parallel formant synthesiser at 8000 Hz: a glottal source and
// aspiration noise drive a nasal pole-zero pair and four formant resonators
// in cascade; frication noise drives two parallel resonances and a flat
// path. Parameters are steered from the phone targets every 5 ms.
#pragma once

#include <cstdint>
#include <vector>

#include "engine_core/prosody.h"

namespace Quellmar::engine_core {

// Appends the phrase's samples (16-bit) to out. The noise generator state is
// carried by the caller so that the same text always gives the same bytes.
void RenderPhrase(const PhrasePlan& plan, uint32_t& noise_state, std::vector<int16_t>& out);

}  // namespace Quellmar::engine_core
