// What a screen reader would say of a dialog's controls, read from another
// process: each focusable control's name and role through the accessibility
// interface screen readers use (oleacc's IAccessible), next to the name the
// documented labelling rule gives it (a button's own text; for others the
// static text before it in the tab order, looking back no further than the
// previous focusable control).
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace Quellmar::testing::ui {

struct AccessibleControl {
  HWND window = nullptr;
  int id = 0;
  std::wstring window_class;
  std::wstring role;        // accRole as text; empty when oleacc gives none
  std::wstring name;        // accName; empty when oleacc gives none
  std::wstring label_name;  // by the labelling rule; '&' removed
  bool oleacc = false;      // whether oleacc answered for the control at all
  long oleacc_error = 0;    // what AccessibleObjectFromWindow said when it did not
};

// Every visible control of `dialog` with WS_TABSTOP, in tab order.
std::vector<AccessibleControl> AccessibleControls(HWND dialog);

}  // namespace Quellmar::testing::ui
