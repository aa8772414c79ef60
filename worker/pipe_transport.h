// The connection's stream over one connected pipe instance.
//
// A reader thread of the connection reads whole messages, one ahead at most,
// so that the look-ahead before each piece of a stream is a glance at memory
// instead of a call into the pipe: a stream of audio costs one write per
// piece, and a Cancel is still seen before the next piece once it is in.
//
// The instances are created for overlapped operation (so that accepting can
// wait), which obliges every read and write to carry an OVERLAPPED; each is
// waited for, so both threads work as if blocking.
#pragma once

#include <windows.h>

#include <condition_variable>
#include <mutex>
#include <thread>

#include "common/win_handles.h"
#include "worker/connection.h"

namespace Quellmar::worker {

class PipeTransport : public Transport {
 public:
  explicit PipeTransport(HANDLE pipe);
  PipeTransport(const PipeTransport&) = delete;
  PipeTransport& operator=(const PipeTransport&) = delete;
  // Ends the connection: flushes and disconnects the instance (which stops
  // the reader) and waits for the reader. The caller closes the handle.
  ~PipeTransport() override;

  Next NextMessage(protocol::Header& header, std::vector<uint8_t>& payload) override;
  Poll PollMessage(protocol::Header& header) override;
  bool WriteAll(const void* data, size_t size) override;

 private:
  enum class Slot { kEmpty, kFull, kClosed, kTooLong };
  void ReaderLoop();
  // One ReadFile or WriteFile, waited for; the bytes moved, 0 on failure.
  DWORD Transfer(HANDLE event, bool write, void* data, DWORD size);
  bool ReadExact(void* data, size_t size);

  HANDLE pipe_;
  unique_kernel_handle read_event_;
  unique_kernel_handle write_event_;

  std::mutex mutex_;
  std::condition_variable changed_;
  Slot slot_ = Slot::kEmpty;
  bool stopping_ = false;
  protocol::Header header_;
  std::vector<uint8_t> payload_;
  std::thread reader_;
};

}  // namespace Quellmar::worker
