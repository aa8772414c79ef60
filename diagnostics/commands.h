// The run of QuellmarDiag: one command from its command line to its exit code.
#pragma once

#include <string>
#include <vector>

#include "diagnostics/command_line.h"
#include "diagnostics/engine_road.h"

namespace Quellmar::diag {

// The whole program: arguments as wmain receives them, the engine road of
// this build; returns the exit code.
int RunDiagnostics(const std::vector<std::wstring>& args, EngineRoad& road);

}  // namespace Quellmar::diag
