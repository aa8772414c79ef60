// QuellmarServer: hosts the engine core for the user's 64-bit programs and
// serves them over \\.\pipe\QuellmarTTS, the exchanges of each connection on
// a thread of the system pool (an idle connection holds none), one synthesis
// at a time. Exits after kIdleLimitMs without clients, on a
// client's Shutdown, or at once when another worker already runs.
#pragma once

namespace Quellmar::worker {

// Runs the worker; the process exit code. Does not return after a normal
// start: the process ends from inside (exchanges still running end with it).
int RunServer();

}  // namespace Quellmar::worker
