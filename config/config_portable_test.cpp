// The dialog's scales, its load/save/copy/reset rules, the About text and the
// preview's sound buffer, on the host.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "common/voices.h"
#include "config/about_text.h"
#include "config/dialog_values.h"
#include "config/preview_sound.h"
#include "config/scroll_geometry.h"
#include "config/slider_scales.h"

namespace Quellmar::config {
namespace {

struct ScaleCase {
  Scale scale;
  int32_t low;
  int32_t high;
};
constexpr ScaleCase kScales[] = {
    {Scale::kSpeed, 85, 350},      {Scale::kPitch, 45, 91},   {Scale::kVolume, 0, 65535},
    {Scale::kPause, 0, 3000},      {Scale::kWordGap, 0, 100}, {Scale::kExtraRate, 25, 400},
    {Scale::kExtraVolume, 0, 200},
};

TEST(SliderScales, EveryPositionSavesInRangeAndLoadsBackToItself) {
  for (const ScaleCase& c : kScales) {
    // Pitch has fewer values than positions, and so has the low end of the
    // logarithmic extra rate: neighbouring positions may share a value there.
    const bool coarse = c.scale == Scale::kPitch || c.scale == Scale::kExtraRate;
    int32_t previous = c.low - 1;
    for (int p = 0; p <= 100; ++p) {
      const int32_t v = ValueForPosition(c.scale, p);
      EXPECT_GE(v, c.low) << static_cast<int>(c.scale) << " p=" << p;
      EXPECT_LE(v, c.high) << static_cast<int>(c.scale) << " p=" << p;
      if (coarse) {
        EXPECT_GE(v, previous) << static_cast<int>(c.scale) << " p=" << p;
        EXPECT_LE(std::abs(PositionForValue(c.scale, v) - p), 1) << static_cast<int>(c.scale);
      } else {
        EXPECT_GT(v, previous) << static_cast<int>(c.scale) << " p=" << p;
        EXPECT_EQ(PositionForValue(c.scale, v), p) << static_cast<int>(c.scale) << " v=" << v;
      }
      previous = v;
    }
    EXPECT_EQ(ValueForPosition(c.scale, 0), c.low);
    EXPECT_EQ(ValueForPosition(c.scale, 100), c.high);
  }
  // From the middle up the extra rate is fine enough to be exact again.
  for (int p = 50; p <= 100; ++p) {
    EXPECT_EQ(PositionForValue(Scale::kExtraRate, ValueForPosition(Scale::kExtraRate, p)), p);
  }
}

TEST(SliderScales, EveryStoredValueLoadsWhereItSavesBackWithinHalfAStep) {
  for (const ScaleCase& c : kScales) {
    int previous = 0;
    for (int32_t v = c.low; v <= c.high; ++v) {
      const int p = PositionForValue(c.scale, v);
      ASSERT_GE(p, previous) << static_cast<int>(c.scale) << " v=" << v;  // never falls
      previous = p;
      const double back = ValueForPosition(c.scale, p);
      if (c.scale == Scale::kExtraRate) {
        // Half a step of the logarithmic scale, plus the rounding to whole percent.
        EXPECT_LE(std::fabs(std::log(back / v)), std::log(4.0) / 100 + 0.5 / v) << v;
      } else if (c.scale == Scale::kExtraVolume) {
        EXPECT_EQ(back, v - v % 2) << v;
      } else {
        const double half_step = (c.high - c.low) / 200.0;
        EXPECT_LE(std::fabs(back - v), half_step + 0.5) << static_cast<int>(c.scale) << " v=" << v;
      }
    }
  }
}

TEST(SliderScales, OutOfRangeInputsAreLimited) {
  for (const ScaleCase& c : kScales) {
    EXPECT_EQ(ValueForPosition(c.scale, -5), c.low);
    EXPECT_EQ(ValueForPosition(c.scale, 101), c.high);
    EXPECT_EQ(ValueForPosition(c.scale, INT32_MIN), c.low);
    EXPECT_EQ(ValueForPosition(c.scale, INT32_MAX), c.high);
    EXPECT_EQ(PositionForValue(c.scale, INT32_MIN), 0);
    EXPECT_EQ(PositionForValue(c.scale, INT32_MAX), 100);
  }
  EXPECT_EQ(PositionForValue(Scale::kSpeed, 400), 100);
  EXPECT_EQ(PositionForValue(Scale::kSpeed, 10), 0);
}

TEST(SliderScales, ExtraRateIsLogarithmic) {
  const int positions[] = {0, 1, 25, 49, 50, 51, 75, 99, 100};
  const int32_t saved[] = {25, 26, 50, 97, 100, 103, 200, 389, 400};
  for (size_t i = 0; i < std::size(positions); ++i) {
    EXPECT_EQ(ValueForPosition(Scale::kExtraRate, positions[i]), saved[i]) << positions[i];
  }
  EXPECT_EQ(PositionForValue(Scale::kExtraRate, 150), 65);
}

TEST(SliderScales, ExtraVolumeHalvesWithIntegerDivision) {
  EXPECT_EQ(PositionForValue(Scale::kExtraVolume, 101), 50);
  EXPECT_EQ(ValueForPosition(Scale::kExtraVolume, 50), 100);
  EXPECT_EQ(PositionForValue(Scale::kExtraVolume, 250), 100);
  EXPECT_EQ(ValueForPosition(Scale::kExtraVolume, 100), 200);
}

TEST(SliderScales, NearestRoundsHalvesAwayFromZero) {
  EXPECT_EQ(Nearest(0.5), 1);
  EXPECT_EQ(Nearest(-0.5), -1);
  EXPECT_EQ(Nearest(2.4999), 2);
  EXPECT_EQ(Nearest(-2.5), -3);
}

struct Opened {
  DialogValues values;
  SettingsBasis basis;
};
Opened Open(const CustomVoiceSettings& voice = {}, const GlobalSettings& global = {}) {
  Opened o;
  o.basis = LoadSettings(voice, global, o.values);
  return o;
}

// Legal values the scales cannot show exactly, and switches set in one record only.
SavedSettings OddSettings() {
  SavedSettings s;
  s.voice.speed = 176;
  s.voice.volume = 46000;
  s.voice.pauses = {1000, 20, 1, 99};
  s.voice.speak_punctuation = true;
  s.global.rate_percent = 150;
  s.global.volume_percent = 101;
  s.global.pauses = {0, 0, 3000, 0};
  s.global.tags = true;
  return s;
}

TEST(DialogValues, WhatWasNotChangedIsSavedAsItWasRead) {
  SavedSettings override_on = OddSettings();
  override_on.global.override_pauses = true;
  for (const SavedSettings& stored : {SavedSettings{}, OddSettings(), override_on}) {
    const Opened o = Open(stored.voice, stored.global);
    EXPECT_EQ(SettingsFromValues(o.values, o.basis), stored);
  }
  // The shipped values sit where the scales put them.
  const Opened shipped = Open();
  const int positions[] = {
      shipped.values.rate,           shipped.values.pitch,           shipped.values.volume,
      shipped.values.sentence_pause, shipped.values.semicolon_pause, shipped.values.comma_pause,
      shipped.values.word_gap,       shipped.values.extra_rate,      shipped.values.extra_volume};
  EXPECT_EQ(std::vector<int>(std::begin(positions), std::end(positions)),
            (std::vector<int>{34, 39, 50, 22, 17, 12, 7, 50, 50}));
}

TEST(DialogValues, SwitchesAndGlobalPausesChangeOnlyWithTheirControls) {
  struct Case {
    const char* what;
    void (*change)(DialogValues&);
    bool override_at_open;
    bool tags[2];         // voice, global after Save
    bool punctuation[2];  // voice, global after Save
    std::array<int32_t, 4> global_pauses;
  };
  // Stored: voice punctuation on, global tags on, voice pauses 1000/20/1/99,
  // global pauses 0/0/3000/0.
  const Case cases[] = {
      {"nothing", [](DialogValues&) {}, false, {false, true}, {true, false}, {0, 0, 3000, 0}},
      {"tags box cleared",
       [](DialogValues& v) { v.obey_tags = false; },
       false,
       {false, false},
       {true, false},
       {0, 0, 3000, 0}},
      {"punctuation box cleared and ticked again",
       [](DialogValues& v) { v.speak_punctuation = true; },
       false,
       {false, true},
       {true, false},
       {0, 0, 3000, 0}},
      {"a pause moved, not for every voice",
       [](DialogValues& v) { v.sentence_pause = 50; },
       false,
       {false, true},
       {true, false},
       {0, 0, 3000, 0}},
      {"a pause moved, for every voice",
       [](DialogValues& v) { v.sentence_pause = 50; },
       true,
       {false, true},
       {true, false},
       {1500, 0, 3000, 0}},
      {"the box for every voice ticked",
       [](DialogValues& v) { v.pauses_for_every_voice = true; },
       false,
       {false, true},
       {true, false},
       {1000, 20, 1, 99}},
  };
  for (const Case& c : cases) {
    SavedSettings stored = OddSettings();
    stored.global.override_pauses = c.override_at_open;
    Opened o = Open(stored.voice, stored.global);
    c.change(o.values);
    const SavedSettings s = SettingsFromValues(o.values, o.basis);
    EXPECT_EQ(s.voice.tags, c.tags[0]) << c.what;
    EXPECT_EQ(s.global.tags, c.tags[1]) << c.what;
    EXPECT_EQ(s.voice.speak_punctuation, c.punctuation[0]) << c.what;
    EXPECT_EQ(s.global.speak_punctuation, c.punctuation[1]) << c.what;
    EXPECT_EQ(s.global.pauses, c.global_pauses) << c.what;
  }
}

TEST(DialogValues, CopyAndResetSaveTheirExactValues) {
  const SavedSettings odd = OddSettings();
  Opened o = Open(odd.voice, odd.global);
  o.values.extra_rate = 80;
  o.values.obey_tags = false;
  CopyPreset(1, o.values, o.basis);  // deep: 160, 50, 32767, pause scale 110
  const int deep[] = {o.values.rate,           o.values.pitch,           o.values.volume,
                      o.values.sentence_pause, o.values.semicolon_pause, o.values.comma_pause,
                      o.values.word_gap,       o.values.extra_rate};
  EXPECT_EQ(std::vector<int>(std::begin(deep), std::end(deep)),
            (std::vector<int>{28, 11, 50, 24, 18, 13, 7, 80}));
  SavedSettings s = SettingsFromValues(o.values, o.basis);
  EXPECT_EQ(s.voice.speed, 160);
  EXPECT_EQ(s.voice.pitch, 50);
  EXPECT_EQ(s.voice.volume, 32767);
  EXPECT_EQ(s.voice.pauses, (std::array<int32_t, 4>{715, 550, 385, 7}));
  EXPECT_EQ(s.global.rate_percent, ValueForPosition(Scale::kExtraRate, 80));
  EXPECT_FALSE(s.voice.tags || s.global.tags);

  CopyPreset(6, o.values, o.basis);  // clipped: truncated pauses 162, 125, 87, 1
  EXPECT_EQ(SettingsFromValues(o.values, o.basis).voice.pauses,
            (std::array<int32_t, 4>{162, 125, 87, 1}));
  EXPECT_EQ(o.values.sentence_pause, 5);
  EXPECT_EQ(o.values.word_gap, 1);

  o.values.pauses_for_every_voice = o.values.speak_punctuation = o.values.obey_tags = true;
  o.values.custom_dictionary = o.values.diagnostic_log = true;
  ResetToShipped(o.values, o.basis);
  EXPECT_FALSE(o.values.pauses_for_every_voice || o.values.speak_punctuation || o.values.obey_tags);
  EXPECT_TRUE(o.values.custom_dictionary && o.values.diagnostic_log);
  s = SettingsFromValues(o.values, o.basis);
  SavedSettings want = ShippedSettings();
  want.global.pauses = odd.global.pauses;  // not shown, not for every voice: kept
  EXPECT_EQ(s, want);
}

TEST(DialogValues, ShippedRecordsAndStorageLimits) {
  const SavedSettings s = ShippedSettings();
  EXPECT_EQ(s.voice.speed, 175);
  EXPECT_EQ(s.voice.pitch, 63);
  EXPECT_EQ(s.voice.volume, 32767);
  EXPECT_EQ(s.voice.pauses, (std::array<int32_t, 4>{650, 500, 350, 7}));
  EXPECT_EQ(s.global.rate_percent, 100);
  EXPECT_EQ(s.global.volume_percent, 100);
  EXPECT_EQ(s.global.pauses, s.voice.pauses);
  EXPECT_FALSE(s.voice.tags || s.voice.speak_punctuation || s.global.override_pauses ||
               s.global.tags || s.global.speak_punctuation);
  CustomVoiceSettings wild;
  wild.speed = 9999;
  wild.pitch = -3;
  wild.volume = 70000;
  wild.pauses = {-1, 5000, 3001, 101};
  const CustomVoiceSettings limited = LimitForStorage(wild);
  EXPECT_EQ(limited.speed, 350);
  EXPECT_EQ(limited.pitch, 45);
  EXPECT_EQ(limited.volume, 65535);
  EXPECT_EQ(limited.pauses, (std::array<int32_t, 4>{0, 3000, 3000, 100}));
}

TEST(Preview, RendersWhatSaveWouldWrite) {
  // Opened on the shipped values: the engine's own pace, pitch and level exactly.
  Opened o = Open();
  o.values.word_gap = 100;
  o.values.obey_tags = true;
  PreviewRequest r = MakePreviewRequest(o.values, o.basis, L"  Hello,\tworld.  ");
  EXPECT_EQ(r.engine_text, "Hello, world.");
  EXPECT_DOUBLE_EQ(r.params.duration_factor, 1.0);
  EXPECT_DOUBLE_EQ(r.params.pitch_factor, 1.0);
  EXPECT_DOUBLE_EQ(r.params.gain_factor, 1.0);
  EXPECT_EQ(r.params.pauses, (std::array<int32_t, 4>{650, 500, 350, 100}));
  EXPECT_TRUE(r.params.tags);

  // Positions the dialog did not set: their scales' values.
  const SettingsBasis none;
  DialogValues fast;
  fast.rate = fast.extra_rate = fast.pitch = 100;
  r = MakePreviewRequest(fast, none, L"x");
  EXPECT_DOUBLE_EQ(r.params.duration_factor, 0.125);
  EXPECT_DOUBLE_EQ(r.params.pitch_factor, std::pow(2.0, 6.0 / 12));
  const DialogValues slow;  // every position 0
  r = MakePreviewRequest(slow, none, L"x");
  EXPECT_DOUBLE_EQ(r.params.duration_factor, 8.0);
  EXPECT_DOUBLE_EQ(r.params.pitch_factor, std::pow(2.0, -6.0 / 12));
  EXPECT_DOUBLE_EQ(r.params.gain_factor, 0.0);
  DialogValues neutral;
  neutral.rate = 34;
  neutral.pitch = 39;
  neutral.volume = neutral.extra_rate = neutral.extra_volume = 50;
  EXPECT_DOUBLE_EQ(MakePreviewRequest(neutral, none, L"x").params.gain_factor, 32768.0 / 32767.0);
}

TEST(Preview, TextIsCollapsedAndPunctuationNamedOnlyWhenAsked) {
  EXPECT_EQ(PreviewText(L"  Hello,\t world.  ", false), L"Hello, world.");
  const std::wstring named = PreviewText(L"Hello, world.", true);
  EXPECT_EQ(named.find(L','), std::wstring::npos);
  EXPECT_NE(named, L"Hello, world.");
  EXPECT_EQ(PreviewText(L"", false), L"");
}

// A player that checks that the image it plays is never changed under it.
class RecordingPlayer : public SoundPlayer {
 public:
  void Stop() override {
    if (playing_) {
      EXPECT_EQ(std::memcmp(playing_, copy_.data(), copy_.size()), 0)
          << "the image was rewritten while it was being played";
    }
    playing_ = nullptr;
    events.push_back("stop");
  }
  void PlayFromMemory(const uint8_t* image, size_t size) override {
    playing_ = image;
    copy_.assign(image, image + size);
    events.push_back("play " + std::to_string(size));
  }
  std::vector<std::string> events;

