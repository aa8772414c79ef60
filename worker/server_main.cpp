// QuellmarServer.exe: no window, no arguments; everything it says goes to
// the diagnostic log.
#include "worker/server.h"

int wmain() { return Quellmar::worker::RunServer(); }
