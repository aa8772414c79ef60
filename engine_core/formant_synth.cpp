#include "engine_core/formant_synth.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace Quellmar::engine_core {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kT = 1.0 / kSampleRate;
constexpr int kFrame = 40;           // parameter update every 5 ms
constexpr int kTailSamples = 64;     // ring-down after the last phone
constexpr int kFadeSamples = 48;
constexpr double kOutputGain = 7000.0;
constexpr double kKnee = 24000.0;
constexpr double kAspirationGain = 0.9;
constexpr double kFricationGain = 0.035;
constexpr double kOpenQuotient = 0.55;
constexpr double kBurstGain = 4.0;  // a stop's release against its place's frication

class Resonator {
 public:
  void Set(double f, double bw) {
    double r = std::exp(-kPi * bw * kT);
    c_ = -r * r;
    b_ = 2.0 * r * std::cos(2.0 * kPi * f * kT);
    a_ = 1.0 - b_ - c_;
  }
  double Step(double x) {
    double y = a_ * x + b_ * y1_ + c_ * y2_;
    y2_ = y1_;
    y1_ = y;
    return y;
  }

 private:
  double a_ = 1, b_ = 0, c_ = 0, y1_ = 0, y2_ = 0;
};

class AntiResonator {
 public:
  void Set(double f, double bw) {
    double r = std::exp(-kPi * bw * kT);
    double c = -r * r;
    double b = 2.0 * r * std::cos(2.0 * kPi * f * kT);
    double a = 1.0 - b - c;
    a_ = 1.0 / a;
    b_ = -b / a;
    c_ = -c / a;
  }
  double Step(double x) {
    double y = a_ * x + b_ * x1_ + c_ * x2_;
    x2_ = x1_;
    x1_ = x;
    return y;
  }

 private:
  double a_ = 1, b_ = 0, c_ = 0, x1_ = 0, x2_ = 0;
};

bool Transparent(Ph p) { return p == Ph::HH || p == Ph::ASP || p == Ph::SIL; }
bool VowelLike(Ph p) { return Is(p, kVowel | kSonorant); }

struct Anchor {
  int t;
  float v;
};

float Interpolate(const std::vector<Anchor>& a, int t) {
  if (a.empty()) return 0;
  if (t <= a.front().t) return a.front().v;
  if (t >= a.back().t) return a.back().v;
  auto it = std::upper_bound(a.begin(), a.end(), t, [](int x, const Anchor& y) { return x < y.t; });
  const Anchor& hi = *it;
  const Anchor& lo = *(it - 1);
  if (hi.t == lo.t) return hi.v;
  return lo.v + (hi.v - lo.v) * static_cast<float>(t - lo.t) / static_cast<float>(hi.t - lo.t);
}

// How much of the neighbouring vowel a consonant's formant takes at the
// boundary (per formant), by place of articulation.
std::array<float, 3> Blend(Ph c) {
  switch (c) {
    case Ph::P: case Ph::B: case Ph::M: case Ph::F: case Ph::V: case Ph::W:
      return {0.25f, 0.35f, 0.4f};
    case Ph::K: case Ph::G: case Ph::NG:
      return {0.25f, 0.65f, 0.5f};
    default:
      return {0.25f, 0.45f, 0.4f};
  }
}

struct Amps {
  double av = 0, ah = 0, af = 0;
};

struct Timeline {
  std::vector<int> start;  // per phone, plus the end
  std::array<std::vector<Anchor>, 3> formant;
};

