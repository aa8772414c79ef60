// sapi_host: a SAPI application for the end-to-end tests. It finds voices
// through the token category and speaks through SpVoice into WAV files,
// exactly as a screen reader would, and prints what it saw.
//
//   sapi_host list    [--required Q] [--optional Q] [--category ID]
//   sapi_host speak   [--voice-id ID | --voice-attrs Q] [--text T] [--xml] [--rate N] [--volume N]
//                     [--out WAV] [--action abort|skip|rate|volume --after-bytes N [--value V]]
//                     [--repeat N] [--wait-file FILE] [--events]
//   sapi_host analyze --in WAV
//   sapi_host leak    [--seconds S] [--threads N] [--voice-attrs Q]
//   sapi_host bench   [--iterations N] [--voice-attrs Q]
//   sapi_host workers                  (how many QuellmarServer.exe processes run)
// With --repeat and --wait-file, the utterances after the first are written
// to WAV files numbered .1, .2, ... and each waits for FILE to appear (and
// removes it), so a test can change settings while the host keeps running.
// Exit code 0 on success, 1 on a failure, 2 on a usage error.
#include <windows.h>
#include <psapi.h>
#include <tlhelp32.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "common/com_ptr.h"
#include "sapi/sapi_engine_interfaces.h"
#include "sapi/sapi_ids.h"
#include "testing/sapi_runtime/runtime_test_api.h"
#include "testing/win_process.h"
#include "tests/e2e/wav_analysis.h"
#include "worker_client/worker_client.h"

using Quellmar::com_ptr;

