// The preview against a real worker: the WAV image the dialog plays holds,
// byte for byte, what the worker returns for the parameters the controls
// stand for; and the settings writer's records read back through the
// engine's own readers.
#include "config/engine_link.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "common/log.h"
#include "common/settings_registry.h"
#include "common/text_prep.h"
#include "common/wav.h"
#include "config/settings_writer.h"
#include "testing/user_state.h"

namespace Quellmar::config {
namespace {

std::wstring WorkerPath() {
  wchar_t root[1024] = {};
  if (GetEnvironmentVariableW(L"QM_CONFIG_WORKER_ROOT", root, 1024) == 0) return {};
  std::wstring path = std::wstring(root) + L"\\x86\\QuellmarServer.exe";
  return GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES ? std::wstring() : path;
}

bool Collect(const unsigned char* bytes, uint32_t count, void* context) {
  auto* out = static_cast<std::vector<uint8_t>*>(context);
  out->insert(out->end(), bytes, bytes + count);
  return true;
}

class RecordingPlayer : public SoundPlayer {
 public:
  void Stop() override { ++stops; }
  void PlayFromMemory(const uint8_t* image, size_t size) override {
    played.assign(image, image + size);
  }
  int stops = 0;
  std::vector<uint8_t> played;
};

class PreviewAgainstWorker : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = WorkerPath();
    if (path_.empty()) GTEST_SKIP() << "no staged worker (QM_CONFIG_WORKER_ROOT)";
    client_ = std::make_shared<WorkerClient>(path_);
  }
  void TearDown() override {
    if (client_) client_->RequestShutdown();
  }

  // What the dialog plays for `values` and `sentence`, next to the worker's
  // own answer to the literal parameters the controls stand for.
  void Compare(const DialogValues& values, const std::wstring& sentence, const char* engine_text,
               double duration, double pitch, double gain, bool tags, WorkerClient::Pauses pauses) {
    const PreviewResult result = Preview(values, sentence);
    ASSERT_EQ(result.outcome, PreviewOutcome::kSamples);
    RecordingPlayer player;
    PreviewSound sound(player);
    sound.Play(result.samples);

    std::vector<uint8_t> direct;
    ASSERT_TRUE(client_->RequestSynthesis(engine_text, static_cast<uint32_t>(strlen(engine_text)),
                                          duration, pitch, gain, tags, &pauses, Collect, &direct));
    ASSERT_FALSE(direct.empty());
    direct.resize(direct.size() & ~size_t{1});
    std::vector<uint8_t> want = PcmWavHeader(16000, static_cast<uint32_t>(direct.size()));
    want.insert(want.end(), direct.begin(), direct.end());
    EXPECT_EQ(player.stops, 1);
    ASSERT_EQ(player.played.size(), want.size());
    EXPECT_TRUE(player.played == want) << "the played image differs from the worker's samples";
  }

  // The preview of sliders the dialog did not set itself: their positions' values.
  PreviewResult Preview(const DialogValues& values, const std::wstring& sentence) {
    Patience patience([] { return false; }, std::chrono::seconds(60));
    return SynthesizePreview(client_, MakePreviewRequest(values, SettingsBasis{}, sentence),
                             patience);
  }

  std::wstring path_;
  std::shared_ptr<WorkerClient> client_;
};

DialogValues Neutral() {
  DialogValues v;
  v.rate = 34;
  v.pitch = 39;
  v.volume = 50;
  v.extra_rate = 50;
  v.extra_volume = 50;
  v.sentence_pause = 22;
  v.semicolon_pause = 17;
  v.comma_pause = 12;
  v.word_gap = 7;
  return v;
}

TEST_F(PreviewAgainstWorker, NeutralSlidersPlayTheWorkersSamplesByteForByte) {
  Compare(Neutral(), L"  The quick brown fox\tjumps over the lazy dog.  ",
          "The quick brown fox jumps over the lazy dog.", 1.0, 1.0, 32768.0 / 32767.0, false,
          {660, 510, 360, 7});
}

TEST_F(PreviewAgainstWorker, FastHighLoudWithTagsAndNamedPunctuation) {
  DialogValues v = Neutral();
  v.rate = 100;
  v.extra_rate = 100;
  v.pitch = 100;
  v.volume = 100;
  v.extra_volume = 100;
  v.obey_tags = true;
  v.speak_punctuation = true;
  v.word_gap = 100;
  const std::string named = ToEngineText(NamePunctuation(L"Yes, caf\u00E9."));
  Compare(v, L"Yes, caf\u00E9.", named.c_str(), 0.125, std::pow(2.0, 0.5), 65535.0 / 32767.0 * 2,
          true, {660, 510, 360, 100});
}

TEST_F(PreviewAgainstWorker, ASecondPreviewStopsTheFirstBeforeReplacingItsImage) {
  RecordingPlayer player;
  PreviewSound sound(player);
  const PreviewResult first = Preview(Neutral(), L"One.");
  ASSERT_EQ(first.outcome, PreviewOutcome::kSamples);
  sound.Play(first.samples);
  const std::vector<uint8_t> first_image = player.played;
  const PreviewResult second = Preview(Neutral(), L"Two, three.");
  ASSERT_EQ(second.outcome, PreviewOutcome::kSamples);
  sound.Play(second.samples);
  EXPECT_EQ(player.stops, 2);
  EXPECT_NE(player.played, first_image);
  EXPECT_EQ(sound.image(), player.played);
}

