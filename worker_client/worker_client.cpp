#include "worker_client/worker_client.h"

#include <mmsystem.h>

#include <algorithm>
#include <cstring>
#include <new>
#include <optional>

#include "common/log.h"
#include "engine_host/install_root.h"

// Windows 10 1803 and later; older mingw headers lack it.
#ifndef CREATE_WAITABLE_TIMER_HIGH_RESOLUTION
#define CREATE_WAITABLE_TIMER_HIGH_RESOLUTION 0x00000002
#endif

namespace Quellmar {
namespace {
using namespace protocol;

constexpr int kConnectAttempts = 5;
constexpr DWORD kNotFoundRetryMs = 300;
constexpr DWORD kBusyWaitMs = 1000;
constexpr DWORD kLaunchMutexWaitMs = 5000;
constexpr DWORD kPollMs = 100;
constexpr int kLaunchPolls = 20;    // 2 s for a new worker to appear
constexpr int kStalePolls = 30;     // 3 s for a stale one to go
constexpr int kShutdownPolls = 20;  // 2 s
constexpr size_t kPathChars = 260;

bool ServerMutexExists() {
  unique_kernel_handle m(OpenMutexW(SYNCHRONIZE, FALSE, kServerMutexName));
  return m.valid();
}

bool FileExists(const std::wstring& path) {
  return !path.empty() && GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::wstring WithBackslash(std::wstring folder) {
  if (!folder.empty() && folder.back() != L'\\') folder.push_back(L'\\');
  return folder;
}

// InstallLocation through one registry view: only a non-empty string.
std::wstring InstallLocation(REGSAM view) {
  unique_reg_key key;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kInstallKey, 0, KEY_READ | view, key.put()) !=
      ERROR_SUCCESS) {
    return {};
  }
  wchar_t value[kPathChars + 1] = {};
  DWORD type = 0;
  DWORD size = kPathChars * sizeof(wchar_t);  // leaves room for a terminator
  if (RegQueryValueExW(key.get(), kInstallLocationValue, nullptr, &type,
                       reinterpret_cast<BYTE*>(value), &size) != ERROR_SUCCESS ||
      (type != REG_SZ && type != REG_EXPAND_SZ)) {
    return {};
  }
  value[std::min<size_t>(size / sizeof(wchar_t), kPathChars)] = L'\0';
  return std::wstring(value);
}

}  // namespace

std::vector<std::wstring> WorkerCandidateFolders() {
  std::vector<std::wstring> candidates;
  for (REGSAM view : {KEY_WOW64_64KEY, KEY_WOW64_32KEY}) {
    std::wstring location = InstallLocation(view);
    if (!location.empty()) candidates.push_back(location);
  }
  std::wstring module = ModuleFolder();  // ends in a backslash
  if (!module.empty()) {
    candidates.push_back(module);
    std::wstring trimmed = module.substr(0, module.size() - 1);
    size_t slash = trimmed.find_last_of(L'\\');
    if (slash != std::wstring::npos) candidates.push_back(trimmed.substr(0, slash + 1));
  }
  return candidates;
}

std::wstring ChooseWorkerPath(const std::vector<std::wstring>& candidates) {
  for (const std::wstring& c : candidates) {
    std::wstring folder = WithBackslash(c);
    for (const wchar_t* name : {kWorkerInX86, kWorkerPlain}) {
      if (FileExists(folder + name)) return folder + name;
    }
  }
  if (candidates.empty()) return {};
  return WithBackslash(candidates.front()) + kWorkerInX86;
}

bool KeepWaitingUntil(void* limit) {
  auto* l = static_cast<WaitLimit*>(limit);
  if (static_cast<int32_t>(GetTickCount() - l->until) < 0) return true;
  l->reached = true;
  return false;
}

// A wait for less than the system timer's tick (15.6 ms, unless some
// program has raised the timer resolution) lasts a whole tick. For a
// caller that must be asked every millisecond or so (a host's abort seen
// at once) a high-resolution waitable timer (Windows 10 1803 on) ticks for
// as long as the wait lasts; where the system has none, the timer
// resolution is raised to 1 ms for that long, and no longer.
//
// The timer resolution's functions are looked up in winmm.dll only on such
// a system, so that the SAPI DLL every host loads imports nothing beyond
// the system's core DLLs.
class WorkerClient::FineTimer {
 public:
  // Below this a wait needs the fine timer to wake in time.
  static constexpr DWORD kSystemTickMs = 16;

