// qm_ui: the UI driver's command line, one action per run, for the
// end-to-end scripts. Windows are named by their exact title; a dialog is a
// window without an owner, a message box one with.
//
//   qm_ui wait --title T [--timeout ms]          the window appears ("window 0x...")
//   qm_ui gone --title T [--timeout ms] [--owned] no such window is left
//   qm_ui controls --title T                     every child: id, class, flags, rect, value
//   qm_ui get --title T --id N                   a control's value
//   qm_ui set --title T --id N --value V         trackbar position, check 0/1, list index or text
//   qm_ui click --title T --id N                 presses a button without waiting for it
//   qm_ui focus --title T                        the id of the focused control
//   qm_ui keys --title T [--focus-after] KEY...  types keys ("tab", "alt+r", "pgdn", "x")
//   qm_ui msgbox --title T [--timeout ms]        a message box's text, icon and buttons
//   qm_ui msgbox-close --title T [--button id]   presses its button (OK by default)
//   qm_ui rect --title T [--id N]                window, client and work-area rectangles
//   qm_ui close --title T                        asks the window to close
//   qm_ui shot --title - --file F.bmp            the screen as the system draws it
//   qm_ui post --title T --msg N [--id N] [--wparam N] [--lparam N]
//                                                posts a message (numbers, no pointers) to the
//                                                window or its control, and waits until handled
//   qm_ui rows --title T --id N                  a list or combo box's rows, one a line
//   qm_ui selected --title T --id N              the index of its selected row (-1: none)
//   qm_ui choose --title T --id N --row R        chooses a row as a click would (notifies)
//   qm_ui dblclick --title T --id N --row R      double-clicks a list box row with the mouse
//   qm_ui text --title T --id N                  a control's own text (a combo box's edit field)
//   qm_ui type --title T --id N --value V        sets a control's own text
//   qm_ui menu-resource --title - --file F --id N  a program's menu resource, one item a line
//   qm_ui a11y --title T                         each focusable control as a screen reader
//                                                names it: oleacc's role and name, and the name
//                                                by the labelling rule; 1 when that rule
//                                                names one not
//   qm_ui responsive --title T --for ms [--limit ms]  looks up the focused control's text every
//                                                100 ms; 1 when one look-up took over the limit
//                                                (1000 ms by default)
//   qm_ui dpi --title T --dpi N [--from N]       a change of the monitor's scale (WM_DPICHANGED)
//   qm_ui reach --title T                        tabs once round the dialog: 1 when a focused
//                                                control is not brought into view
// --any finds a window whatever its owner (a dialog over a program's main window);
// --popup acts on the window's active popup instead (a dialog without a caption).
// Exit code 0 on success, 1 when the window, control or box is not there,
// 2 for a usage error. Text is printed as UTF-8 with \r, \n and \\ escaped.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <map>
#include <string>
#include <vector>

#include "testing/ui_driver/a11y_driver.h"
#include "testing/ui_driver/list_driver.h"
#include "testing/ui_driver/ui_driver.h"

namespace ui = Quellmar::testing::ui;

namespace {

std::string Utf8(const std::wstring& w) {
  if (w.empty()) return {};
  int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), nullptr, 0, nullptr,
                              nullptr);
  std::string s(n, '\0');
  WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), s.data(), n, nullptr,
                      nullptr);
  return s;
}

std::wstring Wide(const std::wstring& arg) { return arg; }

std::string Escaped(const std::wstring& w) {
  std::string out;
  for (char c : Utf8(w)) {
    if (c == '\r')
      out += "\\r";
    else if (c == '\n')
      out += "\\n";
    else if (c == '\\')
      out += "\\\\";
    else
      out += c;
  }
  return out;
}

std::string RectText(const RECT& r) {
  return std::to_string(r.left) + " " + std::to_string(r.top) + " " + std::to_string(r.right) +
         " " + std::to_string(r.bottom);
}

struct Args {
  std::wstring command;
  std::map<std::wstring, std::wstring> options;
  std::vector<std::string> rest;
  bool Has(const wchar_t* name) const { return options.count(name) != 0; }
  std::wstring Get(const wchar_t* name, const std::wstring& fallback = L"") const {
    auto it = options.find(name);
    return it == options.end() ? fallback : it->second;
  }
  int Int(const wchar_t* name, int fallback) const {
    return Has(name) ? _wtoi(Get(name).c_str()) : fallback;
  }
};

