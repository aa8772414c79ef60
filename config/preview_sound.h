// The preview's sound: one WAV image that lives as long as the process and
// is played from memory while the dialog stays usable. The platform reads
// the image while it plays, so it is rebuilt only after the sound that reads
// it has been stopped. Portable; the player is the platform's.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace Quellmar::config {

inline constexpr uint32_t kPreviewSampleRate = 16000;

class SoundPlayer {
 public:
  virtual ~SoundPlayer() = default;
  // Returns once nothing reads a previously played image any more.
  virtual void Stop() = 0;
  // Starts playing `image` and returns at once; it is read until stopped or done.
  virtual void PlayFromMemory(const uint8_t* image, size_t size) = 0;
};

class PreviewSound {
 public:
  explicit PreviewSound(SoundPlayer& player) : player_(player) {}
  PreviewSound(const PreviewSound&) = delete;
  PreviewSound& operator=(const PreviewSound&) = delete;

  // Stops what plays, rebuilds the image from `samples` (16 kHz mono
  // 16-bit) and plays it.
  void Play(std::span<const int16_t> samples);
  void Stop() { player_.Stop(); }
  const std::vector<uint8_t>& image() const { return image_; }

 private:
  SoundPlayer& player_;
  std::vector<uint8_t> image_;
};

// Appends a piece of 16-bit little-endian PCM to `samples`: n bytes hold
// n / 2 samples, an odd last byte is dropped.
void AppendPcm(std::vector<int16_t>& samples, const uint8_t* bytes, size_t count);

}  // namespace Quellmar::config
