// G.711 mu-law, the engine's sample format: 8 bits per sample, 0xFF (and
// 0x7F) is silence.
#pragma once

#include <cstdint>

namespace Quellmar::engine_core {

inline constexpr uint8_t kMuLawSilence = 0xFF;

inline uint8_t LinearToMuLaw(int16_t sample) {
  constexpr int kBias = 0x84;
  constexpr int kClip = 32635;
  int s = sample;
  int sign = 0;
  if (s < 0) {
    s = -s;
    sign = 0x80;
  }
  if (s > kClip) s = kClip;
  s += kBias;
  int exponent = 7;
  for (int mask = 0x4000; (s & mask) == 0 && exponent > 0; mask >>= 1) --exponent;
  int mantissa = (s >> (exponent + 3)) & 0x0F;
  return static_cast<uint8_t>(~(sign | (exponent << 4) | mantissa));
}

inline int16_t MuLawToLinear(uint8_t code) {
  int u = ~code & 0xFF;
  int t = ((u & 0x0F) << 3) + 0x84;
  t <<= (u & 0x70) >> 4;
  return static_cast<int16_t>((u & 0x80) ? (0x84 - t) : (t - 0x84));
}

}  // namespace Quellmar::engine_core
