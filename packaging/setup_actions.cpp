// Custom actions of the installer package. Windows Installer loads this DLL
// from the package's Binary table; it is never installed.
#include <windows.h>
// After windows.h, which they need.
#include <msi.h>
#include <msiquery.h>
#include <tlhelp32.h>

#include <string>
#include <vector>

#include "common/engine_settings.h"
#include "common/win_handles.h"
#include "packaging/ini_tidy.h"
#include "packaging/saved_settings.h"
#include "worker/protocol.h"
#include "worker_client/worker_client.h"

namespace {

using namespace Quellmar;

constexpr wchar_t kWorkerExe[] = L"QuellmarServer.exe";
// Time a worker gets to exit after its shutdown request before it is ended.
constexpr DWORD kWorkerExitMs = 3000;

bool WorkerRunning() {
  unique_kernel_handle mutex(OpenMutexW(SYNCHRONIZE, FALSE, protocol::kServerMutexName));
  return static_cast<bool>(mutex);
}

// One line in the installer's log (msiexec /l*v).
void Note(MSIHANDLE install, const std::wstring& text) {
  PMSIHANDLE record = MsiCreateRecord(1);
  MsiRecordSetStringW(record, 0, (L"QuellmarSetup: " + text).c_str());
  MsiProcessMessage(install, INSTALLMESSAGE_INFO, record);
}

// Waits for every worker process to end, ending those that do not go in time.
// Returns how many had to be ended.
int WaitForWorkers(MSIHANDLE install) {
  // A failed snapshot is INVALID_HANDLE_VALUE, as for files.
  unique_file snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot) return 0;
  int ended = 0;
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof(entry);
  for (BOOL more = Process32FirstW(snapshot.get(), &entry); more;
       more = Process32NextW(snapshot.get(), &entry)) {
    if (lstrcmpiW(entry.szExeFile, kWorkerExe) != 0) continue;
    unique_kernel_handle process(
        OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, entry.th32ProcessID));
    if (!process) continue;
    if (WaitForSingleObject(process.get(), kWorkerExitMs) == WAIT_OBJECT_0) continue;
    Note(install, L"the worker (process " + std::to_wstring(entry.th32ProcessID) +
                      L") did not exit when asked; ending it");
    if (TerminateProcess(process.get(), 1)) {
      WaitForSingleObject(process.get(), kWorkerExitMs);
      ++ended;
    }
  }
  return ended;
}

// The installation's own windows: closing them (the same as their Close
// button or the window's close box) lets their programs' files go.
constexpr const wchar_t* kProgramWindows[] = {
    L"Quellmar Speech Configuration",      // QuellmarConfig.exe, its dialog
    L"Quellmar Users Dictionary Utility",  // Lexmere.exe, which compiles the list on close
};
constexpr DWORD kWindowCloseMs = 5000;

struct FoundWindows {
  const wchar_t* title;
  std::vector<HWND> windows;
};

BOOL CALLBACK CollectWindow(HWND window, LPARAM context) {
  auto* found = reinterpret_cast<FoundWindows*>(context);
  wchar_t title[128] = {};
  if (GetWindowTextW(window, title, 128) > 0 && lstrcmpW(title, found->title) == 0) {
    found->windows.push_back(window);
  }
  return TRUE;
}

// Closes the installation's open windows and waits for their programs to
// end; one that stays (a message box of its own is open, say) is left to
// Windows Installer's handling of files in use.
void ClosePrograms(MSIHANDLE install) {
  for (const wchar_t* title : kProgramWindows) {
    FoundWindows found{title, {}};
    EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&found));
    for (HWND window : found.windows) {
      DWORD pid = 0;
      GetWindowThreadProcessId(window, &pid);
      unique_kernel_handle process(OpenProcess(SYNCHRONIZE, FALSE, pid));
      Note(install,
           std::wstring(L"closing \"") + title + L"\" (process " + std::to_wstring(pid) + L")");
      PostMessageW(window, WM_CLOSE, 0, 0);
      if (process && WaitForSingleObject(process.get(), kWindowCloseMs) != WAIT_OBJECT_0) {
        Note(install, std::wstring(L"\"") + title + L"\" is still open; its files may be in use");
      }
    }
  }
}

}  // namespace

