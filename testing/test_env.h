// Where a test keeps what it makes: the artefacts folder (WAV files,
// screenshots, logs worth looking at after a run) and the build's own folder.
#pragma once

#include <filesystem>
#include <string>

namespace Quellmar::testing {

// build/artefacts (from QM_ARTEFACTS), created when missing.
std::filesystem::path ArtefactsDir();
// The build folder of this flavour (from QM_BIN), where test programs live.
std::filesystem::path BinDir();
// A fresh, empty folder under the temporary folder, removed by its destructor.
class TempDir {
 public:
  explicit TempDir(const std::string& hint = "qm");
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  ~TempDir();
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

}  // namespace Quellmar::testing
