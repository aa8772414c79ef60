#include "worker/connection.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "testing/alloc_failure.h"
#include "worker/memory_transport.h"

namespace Quellmar::worker {
namespace {
using namespace protocol;

// Answers a request with samples_per_char samples for each character of its
// text, so that a test's text decides how much audio comes back.
class FakeServices : public Services {
 public:
  size_t samples_per_char = 1;
  int touches = 0, syntheses = 0, shutdowns = 0;
  std::string last_text;
  void Touch() override { ++touches; }
  std::vector<int16_t> Synthesize(const SynthesisRequest& r) override {
    ++syntheses;
    last_text = std::string(r.text);
    std::vector<int16_t> s(r.text.size() * samples_per_char);
    for (size_t i = 0; i < s.size(); ++i) s[i] = static_cast<int16_t>(i);
    return s;
  }
  WorkerInfo Info() override { return MakeWorkerInfo(8000, 8, 7, 1, "stand-in 1.0"); }
  void Shutdown() override { ++shutdowns; }
};

struct Reply {
  uint32_t type;
  std::vector<uint8_t> payload;
};

std::vector<Reply> Replies(const std::vector<uint8_t>& out) {
  std::vector<Reply> r;
  size_t at = 0;
  while (at + 8 <= out.size()) {
    Header h = DecodeHeader(&out[at]);
    EXPECT_LE(at + 8 + h.length, out.size());
    r.push_back({h.type, std::vector<uint8_t>(out.begin() + at + 8, out.begin() + at + 8 + h.length)});
    at += 8 + h.length;
  }
  EXPECT_EQ(at, out.size());
  return r;
}

std::vector<uint8_t> Concat(std::initializer_list<std::vector<uint8_t>> parts) {
  std::vector<uint8_t> all;
  for (const auto& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

std::vector<uint8_t> Request(const std::string& text) {
  return BuildMessage(kSynthesizeRequest, BuildSynthesizeRequestPayload(text, RenderParams{}));
}

std::vector<Reply> Serve(const std::vector<uint8_t>& input, FakeServices& services,
                         MemoryTransport** keep = nullptr) {
  // Kept until the next call so that a test can inspect the transport.
  static std::unique_ptr<MemoryTransport> last;
  last = std::make_unique<MemoryTransport>(input);
  ServeConnection(*last, services);
  if (keep) *keep = last.get();
  return Replies(last->output());
}

TEST(Connection, HandshakeInfoAndStrayCancel) {
  FakeServices s;
  auto r = Serve(Concat({BuildMessage(kHello, std::vector<uint8_t>{1, 2}),  // payload ignored
                         BuildMessage(kInfoRequest), BuildMessage(kCancel)}),
                 s);
  ASSERT_EQ(r.size(), 3u);
  EXPECT_EQ(r[0].type, kVersionReply);
  EXPECT_EQ(GetU32(r[0].payload.data()), 1u);
  EXPECT_EQ(r[1].type, kInfoReply);
  ASSERT_EQ(r[1].payload.size(), 52u);
  EXPECT_EQ(GetU32(r[1].payload.data()), 16000u);
  EXPECT_EQ(r[2].type, kAck);
  EXPECT_EQ(s.touches, 3);
}

TEST(Connection, SynthesisEdgeCases) {
  FakeServices s;
  s.samples_per_char = 10000;  // two characters: 20,000 samples = 40,000 bytes
  std::vector<uint8_t> short47(8 + 47);
  EncodeHeader(short47.data(), Header{kSynthesizeRequest, 47});
  std::vector<uint8_t> too_long_n = Request("abc");
  PutU32(&too_long_n[8 + 44], 4);
  auto r = Serve(Concat({Request(""), short47, too_long_n, BuildMessage(kHello), Request("ab")}), s);
  ASSERT_GE(r.size(), 5u);
  EXPECT_EQ(r[0].type, kEnd);    // N = 0: End alone
  EXPECT_EQ(r[1].type, kError);  // 47 bytes
  EXPECT_EQ(r[2].type, kError);  // N beyond the payload...
  EXPECT_EQ(r[3].type, kVersionReply);  // ...and the connection still serves
  size_t total = 0, pieces = 0;
  for (size_t i = 4; i + 1 < r.size(); ++i) {
    ASSERT_EQ(r[i].type, kAudioPiece);
    uint32_t n = GetU32(r[i].payload.data());
    EXPECT_EQ(n + 4, r[i].payload.size());
    EXPECT_EQ(n, i + 2 < r.size() ? 8192u : 40000u - 4 * 8192u);
    total += n;
    ++pieces;
  }
  EXPECT_EQ(total, 40000u);
  EXPECT_EQ(pieces, 5u);
  EXPECT_EQ(r.back().type, kEnd);
}

TEST(Connection, TwentyThousandBytesTravelAs8192_8192_3616) {
  FakeServices s;
  s.samples_per_char = 10000;
  auto r = Serve(Request("x"), s);
  ASSERT_EQ(r.size(), 4u);
  EXPECT_EQ(GetU32(r[0].payload.data()), 8192u);
  EXPECT_EQ(GetU32(r[1].payload.data()), 8192u);
  EXPECT_EQ(GetU32(r[2].payload.data()), 3616u);
  EXPECT_EQ(r[3].type, kEnd);
}

TEST(Connection, HeaderOverTheLimitClosesWithoutAnswerOrReadingThePayload) {
  FakeServices s;
  std::vector<uint8_t> big(8 + 16, 0);
  EncodeHeader(big.data(), Header{kHello, kServerPayloadLimit + 1});
  MemoryTransport* t = nullptr;
  auto r = Serve(Concat({big, BuildMessage(kHello)}), s, &t);
  EXPECT_TRUE(r.empty());
  EXPECT_EQ(t->consumed(), 8u);

  // At the limit itself the payload is read (here it is not all there: the
  // connection ends on the failed read, still without an answer).
  EncodeHeader(big.data(), Header{kHello, kServerPayloadLimit});
  r = Serve(big, s, &t);
  EXPECT_TRUE(r.empty());
}

TEST(Connection, UnknownAndServerOnlyTypesAreErrors) {
  FakeServices s;
  auto r = Serve(Concat({BuildMessage(7), BuildMessage(1), BuildMessage(5), BuildMessage(6),
                         BuildMessage(9), BuildMessage(0xFFFFFFFFu), BuildMessage(kHello)}),
                 s);
  ASSERT_EQ(r.size(), 7u);
  for (int i = 0; i < 6; ++i) EXPECT_EQ(r[i].type, kError) << i;
  EXPECT_EQ(r[6].type, kVersionReply);
}

TEST(Connection, CancelWaitingBeforeTheFirstPieceGivesEndAlone) {
  FakeServices s;
  s.samples_per_char = 100000;
  auto r = Serve(Concat({Request("abc"), BuildMessage(kCancel), BuildMessage(kHello)}), s);
  ASSERT_EQ(r.size(), 2u);
  EXPECT_EQ(r[0].type, kEnd);
  EXPECT_EQ(r[1].type, kVersionReply);
}

TEST(Connection, OtherMessagesDuringStreamingAreDroppedUnanswered) {
  FakeServices s;
  s.samples_per_char = 5000;  // 10,000 bytes: two pieces
  auto r = Serve(Concat({Request("a"), BuildMessage(kHello, std::vector<uint8_t>(100, 1)),
                         BuildMessage(kInfoRequest)}),
                 s);
  // Both waiting messages were read as look-aheads, one before each piece.
  ASSERT_EQ(r.size(), 3u);
  EXPECT_EQ(r[0].type, kAudioPiece);
  EXPECT_EQ(r[1].type, kAudioPiece);
  EXPECT_EQ(r[2].type, kEnd);
}

TEST(Connection, OversizedLookAheadEndsTheConnection) {
  FakeServices s;
  s.samples_per_char = 100000;
  std::vector<uint8_t> huge(8);
  EncodeHeader(huge.data(), Header{kCancel, 0xFFFFFFF0u});
  MemoryTransport* t = nullptr;
  auto r = Serve(Concat({Request("a"), huge, BuildMessage(kHello)}), s, &t);
  EXPECT_TRUE(r.empty());
  EXPECT_EQ(t->consumed(), 8u + 49 + 8);
}

TEST(Connection, ShutdownIsAcknowledgedAndEndsTheConnection) {
  FakeServices s;
  auto r = Serve(Concat({BuildMessage(kShutdown), BuildMessage(kHello)}), s);
  ASSERT_EQ(r.size(), 1u);
  EXPECT_EQ(r[0].type, kAck);
  EXPECT_EQ(s.shutdowns, 1);
}

TEST(Connection, AFailedWriteAbandonsTheRequestWithoutEnd) {
  FakeServices s;
  s.samples_per_char = 100000;
  MemoryTransport t(Request("ab"));
  t.FailWritesAfter(2);
  ServeConnection(t, s);
  auto r = Replies(t.output());
  ASSERT_EQ(r.size(), 2u);
  EXPECT_EQ(r[1].type, kAudioPiece);
}

}  // namespace
}  // namespace Quellmar::worker

namespace Quellmar::worker {
namespace {
using namespace protocol;

// A transport that says, like a pipe between exchanges, that nothing more
// has come once its input is used up.
class PartedTransport : public MemoryTransport {
 public:
  using MemoryTransport::MemoryTransport;
  bool MessageWaiting() override { return consumed() < total_; }
  bool Peek(uint32_t& available) override {
    available = static_cast<uint32_t>(total_ - consumed());
    return true;
  }
  void SetTotal(size_t n) { total_ = n; }

