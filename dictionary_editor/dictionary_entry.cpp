#include "dictionary_editor/dictionary_entry.h"

namespace Quellmar::dictionary {

const std::array<SoundSymbol, 24> kVowels = {{
    {"a", "pAt, lAd", "a1.wav"},        {"a~", "sAy, plAne", "a2.wav"},
    {"a|", "ARt, pARt", "a3.wav"},      {"au", "hOW, crOWn", "a4.wav"},
    {"a^", "OUR, pOWER", "a5.wav"},     {"e", "Egg, pEt", "e1.wav"},
    {"e'", "pOtato,Ago", "e2.wav"},     {"e~", "sEE, drEAm", "e3.wav"},
    {"e^", "hAIR, prAYER", "e4.wav"},   {"i", "It, pIn", "i1.wav"},
    {"i'", "A, thE", "i2.wav"},         {"i|", "EAR, clEAR", "i3.wav"},
    {"i~", "I, sIgn", "i4.wav"},        {"i^", "IRE, bUYER", "i5.wav"},
    {"o", "pAlm, Alms", "o1.wav"},      {"o~", "OAts, bOAt", "o2.wav"},
    {"o'", "All, pAUse", "o3.wav"},     {"oi", "bOY, enjOY", "o4.wav"},
    {"o|", "OR, dOOR", "o5.wav"},       {"u", "bUt, sofA", "u1.wav"},
    {"u~", "yOU, tUne", "u2.wav"},      {"u'", "pUt, bOOk", "u3.wav"},
    {"u|", "hER, fathER", "u4.wav"},    {"u^", "yOUR, sEWER", "u5.wav"},
}};

const std::array<SoundSymbol, 24> kConsonants = {{
    {"b", "Boy", "b.wav"},              {"c~", "CHild, eaCH", "c.wav"},
    {"d", "Dig, biD", "d.wav"},         {"f", "Face, iF", "f.wav"},
    {"g", "Give, leG", "g.wav"},        {"h", "House, High", "h.wav"},
    {"j", "Joy, leDGE", "j.wav"},       {"k", "Call, piCK", "k.wav"},
    {"l", "Let, seLL", "l.wav"},        {"m", "Man, hiM", "m.wav"},
    {"n", "Name, oN", "n1.wav"},        {"n~", "siNG", "n2.wav"},
    {"p", "Put, stoP", "p.wav"},        {"r", "Run, Read", "r.wav"},
    {"s", "Son, paSS", "s1.wav"},       {"s~", "SHall, wiSH", "s2.wav"},
    {"t'", "THink, boTH", "t1.wav"},    {"t", "Time, aT", "t2.wav"},
    {"t~", "THe, wiTH", "t3.wav"},      {"v", "Very, serVe", "v.wav"},
    {"w", "Win, Went", "w.wav"},        {"y", "Yes, You", "y.wav"},
    {"z", "Zoo, iS", "z1.wav"},         {"z~", "aSia, beiGE", "z2.wav"},
}};

const std::array<SoundSymbol, 2> kAccentMarks = {{
    {"/", "Primary", nullptr},
    {"\\", "Secondary", nullptr},
}};

const PartOfSpeech& PartOfSpeechOfCode(std::string_view code) {
  for (const PartOfSpeech& p : kPartsOfSpeech) {
    if (code == p.code) return p;
  }
  return kPartsOfSpeech[0];
}

const char* CodeOfPartOfSpeech(std::string_view name) {
  for (const PartOfSpeech& p : kPartsOfSpeech) {
    if (name == p.name) return p.code;
  }
  return nullptr;
}

std::string SymbolRow(const SoundSymbol& s) { return std::string(s.symbol) + '\t' + s.examples; }

}  // namespace Quellmar::dictionary
