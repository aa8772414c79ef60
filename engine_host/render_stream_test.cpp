#include "engine_host/render_stream.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <sstream>
#include <string>

#include "testing/alloc_failure.h"
#include "testing/render_signals.h"

namespace Quellmar {
namespace {

using namespace Quellmar::testing;

constexpr double kNan = std::numeric_limits<double>::quiet_NaN();

RenderParams Params(double duration, double pitch, double gain) {
  RenderParams p;
  p.duration_factor = duration;
  p.pitch_factor = pitch;
  p.gain_factor = gain;
  return p;
}

// The factor sets of the whole-buffer tests (duration, pitch, gain), and the
// edges of what the stream decides: unity within a millionth, a stretch of
// exactly 1 by duration x pitch, sparse frames, the slowest voice, refused
// factors.
// clang-format off
const RenderParams kFactorSets[] = {
    Params(1, 1, 1),         Params(0.5, 1, 1),       Params(1.6, 1.2, 1),   Params(2, 1, 1),
    Params(0.5, 0.5, 1),     Params(0.5, 2, 1),       Params(1.6, 0.5, 1),   Params(2, 2, 1),
    Params(1, 1.2, 1),       Params(0.8, 1.25, 1.3),  Params(0.03125, 1, 1), Params(32, 2, 0.7),
    Params(1.0000009, 1, 1), Params(1.0000011, 1, 1), Params(4, 1, 0),       Params(1, 1, kNan),
    Params(0, 1, 1),         Params(1, kNan, 1),      Params(-2, -0.5, 1),
    Params(0.6428571428571429, 1.2354233503906845, 1.3),
    Params(4.0, 1.4142135623730951, 2.0000305185094759)};
// clang-format on

// Lengths where the stream decides something: frame and crossfade sizes,
// the shortest stretched input, its input block.
const size_t kEdgeLengths[] = {0,   1,   2,   3,   4,   119, 120, 121,  239,  240,  241,
                               336, 337, 338, 431, 432, 433, 434, 4095, 4096, 4097, 8193};

enum class Cut { kUnits, kWhole, kRandom };

struct Input {
  std::string name;
  bool mulaw = false;  // fed as engine bytes, else as linear samples
  std::vector<unsigned char> bytes;
  Samples samples;