Args Parse(int argc, wchar_t** argv) {
  Args a;
  if (argc > 1) a.command = argv[1];
  for (int i = 2; i < argc; ++i) {
    std::wstring arg = argv[i];
    if (arg == L"--focus-after" || arg == L"--owned" || arg == L"--any" || arg == L"--popup") {
      a.options[arg.substr(2)] = L"1";
    } else if (arg.rfind(L"--", 0) == 0 && i + 1 < argc) {
      a.options[arg.substr(2)] = argv[++i];
    } else {
      a.rest.push_back(Utf8(arg));
    }
  }
  return a;
}

int Usage() {
  std::fputs("usage: qm_ui COMMAND --title T [options] (see the source's header)\n", stderr);
  return 2;
}

HWND Control(HWND dialog, const Args& a) {
  return a.Has(L"id") ? GetDlgItem(dialog, a.Int(L"id", 0)) : nullptr;
}

void PrintControl(const ui::Control& c) {
  std::printf("id=%d class=%s visible=%d enabled=%d tabstop=%d rect=%s value=%s\n", c.id,
              Utf8(c.window_class).c_str(), c.visible ? 1 : 0, c.enabled ? 1 : 0,
              (c.style & WS_TABSTOP) ? 1 : 0, RectText(c.screen).c_str(), Escaped(c.value).c_str());
}

// A control is named when the labelling rule names it: that is what Windows'
// oleacc does for every control here. Wine's oleacc names some controls
// itself (printed beside, for the log), not always so (a combo box by its
// selection, a slider not at all).
int Accessibility(HWND dialog) {
  int unnamed = 0;
  for (const ui::AccessibleControl& c : ui::AccessibleControls(dialog)) {
    char no_oleacc[48];
    std::snprintf(no_oleacc, sizeof(no_oleacc), "(oleacc: 0x%08lx)",
                  static_cast<unsigned long>(c.oleacc_error));
    std::printf("id=%d class=%s role=%s name=%s label=%s%s\n", c.id, Utf8(c.window_class).c_str(),
                c.oleacc ? Utf8(c.role).c_str() : no_oleacc, Escaped(c.name).c_str(),
                Escaped(c.label_name).c_str(), c.label_name.empty() ? "  UNNAMED" : "");
    if (c.label_name.empty()) ++unnamed;
  }
  return unnamed == 0 ? 0 : 1;
}

int Responsive(HWND dialog, DWORD for_ms, DWORD limit_ms) {
  const ULONGLONG end = GetTickCount64() + for_ms;
  DWORD slowest = 0;
  int lookups = 0, late = 0;
  while (GetTickCount64() < end) {
    HWND target = ui::FocusedControl(dialog);
    if (!target || GetAncestor(target, GA_ROOT) != dialog) target = dialog;
    const std::optional<DWORD> took = ui::LookUp(target, limit_ms);
    ++lookups;
    if (!took) {
      ++late;
      slowest = std::max(slowest, limit_ms + 1);
    } else {
      slowest = std::max(slowest, *took);
    }
    Sleep(100);
  }
  std::printf("lookups=%d late=%d slowest=%lums\n", lookups, late,
              static_cast<unsigned long>(slowest));
  return late == 0 ? 0 : 1;
}

