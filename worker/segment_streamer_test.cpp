#include "worker/segment_streamer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "engine_host/render.h"
#include "testing/session_client.h"

namespace Quellmar::worker {
namespace {
using namespace protocol;
using testing::Client;
using testing::Reply;
using testing::Request;
using testing::Types;
using Segments = std::vector<std::vector<uint8_t>>;

// The connection's side: a session whose client reads what it is sent
// (unless told not to) and may act before any delivery.
struct Target : AudioTarget {
  Target(Client& client, uint64_t id) : c(client), job(id) {}
  bool AudioWanted() override { return c.session.AudioWanted(job); }
  Delivery Deliver(std::vector<int16_t> samples, AudioMark mark) override {
    ++deliveries;
    if (before_delivery) before_delivery(deliveries);
    const Delivery d = c.session.Hand(job, std::move(samples), mark);
    c.Run();
    return d;
  }
  Client& c;
  uint64_t job;
  int deliveries = 0;
  std::function<void(int)> before_delivery;
};

// Engine output: stretches of silence and of random bytes.
std::vector<uint8_t> EngineBytes(size_t n, uint32_t seed) {
  std::vector<uint8_t> b(n);
  for (size_t i = 0; i < n; ++i) {
    seed = seed * 1664525u + 1013904223u;
    b[i] = (i / 3000) % 4 == 3 ? 0xFF : static_cast<uint8_t>(seed >> 24);
  }
  return b;
}

Segments Cut(const std::vector<uint8_t>& all, const std::vector<size_t>& lengths) {
  Segments s;
  size_t at = 0;
  for (size_t n : lengths) {
    s.emplace_back(all.begin() + at, all.begin() + at + n);
    at += n;
  }
  EXPECT_EQ(at, all.size());
  return s;
}

std::vector<uint8_t> Join(const Segments& segments) {
  std::vector<uint8_t> all;
  for (const auto& s : segments) all.insert(all.end(), s.begin(), s.end());
  return all;
}

std::vector<uint8_t> Rendered(const std::vector<uint8_t>& engine, const RenderParams& params) {
  const Samples s = Render(DecodeMuLaw(engine.data(), engine.size()), params);
  std::vector<uint8_t> bytes(s.size() * 2);
  if (!s.empty()) std::memcpy(bytes.data(), s.data(), bytes.size());
  return bytes;
}

// The audio of the pieces, with the type of each message in `types`.
std::vector<uint8_t> Audio(const std::vector<Reply>& replies, std::vector<uint32_t>* types) {
  std::vector<uint8_t> audio;
  for (const Reply& r : replies) {
    if (types) types->push_back(r.type);
    if (r.type != kAudioPiece) continue;
    EXPECT_LE(r.payload.size(), 4 + kMaxPieceBytes);
    audio.insert(audio.end(), r.payload.begin() + 4, r.payload.end());
  }
  return audio;
}

// A request on `c` whose engine output is `segments`, as the engine driver
// runs its segment loop. Returns how many segments the engine made before
// it was told to stop.
size_t Synthesize(Client& c, const Segments& segments, const RenderParams& params,
                  const std::function<void(Target&, size_t)>& before_segment = {}) {
  c.synthesize = false;
  c.Send(Request("text", params));
  EXPECT_FALSE(c.jobs.empty());
  Target target(c, c.jobs.back().id);
  std::unique_ptr<SegmentStreamer> s = SegmentStreamer::Create(params, target);
  size_t made = 0;
  for (const auto& segment : segments) {
    if (before_segment) before_segment(target, made);
    ++made;
    if (!s->Segment(segment.data(), segment.size())) break;
  }
  s->Finish();
  c.Run();
  return made;
}

RenderParams Stretched() {
  RenderParams p;
  p.duration_factor = 1.7;
  p.pitch_factor = 1.3;
  p.gain_factor = 1.4;
  return p;
}

// However the engine cuts its output, the client gets Render's bytes, and
// every sample the renderer could make from a segment leaves before the
// engine makes the next one.
TEST(SegmentStreamer, EveryCutOfTheEngineOutputGoesOutAtOnceAsRenderMakesIt) {
  std::vector<size_t> random_cuts;
  for (uint32_t seed = 5, left = 20000; left > 0;) {
    seed = seed * 1664525u + 1013904223u;
    const uint32_t n = std::min(left, seed >> 20);  // 0 .. 4095
    random_cuts.push_back(n);
    left -= n;
  }
  struct Row {
    const char* what;
    std::vector<size_t> lengths;
  } rows[] = {
      {"one byte at a time", std::vector<size_t>(1500, 1)},
      {"empty segments between", {0, 500, 0, 0, 1200, 0, 431, 1}},
      {"random cuts", random_cuts},
      {"the 1 MiB maximum", {size_t{1} << 20}},
  };
  for (const Row& row : rows) {
    for (const RenderParams& params : {RenderParams{}, Stretched()}) {
      size_t total = 0;
      for (size_t n : row.lengths) total += n;
      const Segments segments = Cut(EngineBytes(total, 11), row.lengths);
      Client c;
      RenderStream reference(params);
      size_t made = 0;  // by the reference, so far
      const RenderStream::Sink count = [&](const int16_t*, size_t n) {
        made += n;
        return true;
      };
      std::vector<uint8_t> got;
      std::vector<uint32_t> types;
      Synthesize(c, segments, params, [&](Target&, size_t k) {
        if (k == 0) return;
        reference.FeedMuLaw(segments[k - 1].data(), segments[k - 1].size(), count);
        const std::vector<uint8_t> now = Audio(c.Received(), &types);
        got.insert(got.end(), now.begin(), now.end());
        ASSERT_EQ(got.size(), made * 2) << row.what << ", before segment " << k;
      });
      const std::vector<uint8_t> rest = Audio(c.Received(), &types);
      got.insert(got.end(), rest.begin(), rest.end());
      EXPECT_TRUE(got == Rendered(Join(segments), params))
          << row.what << ", duration " << params.duration_factor;
      ASSERT_FALSE(types.empty());
      EXPECT_EQ(types.back(), kEnd) << row.what;
      EXPECT_EQ(c.budget.held(), 0u) << row.what;
    }
  }
}

// A Cancel anywhere in a stream ends it at the engine's next segment (or
// within the one being rendered); the session is then ready for the next
// request, whose client gets its own audio and nothing of the old.
TEST(SegmentStreamer, ACancelAnywhereStopsTheEngineAndLeavesNoAudioForTheNextRequest) {
  const Segments segments = Cut(EngineBytes(30000, 3), {2000, 2000, 2000, 2000, 2000, 20000});
  const std::vector<uint8_t> cancel = BuildMessage(kCancel);
  struct Row {
    const char* what;
    size_t before_segment;  // the Cancel comes before this segment (0: not so)
    int at_delivery;        // or before this delivery of the last segment (0: not so)
    size_t engine_made;     // segments made, the one that was stopped included
    uint32_t last;          // what the client reads last
    bool reads = true;      // the client reads as the audio comes
    size_t memory_cap = kClientMemoryCap;
  } rows[] = {
      {"before the first segment", 1, 0, 1, kEnd},
      {"between the first two", 2, 0, 2, kEnd},
      {"between the last two", 6, 0, 6, kEnd},
      {"during the last", 0, 2, 6, kEnd},
      {"after the End", 0, 0, 6, kAck},
      {"none, but the client reads nothing past the memory cap", 0, 0, 4, kError, false, 30000},
  };
  for (const Row& row : rows) {
    Client c({}, row.memory_cap);
    c.reading = row.reads;
    const size_t made = Synthesize(c, segments, RenderParams{}, [&](Target& t, size_t k) {
      if (k + 1 == row.before_segment) c.Send(cancel);
      if (k + 1 == segments.size() && row.at_delivery) {
        t.before_delivery = [&, base = t.deliveries](int n) {
          if (n - base == row.at_delivery) c.Send(cancel);
        };
      }
    });
    EXPECT_EQ(made, row.engine_made) << row.what;
    c.reading = true;
    if (row.last == kAck) c.Send(cancel);
    c.Run();
    std::vector<uint32_t> types;
    const std::vector<uint8_t> old = Audio(c.Received(), &types);
    ASSERT_FALSE(types.empty()) << row.what;
    EXPECT_EQ(types.back(), row.last) << row.what;
    const std::vector<uint8_t> whole = Rendered(Join(segments), RenderParams{});
    ASSERT_LE(old.size(), whole.size()) << row.what;
    EXPECT_TRUE(std::equal(old.begin(), old.end(), whole.begin())) << row.what;
    if (row.last != kAck) {
      EXPECT_LT(old.size(), whole.size()) << row.what;
    }

    const Segments next = Cut(EngineBytes(5000, 99), {1000, 4000});
    Synthesize(c, next, Stretched());
    types.clear();
    EXPECT_TRUE(Audio(c.Received(), &types) == Rendered(Join(next), Stretched())) << row.what;
    EXPECT_EQ(types.back(), kEnd) << row.what;
    EXPECT_EQ(c.budget.held(), 0u) << row.what;
  }
}

}  // namespace
}  // namespace Quellmar::worker
