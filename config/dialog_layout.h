// The configuration dialog on screens smaller than its template, at any
// text scale: it is fitted into the monitor's work area in width as in
// height, its contents scroll both ways under its own scroll bars, the
// mouse wheel and a focus follower that keeps the focused control in view,
// and a change of the monitor's scale while it is open sizes it, its
// controls and its font anew.
#pragma once

#include <windows.h>

#include "common/win_handles.h"

namespace Quellmar::config {

class DialogLayout {
 public:
  // When the dialog has been laid out by its template: measures its contents
  // (the client area as laid out), fits it into the work area and sets up
  // both scroll bars.
  void Open(HWND dialog);
  // WM_SIZE: the scroll bars follow the client area.
  void OnSize(HWND dialog);
  // WM_VSCROLL or WM_HSCROLL from the dialog's own bar (`bar` SB_VERT or SB_HORZ).
  void OnScroll(HWND dialog, int bar, int code);
  // A mouse wheel's delta on one axis, positive towards the contents' start:
  // one notch of 120 moves 40 pixels.
  void OnWheel(HWND dialog, int bar, int delta);
  // On each tick of the focus timer.
  void FollowFocus(HWND dialog);
  // The next tick brings the focused control into view even if it had the focus before.
  void Refollow() { followed_ = nullptr; }
  // WM_DPICHANGED: `dpi` the monitor's new scale, `suggested` the window rectangle the
  // system proposes for it.
  void OnDpiChanged(HWND dialog, UINT dpi, const RECT& suggested);
  // The dialog's scale (dots per inch) as it stands.
  UINT dpi() const { return dpi_; }

 private:
  void Fit(HWND dialog);
  void UpdateScrollBars(HWND dialog);
  void ScrollTo(HWND dialog, int x, int y);

  // Per axis, 0 horizontal and 1 vertical.
  int content_[2] = {0, 0};
  int scroll_[2] = {0, 0};
  // The control the focus follower last brought into view: it follows the
  // focus when it moves, and lets the user scroll away from where it stays.
  HWND followed_ = nullptr;
  UINT dpi_ = 96;
  unique_gdi_object font_;  // made for a scale change; the template's before
};

// The dialog's scale, from the window when the system can say, else the screen's.
UINT DpiOf(HWND window);

}  // namespace Quellmar::config
