// The editor's start (directories, help file, source list, menu) and its
// close request (save, compile, backups), the only time the list is saved.
#include <windows.h>

#include <string>
#include <vector>

#include "common/win_handles.h"
#include "dictionary_editor/compiler.h"
#include "dictionary_editor/lexmere_editor.h"
#include "dictionary_editor/lexmere_messages.h"
#include "dictionary_editor/lexmere_resource.h"

namespace Quellmar::lexmere {
namespace {

struct BackupPair {
  const char* file;
  const char* copy;  // in D + "Backup\"
};
constexpr BackupPair kBackups[] = {
    {"lexmere.txt", "lexmere.bak"},
    {"lexmere.fle", "dictfle.bak"},
    {"userhash.tab", "hashtab.bak"},
    {"userhash.dvl", "hashdvl.bak"},
};

// A directory from quellmar.ini, or false when the key is missing (the
// profile functions then give the default text back). An empty value or one
// too long for a path is no directory either: the editor would otherwise
// keep the user's files in its own folder or in a truncated one. A value
// without its closing backslash gets one.
bool ReadDirectory(const char* key, const char* missing, std::string& out) {
  std::vector<char> value(4 * (kMaxDirectory + 1));
  const DWORD length = GetPrivateProfileStringA(kIniSection, key, missing, value.data(),
                                                static_cast<DWORD>(value.size()), kIniFile);
  out.assign(value.data(), length);
  if (out == missing || out.empty() || out.size() > kMaxDirectory) return false;
  if (out.back() != '\\' && out.back() != '/') out += '\\';
  return true;
}

// Whether the file is there but cannot be opened for reading (held by
// another program, no access): a list that is missing is simply empty.
bool ExistsButUnreadable(const std::string& path) {
  unique_handle<file_handle_traits> file(CreateFileA(path.c_str(), GENERIC_READ,
                                                     FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                                     OPEN_EXISTING, 0, nullptr));
  if (file) return false;
  const DWORD error = GetLastError();
  return error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND &&
         error != ERROR_INVALID_NAME;
}

}  // namespace

void MessageBoxReporter::Report(std::string_view text, std::string_view caption) {
  MessageBoxA(owner_, std::string(text).c_str(), std::string(caption).c_str(), MB_OK);
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

void StartEditor(HWND window, Editor& editor) {
  if (!ReadDirectory(kTempDirKey, kNoTempDirDefault, editor.temp_dir)) {
    editor.temp_dir.clear();
    MessageBoxA(window, kNoTempDirText, kErrorCaption, MB_OK);
  } else if (!ReadDirectory(kDictDirKey, kNoDictDirDefault, editor.dict_dir)) {
    editor.dict_dir.clear();
    MessageBoxA(window, kNoDictDirText, kErrorCaption, MB_OK);
  } else {
    editor.has_dict_dir = true;
  }
  editor.help_path = editor.temp_dir + kHelpFile;
  if (editor.has_dict_dir) {
    const std::string source = editor.dict_dir + dictionary::kSourceListFileName;
    editor.source_unreadable = ExistsButUnreadable(source);
    if (!editor.source_unreadable) editor.entries.Load(source);
  }
  SetMenu(window, LoadMenuA(editor.instance, MAKEINTRESOURCEA(IDR_LEXMERE_MENU)));
}

void CloseEditor(HWND window, Editor& editor) {
  if (editor.closed) return;
  editor.closed = true;
  SetCursor(LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_WAIT)));
  MessageBoxReporter reporter(window);
  if (!editor.has_dict_dir) {
    // There is no folder to save to; do not put the list anywhere else.
    if (editor.changed) MessageBoxA(window, kNotSavedText, kErrorCaption, MB_OK | MB_ICONERROR);
  } else {
    const std::string& d = editor.dict_dir;
    const std::string source = d + dictionary::kSourceListFileName;
    CopyFileA(source.c_str(), (d + kSourceBackup).c_str(), FALSE);
    if (editor.source_unreadable) {
      reporter.Report(dictionary::kSaveFailedText, dictionary::kSaveFailedCaption);
    } else {
      editor.entries.Save(source, reporter);
    }
    if (dictionary::Convert(source, editor.temp_dir, reporter) == dictionary::kConvertOk) {
      const std::string backup = d + kBackupFolder + "\\";
      if (dictionary::Write(editor.temp_dir, d, reporter) != dictionary::kWriteOk) {
        MessageBoxA(window, dictionary::kWriteFailedText, kErrorCaption, MB_OK | MB_ICONERROR);
        for (size_t i = 1; i < std::size(kBackups); ++i) {
          CopyFileA((backup + kBackups[i].copy).c_str(), (d + kBackups[i].file).c_str(), FALSE);
        }
      } else {
        CreateDirectoryA(backup.c_str(), nullptr);
        for (const BackupPair& pair : kBackups) {
          CopyFileA((d + pair.file).c_str(), (backup + pair.copy).c_str(), FALSE);
        }
      }
    }
  }
  editor.entries.Clear();
  SetCursor(LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW)));
}

}  // namespace Quellmar::lexmere
