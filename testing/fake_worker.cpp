// A worker for tests of the client, scripted to misbehave. It serves the
// real pipe like the worker does, with made-up audio: each request's text
// of n characters becomes n * 100 samples, sample i of value (i + n) & 0x7FFF.
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
//   oversize     announces 16 MiB + 1 bytes instead of an InfoReply
//   oddpiece     sends the first piece with one byte fewer (an odd count)
// QM_FAKE_WORKER_RECORD names a file that gets a line per event:
//   "start PID" (before the one-worker check), "serve PID", "recv PID TYPE",
//   and for each synthesis "text PID d=DURATION p=PITCH g=GAIN t=TAGS |TEXT|".
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <string>
#include <thread>

#include "common/win_handles.h"
#include "worker/connection.h"
#include "worker/pipe_transport.h"
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

bool Has(const wchar_t* word) { return (L"," + g_mode + L",").find(L"," + std::wstring(word) + L",") != std::wstring::npos; }

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

// Records what arrives, and applies the scripted faults on the way out.
class ScriptedTransport : public worker::PipeTransport {
 public:
  using PipeTransport::PipeTransport;
  Next NextMessage(Header& header, std::vector<uint8_t>& payload) override {
    Next next = PipeTransport::NextMessage(header, payload);
    if (next == Next::kMessage) Record("recv " + Pid() + " " + std::to_string(header.type));
    return next;
  }
  Poll PollMessage(Header& header) override {
    Poll poll = PipeTransport::PollMessage(header);
    if (poll == Poll::kMessage) Record("recv " + Pid() + " " + std::to_string(header.type));
    return poll;
  }
  bool WriteAll(const void* data, size_t size) override {
    const uint8_t* p = static_cast<const uint8_t*>(data);
    uint32_t type = size >= 8 ? GetU32(p) : 0xFFFFFFFF;
    if (type == kVersionReply && Has(L"version2")) {
      auto reply = BuildVersionReply(2);
      return PipeTransport::WriteAll(reply.data(), reply.size());
    }
    if (type == kInfoReply && Has(L"oversize")) {
      std::vector<uint8_t> reply(p, p + size);
      PutU32(&reply[4], kClientPayloadLimit + 1);
      return PipeTransport::WriteAll(reply.data(), reply.size());
    }
    if (type == kInfoReply && Has(L"info51")) {
      std::vector<uint8_t> reply(p, p + size - 1);
      PutU32(&reply[4], 51);
      return PipeTransport::WriteAll(reply.data(), reply.size());
    }
    if (type == kAudioPiece) {
      if (Has(L"slow")) Sleep(50);
      if (pieces_ == 0 && Has(L"shortpieces")) {
        std::vector<uint8_t> junk = BuildMessage(kAudioPiece, std::vector<uint8_t>{1, 2, 3});
        PipeTransport::WriteAll(junk.data(), junk.size());
      }
      if (pieces_ == 0 && Has(L"oddpiece")) {
        std::vector<uint8_t> odd(p, p + size - 1);
        PutU32(&odd[4], static_cast<uint32_t>(size - 1 - 8));
        PutU32(&odd[8], static_cast<uint32_t>(size - 1 - 12));
        ++pieces_;
        return PipeTransport::WriteAll(odd.data(), odd.size());
      }
      if (pieces_ == 1 && Has(L"ackmid")) {
        auto ack = BuildMessage(kAck);
        PipeTransport::WriteAll(ack.data(), ack.size());
      }
      if (pieces_ == 1 && Has(L"silentonce")) {
        std::wstring marker = g_record + L".silenced";
        if (GetFileAttributesW(marker.c_str()) == INVALID_FILE_ATTRIBUTES) {
          CloseHandle(CreateFileW(marker.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr));
          Record("silent " + Pid());
          WaitForSingleObject(g_stop, 30000);
          return false;
        }
      }
      if (pieces_ == 1 && Has(L"droponce")) {
        std::wstring marker = g_record + L".dropped";
        if (GetFileAttributesW(marker.c_str()) == INVALID_FILE_ATTRIBUTES) {
          CloseHandle(CreateFileW(marker.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr));
          ExitProcess(3);
        }
      }
      ++pieces_;
    }
    return PipeTransport::WriteAll(data, size);
  }

 private:
  int pieces_ = 0;
};

class FakeServices : public worker::Services {
 public:
  void Touch() override {}
  std::vector<int16_t> Synthesize(const SynthesisRequest& r) override {
    char factors[128];
    snprintf(factors, sizeof factors, " d=%.3f p=%.3f g=%.3f t=%d |", r.params.duration_factor,
             r.params.pitch_factor, r.params.gain_factor, r.params.tags ? 1 : 0);
    Record("text " + Pid() + factors + std::string(r.text) + "|");
    size_t n = r.text.size();
    std::vector<int16_t> s(n * 100);
    for (size_t i = 0; i < s.size(); ++i) s[i] = static_cast<int16_t>((i + n) & 0x7FFF);
    return s;
  }
  WorkerInfo Info() override { return MakeWorkerInfo(8000, 8, 7, 1, "Fake worker 1.0"); }
  void Shutdown() override { SetEvent(g_stop); }
};

void Serve(HANDLE pipe) {
  {
    ScriptedTransport t(pipe);  // flushes and disconnects when it ends
    FakeServices services;
    if (Has(L"error")) {
      // Answer requests ourselves: Error for synthesis, the usual for the rest.
      Header h;
      std::vector<uint8_t> payload;
      while (t.NextMessage(h, payload) == worker::Transport::Next::kMessage) {
        std::vector<uint8_t> reply = h.type == kHello ? BuildVersionReply()
                                     : h.type == kSynthesizeRequest ? BuildMessage(kError)
                                                                    : BuildMessage(kAck);
        t.WriteAll(reply.data(), reply.size());
        if (h.type == kShutdown) {
          SetEvent(g_stop);
          break;
        }
      }
    } else {
      worker::ServeConnection(t, services);
    }
  }
  CloseHandle(pipe);
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
      bool connected = ConnectNamedPipe(pipe, &o) || GetLastError() == ERROR_PIPE_CONNECTED ||
                       (GetLastError() == ERROR_IO_PENDING &&
                        GetOverlappedResult(pipe, &o, &unused, TRUE));
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
