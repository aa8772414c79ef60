#include "engine_core/prosody.h"

#include <algorithm>
#include <cmath>

namespace Quellmar::engine_core {
namespace {

// Scales every rule-derived duration: sets the speaking rate (about 175
// words a minute with the default pauses).
constexpr double kTempo = 0.8;

// Pitch of the voice (Hz): the declining base line and the accents on it.
constexpr float kBaseStart = 114.0f;
constexpr float kBaseEnd = 96.0f;
constexpr float kFirstAccent = 24.0f;
constexpr float kAccent = 16.0f;
constexpr float kFinalLow = 80.0f;
constexpr float kQuestionHigh = 150.0f;
// Each phrase of a sentence starts this much below the one before.
constexpr float kPhraseStep = 5.0f;
constexpr int kMaxPhraseSteps = 3;

bool IsVoicelessObstruent(Ph p) {
  return (Is(p, kStop | kFricative | kAffricate) && !IsVoiced(p)) || p == Ph::HH;
}
bool IsConsonant(Ph p) { return !IsVowel(p) && p != Ph::SIL && p != Ph::ASP; }

struct Work {
  Phone phone;
  int word = 0;
  bool function_word = false;
  bool word_final = false;
  bool last_syllable = false;  // at or after the word's last vowel
  bool polysyllabic = false;
  bool is_pause = false;
};

}  // namespace

PhrasePlan PlanPhrase(const std::vector<Pronunciation>& words, Break end, int word_pause_ms,
                      PhraseContext context) {
  PhrasePlan plan;
  std::vector<Work> w;
  // A phrase of function words alone ("of", "to me") has no other word to
  // carry its accent: its last word takes it, in its full form.
  size_t accent_word = words.size();
  bool all_function = true;
  for (size_t wi = 0; wi < words.size(); ++wi) {
    if (words[wi].phones.empty()) continue;
    all_function = all_function && words[wi].function_word;
    accent_word = wi;
  }
  if (!all_function) accent_word = words.size();
  for (size_t wi = 0; wi < words.size(); ++wi) {
    const auto& phones = words[wi].phones;
    if (phones.empty()) continue;
    if (!w.empty() && word_pause_ms > 0) {
      Work pause;
      pause.phone = {Ph::SIL, 0};
      pause.is_pause = true;
      pause.word = static_cast<int>(wi);
      w.push_back(pause);
    }
    int vowels = 0;
    size_t last_vowel = 0;
    for (size_t k = 0; k < phones.size(); ++k) {
      if (IsVowel(phones[k].ph)) {
        ++vowels;
        last_vowel = k;
      }
    }
    bool accent_pending = wi == accent_word;
    for (size_t k = 0; k < phones.size(); ++k) {
      Work x;
      x.phone = phones[k];
      x.word = static_cast<int>(wi);
      x.function_word = words[wi].function_word && wi != accent_word;
      if (accent_pending && IsVowel(x.phone.ph)) {
        if (x.phone.ph == Ph::AX) x.phone.ph = Ph::AH;
        x.phone.stress = 1;
        accent_pending = false;
      }
      x.word_final = k + 1 == phones.size();
      x.last_syllable = k >= last_vowel;
      x.polysyllabic = vowels >= 2;
      w.push_back(x);
    }
  }

  // American flaps ("water", "better"): T or D between a vowel and an
  // unstressed vowel of the same word.
  for (size_t i = 1; i + 1 < w.size(); ++i) {
    Ph p = w[i].phone.ph;
    if ((p == Ph::T || p == Ph::D) && IsVowel(w[i - 1].phone.ph) && IsVowel(w[i + 1].phone.ph) &&
        w[i + 1].phone.stress == 0 && w[i - 1].word == w[i + 1].word)
      w[i].phone.ph = Ph::DX;
  }

  // Aspiration after a released voiceless stop before a vowel or sonorant,
  // except after S ("spin", "stop").
  for (size_t i = 0; i + 1 < w.size(); ++i) {
    Ph p = w[i].phone.ph;
    if (p != Ph::P && p != Ph::T && p != Ph::K) continue;
    Ph next = w[i + 1].phone.ph;
    if (!(IsVowel(next) || Is(next, kSonorant))) continue;
    if (i > 0 && w[i - 1].phone.ph == Ph::S && w[i - 1].word == w[i].word) continue;
    Work asp = w[i];
    asp.phone = {Ph::ASP, 0};
    // Stressed onsets get the full aspiration, others a short one.
    asp.phone.stress = w[i + 1].phone.stress == 1 ? 1 : 0;
    w.insert(w.begin() + static_cast<long>(i) + 1, asp);
    ++i;
  }

  // The phrase's last vowel and what follows it are lengthened.
  size_t last_vowel = w.size();
  for (size_t i = w.size(); i-- > 0;) {
    if (IsVowel(w[i].phone.ph)) {
      last_vowel = i;
      break;
    }
  }

  plan.phones.reserve(w.size());
  for (size_t i = 0; i < w.size(); ++i) {
    const Work& x = w[i];
    TimedPhone t;
    t.ph = x.phone.ph;
    t.stress = x.phone.stress;
    t.word_final = x.word_final;
    t.phrase_final = last_vowel < w.size() && i >= last_vowel;
    if (x.is_pause) {
      t.samples = word_pause_ms * kSampleRate / 1000;
      plan.phones.push_back(t);
      continue;
    }
    const PhonemeInfo& info = Info(t.ph);
    double pct = 1.0;
    Ph next = i + 1 < w.size() ? w[i + 1].phone.ph : Ph::SIL;
    bool next_same_word = i + 1 < w.size() && w[i + 1].word == x.word && !w[i + 1].is_pause;
    if (IsVowel(t.ph)) {
      if (t.stress == 0) pct *= t.ph == Ph::AX ? 0.7 : 0.55;
      if (t.stress == 2) pct *= 0.8;
      if (x.function_word) pct *= 0.75;
      if (!x.last_syllable) pct *= 0.85;
      if (x.polysyllabic) pct *= 0.85;
      if (next_same_word && IsVoicelessObstruent(next)) pct *= 0.75;
      if (t.phrase_final) pct *= 1.35;
    } else if (t.ph == Ph::ASP) {
      pct = t.stress ? 1.0 : 0.5;
    } else {
      Ph prev = i > 0 ? w[i - 1].phone.ph : Ph::SIL;
      bool cluster = (next_same_word && IsConsonant(next)) ||
                     (i > 0 && w[i - 1].word == x.word && IsConsonant(prev));
      if (cluster) pct *= 0.75;
      if (x.function_word) pct *= 0.75;
      if (t.phrase_final) pct *= 1.25;
    }
    double ms = info.minimum_ms + (info.inherent_ms - info.minimum_ms) * pct;
    if (t.ph == Ph::ASP) ms = info.inherent_ms * pct;
    ms *= kTempo;
    t.samples = std::max(8, static_cast<int>(std::lround(ms * kSampleRate / 1000.0)));
    plan.phones.push_back(t);
  }

  int total = 0;
  for (const auto& t : plan.phones) total += t.samples;
  plan.total_samples = total;

  // Pitch: a declining base line, a rise-fall on the stressed vowel of each
  // content word, and the phrase's ending.
  const float lower = kPhraseStep * static_cast<float>(std::min(context.index, kMaxPhraseSteps));
  auto base = [&](int s) {
    double f = total > 0 ? static_cast<double>(s) / total : 0.0;
    return static_cast<float>(kBaseStart + (kBaseEnd - kBaseStart) * f) - lower;
  };
  if (end == Break::kQuestion && context.wh_question) end = Break::kSentence;
  plan.pitch.push_back({0, base(0) + 4.0f});
  int pos = 0;
  int accents = 0;
  int last_vowel_start = -1, last_vowel_len = 0;
  for (size_t i = 0; i < plan.phones.size(); ++i) {
    const TimedPhone& t = plan.phones[i];
    if (IsVowel(t.ph)) {
      last_vowel_start = pos;
      last_vowel_len = t.samples;
      bool accented = t.stress == 1 && !w[i].function_word;
      if (accented && !t.phrase_final) {
        float a = accents == 0 ? kFirstAccent : kAccent;
        ++accents;
        plan.pitch.push_back({pos, base(pos) + 0.3f * a});
        plan.pitch.push_back({pos + t.samples * 2 / 5, base(pos) + a});
        plan.pitch.push_back({pos + t.samples, base(pos) + 0.45f * a});
      }
    }
    pos += t.samples;
  }
  if (last_vowel_start >= 0) {
    int s = last_vowel_start, n = last_vowel_len;
    float b = base(s);
    switch (end) {
      case Break::kSentence:
      case Break::kExclaim:
        plan.pitch.push_back({s, b + (end == Break::kExclaim ? 22.0f : 12.0f)});
        plan.pitch.push_back({s + n, kFinalLow});
        plan.pitch.push_back({total, kFinalLow - 2.0f});
        break;
      case Break::kQuestion:
        plan.pitch.push_back({s, b});
        plan.pitch.push_back({s + n, kQuestionHigh});
        plan.pitch.push_back({total, kQuestionHigh});
        break;
      default:  // the phrase goes on: a small continuation rise
        plan.pitch.push_back({s, b});
        plan.pitch.push_back({s + n, b + 10.0f});
        plan.pitch.push_back({total, b + 10.0f});
        break;
    }
  } else {
    plan.pitch.push_back({total, base(total)});
  }
  std::stable_sort(plan.pitch.begin(), plan.pitch.end(),
                   [](const PitchPoint& a, const PitchPoint& b) { return a.sample < b.sample; });
  return plan;
}

}  // namespace Quellmar::engine_core
