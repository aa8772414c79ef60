// One client connection of the worker as a state machine driven by
// completions: bytes that a read brought, a write that finished, audio from
// a synthesis, the clock. It never waits and calls nothing; its driver (the
// pipe and the system thread pool in the worker, a loop in tests and the
// fuzzer) asks it what to read into, what to write and what to synthesise.
//
// The client is always listened to, also while its audio streams, so a
// Cancel, a disconnection or a message that never ends is seen at once.
// Audio waits here until the client takes it: a client that stops reading
// pauses its own stream and costs no thread; the memory it holds is charged
// to the worker's budget, and the clock ends what takes too long.
//
// A synthesis hands its audio in as it has it (OnAudio, any number of
// times, then OnSynthesisEnd), and looks at AudioWanted between pieces of
// its work to stop early after a Cancel; the audio goes out in pieces of
// 8192 bytes as soon as each is whole, never held back for the rest. Where
// the producer pauses (the engine's next segment is still being made) it
// says so with Flush, and what it handed in goes out at once, the last
// piece shorter.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "worker/limits.h"
#include "worker/protocol.h"

namespace Quellmar::worker {

// Bytes that the connections of a worker hold for their clients, capped.
class MemoryBudget {
 public:
  explicit MemoryBudget(size_t cap) : cap_(cap) {}
  // False, charging nothing, when `n` more would exceed the cap.
  bool TryCharge(size_t n);
  void Release(size_t n) { held_.fetch_sub(n); }
  size_t held() const { return held_.load(); }
  size_t cap() const { return cap_; }

 private:
  std::atomic<size_t> held_{0};
  const size_t cap_;
};

struct SessionLimits {
  uint32_t message_ms = kMessageLimitMs;
  uint32_t stall_ms = kStallLimitMs;
  // A write carries whole messages up to about this many bytes (at least one).
  size_t write_bytes = 4 * (protocol::kHeaderBytes + 4 + protocol::kMaxPieceBytes);
};

// One synthesis the client asked for.
struct SynthesisJob {
  uint64_t id = 0;
  RenderParams params;
  std::string text;  // c_str() is the engine's NUL-terminated copy
};

// Why a session is over.
enum class Ending : uint8_t {
  kOpen,
  kClientLeft,   // the client closed its end, or a read or write failed
  kTooLong,      // a header announced more than kServerPayloadLimit
  kSlowMessage,  // a message begun was not whole within message_ms
  kStalled,      // the client read nothing for stall_ms while bytes waited for it
  kOutOfMemory,  // what the client sent or asked for did not fit the budget
  kEvicted,      // it read nothing for a while when others needed the memory it held
  kShutdown,     // the client asked the worker to exit; its Ack has been written
};

// What became of audio handed to the session.
enum class Delivery : uint8_t {
  kQueued,
  kNotWanted,  // cancelled, or the connection is over: stop producing
  kRefused,    // no room in the budget: the request is answered with Error
               // (or, after a piece went out, the connection ends)
};

// How a producer hands audio over.
enum class AudioMark : uint8_t {
  kMore,   // more follows at once: only whole pieces go out
  kFlush,  // it pauses here (the next engine segment is being made): all of it goes out
  kLast,   // the synthesis has ended
};

class Session {
 public:
  Session(MemoryBudget& budget, const protocol::WorkerInfo& info, uint32_t now,
          SessionLimits limits = {});
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  // Where the next read should put its bytes; empty while a read is in
  // flight, while answers wait for a client that does not take them, and
  // once over. The span stays valid until OnRead or OnReadFailed.
  std::span<uint8_t> BeginRead();
  // The read brought `n` bytes; 0 means the client closed its end.
  void OnRead(size_t n, uint32_t now);
  void OnReadFailed();
  // Copies `bytes` in through BeginRead/OnRead for as long as the session
  // reads; how many it took.
  size_t Receive(std::span<const uint8_t> bytes, uint32_t now);

  // The bytes to write next, whole messages; empty when a write is in
  // flight or nothing waits. Valid and unchanged until OnWritten or
  // OnWriteFailed (after a partial write the rest comes back next time).
  std::span<const uint8_t> BeginWrite(uint32_t now);
  void OnWritten(size_t n, uint32_t now);
  void OnWriteFailed();

