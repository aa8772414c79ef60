#include "worker/engine_queue.h"

namespace Quellmar::worker {

void EngineQueue::Push(Task task) {
  {
    std::lock_guard<std::mutex> hold(lock_);
    tasks_.push_back(std::move(task));
    if (running_) return;
    running_ = true;
  }
  bool posted = false;
  try {
    posted = post_([this] { Drain(); });
  } catch (...) {
  }
  if (!posted) Drain();
}

size_t EngineQueue::waiting() const {
  std::lock_guard<std::mutex> hold(lock_);
  return tasks_.size();
}

void EngineQueue::Drain() {
  for (;;) {
    Task task;
    {
      std::lock_guard<std::mutex> hold(lock_);
      if (tasks_.empty()) {
        running_ = false;
        return;
      }
      task = std::move(tasks_.front());
      tasks_.pop_front();
    }
    try {
      task();
    } catch (...) {
      // A task that fails fails alone; the next one still runs.
    }
  }
}

}  // namespace Quellmar::worker
