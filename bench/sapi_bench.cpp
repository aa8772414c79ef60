// What the SAPI engine adds between a host and the worker, under Wine:
//   sapi_bench --worker X86\QuellmarServer.exe [--runs N]
// With a warm worker, for "Menu bar, File, submenu.":
//   - request to first audio piece through the WorkerClient alone,
//   - Speak to the first Write reaching the site through the engine,
// whose difference is the engine's own share; and, for a long text aborted
// after its first write, the time from the abort to Speak returning.
// Also the next utterance after each abort: Speak to its first Write. For a
// chunk of the full 400 characters (about 25 s of speech): the first piece
// and the End through the WorkerClient, the first Write and the return
// through the engine, and a host purge of a Speak running on another thread
// (as SAPI runs an asynchronous Speak) while the chunk is being synthesised
// to the engine's Speak returning (also only those before any of its audio
// reached the site).
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "common/render_settings.h"
#include "common/voice_settings.h"
#include "sapi/module.h"
#include "sapi/tts_engine.h"
#include "worker_client/worker_client.h"

namespace {
using namespace Quellmar;
using Clock = std::chrono::steady_clock;

constexpr wchar_t kShort[] = L"Menu bar, File, submenu.";
// Exactly 400 characters: one whole chunk for the worker.
constexpr wchar_t kChunk400[] =
    L"Screen readers hand a voice whole paragraphs when they read a document from top to "
    L"bottom, and they stop it again at every key the user presses. The voice has to start at "
    L"once and stop at once, whatever the length of the text it was given. This paragraph is "
    L"one such piece of text, written so that the first chunk the engine is sent holds "
    L"exactly four hundred characters and ends with this last line.";
static_assert(std::size(kChunk400) - 1 == 400);

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

// A site that takes everything, notes its first write, and can abort: after
// its first write, or when the host purges (from another thread).
class BenchSiteBase : public ISpTTSEngineSite {
 public:
  Clock::time_point first_write{};
  Clock::time_point abort_seen{};
  bool abort_after_first_write = false;
  std::atomic<bool> purged{false};
  uint64_t bytes = 0;

  STDMETHODIMP AddEvents(const SPEVENT*, ULONG) override { return S_OK; }
  STDMETHODIMP GetEventInterest(ULONGLONG* i) override {
    *i = SPFEI(SPEI_WORD_BOUNDARY) | SPFEI(SPEI_SENTENCE_BOUNDARY);
    return S_OK;
  }
  STDMETHODIMP_(DWORD) GetActions() override {
    if (purged) {
      if (abort_seen == Clock::time_point{}) abort_seen = Clock::now();
      return SPVES_ABORT;
    }
    if (abort_after_first_write && bytes > 0) {
      if (abort_seen == Clock::time_point{}) abort_seen = Clock::now();
      return SPVES_ABORT;
    }
    return 0;
  }
  STDMETHODIMP Write(const void*, ULONG size, ULONG* written) override {
    if (bytes == 0) first_write = Clock::now();
    bytes += size;
    if (written) *written = size;
    return S_OK;
  }
  STDMETHODIMP GetRate(long* r) override {
    *r = 0;
    return S_OK;
  }
  STDMETHODIMP GetVolume(USHORT* v) override {
    *v = 100;
    return S_OK;
  }
  STDMETHODIMP GetSkipInfo(SPVSKIPTYPE*, long*) override { return E_NOTIMPL; }
  STDMETHODIMP CompleteSkip(long) override { return S_OK; }

