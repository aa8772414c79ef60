#include "testing/render_signals.h"

#include <cstdlib>
#include <fstream>
#include <iterator>

namespace Quellmar::testing {
namespace {

struct Lcg {
  uint32_t state;
  uint32_t Next() {
    state = state * 1664525u + 1013904223u;
    return state;
  }
  // Uniform in [-1, 1).
  double Unit() { return static_cast<double>(Next() >> 8) / 8388608.0 - 1.0; }
};

// Two-pole resonator y[n] = b1 y[n-1] - b2 y[n-2] + x[n]; coefficients are
// literals (r = 0.97 at 700 Hz and r = 0.95 at 1200 Hz, 8 kHz) so no library
// trigonometry is involved.
struct Resonator {
  double b1, b2, y1 = 0, y2 = 0;
  double Step(double x) {
    const double y = b1 * y1 - b2 * y2 + x;
    y2 = y1;
    y1 = y;
    return y;
  }
};

}  // namespace

Samples SpeechLike(size_t n, uint32_t seed) {
  Lcg rng{seed};
  Resonator f1{1.6540, 0.9409};
  Resonator f2{1.1168, 0.9025};
  Samples out(n);
  size_t pos = 0;
  while (pos < n) {
    const uint32_t kind = rng.Next() % 8;
    const size_t length = 400 + rng.Next() % 1600;  // 50..250 ms
    const double level = 2000 + rng.Next() % 14000;
    int period = 40 + static_cast<int>(rng.Next() % 40);  // 100..200 Hz
    int phase = 0;
    for (size_t i = 0; i < length && pos < n; ++i, ++pos) {
      // Rise and fall over the segment.
      const double ramp = i < length / 2 ? static_cast<double>(i) / (length / 2)
                                         : static_cast<double>(length - i) / (length / 2);
      double excitation = 0;
      if (kind < 5) {  // voiced
        if (++phase >= period) {
          phase = 0;
          period += static_cast<int>(rng.Next() % 3) - 1;  // slow glide with jitter
          if (period < 30) period = 30;
          if (period > 90) period = 90;
          excitation = 1;
        }
      } else if (kind < 7) {  // fricative
        excitation = 0.08 * rng.Unit();
      }
      const double v = (f1.Step(excitation) * 0.06 + f2.Step(excitation) * 0.04) * level * ramp;
      out[pos] = RoundSample(v);
    }
  }
  return out;
}

Samples RandomSamples(size_t n, uint32_t seed) {
  Lcg rng{seed};
  Samples out(n);
  for (auto& s : out) s = static_cast<int16_t>(rng.Next() >> 16);
  return out;
}

Samples ClippedSamples(size_t n, uint32_t seed) {
  Lcg rng{seed};
  Samples out(n);
  for (auto& s : out) s = RoundSample(rng.Unit() * 120000.0);
  return out;
}

Samples AlternatingExtremes(size_t n) {
  Samples out(n);
  for (size_t i = 0; i < n; ++i) out[i] = i % 2 ? 32767 : -32768;
  return out;
}

std::vector<unsigned char> RecordedMuLaw() {
  const char* dir = std::getenv("QM_RENDER_TESTDATA");
#if defined(QM_RENDER_TESTDATA_DIR)
  if (!dir) dir = QM_RENDER_TESTDATA_DIR;
#endif
  if (!dir) return {};
  std::ifstream in(std::string(dir) + "/speech.ulaw", std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

Samples RecordedSpeech() {
  const std::vector<unsigned char> bytes = RecordedMuLaw();
  return DecodeMuLaw(bytes.data(), bytes.size());
}

uint64_t Checksum(const Samples& s) {
  uint64_t h = 1469598103934665603ull;
  for (int16_t v : s) {
    const auto u = static_cast<uint16_t>(v);
    for (int b : {u & 0xFF, u >> 8}) {
      h ^= static_cast<uint64_t>(b);
      h *= 1099511628211ull;
    }
  }
  return h;
}

}  // namespace Quellmar::testing
