// dictionary_core_bench CORE_DLL [RUNS]: the engine core itself (qmcore.dll,
// under Wine) speaking a paragraph of a hundred words, start to finish
// through its entry points, as the worker drives it; each synthesis reads
// quellmar.ini and looks at the compiled dictionary anew. bench/run-dictionary
// runs it with CUSTOM off and on to show what the user dictionary costs.
// Prints the median and the fastest synthesis in milliseconds.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "engine_host/engine_core_api.h"

namespace api = Quellmar::engine_api;

namespace {
constexpr const char* kParagraph =
    "The weather today will be mostly sunny, with a high of seventy two degrees. "
    "Later this evening, clouds will move in from the west; there is a chance of rain "
    "after midnight. Tomorrow morning should be cool and clear. Please remember to take "
    "an umbrella if you are going out late tonight, and drive carefully on the wet roads.";

template <typename F>
bool Bind(HMODULE m, F& f, const char* name) {
  f = reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(m, name)));
  return f != nullptr;
}
}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: dictionary_core_bench CORE_DLL [RUNS]\n");
    return 2;
  }
  const int runs = argc > 2 ? std::max(1, _wtoi(argv[2])) : 30;
  HMODULE core = LoadLibraryW(argv[1]);
  api::initialize_SSB_fn init;
  api::set_tag_flag_fn tags;
  api::isSeg_Available_fn available;
  api::synth_to_buffer_fn synth;
  api::close_SSB_fn close;
  if (core == nullptr || !Bind(core, init, api::kInitializeSSB) ||
      !Bind(core, tags, api::kSetTagFlag) || !Bind(core, available, api::kIsSegAvailable) ||
      !Bind(core, synth, api::kSynthToBuffer) || !Bind(core, close, api::kCloseSSB)) {
    std::fprintf(stderr, "cannot load the engine core\n");
    return 1;
  }
  std::vector<unsigned char> block(api::kSynthesisBlockBytes), buffer(api::kSegmentBufferBytes);
  LARGE_INTEGER freq, t0, t1;
  QueryPerformanceFrequency(&freq);
  std::vector<double> ms;
  uint64_t bytes = 0;
  for (int r = 0; r < runs + 2; ++r) {
    std::fill(block.begin(), block.end(), 0);
    QueryPerformanceCounter(&t0);
    if (init(block.data(), kParagraph, 0) != 0) return 1;
    tags(block.data(), 0);
    uint32_t count = 0;
    uint64_t made = 0;
    while (available(block.data()) && synth(block.data(), buffer.data(), &count) == 0)
      made += count;
    close(block.data());
    QueryPerformanceCounter(&t1);
    if (r < 2) continue;  // the first runs warm the caches and read the dictionary
    bytes = made;
    ms.push_back(1000.0 * static_cast<double>(t1.QuadPart - t0.QuadPart) /
                 static_cast<double>(freq.QuadPart));
  }
  std::sort(ms.begin(), ms.end());
  std::printf("synthesis of %.2f s of speech: median %.2f ms, fastest %.2f ms (%d runs)\n",
              bytes / 8000.0, ms[ms.size() / 2], ms.front(), runs);
  return 0;
}
