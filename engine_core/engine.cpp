#include "engine_core/engine.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>

#include "engine_core/formant_synth.h"
#include "engine_core/mulaw.h"
#include "engine_core/prosody.h"

namespace Quellmar::engine_core {
namespace {

// Every sentence starts its noise generator here, so a sentence sounds the
// same wherever it stands.
constexpr uint32_t kNoiseSeed = 0x2545F491u;

int32_t PauseSamples(int32_t ms) {
  ms = std::clamp<int32_t>(ms, 0, kMaxPauseMs);
  return ms * (kSampleRate / 1000);
}

int32_t PauseAfter(Break b, const Pauses& p) {
  switch (b) {
    case Break::kSentence:
    case Break::kQuestion:
    case Break::kExclaim:
      return p.ms[0];
    case Break::kClause:
      return p.ms[1];
    case Break::kComma:
      return p.ms[2];
    case Break::kWord:
      return p.ms[3];
    case Break::kNone:
      return 0;
  }
  return 0;
}

void AppendMuLaw(const std::vector<int16_t>& pcm, std::vector<uint8_t>& out) {
  out.reserve(out.size() + pcm.size());
  for (int16_t s : pcm) out.push_back(LinearToMuLaw(s));
}

void PutU32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
void PutU16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}

// A word of the user dictionary is said as the user's transcription; one
// that holds no sound at all falls back to the core's own rules.
Pronunciation PronounceWord(const Word& w) {
  if (!w.phonetic.empty()) {
    Pronunciation p;
    p.phones = DecodePhonetic(w.phonetic);
    if (!p.phones.empty()) return p;
  }
  return Pronounce(w);
}

bool OpensWithQuestionWord(const Sentence& sentence) {
  static const char* const kWords[] = {"what",  "where", "when", "who", "whom",
                                       "whose", "which", "why",  "how"};
  if (sentence.phrases.empty() || sentence.phrases.front().words.empty()) return false;
  const std::string& first = sentence.phrases.front().words.front().text;
  for (const char* w : kWords) {
    if (first == w || first.rfind(std::string(w) + "'", 0) == 0) return true;
  }
  return false;
}

// Encoding of the editor's buffer: "QMPS:" then one character per phone
// ('A' + phoneme number), a vowel followed by '1' or '2' when stressed.
constexpr char kPhonSylMagic[] = "QMPS:";

}  // namespace

int32_t Synthesis::Start(std::string_view text, const Pauses& pauses) {
  if (!HasSpeech(text)) return status::kNothingSpeakable;
  text_.assign(text);
  pauses_ = pauses;
  return status::kOk;
}

void Synthesis::Prepare() {
  if (prepared_) return;
  sentences_ = Normalize(text_, tags_, user_.get());
  prepared_ = true;  // only once it worked: a failure is tried (and reported) again
  std::string().swap(text_);
}

bool Synthesis::SegmentAvailable() {
  try {
    Prepare();
  } catch (const std::bad_alloc&) {
    // There is speech we could not prepare: the next segment reports why,
    // rather than this synthesis passing for an empty success.
    return true;
  }
  return pending_pos_ < pending_.size() || next_sentence_ < sentences_.size();
}

void Synthesis::RenderSentence(const Sentence& sentence) {
  pending_.clear();
  pending_pos_ = 0;
  std::vector<int16_t> pcm;
  uint32_t noise = kNoiseSeed;
  PhraseContext context;
  context.wh_question = OpensWithQuestionWord(sentence);
  for (const Phrase& phrase : sentence.phrases) {
    std::vector<Pronunciation> words;
    words.reserve(phrase.words.size());
    for (const Word& w : phrase.words) words.push_back(PronounceWord(w));
    PhrasePlan plan =
        PlanPhrase(words, phrase.end, std::clamp<int32_t>(pauses_.ms[3], 0, kMaxPauseMs), context);
    ++context.index;
    pcm.clear();
    RenderPhrase(plan, noise, pcm);
    AppendMuLaw(pcm, pending_);
    pending_.insert(pending_.end(), static_cast<size_t>(PauseSamples(PauseAfter(phrase.end, pauses_))),
                    kMuLawSilence);
  }
}

int32_t Synthesis::NextSegment(uint8_t* out, uint32_t capacity, uint32_t* count) {
  *count = 0;
  Prepare();
  while (pending_pos_ >= pending_.size()) {
    if (next_sentence_ >= sentences_.size()) {
      std::vector<uint8_t>().swap(pending_);
      pending_pos_ = 0;
      return status::kNoMoreSpeech;
    }
    RenderSentence(sentences_[next_sentence_]);
    // A rendered sentence is never needed again.
    sentences_[next_sentence_] = Sentence{};
    ++next_sentence_;
  }
  size_t n = std::min<size_t>(capacity, pending_.size() - pending_pos_);
  std::memcpy(out, pending_.data() + pending_pos_, n);
  pending_pos_ += n;
  *count = static_cast<uint32_t>(n);
  return status::kOk;
}

