// qmtool render: runs engine bytes (8 kHz mu-law) through the renderer, as
// the worker does for every synthesis request.
#include <cstdio>

#include "common/wav.h"
#include "engine_host/render.h"
#include "tools/qmtool.h"

namespace Quellmar::tool {
namespace {

constexpr int kOutputRate = 16000;

std::vector<unsigned char> ToBytes(const Samples& samples, bool wav) {
  if (wav) return PcmWavFile(kOutputRate, samples);
  std::vector<unsigned char> out;
  out.reserve(samples.size() * 2);
  for (int16_t s : samples) {
    out.push_back(static_cast<unsigned char>(s));
    out.push_back(static_cast<unsigned char>(static_cast<uint16_t>(s) >> 8));
  }
  return out;
}

bool EndsWith(const std::string& s, const std::string& suffix) {
  return s.size() >= suffix.size() && s.compare(s.size() - suffix.size(), suffix.size(), suffix) == 0;
}

int Render(const Args& args) {
  RenderParams params;
  const struct {
    const char* name;
    double* value;
  } factors[] = {{"--duration", &params.duration_factor},
                 {"--pitch", &params.pitch_factor},
                 {"--gain", &params.gain_factor}};
  for (const auto& f : factors) {
    const std::string* text = Option(args, f.name);
    if (text && !ParseDouble(*text, *f.value)) {
      std::fprintf(stderr, "qmtool render: %s needs a number, not '%s'\n", f.name, text->c_str());
      return 2;
    }
  }
  const std::string* in_path = Option(args, "--in");
  const std::string* out_path = Option(args, "--out");
  if (!in_path || !out_path) {
    std::fprintf(stderr, "qmtool render: --in and --out are required\n");
    return 2;
  }
  std::vector<unsigned char> bytes;
  if (!ReadFileBytes(*in_path, bytes)) return 1;

  const Samples out = Quellmar::Render(DecodeMuLaw(bytes.data(), bytes.size()), params);
  if (out.size() > 0x7FFFFFF0u / 2) {  // cannot happen below kMaxRenderSamples; a WAV size is 32-bit
    std::fprintf(stderr, "qmtool render: output too long for a WAV file\n");
    return 1;
  }
  const std::vector<unsigned char> file = ToBytes(out, EndsWith(*out_path, ".wav"));
  if (!WriteFileBytes(*out_path, file.data(), file.size())) return 1;
  std::printf("%lu engine samples (%.3f s) -> %lu samples at %d Hz (%.3f s)\n",
              static_cast<unsigned long>(bytes.size()), bytes.size() / 8000.0,
              static_cast<unsigned long>(out.size()), kOutputRate, out.size() / double{kOutputRate});
  if (out.empty() && !bytes.empty()) {
    std::fprintf(stderr, "qmtool render: nothing rendered: the factors are out of range\n");
    return 1;
  }
  return 0;
}

}  // namespace

QM_TOOL_COMMAND("render", "render --duration D --pitch P --gain G --in FILE.ulaw --out FILE[.wav]", Render);

}  // namespace Quellmar::tool
