#include "worker/session.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "testing/alloc_failure.h"
#include "testing/session_client.h"
#include "worker/connection.h"

namespace Quellmar::worker {
namespace {
using namespace protocol;
using testing::Client;
using testing::Replies;
using testing::Reply;
using testing::Request;
using testing::Types;

std::vector<uint8_t> Header8(uint32_t type, uint32_t length) {
  std::vector<uint8_t> h(kHeaderBytes);
  EncodeHeader(h.data(), Header{type, length});
  return h;
}

TEST(Session, EachMessageBetweenSynthesesGetsItsAnswer) {
  std::vector<uint8_t> short47 = Header8(kSynthesizeRequest, 47);
  short47.resize(8 + 47);
  std::vector<uint8_t> lying = Request("abc");
  PutU32(&lying[8 + 44], 4);
  const std::string t20000(10000, 'x');  // 10,000 samples a character: 20,000 bytes
  struct Row {
    const char* what;
    std::vector<uint8_t> in;
    std::vector<uint32_t> answer;
  } rows[] = {
      {"Hello, payload ignored", BuildMessage(kHello, std::vector<uint8_t>{1, 2}), {kVersionReply}},
      {"InfoRequest", BuildMessage(kInfoRequest), {kInfoReply}},
      {"a stray Cancel", BuildMessage(kCancel), {kAck}},
      {"N = 0", Request(""), {kEnd}},
      {"47 bytes", short47, {kError}},
      {"N beyond the payload", lying, {kError}},
      {"type 7", BuildMessage(7), {kError}},
      {"server types", BuildMessage(1), {kError}},
      {"type 6 with a payload", BuildMessage(6, std::vector<uint8_t>(5000, 9)), {kError}},
      {"type 2^32-1", BuildMessage(0xFFFFFFFFu), {kError}},
      {"20,000 bytes of audio", Request("x"), {kAudioPiece, kAudioPiece, kAudioPiece, kEnd}},
      {"still serving", BuildMessage(kHello), {kVersionReply}},
  };
  for (size_t cut : {SIZE_MAX, size_t{1}, size_t{5}}) {
    Client c;
    c.samples_per_char = 10000;
    for (const Row& row : rows) {
      c.Send(row.in, cut);
      std::vector<Reply> r = c.Received();
      ASSERT_EQ(Types(r), row.answer) << row.what << ", cut " << cut;
      if (row.answer[0] == kVersionReply) {
        EXPECT_EQ(GetU32(r[0].payload.data()), 1u);
      }
      if (row.answer[0] == kInfoReply) {
        ASSERT_EQ(r[0].payload.size(), kInfoReplyBytes);
        EXPECT_EQ(GetU32(r[0].payload.data()), 16000u);
      }
      if (row.answer.size() == 4) {
        std::vector<uint8_t> audio;
        for (int i = 0; i < 3; ++i) {
          EXPECT_EQ(GetU32(r[i].payload.data()) + 4, r[i].payload.size());
          audio.insert(audio.end(), r[i].payload.begin() + 4, r[i].payload.end());
        }
        EXPECT_EQ(GetU32(r[0].payload.data()), 8192u);
        EXPECT_EQ(GetU32(r[2].payload.data()), 3616u);
        ASSERT_EQ(audio.size(), 20000u);
        EXPECT_EQ(GetU32(&audio[4 * 1000]), (2000u * 7) | (2001u * 7) << 16);
      }
    }
    EXPECT_FALSE(c.session.over());
  }
}

TEST(Session, ShutdownAndOverlongHeadersEndTheConnection) {
  struct Row {
    std::vector<uint8_t> in;
    std::vector<uint32_t> answer;
    Ending ending;
  } rows[] = {
      {BuildMessage(kShutdown), {kAck}, Ending::kShutdown},
      {Header8(kHello, kServerPayloadLimit + 1), {}, Ending::kTooLong},
      // At the limit the payload is awaited.
      {Header8(kHello, kServerPayloadLimit), {}, Ending::kOpen},
  };
  for (const Row& row : rows) {
    Client c;
    std::vector<uint8_t> in = row.in;
    std::vector<uint8_t> hello = BuildMessage(kHello);
    in.insert(in.end(), hello.begin(), hello.end());
    c.Send(in);
    EXPECT_EQ(Types(c.Received()), row.answer);
    EXPECT_EQ(c.session.ending(), row.ending);
  }
}

// When the client's Cancel arrives decides what it gets, but the
// connection is always in step afterwards.
TEST(Session, CancelEndsTheStreamAndKeepsTheConnectionInStep) {
  enum When { kBeforeAudio, kAfterFirstWrite, kAfterEnd, kDuringStreamHalfHeader, kNotACancel };
  for (When when :
       {kBeforeAudio, kAfterFirstWrite, kAfterEnd, kDuringStreamHalfHeader, kNotACancel}) {
    Client c;
    c.samples_per_char = 100000;  // 200 KB: several writes
    c.synthesize = when != kBeforeAudio;
    c.reading = false;
    c.Send(Request("ab"));
    const std::vector<uint8_t> cancel = BuildMessage(kCancel);
    const std::vector<uint8_t> request = Request("xyz");
    switch (when) {
      case kBeforeAudio:
        c.Send(cancel);
        EXPECT_FALSE(c.session.AudioWanted(c.jobs[0].id));
        c.Synthesize(c.jobs[0].id, 1000);  // what the engine made regardless
        break;
      case kAfterFirstWrite:
        c.Take();
        c.Send(cancel);
        break;
      case kAfterEnd:
        while (c.Take()) {
        }
        c.Send(cancel);
        break;
      case kDuringStreamHalfHeader:
        c.Take();
        c.Send(std::vector<uint8_t>(cancel.begin(), cancel.begin() + 4));
        break;
      case kNotACancel:  // a request begun in the stream and ended after it: dropped
        c.Take();
        c.Send(std::vector<uint8_t>(request.begin(), request.begin() + 20));
        break;
    }
    c.reading = true;
    c.Run();
    std::vector<uint32_t> t = Types(c.Received());
    size_t pieces = std::count(t.begin(), t.end(), kAudioPiece);
    ASSERT_GE(t.size(), 1u);
    // Before the audio: End alone; after the first write: its four pieces;
    // otherwise all 49.
    const size_t expected_pieces[] = {0, 4, 49, 49, 49};
    EXPECT_EQ(pieces, expected_pieces[when]) << when;
    EXPECT_EQ(t.back(), when == kAfterEnd ? kAck : kEnd) << when;
    if (when == kDuringStreamHalfHeader) {
      // Its other half makes a Cancel after the stream: Ack.
      c.Send(std::vector<uint8_t>(cancel.begin() + 4, cancel.end()));
      EXPECT_EQ(Types(c.Received()), std::vector<uint32_t>{kAck});
    }
    if (when == kNotACancel) {
      c.Send(std::vector<uint8_t>(request.begin() + 20, request.end()));
      EXPECT_TRUE(c.Received().empty());
    }
    c.Send(BuildMessage(kInfoRequest));
    EXPECT_EQ(Types(c.Received()), std::vector<uint32_t>{kInfoReply}) << when;
  }
}

// However a synthesis hands its audio in, the client gets it whole and in
// order, in pieces of 8192 bytes but the last, each sent once it is whole.
TEST(Session, AudioHandedInPartsGoesOutInWholePieces) {
  std::vector<int16_t> audio(30001);
  for (size_t i = 0; i < audio.size(); ++i) audio[i] = static_cast<int16_t>(i * 13);
  for (size_t part : {size_t{1}, size_t{4095}, size_t{4096}, size_t{10000}, audio.size()}) {
    Client c;
    c.synthesize = false;
    c.Send(Request("x"));
    const uint64_t id = c.jobs.at(0).id;
    size_t cut_pieces = 0;
    for (size_t at = 0; at < audio.size(); at += part) {
      auto from = audio.begin() + at;
      c.session.OnAudio(id, std::vector<int16_t>(from, from + std::min(part, audio.size() - at)));
      c.Run();
      // Only whole pieces so far: the rest waits for more audio.
      cut_pieces = c.out.size() / (8 + 4 + 8192);
      EXPECT_EQ(cut_pieces, (at + std::min(part, audio.size() - at)) * 2 / 8192) << part;
    }
    c.session.OnSynthesisEnd(id);
    c.Run();
    std::vector<Reply> r = c.Received();
    ASSERT_EQ(r.size(), 30001 * 2 / 8192 + 2u);
    std::vector<uint8_t> got;
    for (size_t i = 0; i + 1 < r.size(); ++i) {
      EXPECT_EQ(r[i].payload.size(), i + 2 < r.size() ? 8196u : 30001 * 2 % 8192 + 4);
      got.insert(got.end(), r[i].payload.begin() + 4, r[i].payload.end());
    }
    EXPECT_EQ(r.back().type, kEnd);
    ASSERT_EQ(got.size(), audio.size() * 2);
    EXPECT_EQ(std::memcmp(got.data(), audio.data(), got.size()), 0) << part;
    EXPECT_EQ(c.budget.held(), 0u);
  }
}

TEST(Session, AClientThatDoesNotReadHoldsItsAudioAndIsNoLongerRead) {
  Client c;
  c.reading = false;
  c.samples_per_char = 50000;
  c.Send(Request("abcd"));  // 400,000 bytes
  // The first write never finishes: the client reads nothing.
  const size_t first = c.session.BeginWrite(0).size();
  EXPECT_EQ(first, 4 * (8 + 4 + 8192u));
  EXPECT_TRUE(c.session.BeginWrite(0).empty());
  // Its audio waits, charged.
  EXPECT_EQ(c.session.held_bytes(), 400000u);
  EXPECT_EQ(c.budget.held(), c.session.held_bytes());
  // Between exchanges a flood of messages stops being read once answers pile up.
  Client flood;
  flood.reading = false;
  std::vector<uint8_t> hellos;
  for (int i = 0; i < 4000; ++i) {
    std::vector<uint8_t> h = BuildMessage(kHello);
    hellos.insert(hellos.end(), h.begin(), h.end());
  }
  size_t taken = flood.session.Receive(hellos, 0);
  EXPECT_LT(taken, hellos.size());
  EXPECT_TRUE(flood.session.BeginRead().empty());
  // Once the client reads, everything flows, in order and whole.
  c.reading = flood.reading = true;
  c.session.OnWritten(first, 0);
  c.Run();
  std::vector<uint32_t> t = Types(c.Received());
  EXPECT_EQ(t.size(), 400000 / 8192 + 1 - 4 + 1u);
  EXPECT_EQ(t.back(), kEnd);
  EXPECT_EQ(c.session.held_bytes(), 0u);
  flood.Run();
  flood.Send(std::vector<uint8_t>(hellos.begin() + taken, hellos.end()), 4096);
  EXPECT_EQ(flood.Received().size(), 4000u);
}

TEST(Session, TimeLimits) {
  SessionLimits limits;
  limits.message_ms = 5000;
  limits.stall_ms = 600000;
  std::vector<uint8_t> request = Request("abc");
  struct Row {
    const char* what;
    std::vector<uint8_t> sent;
    bool stuck_write;
    uint32_t start, wait;
    Ending ending;
  } rows[] = {
      {"half a header", {2, 0, 0}, false, 0, 5000, Ending::kOpen},
      {"half a header, too long", {2, 0, 0}, false, 0, 5001, Ending::kSlowMessage},
      {"half a payload",
       {request.begin(), request.end() - 2},
       false,
       0,
       5001,
       Ending::kSlowMessage},
      {"across the tick counter's wrap", {2, 0}, false, 0xFFFFF000u, 5001, Ending::kSlowMessage},
      {"idle between messages", {}, false, 0, 0x70000000u, Ending::kOpen},
      {"a clock read just before the message began",
       {2, 0},
       false,
       1000,
       0xFFFFFFFFu,
       Ending::kOpen},
      {"a stream not read", request, true, 0, 600001, Ending::kStalled},
      {"a stream not read, within the limit", request, true, 0, 600000, Ending::kOpen},
  };
  for (const Row& row : rows) {
    Client c(limits);
    c.samples_per_char = 50000;
    c.reading = false;
    c.now = row.start;
    c.Send(row.sent);
    if (row.stuck_write) {
      ASSERT_FALSE(c.session.BeginWrite(c.now).empty());
    }
    c.session.OnTick(row.start + row.wait);
    EXPECT_EQ(c.session.ending(), row.ending) << row.what;
  }
  // A stream read slowly, a piece now and then, is not stalled.
  Client slow(limits);
  slow.samples_per_char = 50000;
  slow.reading = false;
  slow.Send(request);
  for (uint32_t t = 0; slow.Take(); t += 500000) {
    slow.session.OnTick(t);
    slow.now = t;
  }
  EXPECT_FALSE(slow.session.over());
}

TEST(Session, MemoryPastTheCapIsRefusedAndGivenBack) {
  struct Row {
    const char* what;
    size_t cap;
    size_t samples_per_char;
    bool piece_out_first;
    std::vector<uint32_t> answer;
    Ending ending;
  } rows[] = {
      {"a request larger than the cap", 64, 1, false, {}, Ending::kOutOfMemory},
      {"audio larger than the cap", 1 << 16, 50000, false, {kError}, Ending::kOpen},
      {"audio refused after a piece went out", 1 << 16, 1000, true, {}, Ending::kOutOfMemory},
  };
  for (const Row& row : rows) {
    Client c({}, row.cap);
    c.samples_per_char = row.samples_per_char;
    c.synthesize = false;
    std::string text(row.cap == 64 ? 100 : 10, 'a');
    c.Send(Request(text));
    if (!c.jobs.empty()) {
      const uint64_t id = c.jobs[0].id;
      std::vector<int16_t> audio(text.size() * row.samples_per_char);
      if (row.piece_out_first) {
        c.session.OnAudio(id, std::vector<int16_t>(kMaxPieceBytes / 2 * 3));
        ASSERT_TRUE(c.Take());
        audio.resize(40000);
      }
      EXPECT_EQ(c.session.OnAudio(id, std::move(audio)), Delivery::kRefused) << row.what;
      c.session.OnSynthesisEnd(id);
      c.Run();
    }
    std::vector<uint32_t> t = Types(c.Received());
    t.erase(std::remove(t.begin(), t.end(), kAudioPiece), t.end());
    EXPECT_EQ(t, row.answer) << row.what;
    EXPECT_EQ(c.session.ending(), row.ending) << row.what;
    if (!c.session.over()) {
      c.Send(BuildMessage(kHello));
      EXPECT_EQ(Types(c.Received()), std::vector<uint32_t>{kVersionReply});
    }
    EXPECT_EQ(c.budget.held(), c.session.held_bytes());
  }
}

TEST(Session, OneSynthesisAtATimeAndCancelledPausesStillApply) {
  Client c;
  c.synthesize = false;
  RenderParams p;
  p.pauses = {900, 100, -1, -1};
  c.Send(Request("one", p));
  ASSERT_EQ(c.jobs.size(), 1u);
  c.Send(BuildMessage(kCancel));  // End at once, while the engine still works
  EXPECT_EQ(Types(c.Received()), std::vector<uint32_t>{kEnd});
  c.Send(Request("two", p));  // waits for the first synthesis to end
  p.pauses = {-1, 200, -1, -1};
  c.Send(BuildMessage(kCancel));
  c.Send(Request("three", p));  // replaces "two", which never ran
  EXPECT_EQ(c.jobs.size(), 1u);
  EXPECT_EQ(c.session.OnAudio(c.jobs[0].id, std::vector<int16_t>(100)), Delivery::kNotWanted);
  c.session.OnSynthesisEnd(c.jobs[0].id);
  c.synthesize = true;
  c.Run();
  ASSERT_EQ(c.jobs.size(), 2u);
  EXPECT_EQ(c.jobs[1].text, "three");
  EXPECT_EQ(c.jobs[1].params.pauses, (std::array<int32_t, 4>{900, 200, -1, -1}));
  std::vector<uint32_t> t = Types(c.Received());
  EXPECT_EQ(t, (std::vector<uint32_t>{kEnd, kAudioPiece, kEnd}));
}

TEST(Session, AFailedAllocationAnywhereEndsThatSessionOnly) {
  auto converse = [](Client& c) {
    c.samples_per_char = 5000;
    for (const std::vector<uint8_t>& m :
         {BuildMessage(kHello), BuildMessage(kCancel), BuildMessage(kInfoRequest), BuildMessage(7),
          Request("abcd")}) {
      c.Send(m);
    }
  };
  Client reference;
  converse(reference);
  const std::vector<uint8_t> whole = reference.out;
  ASSERT_EQ(Replies(whole).size(), 10u);
  long n = 0;
  for (;; ++n) {
    auto c = std::make_unique<Client>();
    bool fired;
    bool ours = false;  // the failure hit this test's own bookkeeping
    {
      testing::FailAllocation fail(n);
      try {
        converse(*c);
      } catch (const std::bad_alloc&) {
        ours = true;
      }
      fired = fail.fired();
    }
    if (!fired) break;
    if (ours) continue;
    // What went out before the failure is whole messages, in step.
    ASSERT_LE(c->out.size(), whole.size());
    EXPECT_TRUE(std::equal(c->out.begin(), c->out.end(), whole.begin())) << "allocation " << n;
    c.reset();
    Client next;
    converse(next);
    EXPECT_EQ(next.out, whole);
  }
  EXPECT_GT(n, 15);
}

// The blocking form, over messages in memory: one message per write and a
// look for a Cancel before each piece.
class ScriptTransport : public Transport {
 public:
  std::vector<std::vector<uint8_t>> incoming;  // NextMessage takes these in turn
  std::optional<Header> during_stream;         // PollMessage finds this once
  std::vector<std::vector<uint8_t>> writes;
  Next NextMessage(Header& h, std::vector<uint8_t>& payload) override {
    if (next_ == incoming.size()) return Next::kClosed;
    const std::vector<uint8_t>& m = incoming[next_++];
    h = DecodeHeader(m.data());
    payload.assign(m.begin() + kHeaderBytes, m.end());
    return Next::kMessage;
  }
  Poll PollMessage(Header& h) override {
    if (!during_stream || writes.size() < 2) return Poll::kNothing;
    h = *during_stream;
    during_stream.reset();
    return Poll::kMessage;
  }
  bool WriteAll(const void* data, size_t size) override {
    const uint8_t* p = static_cast<const uint8_t*>(data);
    writes.emplace_back(p, p + size);
    return true;
  }

 private:
  size_t next_ = 0;
};

class ScriptServices : public Services {
 public:
  int shutdowns = 0;
  void Touch() override {}
  std::vector<int16_t> Synthesize(const SynthesisRequest& r) override {
    return std::vector<int16_t>(r.text.size() * 10000);
  }
  WorkerInfo Info() override { return MakeWorkerInfo(8000, 8, 7, 1, "x"); }
  void Shutdown() override { ++shutdowns; }
};

TEST(ServeConnection, OneMessagePerWriteAndCancelBeforeAPiece) {
  ScriptTransport t;
  t.incoming = {BuildMessage(kHello), Request("ab"), BuildMessage(kShutdown), BuildMessage(kHello)};
  t.during_stream = Header{kCancel, 0};
  ScriptServices s;
  ServeConnection(t, s);
  std::vector<uint32_t> types;
  for (const auto& w : t.writes) {
    ASSERT_EQ(Replies(w).size(), 1u);
    types.push_back(GetU32(w.data()));
  }
  EXPECT_EQ(types, (std::vector<uint32_t>{kVersionReply, kAudioPiece, kEnd, kAck}));
  EXPECT_EQ(s.shutdowns, 1);
}

}  // namespace
}  // namespace Quellmar::worker
