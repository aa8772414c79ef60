// qmtool lexmere-data: the files the dictionary editor only opens, made for
// the staged layouts: the example recording of every vowel and consonant row
// (its example words spoken by the stand-in engine core, through the
// renderer, as 16-bit PCM WAV) in DIR/sound, and an empty source list
// DIR/lexmere.txt (an existing one is left as it is).
#include <sys/stat.h>

#include <cctype>
#include <cstdio>
#include <string>

#include "common/wav.h"
#include "dictionary_editor/dictionary_entry.h"
#include "dictionary_editor/entry_list.h"
#include "engine_core/engine.h"
#include "engine_host/mulaw.h"
#include "engine_host/render.h"
#include "tools/qmtool.h"

namespace Quellmar::tool {
namespace {

constexpr int kOutputRate = 16000;

// "pAt, lAd" -> "pat, lad": the capitals only mark the letters of the sound.
std::string SpokenExamples(const char* examples) {
  std::string text(examples);
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

bool WriteRecording(const std::string& path, const dictionary::SoundSymbol& symbol) {
  const std::vector<uint8_t> ulaw =
      engine_core::SynthesizeAll(SpokenExamples(symbol.examples), engine_core::Pauses{}, false);
  const std::vector<int16_t> samples =
      Render(DecodeMuLaw(ulaw.data(), ulaw.size()), RenderParams{});
  if (samples.empty()) {
    std::fprintf(stderr, "qmtool lexmere-data: nothing spoken for '%s'\n", symbol.examples);
    return false;
  }
  const std::vector<uint8_t> file = PcmWavFile(kOutputRate, samples);
  return WriteFileBytes(path, file.data(), file.size());
}

int LexmereData(const Args& args) {
  const std::string* out = Option(args, "--out");
  if (!out) {
    std::fprintf(stderr, "qmtool lexmere-data: --out DIR is required\n");
    return 2;
  }
  const std::string sound = *out + "/sound";
  mkdir(out->c_str(), 0755);
  mkdir(sound.c_str(), 0755);
  int written = 0;
  for (const auto* table : {&dictionary::kVowels, &dictionary::kConsonants}) {
    for (const dictionary::SoundSymbol& s : *table) {
      if (!WriteRecording(sound + "/" + s.recording, s)) return 1;
      ++written;
    }
  }
  const std::string source = *out + "/" + dictionary::kSourceListFileName;
  struct stat st {};
  if (stat(source.c_str(), &st) != 0 && !WriteFileBytes(source, "", 0)) return 1;
  std::printf("%d recordings in %s, source list %s\n", written, sound.c_str(), source.c_str());
  return 0;
}

}  // namespace

QM_TOOL_COMMAND("lexmere-data",
                "lexmere-data --out DIR   (example recordings and an empty source list)",
                LexmereData);

}  // namespace Quellmar::tool
