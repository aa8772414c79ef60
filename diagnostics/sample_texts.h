// The fixed texts and render parameters of the listening samples and the
// latency measurement.
#pragma once

#include <string>
#include <vector>

#include "engine_host/render_params.h"

namespace Quellmar::diag {

inline constexpr wchar_t kPangram[] =
    L"The quick brown fox jumps over the lazy dog, and then it does so once again.";
inline constexpr wchar_t kPausesText[] =
    L"First sentence. Second sentence, with a clause. Third sentence.";
// Sample 12: four sentences of running prose, 402 characters.
inline constexpr wchar_t kLongParagraph[] =
    L"The old lighthouse keeper climbed the spiral stairs every evening, carrying a lamp, a "
    L"notebook and a flask of tea against the cold. From the gallery at the top he could see the "
    L"whole bay, the fishing boats coming home, and the lights of the village along the shore. He "
    L"wrote down the wind, the height of the waves and the name of every boat that passed. Nobody "
    L"read the notebooks, but he filled thirty.";
// The paragraph's first sentence and a shorter second one, 209 characters.
inline constexpr wchar_t kLatencyLongText[] =
    L"The old lighthouse keeper climbed the spiral stairs every evening, carrying a lamp, a "
    L"notebook and a flask of tea against the cold. From the gallery at the top he could see the "
    L"bay and the boats drifting home.";
inline constexpr wchar_t kLatencyShortText[] = L"Menu bar, File, submenu.";
inline constexpr wchar_t kSayDefaultText[] = L"Quellmar is working.";

// Factors 1.0, pauses 650, 500, 350 and 7, tags off.
RenderParams DefaultRenderParams();

// Engine-scale values as render parameters, each clamped to its range first.
double DurationFactorForSpeed(int speed);  // 85..350 words a minute
double PitchFactorForPitch(int pitch);     // 45..91
double GainFactorForVolume(int volume);    // 0..65535

// The latency measurement's third render: 300 words a minute, pitch 80, gain 1.3.
RenderParams LatencyAppliedParams();

struct EngineSample {
  std::wstring file_name;
  std::wstring text;
  RenderParams params;
};

// The 38 engine samples in the order they are rendered.
std::vector<EngineSample> EngineSamplePlan();

}  // namespace Quellmar::diag
