// A minimal PE image (one resource section holding a version resource) for
// the tests and the fuzzer of the installer's version reader.
#pragma once

#include <cstdint>
#include <string>

namespace Quellmar::testing {

struct PeImageSpec {
  bool pe32_plus = true;
  uint32_t version_high = 0x00010000;  // major << 16 | minor
  uint32_t version_low = 0;            // build << 16 | revision
  uint16_t language = 0x409;
  uint32_t resource_type = 16;  // RT_VERSION; another type gives an image without one
};

std::string PeImage(const PeImageSpec& spec);

}  // namespace Quellmar::testing