Timeline BuildTimeline(const PhrasePlan& plan) {
  Timeline tl;
  const auto& ph = plan.phones;
  int n = static_cast<int>(ph.size());
  tl.start.resize(n + 1);
  int pos = 0;
  for (int i = 0; i < n; ++i) {
    tl.start[i] = pos;
    pos += ph[i].samples;
  }
  tl.start[n] = pos;

  auto neighbour = [&](int i, int dir) {
    for (int j = i + dir; j >= 0 && j < n; j += dir) {
      if (!Transparent(ph[j].ph)) return j;
    }
    return -1;
  };
  for (int i = 0; i < n; ++i) {
    Ph p = ph[i].ph;
    if (Transparent(p)) continue;
    const PhonemeInfo& info = Info(p);
    int s = tl.start[i], e = tl.start[i + 1], d = e - s;
    for (int k = 0; k < 3; ++k) {
      auto& a = tl.formant[k];
      if (VowelLike(p)) {
        if (Is(p, kDiphthong)) {
          a.push_back({s + d / 5, static_cast<float>(info.f[k])});
          a.push_back({e - d / 5, static_cast<float>(info.f_end[k])});
        } else {
          int edge = std::min(d * 35 / 100, 280);
          a.push_back({s + edge, static_cast<float>(info.f[k])});
          a.push_back({e - edge, static_cast<float>(info.f[k])});
        }
      } else {
        float locus = info.f[k];
        float mix = Blend(p)[k];
        int pv = neighbour(i, -1), nx = neighbour(i, +1);
        float at_start = locus, at_end = locus;
        if (pv >= 0 && VowelLike(ph[pv].ph)) at_start = locus + mix * (Info(ph[pv].ph).f_end[k] - locus);
        if (nx >= 0 && VowelLike(ph[nx].ph)) at_end = locus + mix * (Info(ph[nx].ph).f[k] - locus);
        a.push_back({s, at_start});
        a.push_back({s + d / 2, (at_start + at_end) * 0.5f});
        a.push_back({e, at_end});
      }
    }
  }
  for (auto& a : tl.formant) {
    std::stable_sort(a.begin(), a.end(), [](const Anchor& x, const Anchor& y) { return x.t < y.t; });
  }
  return tl;
}

// The phone whose bandwidths and frication shape apply at phone i: the
// aspirations and pauses borrow them from the next sound.
int ShapeSource(const PhrasePlan& plan, int i) {
  int n = static_cast<int>(plan.phones.size());
  for (int j = i; j < n; ++j) {
    if (!Transparent(plan.phones[j].ph)) return j;
  }
  for (int j = i; j >= 0; --j) {
    if (!Transparent(plan.phones[j].ph)) return j;
  }
  return -1;
}

Amps TargetAmps(const PhrasePlan& plan, int i, int offset) {
  const TimedPhone& t = plan.phones[i];
  const PhonemeInfo& info = Info(t.ph);
  Amps a;
  int d = t.samples;
  bool released = !(t.word_final && (i + 1 >= static_cast<int>(plan.phones.size()) ||
                                     plan.phones[i + 1].ph == Ph::SIL));
  if (IsVowel(t.ph)) {
    a.av = info.av * (t.stress == 0 ? 0.8 : 1.0);
  } else if (Is(t.ph, kStop) && t.ph != Ph::DX) {
    int burst = std::min<int>(info.burst_ms * kSampleRate / 1000, d / 2);
    a.av = info.av;
    if (offset >= d - burst) {
      // A release is a sharp transient that dies away within the burst.
      double into = static_cast<double>(offset - (d - burst)) / std::max(1, burst);
      a.af = kBurstGain * info.burst * (1.0 - 0.7 * into) * (released ? 1.0 : 0.5);
    }
  } else if (Is(t.ph, kAffricate)) {
    a.av = offset < d * 45 / 100 ? info.av * 0.4 : info.av;
    if (offset >= d * 45 / 100) a.af = offset < d * 45 / 100 + info.burst_ms * 8 ? 1.0 + info.burst : 1.0;
  } else if (Is(t.ph, kFricative)) {
    a.av = info.av;
    a.af = 1.0;
  } else {
    a.av = info.av;
    a.ah = info.ah;
  }
  return a;
}

}  // namespace

