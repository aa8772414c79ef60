// What the SAPI engine adds between a host and the worker, under Wine:
//   sapi_bench --worker X86\QuellmarServer.exe [--runs N]
// With a warm worker, for "Menu bar, File, submenu.":
//   - request to first audio piece through the WorkerClient alone,
//   - Speak to the first Write reaching the site through the engine,
// whose difference is the engine's own share; and, for a long text aborted
// after its first write, the time from the abort to Speak returning.
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
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

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

// A site that takes everything, notes its first write, and can abort.
class BenchSiteBase : public ISpTTSEngineSite {
 public:
  Clock::time_point first_write{};
  Clock::time_point abort_seen{};
  bool abort_after_first_write = false;
  uint64_t bytes = 0;

  STDMETHODIMP AddEvents(const SPEVENT*, ULONG) override { return S_OK; }
  STDMETHODIMP GetEventInterest(ULONGLONG* i) override {
    *i = SPFEI(SPEI_WORD_BOUNDARY) | SPFEI(SPEI_SENTENCE_BOUNDARY);
    return S_OK;
  }
  STDMETHODIMP_(DWORD) GetActions() override {
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
  const std::string engine_text = "Menu bar, File, submenu.";
  FirstPiece warm;
  if (!client.RequestSynthesis(engine_text.data(), static_cast<uint32_t>(engine_text.size()),
                               params.duration_factor, params.pitch_factor, params.gain_factor,
                               params.tags, &params.pauses, OnPiece, &warm)) {
    fprintf(stderr, "the worker did not answer\n");
    return 1;
  }

  auto engine = com::IUnknownImpl<sapi::ISpTTSEngineImpl>::Make();
  SPVTEXTFRAG frag{};
  frag.State.eAction = SPVA_Speak;
  frag.State.Volume = 100;
  frag.pTextStart = kShort;
  frag.ulTextLen = static_cast<ULONG>(wcslen(kShort));

  std::wstring long_text;
  for (int i = 0; i < 8; ++i)
    long_text += L"The quick brown fox jumps over the lazy dog near the river bank. ";
  SPVTEXTFRAG long_frag = frag;
  long_frag.pTextStart = long_text.c_str();
  long_frag.ulTextLen = static_cast<ULONG>(long_text.size());

  std::vector<double> direct, through_engine, abort_to_return, whole_short;
  for (int r = 0; r < runs; ++r) {
    FirstPiece first;
    const auto t0 = Clock::now();
    client.RequestSynthesis(engine_text.data(), static_cast<uint32_t>(engine_text.size()),
                            params.duration_factor, params.pitch_factor, params.gain_factor,
                            params.tags, &params.pauses, OnPiece, &first);
    direct.push_back(Ms(first.at - t0));

    auto site = BenchSite::Make();
    const auto t1 = Clock::now();
    engine->Speak(0, GUID_NULL, nullptr, &frag, site.get());
    const auto t2 = Clock::now();
    through_engine.push_back(Ms(site->first_write - t1));
    whole_short.push_back(Ms(t2 - t1));

    auto aborting = BenchSite::Make();
    aborting->abort_after_first_write = true;
    engine->Speak(0, GUID_NULL, nullptr, &long_frag, aborting.get());
    abort_to_return.push_back(Ms(Clock::now() - aborting->abort_seen));
  }

  printf("sapi_bench: %d runs, warm worker, \"%ls\"\n", runs, kShort);
  Print("WorkerClient request -> first audio piece", direct);
  Print("engine Speak -> first site Write", through_engine);
  Print("engine Speak -> return (whole utterance)", whole_short);
  Print("abort seen by GetActions -> Speak returns", abort_to_return);
  const double overhead = Summarise(through_engine).median - Summarise(direct).median;
  printf("engine's own share of the first-audio latency (median difference): %.3f ms\n", overhead);

  client.RequestShutdown();
  sapi::DetachModule();
  CoUninitialize();
  return 0;
}
