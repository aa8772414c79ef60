#include "worker/server.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <unordered_map>

#include "common/log.h"
#include "common/win_handles.h"
#include "engine_host/engine_driver.h"
#include "engine_host/install_root.h"
#include "engine_host/render.h"
#include "worker/engine_queue.h"
#include "worker/limits.h"
#include "worker/pipe_connection.h"
#include "worker/pipe_security.h"
#include "worker/segment_streamer.h"

namespace Quellmar::worker {
namespace {

constexpr DWORD kPipeBufferBytes = 65536;
// Threads of the pool that completes pipe I/O: its callbacks never wait for
// a client, so a few serve any number of connections.
constexpr DWORD kIoThreads = 4;
// How often a refusal for the connection cap is logged, at most.
constexpr uint32_t kRefusalLogMs = 60000;

unique_file CreateInstance() {
  return unique_file(
      CreateNamedPipeW(protocol::kPipeName, PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
                       PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT, PIPE_UNLIMITED_INSTANCES,
                       kPipeBufferBytes, kPipeBufferBytes, 0, PipeSecurity()));
}

// A private thread pool with a bounded number of threads; the process's
// default pool when one cannot be made.
class Pool {
 public:
  Pool(DWORD min_threads, DWORD max_threads) {
    InitializeThreadpoolEnvironment(&environment_);
    pool_ = CreateThreadpool(nullptr);
    if (!pool_) return;
    SetThreadpoolThreadMaximum(pool_, max_threads);
    SetThreadpoolThreadMinimum(pool_, min_threads);
    SetThreadpoolCallbackPool(&environment_, pool_);
  }
  // The pools live as long as the process (which ends from inside).
  Pool(const Pool&) = delete;
  Pool& operator=(const Pool&) = delete;

  PTP_CALLBACK_ENVIRON environment() { return &environment_; }

  // Runs `work` on the pool; false when it cannot be queued.
  bool Post(std::function<void()> work) noexcept {
    try {
      auto task = std::make_unique<std::function<void()>>(std::move(work));
      if (!TrySubmitThreadpoolCallback(Run, task.get(), &environment_)) return false;
      task.release();  // owned by Run
      return true;
    } catch (...) {
      return false;
    }
  }

 private:
  static void CALLBACK Run(PTP_CALLBACK_INSTANCE instance, void* context) {
    std::unique_ptr<std::function<void()>> task(static_cast<std::function<void()>*>(context));
    CallbackMayRunLong(instance);
    try {
      (*task)();
    } catch (...) {
    }
  }

  TP_CALLBACK_ENVIRON environment_;
  PTP_POOL pool_ = nullptr;
};

// Threads of the pool that runs the engine: its work, rendering included,
// runs one task at a time; a second thread takes the next task while the
// one before returns.
constexpr DWORD kSynthesisThreads = 2;

// The worker: its connections, the engine and the limits on both.
class Worker : public ConnectionHost {
 public:
  Worker()
      : io_pool_(1, kIoThreads),
        synthesis_pool_(1, kSynthesisThreads),
        engine_queue_(
            [this](std::function<void()> run) { return synthesis_pool_.Post(std::move(run)); }),
        budget_(kClientMemoryCap) {
    shutdown_event_.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    Touch();
  }

  EngineDriver& engine() { return engine_; }
  HANDLE shutdown_event() const { return shutdown_event_.get(); }
  long active_clients() const { return active_.load(); }
  uint32_t last_activity() const { return last_activity_.load(); }

  // Serves `first` and further instances; false when the clock cannot be set.
  bool Start(unique_file first) {
    const EngineDriver& e = engine_;
    info_ = protocol::MakeWorkerInfo(e.SampleRate(), e.BitsPerSample(), e.FormatCode(),
                                     e.ChannelsAllowed(), e.Version());
    timer_ = CreateThreadpoolTimer(OnTimer, this, io_pool_.environment());
    if (!timer_) return false;
    FILETIME due;
    ULARGE_INTEGER ticks;
    ticks.QuadPart = static_cast<ULONGLONG>(-static_cast<LONGLONG>(kTickMs) * 10000);
    due.dwLowDateTime = ticks.LowPart;
    due.dwHighDateTime = ticks.HighPart;
    SetThreadpoolTimer(timer_, &due, kTickMs, kTickMs / 10);
    AddListener(std::move(first));
    EnsureListeners();
    return true;
  }

