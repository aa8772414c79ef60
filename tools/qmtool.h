// qmtool: developer commands over the portable core. Each command lives in
// its own qmtool_<name>.cpp and registers itself with QM_TOOL_COMMAND.
#pragma once

#include <string>
#include <vector>

namespace Quellmar::tool {

using Args = std::vector<std::string>;
using CommandFn = int (*)(const Args& args);  // args after the command name; exit code

struct Command {
  const char* name;
  const char* usage;  // one line, shown by "qmtool help"
  CommandFn run;
};

bool RegisterCommand(const Command& command);

// Looks up "--name VALUE" in args; nullptr when absent.
const std::string* Option(const Args& args, const std::string& name);
// True when the bare flag "--name" is present.
bool Flag(const Args& args, const std::string& name);
// Parses a double with full precision; false on anything but one whole number.
bool ParseDouble(const std::string& text, double& out);
// Writes bytes to a file; false (and a message on stderr) on failure.
bool WriteFileBytes(const std::string& path, const void* data, size_t size);
bool ReadFileBytes(const std::string& path, std::vector<unsigned char>& out);

}  // namespace Quellmar::tool

#define QM_TOOL_CONCAT2(a, b) a##b
#define QM_TOOL_CONCAT(a, b) QM_TOOL_CONCAT2(a, b)
#define QM_TOOL_COMMAND(name, usage, fn)                                              \
  static const bool QM_TOOL_CONCAT(qm_tool_registered_, __LINE__) =                   \
      ::Quellmar::tool::RegisterCommand(::Quellmar::tool::Command{name, usage, fn})
