// WorkerClient under Wine against a scripted fake worker, in real processes.
#include "worker_client/worker_client.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <ostream>
#include <sstream>
#include <thread>

#include "testing/user_state.h"
#include "testing/win_process.h"

namespace Quellmar {
namespace {
namespace fs = std::filesystem;
using protocol::kServerMutexName;
// The longest text the worker takes in one request.
constexpr uint32_t kServerPayloadLimitForTest =
    protocol::kServerPayloadLimit - protocol::kRequestFixedBytes;

bool ServerMutexExists() {
  unique_kernel_handle m(OpenMutexW(SYNCHRONIZE, FALSE, kServerMutexName));
  return m.valid();
}

bool WaitUntil(const std::function<bool()>& condition, DWORD timeout_ms) {
  DWORD start = GetTickCount();
  while (!condition()) {
    if (GetTickCount() - start > timeout_ms) return false;
    Sleep(20);
  }
  return true;
}

std::string ReadText(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

size_t Count(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

void SetHklmInstallLocation(REGSAM view, const std::wstring& folder) {
  unique_reg_key key;
  ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, kInstallKey, 0, nullptr, 0, KEY_SET_VALUE | view,
                            nullptr, key.put(), nullptr),
            ERROR_SUCCESS);
  RegSetValueExW(key.get(), kInstallLocationValue, 0, REG_SZ,
                 reinterpret_cast<const BYTE*>(folder.c_str()),
                 static_cast<DWORD>((folder.size() + 1) * sizeof(wchar_t)));
}

struct Collected {
  int callbacks = 0;
  std::vector<uint8_t> audio;
  bool stop_after_first = false;
};
bool Collect(const unsigned char* bytes, uint32_t count, void* context) {
  auto* c = static_cast<Collected*>(context);
  ++c->callbacks;
  c->audio.insert(c->audio.end(), bytes, bytes + count);
  return !c->stop_after_first;
}

// The fake worker's audio for a text of n characters.
std::vector<uint8_t> Expected(size_t n) {
  std::vector<uint8_t> out;
  for (size_t i = 0; i < n * 100; ++i) {
    uint16_t v = static_cast<uint16_t>((i + n) & 0x7FFF);
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
  }
  return out;
}

struct Counts {
  unsigned handles = 0;
  unsigned threads = 0;
  bool operator==(const Counts&) const = default;
};
std::ostream& operator<<(std::ostream& o, const Counts& c) {
  return o << c.handles << " handles, " << c.threads << " threads";
}
Counts Now() { return {testing::CountOwnHandles(), testing::CountOwnThreads()}; }

class WorkerClientTest : public testing::CleanUserState {
 protected:
  void SetUp() override {
    CleanUserState::SetUp();
    ASSERT_FALSE(ServerMutexExists()) << "a worker from elsewhere is running";
    install_ = std::make_unique<testing::TempDir>("qm-client");
    fs::create_directories(root() / "x86");
    fs::create_directories(root() / "sub");
    bin_ = testing::ProgramFolder();
    fs::copy_file(fs::path(bin_) / "fake_worker.exe", worker());
    fs::copy_file(fs::path(bin_) / "worker_client_probe.exe", root() / "sub" / "probe.exe");
    SetEnvironmentVariableW(L"QM_FAKE_WORKER_RECORD", record().wstring().c_str());
    SetEnvironmentVariableW(L"QM_FAKE_WORKER", L"");
  }
  void TearDown() override {
    if (ServerMutexExists()) WorkerClient(worker().wstring()).RequestShutdown();
    if (ServerMutexExists()) {  // a worker scripted not to listen: end it by its id
      std::istringstream lines(ReadText(record()));
      std::string word;
      unsigned long pid;
      while (lines >> word >> pid) {
        if (word != "serve") continue;
        unique_kernel_handle p(OpenProcess(PROCESS_TERMINATE, FALSE, pid));
        if (p) TerminateProcess(p.get(), 1);
      }
    }
    EXPECT_TRUE(WaitUntil([] { return !ServerMutexExists(); }, 5000));
    SetEnvironmentVariableW(L"QM_FAKE_WORKER_RECORD", nullptr);
    SetEnvironmentVariableW(L"QM_FAKE_WORKER", nullptr);
    install_.reset();
    CleanUserState::TearDown();
  }
  fs::path root() const { return install_->path(); }
  fs::path worker() const { return root() / "x86" / "QuellmarServer.exe"; }
  fs::path record() const { return root() / "record.txt"; }
  std::string Records() const { return ReadText(record()); }
  std::string ClientLog() const { return ReadText(log_folder() / "quellmar.log"); }
  // What the process holds once a client has spoken (or tried to) and gone.
  Counts WarmCounts() {
    {
      WorkerClient warm(worker().wstring());
      WorkerInfo info;
      warm.RequestInfo(info);
    }
    return Now();
  }
  // Starts the fake worker in `mode` and waits until it serves.
  void StartWorker(const wchar_t* mode) {
    testing::ChildProcess w =
        testing::StartProcess(worker().wstring(), {}, {{L"QM_FAKE_WORKER", std::wstring(mode)}});
    ASSERT_TRUE(w.started());
    ASSERT_TRUE(WaitUntil([] { return ServerMutexExists(); }, 10000));
  }

