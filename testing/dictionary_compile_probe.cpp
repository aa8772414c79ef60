// dictionary_compile_probe SOURCE TDIR DDIR: the Windows build of the
// dictionary compiler run the way qmtool dictionary compile runs it on the
// host, so the end-to-end tests can compare the bytes both write. Prints the
// result code on standard output and the messages on standard error.
#include <cstdio>
#include <string>

#include "dictionary_editor/compiler.h"

namespace {
class StderrReporter : public Quellmar::dictionary::Reporter {
 public:
  void Report(std::string_view text, std::string_view caption) override {
    std::fprintf(stderr, "%.*s: %.*s", static_cast<int>(caption.size()), caption.data(),
                 static_cast<int>(text.size()), text.data());
    if (text.empty() || text.back() != '\n') std::fputc('\n', stderr);
  }
};
}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: dictionary_compile_probe SOURCE TDIR DDIR\n");
    return 2;
  }
  StderrReporter reporter;
  int result = Quellmar::dictionary::Convert(Quellmar::LocalFiles(), argv[1], argv[2], reporter);
  if (result == Quellmar::dictionary::kConvertOk)
    result = Quellmar::dictionary::Write(Quellmar::LocalFiles(), argv[2], argv[3], reporter);
  std::printf("%d\n", result);
  return result == 0 ? 0 : 1;
}