  FineTimer() = default;
  FineTimer(const FineTimer&) = delete;
  FineTimer& operator=(const FineTimer&) = delete;
  ~FineTimer() { Stop(); }

  // From now on Wait wakes every `period_ms`, until Stop.
  void Start(DWORD period_ms) {
    if (!tried_) {
      tried_ = true;
      timer_.reset(CreateWaitableTimerExW(nullptr, nullptr, CREATE_WAITABLE_TIMER_HIGH_RESOLUTION,
                                          TIMER_MODIFY_STATE | SYNCHRONIZE));
    }
    LARGE_INTEGER due;
    due.QuadPart = -static_cast<LONGLONG>(period_ms) * 10000;  // relative, in 100 ns units
    ticking_ = timer_ && SetWaitableTimer(timer_.get(), &due, static_cast<LONG>(period_ms), nullptr,
                                          nullptr, FALSE);
    if (!ticking_ && !raised_) {
      const Resolution& r = Resolution::Get();
      raised_ = r.begin && r.end && r.begin(1) == TIMERR_NOERROR;
    }
  }
  // Waits up to `ms` for `object` (null: only lets the time pass), and at
  // most until the next tick: WAIT_OBJECT_0, WAIT_ABANDONED, WAIT_TIMEOUT
  // or WAIT_FAILED.
  DWORD Wait(HANDLE object, DWORD ms) {
    if (ticking_) {
      const HANDLE both[2] = {object, timer_.get()};
      // The tick ends the wait; the bound only guards against one that never comes.
      const DWORD w = WaitForMultipleObjects(object ? 2 : 1, object ? both : both + 1, FALSE,
                                             ms + kSystemTickMs);
      if (object && (w == WAIT_OBJECT_0 || w == WAIT_ABANDONED_0)) return w;
      return w == WAIT_FAILED ? WAIT_FAILED : WAIT_TIMEOUT;
    }
    if (!object) {
      ::Sleep(ms);
      return WAIT_TIMEOUT;
    }
    return WaitForSingleObject(object, ms);
  }
  // No more ticks; the timer resolution, if raised, goes back to what it was.
  void Stop() {
    if (ticking_) CancelWaitableTimer(timer_.get());
    ticking_ = false;
    if (raised_) Resolution::Get().end(1);
    raised_ = false;
  }

 private:
  // timeBeginPeriod and timeEndPeriod, from the system's winmm.dll, loaded
  // once and kept for the process's life; null where it cannot be loaded.
  struct Resolution {
    using Period = MMRESULT(WINAPI*)(UINT);
    Period begin = nullptr;
    Period end = nullptr;
    static const Resolution& Get() {
      static const Resolution r = [] {
        Resolution found;
        if (HMODULE winmm = LoadLibraryExW(L"winmm.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32)) {
          found.begin = reinterpret_cast<Period>(
              reinterpret_cast<void*>(GetProcAddress(winmm, "timeBeginPeriod")));
          found.end = reinterpret_cast<Period>(
              reinterpret_cast<void*>(GetProcAddress(winmm, "timeEndPeriod")));
        }
        return found;
      }();
      return r;
    }
  };

  unique_kernel_handle timer_;
  bool tried_ = false;
  bool ticking_ = false;
  bool raised_ = false;
};

// How long one request goes on waiting. Every wait of the request, for the
// worker or for its launch, goes through here: the caller is asked every
// kWaitPollMs (or as often as it asked), and once it has stopped waiting
// only a short grace is left.
class WorkerClient::Patience {
 public:
  enum class Wait { kSignalled, kTimedOut, kGaveUp, kFailed };

  Patience(WaitCallback keep_waiting, void* context, DWORD poll_ms = kWaitPollMs)
      : keep_waiting_(keep_waiting),
        context_(context),
        poll_ms_(std::max<DWORD>(poll_ms, 1)),
        fine_(keep_waiting && poll_ms_ < FineTimer::kSystemTickMs) {}

