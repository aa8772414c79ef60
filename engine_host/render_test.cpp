#include "engine_host/render.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <thread>

#include "engine_host/resample.h"
#include "testing/render_signals.h"

namespace Quellmar {
namespace {

using namespace Quellmar::testing;

constexpr double kNan = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

TEST(MuLawTest, ExpansionTable) {
  const auto& t = MuLawTable();
  EXPECT_EQ(t[0x80], 32124);
  EXPECT_EQ(t[0x00], -32124);
  EXPECT_EQ(t[0xFF], 0);
  EXPECT_EQ(t[0x7F], 0);
  EXPECT_EQ(t[0xFE], 8);      // smallest positive step
  EXPECT_EQ(t[0xEF], 132);    // first value of segment 1
  EXPECT_EQ(t[0x8F], 16764);  // first value of segment 7
  for (int b = 0x80; b < 0xFF; ++b) {
    EXPECT_GT(t[b], t[b + 1]) << b;  // positive half falls towards 0xFF
    EXPECT_EQ(t[b & 0x7F], -t[b]) << b;
  }
  const unsigned char bytes[] = {0xFF, 0x80, 0x00, 0x7F};
  EXPECT_EQ(DecodeMuLaw(bytes, 4), (Samples{0, 32124, -32124, 0}));
  EXPECT_TRUE(DecodeMuLaw(bytes, 0).empty());
}

TEST(RenderMathTest, CrossfadeTables) {
  const CrossfadeTables& t = Crossfade();
  EXPECT_EQ(t.fade_in[0], 0.0f);
  EXPECT_EQ(t.fade_in[kOverlap - 1], 1.0f);
  EXPECT_EQ(t.fade_out[0], 1.0f);
  EXPECT_EQ(t.fade_out[kOverlap - 1], 0.0f);
  for (int k = 1; k < kOverlap; ++k) EXPECT_GT(t.fade_in[k], t.fade_in[k - 1]);
  // Pinned bit patterns: both builds must compute the same weights.
  uint64_t h = 1469598103934665603ull;
  for (const auto* table : {&t.fade_in, &t.fade_out}) {
    for (float f : *table) {
      uint32_t bits;
      std::memcpy(&bits, &f, 4);
      h = (h ^ bits) * 1099511628211ull;
    }
  }
  EXPECT_EQ(h, 0x6789f6b26c6718adu) << std::hex << h;
}

TEST(RenderMathTest, Rounding) {
  const struct {
    double in;
    int16_t out;
  } cases[] = {
      {0.5, 1},
      {-0.5, -1},
      {2.5, 3},
      {-2.5, -3},
      {1.4999999, 1},
      {-1.4999999, -1},
      {0.49999999999999994, 0},
      {32766.5, 32767},
      {32767.4, 32767},
      {32767.5, 32767},
      {1e300, 32767},
      {kInf, 32767},
      {-32767.5, -32768},
      {-32768.6, -32768},
      {-1e300, -32768},
      {-kInf, -32768},
      {kNan, 0},
  };
  for (const auto& c : cases) EXPECT_EQ(RoundSample(c.in), c.out) << c.in;
}

TEST(RenderMathTest, GainAndSoftLimiter) {
  const struct {
    int16_t in;
    double gain;
    int16_t out;
  } cases[] = {
      {20000, 1.5, 29211},                              // 30000 before limiting
      {32767, 4, 32767},                                // 32766.9999..., never wrapped
      {-32768, 4, -32767},     {16000, 1.5, 24000},     // the knee itself is linear
      {-3, 0.5, -2},                                    // -1.5 rounds away from zero
      {1000, 1.0000005, 1000},                          // within a millionth of 1: untouched
      {1001, 0.9999995, 1001}, {1000, 1.000002, 1000},  // 1000.002 rounds back
      {12345, 0, 0},           {12345, -2, 0},         {12345, kNan, 0},
      {12345, kInf, 0},        {12345, -kInf, 0},
  };
  for (const auto& c : cases) {
    Samples s = {c.in};
    ApplyGain(s, c.gain);
    EXPECT_EQ(s[0], c.out) << c.in << " x " << c.gain;
  }
  // The limiter's own tanh agrees with the library's over the whole range.
  for (double gain : {1.3, 2.0 + 1.0 / 32767, 4.0, 11.7}) {
    Samples s(65536);
    for (int i = 0; i < 65536; ++i) s[i] = static_cast<int16_t>(i - 32768);
    ApplyGain(s, gain);
    for (int i = 0; i < 65536; ++i) {
      const double v = (i - 32768) * gain;
      const double a = std::fabs(v);
      const double lim = a > 24000 ? 24000 + 8767 * std::tanh((a - 24000) / 8767) : a;
      ASSERT_EQ(s[i], RoundSample(v < 0 ? -lim : lim)) << (i - 32768) << " x " << gain;
    }
  }
}

TEST(RenderMathTest, Resample) {
  const Samples in = {100, -200, 3000, 7, -32768, 32767, 11};
  for (double bad : {0.0, -0.5, kNan, kInf, -kInf}) EXPECT_TRUE(Resample(in, bad).empty()) << bad;
  EXPECT_TRUE(Resample({}, 0.5).empty());
  EXPECT_EQ(Resample(in, 0.3).size(), 23u);  // 7 / 0.3 truncated
  EXPECT_TRUE(Resample(in, 8).empty());      // 7 / 8 truncated
  EXPECT_EQ(Resample(in, 1.0), in);
  EXPECT_EQ(Resample(Samples{5}, 0.25), (Samples{5, 5, 5, 5}));
  EXPECT_TRUE(Resample(in, 1e-12).empty());  // beyond kMaxRenderSamples
  EXPECT_TRUE(Resample(in, 5e-324).empty());
}

// The definition written out plainly: positions accumulated, indices clamped.
Samples ReferenceResample(const Samples& in, double s) {
  const size_t n = in.size();
  Samples out(static_cast<size_t>(n / s));
  const auto at = [&](long i) { return static_cast<double>(in[std::clamp<long>(i, 0, n - 1)]); };
  double p = 0;
  for (auto& o : out) {
    const long i = static_cast<long>(p);
    const double t = p - i;
    const double x0 = at(i - 1), x1 = at(i), x2 = at(i + 1), x3 = at(i + 2);
    o = RoundSample(x1 + t * (0.5 * (x2 - x0) +
                              t * ((x0 - 2.5 * x1 + 2 * x2 - 0.5 * x3) + t * (0.5 * (x3 - x0) + 1.5 * (x1 - x2)))));
    p += s;
  }
  return out;
}

TEST(RenderMathTest, ResamplePathsEqualTheDefinition) {
  for (const Samples& in : {SpeechLike(5000, 31), RandomSamples(3001, 32), ClippedSamples(2000, 33),
                            AlternatingExtremes(999), Samples(7, 100), Samples{1, -2, 3}}) {
    for (double step : {0.5, 0.25, 0.3535533905932738, 0.6, 0.75, 0.9999, 1.0, 1.7}) {
      const Samples expected = ReferenceResample(in, step);
      ASSERT_EQ(resample::ResampleWith(in, step, false), expected) << in.size() << " step " << step;
      ASSERT_EQ(resample::ResampleWith(in, step, true), expected) << in.size() << " step " << step;
    }
  }
}

// Duration, pitch and gain 1: twice the samples; the even ones are the input
// and the odd ones the Catmull-Rom midpoints (-x0 + 9 x1 + 9 x2 - x3) / 16.
TEST(RenderTest, UnityFactorsDoubleTheRate) {
  for (const Samples& in : {SpeechLike(3000, 5), RandomSamples(500, 6), AlternatingExtremes(431),
                            Samples{-32768}, Samples{1, 2}}) {
    const Samples out = Render(in, RenderParams{});
    ASSERT_EQ(out.size(), 2 * in.size());
    const auto at = [&](long i) {
      return static_cast<double>(in[std::clamp<long>(i, 0, in.size() - 1)]);
    };
    for (size_t i = 0; i < in.size(); ++i) {
      ASSERT_EQ(out[2 * i], in[i]) << i;
      const double mid = (-at(i - 1) + 9 * at(i) + 9 * at(i + 1) - at(i + 2)) / 16;
      ASSERT_EQ(out[2 * i + 1], RoundSample(mid)) << i;
    }
  }
}

TEST(RenderTest, EdgeCases) {
  const Samples speech = SpeechLike(8000, 8);
  const auto render = [](const Samples& in, double d, double p, double g) {
    RenderParams params;
    params.duration_factor = d;
    params.pitch_factor = p;
    params.gain_factor = g;
    return Render(in, params);
  };
  EXPECT_TRUE(render({}, 1, 1, 1).empty());
  EXPECT_EQ(render(Samples{1234}, 1, 1, 1), (Samples{1234, 1234}));
  // Bad stretch or step: nothing at all.
  for (double bad : {0.0, -1.0, kNan, kInf, -kInf}) {
    EXPECT_TRUE(render(speech, bad, 1, 1).empty()) << bad;
    EXPECT_TRUE(render(speech, 1, bad, 1).empty()) << bad;
  }
  EXPECT_TRUE(render(speech, -2, -0.5, 1).empty());  // the product alone would be 1
  EXPECT_TRUE(render(speech, 1e6, 1, 1).empty());    // beyond kMaxRenderSamples
  // Bad gain: silence of the full length.
  for (double gain : {0.0, -1.0, kNan, kInf}) {
    const Samples out = render(speech, 1, 1, gain);
    EXPECT_EQ(out, Samples(2 * speech.size(), 0)) << gain;
  }
  // 431 samples are never stretched, 432 are.
  const Samples s431(speech.begin(), speech.begin() + 431);
  const Samples s432(speech.begin(), speech.begin() + 432);
  EXPECT_EQ(render(s431, 2.0, 1, 1), render(s431, 1, 1, 1));
  EXPECT_EQ(render(s431, 0.5, 1.2, 1), Resample(s431, 0.6));
  EXPECT_EQ(render(s432, 2.0, 1, 1).size(), 2u * (240 + 120 * 3));
  // The result lasts about duration x the input, at twice the rate (the
  // first 240 samples are kept as they are).
  for (double d : {0.5, 1.0, 1.6, 2.0}) {
    for (double p : {0.5, 1.0, 1.2, 2.0}) {
      const double n = static_cast<double>(speech.size());
      const double expected = (240 + (n - 240) * d * p) / (p / 2);
      EXPECT_NEAR(render(speech, d, p, 1).size() / expected, 1.0, 0.02) << d << " " << p;
    }
  }
}

TEST(RenderTest, TenMinutesOfAudio) {
  const Samples in = SpeechLike(10 * 60 * 8000, 12);
  RenderParams params;
  params.duration_factor = 0.8;
  params.pitch_factor = 1.25;
  params.gain_factor = 1.3;
  // d x p = 1: not stretched, only resampled with step 0.625.
  EXPECT_EQ(Render(in, params).size(), in.size() * 8 / 5);
  params.pitch_factor = 1.0;
  const size_t n = Render(in, params).size();
  EXPECT_NEAR(static_cast<double>(n) / (2 * in.size()), 0.8, 0.01);
}

// Pinned checksums of whole renders: the host and the Windows build must
// produce these same bytes.
TEST(RenderTest, GoldenChecksums) {
  const struct {
    double duration, pitch, gain;
    uint64_t speech_like, recorded;
  } cases[] = {
      {1.0, 1.0, 1.0, 6234591784010950240ull, 13483275624541456075ull},
      {0.5, 1.0, 1.0, 12911407829103832732ull, 11432644189876938585ull},
      {1.6, 1.2, 1.0, 16012765815517946453ull, 14290097278956008447ull},
      {2.0, 1.0, 1.0, 8154772124652319112ull, 10828494864446653080ull},
      {0.6428571428571429, 1.2354233503906845, 1.3, 2886879674607324699ull,
       10123884597578649561ull},
      {4.0, 1.4142135623730951, 2.0000305185094759, 2449116260823181164ull, 9845011481547482387ull},
  };
  const Samples speech_like = SpeechLike(40000, 21);
  const Samples recorded = RecordedSpeech();
  for (const auto& c : cases) {
    RenderParams params;
    params.duration_factor = c.duration;
    params.pitch_factor = c.pitch;
    params.gain_factor = c.gain;
    EXPECT_EQ(Checksum(Render(speech_like, params)), c.speech_like) << c.duration << " " << c.pitch;
    if (!recorded.empty()) {
      EXPECT_EQ(Checksum(Render(recorded, params)), c.recorded) << c.duration << " " << c.pitch;
    }
  }
  EXPECT_FALSE(recorded.empty())
      << "QM_RENDER_TESTDATA not set: the recorded utterance was skipped";
}

TEST(RenderTest, ConcurrentRendersAgree) {
  const Samples in = SpeechLike(16000, 3);
  RenderParams params;
  params.duration_factor = 1.3;
  params.pitch_factor = 0.9;
  params.gain_factor = 1.7;
  const Samples expected = Render(in, params);
  std::vector<Samples> results(4);
  std::vector<std::thread> threads;
  for (auto& r : results) threads.emplace_back([&] { r = Render(in, params); });
  for (auto& t : threads) t.join();
  for (const auto& r : results) EXPECT_EQ(r, expected);
}

}  // namespace
}  // namespace Quellmar
