#include "tests/e2e/wav_analysis.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace Quellmar::e2e {
namespace {

uint32_t Get32(const std::string& b, size_t at) {
  uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(b[at + i]);
  return v;
}
uint16_t Get16(const std::string& b, size_t at) {
  return static_cast<uint16_t>(static_cast<unsigned char>(b[at]) | (static_cast<unsigned char>(b[at + 1]) << 8));
}

// Normalised autocorrelation pitch of one frame: the best lag between the
// shortest and longest period, refined by a parabola through its neighbours.
double FramePitch(const double* x, size_t n, uint32_t rate, double& strength) {
  const size_t min_lag = rate / 400, max_lag = rate / 60;
  strength = 0;
  if (n <= max_lag + 1) return 0;
  const size_t window = n - max_lag - 1;
  std::vector<double> r(max_lag + 2, 0.0);
  double best = 0;
  size_t best_lag = 0;
  for (size_t lag = min_lag; lag <= max_lag + 1; ++lag) {
    double xy = 0, xx = 0, yy = 0;
    for (size_t i = 0; i < window; ++i) {
      xy += x[i] * x[i + lag];
      xx += x[i] * x[i];
      yy += x[i + lag] * x[i + lag];
    }
    r[lag] = (xx > 0 && yy > 0) ? xy / std::sqrt(xx * yy) : 0;
  }
  for (size_t lag = min_lag + 1; lag <= max_lag; ++lag) {
    if (r[lag] > best && r[lag] >= r[lag - 1] && r[lag] >= r[lag + 1]) {
      best = r[lag];
      best_lag = lag;
    }
  }
  if (!best_lag) return 0;
  // Prefer the shortest period that is nearly as strong (avoids octave errors).
  for (size_t lag = min_lag + 1; lag < best_lag; ++lag) {
    if (r[lag] > 0.9 * best && r[lag] >= r[lag - 1] && r[lag] >= r[lag + 1]) {
      best_lag = lag;
      best = r[lag];
      break;
    }
  }
  const double a = r[best_lag - 1], b = r[best_lag], c = r[best_lag + 1];
  const double denom = a - 2 * b + c;
  const double shift = denom != 0 ? 0.5 * (a - c) / denom : 0;
  strength = best;
  return rate / (static_cast<double>(best_lag) + std::clamp(shift, -0.5, 0.5));
}

}  // namespace

bool ReadWav16Mono(const std::string& bytes, std::vector<int16_t>& samples, uint32_t& sample_rate) {
  if (bytes.size() < 12 || bytes.compare(0, 4, "RIFF") != 0 || bytes.compare(8, 4, "WAVE") != 0) return false;
  bool have_format = false;
  for (size_t at = 12; at + 8 <= bytes.size();) {
    const uint32_t size = Get32(bytes, at + 4);
    const size_t body = at + 8;
    const size_t available = std::min<size_t>(size, bytes.size() - body);
    if (bytes.compare(at, 4, "fmt ") == 0 && available >= 16) {
      if (Get16(bytes, body) != 1 || Get16(bytes, body + 2) != 1 || Get16(bytes, body + 14) != 16) return false;
      sample_rate = Get32(bytes, body + 4);
      have_format = true;
    } else if (bytes.compare(at, 4, "data") == 0 && have_format) {
      samples.resize(available / 2);
      std::memcpy(samples.data(), bytes.data() + body, samples.size() * 2);
      return true;
    }
    at = body + size + (size & 1);
  }
  return false;
}

WavSummary Analyse(const std::vector<int16_t>& samples, uint32_t sample_rate) {
  WavSummary s;
  s.sample_rate = sample_rate;
  s.samples = samples.size();
  if (!sample_rate || samples.empty()) return s;
  s.seconds = static_cast<double>(samples.size()) / sample_rate;
  const int threshold = 655;  // 2% of full scale
  size_t first = samples.size(), last = 0;
  for (size_t i = 0; i < samples.size(); ++i) {
    if (std::abs(static_cast<int>(samples[i])) > threshold) {
      first = std::min(first, i);
      last = i;
    }
  }
  if (first > last) return s;
  s.active_seconds = static_cast<double>(last - first + 1) / sample_rate;
  double energy = 0;
  for (size_t i = first; i <= last; ++i) energy += (samples[i] / 32768.0) * (samples[i] / 32768.0);
  s.rms = std::sqrt(energy / static_cast<double>(last - first + 1));

  // 40 ms frames every 10 ms; a frame is voiced when it is loud and periodic.
  const size_t frame = sample_rate / 25, hop = sample_rate / 100;
  std::vector<double> x(frame);
  std::vector<double> pitches;
  for (size_t at = first; at + frame <= last + 1; at += hop) {
    double e = 0;
    for (size_t i = 0; i < frame; ++i) {
      x[i] = samples[at + i] / 32768.0;
      e += x[i] * x[i];
    }
    if (std::sqrt(e / frame) < 0.5 * s.rms) continue;
    double strength = 0;
    const double f0 = FramePitch(x.data(), frame, sample_rate, strength);
    if (f0 > 0 && strength > 0.6) pitches.push_back(f0);
  }
  s.voiced_frames = static_cast<uint32_t>(pitches.size());
  if (!pitches.empty()) {
    std::nth_element(pitches.begin(), pitches.begin() + pitches.size() / 2, pitches.end());
    s.f0_hz = pitches[pitches.size() / 2];
  }
  return s;
}

}  // namespace Quellmar::e2e
