// The stand-in engine core's speech, measured from its samples.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "common/wav.h"
#include "engine_core/engine.h"
#include "engine_core/mulaw.h"
#include "engine_core/prosody.h"
#include "testing/alloc_failure.h"
#include "testing/test_env.h"

namespace Quellmar::engine_core {
namespace {

constexpr const char* kPangram = "The quick brown fox jumps over the lazy dog.";
constexpr const char* kParagraph =
    "The weather today will be mostly sunny, with a high of seventy two degrees. "
    "Later this evening, clouds will move in from the west; there is a chance of rain "
    "after midnight. Tomorrow morning should be cool and clear. Please remember to take "
    "an umbrella if you are going out late tonight, and drive carefully on the wet roads.";

std::vector<double> Linear(const std::vector<uint8_t>& ulaw) {
  std::vector<double> x(ulaw.size());
  for (size_t i = 0; i < ulaw.size(); ++i) x[i] = MuLawToLinear(ulaw[i]);
  return x;
}

// 16-bit WAV for listening (build/artefacts).
void SaveWav(const std::string& name, const std::vector<uint8_t>& ulaw) {
  std::vector<int16_t> samples(ulaw.size());
  for (size_t i = 0; i < ulaw.size(); ++i) samples[i] = MuLawToLinear(ulaw[i]);
  std::vector<uint8_t> file = PcmWavFile(8000, samples);
  std::ofstream f(testing::ArtefactsDir() / name, std::ios::binary);
  f.write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
}

// Median fundamental frequency of the voiced 40 ms frames, by
// autocorrelation over 60..300 Hz.
double MedianF0(const std::vector<double>& x) {
  const int frame = 320, min_lag = 8000 / 300, max_lag = 8000 / 60;
  double peak = 0;
  for (double v : x) peak = std::max(peak, std::fabs(v));
  std::vector<double> f0s;
  for (size_t start = 0; start + frame + max_lag < x.size(); start += frame / 2) {
    double energy = 0;
    for (int i = 0; i < frame; ++i) energy += x[start + i] * x[start + i];
    if (std::sqrt(energy / frame) < peak * 0.08) continue;
    double best = 0;
    int best_lag = 0;
    for (int lag = min_lag; lag <= max_lag; ++lag) {
      double r = 0, e1 = 0, e2 = 0;
      for (int i = 0; i < frame; ++i) {
        r += x[start + i] * x[start + i + lag];
        e1 += x[start + i] * x[start + i];
        e2 += x[start + i + lag] * x[start + i + lag];
      }
      double n = r / std::sqrt(e1 * e2 + 1e-9);
      if (n > best) {
        best = n;
        best_lag = lag;
      }
    }
    if (best > 0.6) f0s.push_back(8000.0 / best_lag);
  }
  if (f0s.empty()) return 0;
  std::sort(f0s.begin(), f0s.end());
  return f0s[f0s.size() / 2];
}

// Longest run of near-silent samples, in ms.
double LongestSilenceMs(const std::vector<uint8_t>& ulaw) {
  size_t best = 0, run = 0;
  for (uint8_t b : ulaw) {
    run = std::abs(MuLawToLinear(b)) < 64 ? run + 1 : 0;
    best = std::max(best, run);
  }
  return best / 8.0;
}

std::vector<std::vector<uint8_t>> Segments(std::string_view text, bool tags, uint32_t capacity,
                                           const Pauses& pauses = {}) {
  std::vector<std::vector<uint8_t>> out;
  Synthesis s;
  if (s.Start(text, pauses) != status::kOk) return out;
  s.SetTags(tags);
  std::vector<uint8_t> buf(capacity);
  uint32_t count = 0;
  while (s.SegmentAvailable()) {
    EXPECT_EQ(s.NextSegment(buf.data(), capacity, &count), status::kOk);
    EXPECT_LE(count, capacity);
    out.emplace_back(buf.begin(), buf.begin() + count);
  }
  EXPECT_EQ(s.NextSegment(buf.data(), capacity, &count), status::kNoMoreSpeech);
  EXPECT_EQ(count, 0u);
  return out;
}

TEST(Synth, PangramLastsTwoToFourSecondsAtAMaleVoicesPitch) {
  std::vector<uint8_t> audio = SynthesizeAll(kPangram, Pauses{}, false);
  SaveWav("engine_core_pangram.wav", audio);
  double seconds = audio.size() / 8000.0;
  EXPECT_GE(seconds, 2.0);
  EXPECT_LE(seconds, 4.0);
  double f0 = MedianF0(Linear(audio));
  std::printf("pangram: %.2f s, median F0 %.1f Hz\n", seconds, f0);
  EXPECT_GE(f0, 85.0);
  EXPECT_LE(f0, 140.0);
  // Loud enough to hear, never at the clipping limit for long.
  double peak = 0;
  for (double v : Linear(audio)) peak = std::max(peak, std::fabs(v));
  EXPECT_GT(peak, 8000.0);
}

TEST(Synth, ParagraphIsSpokenAtAbout175WordsAMinute) {
  std::vector<uint8_t> audio = SynthesizeAll(kParagraph, Pauses{}, false);
  SaveWav("engine_core_paragraph.wav", audio);
  int words = 0;
  for (const Sentence& s : Normalize(kParagraph, false))
    for (const Phrase& p : s.phrases) words += static_cast<int>(p.words.size());
  double wpm = words / (audio.size() / 8000.0 / 60.0);
  std::printf("paragraph: %d words in %.2f s, %.0f words a minute\n", words, audio.size() / 8000.0, wpm);
  EXPECT_GT(wpm, 150.0);
  EXPECT_LT(wpm, 200.0);
}

// A yes-no question ends high; a statement, and a question that opens with
// a question word, end low.
TEST(Synth, SentencesFallAtTheirEndAndYesNoQuestionsRise) {
  struct Case {
    const char* text;
    bool rises;
  } cases[] = {
      {"Is it going to rain tomorrow?", true},  {"Did you lock the front door?", true},
      {"Where is the nearest station?", false}, {"How much does this cost?", false},
      {"It is going to rain tomorrow.", false},
  };
  for (const Case& c : cases) {
    std::vector<double> x = Linear(SynthesizeAll(c.text, Pauses{}, false));
    double whole = MedianF0(x);
    // The pitch of the last 60 ms loud enough to be a vowel.
    double peak = 0;
    for (double v : x) peak = std::max(peak, std::fabs(v));
    double end = 0;
    for (size_t at = x.size(); end == 0 && at > 480; at -= 160) {
      std::vector<double> slice(x.begin() + at - 480, x.begin() + at);
      double energy = 0;
      for (double v : slice) energy += v * v;
      if (std::sqrt(energy / slice.size()) > peak * 0.12) end = MedianF0(slice);
    }
    std::printf("%s median %.0f Hz, end %.0f Hz\n", c.text, whole, end);
    if (c.rises) {
      EXPECT_GT(end, whole * 1.12) << c.text;
    } else {
      EXPECT_LT(end, whole * 0.92) << c.text;
    }
  }
}

// A phrase of function words alone ("Of.", "To me?") is no mumble: its last
// word keeps a full, stressed vowel, longer than the same word's before a
// content word.
TEST(Synth, APhraseOfFunctionWordsAloneAccentsItsLastWord) {
  auto vowels = [](const std::vector<std::string>& texts) {
    std::vector<Pronunciation> words;
    for (const auto& t : texts) words.push_back(Pronounce(Word{t, false, {}}));
    std::vector<TimedPhone> out;
    for (const TimedPhone& t : PlanPhrase(words, Break::kSentence, 7).phones) {
      if (IsVowel(t.ph)) out.push_back(t);
    }
    return out;
  };
  struct Case {
    std::vector<std::string> alone, before_content;
  } cases[] = {{{"of"}, {"of", "bread"}}, {{"to", "me"}, {"me", "now"}}};
  for (const auto& c : cases) {
    TimedPhone alone = vowels(c.alone).back();
    TimedPhone reduced = vowels(c.before_content).front();
    EXPECT_EQ(alone.stress, 1) << c.alone.back();
    EXPECT_NE(alone.ph, Ph::AX) << c.alone.back();
    EXPECT_GT(alone.samples, reduced.samples) << c.alone.back();
  }
}

TEST(Synth, SentencePauseHasTheLengthSet) {
  Pauses pauses;
  pauses.ms = {1500, 500, 350, 0};
  auto segments = Segments("It was so low. Now we are here.", false, 1 << 20, pauses);
  ASSERT_EQ(segments.size(), 2u);
  std::vector<uint8_t> both = segments[0];
  both.insert(both.end(), segments[1].begin(), segments[1].end());
  EXPECT_NEAR(LongestSilenceMs(both), 1500.0, 10.0);
  // The comma and clause pauses and the pause between words follow the same rule.
  pauses.ms = {100, 700, 1200, 300};
  EXPECT_NEAR(LongestSilenceMs(SynthesizeAll("So low, we are", pauses, false)), 1200.0, 10.0);
  EXPECT_NEAR(LongestSilenceMs(SynthesizeAll("So low; we are", pauses, false)), 700.0, 10.0);
  EXPECT_NEAR(LongestSilenceMs(SynthesizeAll("Oh we are", pauses, false)), 300.0, 10.0);
  // Absurd pauses are bounded, never allocated as asked.
  pauses.ms = {INT32_MAX, -5, -5, -5};
  EXPECT_LT(SynthesizeAll("Low. Now", pauses, false).size(), static_cast<size_t>(kMaxPauseMs * 8 + 40000));
}

TEST(Synth, TagsAreRemovedWhenObeyedAndReadOtherwise) {
  const char* tagged = "Hello \\spd=250\\ world, \\pit=70\\\\vol=20000\\ how \\rspd=120\\ are \\Rpit=90\\ you \\mrk=42\\ today?";
  const char* plain = "Hello world, how are you today?";
  std::vector<uint8_t> on = SynthesizeAll(tagged, Pauses{}, true);
  // Tags never change rate, pitch or volume: the speech is the same bytes.
  EXPECT_EQ(on, SynthesizeAll(plain, Pauses{}, true));
  EXPECT_GT(SynthesizeAll(tagged, Pauses{}, false).size(), on.size() * 2);
  // Broken tag syntax is spoken or skipped, never a failure.
  for (const char* bad : {"say \\spd=\\ this", "say \\spd=99999999999\\ this", "say this\\",
                          "\\", "\\\\\\", "\\spd=250", "\\=\\"}) {
    Synthesis s;
    int32_t st = s.Start(bad, Pauses{});
    EXPECT_TRUE(st == status::kOk || st == status::kNothingSpeakable) << bad;
  }
  EXPECT_FALSE(SynthesizeAll("say \\spd=\\ this\\", Pauses{}, true).empty());
}

TEST(Synth, NothingSpeakableIs2870) {
  Synthesis s;
  EXPECT_EQ(s.Start("?!.", Pauses{}), status::kNothingSpeakable);
  EXPECT_EQ(s.Start("", Pauses{}), status::kNothingSpeakable);
  EXPECT_EQ(s.Start("...   ,,, ;", Pauses{}), status::kNothingSpeakable);
  // Only tags: speakable as text, and with tags obeyed simply no segment.
  Synthesis t;
  ASSERT_EQ(t.Start("\\spd=250\\", Pauses{}), status::kOk);
  t.SetTags(true);
  EXPECT_FALSE(t.SegmentAvailable());
}

TEST(Synth, SameTextSameBytesOneSentencePerSegment) {
  auto a = Segments(kParagraph, false, 1 << 20);
  auto b = Segments(kParagraph, false, 1 << 20);
  EXPECT_EQ(a, b);
  EXPECT_EQ(a.size(), 4u);  // four sentences
  // A small buffer takes the same speech in more, smaller pieces.
  auto small = Segments(kParagraph, false, 10000);
  EXPECT_GT(small.size(), a.size());
  std::vector<uint8_t> joined_a, joined_small;
  for (auto& s : a) joined_a.insert(joined_a.end(), s.begin(), s.end());
  for (auto& s : small) joined_small.insert(joined_small.end(), s.begin(), s.end());
  EXPECT_EQ(joined_a, joined_small);
  // A sentence sounds the same wherever it stands.
  auto one = Segments("Tomorrow morning should be cool and clear.", false, 1 << 20);
  ASSERT_EQ(one.size(), 1u);
  EXPECT_EQ(one[0], a[2]);
}

TEST(Synth, BadInputGivesAStatusOrSpeech) {
  std::string every;
  for (int c = 1; c <= 255; ++c) every.push_back(static_cast<char>(c));
  auto segs = Segments(every, false, 1 << 20);
  EXPECT_FALSE(segs.empty());
  segs = Segments(every, true, 1 << 20);
  EXPECT_FALSE(segs.empty());

  // A megabyte of text: accepted, delivered in bounded segments (only the
  // first few are made here).
  std::string big;
  while (big.size() < (1u << 20)) big += "lorem ipsum dolor sit amet 12345, ";
  big += std::string(100000, 'x');
  Synthesis s;
  ASSERT_EQ(s.Start(big, Pauses{}), status::kOk);
  std::vector<uint8_t> buf(1 << 20);
  uint32_t count = 0;
  for (int i = 0; i < 3; ++i) {
    ASSERT_TRUE(s.SegmentAvailable());
    ASSERT_EQ(s.NextSegment(buf.data(), static_cast<uint32_t>(buf.size()), &count), status::kOk);
    EXPECT_GT(count, 0u);
  }
  // One endless word: spoken in pieces.
  EXPECT_FALSE(Segments(std::string(5000, 'b'), false, 1 << 20).empty());
}

TEST(Synth, OutOfMemoryAnywhereIsAFailureNeverAnEmptySuccess) {
  // The engine's callers stop at the first segment that is not available,
  // so a synthesis that could not be prepared must still offer one, whose
  // fetch then fails: never "nothing to say" for text that has speech.
  const std::string text = "Ship it. Now, please.";
  const std::vector<uint8_t> whole = SynthesizeAll(text, Pauses{}, false);
  ASSERT_FALSE(whole.empty());
  long n = 0;
  for (;; ++n) {
    std::vector<uint8_t> out;
    bool failed = false;
    bool fired = false;
    {
      testing::FailAllocation fail(n);
      Synthesis s;
      try {
        ASSERT_EQ(s.Start(text, Pauses{}), status::kOk);
        std::vector<uint8_t> buf(4096);
        for (;;) {
          bool available = false;
          EXPECT_NO_THROW(available = s.SegmentAvailable()) << "allocation " << n;
          if (!available) break;
          uint32_t count = 0;
          if (s.NextSegment(buf.data(), static_cast<uint32_t>(buf.size()), &count) != status::kOk) {
            break;
          }
          out.insert(out.end(), buf.begin(), buf.begin() + count);
        }
      } catch (const std::bad_alloc&) {
        failed = true;
      }
      fired = fail.fired();
    }
    if (!fired) break;
    if (!failed) {
      EXPECT_EQ(out, whole) << "allocation " << n << " failed, yet less was said";
    }
  }
  EXPECT_GT(n, 10);
}

TEST(EditorFiles, DecodesTheEncodedNotation) {
  auto names = [](const std::vector<Phone>& phones) {
    std::string s;
    for (const Phone& p : phones) {
      if (!s.empty()) s += ' ';
      s += Info(p.ph).name;
      if (IsVowel(p.ph) && p.stress) s += static_cast<char>('0' + p.stress);
    }
    return s;
  };
  EXPECT_EQ(names(DecodePhonetic("ba#na%na/")), "B AE N AE1 N AE");
  EXPECT_EQ(names(DecodePhonetic("ka*t")), "K AE1 T");
  EXPECT_EQ(names(DecodePhonetic("ba(na%na/")), "B AE2 N AE1 N AE");
  EXPECT_EQ(names(DecodePhonetic("pe%nsl'/")), "P EH1 N S AX L");
  EXPECT_EQ(names(DecodePhonetic("ka~*b")), "K EY1 B");
  EXPECT_EQ(names(DecodePhonetic("c~i*ld t'i%nk s~e~ z~u t~e' n~")), "CH IH1 L D TH IH1 N K SH IY ZH AH DH AX NG");
  EXPECT_EQ(names(DecodePhonetic("a|a^e^i|i^o|u^u|oiau")), "AA1 R AW ER EH R IH R AY ER AO R UH R ER OY AW");
  EXPECT_TRUE(DecodePhonetic("").empty());
  EXPECT_TRUE(DecodePhonetic("#+/%*(\\123").empty());

  char buf[kPhonSylBytes];
  auto phones = DecodePhonetic("ba#na%na/");
  EncodePhonSyl(phones, buf, sizeof buf);
  EXPECT_EQ(names(DecodePhonSyl(buf, sizeof buf)), names(phones));
  // A long transcription is cut to the buffer, still terminated.
  std::string longer;
  for (int i = 0; i < 100; ++i) longer += "ba%";
  EncodePhonSyl(DecodePhonetic(longer), buf, sizeof buf);
  EXPECT_NE(std::memchr(buf, 0, sizeof buf), nullptr);
  EXPECT_GT(DecodePhonSyl(buf, sizeof buf).size(), 100u);
  EXPECT_TRUE(DecodePhonSyl("garbage", 8).empty());
}

TEST(EditorFiles, WaveHeaderIs46BytesOfMuLawMono8k) {
  auto h = MuLawWaveHeader(1000);
  auto u32 = [&](size_t at) {
    uint32_t v;
    std::memcpy(&v, &h[at], 4);
    return v;
  };
  auto u16 = [&](size_t at) { return static_cast<unsigned>(h[at] | (h[at + 1] << 8)); };
  EXPECT_EQ(std::string(h.begin(), h.begin() + 4), "RIFF");
  EXPECT_EQ(u32(4), 1038u);
  EXPECT_EQ(std::string(h.begin() + 8, h.begin() + 16), "WAVEfmt ");
  EXPECT_EQ(u32(16), 18u);
  EXPECT_EQ(u16(20), 7u);
  EXPECT_EQ(u16(22), 1u);
  EXPECT_EQ(u32(24), 8000u);
  EXPECT_EQ(u16(34), 8u);
  EXPECT_EQ(std::string(h.begin() + 38, h.begin() + 42), "data");
  EXPECT_EQ(u32(42), 1000u);

  testing::TempDir dir("qmwave");
  std::string path = (dir.path() / "w.wav").string();
  auto word = SpeakPhones(DecodePhonetic("ba#na%na/"));
  EXPECT_GT(word.size(), 2000u);
  ASSERT_EQ(WriteMuLawWave(path.c_str(), word), status::kOk);
  std::ifstream f(path, std::ios::binary | std::ios::ate);
  EXPECT_EQ(static_cast<size_t>(f.tellg()), 46 + word.size());
  EXPECT_EQ(WriteMuLawWave(nullptr, word), status::kNullOutput);
  EXPECT_EQ(WriteMuLawWave((dir.path() / "no" / "such" / "dir.wav").string().c_str(), word),
            status::kNullOutput);
}

}  // namespace
}  // namespace Quellmar::engine_core
