// Lexmere: the user dictionary editor. A main window that carries the menu;
// everything else happens in its modal dialogs.
#include <windows.h>

#include <string>

#include "dictionary_editor/lexmere_editor.h"
#include "dictionary_editor/lexmere_messages.h"
#include "dictionary_editor/lexmere_resource.h"

namespace Quellmar::lexmere {
namespace {

Editor* g_editor = nullptr;

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_CREATE:
      // -1: another editor has this dictionary open; no window is made.
      return StartEditor(window, *g_editor) ? 0 : -1;
    case WM_COMMAND:
      switch (LOWORD(wparam)) {
        case IDM_ADD_WORD:
          RunAddWord(window, *g_editor);
          return 0;
        case IDM_DELETE_WORD:
          RunDeleteWord(window, *g_editor);
          return 0;
        case IDM_VIEW_DICTIONARY:
          RunViewDictionary(window, *g_editor);
          return 0;
        case IDM_HELP_CONTENTS:
          ShowHelp(window, *g_editor, HELP_FINDER, 0);
          return 0;
        case IDM_HELP_ON_HELP:
          ShowHelp(window, *g_editor, HELP_HELPONHELP, 0);
          return 0;
        case IDM_ABOUT:
          RunAbout(window, *g_editor);
          return 0;
        case IDM_EXIT:
          SendMessageA(window, WM_CLOSE, 0, 0);
          return 0;
      }
      break;
    case WM_CLOSE:
      CloseEditor(window, *g_editor);
      DestroyWindow(window);
      return 0;
    case WM_ENDSESSION:
      // Windows is shutting down or the user logs off: the window gets no
      // close request, but the entries must be saved all the same.
      if (wparam) CloseEditor(window, *g_editor);
      return 0;
    case WM_DESTROY:
      WinHelpA(window, g_editor->help_path.c_str(), HELP_QUIT, 0);
      PostQuitMessage(0);
      return 0;
  }
  return DefWindowProcA(window, message, wparam, lparam);
}

// The editor is linked against the engine core, which lives in engine\Lib
// beside the editor's own engine\Lexmere folder; the core's imports are
// bound on first use, so load it from there first (or from beside the
// editor, or the usual search) and the binding finds it loaded.
bool LoadEngineCore() {
  // Wide strings for this one path: an install folder whose name the ANSI
  // code page cannot spell must not keep the editor from starting.
  wchar_t path[MAX_PATH + 1] = {};
  const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
  if (n > 0 && n < MAX_PATH) {
    std::wstring folder(path, n);
    folder.erase(folder.find_last_of(L'\\') + 1);
    std::wstring parent = folder.substr(0, folder.size() - 1);
    parent.erase(parent.find_last_of(L'\\') + 1);
    if (LoadLibraryW((parent + L"Lib\\qmcore.dll").c_str())) return true;
    if (LoadLibraryW((folder + L"qmcore.dll").c_str())) return true;
  }
  return LoadLibraryW(L"qmcore.dll") != nullptr;
}

}  // namespace
}  // namespace Quellmar::lexmere

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  using namespace Quellmar::lexmere;
  if (!LoadEngineCore()) {
    MessageBoxA(nullptr, kCoreMissingText, kWindowTitle, MB_OK | MB_ICONERROR);
    return 1;
  }
  Editor editor;
  editor.instance = instance;
  g_editor = &editor;

  WNDCLASSA wc{};
  wc.style = CS_HREDRAW | CS_VREDRAW;
  wc.lpfnWndProc = WindowProc;
  wc.hInstance = instance;
  wc.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_LEXMERE));
  wc.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
  wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
  wc.lpszClassName = kWindowClass;
  if (!RegisterClassA(&wc)) return 1;

  HWND window =
      CreateWindowA(kWindowClass, kWindowTitle, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
                    CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, instance, nullptr);
  if (!window) return 1;
  ShowWindow(window, SW_SHOWMAXIMIZED);
  UpdateWindow(window);

  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  g_editor = nullptr;
  return static_cast<int>(msg.wParam);
}
