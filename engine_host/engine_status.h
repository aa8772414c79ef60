// Engine core status codes and their names, as the log lines quote them.
#pragma once

#include <cstdint>

namespace Quellmar {

inline constexpr int32_t kStatusOk = 0;
inline constexpr int32_t kStatusNoMoreSpeech = 1;
inline constexpr int32_t kStatusNullArgument = 2700;
inline constexpr int32_t kStatusPitchOutOfRange = 2800;
inline constexpr int32_t kStatusSpeedOutOfRange = 2810;
inline constexpr int32_t kStatusVolumeOutOfRange = 2820;
inline constexpr int32_t kStatusNullInput = 2830;
inline constexpr int32_t kStatusInvalidInputFile = 2840;
inline constexpr int32_t kStatusNullOutput = 2850;
inline constexpr int32_t kStatusNothingSpeakable = 2870;
inline constexpr int32_t kStatusOutOfMemory = 2900;
inline constexpr int32_t kStatusNullStatusBlock = 3000;
inline constexpr int32_t kStatusChannelLimit = 3010;

// The fixed name of `code`; "unknown engine status" for codes the engine
// core does not document. Never null.
const char* StatusName(int32_t code);

}  // namespace Quellmar