// Before the installer checks for files in use, on install, repair, upgrade
// and uninstall alike: closes the configuration utility's and the dictionary
// editor's windows, then asks a running worker to exit, the way the SAPI
// library's unregistration does, so that their files and the engine core can
// be replaced or removed. Never fails the installation: a program that
// cannot be stopped only means files in use, which Windows Installer handles
// itself.
extern "C" UINT WINAPI StopPrograms(MSIHANDLE install) {
  try {
    ClosePrograms(install);
    if (!WorkerRunning()) {
      Note(install, L"no worker running");
      return ERROR_SUCCESS;
    }
    Note(install, L"asking the worker to exit");
    {
      WorkerClient client;
      client.RequestShutdown();
    }
    WaitForWorkers(install);
    Note(install, WorkerRunning() ? L"a worker is still running" : L"the worker has exited");
  } catch (...) {
    Note(install, L"stopping the programs failed");
  }
  return ERROR_SUCCESS;
}

// After a plain uninstall (not the removal of an older version by an
// upgrade) has removed the package's quellmar.ini entries: deletes the file
// when only the empty section headers are left, otherwise takes out those of
// the engine's sections that are empty and leaves everything else alone.
// Deferred: CustomActionData is the file's path.
extern "C" UINT WINAPI TidyEngineSettings(MSIHANDLE install) {
  try {
    wchar_t path[MAX_PATH + 1] = {};
    DWORD length = MAX_PATH + 1;
    if (MsiGetPropertyW(install, L"CustomActionData", path, &length) != ERROR_SUCCESS ||
        path[0] == 0) {
      return ERROR_SUCCESS;
    }
    unique_file file(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return ERROR_SUCCESS;
    LARGE_INTEGER size{};
    // A settings file of megabytes is not the installer's: leave it be.
    if (!GetFileSizeEx(file.get(), &size) || size.QuadPart > (1 << 20)) return ERROR_SUCCESS;
    std::string bytes(static_cast<size_t>(size.QuadPart), '\0');
    DWORD read = 0;
    if (!bytes.empty() &&
        (!ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr) ||
         read != bytes.size())) {
      return ERROR_SUCCESS;
    }
    file.reset();
    if (packaging::OnlyEmptyEngineSections(bytes)) {
      Note(install, DeleteFileW(path) ? L"removed quellmar.ini" : L"could not remove quellmar.ini");
      return ERROR_SUCCESS;
    }
    for (const wchar_t* section : {kAppDirSection, kDictionarySection, kEngineSettingsSection}) {
      wchar_t keys[4] = {};
      if (GetPrivateProfileSectionW(section, keys, 4, path) == 0) {
        WritePrivateProfileStringW(section, nullptr, nullptr, path);
      }
    }
    Note(install, L"kept quellmar.ini: it holds more than the installer's entries");
  } catch (...) {
    Note(install, L"tidying quellmar.ini failed");
  }
  return ERROR_SUCCESS;
}

namespace {

std::wstring Property(MSIHANDLE install, const wchar_t* name) {
  DWORD length = 0;
  wchar_t empty[1] = {};
  if (MsiGetPropertyW(install, name, empty, &length) != ERROR_MORE_DATA) return std::wstring();
  std::vector<wchar_t> buffer(length + 1);
  length = static_cast<DWORD>(buffer.size());
  if (MsiGetPropertyW(install, name, buffer.data(), &length) != ERROR_SUCCESS)
    return std::wstring();
  return std::wstring(buffer.data(), length);
}

}  // namespace

