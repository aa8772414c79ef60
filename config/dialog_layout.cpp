#include "config/dialog_layout.h"

#include <algorithm>
#include <vector>

#include "config/scroll_geometry.h"

namespace Quellmar::config {
namespace {

constexpr int kLineScroll = 20;
constexpr int kWheelDivisor = 3;
constexpr int kFocusNearMargin = 16;
constexpr int kFocusFarMargin = 4;
constexpr int kWorkAreaMargin = 4;

SIZE ClientSize(HWND dialog) {
  RECT rc{};
  GetClientRect(dialog, &rc);
  return {rc.right - rc.left, rc.bottom - rc.top};
}

int ClientExtent(HWND dialog, int axis) {
  const SIZE s = ClientSize(dialog);
  return axis == 0 ? s.cx : s.cy;
}

int BarOf(int axis) { return axis == 0 ? SB_HORZ : SB_VERT; }

// In client coordinates.
RECT ChildRect(HWND dialog, HWND child) {
  RECT rc{};
  GetWindowRect(child, &rc);
  MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&rc), 2);
  return rc;
}

std::vector<HWND> Children(HWND dialog) {
  std::vector<HWND> out;
  for (HWND c = GetWindow(dialog, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) out.push_back(c);
  return out;
}

}  // namespace

UINT DpiOf(HWND window) {
  // Windows 10 and later; earlier systems have one scale for everything.
  using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
  static const auto get_dpi_for_window = reinterpret_cast<GetDpiForWindowFn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
  if (get_dpi_for_window) {
    if (const UINT dpi = get_dpi_for_window(window)) return dpi;
  }
  HDC dc = GetDC(window);
  const int dpi = dc ? GetDeviceCaps(dc, LOGPIXELSY) : 0;
  if (dc) ReleaseDC(window, dc);
  return dpi > 0 ? static_cast<UINT>(dpi) : 96;
}

