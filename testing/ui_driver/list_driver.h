// List boxes, combo boxes and menus of another process's windows, as a user
// meets them: the rows a list shows, a row chosen or double-clicked with the
// mouse, and a program's menu as its resources define it.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace Quellmar::testing::ui {

// The rows of a list box or of a combo box's list, in their order.
std::vector<std::wstring> ListRows(HWND control);
// The selected row of a list box or combo box, or -1.
int SelectedRow(HWND control);
// Chooses a row as a click or an arrow key would: selects it and tells the
// dialog (LBN_SELCHANGE / CBN_SELCHANGE). Posted, so that what the dialog
// does (a message box, a sound) does not block the driver.
bool ChooseRow(HWND control, int row);
// Double-clicks a list box row with the mouse at the row's place on the screen.
bool DoubleClickRow(HWND control, int row);
// A menu resource of a program file, one line per item: its depth in
// two-space steps, its text ("-" for a separator) and " id=N" for commands.
std::vector<std::wstring> MenuResource(const std::wstring& file, int menu_id);

}  // namespace Quellmar::testing::ui
