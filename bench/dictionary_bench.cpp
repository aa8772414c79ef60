// The user dictionary's costs. BM_Compile: Convert and Write in memory for
// 1,000 to 100,000 entries, with the fitted complexity. BM_Speak: the
// stand-in core's synthesis of a paragraph with a 10,000-entry dictionary
// switched on (/1) against off (/0); the lookup may cost at most 10%.
// BM_CacheCheck: what every synthesis pays to see whether the compiled
// dictionary changed: a set with its index (/1: one small read), or one
// compiled before there was an index (/0: the two files' times).
// BM_Commit: putting a 10,000-entry set in place, every file flushed to the
// disk before the switch.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "dictionary/compiled_set.h"
#include "dictionary_editor/compiler.h"
#include "engine_core/engine.h"
#include "engine_core/user_dictionary.h"

namespace {
namespace dict = Quellmar::dictionary;
namespace core = Quellmar::engine_core;

constexpr const char* kParagraph =
    "The weather today will be mostly sunny, with a high of seventy two degrees. "
    "Later this evening, clouds will move in from the west; there is a chance of rain "
    "after midnight. Tomorrow morning should be cool and clear. Please remember to take "
    "an umbrella if you are going out late tonight, and drive carefully on the wet roads.";

// n made-up words of 4 to 12 letters with transcriptions, as a user's list.
std::string SourceList(size_t n) {
  std::mt19937 rng(static_cast<uint32_t>(n));
  const char* phonetics[] = {"ka/t",   "bana/na", "pensil",  "a~me/rika",
                             "zi~bru", "o'/l",    "ju~ni/ks"};
  const char* codes[] = {"00", "10", "02C", "02", "20"};
  std::string src;
  for (size_t k = 0; k < n; ++k) {
    std::string w;
    size_t len = 4 + rng() % 9;
    for (size_t j = 0; j < len; ++j) w += static_cast<char>('a' + rng() % 26);
    src += w + " " + phonetics[rng() % 7] + " " + codes[rng() % 5] + "\r\n";
  }
  return src;
}

void BM_Compile(benchmark::State& state) {
  const std::string src = SourceList(static_cast<size_t>(state.range(0)));
  for (auto _ : state) {
    dict::ConvertedList converted = dict::ConvertSource(src);
    dict::CompiledFiles files;
    std::vector<dict::LeftOutEntry> left_out;
    dict::BuildDictionary(converted.sorted, files, left_out);
    benchmark::DoNotOptimize(files.data.data());
  }
  state.SetComplexityN(state.range(0));
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK(BM_Compile)
    ->Arg(1000)
    ->Arg(10000)
    ->Arg(100000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oNLogN);

dict::CompiledFiles TenThousandFiles() {
  dict::CompiledFiles files;
  std::vector<dict::LeftOutEntry> left_out;
  dict::BuildDictionary(dict::ConvertSource(SourceList(10000)).sorted, files, left_out);
  return files;
}

std::shared_ptr<const core::UserDictionary> TenThousand() {
  static std::shared_ptr<const core::UserDictionary> d = [] {
    const dict::CompiledFiles files = TenThousandFiles();
    return std::make_shared<const core::UserDictionary>(files.data, files.hash_table);
  }();
  return d;
}

// An empty folder of the temporary folder's, removed with the object.
struct BenchFolder {
  explicit BenchFolder(const char* name) : path(std::filesystem::temp_directory_path() / name) {
    std::filesystem::remove_all(path);
    std::filesystem::create_directories(path);
  }
  ~BenchFolder() { std::filesystem::remove_all(path); }
  std::filesystem::path path;
};

void BM_Speak(benchmark::State& state) {
  std::shared_ptr<const core::WordLookup> user;
  if (state.range(0)) user = TenThousand();
  core::Pauses pauses;
  size_t samples = 0;
  for (auto _ : state) {
    std::vector<uint8_t> audio = core::SynthesizeAll(kParagraph, pauses, false, user);
    samples += audio.size();
    benchmark::DoNotOptimize(audio.data());
  }
  state.counters["realtime"] = benchmark::Counter(samples / 8000.0, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_Speak)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// The text front end alone, where the lookups happen.
void BM_FrontEnd(benchmark::State& state) {
  std::shared_ptr<const core::UserDictionary> user;
  if (state.range(0)) user = TenThousand();
  for (auto _ : state)
    benchmark::DoNotOptimize(core::Normalize(kParagraph, false, user.get()).size());
}
BENCHMARK(BM_FrontEnd)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

void BM_CacheCheck(benchmark::State& state) {
  BenchFolder folder("qm-dictionary-bench");
  const std::filesystem::path& dir = folder.path;
  const dict::CompiledFiles files = TenThousandFiles();
  if (state.range(0)) {
    dict::CommitCompiledSet(Quellmar::LocalFiles(), dir, files);
  } else {
    std::ofstream(dir / "lexmere.fle", std::ios::binary) << files.data;
    std::ofstream(dir / "userhash.tab", std::ios::binary) << files.hash_table;
  }
  core::UserDictionaryCache cache;
  if (!cache.Get(dir)) state.SkipWithError("no dictionary");
  for (auto _ : state) benchmark::DoNotOptimize(cache.Get(dir).get());
}
BENCHMARK(BM_CacheCheck)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

void BM_Commit(benchmark::State& state) {
  BenchFolder folder("qm-dictionary-bench-commit");
  const dict::CompiledFiles files = TenThousandFiles();
  for (auto _ : state) {
    if (!dict::CommitCompiledSet(Quellmar::LocalFiles(), folder.path, files).committed)
      state.SkipWithError("not committed");
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(files.data.size() + files.hash_table.size()));
}
BENCHMARK(BM_Commit)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
