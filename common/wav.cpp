#include "common/wav.h"

#include <cstring>

namespace Quellmar {
namespace {
void Put(std::vector<uint8_t>& out, uint32_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
}  // namespace

std::vector<uint8_t> PcmWavHeader(uint32_t sample_rate, uint32_t data_bytes) {
  std::vector<uint8_t> h;
  h.reserve(kWavHeaderBytes);
  h.insert(h.end(), {'R', 'I', 'F', 'F'});
  Put(h, 36 + data_bytes, 4);
  h.insert(h.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
  Put(h, 16, 4);                // fmt chunk size
  Put(h, 1, 2);                 // PCM
  Put(h, 1, 2);                 // mono
  Put(h, sample_rate, 4);
  Put(h, sample_rate * 2, 4);   // bytes per second
  Put(h, 2, 2);                 // block align
  Put(h, 16, 2);                // bits per sample
  h.insert(h.end(), {'d', 'a', 't', 'a'});
  Put(h, data_bytes, 4);
  return h;
}

std::vector<uint8_t> PcmWavFile(uint32_t sample_rate, std::span<const int16_t> samples) {
  std::vector<uint8_t> out = PcmWavHeader(sample_rate, static_cast<uint32_t>(samples.size() * 2));
  out.reserve(kWavHeaderBytes + samples.size() * 2);
  for (int16_t s : samples) Put(out, static_cast<uint16_t>(s), 2);
  return out;
}

}  // namespace Quellmar