  Samples Linear() const { return mulaw ? DecodeMuLaw(bytes.data(), bytes.size()) : samples; }
  size_t size() const { return mulaw ? bytes.size() : samples.size(); }
};

struct Streamed {
  Samples out;
  bool too_long = false;
};

// Streams the input cut as asked (1 byte or 1 sample, whole, or random
// pieces, empty ones included) and collects what the sink is given.
Streamed Stream(const Input& in, const RenderParams& params, Cut cut, std::mt19937& rng) {
  Streamed r;
  const RenderStream::Sink sink = [&](const int16_t* s, size_t n) {
    r.out.insert(r.out.end(), s, s + n);
    return true;
  };
  RenderStream stream(params);
  for (size_t at = 0; at < in.size() || (cut == Cut::kRandom && rng() % 4 == 0);) {
    size_t n = in.size() - at;
    if (cut == Cut::kUnits) n = 1;
    if (cut == Cut::kRandom) {
      const uint32_t kind = rng() % 10;
      n = std::min<size_t>(n, rng() % (kind < 3 ? 9 : kind < 7 ? 700 : 9000));
    }
    if (in.mulaw) {
      stream.FeedMuLaw(in.bytes.data() + at, n, sink);
    } else {
      stream.Feed(in.samples.data() + at, n, sink);
    }
    at += n;
  }
  stream.Finish(sink);
  r.too_long = stream.too_long();
  return r;
}

Input RandomInput(std::mt19937& rng, const std::vector<unsigned char>& recorded) {
  size_t n = kEdgeLengths[rng() % std::size(kEdgeLengths)];
  if (rng() % 4 != 0) {
    n = static_cast<size_t>(std::exp2(std::uniform_real_distribution<>(0, 14.6)(rng)));  // to 3 s
  }
  static const char* const kKinds[] = {"speech-like",          "random",     "clipped",
                                       "alternating extremes", "all -32768", "random bytes",
                                       "recorded speech"};
  const uint32_t kind = rng() % std::size(kKinds), seed = rng();
  Input in{kKinds[kind], kind >= 5, std::vector<unsigned char>(kind >= 5 ? n : 0, 0xFF), {}};
  if (kind == 0) in.samples = SpeechLike(n, seed);
  if (kind == 1) in.samples = RandomSamples(n, seed);
  if (kind == 2) in.samples = ClippedSamples(n, seed);
  if (kind == 3) in.samples = AlternatingExtremes(n);
  if (kind == 4) in.samples = Samples(n, -32768);
  if (kind == 5) std::generate(in.bytes.begin(), in.bytes.end(), [&] { return rng() & 0xFF; });
  // Recorded speech from anywhere in the recording, wrapping round.
  for (size_t i = 0; kind == 6 && i < n && !recorded.empty(); ++i) {
    in.bytes[i] = recorded[(seed + i) % recorded.size()];
  }
  return in;
}

RenderParams RandomParams(std::mt19937& rng) {
  std::uniform_real_distribution<> unit(0, 1);
  // The ranges of the voice settings: duration 1/32 .. 32, pitch 1/2 .. 2.
  const double duration = std::exp2(unit(rng) * 10 - 5);
  const double pitch = std::exp2(unit(rng) * 2 - 1);
  return Params(duration, pitch, rng() % 5 == 0 ? 1.0 : unit(rng) * 2.1);
}

std::string Describe(int i, const Input& in, const RenderParams& p, Cut cut) {
  std::ostringstream s;
  s.precision(17);
  s << "case " << i << ": " << in.name << ", " << in.size() << (in.mulaw ? " bytes" : " samples")
    << ", duration " << p.duration_factor << " pitch " << p.pitch_factor << " gain "
    << p.gain_factor << ", cut "
    << (cut == Cut::kUnits   ? "1 unit"
        : cut == Cut::kWhole ? "whole"
                             : "random");
  return s.str();
}

::testing::AssertionResult Same(const Samples& got, const Samples& want) {
  if (got == want) return ::testing::AssertionSuccess();
  size_t at = 0;
  while (at < got.size() && at < want.size() && got[at] == want[at]) ++at;
  return ::testing::AssertionFailure() << got.size() << " samples streamed, " << want.size()
                                       << " rendered, first difference at " << at;
}

// The stream's whole purpose: however the input is cut, the concatenated
// output is Render of the whole input, byte for byte.
TEST(RenderStreamTest, StreamedOutputIsRenderOfTheWholeInputHoweverCut) {
  const std::vector<unsigned char> recorded = RecordedMuLaw();
  std::mt19937 rng(20);
  constexpr int kCases = 2000;
  for (int i = 0; i < kCases; ++i) {
    const Input in = RandomInput(rng, recorded);
    const RenderParams params =
        i % 2 == 0 ? kFactorSets[(i / 2) % std::size(kFactorSets)] : RandomParams(rng);
    const Samples expected = Render(in.Linear(), params);
    // Every case in random pieces, and in turn one unit at a time or whole.
    for (Cut cut : {Cut::kRandom, i % 2 ? Cut::kUnits : Cut::kWhole}) {
      const Streamed got = Stream(in, params, cut, rng);
      ASSERT_FALSE(got.too_long) << Describe(i, in, params, cut);
      ASSERT_TRUE(Same(got.out, expected)) << Describe(i, in, params, cut);
    }
  }
  // One engine segment of the largest size the engine driver takes.
  Input big{"1 MiB segment", true, std::vector<unsigned char>(1 << 20, 0xFF), {}};
  for (size_t i = 0; i < big.bytes.size() && !recorded.empty(); ++i)
    big.bytes[i] = recorded[i % recorded.size()];
  for (const RenderParams& params : {Params(1, 1, 1), Params(1.6, 1.2, 1.3)}) {
    const Streamed got = Stream(big, params, Cut::kWhole, rng);
    ASSERT_TRUE(Same(got.out, Render(big.Linear(), params)))
        << Describe(-1, big, params, Cut::kWhole);
  }
  EXPECT_FALSE(recorded.empty())
      << "QM_RENDER_TESTDATA not set: the recorded utterance was skipped";
}

// The last frames are where the input's length decides a frame's search
// range and whether it exists at all. On a rising ramp every frame's best
// start is the last of its range, so a range ended one sample off changes
// the output; every length over a few frame steps meets every alignment.
TEST(RenderStreamTest, LastFramesAtEveryDistanceFromTheEnd) {
  Samples ramp(1100);
  for (size_t i = 0; i < ramp.size(); ++i) ramp[i] = static_cast<int16_t>(1000 + 25 * i);
  std::mt19937 rng(22);
  for (const RenderParams& params :
       {Params(0.5, 1, 1), Params(0.9, 1, 1), Params(1.6, 1.2, 1), Params(3, 1, 1)}) {
    for (size_t n = kMinStretchInput - 2; n <= ramp.size(); ++n) {
      const Input in{
          "rising ramp", false, {}, Samples(ramp.begin(), ramp.begin() + static_cast<long>(n))};
      const Samples expected = Render(in.samples, params);
      for (Cut cut : {Cut::kUnits, Cut::kRandom}) {
        ASSERT_TRUE(Same(Stream(in, params, cut, rng).out, expected))
            << Describe(0, in, params, cut);
      }
    }
  }
}

// Nothing is held back for longer than the input it depends on: after m
// input samples, every frame whose whole search range lies within them has
// been made (all but the kOverlap samples its crossfade leaves open), and
// every resampled output whose four neighbours are among those.
TEST(RenderStreamTest, OutputWaitsOnlyForTheInputItDependsOn) {
  const Samples speech = SpeechLike(6000, 77);
  std::mt19937 rng(21);
  for (const RenderParams& params :
       {Params(1, 1, 1), Params(0.5, 1, 1), Params(2, 1, 1.5), Params(1.6, 1.2, 1),
        Params(0.05, 1, 1), Params(32, 2, 1), Params(1, 0.5, 1)}) {
    const double factor = params.duration_factor * params.pitch_factor;
    const double step = params.pitch_factor * 0.5;
    size_t emitted = 0;
    RenderStream stream(params);
    for (size_t m = 0; m < speech.size();) {
      const size_t n = std::min<size_t>(speech.size() - m, 1 + rng() % 400);
      stream.Feed(speech.data() + m, n,
                  [&](const int16_t*, size_t count) { return (emitted += count), true; });
      m += n;
      // Stretched samples known for certain after m input samples.
      double known = 0;
      if (std::fabs(factor - 1) < 0.000001) {
        known = static_cast<double>(m);
      } else if (m >= 96 + kMinStretchInput) {
        const Samples prefix(speech.begin(), speech.begin() + static_cast<long>(m - 96));
        known = static_cast<double>(TimeStretch(prefix, factor).size()) - kOverlap;
      }
      const double due = known >= 3 ? std::floor((known - 3) / step) : 0;
      ASSERT_GE(static_cast<double>(emitted), due)
          << "after " << m << " samples, duration " << params.duration_factor << " pitch "
          << params.pitch_factor;
    }
  }
}

// A sink that refuses (a cancelled request) ends the stream: what it was
// given is the start of the render, and it is never called again.
TEST(RenderStreamTest, RefusingSinkEndsTheStream) {
  const Samples speech = SpeechLike(40000, 5);
  const RenderParams params = Params(1.3, 0.9, 1.7);
  const Samples expected = Render(speech, params);
  for (int refuse_at : {1, 2, 7}) {
    Samples got;
    int runs = 0;
    const RenderStream::Sink sink = [&](const int16_t* s, size_t n) {
      got.insert(got.end(), s, s + n);
      return ++runs < refuse_at;
    };
    RenderStream stream(params);
    bool open = true;
    for (size_t at = 0; at < speech.size(); at += 1000)
      open = stream.Feed(speech.data() + at, 1000, sink);
    EXPECT_FALSE(open) << refuse_at;
    EXPECT_FALSE(stream.Finish(sink)) << refuse_at;
    EXPECT_FALSE(stream.FeedMuLaw(reinterpret_cast<const unsigned char*>("more"), 4, sink))
        << refuse_at;
    EXPECT_EQ(runs, refuse_at);
    ASSERT_LE(got.size(), expected.size());
    EXPECT_TRUE(std::equal(got.begin(), got.end(), expected.begin())) << refuse_at;
  }
}

// A failed allocation anywhere in the stream's work stops it as a refusing
// sink does: no exception leaves it, and what it made is the start of the
// render.
TEST(RenderStreamTest, FailedAllocationStopsTheStream) {
  const Samples speech = SpeechLike(12000, 9);
  const RenderParams params = Params(1.3, 0.9, 1.7);
  const Samples expected = Render(speech, params);
  Samples got;
  got.reserve(expected.size());  // the sink itself allocates nothing
  const RenderStream::Sink sink = [&](const int16_t* s, size_t n) {
    got.insert(got.end(), s, s + n);
    return true;
  };
  for (long n = 0;; ++n) {
    got.clear();
    RenderStream stream(params);
    bool open = true;
    FailAllocation fail(n);
    for (size_t at = 0; at < speech.size() && open; at += 3000) {
      open = stream.Feed(speech.data() + at, 3000, sink);
    }
    open = open && stream.Finish(sink);
    if (!fail.fired()) {
      EXPECT_TRUE(open);
      EXPECT_EQ(got, expected);
      break;
    }
    EXPECT_FALSE(open) << n;
    EXPECT_TRUE(stream.failed()) << n;
    EXPECT_TRUE(std::equal(got.begin(), got.end(), expected.begin())) << n;
  }
}

// Where Render would make nothing because the output passes the bound, the
// stream stops as soon as the input seen shows it, with at most the bound
// made; when that input came in one piece, with nothing made at all.
TEST(RenderStreamTest, OutputBeyondTheBoundStopsTheStream) {
  struct {
    RenderParams params;
    size_t input;
    bool at_once;
  } cases[] = {
      {Params(1e6, 1, 1), 4096, true},    // far too long a stretch
      {Params(90000, 1, 1), 1000, true},  // 569626 frames certain to come, beyond the bound
      {Params(2, 0.5, 1), (kMaxRenderSamples / 4) + 4096, false},  // the resampler, near the end
  };
  const Samples zeros(4096, 0);
  for (const auto& c : cases) {
    size_t made = 0;
    const RenderStream::Sink sink = [&](const int16_t*, size_t n) { return (made += n), true; };
    RenderStream stream(c.params);
    bool open = true;
    for (size_t fed = 0; fed < c.input && open; fed += zeros.size()) {
      open = stream.Feed(zeros.data(), std::min(zeros.size(), c.input - fed), sink);
    }
    open = open && stream.Finish(sink);
    EXPECT_FALSE(open);
    EXPECT_TRUE(stream.too_long());
    EXPECT_LE(made, c.at_once ? 0 : kMaxRenderSamples);
    EXPECT_TRUE(Render(Samples(c.input, 0), c.params).empty());
  }
}

}  // namespace
}  // namespace Quellmar