  bool asks_caller() const { return keep_waiting_ != nullptr; }
  bool gave_up() const { return gave_up_; }

  // The caller is no longer asked; waits end `grace_ms` from now.
  void GiveUp(DWORD grace_ms) {
    gave_up_ = true;
    deadline_ = GetTickCount() + grace_ms;
  }
  // Whether to go on: the caller's answer, or the grace not yet over.
  bool GoOn() {
    if (gave_up_) return static_cast<int32_t>(deadline_ - GetTickCount()) > 0;
    if (keep_waiting_ && !keep_waiting_(context_)) {
      GiveUp(0);
      return false;
    }
    return true;
  }

  // Waits at most `ms` for `object` (null: only lets the time pass).
  // kTimedOut when `ms` passed, kGaveUp when the caller stopped waiting
  // first. An abandoned mutex counts as signalled. A caller asked more
  // often than the system's tick is served by `timer` (by default the
  // request's own).
  Wait For(HANDLE object, DWORD ms, FineTimer* timer = nullptr) {
    FineTimer& fine = timer ? *timer : own_timer_;
    struct Ticks {
      FineTimer* t;
      ~Ticks() {
        if (t) t->Stop();
      }
    } ticks{fine_ ? &fine : nullptr};
    if (fine_) fine.Start(poll_ms_);
    const DWORD start = GetTickCount();
    for (;;) {
      const DWORD spent = GetTickCount() - start;
      if (spent >= ms) return Wait::kTimedOut;
      DWORD slice = ms - spent;
      if (gave_up_) {
        const int32_t left = static_cast<int32_t>(deadline_ - GetTickCount());
        if (left <= 0) return Wait::kGaveUp;
        slice = std::min<DWORD>(slice, static_cast<DWORD>(left));
      } else if (keep_waiting_) {
        slice = std::min(slice, poll_ms_);
      }
      const DWORD w = fine_    ? fine.Wait(object, slice)
                      : object ? WaitForSingleObject(object, slice)
                               : (::Sleep(slice), WAIT_TIMEOUT);
      if (object && (w == WAIT_OBJECT_0 || w == WAIT_ABANDONED)) return Wait::kSignalled;
      if (w != WAIT_TIMEOUT) return Wait::kFailed;
      if (!gave_up_ && !GoOn()) return Wait::kGaveUp;
    }
  }
  // Lets `ms` pass; false when the caller stopped waiting meanwhile.
  bool Sleep(DWORD ms) { return For(nullptr, ms) == Wait::kTimedOut; }

 private:
  WaitCallback keep_waiting_;
  void* context_;
  const DWORD poll_ms_;
  const bool fine_;  // the caller is asked more often than the system's tick
  FineTimer own_timer_;
  bool gave_up_ = false;
  DWORD deadline_ = 0;
};

using Patience = WorkerClient::Patience;

namespace {

// Polls every 100 ms, at most `polls` times, until the server mutex is
// (`present`) or is not there. False when the caller stopped waiting.
bool PollServerMutex(bool present, int polls, Patience& patience) {
  for (int i = 0; i < polls && ServerMutexExists() != present; ++i) {
    if (!patience.Sleep(kPollMs)) return false;
  }
  return true;
}

// Waits up to kBusyWaitMs for a free instance of the pipe. False when the
// caller stopped waiting.
bool WaitForInstance(Patience& patience) {
  const DWORD start = GetTickCount();
  for (;;) {
    const DWORD spent = GetTickCount() - start;
    if (spent >= kBusyWaitMs) return true;
    const DWORD slice =
        patience.asks_caller() ? std::min(kWaitPollMs, kBusyWaitMs - spent) : kBusyWaitMs - spent;
    // Done at once when an instance is free or when there is no pipe at all.
    if (WaitNamedPipeW(kPipeName, slice) || GetLastError() != ERROR_SEM_TIMEOUT) return true;
    if (!patience.GoOn()) return false;
  }
}

}  // namespace

// One connection to the worker. The pipe is opened for overlapped operation
// so that every wait for the worker is bounded: by the request's patience,
// and by how long the worker may stay silent. A connection is kept for the
// next request only when its last exchange ended in step: after a Cancel
// (which may cross the worker's End and be answered with a stray Ack), a
// message that was not the answer, or a wait that was given up, what comes
// next on it would be taken for the next request's answer.
class WorkerClient::Connection {
 public:
  // kGaveUp: the caller stopped waiting; kSilent: the worker said nothing
  // for as long as it may.
  enum class Io { kDone, kFailed, kGaveUp, kSilent };
  struct Message {
    uint32_t type = 0;
    std::vector<uint8_t> payload;
  };

