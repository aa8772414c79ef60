// QuellmarServer: hosts the engine core for the user's 64-bit programs and
// serves them over \\.\pipe\QuellmarTTS. Every connection's reads and writes
// complete through a small thread pool, so no thread waits for a client;
// syntheses take turns at the engine in the order they were asked for, and
// render beside each other. Exits after kIdleLimitMs without clients, on a
// client's Shutdown, or at once when another worker already runs.
#pragma once

namespace Quellmar::worker {

// Runs the worker; the process exit code. Does not return after a normal
// start: the process ends from inside (exchanges still running end with it).
int RunServer();

}  // namespace Quellmar::worker