  // Runs the probe from `folder` (default: root\sub) and returns what it wrote.
  std::string Probe(const std::vector<std::wstring>& args, const fs::path& exe = {}) {
    fs::path out = root() / ("out-" + std::to_string(++probes_) + ".txt");
    std::vector<std::wstring> a = args;
    a.push_back(out.wstring());
    auto code =
        testing::RunProcess((exe.empty() ? root() / "sub" / "probe.exe" : exe).wstring(), a);
    EXPECT_EQ(code, std::optional<DWORD>(0));
    return ReadText(out);
  }

  std::unique_ptr<testing::TempDir> install_;
  std::wstring bin_;
  int probes_ = 0;
};

TEST(WorkerPath, CandidatesInOrderX86First) {
  testing::TempDir dir("qm-path");
  fs::path a = dir.path() / "a", b = dir.path() / "b", c = dir.path() / "c";
  for (const auto& f : {a, b / "x86", c}) fs::create_directories(f);
  std::ofstream(b / "x86" / "QuellmarServer.exe") << "x";
  std::ofstream(b / "QuellmarServer.exe") << "x";
  std::ofstream(c / "QuellmarServer.exe") << "x";
  EXPECT_EQ(ChooseWorkerPath({a.wstring(), b.wstring() + L"\\", c.wstring()}),
            b.wstring() + L"\\x86\\QuellmarServer.exe");
  EXPECT_EQ(ChooseWorkerPath({a.wstring(), c.wstring()}), c.wstring() + L"\\QuellmarServer.exe");
  // Nothing found: the first candidate's x86 worker.
  EXPECT_EQ(ChooseWorkerPath({a.wstring()}), a.wstring() + L"\\x86\\QuellmarServer.exe");
  EXPECT_EQ(ChooseWorkerPath({}), L"");
}

TEST_F(WorkerClientTest, FoundThroughTheParentOfTheModulesFolderAndStartedOnFirstUse) {
  EXPECT_EQ(Probe({L"path"}), (root() / "x86" / "QuellmarServer.exe").string());
  EXPECT_EQ(Probe({L"synth", L"hello"}), "1 1 1000");
  EXPECT_EQ(Count(Records(), "serve "), 1u);
  EXPECT_NE(ClientLog().find("pipe: launching worker "), std::string::npos);
}

TEST_F(WorkerClientTest, ModuleFolderWinsOverRegistryFoldersWithoutTheWorker) {
  testing::TempDir elsewhere("qm-reg");
  SetHklmInstallLocation(KEY_WOW64_64KEY, elsewhere.path().wstring());
  SetHklmInstallLocation(KEY_WOW64_32KEY, elsewhere.path().wstring());
  fs::create_directories(root() / "app");
  fs::copy_file(root() / "sub" / "probe.exe", root() / "app" / "probe.exe");
  fs::copy_file(worker(), root() / "app" / "QuellmarServer.exe");
  EXPECT_EQ(Probe({L"path"}, root() / "app" / "probe.exe"),
            (root() / "app" / "QuellmarServer.exe").string());
  // A registry folder that holds the worker comes first.
  SetHklmInstallLocation(KEY_WOW64_32KEY, root().wstring());
  EXPECT_EQ(Probe({L"path"}, root() / "app" / "probe.exe"),
            (root() / "x86" / "QuellmarServer.exe").string());
}

TEST_F(WorkerClientTest, FourClientsAtOnceLaunchExactlyOneWorker) {
  std::vector<testing::ChildProcess> clients;
  for (int i = 0; i < 4; ++i) {
    fs::path out = root() / ("four-" + std::to_string(i) + ".txt");
    clients.push_back(testing::StartProcess((root() / "sub" / "probe.exe").wstring(),
                                            {L"synth", L"four", out.wstring()}));
  }
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(clients[i].Wait(30000), std::optional<DWORD>(0));
    EXPECT_EQ(ReadText(root() / ("four-" + std::to_string(i) + ".txt")), "1 1 800");
  }
  EXPECT_EQ(Count(Records(), "start "), 1u) << Records();
}

TEST_F(WorkerClientTest, AWorkerOfAnotherVersionIsReplaced) {
  testing::ChildProcess stale = testing::StartProcess(
      worker().wstring(), {}, {{L"QM_FAKE_WORKER", std::wstring(L"version2")}});
  ASSERT_TRUE(WaitUntil([] { return ServerMutexExists(); }, 5000));
  EXPECT_EQ(Probe({L"synth", L"again"}), "1 1 1000");
  EXPECT_EQ(stale.Wait(5000), std::optional<DWORD>(0));
  EXPECT_EQ(Count(Records(), "serve "), 2u);
  EXPECT_NE(ClientLog().find("pipe: worker speaks a different protocol version, replacing it"),
            std::string::npos);
}

TEST_F(WorkerClientTest, RefusingTheFirstPieceSendsOneCancelAndEndsTrue) {
  SetEnvironmentVariableW(L"QM_FAKE_WORKER", L"slow");
  WorkerClient client(worker().wstring());
  Collected c;
  c.stop_after_first = true;
  std::string text(300, 'a');  // 30,000 samples: eight pieces
  EXPECT_TRUE(client.RequestSynthesis(text.data(), 300, 1, 1, 1, false, nullptr, Collect, &c));
  EXPECT_EQ(c.callbacks, 1);
  EXPECT_EQ(Count(Records(), " 3\r\n"), 1u) << Records();  // exactly one Cancel arrived
  // The connection is in step for the next request.
  Collected d;
  EXPECT_TRUE(client.RequestSynthesis("xyz", 3, 1, 1, 1, false, nullptr, Collect, &d));
  EXPECT_EQ(d.audio, Expected(3));
}

TEST_F(WorkerClientTest, ShortPiecesAndAStrayAckAreSkipped) {
  SetEnvironmentVariableW(L"QM_FAKE_WORKER", L"shortpieces,ackmid");
  WorkerClient client(worker().wstring());
  Collected c;
  std::string text(100, 'q');
  EXPECT_TRUE(client.RequestSynthesis(text.data(), 100, 1, 1, 1, true, nullptr, Collect, &c));
  EXPECT_EQ(c.audio, Expected(100));
  EXPECT_EQ(c.callbacks, 3);  // 20,000 bytes: 8192, 8192, 3616
}

TEST_F(WorkerClientTest, ShortInfoReplyIsAFailureWithZeroes) {
  SetEnvironmentVariableW(L"QM_FAKE_WORKER", L"info51");
  WorkerClient client(worker().wstring());
  WorkerInfo info;
  info.engine_sample_rate = 5;
  EXPECT_FALSE(client.RequestInfo(info));
  WorkerInfo zero;
  EXPECT_EQ(std::memcmp(&info, &zero, sizeof(info)), 0);
}

TEST_F(WorkerClientTest, ImpostorsOversizedHeaderFailsAndTheNextRequestStartsAfresh) {
  SetEnvironmentVariableW(L"QM_FAKE_WORKER", L"oversize");
  WorkerClient client(worker().wstring());
  WorkerInfo info;
  EXPECT_FALSE(client.RequestInfo(info));
  // The unread bytes went with the closed pipe: a synthesis is in step.
  Collected c;
  EXPECT_TRUE(client.RequestSynthesis("abc", 3, 1, 1, 1, false, nullptr, Collect, &c));
  EXPECT_EQ(c.audio, Expected(3));
}

TEST_F(WorkerClientTest, OddLengthPieceIsDeliveredAsReceived) {
  SetEnvironmentVariableW(L"QM_FAKE_WORKER", L"oddpiece");
  WorkerClient client(worker().wstring());
  Collected c;
  std::string text(50, 'o');  // 10,000 bytes: 8192 (sent as 8191) and 1808
  EXPECT_TRUE(client.RequestSynthesis(text.data(), 50, 1, 1, 1, false, nullptr, Collect, &c));
  std::vector<uint8_t> expected = Expected(50);
  expected.erase(expected.begin() + 8191);
  EXPECT_EQ(c.audio, expected);
}

TEST_F(WorkerClientTest, ErrorFailsTheRequestButKeepsTheConnection) {
  SetEnvironmentVariableW(L"QM_FAKE_WORKER", L"error");
  WorkerClient client(worker().wstring());
  Collected c;
  EXPECT_FALSE(client.RequestSynthesis("abc", 3, 1, 1, 1, false, nullptr, Collect, &c));
  EXPECT_EQ(c.callbacks, 0);
  EXPECT_FALSE(client.RequestSynthesis("abc", 3, 1, 1, 1, false, nullptr, Collect, &c));
  EXPECT_EQ(Count(Records(), "serve "), 1u);
}

TEST_F(WorkerClientTest, AWorkerDyingMidStreamFailsOnceThenAFreshOneServes) {
  SetEnvironmentVariableW(L"QM_FAKE_WORKER", L"droponce");
  WorkerClient client(worker().wstring());
  Collected c;
  std::string text(200, 'd');
  EXPECT_FALSE(client.RequestSynthesis(text.data(), 200, 1, 1, 1, false, nullptr, Collect, &c));
  EXPECT_GE(c.callbacks, 1);  // what arrived before the death stays delivered
  std::vector<uint8_t> expected = Expected(200);
  ASSERT_LE(c.audio.size(), expected.size());
  EXPECT_TRUE(std::equal(c.audio.begin(), c.audio.end(), expected.begin()));
  ASSERT_TRUE(WaitUntil([] { return !ServerMutexExists(); }, 5000));
  Collected d;
  EXPECT_TRUE(client.RequestSynthesis(text.data(), 200, 1, 1, 1, false, nullptr, Collect, &d));
  EXPECT_EQ(d.audio, expected);
  EXPECT_EQ(Count(Records(), "serve "), 2u);
}

TEST_F(WorkerClientTest, ThreadsOfOneProcessEachGetTheirOwnAudioOverFewConnections) {
  // A thousand requests from four threads at once: every one whole and its
  // own, one worker, and no more connections than requests ever ran at once.
  WorkerClient client(worker().wstring());
  std::atomic<int> wrong{0};
  std::vector<std::thread> threads;
  for (int t = 1; t <= 4; ++t) {
    threads.emplace_back([&, t] {
      std::string text(static_cast<size_t>(t * 37), static_cast<char>('a' + t));
      for (int k = 0; k < 250; ++k) {
        Collected c;
        if (!client.RequestSynthesis(text.data(), static_cast<uint32_t>(text.size()), 1, 1, 1,
                                     false, nullptr, Collect, &c) ||
            c.audio != Expected(text.size())) {
          ++wrong;
        }
      }
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(wrong.load(), 0);
  const std::string records = Records();
  EXPECT_EQ(Count(records, "serve "), 1u);
  EXPECT_EQ(Count(records, "text "), 1000u);
  const size_t hellos = Count(records, " 0\r\n");
  EXPECT_GE(hellos, 1u);
  EXPECT_LE(hellos, 4u);
}

TEST_F(WorkerClientTest, OneCallerBlockedInItsCallbackHoldsUpNoOther) {
  const Counts before = WarmCounts();
  auto client_owner = std::make_unique<WorkerClient>(worker().wstring());
  WorkerClient& client = *client_owner;
  unique_kernel_handle blocked(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  unique_kernel_handle release(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  struct Stuck {
    HANDLE blocked, release;
    int pieces = 0;
  } stuck{blocked.get(), release.get()};
  auto stall = [](const unsigned char*, uint32_t, void* context) {
    auto* s = static_cast<Stuck*>(context);
    if (s->pieces++ == 0) {
      SetEvent(s->blocked);
      WaitForSingleObject(s->release, 20000);  // a paused output
    }
    return true;
  };
  std::string long_text(300, 'l');
  bool a_done = false;
  std::thread a([&] {
    a_done = client.RequestSynthesis(long_text.data(), 300, 1, 1, 1, false, nullptr, stall, &stuck);
  });
  ASSERT_EQ(WaitForSingleObject(blocked.get(), 10000), WAIT_OBJECT_0);
  Collected b;
  EXPECT_TRUE(client.RequestSynthesis("Short notice.", 13, 1, 1, 1, false, nullptr, Collect, &b));
  EXPECT_EQ(b.audio, Expected(13));
  // B was served while A was still stuck in its callback.
  EXPECT_EQ(WaitForSingleObject(release.get(), 0), static_cast<DWORD>(WAIT_TIMEOUT));
  SetEvent(release.get());
  a.join();
  EXPECT_TRUE(a_done);
  EXPECT_EQ(stuck.pieces, 8);
  client_owner.reset();
  blocked.reset();
  release.reset();
  EXPECT_EQ(Now(), before);
}

TEST_F(WorkerClientTest, AKeptConnectionToAVanishedWorkerIsRetriedOnAFreshOne) {
  const Counts before = WarmCounts();
  auto client_owner = std::make_unique<WorkerClient>(worker().wstring());
  WorkerClient& client = *client_owner;
  Collected first;
  ASSERT_TRUE(client.RequestSynthesis("before", 6, 1, 1, 1, false, nullptr, Collect, &first));
  // The worker goes away while the client keeps its connection.
  std::istringstream lines(Records());
  std::string word;
  unsigned long pid = 0;
  while (lines >> word) {
    if (word == "serve") lines >> pid;
  }
  ASSERT_NE(pid, 0u);
  {
    unique_kernel_handle p(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid));
    ASSERT_TRUE(p.valid());
    TerminateProcess(p.get(), 1);
    WaitForSingleObject(p.get(), 5000);
  }
  ASSERT_TRUE(WaitUntil([] { return !ServerMutexExists(); }, 5000));
  std::string text(200, 'r');
  Collected after;
  EXPECT_TRUE(client.RequestSynthesis(text.data(), 200, 1, 1, 1, false, nullptr, Collect, &after));
  EXPECT_EQ(after.audio, Expected(200));  // all of it, once
  EXPECT_EQ(Count(Records(), "serve "), 2u);
  client_owner.reset();
  EXPECT_EQ(Now(), before);
}

// A caller with a time limit: from the start, or from its first piece of
// audio on. It notes how often it was asked and when it gave up.
struct Caller {
  explicit Caller(DWORD ms, DWORD after_first_piece_ms = 0)
      : limit(ms), after_first_piece_ms(after_first_piece_ms) {}
  WaitLimit limit;
  DWORD after_first_piece_ms;
  Collected audio;
  int asked = 0;
  DWORD gave_up_at = 0;
};
bool CallerCollects(const unsigned char* bytes, uint32_t count, void* context) {
  auto* c = static_cast<Caller*>(context);
  if (c->audio.callbacks == 0 && c->after_first_piece_ms) c->limit.Restart(c->after_first_piece_ms);
  return Collect(bytes, count, &c->audio);
}
bool CallerWaits(void* context) {
  auto* c = static_cast<Caller*>(context);
  ++c->asked;
  if (KeepWaitingUntil(&c->limit)) return true;
  if (c->gave_up_at == 0) c->gave_up_at = GetTickCount();
  return false;
}

TEST_F(WorkerClientTest, AWorkerThatFallsSilentIsLeftWhenTheCallerStopsWaiting) {
  SetEnvironmentVariableW(L"QM_FAKE_WORKER", L"silentonce");
  const Counts before = WarmCounts();
  auto client_owner = std::make_unique<WorkerClient>(worker().wstring());
  WorkerClient& client = *client_owner;
  Caller p(60000, 300);
  std::string text(300, 's');
  EXPECT_FALSE(client.RequestSynthesis(text.data(), 300, 1, 1, 1, false, nullptr, CallerCollects,
                                       &p, CallerWaits));
  const DWORD returned = GetTickCount();
  EXPECT_EQ(p.audio.callbacks, 1);
  ASSERT_NE(p.gave_up_at, 0u);
  std::printf("gave up waiting -> returned: %lu ms\n",
              static_cast<unsigned long>(returned - p.gave_up_at));
  // Well before the worker would speak again (30 s): the request did not wait.
  EXPECT_LT(returned - p.gave_up_at, 5000u);
  EXPECT_NE(Records().find("silent "), std::string::npos);
  // The next request gets a working connection and all its audio, without
  // waiting on the silent stream it left behind.
  Caller next(60000);
  const DWORD next_start = GetTickCount();
  EXPECT_TRUE(client.RequestSynthesis(text.data(), 300, 1, 1, 1, false, nullptr, CallerCollects,
                                      &next, CallerWaits));
  EXPECT_LT(GetTickCount() - next_start, 5000u);
  EXPECT_EQ(next.audio.audio, Expected(300));
  client_owner.reset();
  EXPECT_EQ(Now(), before);
}

TEST_F(WorkerClientTest, EveryRequestToASilentWorkerEndsWithinItsBound) {
  // The worker takes every connection and never answers, not even Hello.
  StartWorker(L"silent");
  struct Case {
    const char* name;
    std::function<bool(WorkerClient&)> request;
    DWORD bound;
  };
  const Case cases[] = {
      {"info, the client's own bound",
       [](WorkerClient& c) {
         WorkerInfo info;
         return c.RequestInfo(info);
       },
       kWorkerAnswerMs},
      {"info, the caller's 300 ms",
       [](WorkerClient& c) {
         WorkerInfo info;
         Caller d(300);
         return c.RequestInfo(info, CallerWaits, &d) || d.asked == 0;
       },
       300},
      {"synthesis, the caller's 300 ms",
       [](WorkerClient& c) {
         Caller d(300);
         return c.RequestSynthesis("abc", 3, 1, 1, 1, false, nullptr, nullptr, &d, CallerWaits) ||
                d.asked == 0;
       },
       300},
      {"shutdown", [](WorkerClient& c) { return c.RequestShutdown(), false; },
       kShutdownAnswerMs + 2000},
  };
  // The first round brings in what the process keeps once it has waited
  // each way; the second must end with nothing more.
  Counts before;
  for (int round = 0; round < 2; ++round) {
    if (round == 1) before = Now();
    for (const Case& k : cases) {
      SCOPED_TRACE(k.name);
      auto client = std::make_unique<WorkerClient>(worker().wstring());
      const DWORD start = GetTickCount();
      EXPECT_FALSE(k.request(*client));
      const DWORD took = GetTickCount() - start;
      std::printf("%s: %lu ms (bound %lu ms)\n", k.name, static_cast<unsigned long>(took),
                  static_cast<unsigned long>(k.bound));
      EXPECT_LT(took, k.bound + 2000);
      client.reset();
      if (round == 1) {
        EXPECT_EQ(Now(), before);
      }
    }
  }
  // Stuck, not of another version: nobody tried to replace it. (This
  // process logs where its first test did: ask a fresh one.)
  EXPECT_EQ(Probe({L"info"}), "0 0 0 ");
  EXPECT_EQ(Count(Records(), "serve "), 1u);
  const std::string log = ClientLog();
  EXPECT_EQ(log.find("different protocol version"), std::string::npos) << log;
  EXPECT_NE(log.find("pipe: the worker did not answer within 5000 ms"), std::string::npos) << log;
}

TEST_F(WorkerClientTest, ACallerThatStopsWaitingIsNotHeldByAnotherThreadsConnect) {
  StartWorker(L"silent");
  const Counts before = WarmCounts();
  auto client_owner = std::make_unique<WorkerClient>(worker().wstring());
  WorkerClient& client = *client_owner;
  // One thread connects and waits for the Hello the worker never sends.
  const size_t hellos = Count(Records(), " 0\r\n");
  std::thread connecting([&] {
    WorkerInfo info;
    EXPECT_FALSE(client.RequestInfo(info));
  });
  ASSERT_TRUE(WaitUntil([&] { return Count(Records(), " 0\r\n") > hellos; }, 10000));
  // Another thread's caller is asked while it waits, and gives up.
  Caller d(300);
  EXPECT_FALSE(
      client.RequestSynthesis("abc", 3, 1, 1, 1, false, nullptr, nullptr, &d, CallerWaits));
  const DWORD returned = GetTickCount();
  EXPECT_GT(d.asked, 1);
  ASSERT_NE(d.gave_up_at, 0u);
  std::printf("gave up waiting -> returned: %lu ms\n",
              static_cast<unsigned long>(returned - d.gave_up_at));
  EXPECT_LT(returned - d.gave_up_at, 50u);
  connecting.join();
  client_owner.reset();
  EXPECT_EQ(Now(), before);
}

// A caller that refuses audio (a key press interrupting speech) keeps its
// connection, and every later request on it gets its own answer: also when
// the Cancel crosses the worker's End and is answered after it with Ack.
// A synthesis stopped by its caller, either way: its output refuses a piece
// (the call reads on to the End), or it stops waiting, as a host does at a
// key press (the call returns at once; the connection reads past the End at
// its next use). crossend: the worker never looks for a Cancel during a
// stream, so every Cancel crosses the End and is answered after it.
TEST_F(WorkerClientTest, AfterACancelTheConnectionIsKeptAndEveryAnswerIsItsOwn) {
  struct Stopping : Collected {
    bool stop_waiting_after_first = false;
  };
  const auto keep_waiting = [](void* context) {
    const auto* s = static_cast<Stopping*>(context);
    return !(s->stop_waiting_after_first && s->callbacks > 0);
  };
  for (const std::string mode : {"crossend", "slow", "slow,crossend"}) {
    for (const bool refuse : {true, false}) {
      SCOPED_TRACE(mode + (refuse ? ", refused" : ", stopped waiting"));
      SetEnvironmentVariableA("QM_FAKE_WORKER", mode.c_str());
      const Counts before = WarmCounts();
      auto client_owner = std::make_unique<WorkerClient>(worker().wstring());
      WorkerClient& client = *client_owner;
      WorkerInfo info;
      ASSERT_TRUE(client.RequestInfo(info));
      const size_t connections = Count(Records(), "conn ");
      const std::string text(300, 'x');  // 8 pieces: 350 ms of stream left after one when slow
      auto stopped = [&] {
        Stopping c;
        c.stop_after_first = refuse;
        c.stop_waiting_after_first = !refuse;
        const DWORD start = GetTickCount();
        client.RequestSynthesis(text.data(), 300, 1, 1, 1, false, nullptr, Collect, &c,
                                keep_waiting);
        EXPECT_GE(c.callbacks, 1);
        if (!refuse && mode != "crossend") {
          EXPECT_LT(GetTickCount() - start, 300u) << "waited for the stopped stream's End";
        }
      };
      for (int i = 0; i < 2; ++i) {
        stopped();
        info = WorkerInfo{};
        EXPECT_TRUE(client.RequestInfo(info)) << i;
        EXPECT_STREQ(info.engine_version, "Fake worker 1.0");
        stopped();
        Collected d;
        EXPECT_TRUE(client.RequestSynthesis("xyz", 3, 1, 1, 1, false, nullptr, Collect, &d));
        EXPECT_EQ(d.audio, Expected(3));
      }
      EXPECT_EQ(Count(Records(), "conn "), connections) << "a new connection after a Cancel";
      client_owner.reset();
      EXPECT_EQ(Now(), before);
      WorkerClient(worker().wstring()).RequestShutdown();
    }
  }
}

TEST_F(WorkerClientTest, ATextTooLongForOneRequestIsRefusedUnsent) {
  WorkerClient client(worker().wstring());
  const char small[] = "x";
  Collected c;
  // Lengths whose request would wrap the header, or that the worker drops.
  for (uint32_t length : {0xFFFFFFFFu, 0xFFFFFFD0u, kServerPayloadLimitForTest + 1}) {
    EXPECT_FALSE(client.RequestSynthesis(small, length, 1, 1, 1, false, nullptr, Collect, &c));
  }
  EXPECT_EQ(c.callbacks, 0);
  EXPECT_FALSE(ServerMutexExists());  // nothing was sent: no worker was even started
}

TEST_F(WorkerClientTest, RequestShutdownEndsTheWorkerWithinTwoSeconds) {
  WorkerClient client(worker().wstring());
  WorkerInfo info;
  ASSERT_TRUE(client.RequestInfo(info));
  EXPECT_EQ(info.output_sample_rate, 16000);
  EXPECT_STREQ(info.engine_version, "Fake worker 1.0");
  client.RequestShutdown();
  EXPECT_FALSE(ServerMutexExists());
}

TEST_F(WorkerClientTest, MissingWorkerGivesUpWithALogLine) {
  fs::remove(worker());
  EXPECT_EQ(Probe({L"synth", L"nobody"}), "0 0 0");
  std::string log = ClientLog();
  EXPECT_NE(log.find("pipe: worker not found at "), std::string::npos) << log;
  EXPECT_NE(log.find("pipe: gave up connecting to the worker"), std::string::npos) << log;
}

}  // namespace
}  // namespace Quellmar
