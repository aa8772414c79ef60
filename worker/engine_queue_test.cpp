#include "worker/engine_queue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace Quellmar::worker {
namespace {

// Requests pushed from many threads while the engine is busy run one at a
// time, in the order they were queued, and no pusher waits for the engine.
TEST(EngineQueue, OneAtATimeInArrivalOrder) {
  std::vector<std::thread> lent;
  std::mutex lent_lock;
  EngineQueue queue([&](std::function<void()> run) {
    std::lock_guard<std::mutex> hold(lent_lock);
    lent.emplace_back(std::move(run));
    return true;
  });
  std::atomic<bool> release{false};
  std::atomic<int> inside{0}, most_inside{0};
  std::mutex order_lock;
  std::vector<int> queued, ran;
  auto task = [&](int n) {
    return [&, n] {
      most_inside = std::max(most_inside.load(), ++inside);
      while (!release) std::this_thread::yield();
      {
        std::lock_guard<std::mutex> hold(order_lock);
        ran.push_back(n);
      }
      --inside;
    };
  };
  std::vector<std::thread> clients;
  for (int t = 0; t < 8; ++t) {
    clients.emplace_back([&, t] {
      for (int i = 0; i < 50; ++i) {
        std::lock_guard<std::mutex> hold(order_lock);  // the arrival order is the push order
        queued.push_back(t * 100 + i);
        queue.Push(task(t * 100 + i));
      }
    });
  }
  for (auto& c : clients) c.join();  // all pushed while the first still holds the engine
  while (inside == 0) std::this_thread::yield();
  EXPECT_EQ(queue.waiting(), 399u);
  release = true;
  for (bool done = false; !done; std::this_thread::yield()) {
    std::lock_guard<std::mutex> hold(order_lock);
    done = ran.size() == 400;
  }
  for (auto& t : lent) t.join();
  EXPECT_EQ(ran, queued);
  EXPECT_EQ(most_inside.load(), 1);
  EXPECT_EQ(lent.size(), 1u);
}

}  // namespace
}  // namespace Quellmar::worker
