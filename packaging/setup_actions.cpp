// Custom actions of the installer package. Windows Installer loads this DLL
// from the package's Binary table; it is never installed.
#include <windows.h>
// After windows.h, which they need.
#include <aclapi.h>
#include <msi.h>
#include <msiquery.h>
#include <sddl.h>
#include <tlhelp32.h>

#include <memory>
#include <string>
#include <vector>

#include "common/engine_settings.h"
#include "common/win_handles.h"
#include "packaging/folder_rules.h"
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

// The program file of a process, or nothing when it cannot be asked.
std::wstring ProcessImage(HANDLE process) {
  wchar_t path[MAX_PATH * 2] = {};
  DWORD length = MAX_PATH * 2;
  if (!QueryFullProcessImageNameW(process, 0, path, &length)) return std::wstring();
  std::wstring image(path, length);
  if (image.rfind(L"\\\\?\\", 0) == 0) image.erase(0, 4);
  return image;
}

bool SamePath(const std::wstring& a, const std::wstring& b) {
  return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(),
                              static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

// Waits for every worker process to end, ending those that do not go in
// time: all processes of the worker's name, or with `images`, only those
// whose program is one of them. Returns how many had to be ended.
int WaitForWorkers(MSIHANDLE install, const std::vector<std::wstring>& images = {}) {
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
        OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE,
                    entry.th32ProcessID));
    if (!process) continue;
    if (!images.empty()) {
      const std::wstring image = ProcessImage(process.get());
      bool ours = false;
      for (const std::wstring& i : images) ours = ours || SamePath(image, i);
      if (!ours) continue;
    }
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

