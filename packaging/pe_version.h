// The file version of a Windows program or DLL, read from its version
// resource, so that the package can give Windows Installer each binary's
// version (which decides whether a repair or an upgrade replaces it).
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace Quellmar::packaging {

struct PeVersion {
  std::string file_version;  // "major.minor.build.revision"
  unsigned language = 0;     // of the version resource, e.g. 1033
};

// Nothing when the bytes are not a PE image with a readable version resource.
// Every offset and size in the image is checked against its length.
std::optional<PeVersion> ReadPeVersion(std::string_view image);

}  // namespace Quellmar::packaging
