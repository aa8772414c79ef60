#include "testing/ui_driver/list_driver.h"

#include <algorithm>
#include <cwctype>

#include "testing/ui_driver/ui_driver.h"

namespace Quellmar::testing::ui {
namespace {

bool IsCombo(HWND control) {
  std::wstring cls = ClassOf(control);
  std::transform(cls.begin(), cls.end(), cls.begin(), ::towlower);
  return cls == L"combobox";
}

void MenuLines(HMENU menu, int depth, std::vector<std::wstring>& out) {
  const int count = GetMenuItemCount(menu);
  for (int i = 0; i < count; ++i) {
    wchar_t text[256] = {};
    MENUITEMINFOW info{};
    info.cbSize = sizeof(info);
    info.fMask = MIIM_FTYPE | MIIM_ID | MIIM_STRING | MIIM_SUBMENU;
    info.dwTypeData = text;
    info.cch = 255;
    if (!GetMenuItemInfoW(menu, static_cast<UINT>(i), TRUE, &info)) continue;
    std::wstring line(static_cast<size_t>(depth) * 2, L' ');
    if (info.fType & MFT_SEPARATOR) {
      line += L"-";
    } else {
      line += text;
      if (!info.hSubMenu) line += L" id=" + std::to_wstring(info.wID);
    }
    out.push_back(line);
    if (info.hSubMenu) MenuLines(info.hSubMenu, depth + 1, out);
  }
}

}  // namespace

std::vector<std::wstring> ListRows(HWND control) {
  const bool combo = IsCombo(control);
  const LRESULT count = SendMessageW(control, combo ? CB_GETCOUNT : LB_GETCOUNT, 0, 0);
  std::vector<std::wstring> rows;
  for (LRESULT i = 0; i < count; ++i) {
    const LRESULT length = SendMessageW(control, combo ? CB_GETLBTEXTLEN : LB_GETTEXTLEN, i, 0);
    std::wstring text(length > 0 ? static_cast<size_t>(length) + 1 : 1, L'\0');
    const LRESULT got = SendMessageW(control, combo ? CB_GETLBTEXT : LB_GETTEXT, i,
                                     reinterpret_cast<LPARAM>(text.data()));
    text.resize(got > 0 ? static_cast<size_t>(got) : 0);
    rows.push_back(text);
  }
  return rows;
}

int SelectedRow(HWND control) {
  return static_cast<int>(
      SendMessageW(control, IsCombo(control) ? CB_GETCURSEL : LB_GETCURSEL, 0, 0));
}

bool ChooseRow(HWND control, int row) {
  const bool combo = IsCombo(control);
  if (SendMessageW(control, combo ? CB_SETCURSEL : LB_SETCURSEL, row, 0) != row) return false;
  const WORD code = combo ? CBN_SELCHANGE : LBN_SELCHANGE;
  PostMessageW(GetParent(control), WM_COMMAND, MAKEWPARAM(IdOf(control), code),
               reinterpret_cast<LPARAM>(control));
  Settle(control);
  return true;
}

bool DoubleClickRow(HWND control, int row) {
  HWND top = GetAncestor(control, GA_ROOT);
  SetForegroundWindow(top);
  Settle(top);
  SendMessageW(control, LB_SETTOPINDEX, row, 0);
  RECT item{};
  if (SendMessageW(control, LB_GETITEMRECT, row, reinterpret_cast<LPARAM>(&item)) == LB_ERR) {
    return false;
  }
  POINT at{(item.left + item.right) / 2, (item.top + item.bottom) / 2};
  ClientToScreen(control, &at);
  SetCursorPos(at.x, at.y);
  Settle(top);
  INPUT clicks[4] = {};
  const DWORD flags[4] = {MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP, MOUSEEVENTF_LEFTDOWN,
                          MOUSEEVENTF_LEFTUP};
  for (int i = 0; i < 4; ++i) {
    clicks[i].type = INPUT_MOUSE;
    clicks[i].mi.dwFlags = flags[i];
  }
  SendInput(4, clicks, sizeof(INPUT));
  Settle(top, 300);
  return true;
}

std::vector<std::wstring> MenuResource(const std::wstring& file, int menu_id) {
  std::vector<std::wstring> lines;
  HMODULE module = LoadLibraryExW(file.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  if (!module) return lines;
  if (HMENU menu = LoadMenuW(module, MAKEINTRESOURCEW(menu_id))) {
    MenuLines(menu, 0, lines);
    DestroyMenu(menu);
  }
  FreeLibrary(module);
  return lines;
}

}  // namespace Quellmar::testing::ui
