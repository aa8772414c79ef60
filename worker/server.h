// QuellmarServer: hosts the engine core for the user's 64-bit programs and
// serves them over \\.\pipe\QuellmarTTS, one thread per connection, one
// synthesis at a time. Exits after kIdleLimitMs without clients, on a
// client's Shutdown, or at once when another worker already runs.
#pragma once

namespace Quellmar::worker {

// Runs the worker; the process exit code. Does not return after a normal
// start: the process ends from inside (client threads end with it).
int RunServer();

}  // namespace Quellmar::worker
