#include "testing/ui_driver/ui_driver.h"

#include <commctrl.h>

#include <algorithm>
#include <cctype>
#include <map>

namespace Quellmar::testing::ui {
namespace {

struct FindArgs {
  const std::wstring* title;
  const wchar_t* window_class;
  std::optional<bool> owned;
  HWND found;
};

BOOL CALLBACK FindProc(HWND window, LPARAM lparam) {
  auto* args = reinterpret_cast<FindArgs*>(lparam);
  if (!IsWindowVisible(window)) return TRUE;
  if (TextOf(window) != *args->title) return TRUE;
  if (args->window_class && ClassOf(window) != args->window_class) return TRUE;
  if (args->owned && (GetWindow(window, GW_OWNER) != nullptr) != *args->owned) return TRUE;
  args->found = window;
  return FALSE;
}

void Pause(DWORD ms) { Sleep(ms); }

}  // namespace

HWND FindTopWindow(const std::wstring& title, const wchar_t* window_class,
                   std::optional<bool> owned) {
  FindArgs args{&title, window_class, owned, nullptr};
  EnumWindows(FindProc, reinterpret_cast<LPARAM>(&args));
  return args.found;
}

HWND WaitForTopWindow(const std::wstring& title, DWORD timeout_ms, const wchar_t* window_class,
                      std::optional<bool> owned) {
  const ULONGLONG end = GetTickCount64() + timeout_ms;
  for (;;) {
    if (HWND w = FindTopWindow(title, window_class, owned)) return w;
    if (GetTickCount64() >= end) return nullptr;
    Pause(50);
  }
}

bool WaitUntilGone(const std::wstring& title, DWORD timeout_ms, std::optional<bool> owned) {
  const ULONGLONG end = GetTickCount64() + timeout_ms;
  for (;;) {
    if (!FindTopWindow(title, nullptr, owned)) return true;
    if (GetTickCount64() >= end) return false;
    Pause(50);
  }
}

std::wstring ClassOf(HWND window) {
  wchar_t name[256] = {};
  int n = GetClassNameW(window, name, 256);
  return std::wstring(name, n > 0 ? n : 0);
}

std::wstring TextOf(HWND window) {
  DWORD_PTR length = 0;
  if (!SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 2000, &length)) {
    return {};
  }
  std::wstring text(length + 1, L'\0');
  DWORD_PTR copied = 0;
  SendMessageTimeoutW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
                      SMTO_ABORTIFHUNG, 2000, &copied);
  text.resize(std::min<size_t>(copied, length));
  return text;
}

int IdOf(HWND window) { return GetDlgCtrlID(window); }

Control Describe(HWND c) {
  Control out;
  out.window = c;
  out.id = IdOf(c);
  out.window_class = ClassOf(c);
  out.style = GetWindowLongW(c, GWL_STYLE);
  GetWindowRect(c, &out.screen);
  out.visible = IsWindowVisible(c);
  out.enabled = IsWindowEnabled(c);
  std::wstring cls = out.window_class;
  std::transform(cls.begin(), cls.end(), cls.begin(), ::towlower);
  if (cls == L"msctls_trackbar32") {
    out.value = std::to_wstring(SendMessageW(c, TBM_GETPOS, 0, 0));
  } else if (cls == L"button" && ((out.style & BS_TYPEMASK) == BS_AUTOCHECKBOX ||
                                  (out.style & BS_TYPEMASK) == BS_CHECKBOX)) {
    out.value = std::to_wstring(SendMessageW(c, BM_GETCHECK, 0, 0));
  } else if (cls == L"combobox") {
    const LRESULT item = SendMessageW(c, CB_GETCURSEL, 0, 0);
    if (item >= 0) {
      const LRESULT length = SendMessageW(c, CB_GETLBTEXTLEN, item, 0);
      if (length >= 0) {
        std::wstring text(length + 1, L'\0');
        SendMessageW(c, CB_GETLBTEXT, item, reinterpret_cast<LPARAM>(text.data()));
        text.resize(wcslen(text.c_str()));
        out.value = text;
      }
    }
  } else {
    out.value = TextOf(c);
  }
  return out;
}

std::vector<Control> Controls(HWND parent) {
  std::vector<Control> out;
  for (HWND c = GetWindow(parent, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
    out.push_back(Describe(c));
  }
  return out;
}

bool SetTrackbar(HWND control, int position) {
  SendMessageW(control, TBM_SETPOS, TRUE, position);
  return SendMessageW(control, TBM_GETPOS, 0, 0) == position;
}

bool SetCheck(HWND control, bool ticked) {
  SendMessageW(control, BM_SETCHECK, ticked ? BST_CHECKED : BST_UNCHECKED, 0);
  return (SendMessageW(control, BM_GETCHECK, 0, 0) == BST_CHECKED) == ticked;
}

bool SetText(HWND control, const std::wstring& text) {
  return SendMessageW(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str())) != 0;
}

bool SelectItem(HWND control, int index) {
  return SendMessageW(control, CB_SETCURSEL, index, 0) == index;
}