namespace {

constexpr CLSID kSpVoice = {0x96749377, 0x3391, 0x11d2, {0x9e, 0xe3, 0x00, 0xc0, 0x4f, 0x79, 0x73, 0x96}};
constexpr CLSID kSpObjectTokenCategory = {
    0xa910187f, 0x0c7a, 0x45ac, {0x92, 0xcc, 0x59, 0xed, 0xaf, 0xb7, 0x7b, 0x53}};
constexpr CLSID kSpStream = {0x715d9c59, 0x4442, 0x11d2, {0x96, 0x05, 0x00, 0xc0, 0x4f, 0x8e, 0xe6, 0x28}};
constexpr wchar_t kVoicesCategory[] = L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Speech\\Voices";
constexpr ULONGLONG kAllEvents = ~0ull;

using Args = std::map<std::wstring, std::wstring>;

std::string Narrow(const std::wstring& w) {
  std::string s;
  for (wchar_t c : w) s.push_back(c < 128 ? static_cast<char>(c) : '?');
  return s;
}

bool Has(const Args& a, const wchar_t* k) { return a.count(k) != 0; }
std::wstring Get(const Args& a, const wchar_t* k, const std::wstring& fallback = L"") {
  auto it = a.find(k);
  return it == a.end() ? fallback : it->second;
}
long long Num(const Args& a, const wchar_t* k, long long fallback) {
  auto it = a.find(k);
  return it == a.end() ? fallback : _wtoi64(it->second.c_str());
}

double Ms(const QmSpeakRecord& r, LONGLONG from, LONGLONG to) {
  return (from && to && r.qpc_frequency) ? 1000.0 * static_cast<double>(to - from) / r.qpc_frequency : -1;
}

std::wstring TokenAttribute(ISpObjectToken* token, const wchar_t* name) {
  com_ptr<ISpDataKey> attributes;
  if (FAILED(token->OpenKey(L"Attributes", attributes.put()))) return L"";
  wchar_t* text = nullptr;
  if (FAILED(attributes->GetStringValue(name, &text)) || !text) return L"";
  std::wstring v = text;
  CoTaskMemFree(text);
  return v;
}

HRESULT Enumerate(const std::wstring& category_id, const wchar_t* required, const wchar_t* optional,
                  com_ptr<IEnumSpObjectTokens>& out) {
  com_ptr<ISpObjectTokenCategory> category;
  HRESULT hr = CoCreateInstance(kSpObjectTokenCategory, nullptr, CLSCTX_ALL, __uuidof(ISpObjectTokenCategory),
                                category.put_void());
  if (SUCCEEDED(hr)) hr = category->SetId(category_id.c_str(), FALSE);
  if (SUCCEEDED(hr)) hr = category->EnumTokens(required, optional, out.put());
  return hr;
}

// The voice a command line names: a token id, or the first token meeting the attributes.
HRESULT FindVoice(const Args& a, com_ptr<ISpObjectToken>& token) {
  if (Has(a, L"--voice-id")) {
    com_ptr<IEnumSpObjectTokens> all;
    if (HRESULT hr = Enumerate(kVoicesCategory, nullptr, nullptr, all); FAILED(hr)) return hr;
    ISpObjectToken* t = nullptr;
    while (all->Next(1, &t, nullptr) == S_OK) {
      auto held = com_ptr<ISpObjectToken>::attach(t);
      wchar_t* id = nullptr;
      if (SUCCEEDED(held->GetId(&id))) {
        const bool same = _wcsicmp(id, Get(a, L"--voice-id").c_str()) == 0;
        CoTaskMemFree(id);
        if (same) {
          token = held;
          return S_OK;
        }
      }
    }
    return SPERR_NOT_FOUND;
  }
  com_ptr<IEnumSpObjectTokens> found;
  const std::wstring required = Get(a, L"--voice-attrs", L"Vendor=Quellmar / Zentrik");
  if (HRESULT hr = Enumerate(kVoicesCategory, required.c_str(), nullptr, found); FAILED(hr)) return hr;
  return found->Item(0, token.put());
}

int List(const Args& a) {
  com_ptr<IEnumSpObjectTokens> tokens;
  const std::wstring required = Get(a, L"--required"), optional = Get(a, L"--optional");
  HRESULT hr = Enumerate(Get(a, L"--category", kVoicesCategory), Has(a, L"--required") ? required.c_str() : nullptr,
                         Has(a, L"--optional") ? optional.c_str() : nullptr, tokens);
  if (FAILED(hr)) {
    printf("list failed: hr=0x%08lX\n", static_cast<unsigned long>(hr));
    return 1;
  }
  ULONG count = 0;
  tokens->GetCount(&count);
  printf("count %lu\n", count);
  ISpObjectToken* t = nullptr;
  while (tokens->Next(1, &t, nullptr) == S_OK) {
    auto token = com_ptr<ISpObjectToken>::attach(t);
    wchar_t* id = nullptr;
    token->GetId(&id);
    printf("token %s | %s | %s\n", Narrow(id ? id : L"").c_str(), Narrow(TokenAttribute(t, L"Name")).c_str(),
           Narrow(TokenAttribute(t, L"Quellmar")).c_str());
    CoTaskMemFree(id);
  }
  return 0;
}

HRESULT BindWav(const std::wstring& path, com_ptr<ISpStream>& stream) {
  HRESULT hr = CoCreateInstance(kSpStream, nullptr, CLSCTX_ALL, __uuidof(ISpStream), stream.put_void());
  WAVEFORMATEX f{};
  f.wFormatTag = WAVE_FORMAT_PCM;
  f.nChannels = 1;
  f.nSamplesPerSec = 16000;
  f.wBitsPerSample = 16;
  f.nBlockAlign = 2;
  f.nAvgBytesPerSec = 32000;
  if (SUCCEEDED(hr)) hr = stream->BindToFile(path.c_str(), SPFM_CREATE_ALWAYS, &kSPDFID_WaveFormatEx, &f, 0);
  return hr;
}

void PrintEvents(ISpVoice* voice) {
  SPEVENT e;
  ULONG fetched = 0;
  while (voice->GetEvents(1, &e, &fetched) == S_OK && fetched == 1) {
    printf("event id=%d type=%d offset=%llu wparam=%lld lparam=%lld", static_cast<int>(e.eEventId),
           static_cast<int>(e.elParamType), e.ullAudioStreamOffset, static_cast<long long>(e.wParam),
           static_cast<long long>(e.lParam));
    if (e.elParamType == SPET_LPARAM_IS_STRING && e.lParam) {
      printf(" text=\"%s\"", Narrow(reinterpret_cast<const wchar_t*>(e.lParam)).c_str());
      CoTaskMemFree(reinterpret_cast<void*>(e.lParam));
    }
    printf("\n");
  }
}

DWORD ActionCode(const std::wstring& name) {
  if (name == L"abort") return QM_ACTION_ABORT;
  if (name == L"skip") return QM_ACTION_SKIP;
  if (name == L"rate") return QM_ACTION_RATE;
  if (name == L"volume") return QM_ACTION_VOLUME;
  return 0;
}

int SpeakCommand(const Args& a) {
  com_ptr<ISpObjectToken> token;
  HRESULT hr = FindVoice(a, token);
  if (FAILED(hr)) {
    printf("no voice: hr=0x%08lX\n", static_cast<unsigned long>(hr));
    return 1;
  }
  com_ptr<ISpVoice> voice;
  hr = CoCreateInstance(kSpVoice, nullptr, CLSCTX_ALL, __uuidof(ISpVoice), voice.put_void());
  if (FAILED(hr)) {
    printf("SpVoice: hr=0x%08lX\n", static_cast<unsigned long>(hr));
    return 1;
  }
  voice->SetInterest(kAllEvents, kAllEvents);
  voice->SetVoice(token.get());
  if (Has(a, L"--rate")) voice->SetRate(static_cast<LONG>(Num(a, L"--rate", 0)));
  if (Has(a, L"--volume")) voice->SetVolume(static_cast<USHORT>(Num(a, L"--volume", 100)));
  com_ptr<IQmVoiceTest> test;
  voice->QueryInterface(__uuidof(IQmVoiceTest), test.put_void());
  if (Has(a, L"--action")) {
    const DWORD code = ActionCode(Get(a, L"--action"));
    if (!code || !test) return 2;
    test->ScheduleAction(static_cast<ULONGLONG>(Num(a, L"--after-bytes", 0)), code,
                         static_cast<LONG>(Num(a, L"--value", 0)));
  }
  const std::wstring text = Get(a, L"--text", L"Hello from Quellmar.");
  const DWORD flags = Has(a, L"--xml") ? SPF_IS_XML : SPF_IS_NOT_XML;
  const long long repeat = std::max(1LL, Num(a, L"--repeat", 1));
  int failures = 0;
  for (long long i = 0; i < repeat; ++i) {
    if (i > 0 && Has(a, L"--wait-file")) {
      const std::wstring go = Get(a, L"--wait-file");
      printf("waiting %lld\n", i);
      fflush(stdout);
      while (GetFileAttributesW(go.c_str()) == INVALID_FILE_ATTRIBUTES) Sleep(20);
      DeleteFileW(go.c_str());
    }
    com_ptr<ISpStream> stream;
    if (Has(a, L"--out")) {
      std::wstring path = Get(a, L"--out");
      if (i > 0) path += L"." + std::to_wstring(i);
      if (FAILED(hr = BindWav(path, stream))) {
        printf("BindToFile: hr=0x%08lX\n", static_cast<unsigned long>(hr));
        return 1;
      }
      voice->SetOutput(stream.get(), FALSE);
    } else {
      voice->SetOutput(nullptr, FALSE);
    }
    hr = voice->Speak(text.c_str(), flags, nullptr);
    if (stream) stream->Close();
    QmSpeakRecord r{};
    if (test) test->GetLastSpeak(&r);
    printf("speak hr=0x%08lX engine=0x%08lX bytes=%llu writes=%lu largest=%lu after_action=%lu skips=%lu "
           "skip_count=%ld fragments=%lu events=%lu action=%d first_write_ms=%.3f action_to_return_ms=%.3f\n",
           static_cast<unsigned long>(hr), static_cast<unsigned long>(r.engine_result), r.bytes, r.writes,
           r.largest_write, r.bytes_after_action, r.complete_skips, r.last_skip_count, r.fragments, r.events,
           r.action_raised ? 1 : 0, Ms(r, r.qpc_speak_call, r.qpc_first_write),
           Ms(r, r.qpc_action, r.qpc_engine_return));
    if (Has(a, L"--events")) PrintEvents(voice.get());
    if (FAILED(hr)) ++failures;
    fflush(stdout);
  }
  return failures ? 1 : 0;
}

int AnalyzeCommand(const Args& a) {
  std::ifstream in(std::filesystem::path(Get(a, L"--in")), std::ios::binary);
  std::stringstream bytes;
  bytes << in.rdbuf();
  std::vector<int16_t> samples;
  uint32_t rate = 0;
  if (!in || !Quellmar::e2e::ReadWav16Mono(bytes.str(), samples, rate)) {
    printf("not a 16-bit mono WAV file\n");
    return 1;
  }
  const auto s = Quellmar::e2e::Analyse(samples, rate);
  printf("rate %u samples %llu seconds %.4f active %.4f rms %.5f f0 %.2f voiced %u\n", s.sample_rate,
         static_cast<unsigned long long>(s.samples), s.seconds, s.active_seconds, s.rms, s.f0_hz, s.voiced_frames);
  return 0;
}

struct Usage {
  unsigned handles = 0;
  unsigned long long heap_bytes = 0;  // allocated (busy) bytes of every heap of the process
  unsigned long long pagefile = 0;
};
Usage Measure() {
  Usage u;
  u.handles = Quellmar::testing::CountOwnHandles();
  HANDLE heaps[64];
  const DWORD n = std::min<DWORD>(GetProcessHeaps(64, heaps), 64);
  for (DWORD i = 0; i < n; ++i) {
    if (!HeapLock(heaps[i])) continue;
    PROCESS_HEAP_ENTRY entry{};
    while (HeapWalk(heaps[i], &entry))
      if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) u.heap_bytes += entry.cbData;
    HeapUnlock(heaps[i]);
  }
  PROCESS_MEMORY_COUNTERS pmc{};
  pmc.cb = sizeof pmc;
  if (GetProcessMemoryInfo(GetCurrentProcess(), &pmc, sizeof pmc)) u.pagefile = pmc.PagefileUsage;
  return u;
}

