#include "common/voices.h"

#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <string>

#include "common/render_settings.h"

namespace Quellmar {
namespace {

using Pauses = std::array<int32_t, 4>;

double Round3(double v) { return std::round(v * 1000) / 1000; }

TEST(VoicePresets, DerivedPausesOfEveryRowAreTruncated) {
  const Pauses expected[kPresetCount] = {{650, 500, 350, 7}, {715, 550, 385, 7}, {650, 500, 350, 7},
                                         {455, 350, 245, 4}, {910, 700, 490, 9}, {780, 600, 420, 8},
                                         {162, 125, 87, 1}};
  for (int i = 0; i < kPresetCount; ++i) {
    CustomVoiceSettings v = PresetVoiceSettings(i);
    EXPECT_EQ(v.pauses, expected[i]) << "row " << i;
    EXPECT_EQ(v.speed, kVoicePresets[i].speed);
    EXPECT_EQ(v.volume, kVoicePresets[i].volume);
    EXPECT_FALSE(v.tags);
    EXPECT_FALSE(v.speak_punctuation);
  }
  // Indices outside the table (the custom voice's included) use row 0.
  EXPECT_EQ(PresetVoiceSettings(-1).speed, 175);
  EXPECT_EQ(PresetVoiceSettings(9).pitch, 63);
}

TEST(VoicePresets, NeutralResultsOfTheReadyMadeVoices) {
  struct Expect {
    double duration, pitch, gain;
  };
  const Expect expected[kPresetCount] = {
      {1.000, 1.000, 1.000}, {1.167, 0.779, 1.000}, {0.986, 1.204, 1.000}, {0.757, 1.025, 1.000},
      {1.611, 0.944, 1.000}, {1.111, 0.891, 1.404}, {0.643, 1.038, 1.000}};
  for (int i = 0; i < kPresetCount; ++i) {
    RenderSetup r = ComputeRenderParams(PresetVoiceSettings(i), GlobalSettings{}, 0, 0, 100);
    EXPECT_DOUBLE_EQ(Round3(r.params.duration_factor), expected[i].duration) << "row " << i;
    EXPECT_DOUBLE_EQ(Round3(r.params.pitch_factor), expected[i].pitch) << "row " << i;
    EXPECT_DOUBLE_EQ(Round3(r.params.gain_factor), expected[i].gain) << "row " << i;
    EXPECT_EQ(r.params.pauses, PresetVoiceSettings(i).pauses);
    EXPECT_FALSE(r.params.tags);
    EXPECT_FALSE(r.speak_punctuation);
  }
}

TEST(VoicePresets, TextsAndKeys) {
  VoiceTexts custom = VoiceTextsFor(kCustomVoiceIndex);
  EXPECT_STREQ(custom.key, L"custom");
  EXPECT_STREQ(custom.display_name, L"Quellmar Custom Voice");
  EXPECT_STREQ(VoiceTextsFor(3).display_name, L"Quellmar Oskel Brisk");
  EXPECT_STREQ(VoiceTextsFor(42).key, L"oskel");
  // Every key names its own index back.
  for (int i = 0; i < kVoiceCount; ++i) EXPECT_EQ(VoiceIndexFromKey(VoiceTextsFor(i).key), i);
  EXPECT_EQ(VoiceIndexFromKey(L"deep"), 1);
  EXPECT_EQ(VoiceIndexFromKey(L"Deep"), 0);
  EXPECT_EQ(VoiceIndexFromKey(L""), 0);
  EXPECT_EQ(VoiceIndexFromKey(L"custom "), 0);
  EXPECT_EQ(VoiceIndexFromKey(std::wstring(L"deep\0x", 6)), 0);
}

// A registry stand-in: a map of stored DWORDs.
DwordSource Stored(std::map<std::wstring, uint32_t> values) {
  return [values = std::move(values)](const wchar_t* name) -> std::optional<uint32_t> {
    auto it = values.find(name);
    if (it == values.end()) return std::nullopt;
    return it->second;
  };
}

TEST(VoiceSettings, NothingStoredGivesTheDefaults) {
  CustomVoiceSettings v = CustomVoiceSettingsFrom(Stored({}));
  EXPECT_EQ(v.speed, 175);
  EXPECT_EQ(v.pitch, 63);
  EXPECT_EQ(v.volume, 32767);
  EXPECT_EQ(v.pauses, (Pauses{650, 500, 350, 7}));
  EXPECT_FALSE(v.tags || v.speak_punctuation);
  GlobalSettings g = GlobalSettingsFrom(Stored({}));
  EXPECT_EQ(g.rate_percent, 100);
  EXPECT_EQ(g.volume_percent, 100);
  EXPECT_FALSE(g.override_pauses || g.tags || g.speak_punctuation);
}

TEST(VoiceSettings, StoredNumbersAreLimitedAndSwitchesAreNonZero) {
  CustomVoiceSettings v = CustomVoiceSettingsFrom(Stored({{L"Speed", 400},
                                                          {L"Pitch", 10},
                                                          {L"Volume", static_cast<uint32_t>(-5)},
                                                          {L"Pause1", static_cast<uint32_t>(-1)},
                                                          {L"Pause3", 3001},
                                                          {L"Pause4", 500},
                                                          {L"HonourTags", 2},
                                                          {L"SpeakPunctuation", 0x80000000u}}));
  EXPECT_EQ(v.speed, 350);
  EXPECT_EQ(v.pitch, 45);
  EXPECT_EQ(v.volume, 0);
  EXPECT_EQ(v.pauses, (Pauses{0, 500, 3000, 100}));
  EXPECT_TRUE(v.tags);
  EXPECT_TRUE(v.speak_punctuation);
  EXPECT_EQ(CustomVoiceSettingsFrom(Stored({{L"Volume", 70000}, {L"Speed", 0}})).volume, 65535);

  GlobalSettings g = GlobalSettingsFrom(Stored({{L"RatePercent", 10},
                                                {L"VolumePercent", 1000},
                                                {L"Pause2", 0},
                                                {L"Pause4", 101},
                                                {L"OverridePauses", 0}}));
  EXPECT_EQ(g.rate_percent, 25);
  EXPECT_EQ(g.volume_percent, 200);
  // Read and limited although they do not override anything.
  EXPECT_EQ(g.pauses, (Pauses{650, 0, 350, 100}));
  EXPECT_FALSE(g.override_pauses);
  EXPECT_EQ(GlobalSettingsFrom(Stored({{L"RatePercent", 0xFFFFFFFF}})).rate_percent, 25);
}

TEST(RenderParamsFromSettings, OverridePausesAndSwitchesFromGlobal) {
  GlobalSettings g;
  g.pauses = {0, 0, 0, 0};
  CustomVoiceSettings custom;
  custom.pauses = {1000, 900, 800, 50};
  // Override off: the global pauses are ignored although they were read.
  EXPECT_EQ(ComputeRenderParams(custom, g, 0, 0, 100).params.pauses, custom.pauses);
  g.override_pauses = true;
  EXPECT_EQ(ComputeRenderParams(custom, g, 0, 0, 100).params.pauses, (Pauses{0, 0, 0, 0}));
  EXPECT_EQ(ComputeRenderParams(PresetVoiceSettings(6), g, 0, 0, 100).params.pauses,
            (Pauses{0, 0, 0, 0}));

  GlobalSettings tags;
  tags.tags = true;
  RenderSetup r = ComputeRenderParams(PresetVoiceSettings(2), tags, 0, 0, 100);
  EXPECT_TRUE(r.params.tags);
  EXPECT_FALSE(r.speak_punctuation);
  GlobalSettings punct;
  punct.speak_punctuation = true;
  r = ComputeRenderParams(PresetVoiceSettings(2), punct, 0, 0, 100);
  EXPECT_FALSE(r.params.tags);
  EXPECT_TRUE(r.speak_punctuation);
  custom.speak_punctuation = true;
  EXPECT_TRUE(ComputeRenderParams(custom, GlobalSettings{}, 0, 0, 100).speak_punctuation);
}

TEST(RenderParamsFromSettings, RateEdges) {
  CustomVoiceSettings v;
  GlobalSettings g;
  EXPECT_DOUBLE_EQ(ComputeRenderParams(v, g, 5, 0, 100).params.duration_factor, 0.5);
  EXPECT_DOUBLE_EQ(ComputeRenderParams(v, g, -10, 0, 100).params.duration_factor, 4.0);
  EXPECT_DOUBLE_EQ(ComputeRenderParams(v, g, -1000, 0, 100).params.duration_factor, 4.0);
  v.speed = 350;
  g.rate_percent = 400;
  EXPECT_DOUBLE_EQ(ComputeRenderParams(v, g, 10, 0, 100).params.duration_factor, 0.03125);
  EXPECT_DOUBLE_EQ(ComputeRenderParams(v, g, INT32_MAX, 0, 100).params.duration_factor, 0.03125);
  v.speed = 85;
  g.rate_percent = 25;
  EXPECT_DOUBLE_EQ(ComputeRenderParams(v, g, -10, 0, 100).params.duration_factor, 32.0);
  // The curve's two sides and its limits.
  EXPECT_DOUBLE_EQ(DurationForSpeed(85), 2.0);
  EXPECT_DOUBLE_EQ(DurationForSpeed(10), 2.0);
  EXPECT_DOUBLE_EQ(DurationForSpeed(130), 1.5);
  EXPECT_DOUBLE_EQ(DurationForSpeed(210), 0.9);
  EXPECT_DOUBLE_EQ(DurationForSpeed(1000), 0.5);
  // A global record that never went through the reader cannot divide by zero.
  g.rate_percent = 0;
  EXPECT_TRUE(std::isfinite(ComputeRenderParams(v, g, 0, 0, 100).params.duration_factor));
}

TEST(RenderParamsFromSettings, PitchEdges) {
  CustomVoiceSettings v;
  GlobalSettings g;
  v.pitch = 91;
  EXPECT_EQ(ComputeRenderParams(v, g, 0, 10, 100).params.pitch_factor, 2.0);
  EXPECT_EQ(ComputeRenderParams(v, g, 0, 50, 100).params.pitch_factor, 2.0);
  v.pitch = 45;
  EXPECT_EQ(ComputeRenderParams(v, g, 0, -10, 100).params.pitch_factor, 0.5);
  EXPECT_EQ(ComputeRenderParams(v, g, 0, INT32_MIN, 100).params.pitch_factor, 0.5);
  EXPECT_DOUBLE_EQ(SemitonesForPitch(45), -6);
  EXPECT_DOUBLE_EQ(SemitonesForPitch(63), 0);
  EXPECT_DOUBLE_EQ(SemitonesForPitch(91), 6);
  EXPECT_DOUBLE_EQ(SemitonesForPitch(500), 6);
  v.pitch = 63;
  // Five steps are three semitones.
  EXPECT_NEAR(ComputeRenderParams(v, g, 0, 5, 100).params.pitch_factor, std::pow(2.0, 0.25), 1e-12);
}

TEST(RenderParamsFromSettings, VolumeRule) {
  CustomVoiceSettings v;
  GlobalSettings g;
  v.volume = 65535;
  g.volume_percent = 200;
  double gain = ComputeRenderParams(v, g, 0, 0, 100).params.gain_factor;
  EXPECT_GT(gain, 4.0);
  EXPECT_LT(gain, 4.0003);
  EXPECT_EQ(ComputeRenderParams(v, g, 0, 0, 0).params.gain_factor, 0.0);
  // The host's volume is a percentage: more than 100 counts as 100.
  EXPECT_EQ(ComputeRenderParams(v, g, 0, 0, 65535).params.gain_factor, gain);
  v.volume = 32767;
  g.volume_percent = 100;
  EXPECT_DOUBLE_EQ(ComputeRenderParams(v, g, 0, 0, 50).params.gain_factor, 0.5);
}

}  // namespace
}  // namespace Quellmar
