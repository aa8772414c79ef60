#include "packaging/pe_version.h"

#include <cstdint>

namespace Quellmar::packaging {
namespace {

constexpr uint32_t kVersionResourceType = 16;  // RT_VERSION
constexpr uint32_t kResourceDirectory = 2;     // index in the data directories
constexpr uint32_t kFixedInfoSignature = 0xFEEF04BD;
constexpr uint32_t kSubdirectoryBit = 0x80000000;
constexpr size_t kMaxSections = 96;  // the loader's own limit

class Image {
 public:
  explicit Image(std::string_view bytes) : bytes_(bytes) {}

  bool Has(uint64_t offset, uint64_t length) const {
    return offset <= bytes_.size() && length <= bytes_.size() - offset;
  }
  std::optional<uint32_t> U16(uint64_t offset) const {
    if (!Has(offset, 2)) return std::nullopt;
    return Byte(offset) | Byte(offset + 1) << 8;
  }
  std::optional<uint32_t> U32(uint64_t offset) const {
    if (!Has(offset, 4)) return std::nullopt;
    return Byte(offset) | Byte(offset + 1) << 8 | Byte(offset + 2) << 16 |
           static_cast<uint32_t>(Byte(offset + 3)) << 24;
  }

 private:
  uint32_t Byte(uint64_t offset) const { return static_cast<unsigned char>(bytes_[offset]); }
  std::string_view bytes_;
};

struct Section {
  uint32_t address = 0;  // relative virtual address
  uint32_t raw_size = 0;
  uint32_t raw_offset = 0;
};

class PeReader {
 public:
  explicit PeReader(std::string_view bytes) : image_(bytes) {}

  std::optional<PeVersion> Read() {
    if (image_.U16(0) != 0x5A4D) return std::nullopt;  // "MZ"
    const auto pe = image_.U32(0x3C);
    if (!pe || image_.U32(*pe) != 0x00004550) return std::nullopt;  // "PE\0\0"
    const uint64_t coff = uint64_t{*pe} + 4;
    const auto section_count = image_.U16(coff + 2);
    const auto optional_size = image_.U16(coff + 16);
    if (!section_count || !optional_size || *section_count > kMaxSections) return std::nullopt;
    const uint64_t optional = coff + 20;
    const auto magic = image_.U16(optional);
    uint64_t directories = 0, directory_count_at = 0;
    if (magic == 0x10B) {  // PE32
      directory_count_at = optional + 92;
      directories = optional + 96;
    } else if (magic == 0x20B) {  // PE32+
      directory_count_at = optional + 108;
      directories = optional + 112;
    } else {
      return std::nullopt;
    }
    const auto directory_count = image_.U32(directory_count_at);
    if (!directory_count || *directory_count <= kResourceDirectory) return std::nullopt;
    if (directories + 8 * (kResourceDirectory + 1) > optional + *optional_size) return std::nullopt;
    const auto resources = image_.U32(directories + 8 * kResourceDirectory);
    if (!resources || *resources == 0) return std::nullopt;
    resource_base_ = *resources;

    const uint64_t table = optional + *optional_size;
    for (uint32_t i = 0; i < *section_count; ++i) {
      const uint64_t at = table + 40 * uint64_t{i};
      const auto address = image_.U32(at + 12);
      const auto raw_size = image_.U32(at + 16);
      const auto raw_offset = image_.U32(at + 20);
      if (!address || !raw_size || !raw_offset) return std::nullopt;
      sections_[i] = {*address, *raw_size, *raw_offset};
    }
    section_count_ = *section_count;

    // Type, then name, then language: the first entry of each level below
    // the version type.
    auto names = Entry(0, kVersionResourceType, true);
    if (!names || !(*names & kSubdirectoryBit)) return std::nullopt;
    auto languages = Entry(*names & ~kSubdirectoryBit, 0, false);
    if (!languages || !(*languages & kSubdirectoryBit)) return std::nullopt;
    unsigned language = 0;
    auto data_entry = Entry(*languages & ~kSubdirectoryBit, 0, false, &language);
    if (!data_entry || (*data_entry & kSubdirectoryBit)) return std::nullopt;
    const auto entry = Map(uint64_t{resource_base_} + *data_entry, 16);
    if (!entry) return std::nullopt;
    const auto data_address = image_.U32(*entry);
    const auto data_size = image_.U32(*entry + 4);
    if (!data_address || !data_size) return std::nullopt;
    return FixedInfo(*data_address, *data_size, language);
  }

