#include "engine_host/engine_driver.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <regex>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "testing/fake_engine_core/fake_engine_core.h"
#include "testing/test_env.h"
#include "testing/user_state.h"
#include "testing/win_process.h"

namespace Quellmar {
namespace {
namespace fs = std::filesystem;
namespace fake = testing::fake_core;
using Calls = std::vector<std::string>;
using Bytes = std::vector<unsigned char>;

std::wstring FakePath(const wchar_t* name) {
  return (testing::BinDir() / L"fake_engine_core" / name).wstring();
}

// One fake core build loaded into this process, with its control functions.
class FakeCore {
 public:
  explicit FakeCore(const wchar_t* name)
      : path_(FakePath(name)), module_(LoadLibraryW(path_.c_str())) {
    if (!module_) return;
    script_ = reinterpret_cast<fake::fake_script_fn>(
        reinterpret_cast<void (*)()>(GetProcAddress(module_.get(), fake::kScriptEntry)));
    calls_ = reinterpret_cast<fake::fake_calls_fn>(
        reinterpret_cast<void (*)()>(GetProcAddress(module_.get(), fake::kCallsEntry)));
  }
  bool ok() const { return script_ && calls_; }
  const std::wstring& path() const { return path_; }
  // Resets the fake: a fresh script and an empty call record.
  void Script(const std::string& text) { ASSERT_EQ(script_(text.c_str()), 0) << text; }
  Calls TakeCalls() {
    std::string text(calls_(nullptr, 0) + 1, '\0');
    text.resize(calls_(text.data(), static_cast<uint32_t>(text.size())));
    Calls lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    script_("");
    return lines;
  }

 private:
  std::wstring path_;
  unique_module module_;
  fake::fake_script_fn script_ = nullptr;
  fake::fake_calls_fn calls_ = nullptr;
};

// Keeps each segment; stops after `stop_after` segments when it is set.
struct Collector {
  std::vector<Bytes> segments;
  size_t stop_after = SIZE_MAX;
  static bool Take(const unsigned char* bytes, uint32_t count, void* context) {
    auto* self = static_cast<Collector*>(context);
    self->segments.emplace_back(bytes, bytes + count);
    return self->segments.size() < self->stop_after;
  }
};

Bytes Segment(unsigned char k, size_t length) { return Bytes(length, k); }

class EngineDriverTest : public ::testing::Test {
 protected:
  // This process's own log lines go to the artefacts folder, never to the
  // user's log: the log keeps its file open for the rest of the process, so a
  // folder that is removed after each test cannot hold it.
  static void SetUpTestSuite() {
    fs::path folder = testing::ArtefactsDir() / L"engine_driver_test";
    fs::create_directories(folder);
    SetEnvironmentVariableW(L"LOCALAPPDATA", folder.wstring().c_str());
  }
  void SetUp() override {
    ASSERT_TRUE(core_.ok()) << "fake core missing: " << fs::path(core_.path()).string();
    ASSERT_TRUE(driver_.Load(core_.path()));
    core_.Script("");
  }
  // One synthesis of `text` under `script`; the segments the consumer saw.
  bool Run(const std::string& script, const char* text, Collector& out, bool tags = false) {
    core_.Script(script);
    return driver_.Synthesize(text, tags, &Collector::Take, &out);
  }