  // Null with `error` set when the pipe cannot be opened.
  static std::unique_ptr<Connection> Open(DWORD& error) {
    unique_file pipe(CreateFileW(kPipeName, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                 FILE_FLAG_OVERLAPPED, nullptr));
    if (!pipe) {
      error = GetLastError();
      return nullptr;
    }
    unique_kernel_handle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!event) {
      error = GetLastError();
      return nullptr;
    }
    DWORD mode = PIPE_READMODE_BYTE;
    SetNamedPipeHandleState(pipe.get(), &mode, nullptr, nullptr);
    try {
      return std::make_unique<Connection>(std::move(pipe), std::move(event));
    } catch (const std::bad_alloc&) {
      error = ERROR_NOT_ENOUGH_MEMORY;
      return nullptr;
    }
  }

  // Starts an exchange: whose patience it runs on, and how long the worker
  // may stay silent in it.
  void Begin(Patience& patience, DWORD silence_ms) {
    patience_ = &patience;
    silence_ms_ = silence_ms;
  }
  DWORD silence_ms() const { return silence_ms_; }
  bool in_step() const { return in_step_; }
  // What follows on this connection may answer something else.
  void LoseStep() { in_step_ = false; }

  // After a cancelled synthesis has ended: a Cancel that crossed the
  // worker's End is answered after it with an Ack, or was taken silently;
  // which, the client cannot tell. A Hello sent now (the worker drops what
  // comes during a stream, so only now) is answered after that Ack, if any:
  // its VersionReply marks where the stream is in step again.
  void SendMarker() {
    if (Send(kHello) == Io::kDone) {
      marker_ = true;
    } else {
      in_step_ = false;
    }
  }
  // A cancelled synthesis whose caller left before its End: the rest of
  // its pieces and the End are read at the connection's next use.
  void LeaveDraining() { draining_ = true; }
  bool catching_up() const { return draining_ || marker_; }
  // Before the connection's next use: past the cancelled stream's End (the
  // marker goes out then), and up to the marker's answer. False, and out of
  // step, when anything else comes (or nothing).
  bool CatchUp() {
    while (draining_) {
      Message m;
      if (ReadMessage(m) != Io::kDone ||
          (m.type != kAudioPiece && m.type != kEnd && m.type != kError)) {
        in_step_ = false;
        return false;
      }
      if (m.type == kAudioPiece) continue;
      draining_ = false;
      SendMarker();
    }
    return !marker_ || Resync();
  }
  // Reads up to the marker's answer, past at most one Ack.
  bool Resync() {
    for (bool skipped = false;;) {
      Message m;
      if (ReadMessage(m) != Io::kDone) {
        in_step_ = false;
        return false;
      }
      uint32_t version = 0;
      if (m.type == kVersionReply && ParseVersionReply(m.payload, version) && version == kVersion) {
        marker_ = false;
        return true;
      }
      if (m.type != kAck || skipped) {
        in_step_ = false;
        return false;
      }
      skipped = true;
    }
  }

  Io WriteAll(const void* data, size_t size) {
    auto* p = static_cast<unsigned char*>(const_cast<void*>(data));
    const auto* start = p;
    while (size > 0) {
      DWORD put = 0;
      Io io = Transfer(true, p, static_cast<DWORD>(std::min<size_t>(size, 1u << 20)), put);
      if (io == Io::kGaveUp && p != start) return Fail();  // half a message went
      if (io != Io::kDone) return io;
      p += put;
      size -= put;
    }
    return Io::kDone;
  }
  Io Send(uint32_t type) {
    uint8_t header[kHeaderBytes];
    EncodeHeader(header, Header{type, 0});
    return WriteAll(header, sizeof(header));
  }

