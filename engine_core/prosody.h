// Prosody of one phrase: the phones with their durations (in samples at
// 8000 Hz) and the pitch contour, from the words' pronunciations and what
// ends the phrase. A phrase starts and ends in silence; the engine's pauses
// go between phrases.
#pragma once

#include <cstdint>
#include <vector>

#include "engine_core/lexicon.h"
#include "engine_core/text_front.h"

namespace Quellmar::engine_core {

inline constexpr int kSampleRate = 8000;

struct TimedPhone {
  Ph ph = Ph::SIL;
  uint8_t stress = 0;
  bool word_final = false;    // last phone of its word
  bool phrase_final = false;  // in the coda of the phrase's last syllable
  int samples = 0;
};

struct PitchPoint {
  int sample = 0;
  float hz = 0;
};

struct PhrasePlan {
  std::vector<TimedPhone> phones;
  std::vector<PitchPoint> pitch;  // ascending in time
  int total_samples = 0;
};

// Where the phrase stands in its sentence: later phrases start lower (the
// sentence's declination), and a question that opens with a question word
// ("where", "how") falls at its end as a statement does; others rise.
struct PhraseContext {
  int index = 0;
  bool wh_question = false;
};

// word_pause_ms: silence between words (the engine's fourth pause).
PhrasePlan PlanPhrase(const std::vector<Pronunciation>& words, Break end, int word_pause_ms,
                      PhraseContext context = {});

}  // namespace Quellmar::engine_core
