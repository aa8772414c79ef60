// Turns the text a host passes to Speak into the fragment list the runtime
// hands an engine: plain text as one speak fragment, or, for markup, the
// elements bookmark, silence, spell, rate, volume, pitch and pron applied
// the way the platform's speech markup defines them. Other elements become
// unknown-tag fragments; sapi, voice, emph, lang, partofsp and context only
// scope their content.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace Quellmar::sapirt {

enum class MarkupAction { Speak, Silence, Pronounce, Bookmark, SpellOut, Section, ParseUnknownTag };

struct MarkupFragment {
  MarkupAction action = MarkupAction::Speak;
  std::wstring text;       // decoded text; the mark of a bookmark; the tag of an unknown tag
  size_t source_offset = 0;  // where the text starts in the host's string
  int32_t rate = 0;          // relative rate adjustment, -10..10
  uint32_t volume = 100;     // 0..100
  int32_t pitch = 0;         // middle pitch adjustment, -10..10
  uint32_t silence_ms = 0;
  std::wstring phonemes;   // the sym attribute of a pron element
};

std::vector<MarkupFragment> PlainTextFragments(const std::wstring& text);
// Never fails: text that is not well formed is read as far as it makes sense
// (an unclosed '<' ends the markup and the rest is text).
std::vector<MarkupFragment> ParseSpeechMarkup(const std::wstring& text);

}  // namespace Quellmar::sapirt
