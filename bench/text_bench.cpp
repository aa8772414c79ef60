// The text functions must stay linear in the text's length: host text can be
// a megabyte. Complexity(oN) reports the fitted curve and its RMS error.
//   build/<host>/bench/text_bench --benchmark_filter=.
#include <benchmark/benchmark.h>

#include <string>

#include "common/text_prep.h"

namespace {

// Prose with sentence and clause ends, long unbroken runs, typographic marks
// and characters the code page lacks, repeated to `n` units.
std::wstring Text(size_t n) {
  const std::wstring piece =
      L"The quick brown fox, it said; jumps over 3.5 lazy dogs. \u201CReally?\u201D "
      L"\u2014 yes! \u20AC12 \u4E2D\u6587 " +
      std::wstring(150, L'x') + L" \uFEFF\u00A0end:";
  std::wstring text;
  text.reserve(n + piece.size());
  while (text.size() < n) text += piece;
  text.resize(n);
  return text;
}

// One long word: every cut is a hard cut after the longest backward searches.
std::wstring Unbroken(size_t n) { return std::wstring(n, L'w'); }

void BM_SplitIntoChunks(benchmark::State& state) {
  const std::wstring text = Text(static_cast<size_t>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(Quellmar::SplitIntoChunks(text, 400));
  state.SetComplexityN(state.range(0));
  state.SetItemsProcessed(state.iterations() * state.range(0));
}

void BM_SplitIntoChunksUnbroken(benchmark::State& state) {
  const std::wstring text = Unbroken(static_cast<size_t>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(Quellmar::SplitIntoChunks(text, 400));
  state.SetComplexityN(state.range(0));
  state.SetItemsProcessed(state.iterations() * state.range(0));
}

void BM_ToEngineText(benchmark::State& state) {
  const std::wstring text = Text(static_cast<size_t>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(Quellmar::ToEngineText(text));
  state.SetComplexityN(state.range(0));
  state.SetItemsProcessed(state.iterations() * state.range(0));
}

constexpr int64_t kMin = 1 << 10, kMax = 1 << 20;

BENCHMARK(BM_SplitIntoChunks)->RangeMultiplier(4)->Range(kMin, kMax)->Complexity(benchmark::oN);
BENCHMARK(BM_SplitIntoChunksUnbroken)
    ->RangeMultiplier(4)
    ->Range(kMin, kMax)
    ->Complexity(benchmark::oN);
BENCHMARK(BM_ToEngineText)->RangeMultiplier(4)->Range(kMin, kMax)->Complexity(benchmark::oN);

}  // namespace

BENCHMARK_MAIN();