  FakeCore core_{fake::kFull};
  EngineDriver driver_;
};

TEST_F(EngineDriverTest, RunsOneSynthesisInTheEnginesOrderWithFreshBuffers) {
  core_.Script("segments=2 seglen=3");
  driver_.SetPause(1, 900);
  Collector got;
  EXPECT_TRUE(driver_.Synthesize("Hello world.", true, &Collector::Take, &got));
  EXPECT_EQ(driver_.LastStatus(), 0);
  EXPECT_EQ(got.segments, (std::vector<Bytes>{Segment(1, 3), Segment(2, 3)}));
  // Exact lines also prove a zeroed block, a zeroed buffer and a count reset to 0.
  EXPECT_EQ(core_.TakeCalls(),
            (Calls{"set_pausation 1 900", "initialize_SSB Hello world.", "set_tag_flag 1",
                   "isSeg_Available", "synth_to_buffer", "isSeg_Available", "synth_to_buffer",
                   "isSeg_Available", "close_SSB"}));

  // A second synthesis gets a new zeroed block and buffer, and the tags switch off.
  got = {};
  EXPECT_TRUE(Run("segments=1 seglen=2", "Again", got));
  EXPECT_EQ(core_.TakeCalls(), (Calls{"initialize_SSB Again", "set_tag_flag 0", "isSeg_Available",
                                      "synth_to_buffer", "isSeg_Available", "close_SSB"}));
}

TEST_F(EngineDriverTest, EmptyOrAbsentTextOrNoEngineNeverReachesTheEngine) {
  Collector got;
  EXPECT_FALSE(Run("init=2870", "?!.", got));
  ASSERT_EQ(driver_.LastStatus(), 2870);
  core_.TakeCalls();
  EXPECT_FALSE(driver_.Synthesize("", false, &Collector::Take, &got));
  EXPECT_EQ(driver_.LastStatus(), 0);  // reset by every synthesis
  EXPECT_FALSE(driver_.Synthesize(nullptr, false, &Collector::Take, &got));
  EXPECT_TRUE(core_.TakeCalls().empty());

  EngineDriver empty;
  Bytes bytes{1, 2, 3};
  EXPECT_FALSE(empty.Synthesize("hello", false, nullptr, nullptr));
  EXPECT_FALSE(empty.SynthesizeToBuffer("hello", false, bytes));
  EXPECT_TRUE(bytes.empty());
  EXPECT_TRUE(got.segments.empty());
  EXPECT_TRUE(core_.TakeCalls().empty());
}

TEST_F(EngineDriverTest, FailedInitialisationIsNotClosed) {
  for (int32_t status : {2870, 2700, 2900}) {
    Collector got;
    EXPECT_FALSE(Run("init=" + std::to_string(status), "?!.", got));
    EXPECT_EQ(driver_.LastStatus(), status);
    EXPECT_EQ(core_.TakeCalls(), Calls{"initialize_SSB ?!."});
  }
}

TEST_F(EngineDriverTest, NoMoreSpeechAtTheFirstSegmentIsQuietSuccess) {
  Collector got;
  EXPECT_TRUE(Run("segments=0 then=1", "hm", got));
  EXPECT_EQ(driver_.LastStatus(), 0);
  EXPECT_TRUE(got.segments.empty());
  EXPECT_EQ(core_.TakeCalls(), (Calls{"initialize_SSB hm", "set_tag_flag 0", "isSeg_Available",
                                      "synth_to_buffer", "close_SSB"}));
}

TEST_F(EngineDriverTest, EngineFailureAfterSegmentsKeepsWhatWasDelivered) {
  for (int32_t status : {1, 2900, -5}) {
    Collector got;
    EXPECT_FALSE(Run("segments=2 seglen=4 then=" + std::to_string(status), "text", got));
    EXPECT_EQ(driver_.LastStatus(), status);
    EXPECT_EQ(got.segments, (std::vector<Bytes>{Segment(1, 4), Segment(2, 4)}));
    Calls calls = core_.TakeCalls();
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "synth_to_buffer"), 3);
    EXPECT_EQ(calls.back(), "close_SSB");
  }
}

TEST_F(EngineDriverTest, ConsumerStopEndsTheSynthesisAsSuccessAndStillCloses) {
  Collector got;
  got.stop_after = 1;
  EXPECT_TRUE(Run("segments=5 seglen=2", "stop me", got));
  EXPECT_EQ(got.segments.size(), 1u);
  EXPECT_EQ(core_.TakeCalls(), (Calls{"initialize_SSB stop me", "set_tag_flag 0", "isSeg_Available",
                                      "synth_to_buffer", "close_SSB"}));
}

TEST_F(EngineDriverTest, ThrowingConsumerIsContainedAndTheEngineClosed) {
  auto thrower = [](const unsigned char*, uint32_t, void*) -> bool {
    throw std::runtime_error("consumer failed");
  };
  core_.Script("segments=3");
  EXPECT_FALSE(driver_.Synthesize("boom", false, thrower, nullptr));
  EXPECT_EQ(driver_.LastStatus(), 0);
  EXPECT_EQ(core_.TakeCalls().back(), "close_SSB");
}

TEST_F(EngineDriverTest, ByteCountBeyondTheBufferStopsBeforeDelivery) {
  Collector got;
  EXPECT_FALSE(Run("segments=3 seglen=4 count@2=1048577", "big", got));
  EXPECT_EQ(got.segments, std::vector<Bytes>{Segment(1, 4)});
  EXPECT_EQ(driver_.LastStatus(), 0);
  EXPECT_EQ(core_.TakeCalls().back(), "close_SSB");

  // A segment that fills the buffer exactly is fine.
  got = {};
  EXPECT_TRUE(Run("segments=1 seglen=1048576", "full", got));
  ASSERT_EQ(got.segments.size(), 1u);
  EXPECT_EQ(got.segments[0], Segment(1, 1048576));
}

