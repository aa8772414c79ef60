// Measurements the end-to-end tests compare between renders of one text:
// length, the part between the first and the last audible sample, loudness,
// and the median fundamental frequency of the voiced frames.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace Quellmar::e2e {

struct WavSummary {
  uint32_t sample_rate = 0;
  uint64_t samples = 0;
  double seconds = 0;
  double active_seconds = 0;  // first to last sample above 2% of full scale
  double rms = 0;             // over the active part, full scale = 1
  double f0_hz = 0;           // median over voiced frames; 0 when none
  uint32_t voiced_frames = 0;
};

// 16-bit mono PCM samples only.
WavSummary Analyse(const std::vector<int16_t>& samples, uint32_t sample_rate);
// False when the file is not 16-bit mono PCM WAV.
bool ReadWav16Mono(const std::string& bytes, std::vector<int16_t>& samples, uint32_t& sample_rate);

}  // namespace Quellmar::e2e
