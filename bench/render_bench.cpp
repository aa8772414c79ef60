// TimeStretch and Render against libsonic and SoundTouch on the same speech,
// at duration factors 0.5, 0.8, 1.25 and 2.0 (the libraries get speed or
// tempo 1 / factor), and RenderStream fed the same speech in pieces of the
// size the engine delivers (a sentence, about 2 s) and in one piece. The
// counter audio_s/cpu_s is seconds of input audio processed per CPU second.
//
//   QM_BENCH_SPEECH=speech.ulaw render_bench     (8 kHz mu-law; bench/run-render makes it)
#include <benchmark/benchmark.h>
#include <sonic.h>
#include <SoundTouch.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>

#include "engine_host/render.h"
#include "engine_host/render_stream.h"
#include "engine_host/time_stretch.h"

namespace {

using namespace Quellmar;

const Samples& Speech() {
  static const Samples speech = [] {
    const char* path = std::getenv("QM_BENCH_SPEECH");
    if (!path) {
      std::fprintf(stderr, "QM_BENCH_SPEECH must name an 8 kHz mu-law file (see bench/run-render)\n");
      std::exit(2);
    }
    std::ifstream in(path, std::ios::binary);
    std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (bytes.empty()) {
      std::fprintf(stderr, "cannot read %s\n", path);
      std::exit(2);
    }
    return DecodeMuLaw(bytes.data(), bytes.size());
  }();
  return speech;
}

double Factor(const benchmark::State& state) { return state.range(0) / 100.0; }

void Report(benchmark::State& state, size_t out_samples) {
  state.counters["audio_s/cpu_s"] = benchmark::Counter(Speech().size() / 8000.0, benchmark::Counter::kIsIterationInvariantRate);
  state.counters["out/in"] = static_cast<double>(out_samples) / Speech().size();
}

void BM_TimeStretch(benchmark::State& state, stretch::Path path) {
  if (!stretch::Available(path)) {
    state.SkipWithError("path not available on this machine");
    return;
  }
  const Samples& in = Speech();
  size_t n = 0;
  for (auto _ : state) {
    Samples out = stretch::TimeStretchWith(in, Factor(state), path);
    n = out.size();
    benchmark::DoNotOptimize(out.data());
  }
  Report(state, n);
}

void BM_Render(benchmark::State& state) {
  const Samples& in = Speech();
  RenderParams params;
  params.duration_factor = Factor(state);
  size_t n = 0;
  for (auto _ : state) {
    Samples out = Render(in, params);
    n = out.size();
    benchmark::DoNotOptimize(out.data());
  }
  Report(state, n);
}

// The stream hands its output on in runs, which a sender writes from as
// they are: the sink here only takes note of them.
void BM_RenderStream(benchmark::State& state) {
  const Samples& in = Speech();
  RenderParams params;
  params.duration_factor = Factor(state);
  const size_t piece = static_cast<size_t>(state.range(1));
  size_t n = 0;
  const RenderStream::Sink sink = [&](const int16_t* s, size_t count) {
    benchmark::DoNotOptimize(s);
    n += count;
    return true;
  };
  for (auto _ : state) {
    n = 0;
    RenderStream stream(params);
    for (size_t at = 0; at < in.size(); at += piece) {
      stream.Feed(in.data() + at, std::min(piece, in.size() - at), sink);
    }
    stream.Finish(sink);
  }
  Report(state, n);
}

void BM_Sonic(benchmark::State& state) {
  Samples in = Speech();
  Samples out(in.size() * 3);
  size_t n = 0;
  for (auto _ : state) {
    sonicStream s = sonicCreateStream(8000, 1);
    sonicSetSpeed(s, static_cast<float>(1 / Factor(state)));
    sonicWriteShortToStream(s, in.data(), static_cast<int>(in.size()));
    sonicFlushStream(s);
    n = 0;
    int got;
    while ((got = sonicReadShortFromStream(s, out.data() + n, static_cast<int>(out.size() - n))) > 0) n += got;
    sonicDestroyStream(s);
    benchmark::DoNotOptimize(out.data());
  }
  Report(state, n);
}

// SoundTouch is built for float samples; the conversion is left out of the
// timing in its favour.
void BM_SoundTouch(benchmark::State& state) {
  std::vector<float> in(Speech().begin(), Speech().end());
  for (float& f : in) f /= 32768.0f;
  std::vector<float> out(in.size() * 3);
  size_t n = 0;
  for (auto _ : state) {
    soundtouch::SoundTouch st;
    st.setSampleRate(8000);
    st.setChannels(1);
    st.setTempo(1 / Factor(state));
    st.putSamples(in.data(), static_cast<unsigned>(in.size()));
    st.flush();
    n = 0;
    unsigned got;
    while ((got = st.receiveSamples(out.data() + n, static_cast<unsigned>(out.size() - n))) > 0) n += got;
    benchmark::DoNotOptimize(out.data());
  }
  Report(state, n);
}

void Factors(benchmark::internal::Benchmark* b) {
  for (int f : {50, 80, 125, 200}) b->Arg(f);
  b->ArgName("factor_x100")->Unit(benchmark::kMillisecond);
}

BENCHMARK_CAPTURE(BM_TimeStretch, fastest, stretch::Fastest())->Apply(Factors);
BENCHMARK_CAPTURE(BM_TimeStretch, sse2, stretch::Path::Sse2)->Apply(Factors);
BENCHMARK_CAPTURE(BM_TimeStretch, plain, stretch::Path::Plain)->Apply(Factors);
BENCHMARK(BM_Sonic)->Apply(Factors);
BENCHMARK(BM_Render)->Apply(Factors);
// Pieces of 2 s (a sentence from the engine) and the whole 30 s at once.
BENCHMARK(BM_RenderStream)->Apply([](benchmark::internal::Benchmark* b) {
  for (int f : {50, 80, 125, 200}) {
    for (int piece : {16000, 240000}) b->Args({f, piece});
  }
  b->ArgNames({"factor_x100", "piece"})->Unit(benchmark::kMillisecond);
});
BENCHMARK(BM_SoundTouch)->Apply(Factors);

}  // namespace

BENCHMARK_MAIN();