TEST_F(EngineDriverTest, AnEndlessEngineIsStoppedAfterOneHundredThousandSegments) {
  Collector got;
  EXPECT_FALSE(Run("endless=1 seglen=1", "forever", got));
  EXPECT_EQ(got.segments.size(), 100001u);
  Calls calls = core_.TakeCalls();
  EXPECT_EQ(std::count(calls.begin(), calls.end(), "synth_to_buffer"), 100001);
  EXPECT_EQ(calls.back(), "close_SSB");

  // Empty segments count towards the limit but never reach the consumer.
  got = {};
  EXPECT_FALSE(Run("endless=1 seglen=0", "silence", got));
  EXPECT_TRUE(got.segments.empty());
  calls = core_.TakeCalls();
  EXPECT_EQ(std::count(calls.begin(), calls.end(), "synth_to_buffer"), 100001);
}

TEST_F(EngineDriverTest, SynthesizeToBufferReplacesTheCallersBytes) {
  Bytes bytes{9, 9, 9, 9};
  core_.Script("segments=3 seglen=2");
  EXPECT_TRUE(driver_.SynthesizeToBuffer("three", false, bytes));
  EXPECT_EQ(bytes, (Bytes{1, 1, 2, 2, 3, 3}));

  core_.Script("segments=2 seglen=1 then=2900");
  EXPECT_FALSE(driver_.SynthesizeToBuffer("partial", true, bytes));
  EXPECT_EQ(bytes, (Bytes{1, 2}));  // partial output stays with the caller

  core_.Script("init=2870");
  EXPECT_FALSE(driver_.SynthesizeToBuffer("...", false, bytes));
  EXPECT_TRUE(bytes.empty());
}

TEST_F(EngineDriverTest, ReportsTheEnginesFormatAndVersion) {
  core_.Script("fmt=9 bps=16 sps=11025 channels=3 version=Core-2.5");
  EXPECT_EQ(driver_.FormatCode(), 9);
  EXPECT_EQ(driver_.BitsPerSample(), 16);
  EXPECT_EQ(driver_.SampleRate(), 11025);
  EXPECT_EQ(driver_.ChannelsAllowed(), 3);
  EXPECT_EQ(driver_.Version(), "Core-2.5");
  core_.Script("version=@256");  // fills the buffer without a terminator
  EXPECT_EQ(driver_.Version(), std::string(255, 'v'));
  core_.Script("version=");
  EXPECT_EQ(driver_.Version(), "unknown");
}

TEST_F(EngineDriverTest, PausesAreForwardedOnlyForIndicesOneToFour) {
  for (int32_t index : {0, 5, -1}) driver_.SetPause(index, 123);
  EXPECT_EQ(driver_.GetPause(0), 0);
  EXPECT_EQ(driver_.GetPause(5), 0);
  EXPECT_TRUE(core_.TakeCalls().empty());
  driver_.SetPause(4, 20);
  EXPECT_EQ(driver_.GetPause(4), 20);
  EXPECT_EQ(driver_.GetPause(1), 650);
  EXPECT_EQ(core_.TakeCalls(), (Calls{"set_pausation 4 20", "get_pausation 4", "get_pausation 1"}));
}

TEST_F(EngineDriverTest, MissingOptionalEntryPointsFallBack) {
  FakeCore bare(fake::kRequiredOnly);
  ASSERT_TRUE(bare.ok());
  EngineDriver driver;
  ASSERT_TRUE(driver.Load(bare.path()));
  bare.Script("segments=1 seglen=2");
  EXPECT_EQ(driver.FormatCode(), 7);
  EXPECT_EQ(driver.BitsPerSample(), 8);
  EXPECT_EQ(driver.SampleRate(), 8000);
  EXPECT_EQ(driver.ChannelsAllowed(), 0);
  EXPECT_EQ(driver.Version(), "unknown");
  driver.SetPause(1, 5);
  EXPECT_EQ(driver.GetPause(1), 0);
  EXPECT_TRUE(bare.TakeCalls().empty());
  Bytes bytes;
  bare.Script("segments=1 seglen=2");
  EXPECT_TRUE(driver.SynthesizeToBuffer("works", false, bytes));
  EXPECT_EQ(bytes, (Bytes{1, 1}));

  // Only the sample rate missing: the rest still comes from the engine.
  FakeCore no_rate(fake::kNoSampleRate);
  ASSERT_TRUE(no_rate.ok());
  EngineDriver other;
  ASSERT_TRUE(other.Load(no_rate.path()));
  no_rate.Script("sps=22050 fmt=9");
  EXPECT_EQ(other.SampleRate(), 8000);
  EXPECT_EQ(other.FormatCode(), 9);
}

