// EngineDriver: owns the engine core (qmcore.dll) inside a 32-bit process.
// It loads the library, binds its entry points by decorated name, answers the
// format questions, sets the engine's pauses and runs one synthesis to
// completion, handing every segment of raw engine output to a consumer.
//
// Takes no lock: the engine core is not re-entrant, so callers serialise
// SetPause and Synthesize. Failures are a false result and one Log line.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "engine_host/engine_core_api.h"

namespace Quellmar {

// Called once per non-empty segment with bytes that stay valid only for the
// call; false stops the synthesis.
using SegmentConsumer = bool (*)(const unsigned char* bytes, uint32_t count, void* context);

class EngineDriver {
 public:
  static constexpr uint32_t kMaxSegments = 100000;
  static constexpr int32_t kDefaultFormatCode = engine_api::kFormatMuLaw;
  static constexpr int32_t kDefaultBitsPerSample = 8;
  static constexpr int32_t kDefaultSampleRate = 8000;
  static constexpr int32_t kDefaultChannelsAllowed = 0;
  static constexpr uint32_t kVersionBytes = 256;

  // The process's one driver, empty until its first successful Load.
  static EngineDriver& Instance();

  EngineDriver() = default;
  EngineDriver(const EngineDriver&) = delete;
  EngineDriver& operator=(const EngineDriver&) = delete;
  // A loaded library stays loaded: the engine core is never shut down.
  ~EngineDriver() = default;

  // Loads the engine core from `path` and binds its entry points. True at
  // once when already loaded; a failed load leaves the driver empty.
  bool Load(const std::wstring& path);
  bool IsLoaded() const { return loaded_; }

  // The engine's version text, or "unknown".
  std::string Version() const;
  int32_t FormatCode() const;
  int32_t BitsPerSample() const;
  int32_t SampleRate() const;
  int32_t ChannelsAllowed() const;

  // Pause 1..4 (sentence, semicolon or colon, comma, word); other indices are
  // ignored (SetPause) or read as 0 (GetPause).
  void SetPause(int32_t index, int32_t length);
  int32_t GetPause(int32_t index) const;

  // Runs one synthesis of the NUL-terminated Windows-1252 `text`. Audio handed
  // to the consumer stays delivered when the result is false.
  bool Synthesize(const char* text, bool tags, SegmentConsumer consumer, void* context);
  // Empties `bytes`, then appends every segment of one synthesis to it.
  bool SynthesizeToBuffer(const char* text, bool tags, std::vector<unsigned char>& bytes);

  // The engine status that ended the latest synthesis unsuccessfully, else 0.
  int32_t LastStatus() const { return last_status_; }
  static const char* StatusName(int32_t code);

 private:
  struct EntryPoints {
    engine_api::get_av_version_fn get_av_version = nullptr;
    engine_api::initialize_SSB_fn initialize_SSB = nullptr;
    engine_api::close_SSB_fn close_SSB = nullptr;
    engine_api::set_tag_flag_fn set_tag_flag = nullptr;
    engine_api::isSeg_Available_fn isSeg_Available = nullptr;
    engine_api::synth_to_buffer_fn synth_to_buffer = nullptr;
    engine_api::get_snd_fmt_fn get_snd_fmt = nullptr;
    engine_api::get_snd_bps_fn get_snd_bps = nullptr;
    engine_api::get_snd_sps_fn get_snd_sps = nullptr;
    engine_api::get_channels_allowed_fn get_channels_allowed = nullptr;
    engine_api::get_pausation_fn get_pausation = nullptr;
    engine_api::set_pausation_fn set_pausation = nullptr;
  };

  bool loaded_ = false;
  HMODULE module_ = nullptr;
  int32_t last_status_ = 0;
  EntryPoints entry_;
};

}  // namespace Quellmar
