// WorkerClient: how a 64-bit program reaches the engine. It finds the worker
// program, starts it when none runs (one launcher at a time across
// processes), replaces a worker of another protocol version, and delivers a
// synthesis piece by piece to a callback, with cancellation.
//
// Failures are a false result and a "pipe: " log line; nothing is shown and
// nothing is thrown. Requests of different threads run side by side on
// connections of their own; callbacks run on the requesting thread.
#pragma once

#include <windows.h>

#include <array>
#include <cstdint>
#include <memory>
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

// How long a request that has given up (the caller stopped waiting) may
// take to write its Cancel. It does not wait for the worker's End: the
// connection reads past it at its next use.
inline constexpr DWORD kCancelGraceMs = 30;
// How often a waiting request asks its caller whether to go on waiting,
// unless the caller asks to be asked more often.
inline constexpr DWORD kWaitPollMs = 20;
// The longest any wait lasts without a byte from the worker, whatever the
// caller's patience: a worker that says nothing for this long is stuck. (A
// synthesis may queue behind other programs' for the engine.)
inline constexpr DWORD kWorkerSilenceMs = 30000;
// How long a caller without a keep-waiting callback waits for the answer to
// Hello, InfoRequest or Shutdown, which the worker gives at once.
inline constexpr DWORD kWorkerAnswerMs = 5000;
// How long a connection left behind a cancelled stream may keep the next
// request waiting for that stream's End (or the marker's answer). A worker
// ends a cancelled stream within one engine segment; one that says nothing
// for longer is not waited for: the connection is closed and another taken.
inline constexpr DWORD kCatchUpSilenceMs = 250;
// How long RequestShutdown waits for the worker to take its Shutdown.
inline constexpr DWORD kShutdownAnswerMs = 2000;
// Idle connections a client keeps for its next requests.
inline constexpr size_t kMaxIdleConnections = 4;

// Patience that is only a time limit, for callers with nobody to ask: pass
// KeepWaitingUntil as the keep-waiting callback and a WaitLimit as its
// context, or call it from a callback of your own.
struct WaitLimit {
  explicit WaitLimit(DWORD ms) : until(GetTickCount() + ms) {}
  // From now on the limit is `ms` from now (a render that made progress).
  void Restart(DWORD ms) { until = GetTickCount() + ms; }
  DWORD until;
  bool reached = false;  // set once a wait was given up for the limit
};
bool KeepWaitingUntil(void* limit);

class WorkerClient {
 public:
  // Called for every piece of 16-bit 16 kHz PCM; false asks for no more.
  using AudioCallback = bool (*)(const unsigned char* bytes, uint32_t count, void* context);
  // Asked with the request's context every kWaitPollMs (or the request's
  // own poll interval) while the request waits (for the worker, for its
  // launch, for a free pipe instance); false gives the request up (a
  // synthesis under way is sent Cancel).
  using WaitCallback = bool (*)(void* context);
  using Pauses = std::array<int32_t, 4>;

  WorkerClient();  // chooses the worker path; starts and contacts nothing
  explicit WorkerClient(std::wstring worker_path);
  WorkerClient(const WorkerClient&) = delete;
  WorkerClient& operator=(const WorkerClient&) = delete;
  ~WorkerClient();  // closes its connections; the worker keeps running

  // True when the worker ended the synthesis with End, also after the
  // callback refused audio (a refusal only cancels this synthesis); false
  // when the worker failed, did not answer or the caller stopped waiting.
  // `pauses` null sends -1 for all four. A text the worker would refuse for
  // its size is refused here (false, nothing sent). `poll_ms`: how often
  // `keep_waiting` is asked while audio is awaited; below the system timer's
  // tick the wait wakes on a high-resolution timer (or, where the system has
  // none, with the timer resolution raised for as long as the wait lasts).
  bool RequestSynthesis(const char* text, uint32_t length, double duration_factor,
                        double pitch_factor, double gain_factor, bool tags, const Pauses* pauses,
                        AudioCallback callback, void* context, WaitCallback keep_waiting = nullptr,
                        DWORD poll_ms = kWaitPollMs);
  // True when a complete InfoReply arrived; `out` is zero-filled otherwise.
  // Without `keep_waiting` the answer is waited for kWorkerAnswerMs; with
  // it, for as long as the caller goes on waiting (kWorkerSilenceMs at most).
  bool RequestInfo(WorkerInfo& out, WaitCallback keep_waiting = nullptr, void* context = nullptr);
  // Asks a running worker to exit (waiting kShutdownAnswerMs for it to take
  // the request) and waits up to 2 seconds for it to go.
  void RequestShutdown();

  const std::wstring& worker_path() const { return worker_path_; }

  class Connection;  // one pipe connection to the worker
  class Patience;    // how long one request goes on waiting
  class FineTimer;   // waits that wake more often than the system's timer tick

 private:
  bool EnsureWorkerRunning(Patience& patience);
  // A new connection that has passed the handshake, launching or replacing
  // the worker as needed; null on failure or when the caller stopped waiting.
  std::unique_ptr<Connection> Connect(Patience& patience);
  // An idle connection (`reused`) or a new one. An idle connection whose
  // last synthesis was cancelled is brought back in step first.
  std::unique_ptr<Connection> Acquire(bool& reused, Patience& patience);
  // Keeps a connection whose last exchange ended in step; closes any other.
  void Release(std::unique_ptr<Connection> connection);
  void CloseIdle();

  // Requests of several threads run at once, each on a connection of its
  // own, and no lock is held while anything waits: a caller whose callback
  // blocks (a paused output) or whose worker is slow to answer holds up
  // nobody else, and every waiting caller is asked whether to go on. Two
  // threads that find no worker both try to launch one; the launch mutex
  // lets only one start it. Connections that are free wait here for the
  // next request.
  std::mutex idle_lock_;
  std::vector<std::unique_ptr<Connection>> idle_;
  std::wstring worker_path_;
};

}  // namespace Quellmar
