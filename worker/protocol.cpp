#include "worker/protocol.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace Quellmar::protocol {
namespace {
// Whether a length can stand in a 32-bit field (always, for a 32-bit size_t).
bool FitsU32(uint64_t n) { return n <= UINT32_MAX; }
}  // namespace

void PutU32(uint8_t* out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out[i] = static_cast<uint8_t>(v >> (8 * i));
}

uint32_t GetU32(const uint8_t* in) {
  uint32_t v = 0;
  for (int i = 0; i < 4; ++i) v |= static_cast<uint32_t>(in[i]) << (8 * i);
  return v;
}

void PutF64(uint8_t* out, double v) {
  uint64_t bits;
  std::memcpy(&bits, &v, sizeof(bits));
  for (int i = 0; i < 8; ++i) out[i] = static_cast<uint8_t>(bits >> (8 * i));
}

double GetF64(const uint8_t* in) {
  uint64_t bits = 0;
  for (int i = 0; i < 8; ++i) bits |= static_cast<uint64_t>(in[i]) << (8 * i);
  double v;
  std::memcpy(&v, &bits, sizeof(v));
  return v;
}

void EncodeHeader(uint8_t out[kHeaderBytes], Header h) {
  PutU32(out, h.type);
  PutU32(out + 4, h.length);
}

Header DecodeHeader(const uint8_t in[kHeaderBytes]) { return Header{GetU32(in), GetU32(in + 4)}; }

std::vector<uint8_t> BuildMessage(uint32_t type, std::span<const uint8_t> payload) {
  if (!FitsU32(payload.size())) throw std::length_error("payload longer than a header can say");
  std::vector<uint8_t> out(kHeaderBytes + payload.size());
  EncodeHeader(out.data(), Header{type, static_cast<uint32_t>(payload.size())});
  if (!payload.empty()) std::memcpy(out.data() + kHeaderBytes, payload.data(), payload.size());
  return out;
}

std::vector<uint8_t> BuildSynthesizeRequestPayload(std::string_view text, const RenderParams& params) {
  if (!FitsU32(uint64_t{kRequestFixedBytes} + text.size())) {
    throw std::length_error("text longer than a request can carry");
  }
  std::vector<uint8_t> out(kRequestFixedBytes + text.size());
  PutF64(&out[0], params.duration_factor);
  PutF64(&out[8], params.pitch_factor);
  PutF64(&out[16], params.gain_factor);
  PutU32(&out[24], params.tags ? 1u : 0u);
  for (int i = 0; i < 4; ++i) PutU32(&out[28 + 4 * i], static_cast<uint32_t>(params.pauses[i]));
  PutU32(&out[44], static_cast<uint32_t>(text.size()));
  if (!text.empty()) std::memcpy(&out[kRequestFixedBytes], text.data(), text.size());
  return out;
}

bool ParseSynthesizeRequest(std::span<const uint8_t> payload, SynthesisRequest& out) {
  if (payload.size() < kRequestFixedBytes) return false;
  const uint8_t* p = payload.data();
  uint32_t n = GetU32(p + 44);
  // 64-bit arithmetic: 48 + N cannot wrap.
  if (static_cast<uint64_t>(payload.size()) < uint64_t{kRequestFixedBytes} + n) return false;
  out.params.duration_factor = GetF64(p);
  out.params.pitch_factor = GetF64(p + 8);
  out.params.gain_factor = GetF64(p + 16);
  out.params.tags = GetU32(p + 24) != 0;
  for (int i = 0; i < 4; ++i) out.params.pauses[i] = static_cast<int32_t>(GetU32(p + 28 + 4 * i));
  out.text = std::string_view(reinterpret_cast<const char*>(p + kRequestFixedBytes), n);
  return true;
}

std::vector<uint8_t> BuildAudioPiece(std::span<const uint8_t> pcm) {
  size_t n = std::min<size_t>(pcm.size(), kMaxPieceBytes);
  std::vector<uint8_t> out(kHeaderBytes + 4 + n);
  EncodeHeader(out.data(), Header{kAudioPiece, static_cast<uint32_t>(n + 4)});
  PutU32(&out[kHeaderBytes], static_cast<uint32_t>(n));
  if (n) std::memcpy(&out[kHeaderBytes + 4], pcm.data(), n);
  return out;
}

bool ParseAudioPiece(std::span<const uint8_t> payload, std::span<const uint8_t>& audio) {
  if (payload.size() < 4) return false;
  size_t count = GetU32(payload.data());
  count = std::min(count, payload.size() - 4);
  audio = payload.subspan(4, count);
  return true;
}

std::vector<uint8_t> BuildVersionReply(uint32_t version) {
  uint8_t v[4];
  PutU32(v, version);
  return BuildMessage(kVersionReply, v);
}

bool ParseVersionReply(std::span<const uint8_t> payload, uint32_t& version) {
  if (payload.size() < 4) return false;
  version = GetU32(payload.data());
  return true;
}

WorkerInfo MakeWorkerInfo(int32_t engine_rate, int32_t bits, int32_t format, int32_t channels,
                          std::string_view version) {
  WorkerInfo info;
  info.output_sample_rate = static_cast<int32_t>(kOutputSampleRate);
  info.engine_sample_rate = engine_rate;
  info.engine_bits_per_sample = bits;
  info.engine_format_code = format;
  info.engine_channels_allowed = channels;
  size_t n = std::min<size_t>(version.size(), kVersionTextBytes - 1);
  n = std::min(n, version.find('\0') == std::string_view::npos ? n : version.find('\0'));
  std::memcpy(info.engine_version, version.data(), n);
  return info;
}

std::vector<uint8_t> BuildInfoReply(const WorkerInfo& info) {
  uint8_t p[kInfoReplyBytes] = {};
  PutU32(p, static_cast<uint32_t>(info.output_sample_rate));
  PutU32(p + 4, static_cast<uint32_t>(info.engine_sample_rate));
  PutU32(p + 8, static_cast<uint32_t>(info.engine_bits_per_sample));
  PutU32(p + 12, static_cast<uint32_t>(info.engine_format_code));
  PutU32(p + 16, static_cast<uint32_t>(info.engine_channels_allowed));
  std::memcpy(p + 20, info.engine_version, kVersionTextBytes);
  return BuildMessage(kInfoReply, p);
}

bool ParseInfoReply(std::span<const uint8_t> payload, WorkerInfo& out) {
  out = WorkerInfo{};
  if (payload.size() < kInfoReplyBytes) return false;
  const uint8_t* p = payload.data();
  out.output_sample_rate = static_cast<int32_t>(GetU32(p));
  out.engine_sample_rate = static_cast<int32_t>(GetU32(p + 4));
  out.engine_bits_per_sample = static_cast<int32_t>(GetU32(p + 8));
  out.engine_format_code = static_cast<int32_t>(GetU32(p + 12));
  out.engine_channels_allowed = static_cast<int32_t>(GetU32(p + 16));
  std::memcpy(out.engine_version, p + 20, kVersionTextBytes);
  out.engine_version[kVersionTextBytes - 1] = '\0';  // a peer's text is never trusted to end
  return true;
}

}  // namespace Quellmar::protocol