  // A wait given up inside a message ends in kFailed: the rest of that
  // message is lost to the stream.
  Io ReadMessage(Message& out) {
    uint8_t raw[kHeaderBytes];
    Io io = ReadExact(raw, sizeof(raw));
    if (io != Io::kDone) return io;
    Header h = DecodeHeader(raw);
    if (h.length > kClientPayloadLimit) return Fail();
    try {
      out.payload.assign(h.length, 0);
    } catch (const std::bad_alloc&) {
      return Fail();
    }
    out.type = h.type;
    if (h.length == 0) return Io::kDone;
    io = ReadExact(out.payload.data(), out.payload.size());
    return io == Io::kGaveUp ? Fail() : io;
  }

  Connection(unique_file pipe, unique_kernel_handle event)
      : pipe_(std::move(pipe)), event_(std::move(event)), buffer_(kReadChunk) {}

 private:
  static constexpr size_t kReadChunk = 65536;

  Io Fail() {
    in_step_ = false;
    return Io::kFailed;
  }

  // One read or write and its wait.
  Io Transfer(bool write, void* data, DWORD size, DWORD& moved) {
    moved = 0;
    OVERLAPPED o{};
    o.hEvent = event_.get();
    BOOL ok = write ? WriteFile(pipe_.get(), data, size, nullptr, &o)
                    : ReadFile(pipe_.get(), data, size, nullptr, &o);
    if (!ok && GetLastError() != ERROR_IO_PENDING) return Fail();
    if (ok) {  // done at once (the bytes were there): no wait to ask the system for
      return GetOverlappedResult(pipe_.get(), &o, &moved, FALSE) && moved > 0 ? Io::kDone : Fail();
    }
    const Patience::Wait w = patience_->For(event_.get(), silence_ms_, &timer_);
    if (w == Patience::Wait::kSignalled) {
      return GetOverlappedResult(pipe_.get(), &o, &moved, FALSE) && moved > 0 ? Io::kDone : Fail();
    }
    CancelIoEx(pipe_.get(), &o);
    // The operation may have finished before the cancel reached it.
    if (GetOverlappedResult(pipe_.get(), &o, &moved, TRUE) && moved > 0) return Io::kDone;
    // Nothing moved: a caller that stopped waiting leaves the stream where
    // it was (ReadExact and WriteAll know whether that is inside a message).
    if (w == Patience::Wait::kGaveUp) return Io::kGaveUp;
    in_step_ = false;
    return w == Patience::Wait::kTimedOut ? Io::kSilent : Io::kFailed;
  }

  // One read brings in as much as has arrived, so a stream of pieces costs
  // few calls.
  Io ReadExact(void* data, size_t size) {
    auto* p = static_cast<unsigned char*>(data);
    bool took = false;
    while (size > 0) {
      if (begin_ == end_) {
        DWORD got = 0;
        Io io = Transfer(false, buffer_.data(), static_cast<DWORD>(buffer_.size()), got);
        if (io != Io::kDone) return io == Io::kGaveUp && took ? Fail() : io;
        begin_ = 0;
        end_ = got;
      }
      size_t n = std::min(size, end_ - begin_);
      std::memcpy(p, buffer_.data() + begin_, n);
      begin_ += n;
      p += n;
      size -= n;
      took = true;
    }
    return Io::kDone;
  }

  unique_file pipe_;
  unique_kernel_handle event_;
  std::vector<uint8_t> buffer_;
  size_t begin_ = 0;
  size_t end_ = 0;
  Patience* patience_ = nullptr;
  DWORD silence_ms_ = kWorkerSilenceMs;
  FineTimer timer_;
  bool in_step_ = true;
  bool marker_ = false;    // a marker's answer waits to be read
  bool draining_ = false;  // a cancelled stream's End waits to be read
};

using Io = WorkerClient::Connection::Io;

namespace {

// How long the worker may stay silent before answering what it answers at
// once: the caller decides when it is asked, the client's own bound otherwise.
DWORD AnswerBound(const Patience& patience) {
  return patience.asks_caller() ? kWorkerSilenceMs : kWorkerAnswerMs;
}

void LogSilence(DWORD ms) {
  Log("pipe: the worker did not answer within %lu ms", static_cast<unsigned long>(ms));
}

}  // namespace

