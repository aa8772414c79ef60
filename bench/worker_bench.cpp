// The worker seen from a client, under Wine:
//   worker_bench speak --worker X86\QuellmarServer.exe --text TEXT --out F.wav
//       speaks through the worker (started when needed) into a 16 kHz WAV file
//   worker_bench stop --worker X86\QuellmarServer.exe
//       asks a running worker to exit
//   worker_bench bench --worker ... --engine ...\qmcore.dll [--runs N]
//       request-to-first-piece and request-to-End through the pipe for a
//       short utterance, two sentences and a chunk of 400 characters (also
//       one that opens with the short utterance's sentence), next
//       to the same synthesis and rendering in process, whole and streaming
//       (first samples and end); first requests with and
//       without a running worker; the worker's private memory idle and busy;
//       a good client beside 200 that never read; connections opened and
//       closed at once next to as many Hello exchanges
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "common/wav.h"
#include "engine_host/engine_driver.h"
#include "engine_host/render.h"
#include "engine_host/render_stream.h"
#include "testing/pipe_client.h"
#include "testing/worker_probe.h"
#include "worker/protocol.h"
#include "worker_client/worker_client.h"

namespace {
using namespace Quellmar;
using Clock = std::chrono::steady_clock;
using testing::PrivateMiB;
using testing::RawPipeClient;

constexpr char kShort[] = "Menu bar, File, submenu.";
constexpr char kLong[] =
    "The quick brown fox jumps over the lazy dog while the farmer watches from the gate. "
    "Later that evening the rain came down over the hills and the valley went quiet.";
// Exactly 400 characters: a whole chunk, as the SAPI engine sends the worker.
constexpr char kChunk400[] =
    "Screen readers hand a voice whole paragraphs when they read a document from top to bottom, "
    "and they stop it again at every key the user presses. The voice has to start at once and stop "
    "at once, whatever the length of the text it was given. This paragraph is one such piece of "
    "text, written so that the first chunk the engine is sent holds exactly four hundred "
    "characters "
    "and ends with this last line.";
static_assert(sizeof kChunk400 - 1 == 400);
// As long, opening with the short utterance: the engine's first segment is
// its first sentence, so this one's first piece should be the short one's.
constexpr char kChunk400ShortFirst[] =
    "Menu bar, File, submenu. Screen readers hand a voice whole paragraphs when they read a "
    "document from top to bottom, and they stop it again at every key the user presses. The "
    "voice has to start at once and stop at once, whatever the length of the text it was given. "
    "This paragraph is one such piece of text, written so that the chunk the engine is sent "
    "holds four hundred characters, and it ends here.";
static_assert(sizeof kChunk400ShortFirst - 1 == 400);

std::wstring Arg(int argc, wchar_t** argv, const wchar_t* name) {
  for (int i = 1; i + 1 < argc; ++i) {
    if (wcscmp(argv[i], name) == 0) return argv[i + 1];
  }
  return {};
}

std::string Narrow(const std::wstring& w) {
  std::string s;
  for (wchar_t c : w) s.push_back(c < 256 ? static_cast<char>(c) : '?');
  return s;
}

bool WriteWav(const std::wstring& path, const std::vector<uint8_t>& pcm) {
  FILE* f = _wfopen(path.c_str(), L"wb");
  if (!f) return false;
  std::vector<uint8_t> header = PcmWavHeader(16000, static_cast<uint32_t>(pcm.size()));
  std::fwrite(header.data(), 1, header.size(), f);
  std::fwrite(pcm.data(), 1, pcm.size(), f);
  return std::fclose(f) == 0;
}

struct Timing {
  double first_ms = -1;
  double end_ms = -1;
  size_t bytes = 0;
  Clock::time_point start;
};

bool OnPiece(const unsigned char*, uint32_t count, void* context) {
  auto* t = static_cast<Timing*>(context);
  if (t->first_ms < 0) {
    t->first_ms = std::chrono::duration<double, std::milli>(Clock::now() - t->start).count();
  }
  t->bytes += count;
  return true;
}

Timing Request(WorkerClient& client, const char* text) {
  Timing t;
  t.start = Clock::now();
  bool ok = client.RequestSynthesis(text, static_cast<uint32_t>(std::strlen(text)), 1, 1, 1, false,
                                    nullptr, OnPiece, &t);
  t.end_ms = std::chrono::duration<double, std::milli>(Clock::now() - t.start).count();
  if (!ok) t.end_ms = -1;
  return t;
}

// One text through the pipe and in process.
struct Utterance {
  Utterance(const char* w, const char* t) : what(w), text(t) {}
  const char* what;
  const char* text;
  size_t bytes = 0;
  std::vector<double> first, end, whole, stream_first, stream_end;
};

double MsSince(Clock::time_point t0) {
  return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
}

// What the worker did before it streamed: the whole synthesis, then Render.
double InProcessWhole(EngineDriver& driver, const char* text) {
  const auto t0 = Clock::now();
  std::vector<unsigned char> raw;
  driver.SynthesizeToBuffer(text, false, raw);
  Samples out = Render(DecodeMuLaw(raw.data(), raw.size()), RenderParams{});
  (void)out;
  return MsSince(t0);
}

// What the worker does now, without the pipe: each segment rendered as the
// engine makes it. first_ms: the first rendered samples.
Timing InProcessStreaming(EngineDriver& driver, const char* text) {
  Timing t;
  t.start = Clock::now();
  auto stream = std::make_unique<RenderStream>(RenderParams{});
  const RenderStream::Sink sink = [&t](const int16_t*, size_t n) {
    if (t.first_ms < 0) t.first_ms = MsSince(t.start);
    t.bytes += n * 2;
    return true;
  };
  struct Feed {
    RenderStream& stream;
    const RenderStream::Sink& sink;
  } feed{*stream, sink};
  driver.Synthesize(
      text, false,
      [](const unsigned char* bytes, uint32_t count, void* context) {
        auto* f = static_cast<Feed*>(context);
        return f->stream.FeedMuLaw(bytes, count, f->sink);
      },
      &feed);
  stream->Finish(sink);
  t.end_ms = MsSince(t.start);
  return t;
}

double Median(std::vector<double> v) {
  if (v.empty()) return -1;
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

struct Crowd {
  int stuck = 0;
  std::vector<double> first, end;
  unsigned threads = 0;
  double mib = 0;
};

// Two hundred programs that ask for speech and never read it (a hung host,
// an output paused for good), and a well-behaved client beside them.
Crowd BesideStuckClients(WorkerClient& client, DWORD pid, int runs) {
  constexpr int kStuck = 200;
  Crowd crowd;
  const std::vector<uint8_t> request = protocol::BuildMessage(
      protocol::kSynthesizeRequest, protocol::BuildSynthesizeRequestPayload(kLong, RenderParams{}));
  std::vector<RawPipeClient> stuck(kStuck);
  for (RawPipeClient& c : stuck) {
    if (c.Connect(protocol::kPipeName, 5000) && c.Send(request)) ++crowd.stuck;
  }
  // Until each has been served as far as its pipe takes.
  for (DWORD start = GetTickCount(); GetTickCount() - start < 60000; Sleep(50)) {
    if (std::all_of(stuck.begin(), stuck.end(),
                    [](const RawPipeClient& c) { return !c.connected() || c.Waiting() > 0; })) {
      break;
    }
  }
  for (int i = 0; i < runs; ++i) {
    Timing t = Request(client, kShort);
    crowd.first.push_back(t.first_ms);
    crowd.end.push_back(t.end_ms);
  }
  crowd.threads = testing::ThreadCount(pid);
  crowd.mib = PrivateMiB(pid);
  return crowd;
}

constexpr int kCycles = 1000;
struct Cycles {
  double close_ms = 0, hello_ms = 0;
  int busy = 0, failed = 0;
};

// Programs that connect and close at once, next to as many that say Hello.
Cycles ConnectAndClose() {
  Cycles r;
  auto t0 = Clock::now();
  for (int i = 0; i < kCycles; ++i) {
    RawPipeClient c;
    bool busy = false;
    r.failed += !c.Connect(protocol::kPipeName, 10000, &busy);
    r.busy += busy;
  }
  r.close_ms = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
  t0 = Clock::now();
  for (int i = 0; i < kCycles; ++i) {
    RawPipeClient c;
    if (!c.Connect(protocol::kPipeName, 10000) ||
        !c.Send(protocol::BuildMessage(protocol::kHello)) || !c.Read(10000)) {
      ++r.failed;
    }
  }
  r.hello_ms = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
  return r;
}

int Speak(const std::wstring& worker, const std::wstring& text, const std::wstring& out) {
  WorkerClient client(worker);
  std::string narrow = Narrow(text);
  std::vector<uint8_t> pcm;
  auto collect = [](const unsigned char* b, uint32_t n, void* ctx) {
    auto* v = static_cast<std::vector<uint8_t>*>(ctx);
    v->insert(v->end(), b, b + n);
    return true;
  };
  if (!client.RequestSynthesis(narrow.data(), static_cast<uint32_t>(narrow.size()), 1, 1, 1, false,
                               nullptr, collect, &pcm) ||
      pcm.empty() || !WriteWav(out, pcm)) {
    std::fprintf(stderr, "worker_bench: speaking through the worker failed\n");
    return 1;
  }
  std::printf("%ls: %.2f s of speech through the worker\n", out.c_str(), pcm.size() / 32000.0);
  return 0;
}

int Bench(const std::wstring& worker, const std::wstring& engine, int runs) {
  // No worker running: the first request includes the launch.
  WorkerClient(worker).RequestShutdown();
  Timing cold;
  {
    WorkerClient client(worker);
    cold = Request(client, kShort);
  }
  // A worker running, a fresh client: connect and handshake included.
  std::vector<double> fresh;
  for (int i = 0; i < runs; ++i) {
    WorkerClient client(worker);
    fresh.push_back(Request(client, kShort).end_ms);
  }
  // Kept connection, and the same work in process: whole (synthesis, then
  // rendering) and streaming (each segment rendered as it comes).
  WorkerClient client(worker);
  Request(client, kShort);
  EngineDriver driver;
  if (!driver.Load(engine)) {
    std::fprintf(stderr, "worker_bench: cannot load %ls\n", engine.c_str());
    return 1;
  }
  Utterance utterances[] = {Utterance("short utterance", kShort), Utterance("two sentences", kLong),
                            Utterance("400 characters", kChunk400),
                            Utterance("400, short first", kChunk400ShortFirst)};
  for (int i = 0; i < runs; ++i) {
    for (Utterance& u : utterances) {
      const Timing t = Request(client, u.text);
      u.bytes = t.bytes;
      u.first.push_back(t.first_ms);
      u.end.push_back(t.end_ms);
    }
  }
  for (int i = 0; i < runs; ++i) {
    for (Utterance& u : utterances) {
      u.whole.push_back(InProcessWhole(driver, u.text));
      const Timing t = InProcessStreaming(driver, u.text);
      u.stream_first.push_back(t.first_ms);
      u.stream_end.push_back(t.end_ms);
    }
  }

  DWORD pid = testing::FindProcess(L"QuellmarServer.exe");
  double idle = PrivateMiB(pid);
  std::atomic<bool> stop{false};
  std::vector<std::thread> busy;
  for (int t = 0; t < 8; ++t) {
    busy.emplace_back([&] {
      WorkerClient c(worker);
      while (!stop) Request(c, kLong);
    });
  }
  double peak = idle;
  for (int i = 0; i < 30; ++i) {
    Sleep(100);
    peak = std::max(peak, PrivateMiB(pid));
  }
  stop = true;
  for (auto& t : busy) t.join();

  // A hundred programs connected and idle, as many screen readers and tools
  // keep their connection between utterances. The threads that served them
  // retire once idle (the system pool lets about half of its spare threads
  // go every few seconds), so measure once the figure has settled.
  constexpr int kIdleClients = 100;
  std::vector<std::unique_ptr<WorkerClient>> idle_clients;
  for (int i = 0; i < kIdleClients; ++i) {
    idle_clients.push_back(std::make_unique<WorkerClient>(worker));
    WorkerInfo info;
    idle_clients.back()->RequestInfo(info);
  }
  const double connected = PrivateMiB(pid);
  double hundred = connected;
  int settled_s = 0;
  for (int unchanged = 0; settled_s < 60 && unchanged < 3; settled_s += 3) {
    Sleep(3000);
    const double now = PrivateMiB(pid);
    unchanged = now == hundred ? unchanged + 1 : 0;
    hundred = now;
  }
  idle_clients.clear();
  Sleep(8000);
  const double after_idle = PrivateMiB(pid);

  const Crowd crowd = BesideStuckClients(client, pid, runs);
  const Cycles cycles = ConnectAndClose();

  std::printf("worker bench (median of %d runs, ms)\n", runs);
  std::printf("  first request, no worker running (launch included): first piece %.1f, End %.1f\n",
              cold.first_ms, cold.end_ms);
  std::printf("  first request of a new client, worker running:      End %.1f\n", Median(fresh));
  std::printf(
      "  kept connection: first piece and End through the pipe; in process, whole "
      "(End) and streaming (first samples, End)\n");
  for (const Utterance& u : utterances) {
    std::printf(
        "  %-16s (%5.2f s): first piece %6.2f, End %6.2f; in process whole %6.2f, "
        "streaming %6.2f / %6.2f\n",
        u.what, u.bytes / 32000.0, Median(u.first), Median(u.end), Median(u.whole),
        Median(u.stream_first), Median(u.stream_end));
  }
  std::printf("  worker private memory: idle %.1f MiB, eight busy clients (peak) %.1f MiB\n", idle,
              peak);
  std::printf(
      "  worker private memory with %d idle clients: %.1f MiB just connected, %.1f MiB "
      "settled after %d s: %.0f KiB per idle client; %.1f MiB once they closed\n",
      kIdleClients, connected, hundred, settled_s, (hundred - idle) * 1024.0 / kIdleClients,
      after_idle);
  std::printf(
      "  beside %d clients that never read: first piece %.2f, End %.2f (short utterance, "
      "kept connection; %d runs); worker threads %u, private memory %.1f MiB\n",
      crowd.stuck, Median(crowd.first), Median(crowd.end), static_cast<int>(crowd.first.size()),
      crowd.threads, crowd.mib);
  std::printf(
      "  %d connections opened and closed at once: %.0f ms (%d found every instance taken, "
      "%d failed); %d Hello exchanges on new connections: %.0f ms\n",
      kCycles, cycles.close_ms, cycles.busy, cycles.failed, kCycles, cycles.hello_ms);
  WorkerClient(worker).RequestShutdown();
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: worker_bench speak|bench --worker PATH [...]\n");
    return 2;
  }
  std::wstring mode = argv[1];
  std::wstring worker = Arg(argc, argv, L"--worker");
  if (mode == L"speak") return Speak(worker, Arg(argc, argv, L"--text"), Arg(argc, argv, L"--out"));
  if (mode == L"stop") {
    WorkerClient(worker).RequestShutdown();
    return 0;
  }
  if (mode == L"bench") {
    std::wstring runs = Arg(argc, argv, L"--runs");
    return Bench(worker, Arg(argc, argv, L"--engine"), runs.empty() ? 30 : _wtoi(runs.c_str()));
  }
  return 2;
}
