// What every step of one run shares: where it prints, where its files go and
// how it reaches the engine.
#pragma once

#include <string>

#include "diagnostics/engine_road.h"
#include "diagnostics/output.h"

namespace Quellmar::diag {

struct Session {
  Output& out;
  EngineRoad& road;
  std::wstring output_folder = L".";

  // output folder + "\" + file name
  std::wstring PathOf(const std::wstring& file_name) const {
    return output_folder + L"\\" + file_name;
  }
};

}  // namespace Quellmar::diag
