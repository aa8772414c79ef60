// The configuration utility's own cost, under Wine with a running worker:
//   config_bench start --exe PATH [--runs N]
//       from starting QuellmarConfig.exe to its dialog showing the About text
//       (found by polling its window every millisecond), per run;
//   config_bench preview --worker PATH [--runs N]
//       Speak it's path for the default sentence (information request, text
//       preparation, synthesis into the sample buffer, WAV image, PlaySound
//       called) next to the worker's own time for the same synthesis request;
//   config_bench longest --worker PATH [--runs N]
//       the longest sentence (511 characters) at the slowest settings: how long
//       the engine stays silent before the first piece, the longest gap between
//       pieces (what the preview's silence bound must allow) and the whole.
// Prints medians and the spread in milliseconds.
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "config/engine_link.h"
#include "config/messages.h"
#include "worker_client/worker_client.h"

namespace {

using Quellmar::WorkerClient;
namespace config = Quellmar::config;

double Now() {
  static LARGE_INTEGER frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return f;
  }();
  LARGE_INTEGER t;
  QueryPerformanceCounter(&t);
  return 1000.0 * static_cast<double>(t.QuadPart) / static_cast<double>(frequency.QuadPart);
}

void Report(const char* what, std::vector<double> ms) {
  if (ms.empty()) return;
  std::sort(ms.begin(), ms.end());
  std::printf("%-44s median %8.2f ms   min %8.2f   max %8.2f   (%zu runs)\n", what,
              ms[ms.size() / 2], ms.front(), ms.back(), ms.size());
}

std::wstring Option(int argc, wchar_t** argv, const wchar_t* name, const wchar_t* fallback) {
  for (int i = 2; i + 1 < argc; ++i) {
    if (std::wstring(argv[i]) == name) return argv[i + 1];
  }
  return fallback;
}

bool AboutShown(HWND dialog) {
  HWND about = GetDlgItem(dialog, 1041);
  return about && SendMessageW(about, WM_GETTEXTLENGTH, 0, 0) > 0 && IsWindowVisible(dialog);
}

int Start(const std::wstring& exe, int runs) {
  std::vector<double> shown;
  for (int run = 0; run < runs; ++run) {
    STARTUPINFOW si{};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi{};
    std::wstring command = L"\"" + exe + L"\"";
    const double t0 = Now();
    if (!CreateProcessW(exe.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &si, &pi)) {
      std::printf("cannot start %ls (error %lu)\n", exe.c_str(), GetLastError());
      return 1;
    }
    HWND dialog = nullptr;
    while (Now() - t0 < 30000) {
      dialog = FindWindowW(L"#32770", config::kCaption);
      if (dialog && AboutShown(dialog)) break;
      dialog = nullptr;
      Sleep(1);
    }
    if (!dialog) {
      std::puts("the dialog did not show its About text within 30 s");
      TerminateProcess(pi.hProcess, 1);
      return 1;
    }
    shown.push_back(Now() - t0);
    PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
    WaitForSingleObject(pi.hProcess, 10000);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
  }
  Report("start to dialog with About text", shown);
  return 0;
}

bool Count(const unsigned char*, uint32_t count, void* context) {
  *static_cast<size_t*>(context) += count;
  return true;
}

config::PreviewResult SpeakIt(const std::shared_ptr<WorkerClient>& client,
                              const config::PreviewRequest& request) {
  config::Patience patience([] { return false; }, std::chrono::seconds(60));
  return config::SynthesizePreview(client, request, patience);
}

