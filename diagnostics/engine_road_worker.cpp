// The 64-bit build: every engine question and render is one request through
// the process's WorkerClient, which finds or starts the worker.
#include <cstring>

#include "diagnostics/engine_road.h"
#include "worker_client/worker_client.h"

namespace Quellmar::diag {
namespace {

// How long the tool waits for the worker: for its answer, with a launch if
// one is needed, and between two pieces of a render. A worker that keeps the
// tool waiting longer does not answer, and the run asks it nothing more:
// every later step reports as it does for an engine out of reach.
constexpr DWORD kWorkerPatienceMs = 10000;

struct Sink {
  std::vector<int16_t>* samples;
  WaitLimit patience{kWorkerPatienceMs};
};

bool KeepWaiting(void* context) { return KeepWaitingUntil(&static_cast<Sink*>(context)->patience); }

bool Append(const unsigned char* bytes, uint32_t count, void* context) {
  static_cast<Sink*>(context)->patience.Restart(kWorkerPatienceMs);
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
    if (silent_) return facts;
    WaitLimit patience(kWorkerPatienceMs);
    const bool answered = client_.RequestInfo(info, KeepWaitingUntil, &patience);
    silent_ = patience.reached;
    if (!answered) return facts;
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
    if (engine_text.size() > UINT32_MAX || silent_) return false;
    Sink sink{&samples};
    const WorkerClient::Pauses pauses = params.pauses;
    const bool ended =
        client_.RequestSynthesis(engine_text.data(), static_cast<uint32_t>(engine_text.size()),
                                 params.duration_factor, params.pitch_factor, params.gain_factor,
                                 params.tags, &pauses, &Append, &sink, &KeepWaiting);
    silent_ = sink.patience.reached;
    return ended;
  }

 private:
  WorkerClient client_;
  bool silent_ = false;  // the worker once kept the tool waiting too long
};

}  // namespace

std::unique_ptr<EngineRoad> MakeEngineRoad() { return std::make_unique<WorkerRoad>(); }

}  // namespace Quellmar::diag
