#include "engine_host/time_stretch.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <limits>
#include <string>

#include "testing/render_signals.h"

namespace Quellmar {
namespace {

using namespace Quellmar::testing;

constexpr double kNan = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();
using stretch::Path;

// The definition, written out plainly in double precision: the reference
// every search path must match sample for sample.
Samples ReferenceTimeStretch(const Samples& in, double a) {
  const size_t n = in.size();
  if (a <= 0 || n == 0) return {};
  if (std::fabs(a - 1) < 0.000001 || n < 432) return in;
  const CrossfadeTables& fade = Crossfade();
  Samples out(in.begin(), in.begin() + 240);
  const double c = 120 / a;
  double g = c;
  if (!(g < static_cast<double>(n))) return out;
  long long f = std::llround(g);
  while (f + 240 < static_cast<long long>(n)) {
    const long long lo = std::max(f - 96, 0LL);
    const long long hi = std::min(f + 96, static_cast<long long>(n) - 241);
    const size_t L = out.size();
    long long best = f;
    double best_score = -1e300;
    for (long long v = lo; v <= hi; ++v) {
      double score = 0;
      for (int k = 0; k < 120; ++k) score += static_cast<double>(out[L - 120 + k]) * in[v + k];
      if (score > best_score) {
        best_score = score;
        best = v;
      }
    }
    for (int k = 0; k < 120; ++k) {
      out[L - 120 + k] = RoundSample(out[L - 120 + k] * static_cast<double>(fade.fade_out[k]) +
                                     in[best + k] * static_cast<double>(fade.fade_in[k]));
    }
    out.insert(out.end(), in.begin() + best + 120, in.begin() + best + 240);
    g += c;
    if (!(g < static_cast<double>(n))) break;
    f = std::llround(g);
  }
  return out;
}

struct Input {
  std::string name;
  Samples samples;
};

std::vector<Input> Inputs() {
  std::vector<Input> inputs = {
      {"speech-like", SpeechLike(24000, 1)},
      {"random", RandomSamples(6000, 2)},
      {"silent", Samples(3000, 0)},
      {"clipped", ClippedSamples(6000, 3)},
      {"alternating extremes", AlternatingExtremes(3000)},
      {"all -32768", Samples(3000, -32768)},
  };
  Samples recorded = RecordedSpeech();
  if (!recorded.empty()) inputs.push_back({"recorded speech", recorded});
  return inputs;
}

TEST(TimeStretchTest, EveryPathEqualsTheDefinition) {
  const double factors[] = {0.015625,  0.3,  0.5,  0.64285714285714, 0.8, 0.95, 0.9999989,
                            1.0000011, 1.05, 1.25, 1.6 * 1.2,        2.0, 2.83, 7.3,
                            64};
  std::vector<Path> paths = {Path::Plain};
  for (Path p : {Path::Sse2, Path::Avx2}) {
    if (stretch::Available(p)) paths.push_back(p);
  }
  std::printf("search paths checked: %d (1 plain, 2 +SSE2, 3 +AVX2)\n",
              static_cast<int>(paths.size()));
  for (const Input& input : Inputs()) {
    for (double factor : factors) {
      const Samples expected = ReferenceTimeStretch(input.samples, factor);
      for (Path path : paths) {
        const Samples got = stretch::TimeStretchWith(input.samples, factor, path);
        ASSERT_EQ(got, expected) << input.name << " factor " << factor << " path "
                                 << static_cast<int>(path);
      }
    }
  }
}

TEST(TimeStretchTest, SearchPathsBreakTiesTowardsTheEarliestStart) {
  // A period-4 input makes every fourth candidate score the same; each path
  // must pick the first of the best, whatever its vector grouping.
  Samples in(2000);
  for (size_t i = 0; i < in.size(); ++i) in[i] = static_cast<int16_t>((i % 4) * 9000 - 13000);
  Samples tail(in.begin() + 500, in.begin() + 620);
  for (size_t lo : {0, 1, 2, 3, 5, 100}) {
    for (size_t hi : {lo, lo + 1, lo + 3, lo + 7, lo + 192}) {
      const size_t plain = stretch::SearchPlain(tail.data(), in.data(), lo, hi);
      EXPECT_EQ(stretch::SearchSse2(tail.data(), in.data(), lo, hi), plain) << lo << ".." << hi;
      if (stretch::Available(Path::Avx2)) {
        EXPECT_EQ(stretch::SearchAvx2(tail.data(), in.data(), lo, hi), plain) << lo << ".." << hi;
      }
      EXPECT_LT(plain, lo + 4);  // the pattern repeats every 4 samples
    }
  }
}

TEST(TimeStretchTest, EdgeCases) {
  const Samples speech = SpeechLike(5000, 9);
  const Samples s431(speech.begin(), speech.begin() + 431);
  const Samples s432(speech.begin(), speech.begin() + 432);

  EXPECT_TRUE(TimeStretch({}, 2.0).empty());
  for (double bad : {0.0, -1.0, -kInf, kInf, kNan}) {
    EXPECT_TRUE(TimeStretch(speech, bad).empty()) << bad;
  }
  // Too short to stretch, or a factor within a millionth of 1: a copy.
  EXPECT_EQ(TimeStretch(s431, 3.0), s431);
  EXPECT_EQ(TimeStretch(Samples{7}, 0.5), Samples{7});
  EXPECT_EQ(TimeStretch(speech, 1.0000009), speech);
  EXPECT_EQ(TimeStretch(speech, 0.9999991), speech);
  // 432 samples is stretched: round(120 / 1.25) = 96, 96 + 240 < 432, one frame.
  EXPECT_EQ(TimeStretch(s432, 1.25).size(), 360u);
  // round(120 / a) + 240 >= n: only the first frame is kept.
  const Samples first240(speech.begin(), speech.begin() + 240);
  EXPECT_EQ(TimeStretch(s432, 120.0 / 192), first240);
  EXPECT_EQ(TimeStretch(speech, 1e-300), first240);
  EXPECT_EQ(TimeStretch(speech, 5e-324), first240);  // 120 / a is infinite
  // Output about n * a.
  for (double a : {0.5, 0.8, 1.25, 2.0}) {
    const double ratio = static_cast<double>(TimeStretch(speech, a).size()) / speech.size();
    EXPECT_NEAR(ratio, a, 0.06) << a;
  }
}

TEST(TimeStretchTest, OutputBeyondTheBoundRendersNothing) {
  // The frames cover the input after its first 240 samples: 1000 samples at
  // 90000 would make 240 + 120 * 569626 samples, beyond kMaxRenderSamples.
  const Samples speech = SpeechLike(1000, 4);
  EXPECT_TRUE(TimeStretch(speech, 90000).empty());
  EXPECT_TRUE(TimeStretch(speech, 1e12).empty());
  EXPECT_TRUE(TimeStretch(speech, 1.7e308).empty());
  // Far beyond the voice settings (at most 64) but within the bound.
  EXPECT_EQ(TimeStretch(Samples(432, 5), 2000).size(), 240u + 120u * 3191u);
}

}  // namespace
}  // namespace Quellmar
