// A worker for tests of the client, scripted to misbehave. It serves the
// real pipe with the protocol's own messages and made-up audio: each
// request's text of n characters becomes n * 100 samples, sample i of value
// (i + n) & 0x7FFF. Like the worker, it looks for a Cancel before each piece
// and answers a Cancel that comes between exchanges with Ack. It shares no
// code with the worker beyond the message format, so that it stays what the
// client's tests script whatever the worker's own I/O becomes.
//
// QM_FAKE_WORKER (inherited from whoever starts it) chooses the behaviour,
// words separated by commas:
//   version2     answers Hello with protocol version 2
//   info51       answers InfoRequest with 51 bytes
//   shortpieces  puts an AudioPiece of 3 payload bytes before the audio
//   ackmid       puts an Ack between the first and the second piece
//   error        answers every synthesis with Error
//   droponce     exits after the first piece of the first synthesis, unless
//                QM_FAKE_WORKER_RECORD.dropped exists (it creates that file)
//   slow         waits 50 ms before each piece
//   silentonce   falls silent after the first piece of the first synthesis
//                (unless QM_FAKE_WORKER_RECORD.silenced exists, which it
//                creates): sends nothing more on that connection for 30 s
//   silent       takes connections and reads what comes, but never answers
//                anything, not even Hello
//   crossend     never looks for a Cancel during a stream: every Cancel
//                crosses the End and is answered, after it, with Ack
//   oversize     announces 16 MiB + 1 bytes instead of an InfoReply
//   oddpiece     sends the first piece with one byte fewer (an odd count)
// QM_FAKE_WORKER_RECORD names a file that gets a line per event:
//   "start PID" (before the one-worker check), "serve PID", "conn PID" (a
//   client connected), "recv PID TYPE", "silent PID", and for each synthesis
//   "text PID d=DURATION p=PITCH g=GAIN t=TAGS |TEXT|".
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <thread>

#include "common/win_handles.h"
#include "worker/protocol.h"

namespace {
using namespace Quellmar;
using namespace Quellmar::protocol;

std::wstring Env(const wchar_t* name) {
  wchar_t buf[1024];
  DWORD n = GetEnvironmentVariableW(name, buf, 1024);
  return n > 0 && n < 1024 ? std::wstring(buf, n) : std::wstring();
}

std::wstring g_mode;
std::wstring g_record;
HANDLE g_stop = nullptr;

bool Has(const wchar_t* word) {
  return (L"," + g_mode + L",").find(L"," + std::wstring(word) + L",") != std::wstring::npos;
}

void Record(const std::string& line) {
  if (g_record.empty()) return;
  HANDLE f = CreateFileW(g_record.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                         nullptr, OPEN_ALWAYS, 0, nullptr);
  if (f == INVALID_HANDLE_VALUE) return;
  OVERLAPPED range{};
  LockFileEx(f, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &range);
  SetFilePointer(f, 0, nullptr, FILE_END);
  std::string text = line + "\r\n";
  DWORD put;
  WriteFile(f, text.data(), static_cast<DWORD>(text.size()), &put, nullptr);
  UnlockFileEx(f, 0, 1, 0, &range);
  CloseHandle(f);
}

std::string Pid() { return std::to_string(GetCurrentProcessId()); }

// True the first time on the machine's test run: creates the marker
// QM_FAKE_WORKER_RECORD + `suffix`.
bool FirstTime(const wchar_t* suffix) {
  std::wstring marker = g_record + suffix;
  if (GetFileAttributesW(marker.c_str()) != INVALID_FILE_ATTRIBUTES) return false;
  CloseHandle(CreateFileW(marker.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr));
  return true;
}

// One connected pipe instance, read and written as if blocking.
class Pipe {
 public:
  explicit Pipe(HANDLE pipe) : pipe_(pipe), event_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
  ~Pipe() {
    FlushFileBuffers(pipe_);
    DisconnectNamedPipe(pipe_);
    CloseHandle(pipe_);
  }

  bool Read(void* data, size_t size) { return Move(false, data, size); }
  bool Write(const std::vector<uint8_t>& bytes) {
    return Move(true, const_cast<uint8_t*>(bytes.data()), bytes.size());
  }
  bool Message(Header& h, std::vector<uint8_t>& payload) {
    uint8_t raw[kHeaderBytes];
    if (!Read(raw, sizeof(raw))) return false;
    h = DecodeHeader(raw);
    if (h.length > kServerPayloadLimit) return false;
    payload.assign(h.length, 0);
    if (h.length > 0 && !Read(payload.data(), payload.size())) return false;
    Record("recv " + Pid() + " " + std::to_string(h.type));
    return true;
  }
  // Whether a whole header is waiting.
  bool MessageWaiting() {
    DWORD available = 0;
    return PeekNamedPipe(pipe_, nullptr, 0, nullptr, &available, nullptr) &&
           available >= kHeaderBytes;
  }

 private:
  bool Move(bool write, void* data, size_t size) {
    auto* p = static_cast<uint8_t*>(data);
    while (size > 0) {
      OVERLAPPED o{};
      o.hEvent = event_.get();
      const DWORD n = static_cast<DWORD>(std::min<size_t>(size, 1u << 20));
      BOOL ok = write ? WriteFile(pipe_, p, n, nullptr, &o) : ReadFile(pipe_, p, n, nullptr, &o);
      DWORD moved = 0;
      if (!ok && GetLastError() != ERROR_IO_PENDING) return false;
      if (!GetOverlappedResult(pipe_, &o, &moved, TRUE) || moved == 0) return false;
      p += moved;
      size -= moved;
    }
    return true;
  }

