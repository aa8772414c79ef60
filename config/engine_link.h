// The configuration utility's road to the engine: its one WorkerClient, the
// engine information for the About text, and the preview's synthesis and
// playback.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "config/about_text.h"
#include "config/dialog_values.h"
#include "config/preview_sound.h"
#include "worker_client/worker_client.h"

namespace Quellmar::config {

// The process's one client, created on first use; it lives until the process ends.
WorkerClient& TheWorkerClient();

// One information request; the defaults when the worker does not answer.
EngineInfo RequestEngineInfo(WorkerClient& client);

// The About text: the engine's answer, where its files were looked for and
// the directories in quellmar.ini.
std::wstring ComposeAboutTextNow(WorkerClient& client);

enum class PreviewOutcome { kSamples, kNoWorker, kNothingToSay };

// Synthesizes `sentence` with the controls' values into `samples` (emptied
// first). The sentence must not be empty.
PreviewOutcome SynthesizePreview(WorkerClient& client, const DialogValues& values,
                                 const std::wstring& sentence, std::vector<int16_t>& samples);

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