// Asks a running worker to exit through the pipe, the way the SAPI
// library's unregistration does, and waits for every worker process to go,
// ending those that do not (WaitForWorkers, with `images`). `worker` is the
// program the client would start; empty, the client looks for it as usual.
void StopWorkers(MSIHANDLE install, const wchar_t* asking, const std::wstring& worker = {},
                 const std::vector<std::wstring>& images = {}) {
  if (WorkerRunning()) {
    Note(install, asking);
    auto client =
        worker.empty() ? std::make_unique<WorkerClient>() : std::make_unique<WorkerClient>(worker);
    client->RequestShutdown();
  }
  WaitForWorkers(install, images);
  Note(install, WorkerRunning() ? L"a worker is still running" : L"no worker runs");
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
    StopWorkers(install, L"asking the worker to exit");
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

bool Exists(const std::wstring& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

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
// ended after kSelftestMs so that the installer always finishes. The worker
// it started is asked to exit when it has finished.
extern "C" UINT WINAPI RunSelftest(MSIHANDLE install) {
  constexpr DWORD kSelftestMs = 180000;
  try {
    const std::wstring program = Property(install, L"QM_SELFTEST_PROGRAM");
    if (program.empty() || GetFileAttributesW(program.c_str()) == INVALID_FILE_ATTRIBUTES) {
      Note(install, L"no diagnostics tool to run the selftest with");
      return ERROR_SUCCESS;
    }
    // A worker the selftest starts runs as the installing user (the system,
    // when software deployment installs): other users could not reach it
    // and could not start their own while it runs. It goes when the
    // selftest has finished.
    const bool worker_before = WorkerRunning();
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
    } else {
      DWORD code = 0;
      GetExitCodeProcess(process.get(), &code);
      Note(install, L"selftest exit code " + std::to_wstring(code) +
                        L" (install-check.txt holds the verdict)");
    }
    if (!worker_before) StopWorkers(install, L"asking the worker the selftest started to exit");
  } catch (...) {
    Note(install, L"running the selftest failed");
  }
  return ERROR_SUCCESS;
}

// Right after the removal of the older version in an upgrade: if it is
// still installed (its removal failed, and the installer went on), this
// version stops here, before anything of it is done, and the older one stays
// as it was. Two versions never end up installed side by side.
extern "C" UINT WINAPI CheckOlderRemoved(MSIHANDLE install) {
  std::wstring codes = Property(install, L"WIX_UPGRADE_DETECTED");
  std::wstring still;
  for (size_t start = 0; start < codes.size();) {
    size_t end = codes.find(L';', start);
    if (end == std::wstring::npos) end = codes.size();
    const std::wstring code = codes.substr(start, end - start);
    if (!code.empty() && MsiQueryProductStateW(code.c_str()) == INSTALLSTATE_DEFAULT) {
      still += (still.empty() ? L"" : L", ") + code;
    }
    start = end + 1;
  }
  if (still.empty()) {
    Note(install, L"the older version is removed");
    return ERROR_SUCCESS;
  }
  PMSIHANDLE record = MsiCreateRecord(1);
  MsiRecordSetStringW(record, 0,
                      (L"The older version of Quellmar SAPI5 (" + still +
                       L") could not be removed, so this version was not installed. The older "
                       L"version is still installed and works as before.")
                          .c_str());
  MsiProcessMessage(install, static_cast<INSTALLMESSAGE>(INSTALLMESSAGE_ERROR | MB_OK), record);
  return ERROR_INSTALL_FAILURE;
}

namespace {

std::wstring RetiredWorker(const std::wstring& worker) { return worker + L".retired"; }

}  // namespace

// Deferred, as the system, before any file of the product is removed or
// replaced (install, repair, upgrade, uninstall): moves the worker program
// aside (QuellmarServer.exe.retired, which Windows Installer removes with the
// files, or at the next restart while a process still holds it), so that no
// program can start a worker while the files are serviced; then stops every
// worker, whoever started it: the pipe admits the system, and one that does
// not go is ended by its program's path. CustomActionData: the worker's path.
extern "C" UINT WINAPI RetireWorker(MSIHANDLE install) {
  try {
    const std::wstring worker = Property(install, L"CustomActionData");
    if (worker.empty()) return ERROR_SUCCESS;
    const std::wstring retired = RetiredWorker(worker);
    // A retired worker of an earlier servicing that a process still held:
    // out of the way for good, to go at the next restart.
    if (Exists(retired) && !DeleteFileW(retired.c_str())) {
      WaitForWorkers(install, {retired});
      if (!DeleteFileW(retired.c_str())) {
        const std::wstring aside = retired + L"." + std::to_wstring(GetTickCount64());
        if (MoveFileExW(retired.c_str(), aside.c_str(), 0)) {
          MoveFileExW(aside.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
        }
      }
    }
    if (!Exists(worker)) {
      Note(install, L"no worker program to move aside");
    } else if (MoveFileExW(worker.c_str(), retired.c_str(), 0)) {
      Note(install, L"moved the worker aside: no program can start it while the files change");
    } else {
      Note(install,
           L"could not move the worker aside (error " + std::to_wstring(GetLastError()) + L")");
    }
    StopWorkers(install, L"asking every worker to exit", worker, {worker, retired});
  } catch (...) {
    Note(install, L"moving the worker aside failed");
  }
  return ERROR_SUCCESS;
}

// Rollback of RetireWorker: puts the worker program back when the
// installation fails. CustomActionData: the worker's path.
extern "C" UINT WINAPI RestoreWorker(MSIHANDLE install) {
  try {
    const std::wstring worker = Property(install, L"CustomActionData");
    if (worker.empty() || Exists(worker) || !Exists(RetiredWorker(worker))) return ERROR_SUCCESS;
    Note(install, MoveFileExW(RetiredWorker(worker).c_str(), worker.c_str(), 0)
                      ? L"put the worker back"
                      : L"could not put the worker back");
  } catch (...) {
    Note(install, L"putting the worker back failed");
  }
  return ERROR_SUCCESS;
}

namespace {

// The system's rights to take over a folder whatever its permissions say.
void EnablePrivileges() {
  HANDLE raw = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &raw)) return;
  unique_kernel_handle token(raw);
  for (const wchar_t* name : {SE_RESTORE_NAME, SE_TAKE_OWNERSHIP_NAME, SE_BACKUP_NAME}) {
    TOKEN_PRIVILEGES p{};
    p.PrivilegeCount = 1;
    p.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    if (LookupPrivilegeValueW(nullptr, name, &p.Privileges[0].Luid)) {
      AdjustTokenPrivileges(token.get(), FALSE, &p, 0, nullptr, nullptr);
    }
  }
}

// Whether a folder's owner is one a user cannot be: the administrators, the
// system or the installer service of Windows itself. A link such an owner
// made (an administrator who moved a folder elsewhere) is followed; one a
// user made is not.
bool TrustedOwner(HANDLE handle) {
  PSECURITY_DESCRIPTOR raw = nullptr;
  PSID owner = nullptr;
  if (GetSecurityInfo(handle, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr,
                      nullptr, &raw) != ERROR_SUCCESS) {
    return false;
  }
  unique_local_alloc descriptor(raw);
  if (!owner) return false;
  if (IsWellKnownSid(owner, WinBuiltinAdministratorsSid) ||
      IsWellKnownSid(owner, WinLocalSystemSid))
    return true;
  PSID installer = nullptr;
  if (!ConvertStringSidToSidW(L"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464",
                              &installer)) {
    return false;
  }
  unique_local_alloc installer_sid(installer);
  return EqualSid(owner, installer) != FALSE;
}

// Creates the missing folders above `folder` (above the product's own,
// wherever INSTALLDIR points), as Windows Installer itself would: with the
// permissions they inherit.
void CreateParents(const std::wstring& folder) {
  const size_t slash = folder.find_last_of(L'\\');
  if (slash == std::wstring::npos || slash < 3) return;  // a root: "X:\" or a share
  const std::wstring parent = folder.substr(0, slash);
  if (Exists(parent)) return;
  CreateParents(parent);
  CreateDirectoryW(parent.c_str(), nullptr);
}

constexpr wchar_t kPlantedLink[] =
    L"a link that a user made is in its place; the installer does not write through it. Remove "
    L"the link and run the installation again";

// Makes `folder` safe to install into: a real folder owned by the
// administrators with the permissions `sddl` (with `secure`), or only checked
// (without). A missing folder is created with them, a folder already there
// taken over through a handle that does not follow links; a link a user made
// in its place stops the installation. Empty on success, otherwise why not.
std::wstring SecureFolder(MSIHANDLE install, const std::wstring& folder, const std::wstring& sddl,
                          bool secure, bool raced = false) {
  PSECURITY_DESCRIPTOR raw = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW((L"O:BA" + sddl).c_str(),
                                                            SDDL_REVISION_1, &raw, nullptr)) {
    return L"its permissions cannot be read (error " + std::to_wstring(GetLastError()) + L")";
  }
  unique_local_alloc descriptor(raw);
  unique_file handle(
      CreateFileW(folder.c_str(), READ_CONTROL | WRITE_DAC | WRITE_OWNER,
                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                  FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!handle) {
    const DWORD error = GetLastError();
    if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) {
      return L"it cannot be opened (error " + std::to_wstring(error) + L")";
    }
    if (!secure) return std::wstring();
    // Made by the system with its permissions in one step: there is no
    // moment in which a user owns it. Something that appears meanwhile is
    // looked at as if it had been there.
    CreateParents(folder);
    SECURITY_ATTRIBUTES attributes{sizeof(attributes), descriptor.get(), FALSE};
    if (CreateDirectoryW(folder.c_str(), &attributes)) return std::wstring();
    if (GetLastError() == ERROR_ALREADY_EXISTS && !raced) {
      return SecureFolder(install, folder, sddl, secure, true);
    }
    return L"it cannot be created (error " + std::to_wstring(GetLastError()) + L")";
  }
  BY_HANDLE_FILE_INFORMATION info{};
  if (!GetFileInformationByHandle(handle.get(), &info)) {
    return L"it cannot be examined (error " + std::to_wstring(GetLastError()) + L")";
  }
  // The handle is the link itself, not what it leads to; the name is asked
  // as well, for systems whose handles follow links regardless.
  const DWORD by_name = GetFileAttributesW(folder.c_str());
  const bool link =
      (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) ||
      (by_name != INVALID_FILE_ATTRIBUTES && (by_name & FILE_ATTRIBUTE_REPARSE_POINT));
  if (link) {
    if (!TrustedOwner(handle.get())) return kPlantedLink;
    Note(install, L"following the administrators' link at " + folder);
    return std::wstring();
  }
  if (!(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) return L"it is a file, not a folder";
  if (secure &&
      !SetKernelObjectSecurity(handle.get(), OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                               descriptor.get())) {
    return L"its permissions cannot be set (error " + std::to_wstring(GetLastError()) + L")";
  }
  return std::wstring();
}

}  // namespace