void Click(HWND button) { PostMessageW(button, BM_CLICK, 0, 0); }

HWND FocusedControl(HWND window) {
  GUITHREADINFO info{};
  info.cbSize = sizeof(info);
  if (!GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info)) return nullptr;
  return info.hwndFocus;
}

namespace {

std::optional<WORD> KeyCode(const std::string& name) {
  static const std::map<std::string, WORD> named = {
      {"tab", VK_TAB},       {"enter", VK_RETURN}, {"return", VK_RETURN}, {"esc", VK_ESCAPE},
      {"escape", VK_ESCAPE}, {"space", VK_SPACE},  {"left", VK_LEFT},     {"right", VK_RIGHT},
      {"up", VK_UP},         {"down", VK_DOWN},    {"pgup", VK_PRIOR},    {"pgdn", VK_NEXT},
      {"home", VK_HOME},     {"end", VK_END},      {"f4", VK_F4},         {"backspace", VK_BACK},
      {"delete", VK_DELETE},
  };
  auto it = named.find(name);
  if (it != named.end()) return it->second;
  if (name.size() == 1) {
    const unsigned char c = static_cast<unsigned char>(std::toupper(name[0]));
    if (std::isalnum(c)) return static_cast<WORD>(c);
  }
  return std::nullopt;
}

INPUT Key(WORD vk, bool up) {
  INPUT in{};
  in.type = INPUT_KEYBOARD;
  in.ki.wVk = vk;
  in.ki.wScan = static_cast<WORD>(MapVirtualKeyW(vk, MAPVK_VK_TO_VSC));
  in.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
  if (vk == VK_LEFT || vk == VK_RIGHT || vk == VK_UP || vk == VK_DOWN || vk == VK_PRIOR ||
      vk == VK_NEXT || vk == VK_HOME || vk == VK_END || vk == VK_DELETE) {
    in.ki.dwFlags |= KEYEVENTF_EXTENDEDKEY;
  }
  return in;
}

}  // namespace

void Settle(HWND window, DWORD extra_ms) {
  DWORD_PTR ignored = 0;
  SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 2000, &ignored);
  Pause(extra_ms);
  SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 2000, &ignored);
}

bool SendKeys(HWND window, const std::vector<std::string>& keys) {
  HWND top = GetAncestor(window, GA_ROOT);
  if (GetForegroundWindow() != top) {
    SetForegroundWindow(top);
    Settle(top);
  }
  for (const std::string& chord : keys) {
    std::vector<WORD> modifiers;
    std::string rest = chord;
    for (;;) {
      const size_t plus = rest.find('+');
      if (plus == std::string::npos || plus + 1 == rest.size()) break;
      const std::string mod = rest.substr(0, plus);
      if (mod == "alt")
        modifiers.push_back(VK_MENU);
      else if (mod == "shift")
        modifiers.push_back(VK_SHIFT);
      else if (mod == "ctrl")
        modifiers.push_back(VK_CONTROL);
      else
        return false;
      rest = rest.substr(plus + 1);
    }
    const std::optional<WORD> vk = KeyCode(rest);
    if (!vk) return false;
    std::vector<INPUT> inputs;
    for (WORD m : modifiers) inputs.push_back(Key(m, false));
    inputs.push_back(Key(*vk, false));
    inputs.push_back(Key(*vk, true));
    for (auto it = modifiers.rbegin(); it != modifiers.rend(); ++it)
      inputs.push_back(Key(*it, true));
    SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
    Settle(top);
  }
  return true;
}

std::optional<DWORD> LookUp(HWND control, DWORD limit_ms) {
  const ULONGLONG start = GetTickCount64();
  DWORD_PTR length = 0;
  if (!SendMessageTimeoutW(control, WM_GETTEXTLENGTH, 0, 0, SMTO_NORMAL, limit_ms, &length)) {
    return std::nullopt;
  }
  std::wstring text(length + 1, L'\0');
  DWORD_PTR copied = 0;
  if (!SendMessageTimeoutW(control, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
                           SMTO_NORMAL, limit_ms, &copied)) {
    return std::nullopt;
  }
  const ULONGLONG took = GetTickCount64() - start;
  if (took > limit_ms) return std::nullopt;
  return static_cast<DWORD>(took);
}