// Before an older version is removed: reads the user's dictionary switch and
// pauses from quellmar.ini into the property of the action that writes them
// back. Immediate, so it sees the file as the user left it.
extern "C" UINT WINAPI SaveEngineSettings(MSIHANDLE install) {
  try {
    packaging::SavedSettings saved{Property(install, L"WindowsFolder") + kEngineSettingsFileName,
                                   {}};
    for (const packaging::UserKey& k : packaging::kUserKeys) {
      // A default no file holds tells a missing key from an empty one.
      constexpr wchar_t kMissing[] = L"\x01missing";
      wchar_t value[kEngineSettingsValueChars] = {};
      GetPrivateProfileStringW(k.section, k.key, kMissing, value,
                               static_cast<DWORD>(kEngineSettingsValueChars), saved.path.c_str());
      if (std::wstring_view(value) == kMissing) continue;
      if (std::wstring_view(value).find_first_of(L"\t\r\n") != std::wstring_view::npos) continue;
      saved.values.push_back({k.section, k.key, value});
    }
    MsiSetPropertyW(install, L"RestoreEngineSettings",
                    packaging::FormatSavedSettings(saved).c_str());
    Note(install, L"kept " + std::to_wstring(saved.values.size()) +
                      L" of the user's quellmar.ini values for the upgrade");
  } catch (...) {
    Note(install, L"reading the user's quellmar.ini values failed");
  }
  return ERROR_SUCCESS;
}

// After the package's own quellmar.ini entries: writes back what
// SaveEngineSettings read. Deferred; CustomActionData is its text.
extern "C" UINT WINAPI RestoreEngineSettings(MSIHANDLE install) {
  try {
    const auto saved = packaging::ParseSavedSettings(Property(install, L"CustomActionData"));
    if (!saved) {
      Note(install, L"no usable quellmar.ini values to restore");
      return ERROR_SUCCESS;
    }
    for (const packaging::SavedValue& v : saved->values) {
      WritePrivateProfileStringW(v.section.c_str(), v.key.c_str(), v.value.c_str(),
                                 saved->path.c_str());
    }
    Note(install, L"restored " + std::to_wstring(saved->values.size()) +
                      L" of the user's quellmar.ini values");
  } catch (...) {
    Note(install, L"restoring the user's quellmar.ini values failed");
  }
  return ERROR_SUCCESS;
}

// At the end of an install: "QuellmarDiag selftest", without a console
// window, as the installing user (so its install-check.txt lands in that
// user's local application data). Its verdict is that file; neither its exit
// code nor a failure to start it fails the install, and one that hangs is
// ended after kSelftestMs so that the installer always finishes.
extern "C" UINT WINAPI RunSelftest(MSIHANDLE install) {
  constexpr DWORD kSelftestMs = 180000;
  try {
    const std::wstring program = Property(install, L"QM_SELFTEST_PROGRAM");
    if (program.empty() || GetFileAttributesW(program.c_str()) == INVALID_FILE_ATTRIBUTES) {
      Note(install, L"no diagnostics tool to run the selftest with");
      return ERROR_SUCCESS;
    }
    std::wstring command = L"\"" + program + L"\" selftest";
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(program.c_str(), command.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW,
                        nullptr, nullptr, &startup, &info)) {
      Note(install,
           L"the selftest could not be started (error " + std::to_wstring(GetLastError()) + L")");
      return ERROR_SUCCESS;
    }
    unique_kernel_handle process(info.hProcess);
    unique_kernel_handle thread(info.hThread);
    if (WaitForSingleObject(process.get(), kSelftestMs) != WAIT_OBJECT_0) {
      TerminateProcess(process.get(), 1);
      Note(install, L"the selftest did not finish in time and was ended");
      return ERROR_SUCCESS;
    }
    DWORD code = 0;
    GetExitCodeProcess(process.get(), &code);
    Note(install, L"selftest exit code " + std::to_wstring(code) +
                      L" (install-check.txt holds the verdict)");
  } catch (...) {
    Note(install, L"running the selftest failed");
  }
  return ERROR_SUCCESS;
}