// Deferred, as the system, before anything is written to the product's
// folders or removed from them. Install, repair and upgrade: each folder the
// installer writes into becomes a real folder, owned by the administrators,
// with its permissions (kReadOnlyFolderSddl, kUserContentFolderSddl), parents
// first, so that nobody but an administrator can put a link in its place
// afterwards. Uninstall: each is checked. A link a user made in the place of
// one, or a folder that cannot be made safe, stops the installation before
// anything is written or removed. CustomActionData: the folders
// (packaging/folder_rules.h).
extern "C" UINT WINAPI SecureFolders(MSIHANDLE install) {
  std::wstring failure;
  try {
    const auto rules = packaging::ParseFolderRules(Property(install, L"CustomActionData"));
    if (!rules) {
      failure = L"The installer's list of folders is damaged. Nothing was changed.";
    } else {
      EnablePrivileges();
      for (const packaging::FolderRule& rule : rules->rules) {
        std::wstring folder = rule.folder;
        if (folder.back() == L'\\') folder.pop_back();
        const std::wstring why = SecureFolder(install, folder, rule.sddl, rules->secure);
        if (!why.empty()) {
          failure = L"The folder " + folder + L" is not safe to install into: " + why +
                    L". Nothing was changed.";
          break;
        }
      }
    }
  } catch (...) {
    failure = L"The product's folders could not be checked. Nothing was changed.";
  }
  if (failure.empty()) {
    Note(install, L"the product's folders are safe to write to");
    return ERROR_SUCCESS;
  }
  PMSIHANDLE record = MsiCreateRecord(1);
  MsiRecordSetStringW(record, 0, failure.c_str());
  MsiProcessMessage(install, static_cast<INSTALLMESSAGE>(INSTALLMESSAGE_ERROR | MB_OK), record);
  return ERROR_INSTALL_FAILURE;
}