WorkerClient::WorkerClient() : worker_path_(ChooseWorkerPath(WorkerCandidateFolders())) {}

WorkerClient::WorkerClient(std::wstring worker_path) : worker_path_(std::move(worker_path)) {}

WorkerClient::~WorkerClient() = default;

bool WorkerClient::EnsureWorkerRunning(Patience& patience) {
  if (ServerMutexExists()) return true;
  if (!FileExists(worker_path_)) {
    Log("pipe: worker not found at %ls", worker_path_.c_str());
    return false;
  }
  Log("pipe: launching worker %ls", worker_path_.c_str());
  unique_kernel_handle launch(CreateMutexW(nullptr, FALSE, kLaunchMutexName));
  if (!launch) return false;
  if (patience.For(launch.get(), kLaunchMutexWaitMs) != Patience::Wait::kSignalled) return false;
  if (ServerMutexExists()) {  // someone else started one meanwhile
    ReleaseMutex(launch.get());
    return true;
  }
  STARTUPINFOW si{};
  si.cb = sizeof(si);
  si.dwFlags = STARTF_USESHOWWINDOW;
  si.wShowWindow = SW_HIDE;
  PROCESS_INFORMATION pi{};
  bool started = CreateProcessW(worker_path_.c_str(), nullptr, nullptr, nullptr, FALSE,
                                CREATE_NO_WINDOW, nullptr, nullptr, &si, &pi) != FALSE;
  if (started) {
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    PollServerMutex(true, kLaunchPolls, patience);
  }
  ReleaseMutex(launch.get());
  return started;
}

std::unique_ptr<WorkerClient::Connection> WorkerClient::Connect(Patience& patience) {
  for (int attempt = 1; attempt <= kConnectAttempts; ++attempt) {
    DWORD error = 0;
    std::unique_ptr<Connection> c = Connection::Open(error);
    if (!c) {
      if (error == ERROR_FILE_NOT_FOUND) {
        if (attempt == 1) EnsureWorkerRunning(patience);
        if (!patience.Sleep(kNotFoundRetryMs)) return nullptr;
        continue;
      }
      if (error == ERROR_PIPE_BUSY) {
        if (!WaitForInstance(patience)) return nullptr;
        continue;
      }
      if (error == ERROR_ACCESS_DENIED) {
        Log("pipe: the worker refused the connection (access denied). It is running at a higher "
            "integrity level than this process, which Windows will not let us talk to. End "
            "QuellmarServer.exe from an elevated Task Manager, or reboot, and it will restart "
            "correctly.");
      } else {
        Log("pipe: could not open %ls (error %lu)", kPipeName, error);
      }
      Log("pipe: gave up connecting to the worker");
      return nullptr;
    }
    c->Begin(patience, AnswerBound(patience));
    Io io = c->Send(kHello);
    Connection::Message reply;
    if (io == Io::kDone) io = c->ReadMessage(reply);
    // The caller stopped waiting: that says nothing about the worker.
    if (io == Io::kGaveUp || patience.gave_up()) return nullptr;
    // A worker that takes the connection and never answers is stuck, not
    // of another version: asking it to shut down would go unanswered too.
    if (io == Io::kSilent) {
      LogSilence(c->silence_ms());
      return nullptr;
    }
    uint32_t version = 0;
    if (io == Io::kDone && reply.type == kVersionReply &&
        ParseVersionReply(reply.payload, version) && version == kVersion) {
      return c;
    }

    Log("pipe: worker speaks a different protocol version, replacing it");
    if (c->Send(kShutdown) == Io::kDone) {
      Connection::Message ignored;
      c->ReadMessage(ignored);
    }
    c.reset();
    if (patience.gave_up() || !PollServerMutex(false, kStalePolls, patience)) return nullptr;
    if (!EnsureWorkerRunning(patience)) {
      Log("pipe: could not replace the stale worker");
      return nullptr;
    }
  }
  Log("pipe: gave up connecting to the worker");
  return nullptr;
}

