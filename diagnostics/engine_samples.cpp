#include "diagnostics/engine_samples.h"

// windows.h first: mmsystem.h needs its types.
// clang-format off
#include <windows.h>
#include <mmsystem.h>
// clang-format on

#include <cstdio>

#include "common/durable_file.h"
#include "common/text_prep.h"
#include "common/wav.h"
#include "diagnostics/sample_texts.h"

namespace Quellmar::diag {
namespace {

constexpr wchar_t kSayFileName[] = L"quellmar_say.wav";

bool RenderText(Session& s, const std::wstring& text, const RenderParams& params,
                std::vector<int16_t>& samples) {
  samples.clear();
  return s.road.Render(ToEngineText(text), params, samples);
}

// The whole file, written beside the old one and put in its place only
// when all of it reached the disk: a sample that cannot be written leaves
// the previous one as it was.
bool WriteWavFile(const std::wstring& path, const std::vector<int16_t>& samples, uint32_t rate) {
  const std::vector<uint8_t> file = PcmWavFile(rate, samples);
  return ReplaceWholeFile(LocalFiles(), FilePath(path),
                          std::string_view(reinterpret_cast<const char*>(file.data()),
                                           file.size())) == FileError::kNone;
}

}  // namespace

bool WriteWav(Session& s, const std::wstring& file_name, const std::vector<int16_t>& samples,
              uint32_t sample_rate) {
  const std::wstring path = s.PathOf(file_name);
  // The RIFF sizes are 32-bit: a longer sound cannot be one WAV file.
  const bool fits = samples.size() <= (UINT32_MAX - 36) / sizeof(int16_t);
  if (!fits || !WriteWavFile(path, samples, sample_rate)) {
    s.out.Print(L"  !! could not write %ls\n", path.c_str());
    return false;
  }
  s.out.Print(L"  %-38ls %7.2f s\n", file_name.c_str(),
              sample_rate ? static_cast<double>(samples.size()) / sample_rate : 0.0);
  return true;
}

void RenderSample(Session& s, const std::wstring& file_name, const std::wstring& text,
                  const RenderParams& params) {
  std::vector<int16_t> samples;
  if (RenderText(s, text, params, samples) && !samples.empty()) {
    WriteWav(s, file_name, samples, 16000);
  } else {
    s.out.Print(L"  !! %ls produced no audio\n", file_name.c_str());
  }
}

void RunEngineSamples(Session& s) {
  s.out.Print(L"Engine samples in %ls\n", s.output_folder.c_str());
  for (const EngineSample& sample : EngineSamplePlan()) {
    RenderSample(s, sample.file_name, sample.text, sample.params);
  }
  s.out.Print(L"\n");
}

void MeasureLatency(Session& s) {
  LARGE_INTEGER frequency{};
  QueryPerformanceFrequency(&frequency);
  const double ticks_per_ms = frequency.QuadPart > 0 ? frequency.QuadPart / 1000.0 : 1.0;
  const RenderParams defaults = DefaultRenderParams();
  const std::string short_text = ToEngineText(kLatencyShortText);
  const std::string long_text = ToEngineText(kLatencyLongText);

  std::vector<int16_t> samples;
  // Not timed: starting the worker or loading the engine core is not what a
  // keystroke costs once the voice is in use.
  s.road.Render(short_text, defaults, samples);

  auto timed = [&](const std::string& text, const RenderParams& params) {
    samples.clear();
    LARGE_INTEGER start{}, end{};
    QueryPerformanceCounter(&start);
    s.road.Render(text, params, samples);
    QueryPerformanceCounter(&end);
    return static_cast<double>(end.QuadPart - start.QuadPart) / ticks_per_ms;
  };

  s.out.Print(L"Latency (a screen reader's keystroke is the short one)\n");
  for (int i = 0; i < 3; ++i) {
    const double ms = timed(short_text, defaults);
    s.out.Print(L"  short utterance  %6.2f ms  for %6.2f s of audio\n", ms,
                samples.size() / 16000.0);
  }
  double ms = timed(long_text, defaults);
  s.out.Print(L"  long  utterance  %6.2f ms  for %6.2f s of audio\n", ms, samples.size() / 16000.0);
  ms = timed(long_text, LatencyAppliedParams());
  s.out.Print(L"  long, with rate, pitch and volume applied  %6.2f ms\n\n", ms);
}

void Say(Session& s, const std::wstring& text) {
  std::vector<int16_t> samples;
  if (!RenderText(s, text, DefaultRenderParams(), samples) || samples.empty()) {
    s.out.Print(L"nothing to play\n");
    return;
  }
  const std::wstring path = s.PathOf(kSayFileName);
  if (WriteWav(s, kSayFileName, samples, 16000)) {
    // Flushed first: the line says what is playing while it plays.
    s.out.Flush();
    PlaySoundW(path.c_str(), nullptr, SND_FILENAME);
  }
  DeleteFileW(path.c_str());
}

}  // namespace Quellmar::diag