  // ConnectionHost.
  MemoryBudget& budget() override { return budget_; }
  const protocol::WorkerInfo& info() override { return info_; }
  const SessionLimits& limits() override { return limits_; }

  bool Accept(PipeConnection&) override {
    --listening_;
    // Others still listen; the next one is made beside this client's first
    // exchange rather than before it.
    if (!io_pool_.Post([this] { EnsureListeners(); })) EnsureListeners();
    long active = active_.load();
    do {
      if (active >= kMaxConnections) {
        Refused(active);
        return false;
      }
    } while (!active_.compare_exchange_weak(active, active + 1));
    Log("worker: client connected (%ld active)", active + 1);
    return true;
  }

  void ListenFailed(PipeConnection&) override {
    --listening_;
    // Replaced on the next tick, not at once: an instance that cannot listen
    // must not make the worker spin.
  }

  void ClientGone(PipeConnection&, Ending why) override {
    Touch();
    --active_;
    switch (why) {
      case Ending::kSlowMessage:
        Log("worker: a client's message did not arrive whole within %lu ms; connection ended",
            static_cast<unsigned long>(limits_.message_ms));
        break;
      case Ending::kStalled:
        Log("worker: a client read nothing for %lu s; its stream is cancelled and the connection "
            "ended",
            static_cast<unsigned long>(limits_.stall_ms / 1000));
        break;
      case Ending::kEvicted:
        Log("worker: a client read nothing for %lu s while the memory held for clients ran short; "
            "its stream is cancelled and the connection ended",
            static_cast<unsigned long>(kEvictAfterMs / 1000));
        break;
      case Ending::kOutOfMemory:
        Log("worker: a client's request did not fit the %lu MiB held for clients; connection ended",
            static_cast<unsigned long>(budget_.cap() >> 20));
        break;
      case Ending::kShutdown:
        Log("worker: shutdown requested by a client");
        SetEvent(shutdown_event_.get());
        break;
      default:  // the client left, or announced too much: nothing to say
        break;
    }
  }

  void Closed(PipeConnection& c) override {
    std::shared_ptr<PipeConnection> last;  // released outside the lock
    std::lock_guard<std::mutex> hold(registry_lock_);
    auto it = connections_.find(&c);
    if (it == connections_.end()) return;
    last = std::move(it->second);
    connections_.erase(it);
  }

  void Synthesize(std::shared_ptr<PipeConnection> c, SynthesisJob job) override {
    engine_queue_.Push([this, c = std::move(c), job = std::move(job)]() mutable {
      RunEngine(std::move(c), std::move(job));
    });
  }

  void Touch() override { last_activity_.store(GetTickCount()); }

 private:
  // Where one synthesis's audio goes: its connection, with room made in the
  // budget first.
  class ConnectionTarget : public AudioTarget {
   public:
    ConnectionTarget(Worker& worker, std::shared_ptr<PipeConnection> c, uint64_t job)
        : worker_(worker), c_(std::move(c)), job_(job) {}
    bool AudioWanted() override { return c_->AudioWanted(job_); }
    Delivery Deliver(std::vector<int16_t> samples, AudioMark mark) override {
      const size_t bytes = samples.size() * sizeof(int16_t);
      worker_.MakeRoom(bytes);
      const Delivery d = c_->Deliver(job_, std::move(samples), mark);
      if (d == Delivery::kRefused) {
        Log("worker: no room for %lu more bytes of audio within the %lu MiB held for clients; "
            "the request is refused",
            static_cast<unsigned long>(bytes), static_cast<unsigned long>(kClientMemoryCap >> 20));
      }
      return d;
    }

