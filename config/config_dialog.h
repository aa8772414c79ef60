// The configuration dialog: shown modally with no owner; returns when the
// user closes it. Unsaved changes are dropped.
#pragma once

#include <windows.h>

namespace Quellmar::config {

INT_PTR ShowConfigurationDialog(HINSTANCE instance);

}  // namespace Quellmar::config