// One round of what a host does with voices: enumerate (through the
// category and through the engine's own enumerator class), make a voice,
// speak, let go of everything.
bool LeakRound(unsigned round) {
  com_ptr<IEnumSpObjectTokens> tokens;
  if (FAILED(Enumerate(kVoicesCategory, L"Gender=Male;Language=409", L"Vendor=Quellmar / Zentrik", tokens)))
    return false;
  ULONG count = 0;
  if (FAILED(tokens->GetCount(&count)) || count == 0) return false;
  com_ptr<ISpObjectToken> token;
  if (FAILED(tokens->Item(round % count, token.put()))) return false;

  const CLSID enumerator_class = {Quellmar::sapi::kEnumeratorClassId.data1, Quellmar::sapi::kEnumeratorClassId.data2,
                                  Quellmar::sapi::kEnumeratorClassId.data3, {}};
  CLSID ec = enumerator_class;
  std::copy(std::begin(Quellmar::sapi::kEnumeratorClassId.data4), std::end(Quellmar::sapi::kEnumeratorClassId.data4),
            ec.Data4);
  com_ptr<IEnumSpObjectTokens> memory_tokens;
  if (FAILED(CoCreateInstance(ec, nullptr, CLSCTX_ALL, __uuidof(IEnumSpObjectTokens), memory_tokens.put_void())))
    return false;
  ISpObjectToken* batch[8] = {};
  ULONG fetched = 0;
  if (memory_tokens->Next(8, batch, &fetched) != S_OK || fetched != 8) return false;
  com_ptr<ISpObjectToken> memory_token = com_ptr<ISpObjectToken>::attach(batch[round % 8]);
  for (ULONG i = 0; i < fetched; ++i)
    if (i != round % 8) batch[i]->Release();

  com_ptr<ISpVoice> voice;
  if (FAILED(CoCreateInstance(kSpVoice, nullptr, CLSCTX_ALL, __uuidof(ISpVoice), voice.put_void()))) return false;
  voice->SetOutput(nullptr, FALSE);
  // Every other round speaks with the in-memory token, as a host that found
  // the voice through the enumerator would.
  if (FAILED(voice->SetVoice(round % 2 ? memory_token.get() : token.get()))) return false;
  return voice->Speak(L"Menu bar, File.", SPF_IS_NOT_XML, nullptr) == S_OK;
}

