// One client connection of the worker, as a loop over an abstract byte
// stream: the pipe in the worker, a memory buffer in tests and the fuzzer.
#pragma once

#include <cstdint>
#include <vector>

#include "worker/protocol.h"

namespace Quellmar::worker {

// The connection's end of the stream. Every call blocks until it is done.
class Transport {
 public:
  virtual ~Transport() = default;
  // Reads exactly `size` bytes; false on a failed or empty read.
  virtual bool ReadExact(void* data, size_t size) = 0;
  // Writes all bytes; false on failure.
  virtual bool WriteAll(const void* data, size_t size) = 0;
  // How many bytes are waiting to be read, without reading them.
  virtual bool Peek(uint32_t& available) = 0;
};

// What the connection asks of the rest of the worker.
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
// header announces too much, or the client asks for shutdown.
void ServeConnection(Transport& transport, Services& services);

}  // namespace Quellmar::worker
