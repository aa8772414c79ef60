// One client connection served by a thread that may wait for its client:
// the session's state machine driven by blocking calls over an abstract
// message stream. The worker itself drives sessions from completions (see
// pipe_connection.h); this form serves programs that stand in for the
// worker in tests.
#pragma once

#include <cstdint>
#include <vector>

#include "worker/protocol.h"

namespace Quellmar::worker {

// The connection's end of the stream.
class Transport {
 public:
  virtual ~Transport() = default;

  enum class Next { kMessage, kClosed, kTooLong };
  // Blocks for the next whole message. kTooLong: its header announced more
  // than kServerPayloadLimit (the payload is not read); kClosed: the stream
  // broke or ended.
  virtual Next NextMessage(protocol::Header& header, std::vector<uint8_t>& payload) = 0;

  enum class Poll { kNothing, kMessage, kBroken, kTooLong };
  // The look-ahead before each piece of a stream: takes a message that has
  // arrived (its payload is dropped), or reports that none has.
  virtual Poll PollMessage(protocol::Header& header) = 0;

  // Writes all bytes; false on failure.
  virtual bool WriteAll(const void* data, size_t size) = 0;
};

// Reads a payload of `length` bytes. The buffer grows with the bytes that
// actually arrive, so a header that announces 64 MiB and sends little costs
// little. `read` is bool(void*, size_t).
template <typename ReadFn>
bool ReadPayload(ReadFn&& read, uint32_t length, std::vector<uint8_t>& payload);

// What the connection asks of the rest of the program.
class Services {
 public:
  virtual ~Services() = default;
  // A message header arrived or the client went away.
  virtual void Touch() = 0;
  // Synthesises and renders one request: 16-bit PCM at 16000 Hz, possibly
  // none (the connection then answers End alone).
  virtual std::vector<int16_t> Synthesize(const protocol::SynthesisRequest& request) = 0;
  virtual protocol::WorkerInfo Info() = 0;
  // A client asked the worker to exit; called after the Ack was sent.
  virtual void Shutdown() = 0;
};

// Serves one connection until the client leaves, the stream breaks, a
// header announces too much, or the client asks for shutdown: one message
// per write, and a look for a Cancel before each piece. Nothing is thrown.
void ServeConnection(Transport& transport, Services& services) noexcept;

template <typename ReadFn>
bool ReadPayload(ReadFn&& read, uint32_t length, std::vector<uint8_t>& payload) {
  constexpr size_t kStep = size_t{1} << 20;
  payload.clear();
  try {
    size_t done = 0;
    while (done < length) {
      size_t n = length - done < kStep ? length - done : kStep;
      payload.resize(done + n);
      if (!read(payload.data() + done, n)) return false;
      done += n;
    }
  } catch (...) {  // std::bad_alloc
    return false;
  }
  return true;
}

}  // namespace Quellmar::worker
