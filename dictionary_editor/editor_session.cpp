// The editor's start (directories, help file, the folder's lock, source
// list, menu) and its close request (save, compile, backups), the only time
// the list is saved.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "common/durable_file.h"
#include "dictionary/folder.h"
#include "dictionary_editor/compiler.h"
#include "dictionary_editor/lexmere_editor.h"
#include "dictionary_editor/lexmere_messages.h"
#include "dictionary_editor/lexmere_resource.h"

namespace Quellmar::lexmere {
namespace {

// A second editor may start while the first is still closing (saving and
// compiling): it waits this long for the folder before it says so.
constexpr DWORD kLockWaitMs = 5000;
constexpr DWORD kLockPollMs = 100;

// A directory from quellmar.ini, or false when the key is missing (the
// profile functions then give the default text back). An empty value or one
// too long for a path is no directory either: the editor would otherwise
// keep the user's files in its own folder or in a truncated one.
bool ReadDirectory(const char* key, const char* missing, std::string& out) {
  std::vector<char> value(4 * (kMaxDirectory + 1));
  const DWORD length = GetPrivateProfileStringA(kIniSection, key, missing, value.data(),
                                                static_cast<DWORD>(value.size()), kIniFile);
  out.assign(value.data(), length);
  return out != missing && !out.empty() && out.size() <= kMaxDirectory;
}

std::string LockPath(const std::string& dict_dir) {
  return dictionary::InFolder(dict_dir, kLockFile);
}

// The holder's process and window, as it wrote them into the lock file.
bool ReadHolder(const std::string& dict_dir, DWORD& process, HWND& window) {
  unique_file f(CreateFileA(LockPath(dict_dir).c_str(), GENERIC_READ,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, 0, nullptr));
  if (!f) return false;
  char text[64] = {};
  DWORD got = 0;
  if (!ReadFile(f.get(), text, sizeof text - 1, &got, nullptr)) return false;
  unsigned long pid = 0;
  unsigned long long handle = 0;
  if (std::sscanf(text, "%lu %llu", &pid, &handle) != 2) return false;
  process = pid;
  window = reinterpret_cast<HWND>(static_cast<uintptr_t>(handle));
  return true;
}

}  // namespace

FolderLock::State FolderLock::Acquire(const std::string& dict_dir, HWND window) {
  // Others may read the file (to find this editor) but not write it, so a
  // second editor's open for writing fails with a sharing violation.
  for (DWORD waited = 0;; waited += kLockPollMs) {
    file_.reset(CreateFileA(LockPath(dict_dir).c_str(), GENERIC_READ | GENERIC_WRITE | DELETE,
                            FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
    if (file_) break;
    if (GetLastError() != ERROR_SHARING_VIOLATION) return State::kNoLock;
    // The holder's window gone already: it is closing; wait for it a while.
    if (Holder(dict_dir) != nullptr || waited >= kLockWaitMs) return State::kHeldByAnother;
    Sleep(kLockPollMs);
  }
  char text[64];
  const int n = std::snprintf(text, sizeof text, "%lu %llu\r\n", GetCurrentProcessId(),
                              static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(window)));
  DWORD wrote = 0;
  SetEndOfFile(file_.get());
  WriteFile(file_.get(), text, static_cast<DWORD>(n), &wrote, nullptr);
  return State::kHeld;
}

HWND FolderLock::Holder(const std::string& dict_dir) {
  DWORD process = 0;
  HWND window = nullptr;
  if (!ReadHolder(dict_dir, process, window) || !IsWindow(window)) return nullptr;
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  return owner == process && IsWindowVisible(window) ? window : nullptr;
}

void MessageBoxReporter::Report(std::string_view text, std::string_view caption) {
  const UINT icon = caption == kErrorCaption ? MB_ICONERROR : 0;
  MessageBoxA(owner_, std::string(text).c_str(), std::string(caption).c_str(), MB_OK | icon);
}

std::string ControlText(HWND dialog, int id) {
  HWND control = GetDlgItem(dialog, id);
  const int length = control ? GetWindowTextLengthA(control) : 0;
  if (length <= 0) return {};
  std::vector<char> buffer(static_cast<size_t>(length) + 1);
  const int got = GetWindowTextA(control, buffer.data(), length + 1);
  return std::string(buffer.data(), got > 0 ? static_cast<size_t>(got) : 0);
}

void ShowHelp(HWND owner, const Editor& editor, UINT command, ULONG_PTR data) {
  WinHelpA(owner, editor.help_path.c_str(), command, data);
}

bool StartEditor(HWND window, Editor& editor) {
  if (!ReadDirectory(kTempDirKey, kNoTempDirDefault, editor.temp_dir)) {
    editor.temp_dir.clear();
    MessageBoxA(window, kNoTempDirText, kErrorCaption, MB_OK);
  } else if (!ReadDirectory(kDictDirKey, kNoDictDirDefault, editor.dict_dir)) {
    editor.dict_dir.clear();
    MessageBoxA(window, kNoDictDirText, kErrorCaption, MB_OK);
  } else {
    editor.has_dict_dir = true;
  }
  editor.help_path = dictionary::InFolder(editor.temp_dir, kHelpFile);
  if (editor.has_dict_dir) {
    if (editor.lock.Acquire(editor.dict_dir, window) == FolderLock::State::kHeldByAnother) {
      MessageBoxA(window, kAlreadyOpenText, kWindowTitle, MB_OK | MB_ICONINFORMATION);
      if (HWND first = FolderLock::Holder(editor.dict_dir)) {
        if (IsIconic(first)) ShowWindow(first, SW_RESTORE);
        SetForegroundWindow(first);
      }
      editor.closed = true;  // nothing of this editor's is to be saved
      return false;
    }
    dictionary::LoadSourceList(LocalFiles(), editor.dict_dir, editor.source);
  }
  SetMenu(window, LoadMenuA(editor.instance, MAKEINTRESOURCEA(IDR_LEXMERE_MENU)));
  return true;
}

void CloseEditor(HWND window, Editor& editor) {
  if (editor.closed) return;
  editor.closed = true;
  SetCursor(LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_WAIT)));
  if (!editor.has_dict_dir) {
    // There is no folder to save to; do not put the list anywhere else.
    if (editor.source.changed) {
      MessageBoxA(window, kNotSavedText, kErrorCaption, MB_OK | MB_ICONERROR);
    }
  } else {
    MessageBoxReporter reporter(window);
    dictionary::SaveAndCompile(LocalFiles(), editor.temp_dir, editor.dict_dir, editor.source,
                               reporter);
  }
  editor.source.entries.Clear();
  SetCursor(LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW)));
}

}  // namespace Quellmar::lexmere