std::unique_ptr<WorkerClient::Connection> WorkerClient::Acquire(bool& reused, Patience& patience) {
  for (;;) {
    std::unique_ptr<Connection> c;
    {
      std::lock_guard<std::mutex> guard(idle_lock_);
      if (idle_.empty()) break;
      c = std::move(idle_.back());
      idle_.pop_back();
    }
    if (c->catching_up()) {
      // The worker has usually ended the stream and answered the marker
      // long ago: these reads are done at once. A stream it has not ended
      // is not waited for.
      c->Begin(patience, std::min(AnswerBound(patience), kCatchUpSilenceMs));
      if (!c->CatchUp()) {
        if (patience.gave_up()) return nullptr;
        continue;  // closed; the next one, or a new one
      }
    }
    reused = true;
    return c;
  }
  reused = false;
  return Connect(patience);
}

void WorkerClient::Release(std::unique_ptr<Connection> c) {
  if (!c->in_step()) return;  // closes it
  std::lock_guard<std::mutex> guard(idle_lock_);
  if (idle_.size() >= kMaxIdleConnections) return;
  try {
    idle_.push_back(std::move(c));
  } catch (const std::bad_alloc&) {
  }
}

void WorkerClient::CloseIdle() {
  std::vector<std::unique_ptr<Connection>> closing;
  std::lock_guard<std::mutex> guard(idle_lock_);
  closing.swap(idle_);
}

namespace {

enum class Exchange { kEnded, kError, kBroken, kAbandoned, kLeftDraining, kSilent };

// One synthesis on one connection. `delivered` tells whether the callback
// has had any audio.
Exchange Synthesize(WorkerClient::Connection& c, Patience& patience,
                    const std::vector<uint8_t>& request, WorkerClient::AudioCallback callback,
                    void* context, bool& delivered) {
  c.Begin(patience, kWorkerSilenceMs);
  Io io = c.WriteAll(request.data(), request.size());
  if (io == Io::kGaveUp) return Exchange::kAbandoned;
  if (io == Io::kSilent) return Exchange::kSilent;
  if (io != Io::kDone) return Exchange::kBroken;
  bool cancelled = false;
  // Once the synthesis is cancelled its pieces are drained to the worker's
  // End. A caller that still waits (its output refused one write, say)
  // waits for that End as for any answer. One that has stopped waiting (a
  // host that stopped speech at a key press) leaves at once: the worker
  // may still be inside an engine segment, and the drain is left to the
  // connection's next use. Empty: read on to the End.
  auto cancel = [&]() -> std::optional<Exchange> {
    cancelled = true;
    if (!patience.gave_up()) patience.GoOn();
    if (patience.gave_up()) patience.GiveUp(kCancelGraceMs);  // for the Cancel's write
    if (c.Send(kCancel) != Io::kDone) return Exchange::kAbandoned;
    if (!patience.gave_up()) return std::nullopt;
    c.LeaveDraining();
    return Exchange::kLeftDraining;
  };
  for (;;) {
    WorkerClient::Connection::Message m;
    io = c.ReadMessage(m);
    if (io == Io::kGaveUp && !cancelled) {
      if (const std::optional<Exchange> e = cancel()) return *e;
      continue;
    }
    if (io == Io::kGaveUp) {  // cancelled already, and now the caller has left too
      c.LeaveDraining();
      return Exchange::kLeftDraining;
    }
    if (io == Io::kSilent) return Exchange::kSilent;
    if (io != Io::kDone) {
      return cancelled || patience.gave_up() ? Exchange::kAbandoned : Exchange::kBroken;
    }
    if (m.type == kEnd || m.type == kError) {
      if (cancelled) c.SendMarker();
      return m.type == kEnd ? Exchange::kEnded : Exchange::kError;
    }
    std::span<const uint8_t> audio;
    if (m.type != kAudioPiece || !ParseAudioPiece(m.payload, audio)) {
      c.LoseStep();  // an answer to something else: skipped
      continue;
    }
    if (cancelled || !callback) continue;
    delivered = true;
    if (!callback(audio.data(), static_cast<uint32_t>(audio.size()), context)) {
      if (const std::optional<Exchange> e = cancel()) return *e;
    }
  }
}

}  // namespace

