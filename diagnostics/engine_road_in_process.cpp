// The 32-bit build: the engine core is loaded into this process with the
// process's EngineDriver and its output rendered here, exactly as the worker
// does it, so both builds make the same samples from the same request.
#include <new>

#include "diagnostics/engine_road.h"
#include "engine_host/engine_driver.h"
#include "engine_host/install_root.h"
#include "engine_host/render.h"

namespace Quellmar::diag {
namespace {

class InProcessRoad : public EngineRoad {
 public:
  const BuildTraits& Traits() const override { return kInProcessBuild; }

  EngineFacts Facts() override {
    EngineFacts facts;
    EngineDriver& engine = EngineDriver::Instance();
    if (!engine.Load(EngineCorePath())) return facts;
    facts.answered = true;
    facts.version = engine.Version();
    facts.native_rate = engine.SampleRate();
    facts.native_bits = engine.BitsPerSample();
    facts.format_code = engine.FormatCode();
    facts.channels_allowed = engine.ChannelsAllowed();
    facts.output_rate = 16000;
    for (int i = 0; i < 4; ++i) facts.pauses[i] = engine.GetPause(i + 1);
    return facts;
  }

  bool Render(const std::string& engine_text, const RenderParams& params,
              std::vector<int16_t>& samples) override {
    EngineDriver& engine = EngineDriver::Instance();
    if (!engine.Load(EngineCorePath())) return false;
    for (int i = 0; i < 4; ++i) {
      if (params.pauses[i] >= 0) engine.SetPause(i + 1, params.pauses[i]);
    }
    try {
      std::vector<unsigned char> raw;
      const bool ok = engine.SynthesizeToBuffer(engine_text.c_str(), params.tags, raw);
      // Partial output of a failed synthesis is still heard, as through the worker.
      if (!ok && raw.empty()) return false;
      const Samples rendered = Quellmar::Render(DecodeMuLaw(raw.data(), raw.size()), params);
      samples.insert(samples.end(), rendered.begin(), rendered.end());
      return true;
    } catch (const std::bad_alloc&) {
      return false;
    }
  }
};

}  // namespace

std::unique_ptr<EngineRoad> MakeEngineRoad() { return std::make_unique<InProcessRoad>(); }

}  // namespace Quellmar::diag