// Every focusable control, tabbed to in turn, is in the client area once the
// focus follower has looked (at least its start, when it is larger).
int Reach(HWND dialog) {
  int missed = 0;
  const size_t count = ui::AccessibleControls(dialog).size();
  for (size_t i = 0; i < count; ++i) {
    ui::SendKeys(dialog, {"tab"});
    Sleep(450);  // the follower looks every 200 ms
    ui::Settle(dialog);
    HWND f = ui::FocusedControl(dialog);
    if (!f) continue;
    RECT c{}, client{};
    GetWindowRect(f, &c);
    GetClientRect(dialog, &client);
    MapWindowPoints(dialog, nullptr, reinterpret_cast<POINT*>(&client), 2);
    const bool wide = c.right - c.left > client.right - client.left;
    const bool in_x = c.left >= client.left && (wide || c.right <= client.right);
    const bool in_y = c.top >= client.top && c.bottom <= client.bottom;
    std::printf("id=%d rect=%s client=%s %s\n", ui::IdOf(f), RectText(c).c_str(),
                RectText(client).c_str(), in_x && in_y ? "in view" : "OUT OF VIEW");
    if (!(in_x && in_y)) ++missed;
  }
  return missed == 0 ? 0 : 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const Args a = Parse(argc, argv);
  const std::wstring title = a.Get(L"title");
  if (a.command.empty() || title.empty()) return Usage();
  const DWORD timeout = static_cast<DWORD>(a.Int(L"timeout", 10000));

  if (a.command == L"msgbox") {
    auto box = ui::ReadMessageBox(title, timeout);
    if (!box) {
      std::puts("no message box");
      return 1;
    }
    std::printf("text=%s\nicon=%s\n", Escaped(box->text).c_str(), box->icon.c_str());
    for (const std::wstring& b : box->buttons) std::printf("button=%s\n", Utf8(b).c_str());
    std::printf("icon_rect=%s\n", RectText(box->icon_rect).c_str());
    return 0;
  }
  if (a.command == L"msgbox-close") {
    HWND box = ui::WaitForTopWindow(title, timeout, L"#32770", true);
    if (!box) return 1;
    // A click that reaches the box before it is ready to take it (a loaded
    // machine) is lost: click again while it stays.
    constexpr DWORD kClickAgainMs = 2000;
    for (DWORD waited = 0;; waited += kClickAgainMs) {
      ui::DismissMessageBox(box, a.Int(L"button", IDOK));
      if (ui::WaitUntilGone(title, kClickAgainMs, true)) return 0;
      if (waited + kClickAgainMs >= timeout || !IsWindow(box)) return 1;
    }
  }
  if (a.command == L"shot") {
    return ui::SaveScreenshot(a.Get(L"file")) ? 0 : 1;
  }
  if (a.command == L"menu-resource") {
    const auto lines = ui::MenuResource(a.Get(L"file"), a.Int(L"id", 0));
    for (const std::wstring& line : lines) std::printf("%s\n", Escaped(line).c_str());
    return lines.empty() ? 1 : 0;
  }
  if (a.command == L"gone") {
    return ui::WaitUntilGone(title, timeout, a.Has(L"owned")) ? 0 : 1;
  }

  const std::optional<bool> owned = a.Has(L"any") ? std::nullopt : std::optional<bool>(false);
  HWND dialog = a.command == L"wait" ? ui::WaitForTopWindow(title, timeout, nullptr, owned)
                                     : ui::FindTopWindow(title, nullptr, owned);
  if (!dialog) {
    std::puts("no window");
    return 1;
  }
  if (a.Has(L"popup")) {
    HWND popup = GetLastActivePopup(dialog);
    if (!popup || popup == dialog) {
      std::puts("no popup");
      return 1;
    }
    dialog = popup;
  }
  if (a.command == L"wait") {
    std::printf("window %p\n", static_cast<void*>(dialog));
    return 0;
  }
  if (a.command == L"controls") {
    for (const ui::Control& c : ui::Controls(dialog)) PrintControl(c);
    return 0;
  }
  if (a.command == L"get" || a.command == L"set" || a.command == L"click") {
    HWND c = Control(dialog, a);
    if (!c) {
      std::puts("no control");
      return 1;
    }
    if (a.command == L"click") {
      ui::Click(c);
      return 0;
    }
    if (a.command == L"get") {
      std::printf("%s\n", Escaped(ui::Describe(c).value).c_str());
      return 0;
    }
    const std::wstring value = a.Get(L"value");
    std::wstring cls = ui::ClassOf(c);
    for (auto& ch : cls) ch = towlower(ch);
    const LONG style = GetWindowLongW(c, GWL_STYLE);
    bool ok;
    if (cls == L"msctls_trackbar32")
      ok = ui::SetTrackbar(c, _wtoi(value.c_str()));
    else if (cls == L"button" && (style & BS_TYPEMASK) == BS_AUTOCHECKBOX)
      ok = ui::SetCheck(c, value == L"1");
    else if (cls == L"combobox")
      ok = ui::SelectItem(c, _wtoi(value.c_str()));
    else
      ok = ui::SetText(c, Wide(value));
    return ok ? 0 : 1;
  }
  if (a.command == L"rows" || a.command == L"selected" || a.command == L"choose" ||
      a.command == L"dblclick" || a.command == L"text" || a.command == L"type") {
    HWND c = Control(dialog, a);
    if (!c) {
      std::puts("no control");
      return 1;
    }
    if (a.command == L"rows") {
      for (const std::wstring& row : ui::ListRows(c)) std::printf("%s\n", Escaped(row).c_str());
      return 0;
    }
    if (a.command == L"selected") {
      std::printf("%d\n", ui::SelectedRow(c));
      return 0;
    }
    if (a.command == L"text") {
      std::printf("%s\n", Escaped(ui::TextOf(c)).c_str());
      return 0;
    }
    if (a.command == L"type") return ui::SetText(c, a.Get(L"value")) ? 0 : 1;
    const int row = a.Int(L"row", -1);
    if (a.command == L"choose") return ui::ChooseRow(c, row) ? 0 : 1;
    return ui::DoubleClickRow(c, row) ? 0 : 1;
  }
  if (a.command == L"focus") {
    HWND f = ui::FocusedControl(dialog);
    if (!f) {
      std::puts("none");
      return 0;
    }
    std::printf("%d\n", ui::IdOf(f));
    return 0;
  }
  if (a.command == L"keys") {
    if (a.rest.empty()) return Usage();
    for (const std::string& key : a.rest) {
      if (!ui::SendKeys(dialog, {key})) {
        std::fprintf(stderr, "unknown key %s\n", key.c_str());
        return 2;
      }
      if (a.Has(L"focus-after")) {
        HWND f = ui::FocusedControl(dialog);
        std::printf("%s %d\n", key.c_str(), f ? ui::IdOf(f) : 0);
      }
    }
    return 0;
  }
  if (a.command == L"rect") {
    if (a.Has(L"id")) {
      HWND c = Control(dialog, a);
      if (!c) return 1;
      RECT r{};
      GetWindowRect(c, &r);
      std::printf("control %s\n", RectText(r).c_str());
    }
    RECT w{}, client{};
    GetWindowRect(dialog, &w);
    GetClientRect(dialog, &client);
    MapWindowPoints(dialog, nullptr, reinterpret_cast<POINT*>(&client), 2);
    MONITORINFO mi{};
    mi.cbSize = sizeof(mi);
    GetMonitorInfoW(MonitorFromWindow(dialog, MONITOR_DEFAULTTONEAREST), &mi);
    std::printf("window %s\nclient %s\nwork %s\n", RectText(w).c_str(), RectText(client).c_str(),
                RectText(mi.rcWork).c_str());
    return 0;
  }
  if (a.command == L"post") {
    HWND target = a.Has(L"id") ? Control(dialog, a) : dialog;
    if (!target || !a.Has(L"msg")) return 1;
    auto number = [&](const wchar_t* name) {
      return static_cast<ULONG_PTR>(std::wcstoll(a.Get(name, L"0").c_str(), nullptr, 0));
    };
    PostMessageW(target, static_cast<UINT>(number(L"msg")), number(L"wparam"),
                 static_cast<LPARAM>(number(L"lparam")));
    ui::Settle(dialog);
    return 0;
  }
  if (a.command == L"close") {
    PostMessageW(dialog, WM_CLOSE, 0, 0);
    return 0;
  }
  if (a.command == L"a11y") return Accessibility(dialog);
  if (a.command == L"responsive") {
    return Responsive(dialog, static_cast<DWORD>(a.Int(L"for", 5000)),
                      static_cast<DWORD>(a.Int(L"limit", 1000)));
  }
  if (a.command == L"dpi") {
    HDC screen = GetDC(nullptr);
    const int system_dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    const UINT from = static_cast<UINT>(a.Int(L"from", system_dpi));
    return ui::SendDpiChanged(dialog, from, static_cast<UINT>(a.Int(L"dpi", 96))) ? 0 : 1;
  }
  if (a.command == L"reach") return Reach(dialog);
  return Usage();
}
