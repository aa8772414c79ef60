#include "engine_host/render.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <span>

namespace Quellmar {
namespace {

constexpr double kUnityTolerance = 0.000001;
constexpr double kLimitKnee = 24000;
constexpr double kLimitRange = 8767;  // the limiter approaches 24000 + 8767 = 32767

// tanh for x >= 0 built from IEEE-exact operations only, so that every build
// (glibc, the Windows runtimes) limits a sample to the same value; library
// tanh functions differ in the last bits between platforms.
double PortableTanh(double x) {
  if (!(x < 20)) return 1.0;  // 1 - tanh(20) is below half an ulp of 1
  // expm1(2x) = 2^k (expm1(r) + 1) - 1 with 2x = k ln2 + r, |r| <= ln2 / 2.
  constexpr double kLn2Hi = 6.93147180369123816490e-01;  // trailing bits zero: k * kLn2Hi is exact
  constexpr double kLn2Lo = 1.90821492927058770002e-10;
  constexpr double kInvLn2 = 1.44269504088896338700e+00;
  const double y = 2 * x;
  const int k = static_cast<int>(y * kInvLn2 + 0.5);
  const double r = (y - k * kLn2Hi) - k * kLn2Lo;
  // Taylor series of expm1 to r^17; the next term is below 1e-24.
  constexpr int kTerms = 17;
  static constexpr std::array<double, kTerms + 1> inv_factorial = [] {
    std::array<double, kTerms + 1> f{};
    f[0] = 1;
    for (int j = 1; j <= kTerms; ++j) f[j] = f[j - 1] / j;
    return f;
  }();
  double p = 0;
  for (int j = kTerms; j >= 1; --j) p = (p + inv_factorial[j]) * r;
  const double scale = std::ldexp(1.0, k);
  const double em1 = k == 0 ? p : scale * p + (scale - 1);
  return em1 / (em1 + 2);
}

}  // namespace

const CrossfadeTables& Crossfade() {
  static const CrossfadeTables tables = [] {
    constexpr double kPi = 3.14159265358979323846;
    CrossfadeTables t{};
    for (int k = 0; k < kOverlap; ++k) {
      const double in = 0.5 - 0.5 * std::cos(kPi * k / (kOverlap - 1));
      t.fade_in[k] = static_cast<float>(in);
      t.fade_out[k] = static_cast<float>(1 - in);
    }
    return t;
  }();
  return tables;
}

void ApplyGain(Samples& samples, double gain) { ApplyGain(samples.data(), samples.size(), gain); }

void ApplyGain(int16_t* samples, size_t count, double gain) {
  if (std::fabs(gain - 1) < kUnityTolerance) return;
  if (!(gain > 0) || !std::isfinite(gain)) {
    std::fill(samples, samples + count, int16_t{0});
    return;
  }
  for (int16_t& s : std::span(samples, count)) {
    double v = s * gain;
    if (v > kLimitKnee || v < -kLimitKnee) {
      const double limited = kLimitKnee + kLimitRange * PortableTanh((std::fabs(v) - kLimitKnee) / kLimitRange);
      v = v > 0 ? limited : -limited;
    }
    s = RoundSample(v);
  }
}

Samples Render(const Samples& in, const RenderParams& params) {
  const double duration = params.duration_factor;
  const double pitch = params.pitch_factor;
  if (in.empty() || !(duration > 0) || !std::isfinite(duration) || !(pitch > 0) || !std::isfinite(pitch)) {
    return {};
  }
  Samples out = Resample(TimeStretch(in, duration * pitch), pitch * 0.5);
  ApplyGain(out, params.gain_factor);
  return out;
}

}  // namespace Quellmar
