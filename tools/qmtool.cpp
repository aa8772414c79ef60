#include "tools/qmtool.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>

namespace Quellmar::tool {
namespace {
std::vector<Command>& Commands() {
  static std::vector<Command> commands;
  return commands;
}

int Help() {
  std::fprintf(stderr, "usage: qmtool <command> [options]\n");
  for (const Command& c : Commands()) std::fprintf(stderr, "  %s\n", c.usage);
  return 2;
}
}  // namespace

bool RegisterCommand(const Command& command) {
  Commands().push_back(command);
  return true;
}

const std::string* Option(const Args& args, const std::string& name) {
  for (size_t i = 0; i + 1 < args.size(); ++i) {
    if (args[i] == name) return &args[i + 1];
  }
  return nullptr;
}

bool Flag(const Args& args, const std::string& name) {
  for (const auto& a : args) {
    if (a == name) return true;
  }
  return false;
}

bool ParseDouble(const std::string& text, double& out) {
  if (text.empty()) return false;
  errno = 0;
  char* end = nullptr;
  double v = std::strtod(text.c_str(), &end);
  if (end != text.c_str() + text.size() || errno == ERANGE) return false;
  out = v;
  return true;
}

bool WriteFileBytes(const std::string& path, const void* data, size_t size) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
  if (!out) {
    std::fprintf(stderr, "qmtool: cannot write %s\n", path.c_str());
    return false;
  }
  return true;
}

bool ReadFileBytes(const std::string& path, std::vector<unsigned char>& out) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "qmtool: cannot read %s\n", path.c_str());
    return false;
  }
  out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return true;
}

}  // namespace Quellmar::tool

int main(int argc, char** argv) {
  using namespace Quellmar::tool;
  if (argc < 2) return Help();
  std::string name = argv[1];
  for (const Command& c : Commands()) {
    if (name == c.name) return c.run(Args(argv + 2, argv + argc));
  }
  return Help();
}
