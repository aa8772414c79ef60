// qm_msi_source: writes the installer's WiX source and what msibuild adds to
// wixl's package, from the staged layout.
//   qm_msi_source --dist DIR --version X.Y.Z --out DIR [--setup-dll FILE]
//                 [--data-folder NAME]...
// writes in DIR: QuellmarSAPI5.wxs and product.ico for wixl; the IDT tables
// (*.idt) for msibuild -i; fixups.sql, one query a line, for msibuild -q; and
// summary.txt, the subject, author and package code for msibuild -s.
// wixl finds files only relative to the folder it runs in: the source names
// the staged files as "dist/<layout path>" and the custom-action DLL by the
// name given, so wixl runs in DIR with "dist" leading to the layout.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "packaging/msi_source.h"
#include "packaging/pe_version.h"

namespace fs = std::filesystem;
using namespace Quellmar::packaging;

namespace {

int Usage() {
  std::fprintf(stderr,
               "usage: qm_msi_source --dist DIR --version X.Y.Z --out DIR [--setup-dll FILE] "
               "[--data-folder NAME]...\n");
  return 2;
}

bool ReadFile(const fs::path& path, std::string& bytes) {
  std::ifstream in(path, std::ios::binary);
  bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  if (!in) std::fprintf(stderr, "qm_msi_source: cannot read %s\n", path.c_str());
  return static_cast<bool>(in);
}

// 64-bit FNV-1a, two seeds for 128 bits: what the package is made of.
struct Digest {
  uint64_t a = 0xcbf29ce484222325ULL, b = 0x84222325cbf29ce4ULL;
  void Add(const std::string& bytes) {
    const std::string size = std::to_string(bytes.size()) + ":";
    for (const std::string* part : {&size, &bytes}) {
      for (unsigned char c : *part) {
        a = (a ^ c) * 0x100000001b3ULL;
        b = (b ^ c) * 0x100000001b3ULL;
      }
    }
  }
  std::string Hex() const {
    char text[33];
    std::snprintf(text, sizeof(text), "%016llx%016llx", static_cast<unsigned long long>(a),
                  static_cast<unsigned long long>(b));
    return text;
  }
};

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
  Digest digest;
  std::string bytes;
  for (const StagedFile& file : options.files) {
    if (!ReadFile(dist / file.relative, bytes)) return 1;
    digest.Add(file.relative);
    digest.Add(bytes);
    // Any file may carry a version resource; the package wants one of
    // every program and DLL and says which lacks it.
    if (const auto version = ReadPeVersion(bytes))
      options.binary_versions[file.relative] = *version;
  }
  if (!options.setup_dll.empty()) {
    if (!ReadFile(out / options.setup_dll, bytes)) return 1;
    digest.Add(bytes);
  }
  options.content_digest = digest.Hex();
  options.icon_file = "product.ico";
  try {
    fs::create_directories(out);
    const PackageSource source = MakePackageSource(options);
    std::string queries;
    for (const std::string& q : source.queries) queries += q + "\n";
    bool ok = WriteFile(out / "QuellmarSAPI5.wxs", source.wxs) &&
              WriteFile(out / options.icon_file, ProductIcon()) &&
              WriteFile(out / "fixups.sql", queries) &&
              WriteFile(out / "summary.txt",
                        source.subject + "\n" + source.author + "\n" + source.package_code + "\n");
    for (const IdtTable& table : source.tables) {
      ok = ok && WriteFile(out / table.file_name, table.text);
    }
    return ok ? 0 : 1;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "qm_msi_source: %s\n", e.what());
    return 1;
  }
}