 private:
  // The file offset of `length` bytes at a relative virtual address, all
  // within one section's data in the file.
  std::optional<uint64_t> Map(uint64_t address, uint64_t length) const {
    for (size_t i = 0; i < section_count_; ++i) {
      const Section& s = sections_[i];
      if (address < s.address) continue;
      const uint64_t inside = address - s.address;
      if (inside > s.raw_size || length > s.raw_size - inside) continue;
      const uint64_t offset = uint64_t{s.raw_offset} + inside;
      if (image_.Has(offset, length)) return offset;
    }
    return std::nullopt;
  }

  // In the resource directory at `directory` (relative to the resource
  // base): the data of the entry with numeric id `id`, or of the first entry.
  std::optional<uint32_t> Entry(uint32_t directory, uint32_t id, bool match,
                                unsigned* found_id = nullptr) const {
    const auto header = Map(uint64_t{resource_base_} + directory, 16);
    if (!header) return std::nullopt;
    const auto named = image_.U16(*header + 12);
    const auto ids = image_.U16(*header + 14);
    if (!named || !ids) return std::nullopt;
    const uint32_t count = *named + *ids;
    const auto entries = Map(uint64_t{resource_base_} + directory + 16, 8 * uint64_t{count});
    if (!entries) return std::nullopt;
    for (uint32_t i = match ? *named : 0; i < count; ++i) {
      const auto name = image_.U32(*entries + 8 * uint64_t{i});
      const auto data = image_.U32(*entries + 8 * uint64_t{i} + 4);
      if (!name || !data) return std::nullopt;
      if (match && *name != id) continue;
      if (found_id) *found_id = *name & 0xFFFF;
      return data;
    }
    return std::nullopt;
  }

  // VS_VERSIONINFO: its length, the value's length, its type, the key
  // L"VS_VERSION_INFO" and padding to 32 bits, then VS_FIXEDFILEINFO.
  std::optional<PeVersion> FixedInfo(uint32_t address, uint32_t size, unsigned language) const {
    constexpr uint32_t kFixedAt = 40, kFixedSize = 52;
    if (size < kFixedAt + kFixedSize) return std::nullopt;
    const auto at = Map(address, size);
    if (!at) return std::nullopt;
    static const char kKey[] = "VS_VERSION_INFO";
    for (size_t i = 0; i < sizeof(kKey); ++i) {
      if (image_.U16(*at + 6 + 2 * i) != static_cast<uint32_t>(kKey[i])) return std::nullopt;
    }
    const auto value_size = image_.U16(*at + 2);
    if (!value_size || *value_size < kFixedSize) return std::nullopt;
    if (image_.U32(*at + kFixedAt) != kFixedInfoSignature) return std::nullopt;
    const auto high = image_.U32(*at + kFixedAt + 8);
    const auto low = image_.U32(*at + kFixedAt + 12);
    if (!high || !low) return std::nullopt;
    PeVersion v;
    v.file_version = std::to_string(*high >> 16) + "." + std::to_string(*high & 0xFFFF) + "." +
                     std::to_string(*low >> 16) + "." + std::to_string(*low & 0xFFFF);
    v.language = language;
    return v;
  }

  Image image_;
  uint32_t resource_base_ = 0;
  Section sections_[kMaxSections];
  size_t section_count_ = 0;
};

}  // namespace

std::optional<PeVersion> ReadPeVersion(std::string_view image) { return PeReader(image).Read(); }

}  // namespace Quellmar::packaging
