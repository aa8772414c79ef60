// qm_preview_image: the WAV image the running configuration dialog's Speak
// it plays, written to a file. It reads the dialog's controls through the UI
// driver and runs the dialog's own preview code with a player that keeps
// the image instead of sounding it (for the demo and for listening).
//   qm_preview_image --out FILE.wav
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "common/settings_registry.h"
#include "config/engine_link.h"
#include "config/messages.h"
#include "config/resource.h"
#include "testing/ui_driver/ui_driver.h"

namespace config = Quellmar::config;
namespace ui = Quellmar::testing::ui;

namespace {

class FilePlayer : public config::SoundPlayer {
 public:
  void Stop() override {}
  void PlayFromMemory(const uint8_t* image, size_t size) override {
    image_.assign(image, image + size);
  }
  std::vector<uint8_t> image_;
};

int Position(HWND dialog, int id) {
  return _wtoi(ui::Describe(GetDlgItem(dialog, id)).value.c_str());
}
bool Ticked(HWND dialog, int id) { return Position(dialog, id) == 1; }

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 3 || std::wstring(argv[1]) != L"--out") {
    std::puts("usage: qm_preview_image --out FILE.wav");
    return 2;
  }
  HWND dialog = ui::FindTopWindow(config::kCaption, L"#32770", false);
  if (!dialog) {
    std::puts("no configuration dialog");
    return 1;
  }
  config::DialogValues v;
  v.rate = Position(dialog, IDC_RATE);
  v.pitch = Position(dialog, IDC_PITCH);
  v.volume = Position(dialog, IDC_VOLUME);
  v.sentence_pause = Position(dialog, IDC_SENTENCE_PAUSE);
  v.semicolon_pause = Position(dialog, IDC_SEMICOLON_PAUSE);
  v.comma_pause = Position(dialog, IDC_COMMA_PAUSE);
  v.word_gap = Position(dialog, IDC_WORD_GAP);
  v.extra_rate = Position(dialog, IDC_EXTRA_RATE);
  v.extra_volume = Position(dialog, IDC_EXTRA_VOLUME);
  v.speak_punctuation = Ticked(dialog, IDC_SPEAK_PUNCTUATION);
  v.obey_tags = Ticked(dialog, IDC_OBEY_TAGS);
  v.pauses_for_every_voice = Ticked(dialog, IDC_PAUSES_FOR_EVERY_VOICE);
  std::wstring sentence = ui::TextOf(GetDlgItem(dialog, IDC_SENTENCE));
  if (sentence.size() > static_cast<size_t>(config::kSentenceChars))
    sentence.resize(config::kSentenceChars);
  if (sentence.empty()) sentence = config::kFoxSentence;

  // The positions the dialog opened with stand for the stored values, as in the dialog.
  config::DialogValues opened;
  const config::SettingsBasis basis = config::LoadSettings(Quellmar::ReadCustomVoiceSettings(),
                                                           Quellmar::ReadGlobalSettings(), opened);
  config::Patience patience([] { return false; }, std::chrono::seconds(120));
  const config::PreviewResult result = config::SynthesizePreview(
      config::TheWorkerClient(), config::MakePreviewRequest(v, basis, sentence), patience);
  if (result.outcome != config::PreviewOutcome::kSamples) {
    std::puts("the engine said nothing");
    return 1;
  }
  const std::vector<int16_t>& samples = result.samples;
  FilePlayer player;
  config::PreviewSound sound(player);
  sound.Play(samples);
  HANDLE f = CreateFileW(argv[2], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (f == INVALID_HANDLE_VALUE) return 1;
  DWORD written = 0;
  const bool ok = WriteFile(f, player.image_.data(), static_cast<DWORD>(player.image_.size()),
                            &written, nullptr) &&
                  written == player.image_.size();
  CloseHandle(f);
  std::printf("%zu samples, %.2f s\n", samples.size(), samples.size() / 16000.0);
  return ok ? 0 : 1;
}
