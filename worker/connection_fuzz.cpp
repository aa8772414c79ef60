// Arbitrary bytes from a client, through the worker's whole connection loop.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "worker/connection.h"
#include "worker/memory_transport.h"

namespace {
using namespace Quellmar;

class Services : public worker::Services {
 public:
  void Touch() override {}
  std::vector<int16_t> Synthesize(const protocol::SynthesisRequest& r) override {
    // Bounded audio whose size depends on the request.
    size_t n = (r.text.size() % 64) * 700;
    return std::vector<int16_t>(n, static_cast<int16_t>(r.params.tags));
  }
  protocol::WorkerInfo Info() override { return protocol::MakeWorkerInfo(8000, 8, 7, 1, "fuzz"); }
  void Shutdown() override {}
};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  worker::MemoryTransport t(std::vector<uint8_t>(data, data + size));
  Services s;
  worker::ServeConnection(t, s);
  // Client-side parsers over the same bytes.
  std::span<const uint8_t> bytes(data, size);
  std::span<const uint8_t> audio;
  protocol::ParseAudioPiece(bytes, audio);
  protocol::WorkerInfo info;
  protocol::ParseInfoReply(bytes, info);
  uint32_t v;
  protocol::ParseVersionReply(bytes, v);
  return 0;
}
