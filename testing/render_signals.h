// Deterministic test inputs for the renderer. Made from integer and IEEE
// arithmetic only (no library sin/cos), so the host and Windows builds feed
// the renderer identical samples.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine_host/render.h"

namespace Quellmar::testing {

// Voiced syllables (a jittered pulse train through two formant resonators)
// alternating with noise bursts and short silences, at 8 kHz.
Samples SpeechLike(size_t n, uint32_t seed);
// Uniformly random over the full 16-bit range.
Samples RandomSamples(size_t n, uint32_t seed);
// Loud random samples hard-clipped to the range ends.
Samples ClippedSamples(size_t n, uint32_t seed);
// -32768, 32767, -32768, ...
Samples AlternatingExtremes(size_t n);

// The committed espeak-ng utterance (8 kHz mu-law), as bytes and decoded;
// empty when the test data folder is not known.
std::vector<unsigned char> RecordedMuLaw();
Samples RecordedSpeech();

// FNV-1a over the little-endian bytes of the samples.
uint64_t Checksum(const Samples& s);

}  // namespace Quellmar::testing
