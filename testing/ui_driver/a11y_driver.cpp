#include "testing/ui_driver/a11y_driver.h"

#include <oleacc.h>

#include <algorithm>

#include "testing/ui_driver/ui_driver.h"

namespace Quellmar::testing::ui {
namespace {

// mingw's import library resolves IID_IAccessible to an import thunk, not
// the interface id: the id itself, as published.
constexpr GUID kIAccessible = {
    0x618736e0, 0x3c3d, 0x11cf, {0x81, 0x0c, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71}};

std::wstring Lower(std::wstring s) {
  std::transform(s.begin(), s.end(), s.begin(), ::towlower);
  return s;
}

std::wstring WithoutAmpersands(const std::wstring& text) {
  std::wstring out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == L'&' && i + 1 < text.size()) ++i;  // "&&" stands for one
    out.push_back(text[i]);
  }
  return out;
}

bool IsGroupBox(HWND w) {
  return Lower(ClassOf(w)) == L"button" &&
         (GetWindowLongW(w, GWL_STYLE) & BS_TYPEMASK) == BS_GROUPBOX;
}

bool IsLabel(HWND w) {
  if (Lower(ClassOf(w)) != L"static") return false;
  const LONG type = GetWindowLongW(w, GWL_STYLE) & SS_TYPEMASK;
  return type != SS_ICON && type != SS_BITMAP && type != SS_ENHMETAFILE;
}

std::wstring LabelName(HWND control) {
  if (Lower(ClassOf(control)) == L"button" && !IsGroupBox(control)) {
    return WithoutAmpersands(TextOf(control));
  }
  for (HWND w = GetWindow(control, GW_HWNDPREV); w; w = GetWindow(w, GW_HWNDPREV)) {
    if (IsLabel(w)) return WithoutAmpersands(TextOf(w));
    if (GetWindowLongW(w, GWL_STYLE) & WS_TABSTOP) break;  // another control's label
  }
  return {};
}

std::wstring BstrText(BSTR b) {
  std::wstring out = b ? std::wstring(b, SysStringLen(b)) : std::wstring();
  SysFreeString(b);
  return out;
}

void ReadAccessible(AccessibleControl& c) {
  IAccessible* acc = nullptr;
  const HRESULT hr = AccessibleObjectFromWindow(c.window, static_cast<DWORD>(OBJID_CLIENT),
                                                kIAccessible, reinterpret_cast<void**>(&acc));
  if (FAILED(hr) || !acc) {
    c.oleacc_error = hr;
    return;
  }
  c.oleacc = true;
  VARIANT self;
  VariantInit(&self);
  self.vt = VT_I4;
  self.lVal = CHILDID_SELF;
  BSTR name = nullptr;
  if (acc->get_accName(self, &name) == S_OK) c.name = BstrText(name);
  VARIANT role;
  VariantInit(&role);
  if (SUCCEEDED(acc->get_accRole(self, &role)) && role.vt == VT_I4) {
    wchar_t text[128] = {};
    if (GetRoleTextW(static_cast<DWORD>(role.lVal), text, 128) > 0) c.role = text;
  }
  VariantClear(&role);
  acc->Release();
}

}  // namespace

std::vector<AccessibleControl> AccessibleControls(HWND dialog) {
  const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  std::vector<AccessibleControl> out;
  for (HWND w = GetWindow(dialog, GW_CHILD); w; w = GetWindow(w, GW_HWNDNEXT)) {
    if (!IsWindowVisible(w) || !(GetWindowLongW(w, GWL_STYLE) & WS_TABSTOP)) continue;
    AccessibleControl c;
    c.window = w;
    c.id = IdOf(w);
    c.window_class = ClassOf(w);
    c.label_name = LabelName(w);
    ReadAccessible(c);
    out.push_back(std::move(c));
  }
  if (SUCCEEDED(com)) CoUninitialize();
  return out;
}

}  // namespace Quellmar::testing::ui
