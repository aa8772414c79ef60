#include "engine_host/mulaw.h"

namespace Quellmar {
namespace {

constexpr std::array<int16_t, 256> MakeMuLawTable() {
  constexpr int kSegmentBase[8] = {0, 132, 396, 924, 1980, 4092, 8316, 16764};
  std::array<int16_t, 256> table{};
  for (int b = 0; b < 256; ++b) {
    const int u = ~b & 0xFF;
    const int e = (u >> 4) & 7;
    const int m = u & 0x0F;
    const int magnitude = (m << (e + 3)) + kSegmentBase[e];
    table[b] = static_cast<int16_t>((b & 0x80) ? magnitude : -magnitude);
  }
  return table;
}

constexpr std::array<int16_t, 256> kMuLaw = MakeMuLawTable();
static_assert(kMuLaw[0x80] == 32124 && kMuLaw[0x00] == -32124);
static_assert(kMuLaw[0xFF] == 0 && kMuLaw[0x7F] == 0);

}  // namespace

const std::array<int16_t, 256>& MuLawTable() { return kMuLaw; }

std::vector<int16_t> DecodeMuLaw(const unsigned char* bytes, size_t count) {
  std::vector<int16_t> out(count);
  for (size_t i = 0; i < count; ++i) out[i] = kMuLaw[bytes[i]];
  return out;
}

}  // namespace Quellmar
