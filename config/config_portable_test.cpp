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
#include "config/slider_scales.h"

namespace Quellmar::config {
namespace {

struct ScaleCase {
  Scale scale;
  int32_t low;
  int32_t high;
};
constexpr ScaleCase kScales[] = {
    {Scale::kSpeed, 85, 350},   {Scale::kPitch, 45, 91},       {Scale::kVolume, 0, 65535},
    {Scale::kPause, 0, 3000},   {Scale::kWordGap, 0, 100},     {Scale::kExtraRate, 25, 400},
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

DialogValues Loaded(const CustomVoiceSettings& voice = {}, const GlobalSettings& global = {}) {
  DialogValues v;
  LoadSettings(voice, global, v);
  return v;
}

TEST(DialogValues, SavingTheShippedSettingsUnchangedMovesOnlyWhatTheScaleCannotHold) {
  const DialogValues v = Loaded();
  EXPECT_EQ(v.rate, 34);
  EXPECT_EQ(v.pitch, 39);
  EXPECT_EQ(v.volume, 50);
  EXPECT_EQ(v.sentence_pause, 22);
  EXPECT_EQ(v.semicolon_pause, 17);
  EXPECT_EQ(v.comma_pause, 12);
  EXPECT_EQ(v.word_gap, 7);
  EXPECT_EQ(v.extra_rate, 50);
  EXPECT_EQ(v.extra_volume, 50);
  const SavedSettings s = SettingsFromValues(v);
  EXPECT_EQ(s.voice.speed, 175);
  EXPECT_EQ(s.voice.pitch, 63);
  EXPECT_EQ(s.voice.volume, 32768);
  EXPECT_EQ(s.voice.pauses, (std::array<int32_t, 4>{660, 510, 360, 7}));
  EXPECT_EQ(s.global.rate_percent, 100);
  EXPECT_EQ(s.global.volume_percent, 100);
  EXPECT_EQ(s.global.pauses, s.voice.pauses);
  EXPECT_FALSE(s.global.override_pauses);
}

TEST(DialogValues, SwitchesLoadFromEitherRecordAndSaveToBoth) {
  CustomVoiceSettings voice;
  GlobalSettings global;
  global.tags = true;
  voice.speak_punctuation = true;
  global.override_pauses = true;
  DialogValues v = Loaded(voice, global);
  EXPECT_TRUE(v.obey_tags);
  EXPECT_TRUE(v.speak_punctuation);
  EXPECT_TRUE(v.pauses_for_every_voice);
  SavedSettings s = SettingsFromValues(v);
  EXPECT_TRUE(s.voice.tags && s.global.tags);
  EXPECT_TRUE(s.voice.speak_punctuation && s.global.speak_punctuation);
  EXPECT_TRUE(s.global.override_pauses);
  v.obey_tags = false;
  s = SettingsFromValues(v);
  EXPECT_FALSE(s.voice.tags || s.global.tags);
}

TEST(DialogValues, OutOfRangeStoredValuesLoadAtTheEnds) {
  CustomVoiceSettings voice;
  voice.speed = 400;  // as if it had not come through the reader
  GlobalSettings global;
  global.volume_percent = 250;
  global.rate_percent = 150;
  const DialogValues v = Loaded(voice, global);
  EXPECT_EQ(v.rate, 100);
  EXPECT_EQ(v.extra_volume, 100);
  EXPECT_EQ(v.extra_rate, 65);
  const SavedSettings s = SettingsFromValues(v);
  EXPECT_EQ(s.voice.speed, 350);
  EXPECT_EQ(s.global.volume_percent, 200);
}

TEST(DialogValues, CopyDeepSetsTheVoiceSlidersOnly) {
  DialogValues v = Loaded();
  v.extra_rate = 80;
  v.extra_volume = 10;
  v.obey_tags = true;
  CopyPreset(1, v);  // deep: 160, 50, 32767, pause scale 110
  EXPECT_EQ(v.rate, 28);
  EXPECT_EQ(v.pitch, 11);
  EXPECT_EQ(v.volume, 50);
  EXPECT_EQ(v.sentence_pause, 24);  // 715 ms
  EXPECT_EQ(v.semicolon_pause, 18);  // 550
  EXPECT_EQ(v.comma_pause, 13);      // 385
  EXPECT_EQ(v.word_gap, 7);          // 7
  EXPECT_EQ(v.extra_rate, 80);
  EXPECT_EQ(v.extra_volume, 10);
  EXPECT_TRUE(v.obey_tags);
  const SavedSettings s = SettingsFromValues(v);
  EXPECT_EQ(s.voice.speed, 159);
  EXPECT_EQ(s.voice.pitch, 50);
  EXPECT_EQ(s.voice.pauses, (std::array<int32_t, 4>{720, 540, 390, 7}));
}

TEST(DialogValues, CopyClippedUsesTheTruncatedPauses) {
  const CustomVoiceSettings clipped = PresetVoiceSettings(6);
  EXPECT_EQ(clipped.pauses, (std::array<int32_t, 4>{162, 125, 87, 1}));
  DialogValues v = Loaded();
  CopyPreset(6, v);
  EXPECT_EQ(v.sentence_pause, 5);  // 162 * 100 / 3000 = 5.4
  EXPECT_EQ(v.semicolon_pause, 4);  // 4.17
  EXPECT_EQ(v.comma_pause, 3);      // 2.9
  EXPECT_EQ(v.word_gap, 1);
  EXPECT_EQ(v.rate, PositionForValue(Scale::kSpeed, 300));
}

TEST(DialogValues, ResetMovesSlidersToTheShippedPositionsAndClearsThreeBoxes) {
  DialogValues v;
  v.rate = v.pitch = v.volume = v.extra_rate = v.extra_volume = 3;
  v.pauses_for_every_voice = v.speak_punctuation = v.obey_tags = true;
  v.custom_dictionary = v.diagnostic_log = true;
  ResetToShipped(v);
  EXPECT_EQ(v.rate, 34);
  EXPECT_EQ(v.pitch, 39);
  EXPECT_EQ(v.volume, 50);
  EXPECT_EQ(v.sentence_pause, 22);
  EXPECT_EQ(v.semicolon_pause, 17);
  EXPECT_EQ(v.comma_pause, 12);
  EXPECT_EQ(v.word_gap, 7);
  EXPECT_EQ(v.extra_rate, 50);
  EXPECT_EQ(v.extra_volume, 50);
  EXPECT_FALSE(v.pauses_for_every_voice || v.speak_punctuation || v.obey_tags);
  EXPECT_TRUE(v.custom_dictionary && v.diagnostic_log);
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

TEST(Preview, NeutralPositionsGiveUnityFactors) {
  DialogValues v;
  v.rate = 34;
  v.pitch = 39;
  v.volume = 50;
  v.extra_rate = 50;
  v.extra_volume = 50;
  v.sentence_pause = 22;
  v.word_gap = 100;
  v.obey_tags = true;
  const RenderSetup r = PreviewRenderSetup(v);
  EXPECT_DOUBLE_EQ(r.params.duration_factor, 1.0);
  EXPECT_DOUBLE_EQ(r.params.pitch_factor, 1.0);
  EXPECT_DOUBLE_EQ(r.params.gain_factor, 32768.0 / 32767.0);
  EXPECT_EQ(r.params.pauses, (std::array<int32_t, 4>{660, 0, 0, 100}));
  EXPECT_TRUE(r.params.tags);
}

TEST(Preview, ExtremePositions) {
  DialogValues fast;
  fast.rate = 100;
  fast.extra_rate = 100;
  fast.pitch = 100;
  EXPECT_DOUBLE_EQ(PreviewRenderSetup(fast).params.duration_factor, 0.125);
  EXPECT_DOUBLE_EQ(PreviewRenderSetup(fast).params.pitch_factor, std::pow(2.0, 6.0 / 12));
  DialogValues slow;  // every position 0
  EXPECT_DOUBLE_EQ(PreviewRenderSetup(slow).params.duration_factor, 8.0);
  EXPECT_DOUBLE_EQ(PreviewRenderSetup(slow).params.pitch_factor, std::pow(2.0, -6.0 / 12));
  EXPECT_DOUBLE_EQ(PreviewRenderSetup(slow).params.gain_factor, 0.0);
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