void DialogLayout::Open(HWND dialog) {
  dpi_ = DpiOf(dialog);
  // The dialog manager would scale the dialog on its own on a change of
  // scale, and differently: this layout does it all (see OnDpiChanged).
  using SetBehaviorFn =
      BOOL(WINAPI*)(HWND, DIALOG_DPI_CHANGE_BEHAVIORS, DIALOG_DPI_CHANGE_BEHAVIORS);
  if (const auto set_behavior = reinterpret_cast<SetBehaviorFn>(reinterpret_cast<void*>(
          GetProcAddress(GetModuleHandleW(L"user32.dll"), "SetDialogDpiChangeBehavior")))) {
    set_behavior(dialog, DDC_DISABLE_ALL, DDC_DISABLE_ALL);
  }
  // The contents: the client area as laid out, or more where the controls
  // reach further (the template's width includes the room its vertical
  // scroll bar takes), with the margin they keep on the other side.
  const SIZE client = ClientSize(dialog);
  RECT reach{client.cx, client.cy, 0, 0};
  for (HWND child : Children(dialog)) {
    const RECT rc = ChildRect(dialog, child);
    reach = {std::min(reach.left, rc.left), std::min(reach.top, rc.top),
             std::max(reach.right, rc.right), std::max(reach.bottom, rc.bottom)};
  }
  content_[0] = std::max<int>(client.cx, reach.right + std::max<int>(0, reach.left));
  content_[1] = std::max<int>(client.cy, reach.bottom + std::max<int>(0, reach.top));
  // Wider where the screen allows, rather than a sideways scroll bar for a few pixels.
  if (content_[0] > client.cx) {
    RECT rc{};
    GetWindowRect(dialog, &rc);
    SetWindowPos(dialog, nullptr, 0, 0, rc.right - rc.left + content_[0] - client.cx,
                 rc.bottom - rc.top, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
  Fit(dialog);
}

void DialogLayout::Fit(HWND dialog) {
  MONITORINFO mi{};
  mi.cbSize = sizeof(mi);
  HMONITOR monitor = MonitorFromWindow(dialog, MONITOR_DEFAULTTONEAREST);
  if (!monitor || !GetMonitorInfoW(monitor, &mi)) return;
  const RECT& work = mi.rcWork;
  RECT rc{};
  GetWindowRect(dialog, &rc);
  const Extent x = FitIntoWorkArea({rc.left, rc.right - rc.left},
                                   {work.left, work.right - work.left}, kWorkAreaMargin);
  const Extent y = FitIntoWorkArea({rc.top, rc.bottom - rc.top}, {work.top, work.bottom - work.top},
                                   kWorkAreaMargin);
  if (x.start != rc.left || y.start != rc.top || x.size != rc.right - rc.left ||
      y.size != rc.bottom - rc.top) {
    SetWindowPos(dialog, nullptr, x.start, y.start, x.size, y.size, SWP_NOZORDER | SWP_NOACTIVATE);
  }
  UpdateScrollBars(dialog);
}

void DialogLayout::UpdateScrollBars(HWND dialog) {
  for (int axis = 0; axis < 2; ++axis) {
    SCROLLINFO si{};
    si.cbSize = sizeof(si);
    si.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
    si.nMin = 0;
    si.nMax = content_[axis] > 0 ? content_[axis] - 1 : 0;
    si.nPage = static_cast<UINT>(std::max(0, ClientExtent(dialog, axis)));
    si.nPos = scroll_[axis];
    SetScrollInfo(dialog, BarOf(axis), &si, TRUE);
  }
}

void DialogLayout::OnSize(HWND dialog) {
  UpdateScrollBars(dialog);
  // A larger client area may leave nothing to scroll for.
  ScrollTo(dialog, scroll_[0], scroll_[1]);
}

void DialogLayout::ScrollTo(HWND dialog, int x, int y) {
  const SIZE view = ClientSize(dialog);
  x = LimitScroll(x, content_[0], view.cx);
  y = LimitScroll(y, content_[1], view.cy);
  if (x == scroll_[0] && y == scroll_[1]) return;
  ScrollWindowEx(dialog, scroll_[0] - x, scroll_[1] - y, nullptr, nullptr, nullptr, nullptr,
                 SW_SCROLLCHILDREN | SW_INVALIDATE | SW_ERASE);
  scroll_[0] = x;
  scroll_[1] = y;
  UpdateScrollBars(dialog);
  UpdateWindow(dialog);
}

void DialogLayout::OnScroll(HWND dialog, int bar, int code) {
  const int axis = bar == SB_HORZ ? 0 : 1;
  SCROLLINFO si{};
  si.cbSize = sizeof(si);
  si.fMask = SIF_ALL;
  GetScrollInfo(dialog, bar, &si);
  int to = scroll_[axis];
  switch (code) {
    case SB_LINEUP:
      to -= kLineScroll;
      break;
    case SB_LINEDOWN:
      to += kLineScroll;
      break;
    case SB_PAGEUP:
      to -= static_cast<int>(si.nPage);
      break;
    case SB_PAGEDOWN:
      to += static_cast<int>(si.nPage);
      break;
    case SB_THUMBTRACK:
    case SB_THUMBPOSITION:
      to = si.nTrackPos;
      break;
    case SB_TOP:
      to = 0;
      break;
    case SB_BOTTOM:
      to = si.nMax;
      break;
    default:
      return;
  }
  if (axis == 0) {
    ScrollTo(dialog, to, scroll_[1]);
  } else {
    ScrollTo(dialog, scroll_[0], to);
  }
}

void DialogLayout::OnWheel(HWND dialog, int bar, int delta) {
  const int by = -delta / kWheelDivisor;
  if (bar == SB_HORZ) {
    ScrollTo(dialog, scroll_[0] + by, scroll_[1]);
  } else {
    ScrollTo(dialog, scroll_[0], scroll_[1] + by);
  }
}

void DialogLayout::FollowFocus(HWND dialog) {
  HWND focus = GetFocus();
  if (!focus || GetParent(focus) != dialog || focus == followed_) return;
  followed_ = focus;
  const RECT rc = ChildRect(dialog, focus);
  const SIZE view = ClientSize(dialog);
  const int x = ScrollToShow(scroll_[0], {rc.left, rc.right - rc.left}, view.cx, kFocusNearMargin,
                             kFocusFarMargin);
  const int y = ScrollToShow(scroll_[1], {rc.top, rc.bottom - rc.top}, view.cy, kFocusNearMargin,
                             kFocusFarMargin);
  ScrollTo(dialog, x, y);
}

void DialogLayout::OnDpiChanged(HWND dialog, UINT dpi, const RECT& suggested) {
  const UINT old = dpi_;
  dpi_ = dpi;
  if (dpi == 0 || old == 0 || dpi == old) return;
  // Everything is scaled from where the template put it.
  const int keep_x = MulDiv(scroll_[0], dpi, old), keep_y = MulDiv(scroll_[1], dpi, old);
  ScrollTo(dialog, 0, 0);
  // The dialog keeps the template's font (and deletes it when it goes);
  // the controls get ours.
  HGDIOBJ current =
      font_ ? font_.get() : reinterpret_cast<HGDIOBJ>(SendMessageW(dialog, WM_GETFONT, 0, 0));
  LOGFONTW lf{};
  unique_gdi_object font;
  if (current && GetObjectW(current, sizeof(lf), &lf) == sizeof(lf)) {
    lf.lfHeight = MulDiv(lf.lfHeight, dpi, old);
    font.reset(CreateFontIndirectW(&lf));
  }
  const std::vector<HWND> children = Children(dialog);
  for (HWND child : children) {
    if (font) SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font.get()), FALSE);
    const RECT rc = ChildRect(dialog, child);
    SetWindowPos(child, nullptr, MulDiv(rc.left, dpi, old), MulDiv(rc.top, dpi, old),
                 MulDiv(rc.right - rc.left, dpi, old), MulDiv(rc.bottom - rc.top, dpi, old),
                 SWP_NOZORDER | SWP_NOACTIVATE);
  }
  if (font) font_ = std::move(font);  // the previous one is no longer used by any control
  for (int& c : content_) c = MulDiv(c, dpi, old);
  // Where the system suggests, as large as the contents at the new scale
  // (the suggestion only scales the old size, which may have been cut to
  // the screen), then fitted into the work area again.
  SetWindowPos(dialog, nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
               suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
  RECT frame{};
  GetWindowRect(dialog, &frame);
  const SIZE client = ClientSize(dialog);
  SetWindowPos(dialog, nullptr, 0, 0, frame.right - frame.left - client.cx + content_[0],
               frame.bottom - frame.top - client.cy + content_[1],
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  Fit(dialog);
  ScrollTo(dialog, keep_x, keep_y);
  InvalidateRect(dialog, nullptr, TRUE);
  Refollow();
}

}  // namespace Quellmar::config
