// How the diagnostics tool reaches the engine core. The 64-bit build goes
// through the worker as the SAPI engine does; the 32-bit build loads the
// engine core into its own process as the worker itself does. One of the two
// implementations is linked into each build.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine_host/render_params.h"

namespace Quellmar::diag {

// What the report shows about the engine, with the values it keeps when the
// engine does not answer.
struct EngineFacts {
  bool answered = false;
  std::string version = "not loaded";
  int32_t native_rate = 8000;
  int32_t native_bits = 8;
  int32_t format_code = 7;
  int32_t channels_allowed = 0;
  int32_t output_rate = 16000;
  std::array<int32_t, 4> pauses = {650, 500, 350, 7};
};

// The parts of the report and of the log that differ between the builds.
struct BuildTraits {
  int bits;                       // the number the tool prints: 64 or 32
  const wchar_t* tool_is_suffix;  // after "this tool is %d-bit"
  const wchar_t* not_answered;    // after "the engine did not answer -- "
  bool shows_pauses;              // the "pause lengths" line
};

inline constexpr BuildTraits kWorkerBuild = {
    64, L", so it reaches the 32-bit engine through QuellmarServer.exe",
    L"QuellmarServer.exe could not be started or reached", false};
inline constexpr BuildTraits kInProcessBuild = {32, L", so it loads qmcore.dll in process",
                                                L"qmcore.dll could not be loaded", true};

class EngineRoad {
 public:
  virtual ~EngineRoad() = default;
  virtual const BuildTraits& Traits() const = 0;
  // Asks the engine once; the defaults above when it does not answer.
  virtual EngineFacts Facts() = 0;
  // One blocking render of 8-bit engine text: `samples` (16-bit, 16000 Hz)
  // grows by what arrives. False when the render failed.
  virtual bool Render(const std::string& engine_text, const RenderParams& params,
                      std::vector<int16_t>& samples) = 0;
};

// The road this build is made with.
std::unique_ptr<EngineRoad> MakeEngineRoad();

// The render that would never end: a worker that keeps streaming is cut off
// here, far beyond what any real render makes (4 hours at 16 kHz).
inline constexpr size_t kMaxSamplesPerRender = size_t{1} << 28;

}  // namespace Quellmar::diag
