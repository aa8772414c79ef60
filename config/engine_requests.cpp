#include "config/engine_requests.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace Quellmar::config {

Patience::Patience(std::function<bool()> stopped, std::chrono::milliseconds first,
                   std::chrono::milliseconds silence)
    : stopped_(std::move(stopped)), bound_(first), silence_(silence), last_heard_(Clock::now()) {}

bool Patience::KeepWaiting() {
  if (stopped_()) return false;
  if (Clock::now() - last_heard_ > bound_) ran_out_ = true;
  return !ran_out_;
}

// Shared by the dialog's side and the thread, which may outlive the other.
struct EngineRequests::State {
  std::shared_ptr<EngineWork> work;
  EnginePatience patience;
  std::mutex lock;
  std::condition_variable wake;
  std::function<void()> answered;  // cleared when the dialog goes
  bool info_wanted = false;
  std::optional<PreviewRequest> preview;
  std::deque<EngineAnswer> answers;
  // Read by the waiting requests without the lock.
  std::atomic<bool> closing{false};
  std::atomic<uint64_t> preview_generation{0};

  // A preview's answer (`generation` set) only while no newer one was asked for.
  void Deliver(EngineAnswer answer, std::optional<uint64_t> generation = std::nullopt) {
    std::function<void()> tell;
    {
      std::lock_guard<std::mutex> guard(lock);
      if (closing || (generation && *generation != preview_generation)) return;
      answers.push_back(std::move(answer));
      tell = answered;
    }
    if (tell) tell();
  }

  // Called with the lock held: a newer preview makes the older's answer moot.
  void StopPreviewLocked() {
    ++preview_generation;
    preview.reset();
    std::erase_if(answers,
                  [](const EngineAnswer& a) { return a.kind == EngineAnswer::Kind::kPreview; });
  }

  void Run() {
    for (;;) {
      std::unique_lock<std::mutex> guard(lock);
      wake.wait(guard, [&] { return closing || info_wanted || preview; });
      if (closing) return;
      if (info_wanted) {
        info_wanted = false;
        guard.unlock();
        Patience p([this] { return closing.load(); }, patience.info);
        EngineAnswer answer;
        answer.info = work->Info(p);
        Deliver(std::move(answer));
        continue;
      }
      const PreviewRequest request = std::move(*preview);
      preview.reset();
      const uint64_t mine = preview_generation;
      guard.unlock();
      Patience p([this, mine] { return closing || preview_generation != mine; }, patience.info,
                 patience.synthesis);
      EngineAnswer answer;
      answer.kind = EngineAnswer::Kind::kPreview;
      answer.preview = work->Preview(request, p);
      if (answer.preview.outcome != PreviewOutcome::kStopped) Deliver(std::move(answer), mine);
    }
  }
};

EngineRequests::EngineRequests(std::shared_ptr<EngineWork> work, std::function<void()> answered,
                               EnginePatience patience)
    : state_(std::make_shared<State>()) {
  state_->work = std::move(work);
  state_->answered = std::move(answered);
  state_->patience = patience;
  // The thread holds the state: a request stuck in the work keeps it alive.
  std::thread([state = state_] { state->Run(); }).detach();
}

EngineRequests::~EngineRequests() {
  {
    std::lock_guard<std::mutex> guard(state_->lock);
    state_->closing = true;
    state_->answered = nullptr;
    state_->answers.clear();
  }
  state_->wake.notify_all();
}

void EngineRequests::AskInfo() {
  {
    std::lock_guard<std::mutex> guard(state_->lock);
    state_->info_wanted = true;
  }
  state_->wake.notify_all();
}

void EngineRequests::Preview(PreviewRequest request) {
  {
    std::lock_guard<std::mutex> guard(state_->lock);
    state_->StopPreviewLocked();
    state_->preview = std::move(request);
  }
  state_->wake.notify_all();
}

void EngineRequests::StopPreview() {
  std::lock_guard<std::mutex> guard(state_->lock);
  state_->StopPreviewLocked();
}

std::optional<EngineAnswer> EngineRequests::TakeAnswer() {
  std::lock_guard<std::mutex> guard(state_->lock);
  if (state_->answers.empty()) return std::nullopt;
  EngineAnswer answer = std::move(state_->answers.front());
  state_->answers.pop_front();
  return answer;
}

}  // namespace Quellmar::config
