// Driving another process's windows from a test, the way a user or an
// assistive program would: find a window, read and set its controls, click,
// type keys, read and close message boxes, look at the screen.
//
// Everything works across processes: only messages the system marshals
// (no private pointers) and the window manager's own queries are used.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

namespace Quellmar::testing::ui {

// A top-level window with this exact title (and class, when given). With
// `owned`, only windows that have an owner (a message box over its dialog);
// without, only windows that have none.
HWND FindTopWindow(const std::wstring& title, const wchar_t* window_class = nullptr,
                   std::optional<bool> owned = std::nullopt);
// Polls every 50 ms until the window exists or `timeout_ms` has passed.
HWND WaitForTopWindow(const std::wstring& title, DWORD timeout_ms,
                      const wchar_t* window_class = nullptr,
                      std::optional<bool> owned = std::nullopt);
// Polls until no such window exists; false when one is still there.
bool WaitUntilGone(const std::wstring& title, DWORD timeout_ms,
                   std::optional<bool> owned = std::nullopt);

std::wstring ClassOf(HWND window);
std::wstring TextOf(HWND window);  // WM_GETTEXT, marshalled across processes
int IdOf(HWND window);

struct Control {
  HWND window = nullptr;
  int id = 0;
  std::wstring window_class;
  LONG style = 0;
  RECT screen{};
  bool visible = false;
  bool enabled = false;
  // What a user reads from it: a trackbar's position, a check box's state
  // (0, 1), a combo box's selected text, else its text.
  std::wstring value;
};

// The direct children of `parent` in z-order (the tab order of a dialog).
std::vector<Control> Controls(HWND parent);
Control Describe(HWND control);

// Setting a value as a user would leave it; false when the control does not take it.
bool SetTrackbar(HWND control, int position);
bool SetCheck(HWND control, bool ticked);
bool SetText(HWND control, const std::wstring& text);
bool SelectItem(HWND control, int index);

// Presses a button without waiting for what it does (a message box it
// shows must not block the driver).
void Click(HWND button);

// The control that has the keyboard focus in `window`'s thread, or null.
HWND FocusedControl(HWND window);

// Keys typed into the foreground window, which `window` is made first:
// names such as "tab", "shift+tab", "alt+r", "pgup", "enter", "esc", "f4",
// "left", a single character. False for a name it does not know.
bool SendKeys(HWND window, const std::vector<std::string>& keys);
// Waits until `window`'s thread has handled what was sent so far.
void Settle(HWND window, DWORD extra_ms = 60);

struct MessageBoxInfo {
  HWND window = nullptr;
  std::wstring text;
  // "information", "warning", "error", "question" or "none", judged from the
  // colours of the icon on the screen.
  std::string icon;
  RECT icon_rect{};
  std::vector<std::wstring> buttons;
};
// The message box with this caption (an owned dialog window).
std::optional<MessageBoxInfo> ReadMessageBox(const std::wstring& caption, DWORD timeout_ms);
// Presses its button with this id (IDOK by default).
void DismissMessageBox(HWND box, int button_id = IDOK);

// One look-up of `control`'s text as an assistive program makes it, and how
// long the owning thread took to answer; nullopt when it did not answer
// within `limit_ms`.
std::optional<DWORD> LookUp(HWND control, DWORD limit_ms);

// Tells `window` that its monitor's scale changed to `dpi`, with the
// rectangle the system would suggest (its own, scaled from `from_dpi` about
// its top left corner); true once it was handled.
bool SendDpiChanged(HWND window, UINT from_dpi, UINT dpi);

// The screen as the system draws it, written as a 24-bit BMP file.
bool SaveScreenshot(const std::wstring& path);

// The icon's kind from the screen's pixels in `rect`.
std::string IconKindOnScreen(const RECT& rect);

}  // namespace Quellmar::testing::ui
