// When the worker gives up waiting for clients.
#pragma once

#include <cstdint>

namespace Quellmar::worker {

#ifndef QM_WORKER_IDLE_MS
#define QM_WORKER_IDLE_MS 1800000  // 30 minutes
#endif
#ifndef QM_WORKER_WAKE_MS
#define QM_WORKER_WAKE_MS 5000
#endif
inline constexpr uint32_t kIdleLimitMs = QM_WORKER_IDLE_MS;
inline constexpr uint32_t kAcceptWakeMs = QM_WORKER_WAKE_MS;

// Milliseconds from `last` to `now` on the 32-bit tick counter (it wraps
// after 49.7 days; unsigned subtraction gives the right answer across it).
inline uint32_t TicksSince(uint32_t now, uint32_t last) { return now - last; }

// True when nobody is connected and more than `limit` ms have passed since
// the last activity.
inline bool IdleExpired(long active_clients, uint32_t now, uint32_t last_activity,
                        uint32_t limit = kIdleLimitMs) {
  return active_clients <= 0 && TicksSince(now, last_activity) > limit;
}

}  // namespace Quellmar::worker
