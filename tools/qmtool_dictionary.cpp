// qmtool dictionary compile --source FILE --temp TDIR --dict DDIR
//   compiles a source list as the dictionary editor does when it closes:
//   Convert, then Write when Convert succeeded. Prints Write's result code
//   (0, 110, 120 or 130), or Convert's failure (1), on standard output; the
//   messages the editor would show go to standard error as
//   "caption: text". TDIR and DDIR are folders, with or without their
//   closing separator; DDIR receives the compiled set (and its index).
// qmtool dictionary encode TRANSCRIPTION
//   prints the engine encoding of a typed transcription.
#include <cstdio>
#include <string>

#include "dictionary_editor/compiler.h"
#include "dictionary_editor/phonetic.h"
#include "tools/qmtool.h"

namespace Quellmar::tool {
namespace {

class StderrReporter : public dictionary::Reporter {
 public:
  void Report(std::string_view text, std::string_view caption) override {
    std::fprintf(stderr, "%.*s: %.*s", static_cast<int>(caption.size()), caption.data(),
                 static_cast<int>(text.size()), text.data());
    if (text.empty() || text.back() != '\n') std::fputc('\n', stderr);
  }
};

int Compile(const Args& args) {
  const std::string* source = Option(args, "--source");
  const std::string* temp = Option(args, "--temp");
  const std::string* dict = Option(args, "--dict");
  if (source == nullptr || temp == nullptr || dict == nullptr) {
    std::fprintf(stderr,
                 "usage: qmtool dictionary compile --source FILE --temp TDIR --dict DDIR\n");
    return 2;
  }
  StderrReporter reporter;
  int result = dictionary::Convert(LocalFiles(), *source, *temp, reporter);
  if (result == dictionary::kConvertOk) {
    result = dictionary::Write(LocalFiles(), *temp, *dict, reporter);
  }
  std::printf("%d\n", result);
  return result == 0 ? 0 : 1;
}

int Dictionary(const Args& args) {
  if (!args.empty() && args[0] == "compile") return Compile(Args(args.begin() + 1, args.end()));
  if (args.size() == 2 && args[0] == "encode") {
    std::printf("%s\n", dictionary::EncodePhonetic(args[1]).c_str());
    return 0;
  }
  std::fprintf(stderr,
               "usage: qmtool dictionary compile --source FILE --temp TDIR --dict DDIR\n"
               "       qmtool dictionary encode TRANSCRIPTION\n");
  return 2;
}

}  // namespace

QM_TOOL_COMMAND(
    "dictionary",
    "dictionary compile --source FILE --temp TDIR --dict DDIR | dictionary encode TRANSCRIPTION",
    Dictionary);

}  // namespace Quellmar::tool
