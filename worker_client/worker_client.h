// WorkerClient: how a 64-bit program reaches the engine. It finds the worker
// program, starts it when none runs (one launcher at a time across
// processes), replaces a worker of another protocol version, and delivers a
// synthesis piece by piece to a callback, with cancellation.
//
// Failures are a false result and a "pipe: " log line; nothing is shown and
// nothing is thrown. One request at a time per client: every request holds
// the client's lock from start to end, callbacks included.
#pragma once

#include <windows.h>

#include <array>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "common/win_handles.h"
#include "worker/protocol.h"

namespace Quellmar {

using WorkerInfo = protocol::WorkerInfo;

inline constexpr wchar_t kInstallKey[] = L"SOFTWARE\\Quellmar SAPI5";
inline constexpr wchar_t kInstallLocationValue[] = L"InstallLocation";
inline constexpr wchar_t kWorkerInX86[] = L"x86\\QuellmarServer.exe";
inline constexpr wchar_t kWorkerPlain[] = L"QuellmarServer.exe";

// The folders to look in for the worker, in order: InstallLocation through
// the 64-bit and the 32-bit registry views, the module's own folder, its parent.
std::vector<std::wstring> WorkerCandidateFolders();
// The first existing x86\QuellmarServer.exe or QuellmarServer.exe under the
// candidates in order; else the first candidate's x86\QuellmarServer.exe;
// empty without candidates.
std::wstring ChooseWorkerPath(const std::vector<std::wstring>& candidates);

class WorkerClient {
 public:
  // Called for every piece of 16-bit 16 kHz PCM; false asks for no more.
  using AudioCallback = bool (*)(const unsigned char* bytes, uint32_t count, void* context);
  using Pauses = std::array<int32_t, 4>;

  WorkerClient();  // chooses the worker path; starts and contacts nothing
  explicit WorkerClient(std::wstring worker_path);
  WorkerClient(const WorkerClient&) = delete;
  WorkerClient& operator=(const WorkerClient&) = delete;
  ~WorkerClient() = default;  // closes the pipe; the worker keeps running

  // True when the worker ended the synthesis with End, also after a
  // cancellation. `pauses` null sends -1 for all four.
  bool RequestSynthesis(const char* text, uint32_t length, double duration_factor,
                        double pitch_factor, double gain_factor, bool tags, const Pauses* pauses,
                        AudioCallback callback, void* context);
  // True when a complete InfoReply arrived; `out` is zero-filled otherwise.
  bool RequestInfo(WorkerInfo& out);
  // Asks a running worker to exit and waits up to 2 seconds for it to go.
  void RequestShutdown();

  const std::wstring& worker_path() const { return worker_path_; }

 private:
  struct Message {
    uint32_t type = 0;
    std::vector<uint8_t> payload;
  };
  bool EnsureWorkerRunning();
  bool Connect();
  bool Handshake();
  void ReplaceStaleWorker();
  bool ReadMessage(Message& out);
  bool ReadExact(void* data, size_t size);
  bool WriteAll(const void* data, size_t size);
  bool Send(const std::vector<uint8_t>& message) { return WriteAll(message.data(), message.size()); }
  void ClosePipe() {
    pipe_.reset();
    read_begin_ = read_end_ = 0;
  }

  std::mutex lock_;
  unique_file pipe_;
  // Bytes read from the pipe but not yet taken: one read call brings in as
  // much as has arrived, so a stream of pieces costs few calls.
  std::vector<uint8_t> read_buffer_;
  size_t read_begin_ = 0;
  size_t read_end_ = 0;
  std::wstring worker_path_;
};

}  // namespace Quellmar