  // A synthesis to run, once each. The next one is handed out only after
  // the previous one's OnSynthesisEnd.
  std::optional<SynthesisJob> TakeJob();
  // Whether `job`'s audio is still wanted: false after a Cancel, a refusal,
  // or once over. A producer looks between pieces of its work.
  bool AudioWanted(uint64_t job) const;
  // Audio of `job`, appended to its stream. Never waits.
  Delivery OnAudio(uint64_t job, std::vector<int16_t> samples);
  // What `job` has handed in so far may go out now, in a shorter piece
  // if need be, rather than wait to fill one.
  void Flush(uint64_t job);
  // `job` has produced all it will; its stream ends once its audio is out.
  void OnSynthesisEnd(uint64_t job);
  // OnAudio (when there are samples), then Flush or OnSynthesisEnd as
  // `mark` says. kNotWanted also for no samples once the audio is not wanted.
  Delivery Hand(uint64_t job, std::vector<int16_t> samples, AudioMark mark);

  // Applies the time limits.
  void OnTick(uint32_t now);
  // How long the client has taken nothing of a write in flight (0 when none).
  uint32_t UnreadFor(uint32_t now) const;
  // Ends the session to free what it holds for others.
  void Evict() { Fail(Ending::kEvicted); }

  bool over() const { return ending_ != Ending::kOpen; }
  Ending ending() const { return ending_; }
  bool reading() const { return read_in_flight_; }
  bool writing() const { return write_in_flight_; }
  // Bytes charged to the budget.
  size_t held_bytes() const {
    return payload_charge_ + audio_charge_ + pending_charge_ + running_charge_;
  }

 private:
  template <typename Work>
  bool Guarded(Work&& work) noexcept;
  void Parse(uint32_t now);
  bool MayStartMessage() const;
  void Complete();
  void Dispatch();
  void Reply(std::vector<uint8_t> message);
  void StartSynthesis();
  bool GrowPayload(size_t size);
  void FreePayload();
  void DropAudio();
  void AppendPieces(std::vector<uint8_t>& out, size_t limit);
  void Fail(Ending why);

  MemoryBudget& budget_;
  const protocol::WorkerInfo info_;
  const SessionLimits limits_;
  Ending ending_ = Ending::kOpen;
  bool closing_ = false;  // Shutdown acknowledged: write what waits, read no more

  // Input: reads land in the inbox, or straight in a long payload.
  std::unique_ptr<uint8_t[]> inbox_;
  size_t inbox_begin_ = 0, inbox_end_ = 0;
  bool read_in_flight_ = false;
  bool read_direct_ = false;
  uint8_t header_bytes_[protocol::kHeaderBytes] = {};
  size_t header_got_ = 0;
  bool in_payload_ = false;
  protocol::Header header_;
  uint32_t payload_got_ = 0;
  bool keep_payload_ = false;  // a request's payload is kept, any other skipped
  uint64_t message_job_ = 0;   // the synthesis the message began in, if any
  std::vector<uint8_t> payload_;
  size_t payload_charge_ = 0;
  bool message_open_ = false;
  uint32_t message_started_ = 0;

  // Output.
  std::deque<std::vector<uint8_t>> replies_;
  size_t replies_bytes_ = 0;
  std::vector<uint8_t> writing_;
  size_t written_ = 0;
  bool write_in_flight_ = false;
  uint32_t write_progress_ = 0;

  // The synthesis exchange, from its request until its End is written.
  bool exchange_ = false;
  bool cancelled_ = false;
  bool refused_ = false;
  bool piece_sent_ = false;
  bool synthesis_done_ = false;
  uint64_t exchange_job_ = 0;
  uint64_t next_job_ = 1;
  std::optional<SynthesisJob> job_;  // not yet taken
  size_t pending_charge_ = 0;
  uint64_t job_running_ = 0;  // taken and not ended; 0 when none
  size_t running_charge_ = 0;
  std::deque<std::vector<int16_t>> audio_;
  size_t audio_offset_ = 0;   // bytes of audio_.front() already cut into pieces
  size_t audio_bytes_ = 0;    // not yet cut
  size_t flushed_bytes_ = 0;  // of those, how many were flushed: they may go in a short piece
  size_t audio_charge_ = 0;
};

}  // namespace Quellmar::worker
