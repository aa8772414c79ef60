// A blocking Transport over one connected pipe instance, for a program that
// serves a connection on a thread of its own (ServeConnection).
//
// The look-ahead before each piece of a stream keeps one read of the next
// header outstanding and glances at whether it has finished, instead of
// asking the pipe each time (a call that costs about 0.1 ms under Wine).
// When the stream ends, that read simply becomes the read of the next
// message, so nothing is lost or read twice.
//
// The instances are created for overlapped operation (so that accepting can
// wait), which obliges every read and write to carry an OVERLAPPED; each is
// waited for, so the connection works as if blocking.
#pragma once

#include <windows.h>

#include "common/win_handles.h"
#include "worker/connection.h"

namespace Quellmar::worker {

class PipeTransport : public Transport {
 public:
  explicit PipeTransport(HANDLE pipe);
  PipeTransport(const PipeTransport&) = delete;
  PipeTransport& operator=(const PipeTransport&) = delete;
  // Ends the connection: flushes and disconnects the instance (which also
  // ends a read still outstanding) and waits for that read.
  ~PipeTransport() override;

  Next NextMessage(protocol::Header& header, std::vector<uint8_t>& payload) override;
  Poll PollMessage(protocol::Header& header) override;
  bool WriteAll(const void* data, size_t size) override;

 protected:
  // One ReadFile or WriteFile, waited for; the bytes moved, 0 on failure.
  DWORD Transfer(HANDLE event, bool write, void* data, DWORD size);
  bool ReadExact(void* data, size_t size);

 private:
  enum class Ahead { kPending, kReady, kBroken };
  // Keeps a read of the next header outstanding and collects what it
  // brings, waiting for the client only when `wait`. A header that arrives
  // in parts is put together without ever blocking a glance: kReady only
  // once all 8 bytes are in `header_`.
  Ahead AdvanceHeader(bool wait);
  Ahead Broken() {
    broken_ = true;
    return Ahead::kBroken;
  }

  HANDLE pipe_;
  unique_kernel_handle read_event_;
  unique_kernel_handle write_event_;
  unique_kernel_handle ahead_event_;
  // The outstanding read of (the rest of) the next header, if any.
  bool ahead_pending_ = false;
  OVERLAPPED ahead_{};
  uint8_t ahead_bytes_[protocol::kHeaderBytes] = {};
  size_t ahead_got_ = 0;
  // A whole header taken by a glance for the next NextMessage.
  bool header_ready_ = false;
  bool broken_ = false;
  protocol::Header header_;
};

}  // namespace Quellmar::worker
