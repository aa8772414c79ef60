#include "tests/e2e/wav_analysis.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace Quellmar::e2e {
namespace {

// A vowel-like tone: a pulse train at f0 through a decaying resonance, with
// silence around it, so the pitch measure meets what speech gives it.
std::vector<int16_t> Voiced(double f0, double seconds, double amplitude, uint32_t rate = 16000) {
  std::vector<int16_t> s(rate / 4, 0);
  const size_t n = static_cast<size_t>(seconds * rate);
  double phase = 0, y1 = 0, y2 = 0;
  const double r = 0.97, w = 2 * 3.14159265358979 * 700 / rate;
  for (size_t i = 0; i < n; ++i) {
    phase += f0 / rate;
    double x = 0;
    if (phase >= 1) {
      phase -= 1;
      x = 1;
    }
    const double y = x + 2 * r * std::cos(w) * y1 - r * r * y2;
    y2 = y1;
    y1 = y;
    s.push_back(static_cast<int16_t>(std::clamp(y * amplitude * 3000, -32767.0, 32767.0)));
  }
  s.resize(s.size() + rate / 4, 0);
  return s;
}

TEST(WavAnalysis, FindsTheFundamentalAcrossTheVoiceRange) {
  for (double f0 : {70.0, 98.0, 120.0, 150.0, 240.0}) {
    const auto s = Analyse(Voiced(f0, 1.0, 1.0), 16000);
    EXPECT_NEAR(s.f0_hz, f0, f0 * 0.01) << f0;
    EXPECT_GT(s.voiced_frames, 50u);
  }
}

TEST(WavAnalysis, ActiveLengthIgnoresSilenceAndRmsScalesWithGain) {
  const auto loud = Analyse(Voiced(120, 2.0, 1.0), 16000);
  const auto soft = Analyse(Voiced(120, 2.0, 0.25), 16000);
  EXPECT_NEAR(loud.seconds, 2.5, 0.01);
  EXPECT_NEAR(loud.active_seconds, 2.0, 0.02);
  EXPECT_NEAR(soft.rms / loud.rms, 0.25, 0.02);
  EXPECT_EQ(Analyse({}, 16000).f0_hz, 0.0);
  EXPECT_EQ(Analyse(std::vector<int16_t>(1000, 0), 16000).active_seconds, 0.0);
}

TEST(WavAnalysis, ReadsOnlySixteenBitMonoPcm) {
  std::string wav("RIFF\0\0\0\0WAVEfmt \x10\0\0\0\x01\0\x01\0\x80\x3e\0\0\0\x7d\0\0\x02\0\x10\0data\x04\0\0\0\x01\0\xff\xff", 48);
  std::vector<int16_t> samples;
  uint32_t rate = 0;
  ASSERT_TRUE(ReadWav16Mono(wav, samples, rate));
  EXPECT_EQ(rate, 16000u);
  ASSERT_EQ(samples.size(), 2u);
  EXPECT_EQ(samples[1], -1);
  std::string stereo = wav;
  stereo[22] = 2;
  EXPECT_FALSE(ReadWav16Mono(stereo, samples, rate));
  EXPECT_FALSE(ReadWav16Mono(wav.substr(0, 30), samples, rate));
  // A data chunk that claims more than the file holds gives what is there.
  std::string cut = wav;
  cut[40] = '\x40';
  ASSERT_TRUE(ReadWav16Mono(cut, samples, rate));
  EXPECT_EQ(samples.size(), 2u);
}

}  // namespace
}  // namespace Quellmar::e2e
