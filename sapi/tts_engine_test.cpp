// The engine object driven directly with a scripted site, against the fake
// worker (which records the text it is sent) or the real one.
#include "sapi/tts_engine.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <thread>

#include "common/text_prep.h"
#include "common/voices.h"
#include "common/win_handles.h"
#include "sapi/module.h"
#include "sapi/sapi_test_support.h"
#include "sapi/speak_rules.h"
#include "sapi/voice_token.h"
#include "testing/user_state.h"
#include "worker_client/worker_client.h"

namespace Quellmar::sapi {
namespace {
using namespace Quellmar::sapi::testing;

// The events' own bits: SPFEI() adds the flag-check bits, which pass both tests.
constexpr ULONGLONG kWordInterest = 1ull << SPEI_WORD_BOUNDARY;
constexpr ULONGLONG kSentenceInterest = 1ull << SPEI_SENTENCE_BOUNDARY;

class EngineTest : public Quellmar::testing::CleanUserState {
 protected:
  void SetUp() override {
    CleanUserState::SetUp();
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    record_ = local_app_data() / L"fake-worker.txt";
    SetEnvironmentVariableW(L"QM_FAKE_WORKER", L"");
    SetEnvironmentVariableW(L"QM_FAKE_WORKER_RECORD", record_.c_str());
    UseWorker(FakeWorkerPath());
    log_start_ = TestLogSize();
    engine_ = com::IUnknownImpl<ISpTTSEngineImpl>::Make();
    site_ = ScriptedSite::Make();
  }
  void TearDown() override {
    site_.reset();
    engine_.reset();
    StopWorker();
    DetachModule();
    SetEnvironmentVariableW(L"QM_FAKE_WORKER_RECORD", nullptr);
    CoUninitialize();
    CleanUserState::TearDown();
  }
  void UseWorker(const std::wstring& path) {
    StopWorker();
    ASSERT_TRUE(AttachModule(GetModuleHandleW(nullptr), std::make_unique<WorkerClient>(path)));
  }
  void StopWorker() {
    if (WorkerClient* w = ProcessWorkerClient()) w->RequestShutdown();
  }
  HRESULT Speak(Fragments& f) {
    return engine_->Speak(0, kSPDFID_WaveFormatEx, nullptr, f.head(), site_.get());
  }
  std::string LogText() { return TestLogSince(log_start_); }
  std::vector<std::string> Sent() { return RecordedTexts(record_); }

