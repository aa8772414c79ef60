// The compiled user dictionary as the engine core reads it: the hash of a
// word's first three characters, the table it indexes and the byte escape of
// the data file. Shared by the compiler and the stand-in engine core.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace Quellmar::dictionary {

// userhash.tab indexes 60879 slots (0 .. 60878).
inline constexpr int32_t kHashSlots = 60879;
inline constexpr size_t kWorkingBufferBytes = 8704;
inline constexpr uint8_t kLongBucketMarker = 0x7C;  // "|"
inline constexpr uint8_t kShortEntryMarker = 0x00;
// Group lengths are written as two base-127 digits.
inline constexpr int kGroupLengthBase = 127;

inline constexpr char kDataFileName[] = "lexmere.fle";
inline constexpr char kHashFileName[] = "userhash.tab";
inline constexpr char kRangesFileName[] = "userhash.dvl";

// Code of one character in the hash: letters 14..39, digits 4..13,
// apostrophe 1, hyphen 2, full stop 3, anything else 0.
inline int HashCode(unsigned char c) {
  if (c >= 'A' && c <= 'Z') c = static_cast<unsigned char>(c + 32);
  if (c >= 'a' && c <= 'z') return c - 83;
  if (c >= '0' && c <= '9') return c - 44;
  if (c == '\'') return 1;
  if (c == '-') return 2;
  if (c == '.') return 3;
  return 0;
}

// The hash of a word from its first three characters (base 39, although
// codes reach 39: three z's give 60879, one past the table).
inline int32_t WordHash(std::string_view word) {
  auto code = [&](size_t k) { return HashCode(static_cast<unsigned char>(word[k])); };
  switch (word.size()) {
    case 0:
      return 0;
    case 1:
      return code(0);
    case 2:
      return code(0) * 39 + code(1);
    default:
      return code(0) * 1521 + code(1) * 39 + code(2);
  }
}

// Bytes 7, 8, 9, 10, 13, 26 and 32 are kept out of the length and code
// bytes by adding 130.
inline bool IsEscaped(int v) {
  return v == 7 || v == 8 || v == 9 || v == 10 || v == 13 || v == 26 || v == 32;
}
inline int Escape(int v) { return IsEscaped(v) ? v + 130 : v; }
inline int Unescape(int byte) { return byte >= 130 && IsEscaped(byte - 130) ? byte - 130 : byte; }
// Whether a value survives the escape as one byte that reads back as itself.
inline bool FitsEscapedByte(int v) { return v >= 0 && v <= 255 && Unescape(Escape(v)) == v; }

}  // namespace Quellmar::dictionary