TEST_F(EngineDriverTest, FailedLoadsFreeTheLibraryAndLeaveTheDriverRetryable) {
  EngineDriver driver;
  EXPECT_FALSE(driver.Load(FakePath(L"no_such_core.dll")));
  EXPECT_FALSE(driver.Load(L""));
  for (const wchar_t* name : fake::kMissingRequired) {
    EXPECT_FALSE(driver.Load(FakePath(name))) << fs::path(name).string();
    EXPECT_FALSE(driver.IsLoaded());
    EXPECT_EQ(GetModuleHandleW(FakePath(name).c_str()), nullptr) << fs::path(name).string();
  }
  EXPECT_FALSE(driver.Synthesize("text", false, nullptr, nullptr));
  EXPECT_EQ(driver.SampleRate(), 8000);  // nothing bound from the refused libraries

  ASSERT_TRUE(driver.Load(core_.path()));
  EXPECT_TRUE(driver.IsLoaded());
  // Loaded once for good: a later Load does not look at its path.
  EXPECT_TRUE(driver.Load(FakePath(L"no_such_core.dll")));
}

TEST(EngineDriverInstance, IsOneObjectPerProcess) {
  EXPECT_EQ(&EngineDriver::Instance(), &EngineDriver::Instance());
  EXPECT_STREQ(EngineDriver::StatusName(2840), "invalid input file");
}

// Log lines, each from a fresh probe process (the log picks its file once per process).
class EngineDriverLogTest : public testing::CleanUserState {
 protected:
  // The messages of the probe's log lines, without their time and tag.
  std::vector<std::string> RunProbe(const std::vector<std::wstring>& args) {
    std::wstring probe = testing::ProgramFolder() + L"\\engine_driver_probe.exe";
    EXPECT_EQ(testing::RunProcess(probe, args), std::optional<DWORD>(0));
    std::ifstream in(log_folder() / L"quellmar.log", std::ios::binary);
    std::vector<std::string> messages;
    static const std::regex kLine(R"(^[-0-9]+ [:.0-9]+ \[[^\]]*\] (.*)\r$)");
    for (std::string line; std::getline(in, line);) {
      std::smatch m;
      EXPECT_TRUE(std::regex_match(line, m, kLine)) << line;
      if (!m.empty()) messages.push_back(m[1].str());
    }
    return messages;
  }
  static std::string Narrow(const std::wstring& w) { return fs::path(w).string(); }
};

TEST_F(EngineDriverLogTest, LoadLinesNameThePathAndTheSystemError) {
  std::wstring missing = FakePath(L"no_such_core.dll");
  std::wstring lacking = FakePath(fake::kMissingRequired[4]);
  std::wstring full = FakePath(fake::kFull);
  EXPECT_EQ(RunProbe({L"load", missing, L"load", lacking, L"load", full, L"load", missing}),
            (std::vector<std::string>{
                "qmcore.dll failed to load from " + Narrow(missing) + " (error 126)",
                "qmcore.dll loaded but is missing the synthesis entry points -- this is not an "
                "Quellmar 3.x core",
                "qmcore.dll Fake 1.0 loaded from " + Narrow(full) +
                    ": format 7, 8-bit, 8000 Hz, 1 channels allowed"}));
}

TEST_F(EngineDriverLogTest, SynthesisFailuresAreLoggedAndOrdinaryOutcomesAreNot) {
  std::vector<std::string> messages = RunProbe({L"load",        FakePath(fake::kFull),
                                                L"script",      L"init=2870",
                                                L"synth",       L"?!.",
                                                L"synth",       L"",
                                                L"script",      L"segments=0 then=1",
                                                L"synth",       L"quiet",
                                                L"script",      L"segments=3",
                                                L"synth-stop",  L"stopped",
                                                L"script",      L"init=2700",
                                                L"synth",       L"x",
                                                L"script",      L"segments=2 then=1",
                                                L"synth",       L"x",
                                                L"script",      L"segments=1 then=12345",
                                                L"synth",       L"x",
                                                L"script",      L"segments=3 count@2=1048577",
                                                L"synth",       L"x",
                                                L"script",      L"endless=1 seglen=1",
                                                L"synth",       L"x",
                                                L"script",      L"segments=3",
                                                L"synth-throw", L"x"});
  ASSERT_FALSE(messages.empty());
  messages.erase(messages.begin());  // the load line
  EXPECT_EQ(messages,
            (std::vector<std::string>{
                "initialize_SSB failed: 2700 (null argument)",
                "synth_to_buffer failed at segment 2: 1 (no more speech in this utterance)",
                "synth_to_buffer failed at segment 1: 12345 (unknown engine status)",
                "synth_to_buffer reported 1048577 bytes into a 1048576 byte buffer; stopping",
                "synthesis produced more than 100000 segments; stopping",
                "synthesis consumer failed at segment 0; stopping"}));
}

}  // namespace
}  // namespace Quellmar
