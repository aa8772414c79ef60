// The worker's pipe protocol, shared by the worker and its clients.
//
// A byte stream of messages: an 8-byte header (type, payload length; both
// unsigned 32-bit little-endian) followed by the payload. Floats are IEEE 754
// binary64 little-endian. Portable: no platform calls here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "engine_host/render_params.h"

namespace Quellmar::protocol {

inline constexpr wchar_t kPipeName[] = L"\\\\.\\pipe\\QuellmarTTS";
inline constexpr wchar_t kServerMutexName[] = L"Global\\QuellmarTTSServerMutex";
inline constexpr wchar_t kLaunchMutexName[] = L"Global\\QuellmarTTSLaunchMutex";

inline constexpr uint32_t kVersion = 1;
inline constexpr size_t kHeaderBytes = 8;
// The worker drops a connection whose header announces more than this.
inline constexpr uint32_t kServerPayloadLimit = 0x4000000;  // 64 MiB
// A client treats a longer announced payload as a failed read.
inline constexpr uint32_t kClientPayloadLimit = 0x1000000;  // 16 MiB
inline constexpr uint32_t kMaxPieceBytes = 8192;
inline constexpr uint32_t kRequestFixedBytes = 48;
inline constexpr uint32_t kInfoReplyBytes = 52;
inline constexpr uint32_t kVersionTextBytes = 32;
inline constexpr uint32_t kOutputSampleRate = 16000;

// Client to server.
enum ClientType : uint32_t {
  kHello = 0,
  kSynthesizeRequest = 2,
  kCancel = 3,
  kShutdown = 4,
  kInfoRequest = 8,
};
// Server to client.
enum ServerType : uint32_t {
  kAck = 0,
  kError = 1,
  kAudioPiece = 2,
  kEnd = 3,
  kVersionReply = 5,
  kInfoReply = 6,
};

struct Header {
  uint32_t type = 0;
  uint32_t length = 0;
};

void PutU32(uint8_t* out, uint32_t v);
uint32_t GetU32(const uint8_t* in);
void PutF64(uint8_t* out, double v);
double GetF64(const uint8_t* in);

void EncodeHeader(uint8_t out[kHeaderBytes], Header h);
Header DecodeHeader(const uint8_t in[kHeaderBytes]);

// A whole message (header and payload). Throws std::length_error for a
// payload whose length a header cannot hold, rather than wrap it.
std::vector<uint8_t> BuildMessage(uint32_t type, std::span<const uint8_t> payload = {});

// What the engine needs for one request; `text` points into the payload.
struct SynthesisRequest {
  RenderParams params;
  std::string_view text;
};

// The SynthesizeRequest payload (48 bytes + text), without its header.
// Throws std::length_error when 48 + the text's length does not fit 32 bits.
std::vector<uint8_t> BuildSynthesizeRequestPayload(std::string_view text, const RenderParams& params);
// False when the payload is shorter than 48 bytes or than 48 + N. Extra
// bytes after the text are ignored.
bool ParseSynthesizeRequest(std::span<const uint8_t> payload, SynthesisRequest& out);

// Header, 4-byte count and the bytes (at most kMaxPieceBytes).
std::vector<uint8_t> BuildAudioPiece(std::span<const uint8_t> pcm);
// The audio of an AudioPiece payload: never more than the bytes actually
// received after the count. False when the payload has fewer than 4 bytes.
bool ParseAudioPiece(std::span<const uint8_t> payload, std::span<const uint8_t>& audio);

std::vector<uint8_t> BuildVersionReply(uint32_t version = kVersion);
// True only for a payload of at least 4 bytes; `version` receives its value.
bool ParseVersionReply(std::span<const uint8_t> payload, uint32_t& version);

// The engine facts, in the order and layout of the InfoReply payload.
struct WorkerInfo {
  int32_t output_sample_rate = 0;
  int32_t engine_sample_rate = 0;
  int32_t engine_bits_per_sample = 0;
  int32_t engine_format_code = 0;
  int32_t engine_channels_allowed = 0;
  char engine_version[kVersionTextBytes] = {};
};
static_assert(sizeof(WorkerInfo) == kInfoReplyBytes);

// The version text is cut to at most 31 characters, the rest zero.
WorkerInfo MakeWorkerInfo(int32_t engine_rate, int32_t bits, int32_t format, int32_t channels,
                          std::string_view version);
std::vector<uint8_t> BuildInfoReply(const WorkerInfo& info);
// False for a payload of fewer than 52 bytes (`out` then stays zero-filled).
bool ParseInfoReply(std::span<const uint8_t> payload, WorkerInfo& out);

}  // namespace Quellmar::protocol