int Preview(const std::wstring& worker, int runs) {
  const auto shared = std::make_shared<WorkerClient>(worker);
  WorkerClient& client = *shared;
  config::DialogValues values;  // the shipped settings' positions
  values.rate = 34;
  values.pitch = 39;
  values.volume = 50;
  values.sentence_pause = 22;
  values.semicolon_pause = 17;
  values.comma_pause = 12;
  values.word_gap = 7;
  values.extra_rate = 50;
  values.extra_volume = 50;
  const std::wstring sentence = config::kFoxSentence;
  const config::PreviewRequest request =
      config::MakePreviewRequest(values, config::SettingsBasis{}, sentence);
  const std::string& text = request.engine_text;
  const Quellmar::RenderParams& p = request.params;
  // Warm: the worker is running and connected before anything is timed.
  Quellmar::WorkerInfo info{};
  if (!client.RequestInfo(info)) {
    std::puts("the worker did not answer");
    return 1;
  }
  // One preview before timing: the first PlaySound loads the platform's sound stack.
  config::ThePreviewSound().Play(SpeakIt(shared, request).samples);
  std::vector<double> worker_ms, preview_ms, added_ms, info_ms, play_ms;
  size_t audio_bytes = 0;
  for (int run = 0; run < runs; ++run) {
    size_t bytes = 0;
    double t0 = Now();
    client.RequestSynthesis(text.data(), static_cast<uint32_t>(text.size()), p.duration_factor,
                            p.pitch_factor, p.gain_factor, p.tags, &p.pauses, Count, &bytes);
    const double worker = Now() - t0;
    audio_bytes = bytes;

    t0 = Now();
    const config::PreviewResult result = SpeakIt(shared, request);
    const double t1 = Now();
    config::ThePreviewSound().Play(result.samples);  // returns once playback has been started
    const double t2 = Now();
    if (result.outcome != config::PreviewOutcome::kSamples) {
      std::puts("the preview found nothing to say");
      return 1;
    }
    // The parts only the dialog adds, on their own.
    const double ti = Now();
    client.RequestInfo(info);
    info_ms.push_back(Now() - ti);
    worker_ms.push_back(worker);
    preview_ms.push_back(t2 - t0);
    play_ms.push_back(t2 - t1);
    added_ms.push_back(t2 - t0 - worker);
  }
  config::ThePreviewSound().Stop();
  std::printf("default sentence: %zu bytes of audio (%.2f s)\n", audio_bytes,
              audio_bytes / 32000.0);
  Report("worker's own time for the request", worker_ms);
  Report("Speak it to playback started", preview_ms);
  Report("added by the dialog (paired difference)", added_ms);
  Report("  of which: the information request", info_ms);
  Report("  of which: WAV image and PlaySound call", play_ms);
  return 0;
}

struct Gaps {
  double start = 0;
  double last = 0;
  double first = -1;
  double widest = 0;
};

bool TimePiece(const unsigned char*, uint32_t, void* context) {
  auto* g = static_cast<Gaps*>(context);
  const double now = Now();
  if (g->first < 0) g->first = now - g->start;
  g->widest = std::max(g->widest, now - g->last);
  g->last = now;
  return true;
}

int Longest(const std::wstring& worker, int runs) {
  const auto client = std::make_shared<WorkerClient>(worker);
  config::DialogValues slowest;  // every slider at 0: 85 words a minute, a quarter of that
  std::wstring sentence;
  while (sentence.size() < static_cast<size_t>(config::kSentenceChars)) {
    sentence += L"The quick brown fox jumps over the lazy dog. ";
  }
  sentence.resize(config::kSentenceChars);
  const config::PreviewRequest request =
      config::MakePreviewRequest(slowest, config::SettingsBasis{}, sentence);
  const Quellmar::RenderParams& p = request.params;
  Quellmar::WorkerInfo info{};
  if (!client->RequestInfo(info)) {
    std::puts("the worker did not answer");
    return 1;
  }
  std::vector<double> first_ms, gap_ms, whole_ms;
  for (int run = 0; run < runs; ++run) {
    Gaps g;
    g.start = g.last = Now();
    client->RequestSynthesis(request.engine_text.data(),
                             static_cast<uint32_t>(request.engine_text.size()), p.duration_factor,
                             p.pitch_factor, p.gain_factor, p.tags, &p.pauses, TimePiece, &g);
    whole_ms.push_back(Now() - g.start);
    first_ms.push_back(g.first);
    gap_ms.push_back(g.widest);
  }
  std::printf("511 characters, duration factor %.0f\n", p.duration_factor);
  Report("silence before the first piece", first_ms);
  Report("longest silence between pieces (or before)", gap_ms);
  Report("the whole preview", whole_ms);
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) {
    std::puts(
        "usage: config_bench start --exe PATH [--runs N] | preview|longest --worker PATH [--runs "
        "N]");
    return 2;
  }
  const std::wstring mode = argv[1];
  const int runs = std::max(1, _wtoi(Option(argc, argv, L"--runs", L"20").c_str()));
  if (mode == L"start") return Start(Option(argc, argv, L"--exe", L""), runs);
  if (mode == L"preview") return Preview(Option(argc, argv, L"--worker", L""), runs);
  if (mode == L"longest") return Longest(Option(argc, argv, L"--worker", L""), runs);
  return 2;
}
