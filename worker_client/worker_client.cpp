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

WorkerClient::WorkerClient() : worker_path_(ChooseWorkerPath(WorkerCandidateFolders())) {}

WorkerClient::WorkerClient(std::wstring worker_path) : worker_path_(std::move(worker_path)) {}

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

bool WorkerClient::Handshake() {
  if (!Send(BuildMessage(kHello))) return false;
  Message reply;
  if (!ReadMessage(reply) || reply.type != kVersionReply) return false;
  uint32_t version = 0;
  return ParseVersionReply(reply.payload, version) && version == kVersion;
}

bool WorkerClient::Connect() {
  if (pipe_) return true;
  for (int attempt = 1; attempt <= kConnectAttempts; ++attempt) {
    pipe_.reset(CreateFileW(kPipeName, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                            nullptr));
    if (!pipe_) {
      DWORD error = GetLastError();
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
      return false;
    }
    DWORD mode = PIPE_READMODE_BYTE;
    SetNamedPipeHandleState(pipe_.get(), &mode, nullptr, nullptr);
    if (Handshake()) return true;

    Log("pipe: worker speaks a different protocol version, replacing it");
    Send(BuildMessage(kShutdown));
    Message ignored;
    ReadMessage(ignored);
    ClosePipe();
    PollServerMutex(false, kStalePolls);
    if (!EnsureWorkerRunning()) {
      Log("pipe: could not replace the stale worker");
      ClosePipe();
      return false;
    }
  }
  Log("pipe: gave up connecting to the worker");
  return false;
}

bool WorkerClient::WriteAll(const void* data, size_t size) {
  if (!pipe_) return false;
  auto* p = static_cast<const unsigned char*>(data);
  while (size > 0) {
    DWORD chunk = static_cast<DWORD>(std::min<size_t>(size, 1u << 20));
    DWORD put = 0;
    if (!WriteFile(pipe_.get(), p, chunk, &put, nullptr) || put == 0) return false;
    p += put;
    size -= put;
  }
  return true;
}

bool WorkerClient::ReadExact(void* data, size_t size) {
  if (!pipe_) return false;
  constexpr size_t kReadChunk = 65536;
  auto* p = static_cast<unsigned char*>(data);
  while (size > 0) {
    if (read_begin_ == read_end_) {
      if (read_buffer_.size() < kReadChunk) read_buffer_.resize(kReadChunk);
      DWORD got = 0;
      if (!ReadFile(pipe_.get(), read_buffer_.data(), static_cast<DWORD>(kReadChunk), &got, nullptr) ||
          got == 0) {
        return false;
      }
      read_begin_ = 0;
      read_end_ = got;
    }
    size_t n = std::min(size, read_end_ - read_begin_);
    std::memcpy(p, read_buffer_.data() + read_begin_, n);
    read_begin_ += n;
    p += n;
    size -= n;
  }
  return true;
}

bool WorkerClient::ReadMessage(Message& out) {
  uint8_t raw[kHeaderBytes];
  if (!ReadExact(raw, sizeof(raw))) return false;
  Header h = DecodeHeader(raw);
  if (h.length > kClientPayloadLimit) return false;
  try {
    out.payload.assign(h.length, 0);
  } catch (const std::bad_alloc&) {
    return false;
  }
  out.type = h.type;
  return h.length == 0 || ReadExact(out.payload.data(), out.payload.size());
}

bool WorkerClient::RequestSynthesis(const char* text, uint32_t length, double duration_factor,
                                    double pitch_factor, double gain_factor, bool tags,
                                    const Pauses* pauses, AudioCallback callback, void* context) {
  std::lock_guard<std::mutex> guard(lock_);
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
  } catch (const std::bad_alloc&) {
    return false;
  }
  if (!Connect()) {
    ClosePipe();
    return false;
  }
  if (!Send(message)) {
    ClosePipe();
    return false;
  }
  bool cancelled = false;
  for (;;) {
    Message m;
    if (!ReadMessage(m)) {
      ClosePipe();
      return false;
    }
    if (m.type == kEnd) return true;
    if (m.type == kError) return false;
    std::span<const uint8_t> audio;
    if (m.type == kAudioPiece && !cancelled && callback && ParseAudioPiece(m.payload, audio)) {
      if (!callback(audio.data(), static_cast<uint32_t>(audio.size()), context)) {
        Send(BuildMessage(kCancel));
        cancelled = true;
      }
    }
  }
}

bool WorkerClient::RequestInfo(WorkerInfo& out) {
  std::lock_guard<std::mutex> guard(lock_);
  out = WorkerInfo{};
  if (!Connect()) {
    ClosePipe();
    return false;
  }
  if (!Send(BuildMessage(kInfoRequest))) {
    ClosePipe();
    return false;
  }
  Message reply;
  if (!ReadMessage(reply)) {
    // The stream's position is unknown after a failed read: start afresh.
    ClosePipe();
    return false;
  }
  return reply.type == kInfoReply && ParseInfoReply(reply.payload, out);
}

void WorkerClient::RequestShutdown() {
  std::lock_guard<std::mutex> guard(lock_);
  if (!ServerMutexExists()) return;
  if (Connect()) {
    Send(BuildMessage(kShutdown));
    Message ignored;
    ReadMessage(ignored);
    ClosePipe();
  }
  PollServerMutex(false, kShutdownPolls);
}

}  // namespace Quellmar