 private:
  size_t total_ = 0;
};

TEST(Connection, ServingWhatHasArrivedReturnsIdleWithoutWaiting) {
  FakeServices s;
  std::vector<uint8_t> in = Concat({BuildMessage(kHello), Request("ab"), BuildMessage(kShutdown)});
  PartedTransport t(in);
  t.SetTotal(in.size() - 8);  // the Shutdown has not come yet
  EXPECT_EQ(ServeWaiting(t, s), Served::kIdle);
  EXPECT_EQ(s.syntheses, 1);
  EXPECT_EQ(s.shutdowns, 0);
  t.SetTotal(in.size());
  EXPECT_EQ(ServeWaiting(t, s), Served::kOver);
  EXPECT_EQ(s.shutdowns, 1);
  auto r = Replies(t.output());
  ASSERT_EQ(r.size(), 4u);  // VersionReply, a piece, End, Ack
  EXPECT_EQ(r[2].type, kEnd);
  EXPECT_EQ(r[3].type, kAck);
}

TEST(Connection, AFailedAllocationAnywhereEndsThatConnectionOnly) {
  // Every kind of exchange, ending in a stream of five pieces (with all
  // of the input waiting at once, a message after the request would stop it).
  FakeServices s;
  s.samples_per_char = 5000;
  const std::vector<uint8_t> input =
      Concat({BuildMessage(kHello), BuildMessage(kCancel), BuildMessage(kInfoRequest),
              BuildMessage(7), Request("abcd")});
  MemoryTransport reference(input);
  ServeConnection(reference, s);
  const std::vector<uint8_t> whole = reference.output();
  ASSERT_EQ(Replies(whole).size(), 10u);

  long n = 0;
  for (;; ++n) {
    MemoryTransport t(input);
    FakeServices services;
    services.samples_per_char = 5000;
    bool fired;
    {
      testing::FailAllocation fail(n);
      // Noexcept: an exception getting out would end this program.
      if (n % 2) {
        ServeConnection(t, services);
      } else {
        ServeWaiting(t, services);
      }
      fired = fail.fired();
    }
    if (!fired) break;
    // What went out before the failure is whole messages, in step with the
    // conversation as it goes without failure.
    const std::vector<uint8_t>& out = t.output();
    ASSERT_LE(out.size(), whole.size());
    EXPECT_TRUE(std::equal(out.begin(), out.end(), whole.begin())) << "allocation " << n;
    Replies(out);
    // The next connection is served in full.
    MemoryTransport next(input);
    FakeServices again;
    again.samples_per_char = 5000;
    ServeConnection(next, again);
    EXPECT_EQ(next.output(), whole);
  }
  EXPECT_GT(n, 15);
}

}  // namespace
}  // namespace Quellmar::worker
