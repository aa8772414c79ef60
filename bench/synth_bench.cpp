// Synthesis speed of the stand-in engine core. The counter "realtime" is
// seconds of speech made per second of work: it must stay above 200.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "engine_core/engine.h"

namespace {
using namespace Quellmar::engine_core;

constexpr const char* kParagraph =
    "The weather today will be mostly sunny, with a high of seventy two degrees. "
    "Later this evening, clouds will move in from the west; there is a chance of rain "
    "after midnight. Tomorrow morning should be cool and clear. Please remember to take "
    "an umbrella if you are going out late tonight, and drive carefully on the wet roads. "
    "On March 3rd, 2024, Dr. Smith paid $1,250.75 for 12 books at 10:30 a.m.";

void Speak(benchmark::State& state, const std::string& text, bool tags) {
  Pauses pauses;
  size_t samples = 0;
  for (auto _ : state) {
    std::vector<uint8_t> audio = SynthesizeAll(text, pauses, tags);
    samples += audio.size();
    benchmark::DoNotOptimize(audio.data());
  }
  state.counters["realtime"] =
      benchmark::Counter(samples / 8000.0, benchmark::Counter::kIsRate);
  state.SetBytesProcessed(static_cast<int64_t>(samples));
}

void BM_Paragraph(benchmark::State& state) { Speak(state, kParagraph, false); }
BENCHMARK(BM_Paragraph)->Unit(benchmark::kMillisecond);

void BM_ParagraphTagsObeyed(benchmark::State& state) {
  Speak(state, std::string(kParagraph) + " \\spd=250\\ tagged", true);
}
BENCHMARK(BM_ParagraphTagsObeyed)->Unit(benchmark::kMillisecond);

// Text front end alone, on a long text: what the first segment waits for.
void BM_FrontEnd64k(benchmark::State& state) {
  std::string text;
  while (text.size() < 65536) text += kParagraph;
  for (auto _ : state) benchmark::DoNotOptimize(Normalize(text, false).size());
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(text.size()));
}
BENCHMARK(BM_FrontEnd64k)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