bool SendDpiChanged(HWND window, UINT from_dpi, UINT dpi) {
  RECT now{};
  if (!GetWindowRect(window, &now) || from_dpi == 0) return false;
  const RECT suggested{now.left, now.top, now.left + MulDiv(now.right - now.left, dpi, from_dpi),
                       now.top + MulDiv(now.bottom - now.top, dpi, from_dpi)};
  // The rectangle travels by address. Whether the system copies it across
  // (as it does for messages it knows) or passes the address on, the same
  // address holds it in both processes.
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  HANDLE process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_WRITE, FALSE, pid);
  if (!process) return false;
  bool handled = false;
  for (int attempt = 0; attempt < 8 && !handled; ++attempt) {
    void* remote =
        VirtualAllocEx(process, nullptr, sizeof(RECT), MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
    if (!remote) break;
    void* local = VirtualAlloc(remote, sizeof(RECT), MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
    if (local == remote) {
      *static_cast<RECT*>(local) = suggested;
      WriteProcessMemory(process, remote, &suggested, sizeof(suggested), nullptr);
      DWORD_PTR ignored = 0;
      handled =
          SendMessageTimeoutW(window, WM_DPICHANGED, MAKEWPARAM(dpi, dpi),
                              reinterpret_cast<LPARAM>(remote), SMTO_NORMAL, 5000, &ignored) != 0;
    }
    if (local) VirtualFree(local, 0, MEM_RELEASE);
    VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    if (local == remote) break;
  }
  CloseHandle(process);
  return handled;
}

std::optional<MessageBoxInfo> ReadMessageBox(const std::wstring& caption, DWORD timeout_ms) {
  HWND box = WaitForTopWindow(caption, timeout_ms, L"#32770", true);
  if (!box) return std::nullopt;
  // In front and drawn, so that its icon can be looked at.
  SetForegroundWindow(box);
  Settle(box, 300);
  MessageBoxInfo info;
  info.window = box;
  for (const Control& c : Controls(box)) {
    std::wstring cls = c.window_class;
    std::transform(cls.begin(), cls.end(), cls.begin(), ::towlower);
    if (cls == L"static" && (c.style & SS_TYPEMASK) == SS_ICON) {
      info.icon_rect = c.screen;
    } else if (cls == L"static" && !c.value.empty()) {
      info.text = c.value;
    } else if (cls == L"button") {
      info.buttons.push_back(c.value);
    }
  }
  info.icon =
      info.icon_rect.right > info.icon_rect.left ? IconKindOnScreen(info.icon_rect) : "none";
  return info;
}

void DismissMessageBox(HWND box, int button_id) {
  if (HWND button = GetDlgItem(box, button_id)) {
    Click(button);
  } else {
    PostMessageW(box, WM_COMMAND, MAKEWPARAM(button_id, BN_CLICKED), 0);
  }
}

namespace {

// The screen's pixels in `rect`, top row first, 32-bit BGRX.
std::vector<uint8_t> ScreenPixels(const RECT& rect) {
  const int w = rect.right - rect.left, h = rect.bottom - rect.top;
  std::vector<uint8_t> out;
  if (w <= 0 || h <= 0) return out;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
  bi.bmiHeader.biWidth = w;
  bi.bmiHeader.biHeight = -h;
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  bi.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(memory, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (bitmap && bits) {
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, w, h, screen, rect.left, rect.top, SRCCOPY);
    GdiFlush();
    const auto* px = static_cast<const uint8_t*>(bits);
    out.assign(px, px + static_cast<size_t>(w) * h * 4);
    SelectObject(memory, old);
    DeleteObject(bitmap);
  }
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return out;
}

void PutLe(std::vector<uint8_t>& out, uint32_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

}  // namespace

bool SaveScreenshot(const std::wstring& path) {
  RECT r{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  const std::vector<uint8_t> px = ScreenPixels(r);
  if (px.empty()) return false;
  const int w = r.right, h = r.bottom;
  const uint32_t row = (w * 3 + 3) & ~3u;
  std::vector<uint8_t> file;
  file.push_back('B');
  file.push_back('M');
  PutLe(file, 54 + row * h, 4);
  PutLe(file, 0, 4);
  PutLe(file, 54, 4);
  PutLe(file, 40, 4);
  PutLe(file, w, 4);
  PutLe(file, h, 4);  // bottom-up
  PutLe(file, 1, 2);
  PutLe(file, 24, 2);
  PutLe(file, 0, 4);
  PutLe(file, row * h, 4);
  PutLe(file, 2835, 4);
  PutLe(file, 2835, 4);
  PutLe(file, 0, 4);
  PutLe(file, 0, 4);
  for (int y = h - 1; y >= 0; --y) {
    size_t start = file.size();
    for (int x = 0; x < w; ++x) {
      const uint8_t* p = &px[(static_cast<size_t>(y) * w + x) * 4];
      file.insert(file.end(), {p[0], p[1], p[2]});
    }
    file.resize(start + row, 0);
  }
  HANDLE f = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (f == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const bool ok = WriteFile(f, file.data(), static_cast<DWORD>(file.size()), &written, nullptr) &&
                  written == file.size();
  CloseHandle(f);
  return ok;
}

std::string IconKindOnScreen(const RECT& rect) {
  const std::vector<uint8_t> px = ScreenPixels(rect);
  int yellow = 0, blue = 0, red = 0;
  for (size_t i = 0; i + 3 < px.size(); i += 4) {
    const int b = px[i], g = px[i + 1], r = px[i + 2];
    if (r > 190 && g > 150 && b < 110)
      ++yellow;
    else if (b > 150 && r < 120)
      ++blue;
    else if (r > 170 && g < 90 && b < 90)
      ++red;
  }
  const int most = std::max({yellow, blue, red});
  if (most < 20) return "none";
  if (most == yellow) return "warning";
  if (most == red) return "error";
  return "information";
}

}  // namespace Quellmar::testing::ui