  HANDLE pipe_;
  unique_kernel_handle event_;
};

std::vector<int16_t> Synthesize(const SynthesisRequest& r) {
  char factors[128];
  snprintf(factors, sizeof factors, " d=%.3f p=%.3f g=%.3f t=%d |", r.params.duration_factor,
           r.params.pitch_factor, r.params.gain_factor, r.params.tags ? 1 : 0);
  Record("text " + Pid() + factors + std::string(r.text) + "|");
  size_t n = r.text.size();
  std::vector<int16_t> s(n * 100);
  for (size_t i = 0; i < s.size(); ++i) s[i] = static_cast<int16_t>((i + n) & 0x7FFF);
  return s;
}

// Streams one synthesis with the scripted faults. False when the
// connection is over.
bool Stream(Pipe& pipe, const std::vector<int16_t>& samples, int& pieces) {
  const auto* bytes = reinterpret_cast<const uint8_t*>(samples.data());
  const size_t total = samples.size() * sizeof(int16_t);
  for (size_t offset = 0; offset < total;) {
    if (Has(L"slow")) Sleep(50);
    if (!Has(L"crossend") && pipe.MessageWaiting()) {
      Header h;
      std::vector<uint8_t> payload;
      if (!pipe.Message(h, payload)) return false;
      if (h.type == kCancel) break;
    }
    const size_t n = std::min<size_t>(total - offset, kMaxPieceBytes);
    std::vector<uint8_t> piece = BuildAudioPiece(std::span<const uint8_t>(bytes + offset, n));
    if (pieces == 0 && Has(L"shortpieces")) {
      if (!pipe.Write(BuildMessage(kAudioPiece, std::vector<uint8_t>{1, 2, 3}))) return false;
    }
    if (pieces == 0 && Has(L"oddpiece")) {
      piece.pop_back();
      PutU32(&piece[4], static_cast<uint32_t>(piece.size() - kHeaderBytes));
      PutU32(&piece[8], static_cast<uint32_t>(piece.size() - kHeaderBytes - 4));
    }
    if (pieces == 1 && Has(L"ackmid") && !pipe.Write(BuildMessage(kAck))) return false;
    if (pieces == 1 && Has(L"silentonce") && FirstTime(L".silenced")) {
      Record("silent " + Pid());
      WaitForSingleObject(g_stop, 30000);
      return false;
    }
    if (pieces == 1 && Has(L"droponce") && FirstTime(L".dropped")) ExitProcess(3);
    if (!pipe.Write(piece)) return false;
    ++pieces;
    offset += n;
  }
  return pipe.Write(BuildMessage(kEnd));
}

// One message and its answer. False when the connection is over.
bool ServeOne(Pipe& pipe, int& pieces) {
  Header h;
  std::vector<uint8_t> payload;
  if (!pipe.Message(h, payload)) return false;
  if (Has(L"silent")) return true;
  switch (h.type) {
    case kHello:
      return pipe.Write(BuildVersionReply(Has(L"version2") ? 2 : kVersion));
    case kInfoRequest: {
      std::vector<uint8_t> reply = BuildInfoReply(MakeWorkerInfo(8000, 8, 7, 1, "Fake worker 1.0"));
      if (Has(L"oversize")) PutU32(&reply[4], kClientPayloadLimit + 1);
      if (Has(L"info51")) {
        reply.pop_back();
        PutU32(&reply[4], 51);
      }
      return pipe.Write(reply);
    }
    case kSynthesizeRequest: {
      SynthesisRequest request;
      if (!ParseSynthesizeRequest(payload, request) || Has(L"error")) {
        return pipe.Write(BuildMessage(kError));
      }
      return Stream(pipe, Synthesize(request), pieces);
    }
    case kCancel:
      return pipe.Write(BuildMessage(kAck));
    case kShutdown:
      pipe.Write(BuildMessage(kAck));
      SetEvent(g_stop);
      return false;
    default:
      return pipe.Write(BuildMessage(kError));
  }
}

void Serve(HANDLE handle) {
  Record("conn " + Pid());
  Pipe pipe(handle);
  int pieces = 0;
  try {
    while (ServeOne(pipe, pieces)) {
    }
  } catch (...) {
  }
}

}  // namespace

int wmain() {
  g_mode = Env(L"QM_FAKE_WORKER");
  g_record = Env(L"QM_FAKE_WORKER_RECORD");
  Record("start " + Pid());
  HANDLE mutex = CreateMutexW(nullptr, TRUE, kServerMutexName);
  if (!mutex || GetLastError() == ERROR_ALREADY_EXISTS) return 0;
  Record("serve " + Pid());
  g_stop = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  std::thread([] {
    for (;;) {
      HANDLE pipe = CreateNamedPipeW(kPipeName, PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
                                     PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT,
                                     PIPE_UNLIMITED_INSTANCES, 65536, 65536, 0, nullptr);
      if (pipe == INVALID_HANDLE_VALUE) return;
      unique_kernel_handle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
      OVERLAPPED o{};
      o.hEvent = event.get();
      DWORD unused = 0;
      bool connected =
          ConnectNamedPipe(pipe, &o) || GetLastError() == ERROR_PIPE_CONNECTED ||
          (GetLastError() == ERROR_IO_PENDING && GetOverlappedResult(pipe, &o, &unused, TRUE));
      if (!connected) {
        CloseHandle(pipe);
        continue;
      }
      std::thread(Serve, pipe).detach();
    }
  }).detach();
  WaitForSingleObject(g_stop, 120000);  // never outlive a test run
  Sleep(50);                            // let the Ack reach the client
  ReleaseMutex(mutex);
  ExitProcess(0);
}