void RenderPhrase(const PhrasePlan& plan, uint32_t& noise_state, std::vector<int16_t>& out) {
  const int n = static_cast<int>(plan.phones.size());
  if (n == 0) return;
  Timeline tl = BuildTimeline(plan);
  const int total = tl.start[n] + kTailSamples;
  const size_t first = out.size();
  out.reserve(out.size() + static_cast<size_t>(total));

  Resonator r1, r2, r3, r4, nasal_pole, fric1, fric2;
  AntiResonator nasal_zero;
  r4.Set(3300, 250);
  nasal_pole.Set(270, 100);
  nasal_zero.Set(270, 100);

  double phase = 0, tilt = 0, dc_in = 0, dc_out = 0;
  double av = 0, ah = 0, af = 0;
  double fric_amp1 = 0, fric_amp2 = 0, bypass = 0;
  double f0 = plan.pitch.empty() ? 110.0 : plan.pitch.front().hz;
  size_t pitch_i = 0;
  int phone = 0;

  auto noise = [&]() {
    noise_state = noise_state * 1664525u + 1013904223u;
    return static_cast<double>((noise_state >> 9) & 0xFFFF) / 32768.0 - 1.0;
  };

  for (int s = 0; s < total; ++s) {
    while (phone < n && s >= tl.start[phone + 1]) ++phone;
    const bool inside = phone < n;

    if (s % kFrame == 0) {
      int mid = s + kFrame / 2;
      double f1 = Interpolate(tl.formant[0], mid);
      double f2 = Interpolate(tl.formant[1], mid);
      double f3 = Interpolate(tl.formant[2], mid);
      int src = inside ? ShapeSource(plan, phone) : -1;
      double b1 = 80, b2 = 100, b3 = 150;
      bool nasal = false;
      if (src >= 0) {
        const PhonemeInfo& si = Info(plan.phones[src].ph);
        b1 = si.bw[0];
        b2 = si.bw[1];
        b3 = si.bw[2];
        nasal = Is(plan.phones[src].ph, kNasal);
        if (si.fric[0].f) {
          fric1.Set(si.fric[0].f, si.fric[0].bw);
          fric2.Set(si.fric[1].f ? si.fric[1].f : 3000, si.fric[1].bw ? si.fric[1].bw : 500);
          fric_amp1 = si.fric[0].amp;
          fric_amp2 = si.fric[1].amp;
          bypass = si.bypass;
        }
        if (inside && Transparent(plan.phones[phone].ph)) b1 += 120;  // open glottis
      }
      // Keep the resonances below the Nyquist frequency and apart.
      f1 = std::clamp(f1, 150.0, 1100.0);
      f2 = std::clamp(f2, f1 + 150.0, 3000.0);
      f3 = std::clamp(f3, f2 + 150.0, 3600.0);
      r1.Set(f1, b1);
      r2.Set(f2, b2);
      r3.Set(f3, b3);
      nasal_zero.Set(nasal ? 450 : 270, 100);

      while (pitch_i + 1 < plan.pitch.size() && plan.pitch[pitch_i + 1].sample <= mid) ++pitch_i;
      if (pitch_i + 1 < plan.pitch.size()) {
        const PitchPoint& a = plan.pitch[pitch_i];
        const PitchPoint& b = plan.pitch[pitch_i + 1];
        double w = b.sample > a.sample ? static_cast<double>(mid - a.sample) / (b.sample - a.sample) : 1.0;
        f0 = a.hz + (b.hz - a.hz) * std::clamp(w, 0.0, 1.0);
      } else if (!plan.pitch.empty()) {
        f0 = plan.pitch.back().hz;
      }
      f0 = std::clamp(f0, 50.0, 300.0);
    }

    Amps target = inside ? TargetAmps(plan, phone, s - tl.start[phone]) : Amps{};
    av += (target.av - av) * 0.08;
    ah += (target.ah - ah) * 0.08;
    af += (target.af - af) * 0.3;

    // Glottal source: the derivative of a polynomial flow pulse, softened.
    phase += f0 * kT;
    if (phase >= 1.0) phase -= 1.0;
    double g = 0;
    if (phase < kOpenQuotient) {
      double x = phase / kOpenQuotient;
      g = 2.0 * x - 3.0 * x * x;
    }
    tilt = 0.9 * g + 0.1 * tilt;
    double nz = noise();
    double voice = tilt * av;
    double cascade_in = voice + nz * ah * kAspirationGain;
    double y = nasal_zero.Step(nasal_pole.Step(cascade_in));
    // The source is the flow's derivative, which already holds the lips'
    // radiation: no further lift, or the voice turns thin and buzzy.
    y = r1.Step(r2.Step(r3.Step(r4.Step(y))));

    double fn = noise() * af * kFricationGain;
    double par = fric1.Step(fn) * fric_amp1 - fric2.Step(fn) * fric_amp2 + fn * bypass;
    double sample = y + par;

    // Remove any DC the cascade lets through.
    double hp = sample - dc_in + 0.995 * dc_out;
    dc_in = sample;
    dc_out = hp;

    double v = hp * kOutputGain;
    int remaining = total - s;
    if (remaining <= kFadeSamples) v *= static_cast<double>(remaining - 1) / kFadeSamples;
    // Peaks beyond the knee are bent rather than clipped.
    if (std::fabs(v) > kKnee) {
      double over = (std::fabs(v) - kKnee) / (32000.0 - kKnee);
      v = std::copysign(kKnee + (32000.0 - kKnee) * std::tanh(over), v);
    }
    out.push_back(static_cast<int16_t>(std::lround(v)));
  }
  (void)first;
}

}  // namespace Quellmar::engine_core
