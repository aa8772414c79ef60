#include "testing/test_env.h"

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <system_error>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace Quellmar::testing {
namespace fs = std::filesystem;

namespace {
fs::path FromEnv(const char* name, const fs::path& fallback) {
#ifdef _WIN32
  wchar_t buf[1024];
  std::wstring wname(name, name + std::char_traits<char>::length(name));
  DWORD n = GetEnvironmentVariableW(wname.c_str(), buf, 1024);
  if (n > 0 && n < 1024) return fs::path(std::wstring(buf, n));
#else
  if (const char* v = std::getenv(name); v && *v) return fs::path(v);
#endif
  return fallback;
}

unsigned long ProcessId() {
#ifdef _WIN32
  return GetCurrentProcessId();
#else
  return static_cast<unsigned long>(getpid());
#endif
}
}  // namespace

fs::path ArtefactsDir() {
  fs::path dir = FromEnv("QM_ARTEFACTS", fs::current_path() / "artefacts");
  std::error_code ec;
  fs::create_directories(dir, ec);
  return dir;
}

fs::path BinDir() { return FromEnv("QM_BIN", fs::current_path()); }

TempDir::TempDir(const std::string& hint) {
  static std::atomic<unsigned> counter{0};
  auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
  path_ = fs::temp_directory_path() /
          (hint + "-" + std::to_string(ProcessId()) + "-" + std::to_string(stamp) + "-" +
           std::to_string(counter++));
  fs::create_directories(path_);
}

namespace {
// Best effort, and never stuck: a file another handle keeps open (this
// process's own log, say) stays behind instead of being retried forever.
void RemoveTree(const fs::path& p) {
  std::error_code ec;
  if (fs::is_directory(fs::symlink_status(p, ec))) {
    std::vector<fs::path> children;
    for (fs::directory_iterator it(p, ec), end; !ec && it != end; it.increment(ec)) {
      children.push_back(it->path());
    }
    for (const auto& child : children) RemoveTree(child);
  }
  fs::remove(p, ec);
}
}  // namespace

TempDir::~TempDir() { RemoveTree(path_); }

}  // namespace Quellmar::testing
