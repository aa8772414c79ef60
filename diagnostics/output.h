// Where the diagnostics tool prints: wide text formatted once, then either
// written to a stream (converted to the user's code page by the runtime's
// locale, as console programs do) or kept in memory for the tests.
#pragma once

#include <cstdio>
#include <string>

namespace Quellmar::diag {

class Output {
 public:
  // Keeps everything in memory (captured()).
  Output() = default;
  // Writes to `file`, which must stay open while this object prints.
  explicit Output(std::FILE* file) : file_(file) {}
  Output(const Output&) = delete;
  Output& operator=(const Output&) = delete;

  // printf-style on wide strings: %ls for wide text, no 8-bit arguments.
  void Print(const wchar_t* format, ...);
  void Flush();

  const std::wstring& captured() const { return captured_; }

 private:
  void Write(const std::wstring& text);
  std::FILE* file_ = nullptr;
  std::wstring captured_;
};

// printf-style into a wide string, without a length limit.
std::wstring Format(const wchar_t* format, ...);

}  // namespace Quellmar::diag