   private:
    Worker& worker_;
    std::shared_ptr<PipeConnection> c_;
    uint64_t job_;
  };

  // On the engine's turn: the request's pauses (they persist for later
  // requests, so they are set even for a request cancelled meanwhile), then
  // the synthesis, each segment rendered and sent as it comes. A Cancel
  // stops the engine at its next segment.
  void RunEngine(std::shared_ptr<PipeConnection> c, SynthesisJob job) {
    for (int i = 0; i < 4; ++i) {
      if (job.params.pauses[i] >= 0) engine_.SetPause(i + 1, job.params.pauses[i]);
    }
    ConnectionTarget target(*this, c, job.id);
    std::unique_ptr<SegmentStreamer> stream;
    if (c->AudioWanted(job.id)) {
      stream = SegmentStreamer::Create(job.params, target);
      if (!stream) Log("worker: out of memory starting a synthesis");
    }
    if (!stream) {
      c->Deliver(job.id, {}, AudioMark::kLast);
      return;
    }
    const bool ok = engine_.Synthesize(job.text.c_str(), job.params.tags,
                                       SegmentStreamer::OnSegment, stream.get());
    // Partial output of a failed synthesis is still spoken.
    stream->Finish();
    if (!ok && stream->engine_bytes() == 0) {
      Log("worker: synthesis produced nothing (status %d)", engine_.LastStatus());
    }
    if (stream->too_long()) {
      Log("worker: a request's audio reached the limit of %lu samples and stops there",
          static_cast<unsigned long>(kMaxRenderSamples));
    }
    if (stream->failed()) {
      Log("worker: out of memory rendering %lu bytes of engine output; the audio stops there",
          static_cast<unsigned long>(stream->engine_bytes()));
    }
  }

  // Cancels streams that have gone unread for kEvictAfterMs or more, the
  // longest unread first, until `bytes` more fit the budget.
  void MakeRoom(size_t bytes) {
    if (budget_.held() + bytes <= budget_.cap()) return;
    std::vector<std::pair<uint32_t, std::shared_ptr<PipeConnection>>> unread;
    const uint32_t now = GetTickCount();
    try {
      for (std::shared_ptr<PipeConnection>& c : Snapshot()) {
        uint32_t ms = c->UnreadFor(now);
        if (ms >= kEvictAfterMs) unread.emplace_back(ms, std::move(c));
      }
    } catch (const std::bad_alloc&) {
    }
    std::sort(unread.begin(), unread.end(), [](auto& a, auto& b) { return a.first > b.first; });
    for (auto& [ms, c] : unread) {
      if (budget_.held() + bytes <= budget_.cap()) break;
      c->Evict();
    }
  }

  // Every connection, listening or not. Throws std::bad_alloc.
  std::vector<std::shared_ptr<PipeConnection>> Snapshot() {
    std::vector<std::shared_ptr<PipeConnection>> all;
    std::lock_guard<std::mutex> hold(registry_lock_);
    all.reserve(connections_.size());
    for (auto& [key, c] : connections_) all.push_back(c);
    return all;
  }

  // False when the instance could not be made to listen.
  bool AddListener(unique_file instance) {
    std::shared_ptr<PipeConnection> c =
        PipeConnection::Create(*this, std::move(instance), io_pool_.environment());
    if (!c) return false;
    try {
      std::lock_guard<std::mutex> hold(registry_lock_);
      connections_.emplace(c.get(), c);
    } catch (...) {
      return false;
    }
    ++listening_;
    return c->Listen();
  }

  // Keeps kListeners instances listening. A call while another runs (a
  // Listen that finds its client at once, or another thread) leaves the
  // work to that one, which looks again before it stops.
  void EnsureListeners() {
    while (listening_.load() < kListeners && !ensuring_.exchange(true)) {
      bool failed = false;
      while (!failed && listening_.load() < kListeners) {
        unique_file instance = CreateInstance();
        if (!instance) {
          if (!create_failed_) {
            Log("worker: could not create the next pipe instance (%lu)", GetLastError());
          }
          create_failed_ = failed = true;
        } else {
          create_failed_ = false;
          failed = !AddListener(std::move(instance));  // retried on the next tick
        }
      }
      ensuring_ = false;
      if (failed) break;
    }
  }

