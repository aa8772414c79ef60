// QuellmarDiag: the console diagnostics tool. See commands.h.
#include <memory>
#include <string>
#include <vector>

#include "diagnostics/commands.h"
#include "diagnostics/engine_road.h"

int wmain(int argc, wchar_t** argv) {
  std::vector<std::wstring> args(argv, argv + argc);
  int code;
  {
    // The worker client or the engine driver lives for the whole run.
    std::unique_ptr<Quellmar::diag::EngineRoad> road = Quellmar::diag::MakeEngineRoad();
    code = Quellmar::diag::RunDiagnostics(args, *road);
  }
  return code;
}