TEST_F(PreviewAgainstWorker, NothingToSayWhenTheEngineMakesNoSound) {
  const PreviewResult result = Preview(Neutral(), L"   ");
  EXPECT_EQ(result.outcome, PreviewOutcome::kNothingToSay);
  EXPECT_TRUE(result.samples.empty());
}

TEST_F(PreviewAgainstWorker, AStoppedPreviewEndsAtOnceAndSaysNothing) {
  ASSERT_EQ(Preview(Neutral(), L"The worker is up.").outcome, PreviewOutcome::kSamples);
  // 511 characters at the slowest settings: many seconds of the engine's work.
  DialogValues slow;
  std::wstring sentence;
  while (sentence.size() < 511) sentence += L"word ";
  sentence.resize(511);
  std::atomic<bool> stop{false};
  Patience patience([&] { return stop.load(); }, std::chrono::seconds(60));
  std::thread stopper([&] {
    Sleep(300);
    stop = true;
  });
  const ULONGLONG start = GetTickCount64();
  const PreviewResult result =
      SynthesizePreview(client_, MakePreviewRequest(slow, SettingsBasis{}, sentence), patience);
  const ULONGLONG took = GetTickCount64() - start;
  stopper.join();
  EXPECT_EQ(result.outcome, PreviewOutcome::kStopped);
  EXPECT_LT(took, 3000u) << "the stop was not heard while the engine worked";
}

class SettingsWriter : public testing::CleanUserState {};

TEST_F(SettingsWriter, RecordsReadBackThroughTheEnginesReaders) {
  CustomVoiceSettings voice;
  voice.speed = 9999;  // limited on the way in
  voice.pitch = 50;
  voice.volume = -3;
  voice.pauses = {0, 3000, 1, 101};
  voice.tags = true;
  ASSERT_TRUE(WriteCustomVoiceSettings(voice));
  GlobalSettings global;
  global.rate_percent = 103;
  global.volume_percent = 0;
  global.override_pauses = true;
  global.pauses = {1, 2, 3, 4};
  global.speak_punctuation = true;
  ASSERT_TRUE(WriteGlobalSettings(global));
  EXPECT_EQ(ReadUserDword(kCustomVoiceKeyPath, kSpeedValue), 350u);
  EXPECT_EQ(ReadUserDword(kCustomVoiceKeyPath, kVolumeValue), 0u);
  EXPECT_EQ(ReadUserDword(kCustomVoiceKeyPath, kPauseValues[3]), 100u);
  EXPECT_EQ(ReadUserDword(kCustomVoiceKeyPath, kHonourTagsValue), 1u);
  EXPECT_EQ(ReadUserDword(kCustomVoiceKeyPath, kSpeakPunctuationValue), 0u);
  const GlobalSettings g = ReadGlobalSettings();
  EXPECT_EQ(g.rate_percent, 103);
  EXPECT_EQ(g.volume_percent, 0);
  EXPECT_TRUE(g.override_pauses);
  EXPECT_EQ(g.pauses, (std::array<int32_t, 4>{1, 2, 3, 4}));
  EXPECT_TRUE(g.speak_punctuation);
  EXPECT_FALSE(g.tags);
}

TEST_F(SettingsWriter, LoggingBoxIsTickedUnlessLoggingIsADwordZero) {
  EXPECT_TRUE(LoggingSwitchOn());  // missing
  const wchar_t text[] = L"0";
  ASSERT_TRUE(testing::SetUserValue(L"", kLoggingValue, REG_SZ, text, sizeof(text)));
  EXPECT_TRUE(LoggingSwitchOn());  // another type
  WriteLoggingSwitch(false);
  EXPECT_FALSE(LoggingSwitchOn());
  EXPECT_EQ(ReadUserDword(kSettingsKey, kLoggingValue), 0u);
  WriteLoggingSwitch(true);
  EXPECT_EQ(ReadUserDword(kSettingsKey, kLoggingValue), 1u);
}

TEST_F(SettingsWriter, CommandLineResetWritesTheShippedRecords) {
  ASSERT_TRUE(testing::SetUserDword(L"CustomVoice", kSpeedValue, 300));
  ASSERT_TRUE(testing::SetUserDword(L"Global", kOverridePausesValue, 1));
  ResetStoredSettings();
  const CustomVoiceSettings v = ReadCustomVoiceSettings();
  EXPECT_EQ(v.speed, 175);
  EXPECT_EQ(ReadUserDword(kCustomVoiceKeyPath, kVolumeValue), 32767u);
  EXPECT_EQ(ReadUserDword(kGlobalKeyPath, kOverridePausesValue), 0u);
  EXPECT_EQ(ReadUserDword(kGlobalKeyPath, kPauseValues[0]), 650u);
}

}  // namespace
}  // namespace Quellmar::config