  void Refused(long active) {
    ++refused_;
    const uint32_t now = GetTickCount();
    uint32_t last = last_refusal_log_.load();
    if (refusal_logged_.exchange(true) && TicksSince(now, last) < kRefusalLogMs) return;
    if (!last_refusal_log_.compare_exchange_strong(last, now)) return;  // another thread logs
    Log("worker: %ld clients connected, the most it serves; %ld refused since the last such line",
        active, refused_.exchange(0));
  }

  static void CALLBACK OnTimer(PTP_CALLBACK_INSTANCE, void* context, PTP_TIMER) {
    auto* w = static_cast<Worker*>(context);
    std::vector<std::shared_ptr<PipeConnection>> all;
    try {
      all = w->Snapshot();
    } catch (...) {
      return;
    }
    for (auto& c : all) c->Tick();
    w->EnsureListeners();
  }

  Pool io_pool_;
  Pool synthesis_pool_;
  EngineDriver& engine_ = EngineDriver::Instance();
  EngineQueue engine_queue_;
  MemoryBudget budget_;
  SessionLimits limits_;
  protocol::WorkerInfo info_;
  unique_kernel_handle shutdown_event_;
  PTP_TIMER timer_ = nullptr;
  std::atomic<long> active_{0};
  std::atomic<uint32_t> last_activity_{0};
  std::mutex registry_lock_;
  std::unordered_map<PipeConnection*, std::shared_ptr<PipeConnection>> connections_;
  std::atomic<int> listening_{0};
  std::atomic<bool> ensuring_{false};
  bool create_failed_ = false;
  std::atomic<long> refused_{0};
  std::atomic<bool> refusal_logged_{false};
  std::atomic<uint32_t> last_refusal_log_{0};
};

// Ends the process: connections and syntheses still running end with it.
[[noreturn]] void Exit(unique_kernel_handle& server_mutex, int code) {
  Log("worker: exiting");
  ReleaseMutex(server_mutex.get());
  server_mutex.reset();
  ExitProcess(static_cast<UINT>(code));
}

}  // namespace

int RunServer() {
  unique_kernel_handle server_mutex(CreateMutexW(nullptr, TRUE, protocol::kServerMutexName));
  if (!server_mutex || GetLastError() == ERROR_ALREADY_EXISTS) return 0;

  static Worker worker;  // lives as long as the pool callbacks may
  std::wstring engine_path = EngineCorePath();
  if (!worker.engine().Load(engine_path)) {
    Log("worker: could not load %ls -- exiting", engine_path.c_str());
    return 1;
  }
  EngineDriver& e = worker.engine();
  Log("worker: ready, qmcore %s, engine %d Hz %d-bit format %d", e.Version().c_str(),
      e.SampleRate(), e.BitsPerSample(), e.FormatCode());

  unique_file first = CreateInstance();
  if (!first) {
    Log("worker: CreateNamedPipe failed (%lu)", GetLastError());
    return 1;
  }
  if (!worker.Start(std::move(first))) {
    Log("worker: could not start its clock (%lu) -- exiting", GetLastError());
    return 1;
  }

  // The pool serves the clients; this thread applies the idle rule.
  while (WaitForSingleObject(worker.shutdown_event(), kAcceptWakeMs) == WAIT_TIMEOUT) {
    uint32_t now = GetTickCount();
    uint32_t last = worker.last_activity();
    if (IdleExpired(worker.active_clients(), now, last)) {
      Log("worker: idle for %ld ms with no clients, exiting",
          static_cast<long>(TicksSince(now, last)));
      break;
    }
  }
  Exit(server_mutex, 0);
}

}  // namespace Quellmar::worker