  std::filesystem::path record_;
  uint64_t log_start_ = 0;
  com_ptr<com::IUnknownImpl<ISpTTSEngineImpl>> engine_;
  com_ptr<ScriptedSite> site_;
};

TEST_F(EngineTest, BookmarksRaiseTheirNumberAndTextWithoutAudio) {
  Fragments f;
  f.Add(SPVA_Bookmark, L"42");
  f.Add(SPVA_Bookmark, L"x7");
  f.Add(SPVA_Bookmark, L"");
  f.Add(SPVA_Bookmark, L" -5th");
  f.Add(SPVA_Bookmark, L"no digits");
  ASSERT_EQ(Speak(f), S_OK);
  auto marks = site_->EventsOf(SPEI_TTS_BOOKMARK);
  ASSERT_EQ(marks.size(), 5u);
  EXPECT_EQ(marks[0].wparam, 42u);
  EXPECT_EQ(marks[0].type, SPET_LPARAM_IS_STRING);
  EXPECT_EQ(marks[0].text, L"42");
  EXPECT_EQ(marks[0].offset, 0u);
  EXPECT_EQ(marks[0].stream, 0u);
  EXPECT_EQ(marks[1].wparam, 0u);
  EXPECT_EQ(marks[1].text, L"x7");
  EXPECT_EQ(marks[2].type, SPET_LPARAM_IS_UNDEFINED);
  EXPECT_EQ(marks[2].wparam, 0u);
  EXPECT_EQ(marks[3].wparam, static_cast<WPARAM>(static_cast<LONG_PTR>(-5)));  // sign-extended
  EXPECT_EQ(marks[4].wparam, 0u);
  EXPECT_TRUE(site_->writes.empty());
  EXPECT_TRUE(Sent().empty());
}

TEST_F(EngineTest, SilenceIsWrittenInPiecesOf4096Bytes) {
  Fragments f;
  f.Add(SPVA_Silence).State.SilenceMSecs = 250;
  f.Add(SPVA_Bookmark, L"1");
  f.Add(SPVA_Silence).State.SilenceMSecs = 0;
  ASSERT_EQ(Speak(f), S_OK);
  EXPECT_EQ(site_->writes, (std::vector<uint32_t>{4096, 3904}));
  EXPECT_EQ(site_->audio, std::vector<uint8_t>(8000, 0));
  EXPECT_EQ(site_->EventsOf(SPEI_TTS_BOOKMARK).at(0).offset, 8000u);
}

TEST_F(EngineTest, WordEventsCarryTheFragmentsOffsetsAndStartingAudio) {
  site_->interest = kWordInterest;
  Fragments f;
  f.Add(SPVA_Silence).State.SilenceMSecs = 10;  // 320 bytes before the words
  SPVTEXTFRAG& words = f.Speak(L"don't stop-gap, 42x!");
  words.ulTextSrcOffset = 100;
  f.Speak(L"next");
  ASSERT_EQ(Speak(f), S_OK);
  EXPECT_TRUE(site_->EventsOf(SPEI_SENTENCE_BOUNDARY).empty());
  auto w = site_->EventsOf(SPEI_WORD_BOUNDARY);
  ASSERT_EQ(w.size(), 4u);
  const std::pair<WPARAM, LPARAM> expected[] = {{5, 100}, {8, 106}, {3, 116}};
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(w[i].wparam, expected[i].first) << i;
    EXPECT_EQ(w[i].lparam, expected[i].second) << i;
    EXPECT_EQ(w[i].offset, 320u) << i;
    EXPECT_EQ(w[i].type, SPET_LPARAM_IS_UNDEFINED);
  }
  // The next fragment's words start where the first fragment's audio ended:
  // the fake worker makes 200 bytes a character.
  EXPECT_EQ(w[3].offset, 320u + 200u * std::string("don't stop-gap, 42x!").size());
  EXPECT_EQ(Sent(), (std::vector<std::string>{"don't stop-gap, 42x!", "next"}));
}

TEST_F(EngineTest, AFragmentOfSpacesRaisesItsSentenceButSendsNothing) {
  site_->interest = kSentenceInterest | kWordInterest;
  Fragments f;
  SPVTEXTFRAG& spaces = f.Speak(L"     ");
  spaces.ulTextSrcOffset = 7;
  ASSERT_EQ(Speak(f), S_OK);
  auto s = site_->EventsOf(SPEI_SENTENCE_BOUNDARY);
  ASSERT_EQ(s.size(), 1u);
  EXPECT_EQ(s[0].wparam, 5u);
  EXPECT_EQ(s[0].lparam, 7);
  EXPECT_TRUE(site_->EventsOf(SPEI_WORD_BOUNDARY).empty());
  EXPECT_TRUE(site_->writes.empty());
  EXPECT_TRUE(Sent().empty());
  EXPECT_EQ(LogText().find("fragment:"), std::string::npos);
}

TEST_F(EngineTest, HostAndFragmentRateAndVolumeCombine) {
  site_->rate = 10;
  site_->volume = 50;
  Fragments f;
  SPVTEXTFRAG& a = f.Speak(L"one");
  a.State.RateAdj = 5;
  a.State.Volume = 50;
  SPVTEXTFRAG& b = f.Speak(L"two");
  b.State.RateAdj = -3;
  b.State.PitchAdj.MiddleAdj = 40;
  // Once the first fragment's audio is out (the next call is the second
  // fragment's start), the host has lowered its rate and raised its volume.
  bool changed = false;
  site_->actions = [&](int, uint64_t written) -> DWORD {
    if (written == 0 || changed) return 0;
    changed = true;
    site_->rate = -2;
    site_->volume = 100;
    return SPVES_RATE | SPVES_VOLUME;
  };
  ASSERT_EQ(Speak(f), S_OK);
  const std::string log = LogText();
  EXPECT_NE(log.find("=== Speak: voice=Quellmar Oskel, host rate=10 volume=50 ==="),
            std::string::npos)
      << log;
  EXPECT_NE(log.find("fragment: action=0 rate=10 pitch=0 volume=25 "), std::string::npos) << log;
  EXPECT_NE(log.find("fragment: action=0 rate=-5 pitch=10 volume=100 "), std::string::npos) << log;
  EXPECT_EQ(site_->rate_calls, 2);
  EXPECT_EQ(site_->volume_calls, 2);
}

TEST_F(EngineTest, FailedSiteQueriesKeepTheStartValues) {
  site_->query_result = E_FAIL;
  site_->rate = 7;
  site_->interest = kWordInterest;
  Fragments f;
  f.Speak(L"word");
  ASSERT_EQ(Speak(f), S_OK);
  EXPECT_NE(LogText().find("host rate=0 volume=100"), std::string::npos);
  EXPECT_TRUE(site_->EventsOf(SPEI_WORD_BOUNDARY).empty());
}

TEST_F(EngineTest, SkipBeforeTheSecondFragmentEndsTheCall) {
  Fragments f;
  f.Add(SPVA_Bookmark, L"1");
  f.Speak(L"never spoken");
  f.Add(SPVA_Bookmark, L"3");
  site_->actions = [](int call, uint64_t) -> DWORD { return call == 1 ? SPVES_SKIP : 0; };
  ASSERT_EQ(Speak(f), S_OK);
  EXPECT_EQ(site_->skips, std::vector<long>{0});
  EXPECT_EQ(site_->EventsOf(SPEI_TTS_BOOKMARK).size(), 1u);
  EXPECT_TRUE(site_->writes.empty());
  EXPECT_TRUE(Sent().empty());
}

TEST_F(EngineTest, AbortDuringAChunksAudioStopsWithinOneWrite) {
  Fragments f;
  f.Speak(std::wstring(100, L'a'));  // 20000 bytes from the fake worker
  f.Speak(L"later");
  site_->actions = [](int, uint64_t written) -> DWORD { return written >= 4096 ? SPVES_ABORT : 0; };
  ASSERT_EQ(Speak(f), S_OK);
  EXPECT_EQ(site_->writes, std::vector<uint32_t>{4096});
  EXPECT_EQ(Sent().size(), 1u);
  const std::string log = LogText();
  EXPECT_NE(log.find("  <- 4096 bytes this fragment, 4096 total (host cancelled)"),
            std::string::npos)
      << log;
  // The client stays usable, and sent Cancel (the worker may read it only
  // when its pieces are all out, so look after the next request).
  site_ = ScriptedSite::Make();
  Fragments again;
  again.Speak(L"bc");
  ASSERT_EQ(Speak(again), S_OK);
  EXPECT_EQ(site_->audio.size(), 400u);
  EXPECT_NE(ReadFileText(record_).find(" 3\r\n"), std::string::npos);
}

TEST_F(EngineTest, SkipDuringSilenceCompletesTheSkip) {
  Fragments f;
  f.Add(SPVA_Silence).State.SilenceMSecs = 1000;
  f.Speak(L"after");
  site_->actions = [](int, uint64_t written) -> DWORD { return written > 0 ? SPVES_SKIP : 0; };
  ASSERT_EQ(Speak(f), S_OK);
  EXPECT_EQ(site_->writes, std::vector<uint32_t>{4096});
  EXPECT_EQ(site_->skips, std::vector<long>{0});
  EXPECT_TRUE(Sent().empty());
}

TEST_F(EngineTest, SpellOutAndNamedPunctuationReachTheWorker) {
  Fragments f;
  f.Add(SPVA_SpellOut, L"ab");
  f.Speak(L"a.b");
  ASSERT_EQ(Speak(f), S_OK);
  ASSERT_TRUE(Quellmar::testing::SetUserDword(L"Global", L"SpeakPunctuation", 1));
  Fragments g;
  g.Speak(L"a.b");
  g.Add(SPVA_Pronounce, L"c d");
  ASSERT_EQ(Speak(g), S_OK);
  EXPECT_EQ(Sent(), (std::vector<std::string>{"A B", "a.b", "a dot b", "c d"}));
}

TEST_F(EngineTest, UnknownActionsAndEmptyTextsAreIgnored) {
  site_->interest = kSentenceInterest | kWordInterest;
  Fragments f;
  f.Add(SPVA_Section, L"section");
  f.Add(SPVA_ParseUnknownTag, L"<tag>");
  f.Add(static_cast<SPVACTIONS>(99), L"unknown");
  f.Add(static_cast<SPVACTIONS>(-1), L"negative");
  f.Speak(L"");
  SPVTEXTFRAG& null_text = f.Speak(L"x");
  null_text.pTextStart = nullptr;
  ASSERT_EQ(Speak(f), S_OK);
  EXPECT_TRUE(site_->events.empty());
  EXPECT_TRUE(site_->writes.empty());
  EXPECT_TRUE(Sent().empty());
}

TEST_F(EngineTest, AHugeLengthStopsAtTheEndOfTheText) {
  site_->interest = kWordInterest;
  Fragments f;
  SPVTEXTFRAG& huge = f.Speak(L"short text");
  huge.ulTextLen = 0xFFFFFFFFu;
  SPVTEXTFRAG& mark = f.Add(SPVA_Bookmark, L"12");
  mark.ulTextLen = 0x7FFFFFFFu;
  ASSERT_EQ(Speak(f), S_OK);
  EXPECT_EQ(site_->EventsOf(SPEI_WORD_BOUNDARY).size(), 2u);
  EXPECT_EQ(Sent(), std::vector<std::string>{"short text"});
  EXPECT_EQ(site_->EventsOf(SPEI_TTS_BOOKMARK).at(0).text, L"12");
}

TEST_F(EngineTest, AMegabyteOfTextIsSentInChunks) {
  std::wstring text;
  while (text.size() < (1u << 20)) text += L"Lorem ipsum dolor sit amet. ";
  Fragments f;
  f.Speak(text);
  f.Add(SPVA_Bookmark, std::wstring(1u << 20, L'9'));
  // Abort after the second chunk's first write.
  site_->actions = [](int, uint64_t written) -> DWORD {
    return written > 100000 ? SPVES_ABORT : 0;
  };
  ASSERT_EQ(Speak(f), S_OK);
  auto sent = Sent();
  ASSERT_GE(sent.size(), 1u);
  for (const auto& chunk : sent) EXPECT_LE(chunk.size(), kChunkLimit);
  EXPECT_TRUE(site_->EventsOf(SPEI_TTS_BOOKMARK).empty());
  // A megabyte bookmark is raised whole, its number saturated.
  Fragments g;
  g.Add(SPVA_Bookmark, std::wstring(1u << 20, L'9'));
  site_ = ScriptedSite::Make();
  ASSERT_EQ(Speak(g), S_OK);
  auto marks = site_->EventsOf(SPEI_TTS_BOOKMARK);
  ASSERT_EQ(marks.size(), 1u);
  EXPECT_EQ(marks[0].text.size(), 1u << 20);
  EXPECT_EQ(marks[0].wparam, 2147483647u);
}

TEST_F(EngineTest, AFailedSiteWriteCancelsThatSynthesisOnly) {
  // The worker ends the cancelled synthesis at once, or only when its next
  // piece is due (50 ms on: later than an aborting host would wait).
  for (const wchar_t* mode : {L"", L"slow"}) {
    SCOPED_TRACE(mode[0] ? "slow worker" : "prompt worker");
    SetEnvironmentVariableW(L"QM_FAKE_WORKER", mode);
    UseWorker(FakeWorkerPath());
    std::filesystem::remove(record_);
    site_ = ScriptedSite::Make();
    // Two chunks (the first of several pieces), then a second fragment.
    std::wstring words;
    while (words.size() < 600) words += L"refused write ";
    Fragments f;
    f.Speak(words);
    f.Speak(L"second");
    site_->write_result = [](int write) { return write == 0 ? E_FAIL : S_OK; };
    ASSERT_EQ(Speak(f), S_OK);
    const std::vector<std::string> sent = Sent();
    ASSERT_EQ(sent.size(), 3u);
    EXPECT_EQ(sent.back(), "second");
    // Everything but the refused chunk's audio: 200 bytes a character.
    EXPECT_EQ(site_->audio.size(), 200 * (sent[1].size() + sent[2].size())) << LogText();
    const std::string log = LogText();
    EXPECT_NE(log.find("SAPI Write failed: hr=0x80004005, 8192 bytes left"), std::string::npos);
    EXPECT_EQ(log.find("did not answer"), std::string::npos) << log;
  }
}

TEST_F(EngineTest, ShortWritesAreResent) {
  site_->report_written = 1000;
  Fragments f;
  f.Speak(std::wstring(30, L'z'));  // 6000 bytes
  ASSERT_EQ(Speak(f), S_OK);
  EXPECT_EQ(site_->audio.size(), 6000u);
  EXPECT_EQ(site_->writes.size(), 6u);
  // The fake worker's samples are (i + n) & 0x7FFF: check order survived.
  EXPECT_EQ(site_->audio[2], 31);
  EXPECT_EQ(site_->audio[5998], 30 + 2999 - 256 * 11);
}

TEST_F(EngineTest, AMissingWorkerEndsTheUtteranceQuietly) {
  UseWorker(L"C:\\nowhere\\x86\\QuellmarServer.exe");
  Fragments f;
  f.Speak(L"nobody listens");
  f.Speak(L"still nobody");
  ASSERT_EQ(Speak(f), S_OK);
  EXPECT_TRUE(site_->writes.empty());
  const std::string log = LogText();
  const size_t first = log.find("  the worker did not answer; the utterance stops here");
  EXPECT_NE(first, std::string::npos);
  EXPECT_EQ(log.find("the worker did not answer", first + 10), std::string::npos) << log;
}

TEST_F(EngineTest, AnAbortWhileTheWorkerIsSilentEndsTheCallAndTheNextOneSpeaks) {
  SetEnvironmentVariableW(L"QM_FAKE_WORKER", L"silentonce");
  // The worker sends one piece and then nothing; the host purges 200 ms later.
  DWORD first_audio = 0, abort_at = 0;
  site_->actions = [&](int, uint64_t written) -> DWORD {
    if (written == 0) return 0;
    const DWORD now = GetTickCount();
    if (first_audio == 0) first_audio = now;
    if (now - first_audio < 200) return 0;
    if (abort_at == 0) abort_at = now;
    return SPVES_ABORT;
  };
  Fragments f;
  f.Speak(std::wstring(300, L's'));
  f.Speak(L"never reached");
  ASSERT_EQ(Speak(f), S_OK);
  const DWORD returned = GetTickCount();
  ASSERT_NE(abort_at, 0u);
  std::printf("abort while the worker is silent -> Speak returned: %lu ms\n",
              static_cast<unsigned long>(returned - abort_at));
  EXPECT_LT(returned - abort_at, 5000u);  // the worker stays silent for 30 s
  EXPECT_EQ(site_->audio.size(), 8192u);
  EXPECT_EQ(Sent().size(), 1u);
  EXPECT_EQ(LogText().find("the worker did not answer"), std::string::npos) << LogText();

  // The next call is served on a working connection.
  auto next = ScriptedSite::Make();
  Fragments g;
  g.Speak(std::wstring(300, L's'));
  ASSERT_EQ(engine_->Speak(0, kSPDFID_WaveFormatEx, nullptr, g.head(), next.get()), S_OK);
  EXPECT_EQ(next->audio.size(), 60000u);
}

// While the engine waits for audio (the worker takes 50 ms for each piece
// here) it asks the host for its actions every millisecond or so, not every
// 20 ms like the tools: a key press stops speech at once.
TEST_F(EngineTest, WhileAwaitingAudioTheHostIsAskedEveryFewMilliseconds) {
  SetEnvironmentVariableW(L"QM_FAKE_WORKER", L"slow");
  Fragments warm;
  warm.Speak(L"a");
  ASSERT_EQ(Speak(warm), S_OK);  // the worker's launch is not what is measured
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  auto now_ms = [&] {
    LARGE_INTEGER c;
    QueryPerformanceCounter(&c);
    return 1000.0 * static_cast<double>(c.QuadPart) / static_cast<double>(frequency.QuadPart);
  };
  double first = 0, audio = 0, skip = 0;
  int before_audio = 0;
  site_ = ScriptedSite::Make();
  site_->actions = [&](int, uint64_t written) -> DWORD {
    const double t = now_ms();
    if (written == 0) {
      if (first == 0) first = t;
      ++before_audio;
      return 0;
    }
    if (audio == 0) audio = t;
    if (t - audio < 20) return 0;
    if (skip == 0) skip = t;
    return SPVES_SKIP;
  };
  Fragments f;
  f.Speak(std::wstring(300, L's'));
  ASSERT_EQ(Speak(f), S_OK);
  const double returned = now_ms();
  ASSERT_GT(audio, first);
  std::printf(
      "awaiting the first piece for %.1f ms: the host asked %d times; skip -> return %.1f ms\n",
      audio - first, before_audio, returned - skip);
  EXPECT_GE(before_audio, (audio - first) / 5);
  EXPECT_EQ(site_->skips, std::vector<long>{0});
  EXPECT_LT(site_->audio.size(), 60000u);
}

TEST_F(EngineTest, ASiteBlockedInWriteHoldsUpNoOtherEngine) {
  // Engine A's output is paused (its Write blocks); engine B, with a site of
  // its own, speaks meanwhile.
  unique_kernel_handle blocked(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  unique_kernel_handle release(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  auto site_a = ScriptedSite::Make();
  site_a->write_result = [&](int call) {
    if (call == 0) {
      SetEvent(blocked.get());
      WaitForSingleObject(release.get(), 4000);
    }
    return S_OK;
  };
  HRESULT a_result = E_FAIL;
  std::thread a([&] {
    auto engine = com::IUnknownImpl<ISpTTSEngineImpl>::Make();
    Fragments f;
    f.Speak(std::wstring(300, L'a'));
    a_result = engine->Speak(0, kSPDFID_WaveFormatEx, nullptr, f.head(), site_a.get());
  });
  ASSERT_EQ(WaitForSingleObject(blocked.get(), 10000), WAIT_OBJECT_0);
  Fragments g;
  g.Speak(L"Short notice.");
  ASSERT_EQ(Speak(g), S_OK);
  EXPECT_EQ(site_->audio.size(), 13u * 200);
  // B was done while A was still paused.
  EXPECT_EQ(WaitForSingleObject(release.get(), 0), static_cast<DWORD>(WAIT_TIMEOUT));
  SetEvent(release.get());
  a.join();
  EXPECT_EQ(a_result, S_OK);
  EXPECT_EQ(site_a->audio.size(), 60000u);
}

TEST_F(EngineTest, SpeakRejectsNullsAndWorksOnlyWithAClient) {
  Fragments f;
  f.Speak(L"x");
  EXPECT_EQ(engine_->Speak(0, GUID_NULL, nullptr, nullptr, site_.get()), E_INVALIDARG);
  EXPECT_EQ(engine_->Speak(0, GUID_NULL, nullptr, f.head(), nullptr), E_INVALIDARG);
  StopWorker();
  DetachModule();
  EXPECT_EQ(Speak(f), E_FAIL);
}

TEST_F(EngineTest, EnginesOnSeveralThreadsShareTheClient) {
  // Each thread has its own engine and site; the one client serialises the
  // requests, and every utterance arrives whole and in order.
  constexpr int kThreads = 4;
  std::vector<std::thread> threads;
  std::vector<com_ptr<ScriptedSite>> sites(kThreads);
  std::vector<HRESULT> results(kThreads, E_FAIL);
  for (int t = 0; t < kThreads; ++t) {
    sites[t] = ScriptedSite::Make();
    threads.emplace_back([&, t] {
      auto engine = com::IUnknownImpl<ISpTTSEngineImpl>::Make();
      Fragments f;
      for (int i = 0; i < 5; ++i) f.Speak(std::wstring(10 + t, L'a' + t));
      results[t] = engine->Speak(0, kSPDFID_WaveFormatEx, nullptr, f.head(), sites[t].get());
    });
  }
  for (auto& th : threads) th.join();
  for (int t = 0; t < kThreads; ++t) {
    EXPECT_EQ(results[t], S_OK);
    const size_t n = 10 + t;
    ASSERT_EQ(sites[t]->audio.size(), 5 * n * 200) << t;
    // Sample 0 of each fragment's audio is n: nobody else's audio got in.
    for (int i = 0; i < 5; ++i) EXPECT_EQ(sites[t]->audio[i * n * 200], n) << t;
  }
}

TEST_F(EngineTest, OutputFormatIsAlways16kMonoPcm) {
  GUID id{};
  WAVEFORMATEX* wf = nullptr;
  WAVEFORMATEX asked{WAVE_FORMAT_PCM, 2, 44100, 176400, 4, 16, 0};
  ASSERT_EQ(engine_->GetOutputFormat(&kSPDFID_Text, &asked, &id, &wf), S_OK);
  ASSERT_NE(wf, nullptr);
  EXPECT_TRUE(IsEqualGUID(id, kSPDFID_WaveFormatEx));
  EXPECT_EQ(wf->wFormatTag, WAVE_FORMAT_PCM);
  EXPECT_EQ(wf->nChannels, 1);
  EXPECT_EQ(wf->nSamplesPerSec, 16000u);
  EXPECT_EQ(wf->nAvgBytesPerSec, 32000u);
  EXPECT_EQ(wf->nBlockAlign, 2);
  EXPECT_EQ(wf->wBitsPerSample, 16);
  EXPECT_EQ(wf->cbSize, 0);
  CoTaskMemFree(wf);
  wf = nullptr;
  ASSERT_EQ(engine_->GetOutputFormat(nullptr, nullptr, &id, &wf), S_OK);
  CoTaskMemFree(wf);
  EXPECT_EQ(engine_->GetOutputFormat(nullptr, nullptr, nullptr, &wf), E_POINTER);
  EXPECT_EQ(engine_->GetOutputFormat(nullptr, nullptr, &id, nullptr), E_POINTER);
}

TEST_F(EngineTest, InterfacesOfTheEngine) {
  com_ptr<ISpTTSEngine> tts;
  com_ptr<ISpObjectWithToken> with_token;
  ASSERT_EQ(engine_->QueryInterface(kIID_ISpTTSEngine, tts.put_void()), S_OK);
  ASSERT_EQ(engine_->QueryInterface(kIID_ISpObjectWithToken, with_token.put_void()), S_OK);
  EXPECT_NE(static_cast<void*>(tts.get()), static_cast<void*>(with_token.get()));
  com_ptr<IUnknown> a, b;
  ASSERT_EQ(tts->QueryInterface(__uuidof(IUnknown), a.put_void()), S_OK);
  ASSERT_EQ(with_token->QueryInterface(__uuidof(IUnknown), b.put_void()), S_OK);
  EXPECT_EQ(static_cast<void*>(a.get()), static_cast<void*>(tts.get()));
  EXPECT_EQ(a.get(), b.get());
  void* none = reinterpret_cast<void*>(1);
  EXPECT_EQ(tts->QueryInterface(kIID_ISpDataKey, &none), E_NOINTERFACE);
  EXPECT_EQ(none, nullptr);
  EXPECT_EQ(tts->QueryInterface(kIID_ISpDataKey, nullptr), E_POINTER);
}

// ---- tokens given to the engine

com_ptr<FakeToken> TokenWithAttributes(value_map attributes) {
  auto attrs = com::IUnknownImpl<ISpDataKeyImpl>::Make(L"", std::move(attributes));
  // A root whose OpenKey("Attributes") answers `attrs`.
  struct Root : ISpDataKeyImpl {
    Root(ISpDataKey* a) : ISpDataKeyImpl(L"", value_map{}), attrs(a) {}
    STDMETHODIMP OpenKey(LPCWSTR name, ISpDataKey** key) noexcept override {
      if (!name || _wcsicmp(name, L"Attributes") != 0) return SPERR_NOT_FOUND;
      *key = com_ptr<ISpDataKey>(attrs.get()).detach();
      return S_OK;
    }
    com_ptr<ISpDataKey> attrs;
  };
  auto key = com::IUnknownImpl<Root>::Make(attrs.get());
  return FakeToken::Make(key.get());
}

TEST_F(EngineTest, SetObjectTokenReadsTheVoiceKey) {
  auto measured = FakeToken::Make(com::IUnknownImpl<voice_token>::Make(4).get());
  ASSERT_EQ(engine_->SetObjectToken(measured.get()), S_OK);
  EXPECT_EQ(engine_->voice_index(), 4);
  EXPECT_NE(LogText().find("SetObjectToken: Quellmar Oskel Measured"), std::string::npos);

  com_ptr<ISpObjectToken> got;
  ASSERT_EQ(engine_->GetObjectToken(got.put()), S_OK);
  EXPECT_EQ(static_cast<void*>(got.get()), static_cast<void*>(measured.get()));

  // Case matters for the key; a missing attribute is voice 0 too.
  ASSERT_EQ(engine_->SetObjectToken(TokenWithAttributes({{L"Quellmar", L"Measured"}}).get()), S_OK);
  EXPECT_EQ(engine_->voice_index(), 0);
  ASSERT_EQ(engine_->SetObjectToken(TokenWithAttributes({{L"Quellmar", L"custom"}}).get()), S_OK);
  EXPECT_EQ(engine_->voice_index(), 7);
  ASSERT_EQ(engine_->SetObjectToken(TokenWithAttributes({{L"Name", L"x"}}).get()), S_OK);
  EXPECT_EQ(engine_->voice_index(), 0);

  // No Attributes subkey: refused, voice and token unchanged.
  ASSERT_EQ(engine_->SetObjectToken(measured.get()), S_OK);
  auto bare = FakeToken::Make(com::IUnknownImpl<ISpDataKeyImpl>::Make(L"", value_map{}).get());
  EXPECT_EQ(engine_->SetObjectToken(bare.get()), E_INVALIDARG);
  EXPECT_EQ(engine_->voice_index(), 4);
  ASSERT_EQ(engine_->GetObjectToken(got.put()), S_OK);
  EXPECT_EQ(static_cast<void*>(got.get()), static_cast<void*>(measured.get()));
  EXPECT_EQ(engine_->SetObjectToken(nullptr), E_INVALIDARG);
}

TEST_F(EngineTest, GetObjectTokenWithoutAToken) {
  ISpObjectToken* out = reinterpret_cast<ISpObjectToken*>(1);
  EXPECT_EQ(engine_->GetObjectToken(&out), E_UNEXPECTED);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(engine_->GetObjectToken(nullptr), E_POINTER);
}

TEST_F(EngineTest, TheEngineReleasesItsTokenWhenDestroyed) {
  auto token = FakeToken::Make(com::IUnknownImpl<voice_token>::Make(1).get());
  ASSERT_EQ(engine_->SetObjectToken(token.get()), S_OK);
  engine_.reset();
  // Only our own reference is left: AddRef gives 2, Release 1.
  EXPECT_EQ(token->AddRef(), 2u);
  EXPECT_EQ(token->Release(), 1u);
}

// ---- the real worker

TEST_F(EngineTest, TheRealWorkerSpeaksInWritesOf4096BytesAtMost) {
  const std::wstring worker = RealWorkerPath();
  if (worker.empty()) GTEST_SKIP() << "no staged worker under QM_SAPI_WORKER_ROOT";
  UseWorker(worker);
  site_->interest = kSentenceInterest | kWordInterest;
  Fragments f;
  f.Speak(L"Menu bar, File, submenu.");
  f.Add(SPVA_Bookmark, L"7");
  ASSERT_EQ(Speak(f), S_OK);
  EXPECT_GT(site_->audio.size(), 16000u);  // well over half a second
  EXPECT_EQ(site_->audio.size() % 2, 0u);
  for (uint32_t w : site_->writes) EXPECT_LE(w, kSiteWriteBytes);
  EXPECT_EQ(site_->EventsOf(SPEI_WORD_BOUNDARY).size(), 4u);
  EXPECT_EQ(site_->EventsOf(SPEI_TTS_BOOKMARK).at(0).offset, site_->audio.size());
}

}  // namespace
}  // namespace Quellmar::sapi
