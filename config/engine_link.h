// The configuration utility's road to the engine: its one WorkerClient, the
// engine information for the About text, and the preview's synthesis and
// playback. The requests run on the dialog's engine thread (engine_requests.h)
// and wait only as long as their Patience lasts.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "config/about_text.h"
#include "config/dialog_values.h"
#include "config/engine_requests.h"
#include "config/preview_sound.h"
#include "worker_client/worker_client.h"

namespace Quellmar::config {

// The process's one client, created on first use. Requests that run on other
// threads hold it too, so it lives until the process and they are done.
std::shared_ptr<WorkerClient> TheWorkerClient();

// The worker's InfoReply, asked as long as `patience` lasts; false without one.
bool AskWorkerInfo(const std::shared_ptr<WorkerClient>& client, WorkerInfo& out,
                   Patience& patience);

// One information request; the defaults when the worker does not answer.
EngineInfo RequestEngineInfo(const std::shared_ptr<WorkerClient>& client, Patience& patience);

// The About text for what the engine said: where its files were looked for
// and the directories in quellmar.ini are read now.
std::wstring ComposeAboutTextFor(const EngineInfo& engine);

// The preview: the worker is asked for its information first (a worker that
// does not answer has nothing to say), then for the synthesis.
PreviewResult SynthesizePreview(const std::shared_ptr<WorkerClient>& client,
                                const PreviewRequest& request, Patience& patience);

// What the dialog's engine thread does: the two above, through the process's client.
std::shared_ptr<EngineWork> MakeWorkerEngineWork();

// PlaySoundW from memory, asynchronously; stopping waits until the platform
// no longer reads the image.
class PlatformSoundPlayer : public SoundPlayer {
 public:
  void Stop() override;
  void PlayFromMemory(const uint8_t* image, size_t size) override;
};

// The preview sound of the process: one image, alive until the process ends.
PreviewSound& ThePreviewSound();

}  // namespace Quellmar::config
