#include "config/engine_link.h"

#include <mmsystem.h>

#include "common/engine_settings.h"
#include "common/text_prep.h"
#include "engine_host/install_root.h"

namespace Quellmar::config {
namespace {

bool AppendPiece(const unsigned char* bytes, uint32_t count, void* context) {
  AppendPcm(*static_cast<std::vector<int16_t>*>(context), bytes, count);
  return true;
}

}  // namespace

WorkerClient& TheWorkerClient() {
  static WorkerClient client;
  return client;
}

EngineInfo RequestEngineInfo(WorkerClient& client) {
  WorkerInfo reply{};
  if (!client.RequestInfo(reply)) return EngineInfo{};
  return EngineInfoFromReply(reply);
}

std::wstring ComposeAboutTextNow(WorkerClient& client) {
  AboutFacts facts;
  // The worker is asked first: this may start it.
  facts.engine = RequestEngineInfo(client);
  facts.install_root = InstallRoot();
  const EngineSettings ini = ReadEngineSettings();
  facts.sound_bank_dir = ini.sound_bank_dir;
  facts.dictionary_dir = ini.dictionary_files_dir;
  facts.settings_path = EngineSettingsPath();
  return ComposeAboutText(facts);
}

PreviewOutcome SynthesizePreview(WorkerClient& client, const DialogValues& values,
                                 const std::wstring& sentence, std::vector<int16_t>& samples) {
  samples.clear();
  WorkerInfo info{};
  if (!client.RequestInfo(info)) return PreviewOutcome::kNoWorker;
  const RenderSetup setup = PreviewRenderSetup(values);
  const std::string text = ToEngineText(PreviewText(sentence, setup.speak_punctuation));
  const RenderParams& p = setup.params;
  const bool ok =
      client.RequestSynthesis(text.data(), static_cast<uint32_t>(text.size()), p.duration_factor,
                              p.pitch_factor, p.gain_factor, p.tags, &p.pauses, AppendPiece,
                              &samples);
  if (!ok || samples.empty()) return PreviewOutcome::kNothingToSay;
  return PreviewOutcome::kSamples;
}

void PlatformSoundPlayer::Stop() { PlaySoundW(nullptr, nullptr, SND_PURGE); }

void PlatformSoundPlayer::PlayFromMemory(const uint8_t* image, size_t) {
  PlaySoundW(reinterpret_cast<LPCWSTR>(image), nullptr, SND_MEMORY | SND_ASYNC | SND_NODEFAULT);
}

PreviewSound& ThePreviewSound() {
  static PlatformSoundPlayer player;
  static PreviewSound sound(player);
  return sound;
}

}  // namespace Quellmar::config
