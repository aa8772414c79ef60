// The 64-bit build: every engine question and render is one request through
// the process's WorkerClient, which finds or starts the worker.
#include <cstring>

#include "diagnostics/engine_road.h"
#include "worker_client/worker_client.h"

namespace Quellmar::diag {
namespace {

struct Sink {
  std::vector<int16_t>* samples;
};

bool Append(const unsigned char* bytes, uint32_t count, void* context) {
  auto& out = *static_cast<Sink*>(context)->samples;
  const size_t n = count / 2;  // a stray odd byte carries no sample
  if (out.size() + n > kMaxSamplesPerRender) return false;
  const size_t at = out.size();
  out.resize(at + n);
  std::memcpy(out.data() + at, bytes, n * 2);
  return true;
}

class WorkerRoad : public EngineRoad {
 public:
  const BuildTraits& Traits() const override { return kWorkerBuild; }

  EngineFacts Facts() override {
    EngineFacts facts;
    WorkerInfo info;
    if (!client_.RequestInfo(info)) return facts;
    facts.answered = true;
    // The reply's text is zero-terminated by the worker, but it comes from
    // another process: never read past its 32 bytes.
    facts.version.assign(info.engine_version,
                         strnlen(info.engine_version, sizeof info.engine_version));
    facts.native_rate = info.engine_sample_rate;
    facts.native_bits = info.engine_bits_per_sample;
    facts.format_code = info.engine_format_code;
    facts.channels_allowed = info.engine_channels_allowed;
    facts.output_rate = info.output_sample_rate;
    return facts;
  }

  bool Render(const std::string& engine_text, const RenderParams& params,
              std::vector<int16_t>& samples) override {
    if (engine_text.size() > UINT32_MAX) return false;
    Sink sink{&samples};
    const WorkerClient::Pauses pauses = params.pauses;
    return client_.RequestSynthesis(engine_text.data(), static_cast<uint32_t>(engine_text.size()),
                                    params.duration_factor, params.pitch_factor, params.gain_factor,
                                    params.tags, &pauses, &Append, &sink);
  }

 private:
  WorkerClient client_;
};

}  // namespace

std::unique_ptr<EngineRoad> MakeEngineRoad() { return std::make_unique<WorkerRoad>(); }

}  // namespace Quellmar::diag
