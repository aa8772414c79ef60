#include "diagnostics/output.h"

#include <climits>
#include <cstdarg>
#include <cstdlib>
#include <cwchar>
#include <vector>

namespace Quellmar::diag {
namespace {

std::wstring FormatArgs(const wchar_t* format, va_list args) {
  std::vector<wchar_t> buffer(512);
  for (;;) {
    va_list copy;
    va_copy(copy, args);
    const int n = std::vswprintf(buffer.data(), buffer.size(), format, copy);
    va_end(copy);
    if (n >= 0 && static_cast<size_t>(n) < buffer.size()) return std::wstring(buffer.data(), n);
    // The wide formatter only says "did not fit": grow and try again. Lines of
    // this program are short; a path or a text argument is what makes one long.
    if (buffer.size() >= (size_t{1} << 24))
      return std::wstring(buffer.data(), wcsnlen(buffer.data(), buffer.size()));
    buffer.resize(buffer.size() * 4);
  }
}

}  // namespace

std::wstring Format(const wchar_t* format, ...) {
  va_list args;
  va_start(args, format);
  std::wstring text = FormatArgs(format, args);
  va_end(args);
  return text;
}

void Output::Print(const wchar_t* format, ...) {
  va_list args;
  va_start(args, format);
  Write(FormatArgs(format, args));
  va_end(args);
}

void Output::Write(const std::wstring& text) {
  if (!file_) {
    captured_ += text;
    return;
  }
  // Character by character through the runtime's locale: what the user's code
  // page cannot show becomes "?" instead of ending the line there.
  std::string bytes;
  bytes.reserve(text.size());
  char one[MB_LEN_MAX];
  for (wchar_t c : text) {
    const int n = std::wctomb(one, c);
    if (n > 0) {
      bytes.append(one, n);
    } else {
      bytes.push_back('?');
    }
  }
  std::fwrite(bytes.data(), 1, bytes.size(), file_);
}

void Output::Flush() {
  if (file_) std::fflush(file_);
}

}  // namespace Quellmar::diag
