// 16-bit mono PCM WAV files: the form every listening artefact, demo and
// tool output of the system takes. Portable.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace Quellmar {

inline constexpr size_t kWavHeaderBytes = 44;

// The 44-byte header of a 16-bit mono PCM file with `data_bytes` of samples.
std::vector<uint8_t> PcmWavHeader(uint32_t sample_rate, uint32_t data_bytes);

// A whole file: the header followed by the samples, little-endian.
std::vector<uint8_t> PcmWavFile(uint32_t sample_rate, std::span<const int16_t> samples);

}  // namespace Quellmar
