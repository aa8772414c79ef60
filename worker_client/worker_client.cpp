#include "worker_client/worker_client.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "common/log.h"
#include "engine_host/install_root.h"

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

// Polls every 100 ms, at most `polls` times, until the server mutex is
// (`present`) or is not there.
void PollServerMutex(bool present, int polls) {
  for (int i = 0; i < polls && ServerMutexExists() != present; ++i) Sleep(kPollMs);
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

// One connection to the worker. The pipe is opened for overlapped operation
// so that every wait for the worker is bounded: by the request's own
// keep-waiting question, asked every kWaitPollMs, or by a deadline once the
// request has given up. Without either a wait lasts as long as the worker
// takes.
class WorkerClient::Connection {
 public:
  enum class Io { kDone, kFailed, kGaveUp };
  struct Message {
    uint32_t type = 0;
    std::vector<uint8_t> payload;
  };

  // Null with `error` set when the pipe cannot be opened.
  static std::unique_ptr<Connection> Open(DWORD& error) {
    unique_file pipe(CreateFileW(kPipeName, GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                 OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr));
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

  // Starts a request: who is asked whether to go on waiting, no deadline.
  void Begin(WaitCallback keep_waiting, void* context) {
    keep_waiting_ = keep_waiting;
    context_ = context;
    has_deadline_ = false;
  }
  // From now on no wait lasts past `ms` from now.
  void SetDeadline(DWORD ms) {
    has_deadline_ = true;
    deadline_ = GetTickCount() + ms;
  }
  bool bounded() const { return keep_waiting_ != nullptr; }

  Io WriteAll(const void* data, size_t size) {
    auto* p = static_cast<unsigned char*>(const_cast<void*>(data));
    while (size > 0) {
      DWORD put = 0;
      Io io = Transfer(true, p, static_cast<DWORD>(std::min<size_t>(size, 1u << 20)), put);
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

  // kGaveUp only when the wait was given up before any byte of the message
  // was taken, so that the stream is still at a message boundary.
  Io ReadMessage(Message& out) {
    uint8_t raw[kHeaderBytes];
    Io io = ReadExact(raw, sizeof(raw));
    if (io != Io::kDone) return io;
    Header h = DecodeHeader(raw);
    if (h.length > kClientPayloadLimit) return Io::kFailed;
    try {
      out.payload.assign(h.length, 0);
    } catch (const std::bad_alloc&) {
      return Io::kFailed;
    }
    out.type = h.type;
    if (h.length == 0) return Io::kDone;
    io = ReadExact(out.payload.data(), out.payload.size());
    return io == Io::kGaveUp ? Io::kFailed : io;
  }

  Connection(unique_file pipe, unique_kernel_handle event)
      : pipe_(std::move(pipe)), event_(std::move(event)), buffer_(kReadChunk) {}

 private:
  static constexpr size_t kReadChunk = 65536;

  // One read or write and its wait.
  Io Transfer(bool write, void* data, DWORD size, DWORD& moved) {
    moved = 0;
    OVERLAPPED o{};
    o.hEvent = event_.get();
    BOOL ok = write ? WriteFile(pipe_.get(), data, size, nullptr, &o)
                    : ReadFile(pipe_.get(), data, size, nullptr, &o);
    if (!ok && GetLastError() != ERROR_IO_PENDING) return Io::kFailed;
    if (ok) {  // done at once (the bytes were there): no wait to ask the system for
      return GetOverlappedResult(pipe_.get(), &o, &moved, FALSE) && moved > 0 ? Io::kDone
                                                                             : Io::kFailed;
    }
    for (;;) {
      DWORD timeout = INFINITE;
      if (has_deadline_) {
        const int32_t left = static_cast<int32_t>(deadline_ - GetTickCount());
        timeout = left > 0 ? static_cast<DWORD>(left) : 0;
      } else if (keep_waiting_) {
        timeout = kWaitPollMs;
      }
      const DWORD w = WaitForSingleObject(event_.get(), timeout);
      if (w == WAIT_OBJECT_0) {
        return GetOverlappedResult(pipe_.get(), &o, &moved, FALSE) && moved > 0 ? Io::kDone
                                                                               : Io::kFailed;
      }
      const bool give_up =
          w != WAIT_TIMEOUT || has_deadline_ || (keep_waiting_ && !keep_waiting_(context_));
      if (!give_up) continue;
      CancelIoEx(pipe_.get(), &o);
      // The operation may have finished before the cancel reached it.
      if (GetOverlappedResult(pipe_.get(), &o, &moved, TRUE) && moved > 0) return Io::kDone;
      return w == WAIT_TIMEOUT ? Io::kGaveUp : Io::kFailed;
    }
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
        if (io == Io::kGaveUp && took) return Io::kFailed;
        if (io != Io::kDone) return io;
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
  WaitCallback keep_waiting_ = nullptr;
  void* context_ = nullptr;
  bool has_deadline_ = false;
  DWORD deadline_ = 0;
};

using Io = WorkerClient::Connection::Io;

WorkerClient::WorkerClient() : worker_path_(ChooseWorkerPath(WorkerCandidateFolders())) {}

WorkerClient::WorkerClient(std::wstring worker_path) : worker_path_(std::move(worker_path)) {}

WorkerClient::~WorkerClient() = default;

bool WorkerClient::EnsureWorkerRunning() {
  if (ServerMutexExists()) return true;
  if (!FileExists(worker_path_)) {
    Log("pipe: worker not found at %ls", worker_path_.c_str());
    return false;
  }
  Log("pipe: launching worker %ls", worker_path_.c_str());
  unique_kernel_handle launch(CreateMutexW(nullptr, FALSE, kLaunchMutexName));
  if (!launch) return false;
  DWORD wait = WaitForSingleObject(launch.get(), kLaunchMutexWaitMs);
  if (wait != WAIT_OBJECT_0 && wait != WAIT_ABANDONED) return false;
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
    PollServerMutex(true, kLaunchPolls);
  }
  ReleaseMutex(launch.get());
  return started;
}

std::unique_ptr<WorkerClient::Connection> WorkerClient::Connect(WaitCallback keep_waiting,
                                                                void* context) {
  std::lock_guard<std::mutex> guard(connect_lock_);
  for (int attempt = 1; attempt <= kConnectAttempts; ++attempt) {
    DWORD error = 0;
    std::unique_ptr<Connection> c = Connection::Open(error);
    if (!c) {
      if (error == ERROR_FILE_NOT_FOUND) {
        if (attempt == 1) EnsureWorkerRunning();
        Sleep(kNotFoundRetryMs);
        continue;
      }
      if (error == ERROR_PIPE_BUSY) {
        WaitNamedPipeW(kPipeName, kBusyWaitMs);
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
    c->Begin(keep_waiting, context);
    Io io = c->Send(kHello);
    Connection::Message reply;
    if (io == Io::kDone) io = c->ReadMessage(reply);
    // The caller stopped waiting: that says nothing about the worker.
    if (io == Io::kGaveUp) return nullptr;
    uint32_t version = 0;
    if (io == Io::kDone && reply.type == kVersionReply &&
        ParseVersionReply(reply.payload, version) && version == kVersion) {
      return c;
    }

    Log("pipe: worker speaks a different protocol version, replacing it");
    c->Begin(nullptr, nullptr);
    c->Send(kShutdown);
    Connection::Message ignored;
    c->ReadMessage(ignored);
    c.reset();
    PollServerMutex(false, kStalePolls);
    if (!EnsureWorkerRunning()) {
      Log("pipe: could not replace the stale worker");
      return nullptr;
    }
  }
  Log("pipe: gave up connecting to the worker");
  return nullptr;
}

std::unique_ptr<WorkerClient::Connection> WorkerClient::Acquire(bool& reused,
                                                                WaitCallback keep_waiting,
                                                                void* context) {
  {
    std::lock_guard<std::mutex> guard(idle_lock_);
    if (!idle_.empty()) {
      std::unique_ptr<Connection> c = std::move(idle_.back());
      idle_.pop_back();
      reused = true;
      c->Begin(keep_waiting, context);
      return c;
    }
  }
  reused = false;
  return Connect(keep_waiting, context);
}

void WorkerClient::Release(std::unique_ptr<Connection> c) {
  std::lock_guard<std::mutex> guard(idle_lock_);
  if (idle_.size() >= kMaxIdleConnections) return;  // closes it
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

enum class Exchange { kEnded, kError, kBroken, kAbandoned };

// One synthesis on one connection. `delivered` tells whether the callback
// has had any audio.
Exchange Synthesize(WorkerClient::Connection& c, const std::vector<uint8_t>& request,
                    WorkerClient::AudioCallback callback, void* context, bool& delivered) {
  Io io = c.WriteAll(request.data(), request.size());
  if (io == Io::kGaveUp) return Exchange::kAbandoned;
  if (io != Io::kDone) return Exchange::kBroken;
  bool cancelled = false;
  // Once the request is given up, a worker that answers is drained to its
  // End; one that does not is left soon after, with the connection.
  auto give_up = [&] {
    cancelled = true;
    if (c.bounded()) c.SetDeadline(kCancelGraceMs);
    return c.Send(kCancel) != Io::kFailed;
  };
  for (;;) {
    WorkerClient::Connection::Message m;
    io = c.ReadMessage(m);
    if (io == Io::kGaveUp && !cancelled) {
      if (!give_up()) return Exchange::kAbandoned;
      continue;
    }
    if (io != Io::kDone) return cancelled ? Exchange::kAbandoned : Exchange::kBroken;
    if (m.type == kEnd) return Exchange::kEnded;
    if (m.type == kError) return Exchange::kError;
    std::span<const uint8_t> audio;
    if (m.type == kAudioPiece && !cancelled && callback && ParseAudioPiece(m.payload, audio)) {
      delivered = true;
      if (!callback(audio.data(), static_cast<uint32_t>(audio.size()), context) && !give_up()) {
        return Exchange::kAbandoned;
      }
    }
  }
}

}  // namespace

bool WorkerClient::RequestSynthesis(const char* text, uint32_t length, double duration_factor,
                                    double pitch_factor, double gain_factor, bool tags,
                                    const Pauses* pauses, AudioCallback callback, void* context,
                                    WaitCallback keep_waiting) {
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
  bool delivered = false;
  for (int attempt = 1;; ++attempt) {
    bool reused = false;
    std::unique_ptr<Connection> c = Acquire(reused, keep_waiting, context);
    if (!c) return false;
    switch (Synthesize(*c, message, callback, context, delivered)) {
      case Exchange::kEnded:
        Release(std::move(c));
        return true;
      case Exchange::kError:
        Release(std::move(c));  // the stream is still in step
        return false;
      case Exchange::kAbandoned:
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

bool WorkerClient::RequestInfo(WorkerInfo& out) {
  out = WorkerInfo{};
  for (int attempt = 1;; ++attempt) {
    bool reused = false;
    std::unique_ptr<Connection> c = Acquire(reused, nullptr, nullptr);
    if (!c) return false;
    Connection::Message reply;
    Io io = c->Send(kInfoRequest);
    if (io == Io::kDone) io = c->ReadMessage(reply);
    if (io == Io::kDone) {
      bool ok = reply.type == kInfoReply && ParseInfoReply(reply.payload, out);
      Release(std::move(c));
      return ok;
    }
    // The stream's position is unknown after a failed read: start afresh.
    if (!reused || attempt > 1) return false;
    CloseIdle();
  }
}

void WorkerClient::RequestShutdown() {
  CloseIdle();
  if (!ServerMutexExists()) return;
  if (std::unique_ptr<Connection> c = Connect(nullptr, nullptr)) {
    c->Send(kShutdown);
    Connection::Message ignored;
    c->ReadMessage(ignored);
  }
  PollServerMutex(false, kShutdownPolls);
}

}  // namespace Quellmar