std::vector<uint8_t> SynthesizeAll(std::string_view text, const Pauses& pauses, bool tags,
                                   std::shared_ptr<const WordLookup> user) {
  std::vector<uint8_t> all;
  Synthesis s;
  if (s.Start(text, pauses) != status::kOk) return all;
  s.SetTags(tags);
  s.SetUserDictionary(std::move(user));
  std::vector<uint8_t> buf(1 << 20);
  uint32_t count = 0;
  while (s.SegmentAvailable() && s.NextSegment(buf.data(), static_cast<uint32_t>(buf.size()), &count) == status::kOk)
    all.insert(all.end(), buf.begin(), buf.begin() + count);
  return all;
}

std::array<uint8_t, kWaveHeaderBytes> MuLawWaveHeader(uint32_t data_bytes) {
  std::array<uint8_t, kWaveHeaderBytes> h{};
  std::memcpy(&h[0], "RIFF", 4);
  PutU32(&h[4], data_bytes + 38);
  std::memcpy(&h[8], "WAVEfmt ", 8);
  PutU32(&h[16], 18);
  PutU16(&h[20], 7);     // mu-law
  PutU16(&h[22], 1);     // mono
  PutU32(&h[24], kSampleRate);
  PutU32(&h[28], kSampleRate);  // bytes per second
  PutU16(&h[32], 1);     // block align
  PutU16(&h[34], 8);     // bits per sample
  PutU16(&h[36], 0);     // extension size
  std::memcpy(&h[38], "data", 4);
  PutU32(&h[42], data_bytes);
  return h;
}

int32_t WriteMuLawWave(const char* path, const std::vector<uint8_t>& samples) {
  if (path == nullptr || *path == '\0') return status::kNullOutput;
  std::FILE* f = std::fopen(path, "wb");
  if (f == nullptr) return status::kNullOutput;
  auto header = MuLawWaveHeader(static_cast<uint32_t>(samples.size()));
  bool ok = std::fwrite(header.data(), 1, header.size(), f) == header.size();
  if (ok && !samples.empty()) ok = std::fwrite(samples.data(), 1, samples.size(), f) == samples.size();
  if (std::fclose(f) != 0) ok = false;
  return ok ? status::kOk : status::kNullOutput;
}

