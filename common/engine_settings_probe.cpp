// Test helper: writes quellmar.ini from a fixed record in a process of its
// own, so that its log line lands in the test's private log folder.
// Exit code 0 when the write succeeded, 1 when it failed.
#include "common/engine_settings.h"

int wmain() {
  Quellmar::EngineSettings s;
  s.custom_entries = true;
  return Quellmar::WriteEngineSettings(s) ? 0 : 1;
}