int LeakCommand(const Args& a) {
  const DWORD seconds = static_cast<DWORD>(Num(a, L"--seconds", 20));
  const int threads = static_cast<int>(Num(a, L"--threads", 3));
  std::atomic<unsigned> rounds{0}, failures{0};
  // Runs the threads for a while and stops them all, so every measurement is
  // taken with nothing of theirs alive.
  auto phase = [&](DWORD ms) {
    std::atomic<bool> stop{false};
    std::vector<std::thread> pool;
    for (int id = 0; id < threads; ++id) {
      pool.emplace_back([&, id] {
        CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        for (unsigned r = static_cast<unsigned>(id); !stop; r += static_cast<unsigned>(threads)) {
          if (!LeakRound(r)) ++failures;
          ++rounds;
        }
        CoUninitialize();
      });
    }
    Sleep(ms);
    stop = true;
    for (auto& t : pool) t.join();
  };
  // The first third warms up (worker started, heaps grown); after it nothing may grow.
  phase(seconds * 1000 / 3);
  const Usage warm = Measure();
  const unsigned warm_rounds = rounds;
  phase(seconds * 1000 - seconds * 1000 / 3);
  const Usage end = Measure();
  printf("rounds %u failures %u measured_rounds %u\n", rounds.load(), failures.load(), rounds.load() - warm_rounds);
  printf("handles warm %u end %u\n", warm.handles, end.handles);
  printf("heap warm %llu end %llu\n", warm.heap_bytes, end.heap_bytes);
  printf("pagefile warm %llu end %llu\n", warm.pagefile, end.pagefile);
  return failures ? 1 : 0;
}

