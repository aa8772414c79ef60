// qmtool synth: speaks a text with the stand-in engine core's synthesiser,
// as the engine would (its pauses, its tag switch), into a raw mu-law file
// (.ulaw) or an 8000 Hz 16-bit WAV (.wav); with --phones, prints how it reads
// each word instead.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "common/wav.h"
#include "engine_core/engine.h"
#include "engine_core/lexicon.h"
#include "engine_core/mulaw.h"
#include "tools/qmtool.h"

namespace Quellmar::tool {
namespace {

bool EndsWith(const std::string& s, const char* suffix) {
  std::string x(suffix);
  return s.size() >= x.size() && s.compare(s.size() - x.size(), x.size(), x) == 0;
}

bool ParsePauses(const std::string& text, engine_core::Pauses& pauses) {
  size_t start = 0;
  for (int i = 0; i < 4; ++i) {
    size_t comma = text.find(',', start);
    if ((i < 3) != (comma != std::string::npos)) return false;
    std::string part = text.substr(start, i < 3 ? comma - start : std::string::npos);
    double v = 0;
    if (!ParseDouble(part, v) || v < 0 || v > engine_core::kMaxPauseMs || v != static_cast<int>(v))
      return false;
    pauses.ms[i] = static_cast<int32_t>(v);
    start = comma + 1;
  }
  return true;
}

std::vector<unsigned char> Wav16(const std::vector<uint8_t>& ulaw) {
  std::vector<int16_t> samples(ulaw.size());
  for (size_t i = 0; i < ulaw.size(); ++i) samples[i] = engine_core::MuLawToLinear(ulaw[i]);
  return PcmWavFile(8000, samples);
}

// One line a phrase: each word, its phones (vowels with their stress), and
// the break that ends the phrase.
void PrintPhones(const std::string& text, bool tags) {
  static const char* const kBreaks[] = {"",         "word",     "comma",  "clause",
                                        "sentence", "question", "exclaim"};
  for (const engine_core::Sentence& sentence : engine_core::Normalize(text, tags)) {
    for (const engine_core::Phrase& phrase : sentence.phrases) {
      for (const engine_core::Word& w : phrase.words) {
        std::printf("%s [", w.text.c_str());
        const char* sep = "";
        for (const engine_core::Phone& p : engine_core::Pronounce(w).phones) {
          std::printf("%s%s", sep, engine_core::Info(p.ph).name);
          if (engine_core::IsVowel(p.ph)) std::printf("%d", p.stress);
          sep = " ";
        }
        std::printf("] ");
      }
      std::printf("/%s\n", kBreaks[static_cast<int>(phrase.end)]);
    }
  }
}

int Synth(const Args& args) {
  const std::string* text = Option(args, "--text");
  const std::string* out = Option(args, "--out");
  if (text && Flag(args, "--phones")) {
    PrintPhones(*text, Flag(args, "--tags"));
    return 0;
  }
  if (!text || !out) {
    std::fprintf(stderr, "qmtool synth: --text and --out are required\n");
    return 2;
  }
  engine_core::Pauses pauses;
  if (const std::string* p = Option(args, "--pauses"); p && !ParsePauses(*p, pauses)) {
    std::fprintf(stderr,
                 "qmtool synth: --pauses wants four whole numbers 0..%d, like 650,500,350,7\n",
                 static_cast<int>(engine_core::kMaxPauseMs));
    return 2;
  }
  bool wav = EndsWith(*out, ".wav");
  if (!wav && !EndsWith(*out, ".ulaw")) {
    std::fprintf(stderr, "qmtool synth: --out must end in .ulaw or .wav\n");
    return 2;
  }
  if (!engine_core::HasSpeech(*text)) {
    std::fprintf(stderr, "qmtool synth: nothing speakable in the text\n");
    return 1;
  }
  std::vector<uint8_t> all = engine_core::SynthesizeAll(*text, pauses, Flag(args, "--tags"));
  bool ok = false;
  if (wav) {
    std::vector<unsigned char> file = Wav16(all);
    ok = WriteFileBytes(*out, file.data(), file.size());
  } else {
    ok = WriteFileBytes(*out, all.data(), all.size());
  }
  if (!ok) return 1;
  std::printf("%lu samples, %.3f s\n", static_cast<unsigned long>(all.size()), all.size() / 8000.0);
  return 0;
}

}  // namespace

QM_TOOL_COMMAND("synth",
                "synth --text TEXT [--pauses P1,P2,P3,P4] [--tags] --out FILE(.ulaw|.wav) | --text "
                "TEXT --phones",
                Synth);

}  // namespace Quellmar::tool
