// The arithmetic of the speak loop that does not need the platform: bookmark
// numbers, word boundaries, the prosody of one fragment and silence lengths.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace Quellmar::sapi {

// A bookmark text read as a signed decimal number: leading white space and
// a sign allowed, reading stops at the first non-digit; 0 when there is no
// digit. Saturates at the 32-bit limits, as the C library's reader does.
int32_t BookmarkNumber(std::wstring_view text);

struct Word {
  size_t start;
  size_t length;
};
// Maximal runs of letters, digits, apostrophes and hyphen-minus, in order.
std::vector<Word> FindWords(std::wstring_view text);

struct FragmentProsody {
  int32_t rate;     // -10..10
  int32_t pitch;    // -10..10
  uint32_t volume;  // 0..100
};
// The host's rate plus the fragment's, the fragment's pitch, both limited to
// -10..10; the host's volume times the fragment's in 32-bit unsigned
// arithmetic (it wraps), divided by 100, at most 100.
FragmentProsody ProsodyFor(long host_rate, unsigned short host_volume, long fragment_rate,
                           long fragment_pitch, unsigned long fragment_volume);

// Samples of 16-bit audio at 16 kHz for `milliseconds`.
inline uint64_t SilenceSamples(uint32_t milliseconds) {
  return uint64_t{milliseconds} * 16000 / 1000;
}

// A site write is at most this many bytes; silence is written from a buffer
// of at most this many samples.
inline constexpr uint32_t kSiteWriteBytes = 4096;
inline constexpr uint32_t kSilenceBufferSamples = 4096;

// Bytes a site reports as taken of a piece of `piece` bytes: 0 or more than
// the piece counts as the whole piece.
inline uint32_t BytesTaken(uint32_t reported, uint32_t piece) {
  return reported == 0 || reported > piece ? piece : reported;
}

// The event-interest tests: the published SPFEI() mask of the event (its own
// bit and the two flag-check bits 30 and 33) against the host's interest.
inline constexpr uint64_t kFlagCheckBits = (1ull << 30) | (1ull << 33);
inline constexpr uint64_t kSentenceMask = (1ull << 7) | kFlagCheckBits;
inline constexpr uint64_t kWordMask = (1ull << 5) | kFlagCheckBits;
inline bool WantsSentences(uint64_t interest) { return (interest & kSentenceMask) != 0; }
inline bool WantsWords(uint64_t interest) { return (interest & kWordMask) != 0; }

}  // namespace Quellmar::sapi