struct Stats {
  std::vector<double> v;
  void Add(double x) {
    if (x >= 0) v.push_back(x);
  }
  void Print(const char* name) {
    if (v.empty()) {
      printf("%s: no samples\n", name);
      return;
    }
    std::sort(v.begin(), v.end());
    printf("%s: n=%zu min=%.3f median=%.3f p90=%.3f max=%.3f ms\n", name, v.size(), v.front(), v[v.size() / 2],
           v[v.size() * 9 / 10], v.back());
  }
};

struct FirstPiece {
  LARGE_INTEGER at{};
  bool seen = false;
};
bool OnPiece(const unsigned char*, uint32_t, void* context) {
  auto* f = static_cast<FirstPiece*>(context);
  if (!f->seen) {
    QueryPerformanceCounter(&f->at);
    f->seen = true;
  }
  return true;
}

int BenchCommand(const Args& a) {
  const int iterations = static_cast<int>(Num(a, L"--iterations", 20));
  const wchar_t* text = L"Menu bar, File, submenu.";
  com_ptr<ISpObjectToken> token;
  if (FAILED(FindVoice(a, token))) return 1;
  com_ptr<ISpVoice> voice;
  if (FAILED(CoCreateInstance(kSpVoice, nullptr, CLSCTX_ALL, __uuidof(ISpVoice), voice.put_void()))) return 1;
  com_ptr<IQmVoiceTest> test;
  if (FAILED(voice->QueryInterface(__uuidof(IQmVoiceTest), test.put_void()))) return 1;
  voice->SetVoice(token.get());
  voice->SetOutput(nullptr, FALSE);
  if (voice->Speak(text, SPF_IS_NOT_XML, nullptr) != S_OK) return 1;  // warm: worker running, engine made

  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  Stats first_write, direct_first_piece, abort_return, purge_return;
  // The same text straight through a WorkerClient of our own: the time the
  // worker needs for the first piece, which the engine cannot go below.
  Quellmar::WorkerClient client;
  const std::string narrow = "Menu bar, File, submenu.";
  for (int i = 0; i < iterations; ++i) {
    if (voice->Speak(text, SPF_IS_NOT_XML, nullptr) != S_OK) return 1;
    QmSpeakRecord r{};
    test->GetLastSpeak(&r);
    first_write.Add(Ms(r, r.qpc_speak_call, r.qpc_first_write));

    FirstPiece piece;
    LARGE_INTEGER start;
    QueryPerformanceCounter(&start);
    client.RequestSynthesis(narrow.c_str(), static_cast<uint32_t>(narrow.size()), 1.0, 1.0, 1.0, false, nullptr,
                            OnPiece, &piece);
    if (piece.seen) direct_first_piece.Add(1000.0 * static_cast<double>(piece.at.QuadPart - start.QuadPart) / frequency.QuadPart);
  }
  // Abort raised by the site after the first 4096-byte write, to the engine's return.
  const wchar_t* long_text =
      L"This sentence is long enough to be stopped while it is being spoken, and it goes on for a while "
      L"so that the abort lands in the middle of the audio rather than at its end.";
  for (int i = 0; i < iterations; ++i) {
    test->ScheduleAction(4096, QM_ACTION_ABORT, 0);
    if (voice->Speak(long_text, SPF_IS_NOT_XML, nullptr) != S_OK) return 1;
    QmSpeakRecord r{};
    test->GetLastSpeak(&r);
    abort_return.Add(Ms(r, r.qpc_action, r.qpc_engine_return));
  }
  test->ClearSchedule();
  // The host's own purge of an asynchronous Speak, as screen readers stop
  // speech: counted only when the voice was still speaking at the purge.
  std::wstring very_long;
  for (int k = 0; k < 12; ++k) very_long += long_text, very_long += L" ";
  int not_speaking = 0;
  for (int i = 0; i < iterations; ++i) {
    if (voice->Speak(very_long.c_str(), SPF_IS_NOT_XML | SPF_ASYNC, nullptr) != S_OK) return 1;
    Sleep(30);
    SPVOICESTATUS status{};
    voice->GetStatus(&status, nullptr);
    LARGE_INTEGER t0, t1;
    QueryPerformanceCounter(&t0);
    voice->Speak(nullptr, SPF_PURGEBEFORESPEAK, nullptr);
    QueryPerformanceCounter(&t1);
    if (status.dwRunningState == SPRS_IS_SPEAKING)
      purge_return.Add(1000.0 * static_cast<double>(t1.QuadPart - t0.QuadPart) / frequency.QuadPart);
    else
      ++not_speaking;
  }
  if (not_speaking) printf("purges after the end of speech (not counted): %d\n", not_speaking);
  first_write.Print("speak call to first site write");
  direct_first_piece.Print("worker client request to first piece (same text, direct)");
  abort_return.Print("site abort to engine Speak returning");
  purge_return.Print("host purge to Speak(NULL, PURGE) returning");
  return 0;
}

int WorkersCommand() {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return 1;
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  int count = 0;
  for (BOOL ok = Process32FirstW(snapshot, &entry); ok; ok = Process32NextW(snapshot, &entry))
    if (_wcsicmp(entry.szExeFile, L"QuellmarServer.exe") == 0) ++count;
  CloseHandle(snapshot);
  printf("workers %d\n", count);
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) return 2;
  const std::wstring command = argv[1];
  Args a;
  for (int i = 2; i < argc; ++i) {
    std::wstring k = argv[i];
    if (k.rfind(L"--", 0) != 0) return 2;
    const bool is_flag = k == L"--xml" || k == L"--events";
    if (is_flag || i + 1 >= argc) {
      a[k] = L"1";
    } else {
      a[k] = argv[++i];
    }
  }
  if (FAILED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))) return 1;
  int rc = 2;
  if (command == L"list") rc = List(a);
  else if (command == L"speak") rc = SpeakCommand(a);
  else if (command == L"analyze") rc = AnalyzeCommand(a);
  else if (command == L"leak") rc = LeakCommand(a);
  else if (command == L"bench") rc = BenchCommand(a);
  else if (command == L"workers") rc = WorkersCommand();
  CoUninitialize();
  fflush(stdout);
  return rc;
}
