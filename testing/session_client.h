// A worker session with a client in memory, for tests of the session and of
// what feeds it: the client's bytes go in whole or cut, its writes are taken
// as a client that reads everything would take them, and the messages it got
// are read back.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "worker/protocol.h"
#include "worker/session.h"

namespace Quellmar::testing {

struct Reply {
  uint32_t type;
  std::vector<uint8_t> payload;
};

inline std::vector<Reply> Replies(const std::vector<uint8_t>& out) {
  std::vector<Reply> r;
  size_t at = 0;
  while (at + protocol::kHeaderBytes <= out.size()) {
    protocol::Header h = protocol::DecodeHeader(&out[at]);
    EXPECT_LE(at + protocol::kHeaderBytes + h.length, out.size());
    r.push_back(
        {h.type, std::vector<uint8_t>(out.begin() + at + protocol::kHeaderBytes,
                                      out.begin() + at + protocol::kHeaderBytes + h.length)});
    at += protocol::kHeaderBytes + h.length;
  }
  EXPECT_EQ(at, out.size()) << "a message cut short";
  return r;
}

inline std::vector<uint32_t> Types(const std::vector<Reply>& r) {
  std::vector<uint32_t> t;
  for (const Reply& m : r) t.push_back(m.type);
  return t;
}

inline std::vector<uint8_t> Request(const std::string& text, RenderParams params = {}) {
  return protocol::BuildMessage(protocol::kSynthesizeRequest,
                                protocol::BuildSynthesizeRequestPayload(text, params));
}

// A session with a client that reads all it is sent (unless told to stop)
// and a synthesis that makes samples_per_char samples per character at once.
struct Client {
  explicit Client(worker::SessionLimits limits = {}, size_t cap = worker::kClientMemoryCap)
      : budget(cap),
        session(budget, protocol::MakeWorkerInfo(8000, 8, 7, 1, "stand-in 1.0"), 0, limits) {}

  // Sends `bytes`, `cut` at a time, the worker running between reads.
  void Send(const std::vector<uint8_t>& bytes, size_t cut = SIZE_MAX) {
    for (size_t at = 0; at < bytes.size() && !session.over();) {
      size_t n = std::min(cut, bytes.size() - at);
      ASSERT_EQ(session.Receive(std::span(bytes).subspan(at, n), now), n);
      at += n;
      Run();
    }
  }
  void Run() {
    for (bool moved = true; moved && !session.over();) {
      moved = false;
      if (std::optional<worker::SynthesisJob> job = session.TakeJob()) {
        jobs.push_back(*job);
        if (synthesize) Synthesize(job->id, job->text.size() * samples_per_char);
        moved = true;
      }
      if (reading) moved |= Take();
    }
  }
  void Synthesize(uint64_t id, size_t n) {
    std::vector<int16_t> s(n);
    for (size_t i = 0; i < n; ++i) s[i] = static_cast<int16_t>(i * 7);
    session.OnAudio(id, std::move(s));
    session.OnSynthesisEnd(id);
  }
  // The client takes one write.
  bool Take() {
    std::span<const uint8_t> w = session.BeginWrite(now);
    if (w.empty()) return false;
    out.insert(out.end(), w.begin(), w.end());
    session.OnWritten(w.size(), now);
    return true;
  }
  std::vector<Reply> Received() {
    std::vector<Reply> r = Replies(out);
    out.clear();
    return r;
  }

  worker::MemoryBudget budget;
  worker::Session session;
  uint32_t now = 0;
  size_t samples_per_char = 1;
  bool synthesize = true;
  bool reading = true;
  std::vector<uint8_t> out;
  std::vector<worker::SynthesisJob> jobs;
};

}  // namespace Quellmar::testing
