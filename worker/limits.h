// The worker's limits: when it gives up waiting for clients, and how much
// time and memory any one client may take from it.
#pragma once

#include <cstddef>
#include <cstdint>

namespace Quellmar::worker {

#ifndef QM_WORKER_IDLE_MS
#define QM_WORKER_IDLE_MS 1800000  // 30 minutes
#endif
#ifndef QM_WORKER_WAKE_MS
#define QM_WORKER_WAKE_MS 5000
#endif
#ifndef QM_WORKER_MESSAGE_MS
#define QM_WORKER_MESSAGE_MS 5000
#endif
#ifndef QM_WORKER_STALL_MS
#define QM_WORKER_STALL_MS 600000  // 10 minutes
#endif
#ifndef QM_WORKER_EVICT_MS
#define QM_WORKER_EVICT_MS 5000
#endif
#ifndef QM_WORKER_MAX_CONNECTIONS
#define QM_WORKER_MAX_CONNECTIONS 1000
#endif
#ifndef QM_WORKER_CLIENT_MEMORY_MB
#define QM_WORKER_CLIENT_MEMORY_MB 256
#endif
inline constexpr uint32_t kIdleLimitMs = QM_WORKER_IDLE_MS;
inline constexpr uint32_t kAcceptWakeMs = QM_WORKER_WAKE_MS;

// A message whose first byte has arrived must be whole within this; a
// client that stops half-way loses its connection, not a thread.
inline constexpr uint32_t kMessageLimitMs = QM_WORKER_MESSAGE_MS;
// A client that reads nothing of what the worker has for it for this long
// (far beyond any pause of a listener) loses its stream and connection.
inline constexpr uint32_t kStallLimitMs = QM_WORKER_STALL_MS;
// How often those two are checked.
inline constexpr uint32_t kTickMs = 1000;

// Connected clients served at once; one more is accepted and closed at once.
inline constexpr long kMaxConnections = QM_WORKER_MAX_CONNECTIONS;
// Bytes all connections together may hold for their clients: requests
// arriving and audio not yet taken. The worker is a 32-bit process.
inline constexpr size_t kClientMemoryCap = size_t{QM_WORKER_CLIENT_MEMORY_MB} << 20;
// When audio does not fit, streams whose clients have read nothing for at
// least this long are cancelled, the longest unread first, to make room;
// only when none is left is the new request refused.
inline constexpr uint32_t kEvictAfterMs = QM_WORKER_EVICT_MS;
// Instances listening at once, so that a client arriving while another is
// being taken over always finds one.
inline constexpr int kListeners = 8;

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
