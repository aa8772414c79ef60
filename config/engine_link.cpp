#include "config/engine_link.h"

#include <mmsystem.h>

#include <condition_variable>
#include <mutex>
#include <thread>

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

// The client's RequestInfo does not ask whether to go on waiting, so it runs
// on a thread of its own while the caller waits for it only as long as its
// patience lasts. One such request at a time: a caller that finds one still
// unanswered waits for that one instead of starting another.
struct PendingInfo {
  std::mutex lock;
  std::condition_variable done_signal;
  bool done = false;
  bool ok = false;
  WorkerInfo info{};
};

std::shared_ptr<PendingInfo> StartOrJoinInfo(const std::shared_ptr<WorkerClient>& client) {
  static std::mutex lock;
  static std::shared_ptr<PendingInfo> outstanding;
  std::lock_guard<std::mutex> guard(lock);
  if (outstanding) {
    std::lock_guard<std::mutex> pending_guard(outstanding->lock);
    if (!outstanding->done) return outstanding;
  }
  auto pending = std::make_shared<PendingInfo>();
  std::thread([client, pending] {
    WorkerInfo info{};
    const bool ok = client->RequestInfo(info);
    std::lock_guard<std::mutex> pending_guard(pending->lock);
    pending->info = info;
    pending->ok = ok;
    pending->done = true;
    pending->done_signal.notify_all();
  }).detach();
  outstanding = pending;
  return pending;
}

}  // namespace

std::shared_ptr<WorkerClient> TheWorkerClient() {
  static const std::shared_ptr<WorkerClient> client = std::make_shared<WorkerClient>();
  return client;
}

bool AskWorkerInfo(const std::shared_ptr<WorkerClient>& client, WorkerInfo& out,
                   Patience& patience) {
  out = WorkerInfo{};
  const std::shared_ptr<PendingInfo> pending = StartOrJoinInfo(client);
  std::unique_lock<std::mutex> guard(pending->lock);
  while (!pending->done) {
    if (pending->done_signal.wait_for(guard, std::chrono::milliseconds(kWaitPollMs)) ==
            std::cv_status::timeout &&
        !pending->done && !KeepWaiting(&patience)) {
      return false;
    }
  }
  out = pending->info;
  return pending->ok;
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
