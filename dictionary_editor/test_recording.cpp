#include "dictionary_editor/test_recording.h"

#include "engine_host/mulaw.h"

namespace Quellmar::dictionary {
namespace {

void PutU16(std::string& s, size_t at, uint32_t v) {
  s[at] = static_cast<char>(v & 0xFF);
  s[at + 1] = static_cast<char>((v >> 8) & 0xFF);
}
void PutU32(std::string& s, size_t at, uint32_t v) {
  PutU16(s, at, v & 0xFFFF);
  PutU16(s, at + 2, v >> 16);
}

}  // namespace

std::string TestRecordingHeader(uint32_t samples) {
  const uint32_t data_bytes = samples * 2;
  std::string h(kTestRecordingHeaderBytes, '\0');
  h.replace(0, 4, "RIFF");
  PutU32(h, 4, data_bytes + 38);
  h.replace(8, 8, "WAVEfmt ");
  PutU32(h, 16, 18);
  PutU16(h, 20, 1);  // PCM
  PutU16(h, 22, 1);  // mono
  PutU32(h, 24, kTestRecordingRate);
  PutU32(h, 28, kTestRecordingRate * 2);
  PutU16(h, 32, 2);
  PutU16(h, 34, 16);
  PutU16(h, 36, 0);
  h.replace(38, 4, "data");
  PutU32(h, 42, data_bytes);
  return h;
}

std::optional<std::string> ConvertTestRecording(std::string_view engine_file) {
  const size_t samples = engine_file.size() > kTestRecordingHeaderBytes
                             ? engine_file.size() - kTestRecordingHeaderBytes
                             : 0;
  if (samples > kTestRecordingMaxSamples) return std::nullopt;
  std::string image = TestRecordingHeader(static_cast<uint32_t>(samples));
  image.resize(kTestRecordingHeaderBytes + samples * 2);
  const auto& table = MuLawTable();
  for (size_t i = 0; i < samples; ++i) {
    const uint16_t s = static_cast<uint16_t>(
        table[static_cast<unsigned char>(engine_file[kTestRecordingHeaderBytes + i])]);
    PutU16(image, kTestRecordingHeaderBytes + 2 * i, s);
  }
  return image;
}

}  // namespace Quellmar::dictionary