 private:
  const uint8_t* playing_ = nullptr;
  std::vector<uint8_t> copy_;
};

TEST(PreviewSound, AReplayStopsTheSoundBeforeItsImageIsRebuilt) {
  RecordingPlayer player;
  PreviewSound sound(player);
  std::vector<int16_t> first(1000, 1234), second(5000, -2);
  sound.Play(first);
  sound.Play(second);  // a larger image: the buffer moves
  sound.Play(first);
  sound.Stop();
  EXPECT_EQ(player.events, (std::vector<std::string>{"stop", "play 2044", "stop", "play 10044",
                                                     "stop", "play 2044", "stop"}));
}

TEST(PreviewSound, ImageIsA16kMonoWav) {
  RecordingPlayer player;
  PreviewSound sound(player);
  const std::vector<int16_t> samples = {1, -1, 0x1234};
  sound.Play(samples);
  const std::vector<uint8_t>& w = sound.image();
  ASSERT_EQ(w.size(), 50u);
  EXPECT_EQ(std::string(w.begin(), w.begin() + 4), "RIFF");
  auto u32 = [&](size_t at) { return w[at] | w[at + 1] << 8 | w[at + 2] << 16 | w[at + 3] << 24; };
  auto u16 = [&](size_t at) { return w[at] | w[at + 1] << 8; };
  EXPECT_EQ(u32(4), 42);
  EXPECT_EQ(std::string(w.begin() + 8, w.begin() + 16), "WAVEfmt ");
  EXPECT_EQ(u32(16), 16);
  EXPECT_EQ(u16(20), 1);
  EXPECT_EQ(u16(22), 1);
  EXPECT_EQ(u32(24), 16000);
  EXPECT_EQ(u32(28), 32000);
  EXPECT_EQ(u16(32), 2);
  EXPECT_EQ(u16(34), 16);
  EXPECT_EQ(std::string(w.begin() + 36, w.begin() + 40), "data");
  EXPECT_EQ(u32(40), 6);
  EXPECT_EQ(std::vector<uint8_t>(w.begin() + 44, w.end()),
            (std::vector<uint8_t>{0x01, 0x00, 0xFF, 0xFF, 0x34, 0x12}));
}

TEST(PreviewSound, PiecesOfOddLengthLoseOnlyTheirLastByte) {
  std::vector<int16_t> samples;
  const uint8_t piece[] = {0x10, 0x00, 0xFE, 0xFF, 0x77};
  AppendPcm(samples, piece, sizeof(piece));
  AppendPcm(samples, piece, 0);
  EXPECT_EQ(samples, (std::vector<int16_t>{16, -2}));
}

TEST(ScrollGeometry, FittingAndFollowing) {
  struct FitCase {
    Extent window, work, want;
  };
  const FitCase fits[] = {
      {{100, 500}, {0, 1024}, {100, 500}},  // fits where it is
      {{-2, 1051}, {0, 1024}, {4, 1016}},   // wider than the screen: the area less 4 each side
      {{900, 500}, {0, 1024}, {524, 500}},  // sticks out on the right: moved in
      {{-50, 500}, {30, 1024}, {30, 500}},  // sticks out before a work area that starts later
  };
  for (const FitCase& c : fits) EXPECT_EQ(FitIntoWorkArea(c.window, c.work, 4), c.want);

  struct FollowCase {
    int scroll;
    Extent control;
    int want;
  };
  // A view of 600 pixels, margins 16 before and 4 after.
  const FollowCase follows[] = {
      {100, {200, 30}, 100},  // in view: stays
      {100, {10, 30}, 94},    // too near the start: 16 pixels from it
      {100, {580, 30}, 114},  // beyond the end: 4 pixels before it
      {0, {700, 900}, 684},   // larger than the view: its start shown
      {0, {16, 900}, 0},      // larger, its start already shown
  };
  for (const FollowCase& c : follows) {
    EXPECT_EQ(ScrollToShow(c.scroll, c.control, 600, 16, 4), c.want)
        << c.control.start << "+" << c.control.size;
  }
}

protocol::WorkerInfo Reply(const char* version, size_t n) {
  protocol::WorkerInfo r{};
  r.output_sample_rate = 16000;
  r.engine_sample_rate = 11025;
  r.engine_bits_per_sample = -8;
  std::memcpy(r.engine_version, version, n);
  return r;
}

TEST(AboutText, VersionStopsAtItsNulAndNeverReadsBeyondItsBytes) {
  EXPECT_EQ(EngineInfoFromReply(Reply("4.1\0junk", 8)).version, "4.1");
  char full[32];
  std::memset(full, 'x', sizeof(full));
  EXPECT_EQ(EngineInfoFromReply(Reply(full, 32)).version, std::string(32, 'x'));
  EXPECT_EQ(EngineInfoFromReply(Reply("", 1)).version, "");
}

TEST(AboutText, WithTheWorkerAnswering) {
  AboutFacts f;
  f.engine = EngineInfoFromReply(Reply("V\xE9 2", 5));
  f.install_root = L"C:\\Program Files\\Quellmar SAPI5\\";
  f.sound_bank_dir = L"C:\\Q\\SNDBANK";
  f.dictionary_dir = L"";
  f.settings_path = L"C:\\windows\\quellmar.ini";
  EXPECT_EQ(ComposeAboutText(f),
            L"Quellmar speech engine, version V\u00E9 2.  One recorded voice, Oskel, in American "
            L"English -- the only voice and the only language this engine has.\r\n"
            L"Engine output: 11025 Hz -8-bit mu-law; this wrapper hands SAPI 16000 Hz 16-bit "
            L"mono.\r\n"
            L"This utility is 64-bit. The engine is a 32-bit dll with no 64-bit build in "
            L"existence, so a 64-bit program reaches it through QuellmarServer.exe in the x86 "
            L"folder.\r\n"
            L"Engine files: C:\\Program Files\\Quellmar SAPI5\\engine\\Lib\\qmcore.dll\r\n"
            L"Sound bank: C:\\Q\\SNDBANK\r\n"
            L"Dictionary: \r\n"
            L"Settings file: C:\\windows\\quellmar.ini\r\n"
            L"Rate 85 to 350 words a minute, pitch 45 to 91 (six semitones either way), volume 0 "
            L"to 65535.\r\n"
            L"The engine core parses its own rate, pitch and volume tags but never acts on them; "
            L"this wrapper applies all three.");
}

TEST(AboutText, WithoutAnAnswerTheDefaultsAndTheNotAnsweredParagraph) {
  AboutFacts f;
  f.install_root = L"Z:\\x\\";
  const std::wstring t = ComposeAboutText(f);
  EXPECT_EQ(t.rfind(L"Quellmar speech engine, version not loaded.  One", 0), 0u);
  EXPECT_NE(t.find(L"Engine output: 8000 Hz 8-bit mu-law; this wrapper hands SAPI 16000 Hz"),
            std::wstring::npos);
  const std::wstring tail =
      L"applies all three.\r\n\r\nThe engine did not answer. Nothing will speak until that is "
      L"fixed; the log folder button below has the detail.";
  ASSERT_GE(t.size(), tail.size());
  EXPECT_EQ(t.substr(t.size() - tail.size()), tail);
}

}  // namespace
}  // namespace Quellmar::config