bool WorkerClient::RequestSynthesis(const char* text, uint32_t length, double duration_factor,
                                    double pitch_factor, double gain_factor, bool tags,
                                    const Pauses* pauses, AudioCallback callback, void* context,
                                    WaitCallback keep_waiting, DWORD poll_ms) {
  if (text && length > kServerPayloadLimit - kRequestFixedBytes) {
    Log("pipe: a text of %lu bytes is more than one request can carry",
        static_cast<unsigned long>(length));
    return false;
  }
  std::vector<uint8_t> message;
  try {
    RenderParams params;
    params.duration_factor = duration_factor;
    params.pitch_factor = pitch_factor;
    params.gain_factor = gain_factor;
    params.tags = tags;
    if (pauses) params.pauses = *pauses;
    std::string_view body(text ? text : "", text ? length : 0);
    message = BuildMessage(kSynthesizeRequest, BuildSynthesizeRequestPayload(body, params));
  } catch (const std::exception&) {
    return false;
  }
  Patience patience(keep_waiting, context, poll_ms);
  bool delivered = false;
  for (int attempt = 1;; ++attempt) {
    bool reused = false;
    std::unique_ptr<Connection> c = Acquire(reused, patience);
    if (!c) return false;
    switch (Synthesize(*c, patience, message, callback, context, delivered)) {
      case Exchange::kEnded:
        Release(std::move(c));
        return true;
      case Exchange::kError:
        Release(std::move(c));  // in step, unless something stray came first
        return false;
      case Exchange::kLeftDraining:
        Release(std::move(c));
        return false;
      case Exchange::kAbandoned:
        return false;
      case Exchange::kSilent:
        LogSilence(kWorkerSilenceMs);
        return false;
      case Exchange::kBroken:
        break;
    }
    // A kept connection whose worker went away (crashed, replaced, ended)
    // fails on first use. Nothing has been said yet, so say it once more on
    // a fresh connection; the other kept ones lead to the same worker.
    if (!reused || delivered || attempt > 1) return false;
    Log("pipe: the kept connection to the worker was broken; sending the request again");
    CloseIdle();
  }
}

bool WorkerClient::RequestInfo(WorkerInfo& out, WaitCallback keep_waiting, void* context) {
  out = WorkerInfo{};
  Patience patience(keep_waiting, context);
  for (int attempt = 1;; ++attempt) {
    bool reused = false;
    std::unique_ptr<Connection> c = Acquire(reused, patience);
    if (!c) return false;
    c->Begin(patience, AnswerBound(patience));
    Connection::Message reply;
    Io io = c->Send(kInfoRequest);
    if (io == Io::kDone) io = c->ReadMessage(reply);
    if (io == Io::kDone) {
      if (reply.type == kInfoReply && ParseInfoReply(reply.payload, out)) {
        Release(std::move(c));
        return true;
      }
      return false;  // not the answer: the connection goes with it
    }
    if (io == Io::kSilent) LogSilence(c->silence_ms());
    // The stream's position is unknown after a failed read: start afresh.
    if (io != Io::kFailed || patience.gave_up() || !reused || attempt > 1) return false;
    CloseIdle();
  }
}

void WorkerClient::RequestShutdown() {
  CloseIdle();
  if (!ServerMutexExists()) return;
  // Unregistration waits on this: a worker that does not answer is left
  // to its own end rather than waited for.
  WaitLimit limit(kShutdownAnswerMs);
  Patience patience(KeepWaitingUntil, &limit);
  if (std::unique_ptr<Connection> c = Connect(patience)) {
    c->Begin(patience, kShutdownAnswerMs);
    if (c->Send(kShutdown) == Io::kDone) {
      Connection::Message ignored;
      c->ReadMessage(ignored);
    }
  }
  if (limit.reached) {
    Log("pipe: the worker did not take the request to shut down within %lu ms",
        static_cast<unsigned long>(kShutdownAnswerMs));
  }
  Patience polling(nullptr, nullptr);
  PollServerMutex(false, kShutdownPolls, polling);
}

}  // namespace Quellmar
