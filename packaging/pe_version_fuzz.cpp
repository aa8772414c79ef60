// A valid image with a version resource, overwritten in places by the input,
// through the version reader: the input's first two bytes choose where its
// remaining bytes land, so every field of the headers and the resource
// directory is reached without a seed corpus.
#include <cstddef>
#include <cstdint>
#include <string>

#include "packaging/pe_version.h"
#include "testing/pe_image.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  Quellmar::testing::PeImageSpec spec;
  spec.pe32_plus = data[0] & 1;
  std::string image = Quellmar::testing::PeImage(spec);
  const size_t at = ((data[0] >> 1) | (data[1] << 7)) % (image.size() + 1);
  const std::string patch(reinterpret_cast<const char*>(data + 2), size - 2);
  image.replace(at, patch.size(), patch);
  if (data[1] & 0x80) image.resize(image.size() * data[2] / 256);
  Quellmar::packaging::ReadPeVersion(image);
  return 0;
}
