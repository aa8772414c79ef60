// Renders straight through the engine (without SAPI): the listening samples,
// the WAV writer, the latency measurement and the say command.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "diagnostics/session.h"
#include "engine_host/render_params.h"

namespace Quellmar::diag {

// Writes a 16-bit mono WAV file into the output folder and prints its line:
// "  <name, 38 columns> <seconds> s", or "  !! could not write <path>".
bool WriteWav(Session& s, const std::wstring& file_name, const std::vector<int16_t>& samples,
              uint32_t sample_rate);

// Renders `text` through the engine and writes it; prints one line.
void RenderSample(Session& s, const std::wstring& file_name, const std::wstring& text,
                  const RenderParams& params);

// The 38 files of the engine sample plan.
void RunEngineSamples(Session& s);

// Times one warm-up-free render of a short and a long text.
void MeasureLatency(Session& s);

// Speaks `text` once through the engine and the sound card, by way of a
// temporary WAV file in the output folder that is deleted afterwards.
void Say(Session& s, const std::wstring& text);

}  // namespace Quellmar::diag
