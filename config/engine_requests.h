// The dialog's conversations with the engine, on a thread of their own: the
// dialog keeps answering (a screen reader goes silent on a dialog that does
// not) however long the worker takes, and whatever it does. Every request
// has a bound; the dialog learns of an answer through a callback and takes
// it on its own thread. Portable; the work itself is the caller's.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "config/about_text.h"
#include "config/dialog_values.h"

namespace Quellmar::config {

using Clock = std::chrono::steady_clock;

// How long the engine may stay silent before a request gives up on it: the
// worker's start and its information, and the gap before and between the
// pieces of a preview. The worker streams a preview as it renders it: the
// longest sentence at the slowest settings keeps it silent for about 0.2 s
// (bench/run-config), the rest is room for a busy machine and for the
// engine's other clients, whose syntheses come first.
struct EnginePatience {
  std::chrono::milliseconds info{5000};
  std::chrono::milliseconds synthesis{10000};
};

// Asked by a request while it waits: whether to go on. No once the request
// is stopped (a newer preview, Close) or the engine has been silent for
// longer than the bound: `first` until the engine is first heard (its
// information, which a working worker gives at once), `silence` after that;
// Heard() starts the silence again.
class Patience {
 public:
  Patience(std::function<bool()> stopped, std::chrono::milliseconds silence)
      : Patience(std::move(stopped), silence, silence) {}
  Patience(std::function<bool()> stopped, std::chrono::milliseconds first,
           std::chrono::milliseconds silence);
  bool KeepWaiting();
  void Heard() {
    last_heard_ = Clock::now();
    bound_ = silence_;
  }
  // True once the request was stopped on the dialog's behalf.
  bool stopped() const { return stopped_(); }
  // True when the request gave up because the engine stayed silent.
  bool ran_out() const { return ran_out_; }

 private:
  std::function<bool()> stopped_;
  std::chrono::milliseconds bound_;
  std::chrono::milliseconds silence_;
  Clock::time_point last_heard_;
  bool ran_out_ = false;
};

enum class PreviewOutcome {
  kSamples,       // play them
  kNoWorker,      // the engine did not answer
  kNothingToSay,  // it answered with no sound
  kStopped,       // given up on the dialog's behalf; nothing to show
};

struct PreviewResult {
  PreviewOutcome outcome = PreviewOutcome::kStopped;
  std::vector<int16_t> samples;
};

// What the thread does for each request.
class EngineWork {
 public:
  virtual ~EngineWork() = default;
  // The defaults of EngineInfo when the engine does not answer.
  virtual EngineInfo Info(Patience& patience) = 0;
  virtual PreviewResult Preview(const PreviewRequest& request, Patience& patience) = 0;
};

struct EngineAnswer {
  enum class Kind { kInfo, kPreview } kind = Kind::kInfo;
  EngineInfo info;
  PreviewResult preview;
};

class EngineRequests {
 public:
  // `answered` is called on the engine thread whenever an answer is ready.
  EngineRequests(std::shared_ptr<EngineWork> work, std::function<void()> answered,
                 EnginePatience patience = {});
  // Stops what runs and returns at once: a request stuck in the work is
  // left to end on its own, and its answer is dropped.
  ~EngineRequests();
  EngineRequests(const EngineRequests&) = delete;
  EngineRequests& operator=(const EngineRequests&) = delete;

  void AskInfo();
  // Stops a preview that runs or waits, and starts this one after it.
  void Preview(PreviewRequest request);
  // Stops a preview that runs or waits; no answer comes for it.
  void StopPreview();
  // The next answer, on the dialog's thread.
  std::optional<EngineAnswer> TakeAnswer();

  struct State;

 private:
  std::shared_ptr<State> state_;
};

}  // namespace Quellmar::config
