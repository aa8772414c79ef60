// One instance of the worker's pipe, from listening to closed: its connect,
// reads and writes are overlapped and completed through the system thread
// pool's I/O object, which binds the instance to the pool's completion port.
// So no thread ever waits for a client, and an operation outlives the
// thread that started it (the system cancels a thread's unbound I/O when
// the thread exits, and the pool retires idle threads).
//
// A connected instance drives a Session: every completion is handed to it
// under the connection's lock, and the read and write it asks for next are
// started at once. One read is always outstanding, so a Cancel or a
// disconnection is seen however busy the stream is.
#pragma once

#include <windows.h>

#include <memory>
#include <mutex>
#include <optional>

#include "common/win_handles.h"
#include "worker/session.h"

namespace Quellmar::worker {

class PipeConnection;

// What a connection asks of the worker. Never called under a connection's
// lock; nothing but Synthesize may throw.
class ConnectionHost {
 public:
  virtual ~ConnectionHost() = default;
  virtual MemoryBudget& budget() = 0;
  virtual const protocol::WorkerInfo& info() = 0;
  virtual const SessionLimits& limits() = 0;
  // A client connected to `c`, which listens no more. False refuses it
  // (the instance is closed at once).
  virtual bool Accept(PipeConnection& c) = 0;
  // `c` stopped listening without a client.
  virtual void ListenFailed(PipeConnection& c) = 0;
  // An accepted client's connection is over.
  virtual void ClientGone(PipeConnection& c, Ending why) = 0;
  // `c`'s instance is closed; the worker may forget it.
  virtual void Closed(PipeConnection& c) = 0;
  virtual void Synthesize(std::shared_ptr<PipeConnection> c, SynthesisJob job) = 0;
  // Bytes came from a client.
  virtual void Touch() = 0;
};

class PipeConnection : public std::enable_shared_from_this<PipeConnection> {
  struct Key {  // made only by Create
    explicit Key() = default;
  };

 public:
  // Takes over a pipe instance; null when its I/O object cannot be made.
  static std::shared_ptr<PipeConnection> Create(ConnectionHost& host, unique_file instance,
                                                PTP_CALLBACK_ENVIRON pool);
  PipeConnection(Key, ConnectionHost& host, unique_file instance);
  ~PipeConnection();
  PipeConnection(const PipeConnection&) = delete;
  PipeConnection& operator=(const PipeConnection&) = delete;

  // Starts listening for a client. False (ListenFailed has then been
  // called) when the instance cannot listen.
  bool Listen();
  // Applies the session's time limits.
  void Tick();
  // See Session::UnreadFor and Session::Evict.
  uint32_t UnreadFor(uint32_t now);
  void Evict();

  // The synthesis side, from a worker thread.
  bool AudioWanted(uint64_t job);
  // Audio of `job`: see Session::Hand. Never waits, and leaves the writing
  // to the pool.
  Delivery Deliver(uint64_t job, std::vector<int16_t> samples, AudioMark mark);

 private:
  struct Op : OVERLAPPED {
    enum Kind { kConnect, kRead, kWrite } kind;
    // The connection lives at least as long as its operations.
    std::shared_ptr<PipeConnection> keep;
  };
  // What to do once the lock is released.
  struct After {
    std::optional<SynthesisJob> job;
    std::optional<Ending> gone;
    bool closed = false;
    bool touched = false;
    bool resume = false;  // more may be done at once: on another turn of the pool
  };
  enum class Started { kPending, kDone, kFailed };

  static void CALLBACK OnIo(PTP_CALLBACK_INSTANCE, void* context, void* overlapped, ULONG result,
                            ULONG_PTR bytes, PTP_IO);
  // Goes on where a turn stopped so that others could be served.
  static void CALLBACK Resume(PTP_CALLBACK_INSTANCE, void* context);
  void Connected();
  // Starts what the session wants and ends what is over. Under the lock.
  After Pump();
  void Finish(After after);
  // Starts a read or write. kDone: it finished at once, `moved` bytes (no
  // completion follows); kPending: its completion comes through the pool.
  Started Start(Op& op, std::span<const uint8_t> bytes, DWORD& moved);

  ConnectionHost& host_;
  std::mutex lock_;
  unique_file pipe_;
  PTP_CALLBACK_ENVIRON pool_ = nullptr;
  PTP_IO io_ = nullptr;
  // Whether an operation done at once skips the pool (no hop to another thread).
  bool inline_done_ = false;
  std::optional<Session> session_;
  bool gone_ = false;
  Op connect_{}, read_{}, write_{};
};

}  // namespace Quellmar::worker
