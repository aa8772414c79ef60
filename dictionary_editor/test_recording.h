// The editor's test recording: the engine core writes a word as a file of
// 46 header bytes and 8-bit mu-law samples; the editor rewrites it as a
// 16-bit PCM WAV file with the same 46-byte header layout (an 18-byte format
// chunk) before it plays it. Portable.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace Quellmar::dictionary {

inline constexpr size_t kTestRecordingHeaderBytes = 46;
inline constexpr uint32_t kTestRecordingRate = 8000;
// A test recording is one spoken word; a file of more samples than this is
// not the engine's, and is left as it is rather than doubled in memory.
inline constexpr size_t kTestRecordingMaxSamples = size_t{64} << 20;

// The 46-byte header of a 16-bit mono 8 kHz image of `samples` samples.
std::string TestRecordingHeader(uint32_t samples);

// The converted image of the engine's file: every byte after the first 46
// expanded from mu-law to a 16-bit sample. No value when the file is too
// large to convert.
std::optional<std::string> ConvertTestRecording(std::string_view engine_file);

}  // namespace Quellmar::dictionary
