#include "config/engine_link.h"

#include <mmsystem.h>

#include "common/engine_settings.h"
#include "engine_host/install_root.h"

namespace Quellmar::config {
namespace {

bool KeepWaiting(void* context) { return static_cast<Patience*>(context)->KeepWaiting(); }

// The preview's receiving end: each piece is kept, and tells the patience
// that the engine is still speaking. A stopped preview refuses the next
// piece: pieces that come back to back never leave the client waiting, so
// its keep-waiting question alone would not be asked.
struct PreviewSink {
  std::vector<int16_t> samples;
  Patience* patience;
};

bool AppendPiece(const unsigned char* bytes, uint32_t count, void* context) {
  auto* sink = static_cast<PreviewSink*>(context);
  if (sink->patience->stopped()) return false;
  sink->patience->Heard();
  AppendPcm(sink->samples, bytes, count);
  return true;
}

bool KeepWaitingForPieces(void* context) {
  return static_cast<PreviewSink*>(context)->patience->KeepWaiting();
}

}  // namespace

std::shared_ptr<WorkerClient> TheWorkerClient() {
  static const std::shared_ptr<WorkerClient> client = std::make_shared<WorkerClient>();
  return client;
}

bool AskWorkerInfo(const std::shared_ptr<WorkerClient>& client, WorkerInfo& out,
                   Patience& patience) {
  return client->RequestInfo(out, KeepWaiting, &patience);
}

EngineInfo RequestEngineInfo(const std::shared_ptr<WorkerClient>& client, Patience& patience) {
  WorkerInfo reply{};
  if (!AskWorkerInfo(client, reply, patience)) return EngineInfo{};
  return EngineInfoFromReply(reply);
}

std::wstring ComposeAboutTextFor(const EngineInfo& engine) {
  AboutFacts facts;
  facts.engine = engine;
  facts.install_root = InstallRoot();
  const EngineSettings ini = ReadEngineSettings();
  facts.sound_bank_dir = ini.sound_bank_dir;
  facts.dictionary_dir = ini.dictionary_files_dir;
  facts.settings_path = EngineSettingsPath();
  return ComposeAboutText(facts);
}

PreviewResult SynthesizePreview(const std::shared_ptr<WorkerClient>& client,
                                const PreviewRequest& request, Patience& patience) {
  PreviewResult result;
  WorkerInfo info{};
  if (!AskWorkerInfo(client, info, patience)) {
    result.outcome = patience.stopped() ? PreviewOutcome::kStopped : PreviewOutcome::kNoWorker;
    return result;
  }
  patience.Heard();
  PreviewSink sink{{}, &patience};
  const std::string& text = request.engine_text;
  const RenderParams& p = request.params;
  const bool ok = client->RequestSynthesis(text.data(), static_cast<uint32_t>(text.size()),
                                           p.duration_factor, p.pitch_factor, p.gain_factor, p.tags,
                                           &p.pauses, AppendPiece, &sink, KeepWaitingForPieces);
  if (patience.stopped()) {
    result.outcome = PreviewOutcome::kStopped;
  } else if (patience.ran_out()) {
    result.outcome = PreviewOutcome::kNoWorker;
  } else if (!ok || sink.samples.empty()) {
    result.outcome = PreviewOutcome::kNothingToSay;
  } else {
    result.outcome = PreviewOutcome::kSamples;
    result.samples = std::move(sink.samples);
  }
  return result;
}

namespace {

class WorkerEngineWork : public EngineWork {
 public:
  EngineInfo Info(Patience& patience) override {
    return RequestEngineInfo(TheWorkerClient(), patience);
  }
  PreviewResult Preview(const PreviewRequest& request, Patience& patience) override {
    return SynthesizePreview(TheWorkerClient(), request, patience);
  }
};

}  // namespace

std::shared_ptr<EngineWork> MakeWorkerEngineWork() { return std::make_shared<WorkerEngineWork>(); }

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