std::vector<Phone> DecodePhonetic(std::string_view enc) {
  std::vector<Phone> out;
  std::vector<size_t> vowel_index;
  auto at = [&](size_t k) -> char {
    if (k >= enc.size()) return '\0';
    char c = enc[k];
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
  };
  auto stress_after = [&](size_t k) -> uint8_t {
    char m = at(k);
    if (m == '%' || m == '*') return 1;  // '/' only closes a syllable
    if (m == '(' || m == '\\') return 2;
    return 0;
  };
  size_t i = 0;
  bool any_stress = false;
  auto vowel = [&](std::initializer_list<Ph> phs, size_t next) {
    uint8_t st = stress_after(next);
    if (st) any_stress = true;
    bool first = true;
    for (Ph p : phs) {
      if (first) vowel_index.push_back(out.size());
      out.push_back({p, static_cast<uint8_t>(first ? st : 0)});
      first = false;
    }
  };
  while (i < enc.size()) {
    char c = at(i), d = at(i + 1);
    bool mark = d == '~' || d == '|' || d == '^' || d == '\'';
    switch (c) {
      case 'a':
        if (d == 'u') { vowel({Ph::AW}, i + 2); i += 2; break; }
        if (d == '~') { vowel({Ph::EY}, i + 2); i += 2; break; }
        if (d == '|') { vowel({Ph::AA, Ph::R}, i + 2); i += 2; break; }
        if (d == '^') { vowel({Ph::AW, Ph::ER}, i + 2); i += 2; break; }
        vowel({Ph::AE}, i + 1);
        i += 1;
        break;
      case 'e':
        if (d == '\'') { vowel({Ph::AX}, i + 2); i += 2; break; }
        if (d == '~') { vowel({Ph::IY}, i + 2); i += 2; break; }
        if (d == '^') { vowel({Ph::EH, Ph::R}, i + 2); i += 2; break; }
        vowel({Ph::EH}, i + 1);
        i += mark ? 2 : 1;
        break;
      case 'i':
        if (d == '\'') { vowel({Ph::AX}, i + 2); i += 2; break; }
        if (d == '|') { vowel({Ph::IH, Ph::R}, i + 2); i += 2; break; }
        if (d == '~') { vowel({Ph::AY}, i + 2); i += 2; break; }
        if (d == '^') { vowel({Ph::AY, Ph::ER}, i + 2); i += 2; break; }
        vowel({Ph::IH}, i + 1);
        i += 1;
        break;
      case 'o':
        if (d == 'i') { vowel({Ph::OY}, i + 2); i += 2; break; }
        if (d == '~') { vowel({Ph::OW}, i + 2); i += 2; break; }
        if (d == '\'') { vowel({Ph::AO}, i + 2); i += 2; break; }
        if (d == '|') { vowel({Ph::AO, Ph::R}, i + 2); i += 2; break; }
        vowel({Ph::AA}, i + 1);
        i += mark ? 2 : 1;
        break;
      case 'u':
        if (d == '~') { vowel({Ph::UW}, i + 2); i += 2; break; }
        if (d == '\'') { vowel({Ph::UH}, i + 2); i += 2; break; }
        if (d == '|') { vowel({Ph::ER}, i + 2); i += 2; break; }
        if (d == '^') { vowel({Ph::UH, Ph::R}, i + 2); i += 2; break; }
        vowel({Ph::AH}, i + 1);
        i += 1;
        break;
      default: {
        Ph p = Ph::SIL;
        bool two = false;
        switch (c) {
          case 'b': p = Ph::B; break;
          case 'c': p = d == '~' ? Ph::CH : Ph::K; two = d == '~'; break;
          case 'd': p = Ph::D; break;
          case 'f': p = Ph::F; break;
          case 'g': p = Ph::G; break;
          case 'h': p = Ph::HH; break;
          case 'j': p = Ph::JH; break;
          case 'k': case 'q': p = Ph::K; break;
          case 'l': case 'm': case 'n':
            if (d == '\'') {  // syllabic consonant
              vowel_index.push_back(out.size());
              out.push_back({Ph::AX, 0});
              p = c == 'l' ? Ph::L : c == 'm' ? Ph::M : Ph::N;
              two = true;
            } else if (c == 'n' && d == '~') {
              p = Ph::NG;
              two = true;
            } else {
              p = c == 'l' ? Ph::L : c == 'm' ? Ph::M : Ph::N;
            }
            break;
          case 'p': p = Ph::P; break;
          case 'r': p = Ph::R; break;
          case 's': p = d == '~' ? Ph::SH : Ph::S; two = d == '~'; break;
          case 't':
            if (d == '\'') { p = Ph::TH; two = true; }
            else if (d == '~') { p = Ph::DH; two = true; }
            else { p = Ph::T; }
            break;
          case 'v': p = Ph::V; break;
          case 'w': p = Ph::W; break;
          case 'x': out.push_back({Ph::K, 0}); p = Ph::S; break;
          case 'y': p = Ph::Y; break;
          case 'z': p = d == '~' ? Ph::ZH : Ph::Z; two = d == '~'; break;
          default: break;
        }
        if (p != Ph::SIL) out.push_back({p, 0});
        i += two ? 2 : 1;
        break;
      }
    }
  }
  if (!any_stress && !vowel_index.empty()) out[vowel_index.front()].stress = 1;
  return out;
}

void EncodePhonSyl(const std::vector<Phone>& phones, char* out, size_t capacity) {
  if (capacity == 0) return;
  size_t n = 0;
  auto put = [&](char c) {
    if (n + 1 < capacity) out[n++] = c;
  };
  for (const char* m = kPhonSylMagic; *m; ++m) put(*m);
  for (const Phone& p : phones) {
    if (n + 3 > capacity) break;  // never a phone without its stress
    put(static_cast<char>('A' + static_cast<int>(p.ph)));
    if (IsVowel(p.ph) && p.stress) put(static_cast<char>('0' + p.stress));
  }
  out[n] = '\0';
}

std::vector<Phone> DecodePhonSyl(const char* buffer, size_t capacity) {
  std::vector<Phone> out;
  if (buffer == nullptr) return out;
  size_t len = 0;
  while (len < capacity && buffer[len] != '\0') ++len;
  std::string_view s(buffer, len);
  size_t magic = std::strlen(kPhonSylMagic);
  if (s.substr(0, magic) != kPhonSylMagic) return out;
  for (size_t i = magic; i < s.size(); ++i) {
    int code = s[i] - 'A';
    if (code < 0 || code >= static_cast<int>(Ph::ASP)) continue;
    Phone p{static_cast<Ph>(code), 0};
    if (i + 1 < s.size() && (s[i + 1] == '1' || s[i + 1] == '2')) p.stress = static_cast<uint8_t>(s[++i] - '0');
    out.push_back(p);
  }
  return out;
}

std::vector<uint8_t> SpeakPhones(const std::vector<Phone>& phones) {
  std::vector<uint8_t> out;
  if (phones.empty()) return out;
  Pronunciation word;
  word.phones = phones;
  PhrasePlan plan = PlanPhrase({word}, Break::kSentence, 0);
  std::vector<int16_t> pcm;
  uint32_t noise = kNoiseSeed;
  RenderPhrase(plan, noise, pcm);
  AppendMuLaw(pcm, out);
  return out;
}

}  // namespace Quellmar::engine_core
