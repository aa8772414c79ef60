#include "worker/protocol.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

namespace Quellmar::protocol {
namespace {

TEST(Protocol, HeaderIsTypeThenLengthLittleEndian) {
  std::vector<uint8_t> m = BuildMessage(kInfoReply, std::vector<uint8_t>{9, 8, 7});
  ASSERT_EQ(m.size(), 11u);
  EXPECT_EQ(std::vector<uint8_t>(m.begin(), m.begin() + 8),
            (std::vector<uint8_t>{6, 0, 0, 0, 3, 0, 0, 0}));
  Header h = DecodeHeader(m.data());
  EXPECT_EQ(h.type, 6u);
  EXPECT_EQ(h.length, 3u);
  EXPECT_EQ(BuildMessage(kEnd).size(), 8u);
}

TEST(Protocol, SynthesizeRequestLayout) {
  RenderParams p;
  p.duration_factor = 1.5;
  p.pitch_factor = 0.75;
  p.gain_factor = 2.0;
  p.tags = true;
  p.pauses = {650, -1, 0, 7};
  std::vector<uint8_t> payload = BuildSynthesizeRequestPayload("Hi.", p);
  ASSERT_EQ(payload.size(), 51u);
  double d;
  std::memcpy(&d, &payload[0], 8);  // this machine is little-endian too
  EXPECT_EQ(d, 1.5);
  EXPECT_EQ(GetU32(&payload[24]), 1u);
  EXPECT_EQ(GetU32(&payload[32]), 0xFFFFFFFFu);
  EXPECT_EQ(GetU32(&payload[44]), 3u);
  EXPECT_EQ(std::string(payload.begin() + 48, payload.end()), "Hi.");

  SynthesisRequest r;
  ASSERT_TRUE(ParseSynthesizeRequest(payload, r));
  EXPECT_EQ(r.params.duration_factor, 1.5);
  EXPECT_EQ(r.params.pitch_factor, 0.75);
  EXPECT_EQ(r.params.gain_factor, 2.0);
  EXPECT_TRUE(r.params.tags);
  EXPECT_EQ(r.params.pauses, p.pauses);
  EXPECT_EQ(r.text, "Hi.");
}

TEST(Protocol, SynthesizeRequestBounds) {
  RenderParams p;
  std::vector<uint8_t> payload = BuildSynthesizeRequestPayload("", p);
  SynthesisRequest r;
  EXPECT_TRUE(ParseSynthesizeRequest(payload, r));  // N = 0
  EXPECT_TRUE(r.text.empty());
  EXPECT_FALSE(ParseSynthesizeRequest(std::span(payload).first(47), r));

  payload = BuildSynthesizeRequestPayload("abcdef", p);
  PutU32(&payload[44], 7);  // one more than follows
  EXPECT_FALSE(ParseSynthesizeRequest(payload, r));
  PutU32(&payload[44], 0xFFFFFFFFu);  // 48 + N must not wrap
  EXPECT_FALSE(ParseSynthesizeRequest(payload, r));
  PutU32(&payload[44], 2);  // extra bytes after the text are ignored
  ASSERT_TRUE(ParseSynthesizeRequest(payload, r));
  EXPECT_EQ(r.text, "ab");
  // Any non-zero tags value is on.
  PutU32(&payload[24], 0x80000000u);
  ASSERT_TRUE(ParseSynthesizeRequest(payload, r));
  EXPECT_TRUE(r.params.tags);
}

TEST(Protocol, NonFiniteFactorsTravelUnchanged) {
  RenderParams p;
  p.duration_factor = std::nan("");
  p.pitch_factor = INFINITY;
  SynthesisRequest r;
  std::vector<uint8_t> payload = BuildSynthesizeRequestPayload("x", p);
  ASSERT_TRUE(ParseSynthesizeRequest(payload, r));
  EXPECT_TRUE(std::isnan(r.params.duration_factor));
  EXPECT_TRUE(std::isinf(r.params.pitch_factor));
}

TEST(Protocol, AudioPiece) {
  std::vector<uint8_t> pcm(10000, 0x11);
  std::vector<uint8_t> m = BuildAudioPiece(pcm);
  ASSERT_EQ(m.size(), 8u + 4 + 8192);
  EXPECT_EQ(DecodeHeader(m.data()).length, 8196u);
  EXPECT_EQ(GetU32(&m[8]), 8192u);

  std::span<const uint8_t> audio;
  std::vector<uint8_t> short_piece = {1, 2, 3};
  EXPECT_FALSE(ParseAudioPiece(short_piece, audio));
  // A count claiming more than arrived is cut to what arrived.
  std::vector<uint8_t> lying = {100, 0, 0, 0, 5, 6};
  ASSERT_TRUE(ParseAudioPiece(lying, audio));
  EXPECT_EQ(audio.size(), 2u);
  EXPECT_EQ(audio[0], 5);
  std::vector<uint8_t> fewer = {1, 0, 0, 0, 5, 6};
  ASSERT_TRUE(ParseAudioPiece(fewer, audio));
  EXPECT_EQ(audio.size(), 1u);
}

TEST(Protocol, VersionAndInfoReplies) {
  std::vector<uint8_t> v = BuildVersionReply();
  uint32_t version = 0;
  ASSERT_TRUE(ParseVersionReply(std::span(v).subspan(8), version));
  EXPECT_EQ(version, 1u);
  EXPECT_FALSE(ParseVersionReply(std::span(v).subspan(8, 3), version));

  WorkerInfo info = MakeWorkerInfo(8000, 8, 7, 1, std::string(40, 'v'));
  EXPECT_EQ(std::strlen(info.engine_version), 31u);
  std::vector<uint8_t> m = BuildInfoReply(info);
  ASSERT_EQ(m.size(), 8u + 52);
  EXPECT_EQ(GetU32(&m[8]), 16000u);
  EXPECT_EQ(GetU32(&m[12]), 8000u);
  EXPECT_EQ(GetU32(&m[20]), 7u);

  WorkerInfo out;
  ASSERT_TRUE(ParseInfoReply(std::span(m).subspan(8), out));
  EXPECT_EQ(std::memcmp(&out, &info, sizeof(info)), 0);
  // 51 bytes: refused and zero-filled.
  out.engine_sample_rate = 99;
  EXPECT_FALSE(ParseInfoReply(std::span(m).subspan(8, 51), out));
  WorkerInfo zero;
  EXPECT_EQ(std::memcmp(&out, &zero, sizeof(zero)), 0);
  // A peer's unterminated text is terminated on arrival.
  std::fill(m.begin() + 28, m.end(), 'x');
  ASSERT_TRUE(ParseInfoReply(std::span(m).subspan(8), out));
  EXPECT_EQ(std::strlen(out.engine_version), 31u);
}

}  // namespace
}  // namespace Quellmar::protocol
