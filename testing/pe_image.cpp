#include "testing/pe_image.h"

namespace Quellmar::testing {
namespace {

void Put16(std::string& s, size_t at, uint32_t v) {
  s[at] = static_cast<char>(v & 0xFF);
  s[at + 1] = static_cast<char>((v >> 8) & 0xFF);
}
void Put32(std::string& s, size_t at, uint32_t v) {
  Put16(s, at, v & 0xFFFF);
  Put16(s, at + 2, v >> 16);
}

}  // namespace

std::string PeImage(const PeImageSpec& spec) {
  constexpr size_t kPe = 0x40, kRaw = 0x200, kAddress = 0x1000, kRawSize = 0x200;
  std::string s(kRaw + kRawSize, '\0');
  s[0] = 'M';
  s[1] = 'Z';
  Put32(s, 0x3C, kPe);
  s.replace(kPe, 4, std::string("PE\0\0", 4));
  const size_t coff = kPe + 4, optional = coff + 20;
  const size_t optional_size = spec.pe32_plus ? 240 : 224;
  Put16(s, coff, spec.pe32_plus ? 0x8664 : 0x14C);
  Put16(s, coff + 2, 1);
  Put16(s, coff + 16, optional_size);
  Put16(s, optional, spec.pe32_plus ? 0x20B : 0x10B);
  const size_t directories = optional + (spec.pe32_plus ? 112 : 96);
  Put32(s, directories - 4, 16);
  Put32(s, directories + 8 * 2, kAddress);
  Put32(s, directories + 8 * 2 + 4, kRawSize);
  const size_t section = optional + optional_size;
  s.replace(section, 5, ".rsrc");
  Put32(s, section + 8, kRawSize);
  Put32(s, section + 12, kAddress);
  Put32(s, section + 16, kRawSize);
  Put32(s, section + 20, kRaw);

  // Type directory, name directory, language directory, data entry, data.
  Put16(s, kRaw + 14, 1);
  Put32(s, kRaw + 16, spec.resource_type);
  Put32(s, kRaw + 20, 0x80000000 | 0x18);
  Put16(s, kRaw + 0x18 + 14, 1);
  Put32(s, kRaw + 0x18 + 16, 1);
  Put32(s, kRaw + 0x18 + 20, 0x80000000 | 0x30);
  Put16(s, kRaw + 0x30 + 14, 1);
  Put32(s, kRaw + 0x30 + 16, spec.language);
  Put32(s, kRaw + 0x30 + 20, 0x48);
  const size_t info = 0x58, info_size = 40 + 52;
  Put32(s, kRaw + 0x48, kAddress + info);
  Put32(s, kRaw + 0x48 + 4, info_size);
  const size_t v = kRaw + info;
  Put16(s, v, info_size);
  Put16(s, v + 2, 52);
  const char key[] = "VS_VERSION_INFO";
  for (size_t i = 0; i < sizeof(key); ++i) Put16(s, v + 6 + 2 * i, key[i]);
  Put32(s, v + 40, 0xFEEF04BD);
  Put32(s, v + 44, 0x00010000);
  Put32(s, v + 48, spec.version_high);
  Put32(s, v + 52, spec.version_low);
  return s;
}

}  // namespace Quellmar::testing
