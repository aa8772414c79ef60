// Test helper: switches quellmar.ini's custom entries on in a process of its
// own, so that its log line lands in the test's private log folder.
// Exit code 0 when the write succeeded, 1 when it failed.
#include "common/engine_settings.h"

int wmain() { return Quellmar::WriteCustomEntries(true) ? 0 : 1; }