 protected:
  void* FindInterface(REFIID) { return nullptr; }
};
using BenchSite = com::IUnknownImpl<BenchSiteBase>;

struct Stats {
  double median, p90, min;
};
Stats Summarise(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return {v[v.size() / 2], v[v.size() * 9 / 10], v.front()};
}
void Print(const char* what, const std::vector<double>& v) {
  if (v.empty()) {
    printf("%-52s none\n", what);
    return;
  }
  const Stats s = Summarise(v);
  printf("%-52s median %8.3f ms   p90 %8.3f ms   min %8.3f ms\n", what, s.median, s.p90, s.min);
}

struct FirstPiece {
  Clock::time_point at{};
};
bool OnPiece(const unsigned char*, uint32_t, void* context) {
  auto* f = static_cast<FirstPiece*>(context);
  if (f->at == Clock::time_point{}) f->at = Clock::now();
  return true;
}

SPVTEXTFRAG SpeakFragment(const wchar_t* text) {
  SPVTEXTFRAG frag{};
  frag.State.eAction = SPVA_Speak;
  frag.State.Volume = 100;
  frag.pTextStart = text;
  frag.ulTextLen = static_cast<ULONG>(wcslen(text));
  return frag;
}

std::string EngineText(const wchar_t* text) {
  std::string s;
  for (const wchar_t* c = text; *c; ++c) s.push_back(static_cast<char>(*c));
  return s;
}

// One text through the WorkerClient alone (first piece, End) and through
// the engine (first site Write, Speak returning).
struct Latencies {
  std::vector<double> first_piece, end, first_write, speak_return;
};
void Measure(WorkerClient& client, ISpTTSEngine* engine, const RenderParams& params,
             const wchar_t* text, Latencies& into) {
  const std::string engine_text = EngineText(text);
  FirstPiece first;
  const auto t0 = Clock::now();
  client.RequestSynthesis(engine_text.data(), static_cast<uint32_t>(engine_text.size()),
                          params.duration_factor, params.pitch_factor, params.gain_factor,
                          params.tags, &params.pauses, OnPiece, &first);
  into.end.push_back(Ms(Clock::now() - t0));
  into.first_piece.push_back(Ms(first.at - t0));

  const SPVTEXTFRAG frag = SpeakFragment(text);
  auto site = BenchSite::Make();
  const auto t1 = Clock::now();
  engine->Speak(0, GUID_NULL, nullptr, &frag, site.get());
  into.speak_return.push_back(Ms(Clock::now() - t1));
  into.first_write.push_back(Ms(site->first_write - t1));
}

// A Speak on a thread of its own, purged by the host after `delay`.
struct PurgeResult {
  double purge_to_return_ms;
  double purge_to_seen_ms;  // until GetActions reported it
  bool before_audio;        // the purge came before the first Write
  bool late;                // Speak had returned before the purge: not counted
};
PurgeResult PurgeDuring(ISpTTSEngine* engine, const SPVTEXTFRAG& frag, Clock::duration delay) {
  auto site = BenchSite::Make();
  Clock::time_point returned{};
  std::thread speaking([&] {
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    engine->Speak(0, GUID_NULL, nullptr, &frag, site.get());
    returned = Clock::now();
    CoUninitialize();
  });
  std::this_thread::sleep_for(delay);
  const Clock::time_point purge = Clock::now();
  site->purged = true;
  speaking.join();
  const bool before = site->first_write == Clock::time_point{} || site->first_write > purge;
  const bool late = returned <= purge;
  return {Ms(returned - purge), Ms(site->abort_seen - purge), before, late};
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  std::wstring worker;
  int runs = 30;
  for (int i = 1; i + 1 < argc; ++i) {
    if (wcscmp(argv[i], L"--worker") == 0) worker = argv[i + 1];
    if (wcscmp(argv[i], L"--runs") == 0) runs = std::max(3, _wtoi(argv[i + 1]));
  }
  if (worker.empty()) {
    fprintf(stderr, "usage: sapi_bench --worker X86\\QuellmarServer.exe [--runs N]\n");
    return 2;
  }
  CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  if (!sapi::AttachModule(GetModuleHandleW(nullptr), std::make_unique<WorkerClient>(worker)))
    return 1;
  WorkerClient& client = *sapi::ProcessWorkerClient();

  const RenderParams params =
      ComputeRenderParams(CustomVoiceSettings{}, GlobalSettings{}, 0, 0, 100).params;
  const std::string engine_text = EngineText(kShort);
  FirstPiece warm;
  if (!client.RequestSynthesis(engine_text.data(), static_cast<uint32_t>(engine_text.size()),
                               params.duration_factor, params.pitch_factor, params.gain_factor,
                               params.tags, &params.pauses, OnPiece, &warm)) {
    fprintf(stderr, "the worker did not answer\n");
    return 1;
  }

  auto engine = com::IUnknownImpl<sapi::ISpTTSEngineImpl>::Make();
  std::wstring long_text;
  for (int i = 0; i < 8; ++i)
    long_text += L"The quick brown fox jumps over the lazy dog near the river bank. ";
  const SPVTEXTFRAG long_frag = SpeakFragment(long_text.c_str());

  Latencies short_text;
  std::vector<double> abort_to_return, next_first_write;
  const SPVTEXTFRAG short_frag = SpeakFragment(kShort);
  for (int r = 0; r < runs; ++r) {
    Measure(client, engine.get(), params, kShort, short_text);
    auto aborting = BenchSite::Make();
    aborting->abort_after_first_write = true;
    engine->Speak(0, GUID_NULL, nullptr, &long_frag, aborting.get());
    abort_to_return.push_back(Ms(Clock::now() - aborting->abort_seen));
    // The next utterance at once, as a screen reader speaks the key just pressed.
    auto next = BenchSite::Make();
    const auto t0 = Clock::now();
    engine->Speak(0, GUID_NULL, nullptr, &short_frag, next.get());
    next_first_write.push_back(Ms(next->first_write - t0));
  }

  Latencies chunk;
  for (int r = 0; r < runs; ++r) Measure(client, engine.get(), params, kChunk400, chunk);
  // Purges spread over the chunk's synthesis (its End through the client),
  // before its first audio reached the site or after.
  const SPVTEXTFRAG chunk_frag = SpeakFragment(kChunk400);
  const double synthesis_ms = Summarise(chunk.end).median;
  std::mt19937 rng(7);
  std::uniform_real_distribution<double> when(0.1 * synthesis_ms, 0.8 * synthesis_ms);
  std::vector<double> purge_to_return, purge_to_seen, purge_before_audio;
  int late = 0;
  for (int r = 0; r < runs; ++r) {
    const auto delay = std::chrono::duration_cast<Clock::duration>(
        std::chrono::duration<double, std::milli>(when(rng)));
    const PurgeResult p = PurgeDuring(engine.get(), chunk_frag, delay);
    if (p.late) {
      ++late;
      continue;
    }
    purge_to_return.push_back(p.purge_to_return_ms);
    if (p.purge_to_seen_ms >= 0) purge_to_seen.push_back(p.purge_to_seen_ms);
    if (p.before_audio) purge_before_audio.push_back(p.purge_to_return_ms);
  }

  printf("sapi_bench: %d runs, warm worker, \"%ls\"\n", runs, kShort);
  Print("WorkerClient request -> first audio piece", short_text.first_piece);
  Print("engine Speak -> first site Write", short_text.first_write);
  Print("engine Speak -> return (whole utterance)", short_text.speak_return);
  Print("abort seen by GetActions -> Speak returns", abort_to_return);
  Print("after that abort: next Speak -> first site Write", next_first_write);
  const double overhead =
      Summarise(short_text.first_write).median - Summarise(short_text.first_piece).median;
  printf("engine's own share of the first-audio latency (median difference): %.3f ms\n", overhead);
  printf("a chunk of 400 characters:\n");
  Print("WorkerClient request -> first audio piece", chunk.first_piece);
  Print("WorkerClient request -> End", chunk.end);
  Print("engine Speak -> first site Write", chunk.first_write);
  Print("engine Speak -> return (whole chunk)", chunk.speak_return);
  Print("host purge during synthesis -> Speak returns", purge_to_return);
  Print("  of which purge -> seen by GetActions", purge_to_seen);
  if (!purge_before_audio.empty()) {
    Print("  of those, before the first site Write", purge_before_audio);
  }
  printf(
      "purges during synthesis: %zu, %zu of them before the first audio (%d more came after "
      "Speak had returned)\n",
      purge_to_return.size(), purge_before_audio.size(), late);

  client.RequestShutdown();
  sapi::DetachModule();
  CoUninitialize();
  return 0;
}
