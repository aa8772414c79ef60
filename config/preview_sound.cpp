#include "config/preview_sound.h"

#include "common/wav.h"

namespace Quellmar::config {

void PreviewSound::Play(std::span<const int16_t> samples) {
  player_.Stop();
  image_ = PcmWavFile(kPreviewSampleRate, samples);
  player_.PlayFromMemory(image_.data(), image_.size());
}

void AppendPcm(std::vector<int16_t>& samples, const uint8_t* bytes, size_t count) {
  const size_t n = count / 2;
  samples.reserve(samples.size() + n);
  for (size_t i = 0; i < n; ++i) {
    samples.push_back(static_cast<int16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8)));
  }
}

}  // namespace Quellmar::config
