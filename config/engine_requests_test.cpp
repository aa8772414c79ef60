// The engine thread: the dialog is never held up by what the work does, a
// newer preview stops the one before it, silence has a bound, and an
// answer that comes too late is dropped. Timings here are generous liveness
// bounds, not measurements.
#include "config/engine_requests.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <thread>

namespace Quellmar::config {
namespace {

using namespace std::chrono_literals;

// Work whose requests say a text's first character and then behave as it
// says: 's' waits for as long as its patience lasts, 'h' keeps being heard
// from for 300 ms and then ends with samples, 'n' never returns until the
// test lets it (as a request that asks nobody whether to go on), anything
// else answers at once.
class ScriptedWork : public EngineWork {
 public:
  EngineInfo Info(Patience& patience) override {
    EngineInfo info;
    info.answered = Run(info_script, patience);
    return info;
  }
  PreviewResult Preview(const PreviewRequest& request, Patience& patience) override {
    PreviewResult r;
    ++previews;
    const bool answered = Run(request.engine_text.empty() ? 'x' : request.engine_text[0], patience);
    r.outcome = answered
                    ? PreviewOutcome::kSamples
                    : (patience.stopped() ? PreviewOutcome::kStopped : PreviewOutcome::kNoWorker);
    if (answered) r.samples.assign(1, static_cast<int16_t>(request.engine_text.size()));
    return r;
  }
  void Release() {
    std::lock_guard<std::mutex> guard(lock);
    released = true;
    wake.notify_all();
  }

  char info_script = 'x';
  std::atomic<int> previews{0};

 private:
  bool Run(char script, Patience& patience) {
    if (script == 'n') {
      std::unique_lock<std::mutex> guard(lock);
      wake.wait(guard, [&] { return released; });
      return true;
    }
    const auto start = Clock::now();
    while (script == 's' || (script == 'h' && Clock::now() - start < 300ms)) {
      if (script == 'h') patience.Heard();
      if (!patience.KeepWaiting()) return false;
      std::this_thread::sleep_for(5ms);
    }
    return true;
  }
  std::mutex lock;
  std::condition_variable wake;
  bool released = false;
};

// Waits (at most 5 s) for the next answer.
std::optional<EngineAnswer> Next(EngineRequests& requests) {
  for (auto end = Clock::now() + 5s; Clock::now() < end; std::this_thread::sleep_for(2ms)) {
    if (auto a = requests.TakeAnswer()) return a;
  }
  return std::nullopt;
}

PreviewRequest Say(const char* text) { return {text, RenderParams{}}; }

TEST(EngineRequests, ANewerPreviewStopsTheOneThatRuns) {
  auto work = std::make_shared<ScriptedWork>();
  EngineRequests requests(work, nullptr, {100ms, 60s});
  requests.Preview(Say("s: waits"));
  std::this_thread::sleep_for(50ms);
  requests.Preview(Say("ok"));
  const auto answer = Next(requests);
  ASSERT_TRUE(answer);
  EXPECT_EQ(answer->kind, EngineAnswer::Kind::kPreview);
  EXPECT_EQ(answer->preview.outcome, PreviewOutcome::kSamples);
  EXPECT_EQ(answer->preview.samples, std::vector<int16_t>{2});  // the second's
  EXPECT_FALSE(requests.TakeAnswer());                          // nothing from the first

  requests.Preview(Say("s: waits"));
  std::this_thread::sleep_for(50ms);
  requests.StopPreview();
  std::this_thread::sleep_for(100ms);
  EXPECT_FALSE(requests.TakeAnswer());
}

// A preview that never hears from the engine ends at the information bound,
// not at the far longer silence allowed between the pieces of a preview.
TEST(EngineRequests, SilenceHasABoundAndSpeechKeepsItOff) {
  auto work = std::make_shared<ScriptedWork>();
  work->info_script = 's';
  EngineRequests requests(work, nullptr, {100ms, 60s});
  requests.AskInfo();
  auto answer = Next(requests);
  ASSERT_TRUE(answer);
  EXPECT_FALSE(answer->info.answered);  // the defaults: "not loaded"
  EXPECT_EQ(answer->info.version, "not loaded");

  requests.Preview(Say("s: silent"));
  answer = Next(requests);
  ASSERT_TRUE(answer);
  EXPECT_EQ(answer->preview.outcome, PreviewOutcome::kNoWorker);

  requests.Preview(Say("h: heard for longer than the first bound"));
  answer = Next(requests);
  ASSERT_TRUE(answer);
  EXPECT_EQ(answer->preview.outcome, PreviewOutcome::kSamples);
}

TEST(EngineRequests, ClosingNeverWaitsForTheWorkAndDropsItsAnswer) {
  auto work = std::make_shared<ScriptedWork>();
  work->info_script = 'n';
  std::atomic<int> told{0};
  {
    EngineRequests requests(work, [&] { ++told; });
    requests.AskInfo();
    std::this_thread::sleep_for(20ms);
  }  // returns although the work is stuck
  work->Release();
  std::this_thread::sleep_for(50ms);
  EXPECT_EQ(told, 0);

  // Whereas an answer that comes while the dialog is there is told of.
  work->info_script = 'x';
  EngineRequests requests(work, [&] { ++told; });
  requests.AskInfo();
  ASSERT_TRUE(Next(requests));
  EXPECT_EQ(told, 1);
}

}  // namespace
}  // namespace Quellmar::config
