// The pronunciations of the twenty thousand most frequent English words
// (word_table.inc, made by make-word-table), said before the spelling rules
// are tried.
#pragma once

#include <string_view>
#include <vector>

#include "engine_core/lexicon.h"

namespace Quellmar::engine_core {

// Appends the word's phones (lower-case letters and apostrophes); false when
// the table does not hold it.
bool LookUpWordTable(std::string_view word, std::vector<Phone>& out);

}  // namespace Quellmar::engine_core
