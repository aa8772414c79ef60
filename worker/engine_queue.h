// The engine core is not re-entrant, so its work runs one task at a time,
// in the order the requests came: a plain lock would hand the engine to
// whichever waiter the system wakes, and each waiter would hold a thread.
// Here nobody waits: a task is queued and its caller returns; the queued
// tasks run one after another on one thread lent by `post`.
#pragma once

#include <deque>
#include <functional>
#include <mutex>

namespace Quellmar::worker {

class EngineQueue {
 public:
  using Task = std::function<void()>;
  // Runs `run` on another thread; false when it could not (the queue then
  // runs on the pushing thread).
  using Post = std::function<bool(std::function<void()> run)>;

  explicit EngineQueue(Post post) : post_(std::move(post)) {}
  EngineQueue(const EngineQueue&) = delete;
  EngineQueue& operator=(const EngineQueue&) = delete;

  // Throws std::bad_alloc, queuing nothing, when memory runs out.
  void Push(Task task);
  size_t waiting() const;

 private:
  void Drain();

  Post post_;
  mutable std::mutex lock_;
  std::deque<Task> tasks_;
  bool running_ = false;
};

}  // namespace Quellmar::worker
