// qm_state: puts a Wine prefix into states that plain reg.exe and file
// permissions cannot make (the tests run as root, whom Wine lets write any
// file), so that failure paths of the tools can be driven end to end.
//
//   qm_state hold-file PATH STOPFILE [exclusive]
//                                      keeps PATH open for reading, denying
//                                      other writers (with "exclusive" every
//                                      other opener), until STOPFILE exists
//   qm_state volatile-key SUBKEY       creates HKCU\SUBKEY as a volatile key:
//                                      no lasting key can be created below it
// Exit code 0 on success, 1 on failure, 2 for a usage error.
#include <windows.h>

#include <cstdio>
#include <string>

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) return 2;
  const std::wstring command = argv[1];
  if (command == L"hold-file" &&
      (argc == 4 || (argc == 5 && std::wstring(argv[4]) == L"exclusive"))) {
    const DWORD share = argc == 5 ? 0 : FILE_SHARE_READ;
    HANDLE f = CreateFileW(argv[2], GENERIC_READ, share, nullptr, OPEN_EXISTING, 0, nullptr);
    if (f == INVALID_HANDLE_VALUE) {
      std::printf("cannot open (error %lu)\n", GetLastError());
      return 1;
    }
    std::puts("holding");
    std::fflush(stdout);
    while (GetFileAttributesW(argv[3]) == INVALID_FILE_ATTRIBUTES) Sleep(100);
    CloseHandle(f);
    return 0;
  }
  if (command == L"volatile-key" && argc == 3) {
    HKEY key = nullptr;
    const LONG rc = RegCreateKeyExW(HKEY_CURRENT_USER, argv[2], 0, nullptr, REG_OPTION_VOLATILE,
                                    KEY_ALL_ACCESS, nullptr, &key, nullptr);
    if (rc != ERROR_SUCCESS) {
      std::printf("cannot create (error %ld)\n", rc);
      return 1;
    }
    RegCloseKey(key);
    return 0;
  }
  return 2;
}
