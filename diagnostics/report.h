// The report: where the installation is, what quellmar.ini says, what the
// engine says about itself, the tag parser's ranges and the published voices.
#pragma once

#include <string>

#include "common/engine_settings.h"
#include "diagnostics/engine_road.h"
#include "diagnostics/output.h"

namespace Quellmar::diag {

struct Installation {
  std::wstring install_root;   // ends in a backslash (empty when unknown)
  std::wstring settings_path;  // quellmar.ini
  EngineSettings settings;
};

// The installation this program belongs to and the machine's quellmar.ini.
Installation FindInstallation();

// Never fails: an engine that does not answer gets one "  !! " line.
void PrintReport(Output& out, const Installation& where, EngineRoad& road);

}  // namespace Quellmar::diag
