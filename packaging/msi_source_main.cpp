// qm_msi_source: writes the installer's WiX source and its extra tables from
// the staged layout.
//   qm_msi_source --dist DIR --version X.Y.Z --out DIR [--setup-dll FILE]
//                 [--data-folder NAME]...
// writes DIR/QuellmarSAPI5.wxs, DIR/IniFile.idt and DIR/MsiLockPermissionsEx.idt.
// wixl finds files only relative to the folder it runs in: the source names
// the staged files as "dist/<layout path>" and the custom-action DLL by the
// name given, so wixl runs in DIR with "dist" leading to the layout.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "packaging/msi_source.h"

namespace fs = std::filesystem;
using namespace Quellmar::packaging;

namespace {

int Usage() {
  std::fprintf(stderr,
               "usage: qm_msi_source --dist DIR --version X.Y.Z --out DIR [--setup-dll FILE] "
               "[--data-folder NAME]...\n");
  return 2;
}

bool WriteFile(const fs::path& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary);
  out << text;
  out.close();
  if (!out) std::fprintf(stderr, "qm_msi_source: cannot write %s\n", path.c_str());
  return static_cast<bool>(out);
}

}  // namespace

int main(int argc, char** argv) {
  PackageOptions options;
  fs::path dist, out;
  bool data_folders_given = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (i + 1 >= argc) return Usage();
    const std::string value = argv[++i];
    if (arg == "--dist") {
      dist = value;
    } else if (arg == "--version") {
      options.version = value;
    } else if (arg == "--out") {
      out = value;
    } else if (arg == "--setup-dll") {
      options.setup_dll = value;
    } else if (arg == "--data-folder") {
      options.data_folders.push_back(value);
      data_folders_given = true;
    } else {
      return Usage();
    }
  }
  if (dist.empty() || out.empty() || options.version.empty()) return Usage();
  if (!data_folders_given) options.data_folders = {"Dictionary", "Temp"};

  std::error_code ec;
  if (!fs::is_directory(dist, ec)) {
    std::fprintf(stderr, "qm_msi_source: %s is not a staged layout\n", dist.c_str());
    return 1;
  }
  for (auto it = fs::recursive_directory_iterator(dist, ec); !ec && it != fs::end(it);
       it.increment(ec)) {
    if (!it->is_regular_file()) continue;
    const std::string relative = fs::relative(it->path(), dist).generic_string();
    options.files.push_back(StagedFile{relative, "dist/" + relative});
  }
  if (ec) {
    std::fprintf(stderr, "qm_msi_source: cannot list %s: %s\n", dist.c_str(), ec.message().c_str());
    return 1;
  }
  std::sort(options.files.begin(), options.files.end(),
            [](const StagedFile& a, const StagedFile& b) { return a.relative < b.relative; });
  try {
    fs::create_directories(out);
    const bool ok = WriteFile(out / "QuellmarSAPI5.wxs", WixSource(options)) &&
                    WriteFile(out / "IniFile.idt", IniFileTable()) &&
                    WriteFile(out / "MsiLockPermissionsEx.idt", LockPermissionsTable());
    return ok ? 0 : 1;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "qm_msi_source: %s\n", e.what());
    return 1;
  }
}
