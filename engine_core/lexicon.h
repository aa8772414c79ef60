// Words to phonemes: a small lexicon of common English words (mostly those
// the spelling rules get wrong, and the unstressed function words), then
// context-sensitive letter-to-sound rules with a stress rule for the rest.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "engine_core/phonemes.h"
#include "engine_core/text_front.h"

namespace Quellmar::engine_core {

struct Phone {
  Ph ph = Ph::SIL;
  uint8_t stress = 0;  // vowels: 0 unstressed, 1 primary, 2 secondary
};

struct Pronunciation {
  std::vector<Phone> phones;
  bool function_word = false;  // carries no pitch accent
};

Pronunciation Pronounce(const Word& word);

// Letter-to-sound rules alone (upper- or lower-case letters; other
// characters separate nothing and are skipped).
std::vector<Phone> LetterToSound(std::string_view letters);

// Parses "HH AX0 L OW1" into phones; false on an unknown name.
bool ParseArpabet(std::string_view text, std::vector<Phone>& out);

}  // namespace Quellmar::engine_core
