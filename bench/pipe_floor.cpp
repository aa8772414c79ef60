// What a pipe itself costs on this system, with nothing of ours in the way:
// one process writes 40 pieces of 8 KiB (a 10-second utterance as the worker
// streams it) to another that reads them 64 KiB at a time. The worker's own
// streaming cost is measured against this floor (bench/run-worker).
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

namespace {
constexpr wchar_t kPipe[] = L"\\\\.\\pipe\\QuellmarPipeFloor";
constexpr int kPieces = 40;
constexpr DWORD kPieceBytes = 8 + 4 + 8192;  // header, count, audio
constexpr int kRuns = 50;

int Reader() {
  HANDLE p = CreateFileW(kPipe, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (p == INVALID_HANDLE_VALUE) return 1;
  std::vector<char> buffer(65536);
  for (int run = 0; run < kRuns; ++run) {
    DWORD n = 0;
    char go = 1;
    if (!WriteFile(p, &go, 1, &n, nullptr)) return 1;
    for (size_t total = 0; total < size_t{kPieces} * kPieceBytes;) {
      if (!ReadFile(p, buffer.data(), static_cast<DWORD>(buffer.size()), &n, nullptr) || n == 0) {
        return 1;
      }
      total += n;
    }
  }
  CloseHandle(p);
  return 0;
}

bool Wait(HANDLE pipe, OVERLAPPED& o, BOOL started) {
  DWORD n = 0;
  return started || (GetLastError() == ERROR_IO_PENDING && GetOverlappedResult(pipe, &o, &n, TRUE));
}
}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc > 1 && wcscmp(argv[1], L"reader") == 0) return Reader();
  HANDLE pipe = CreateNamedPipeW(kPipe, PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
                                 PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT, 1, 65536, 65536, 0,
                                 nullptr);
  if (pipe == INVALID_HANDLE_VALUE) return 1;
  wchar_t self[MAX_PATH];
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  wchar_t command[MAX_PATH + 16];
  swprintf(command, MAX_PATH + 16, L"\"%ls\" reader", self);
  STARTUPINFOW si{};
  si.cb = sizeof(si);
  PROCESS_INFORMATION pi{};
  if (!CreateProcessW(self, command, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return 1;
  HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  OVERLAPPED o{};
  o.hEvent = event;
  if (!Wait(pipe, o, ConnectNamedPipe(pipe, &o)) && GetLastError() != ERROR_PIPE_CONNECTED) return 1;

  std::vector<char> piece(kPieceBytes, 1);
  std::vector<double> ms;
  for (int run = 0; run < kRuns; ++run) {
    char go = 0;
    DWORD n = 0;
    o = OVERLAPPED{};
    o.hEvent = event;
    if (!Wait(pipe, o, ReadFile(pipe, &go, 1, &n, &o))) return 1;
    auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < kPieces; ++i) {
      o = OVERLAPPED{};
      o.hEvent = event;
      if (!Wait(pipe, o, WriteFile(pipe, piece.data(), kPieceBytes, &n, &o))) return 1;
    }
    FlushFileBuffers(pipe);  // until the reader has it all
    ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
  }
  std::sort(ms.begin(), ms.end());
  std::printf("pipe floor: %d pieces of 8 KiB to another process, median %.2f ms (min %.2f)\n",
              kPieces, ms[ms.size() / 2], ms.front());
  WaitForSingleObject(pi.hProcess, 5000);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  CloseHandle(event);
  CloseHandle(pipe);
  return 0;
}
