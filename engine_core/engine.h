// The portable heart of the stand-in engine core: one synthesis of a text,
// delivered one sentence (or phrase) at a time as 8000 Hz mu-law, and the
// dictionary editor's word and transcription renderings into wave files.
// The library entry points (qmcore.cpp) are thin wrappers around this.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine_core/lexicon.h"
#include "engine_core/text_front.h"

namespace Quellmar::engine_core {

// Engine statuses the core reports.
namespace status {
inline constexpr int32_t kOk = 0;
inline constexpr int32_t kNoMoreSpeech = 1;
inline constexpr int32_t kNullArgument = 2700;
inline constexpr int32_t kNullInput = 2830;
inline constexpr int32_t kNullOutput = 2850;
inline constexpr int32_t kNothingSpeakable = 2870;
inline constexpr int32_t kOutOfMemory = 2900;
inline constexpr int32_t kNullBlock = 3000;
}  // namespace status

// The engine's four pauses in ms: after a sentence, at a semicolon or
// colon, at a comma, between words.
struct Pauses {
  std::array<int32_t, 4> ms = {650, 500, 350, 7};
};
inline constexpr int32_t kMaxPauseMs = 30000;  // longer values are spoken as this

inline constexpr const char* kVersionText = "Quellmar 3.x stand-in engine core 1.0 (8 kHz mu-law, Oskel)";

class Synthesis {
 public:
  // Takes a copy of the text and the pauses of this synthesis.
  // kOk, or kNothingSpeakable when the text holds nothing to say.
  int32_t Start(std::string_view text, const Pauses& pauses);
  // Whether tags in the text are obeyed; read when the first segment is made.
  void SetTags(bool on) { tags_ = on; }
  // The user dictionary this synthesis honours (none: the core's own rules
  // for every word); read when the first segment is made.
  void SetUserDictionary(std::shared_ptr<const WordLookup> user) { user_ = std::move(user); }
  // True also when the text could not be prepared for want of memory: the
  // next NextSegment then throws std::bad_alloc again (the caller's failure).
  bool SegmentAvailable();
  // Writes the next segment, at most `capacity` bytes of it (the rest comes
  // with the next call): kOk with *count set, or kNoMoreSpeech.
  int32_t NextSegment(uint8_t* out, uint32_t capacity, uint32_t* count);

 private:
  void Prepare();
  void RenderSentence(const Sentence& sentence);

  std::string text_;
  Pauses pauses_;
  bool tags_ = false;
  std::shared_ptr<const WordLookup> user_;
  bool prepared_ = false;
  std::vector<Sentence> sentences_;
  size_t next_sentence_ = 0;
  std::vector<uint8_t> pending_;
  size_t pending_pos_ = 0;
};

// The whole text as mu-law bytes (all segments joined).
std::vector<uint8_t> SynthesizeAll(std::string_view text, const Pauses& pauses, bool tags,
                                   std::shared_ptr<const WordLookup> user = nullptr);

// The 46-byte header of the editor's wave files: RIFF/WAVE with an 18-byte
// "fmt " chunk (format 7 mu-law, mono, 8000 Hz, 8 bits) and the "data" chunk.
inline constexpr size_t kWaveHeaderBytes = 46;
std::array<uint8_t, kWaveHeaderBytes> MuLawWaveHeader(uint32_t data_bytes);
// kOk, or kNullOutput when the file cannot be written.
int32_t WriteMuLawWave(const char* path, const std::vector<uint8_t>& samples);

// Decodes an encoded phonetic transcription (the editor's encoding of its
// notation) into phones; unknown characters are skipped.
std::vector<Phone> DecodePhonetic(std::string_view encoded);
// The editor's 220-byte buffer: a NUL-terminated text of the phones.
inline constexpr size_t kPhonSylBytes = 220;
void EncodePhonSyl(const std::vector<Phone>& phones, char* out, size_t capacity);
std::vector<Phone> DecodePhonSyl(const char* buffer, size_t capacity);
// Speaks phones as one word, as mu-law bytes.
std::vector<uint8_t> SpeakPhones(const std::vector<Phone>& phones);

}  // namespace Quellmar::engine_core
