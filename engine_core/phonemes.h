// The phoneme inventory of the stand-in engine core: sixteen vowels and
// twenty-four consonants of American English, with the acoustic targets the
// formant synthesiser steers towards. The r-coloured vowels of the dictionary
// notation ("ARt", "hAIR", "OR", ...) are spoken as a vowel followed by R.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace Quellmar::engine_core {

enum class Ph : uint8_t {
  // Vowels.
  AA, AE, AH, AO, AW, AX, AY, EH, ER, EY, IH, IY, OW, OY, UH, UW,
  // Consonants.
  B, CH, D, DH, F, G, HH, JH, K, L, M, N, NG, P, R, S, SH, T, TH, V, W, Y, Z, ZH,
  // Not sounds of the language: the aspiration after a voiceless stop, the
  // short voiced tap of "water", and silence.
  ASP, DX, SIL,
  Count
};

inline constexpr int kPhonemeCount = static_cast<int>(Ph::Count);

enum PhClass : uint8_t {
  kVowel = 1 << 0,
  kDiphthong = 1 << 1,
  kSonorant = 1 << 2,   // liquids and glides
  kNasal = 1 << 3,
  kStop = 1 << 4,
  kFricative = 1 << 5,
  kAffricate = 1 << 6,
  kVoiced = 1 << 7,
};

// One resonance of the frication branch (frequency and bandwidth in Hz,
// linear amplitude).
struct FricPole {
  uint16_t f = 0;
  uint16_t bw = 0;
  float amp = 0;
};

struct PhonemeInfo {
  const char* name;      // ARPAbet spelling
  uint8_t cls;           // PhClass bits
  uint16_t inherent_ms;  // duration in stressed, non-final position
  uint16_t minimum_ms;   // duration no rule shortens it beyond
  uint16_t f[3];         // F1..F3 targets (start of a diphthong)
  uint16_t f_end[3];     // F1..F3 at the end of a diphthong (same as f otherwise)
  uint16_t bw[3];        // B1..B3
  float av;              // voicing amplitude
  float ah;              // aspiration amplitude (through the vocal tract)
  FricPole fric[2];      // frication resonances
  float bypass;          // flat frication
  float burst;           // burst strength of a stop or affricate
  uint16_t burst_ms;     // burst length
};

const PhonemeInfo& Info(Ph p);
inline bool Is(Ph p, uint8_t cls) { return (Info(p).cls & cls) != 0; }
inline bool IsVowel(Ph p) { return Is(p, kVowel); }
inline bool IsVoiced(Ph p) { return Is(p, kVoiced); }

// ARPAbet name to phoneme ("AA" .. "ZH"); nullopt for anything else.
std::optional<Ph> PhonemeByName(std::string_view name);

}  // namespace Quellmar::engine_core
