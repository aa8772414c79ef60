// The diagnostic log: one text file per user that every deliverable appends
// to, a line per call, tagged with program, bit width and process id.
//
//   %LOCALAPPDATA%\Quellmar SAPI5\quellmar.log   (rotated once to quellmar.1.log at 4 MiB)
//
// The live log rotates as soon as it is full, whoever else writes to it, so
// the two generations together never hold much more than twice
// kLogRotateBytes (each can end with one line past it).
//
// Logging is on unless HKCU\Software\Quellmar SAPI5\Logging is a REG_DWORD 0.
// A log that cannot be opened or written is skipped silently; Log never fails
// and never waits for another writer longer than kLogLockWaitMs.
#pragma once

#include <cstddef>

namespace Quellmar {

inline constexpr wchar_t kSettingsKey[] = L"Software\\Quellmar SAPI5";
inline constexpr wchar_t kLoggingValue[] = L"Logging";
inline constexpr wchar_t kLogFolderName[] = L"Quellmar SAPI5";
inline constexpr wchar_t kLogSuffixLive[] = L"";
inline constexpr wchar_t kLogSuffixRotated[] = L".1";
inline constexpr unsigned long kLogRotateBytes = 0x400000;  // 4 MiB
inline constexpr unsigned long kLogRetryMs = 5000;
inline constexpr std::size_t kLogLineBytes = 2048;
// The most one line takes on disk: every line feed may become CR LF.
inline constexpr std::size_t kLogLineBytesOnDisk = 2 * kLogLineBytes;
// Writers of every process take an exclusive byte-range lock on this byte
// (far past any real log) around each line; none waits longer than this.
inline constexpr unsigned long kLogLockOffsetLow = 0xFFFFFFFE;
inline constexpr unsigned long kLogLockOffsetHigh = 0x7FFFFFFF;
inline constexpr unsigned long kLogLockWaitMs = 50;
inline constexpr std::size_t kLogPathChars = 260;

// printf-style; wide strings are passed with %ls.
void Log(const char* format, ...) __attribute__((format(gnu_printf, 1, 2)));

// Full path of the log file with `suffix` ("" live, ".1" rotated) into `out`
// (kLogPathChars wide characters); creates the folder when it is missing.
// False when neither LOCALAPPDATA nor the temporary folder can be read or the
// path does not fit.
bool BuildLogPath(const wchar_t* suffix, wchar_t* out, std::size_t out_chars);

}  // namespace Quellmar
