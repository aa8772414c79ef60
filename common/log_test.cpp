#include "common/log.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "common/win_handles.h"
#include "testing/user_state.h"
#include "testing/win_process.h"

namespace Quellmar {
namespace {
namespace fs = std::filesystem;
using testing::EnvChange;

std::string ReadFile(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// Lines of a log file; every line must end in CR LF.
std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find("\r\n", start);
    EXPECT_NE(end, std::string::npos) << "unterminated line at byte " << start;
    if (end == std::string::npos) break;
    lines.push_back(text.substr(start, end - start));
    start = end + 2;
  }
  return lines;
}

const std::regex kLine(
    R"(^(\d{4})-(\d\d)-(\d\d) (\d\d):(\d\d):(\d\d)\.(\d{3}) \[([^\]]*)/64-bit pid (\d+)\] (.*)$)");

class LogTest : public testing::CleanUserState {
 protected:
  std::wstring probe() const { return testing::ProgramFolder() + L"\\log_probe.exe"; }
  fs::path live() const { return log_folder() / L"quellmar.log"; }
  fs::path rotated() const { return log_folder() / L"quellmar.1.log"; }

  DWORD RunProbe(const std::vector<std::wstring>& args, const std::vector<EnvChange>& env = {},
                 const std::wstring& exe = {}) {
    testing::ChildProcess child = testing::StartProcess(exe.empty() ? probe() : exe, args, env);
    EXPECT_TRUE(child.started());
    last_pid_ = child.pid();
    auto code = child.Wait(60000);
    EXPECT_EQ(code, std::optional<DWORD>(0));
    return last_pid_;
  }
  DWORD last_pid_ = 0;
};

TEST_F(LogTest, WritesATaggedTimestampedLineWithCrLf) {
  DWORD pid = RunProbe({L"log", L"hello there", L"log", L"second"});
  std::vector<std::string> lines = Lines(ReadFile(live()));
  ASSERT_EQ(lines.size(), 2u);
  std::smatch m;
  ASSERT_TRUE(std::regex_match(lines[0], m, kLine)) << lines[0];
  EXPECT_EQ(m[8].str(), "log_probe.exe");
  EXPECT_EQ(std::stoul(m[9].str()), pid);
  EXPECT_EQ(m[10].str(), "hello there");
  int month = std::stoi(m[2].str()), hour = std::stoi(m[4].str());
  EXPECT_TRUE(month >= 1 && month <= 12 && hour < 24);
  ASSERT_TRUE(std::regex_match(lines[1], m, kLine));
  EXPECT_EQ(m[10].str(), "second");
}

TEST_F(LogTest, SwitchIsOnUnlessADwordZero) {
  // A REG_SZ "0" is not the switch: logging stays on.
  const wchar_t text[] = L"0";
  ASSERT_TRUE(testing::SetUserValue(L"", kLoggingValue, REG_SZ, text, sizeof(text)));
  RunProbe({L"log", L"string value"});
  EXPECT_EQ(Lines(ReadFile(live())).size(), 1u);

  ASSERT_TRUE(testing::SetUserDword(L"", kLoggingValue, 7));
  RunProbe({L"log", L"non-zero dword"});
  EXPECT_EQ(Lines(ReadFile(live())).size(), 2u);
}

TEST_F(LogTest, DwordZeroSilencesTheProcessEvenAfterTheSwitchChanges) {
  ASSERT_TRUE(testing::SetUserDword(L"", kLoggingValue, 0));
  RunProbe({L"log", L"one", L"set-logging", L"1", L"log", L"two"});
  EXPECT_FALSE(fs::exists(live()));
  // A process started after the change logs again.
  RunProbe({L"log", L"three"});
  std::vector<std::string> lines = Lines(ReadFile(live()));
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_NE(lines[0].find("] three"), std::string::npos);
}

TEST_F(LogTest, WithoutLocalAppDataTheLogGoesUnderTheTemporaryFolder) {
  testing::TempDir tmp("qm-tmp");
  std::wstring t = tmp.path().wstring();
  RunProbe({L"log", L"in temp"}, {{L"LOCALAPPDATA", std::nullopt}, {L"TMP", t}, {L"TEMP", t}});
  EXPECT_FALSE(fs::exists(live()));
  std::vector<std::string> lines =
      Lines(ReadFile(tmp.path() / L"Quellmar SAPI5" / L"quellmar.log"));
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_NE(lines[0].find("] in temp"), std::string::npos);
}

TEST_F(LogTest, RotatesAtFourMebibytesButNotOneByteBelow) {
  fs::create_directories(log_folder());
  auto make = [](const fs::path& p, size_t size, char fill) {
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    std::string block(size, fill);
    out.write(block.data(), static_cast<std::streamsize>(block.size()));
  };
  make(live(), kLogRotateBytes - 1, 'a');
  make(rotated(), 10, 'o');
  RunProbe({L"log", L"kept"});
  EXPECT_EQ(fs::file_size(rotated()), 10u);
  std::string text = ReadFile(live());
  EXPECT_GT(text.size(), kLogRotateBytes - 1);
  EXPECT_EQ(text.substr(0, kLogRotateBytes - 1), std::string(kLogRotateBytes - 1, 'a'));

  make(live(), kLogRotateBytes, 'b');
  RunProbe({L"log", L"fresh"});
  EXPECT_EQ(fs::file_size(rotated()), kLogRotateBytes);  // the old .1 was replaced
  EXPECT_EQ(ReadFile(rotated()).substr(0, 4), "bbbb");
  std::vector<std::string> lines = Lines(ReadFile(live()));
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_NE(lines[0].find("] fresh"), std::string::npos);
}

TEST_F(LogTest, NoNewOpenAttemptWithinFiveSecondsOfAFailure) {
  // A file where the log folder belongs: the folder cannot be made, the open fails.
  fs::path blocker = log_folder();
  { std::ofstream(blocker) << "not a folder"; }
  RunProbe({L"log", L"first", L"rm", blocker.wstring(), L"log", L"second", L"sleep", L"5300",
            L"log", L"third"});
  std::vector<std::string> lines = Lines(ReadFile(live()));
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_NE(lines[0].find("] third"), std::string::npos);
}

TEST_F(LogTest, LineLengthLimits) {
  RunProbe({L"fill-line", L"2046", L"fill-line", L"2047", L"fill-line", L"2048", L"log", L"end"});
  std::string text = ReadFile(live());
  // 2046 bytes + CR LF, then 2047 bytes with no line feed running straight
  // into the prefix-only line of the message that did not fit.
  ASSERT_GE(text.size(), 2048u + 2047u);
  EXPECT_EQ(text.substr(2046, 2), "\r\n");
  EXPECT_EQ(text[2048 + 2046], 'x');
  std::string rest = text.substr(2048 + 2047);
  std::vector<std::string> lines = Lines(rest);
  ASSERT_EQ(lines.size(), 2u);
  std::smatch m;
  ASSERT_TRUE(std::regex_match(lines[0], m, kLine)) << lines[0];
  EXPECT_EQ(m[10].str(), "");
  EXPECT_EQ(lines[0].back(), ' ');
  ASSERT_TRUE(std::regex_match(lines[1], m, kLine));
  EXPECT_EQ(m[10].str(), "end");
}

TEST_F(LogTest, OverlongExecutableNameIsCutInTheTag) {
  testing::TempDir dir("qm-exe");
  std::wstring ascii = L"a_program_with_a_name_much_longer_than_the_tag_allows_for.exe";
  // 2-byte UTF-8 characters: a cut must not split one.
  std::wstring accented = std::wstring(30, L'\u00e9') + L".exe";
  for (const std::wstring& name : {ascii, accented}) {
    fs::path copy = dir.path() / name;
    ASSERT_TRUE(CopyFileW(probe().c_str(), copy.wstring().c_str(), FALSE));
    RunProbe({L"log", L"named"}, {}, copy.wstring());
  }
  std::vector<std::string> lines = Lines(ReadFile(live()));
  ASSERT_EQ(lines.size(), 2u);
  std::smatch m;
  ASSERT_TRUE(std::regex_match(lines[0], m, kLine)) << lines[0];
  EXPECT_EQ(m[8].str(), std::string(ascii.begin(), ascii.begin() + 47));
  ASSERT_TRUE(std::regex_match(lines[1], m, kLine)) << lines[1];
  std::string e_acute = "\xC3\xA9";
  std::string expect;
  for (int i = 0; i < 23; ++i) expect += e_acute;  // 46 bytes; a 24th would need 48
  EXPECT_EQ(m[8].str(), expect);
}

TEST_F(LogTest, TwoProcessesWritingAtOnceLeaveOnlyWholeLines) {
  constexpr int kLines = 1500;
  testing::ChildProcess a = testing::StartProcess(probe(), {L"lines", L"1500", L"300"});
  testing::ChildProcess b = testing::StartProcess(probe(), {L"lines", L"1500", L"300"});
  ASSERT_TRUE(a.started() && b.started());
  EXPECT_EQ(a.Wait(120000), std::optional<DWORD>(0));
  EXPECT_EQ(b.Wait(120000), std::optional<DWORD>(0));
  std::map<unsigned long, int> per_pid;
  std::regex body(R"(^P(\d+) L(\d+) [a-z]+$)");
  for (const std::string& line : Lines(ReadFile(live()))) {
    std::smatch m, mb;
    ASSERT_TRUE(std::regex_match(line, m, kLine)) << line;
    std::string msg = m[10].str();
    ASSERT_TRUE(std::regex_match(msg, mb, body)) << msg;
    EXPECT_EQ(msg.size(), 300u);
    EXPECT_EQ(mb[1].str(), m[9].str());
    ++per_pid[std::stoul(mb[1].str())];
  }
  EXPECT_EQ(per_pid[a.pid()], kLines);
  EXPECT_EQ(per_pid[b.pid()], kLines);
}

// The numbers of one process's numbered lines in a log file, in file order.
std::vector<unsigned long> NumbersOf(DWORD pid, const std::vector<std::string>& lines) {
  std::vector<unsigned long> numbers;
  const std::regex body(R"(^P(\d+) L(\d+) [a-z]+$)");
  for (const std::string& line : lines) {
    std::smatch m, mb;
    std::string msg;
    if (std::regex_match(line, m, kLine) && std::regex_match(msg = m[10].str(), mb, body) &&
        std::stoul(mb[1].str()) == pid) {
      numbers.push_back(std::stoul(mb[2].str()));
    }
  }
  return numbers;
}

uintmax_t FolderBytes(const fs::path& folder) {
  uintmax_t total = 0;
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    const uintmax_t size = fs::file_size(it->path(), ec);
    if (!ec) total += size;
    ec.clear();
  }
  return total;
}

TEST_F(LogTest, TheCapHoldsWhileOtherProcessesKeepWriting) {
  // Three long-lived writers (a screen reader's engine, the worker, ...)
  // while a fourth writes three times the cap in lines of 1900 bytes.
  const fs::path stop = local_app_data() / L"stop";
  std::vector<testing::ChildProcess> holders;
  for (int i = 0; i < 3; ++i) {
    holders.push_back(testing::StartProcess(probe(), {L"until", stop.wstring(), L"300"}));
    ASSERT_TRUE(holders.back().started());
  }
  constexpr unsigned long kLines = 3 * kLogRotateBytes / 1900 + 1;
  testing::ChildProcess writer =
      testing::StartProcess(probe(), {L"lines", std::to_wstring(kLines), L"1900"});
  ASSERT_TRUE(writer.started());
  // Never more than two generations of at most the cap and one line each.
  const uintmax_t bound = 2 * (kLogRotateBytes + kLogLineBytesOnDisk);
  uintmax_t most = 0;
  std::optional<DWORD> code;
  while (!(code = writer.Wait(20))) most = std::max(most, FolderBytes(log_folder()));
  EXPECT_EQ(code, std::optional<DWORD>(0));
  CloseHandle(CreateFileW(stop.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr));
  for (auto& h : holders) EXPECT_EQ(h.Wait(60000), std::optional<DWORD>(0));
  most = std::max(most, FolderBytes(log_folder()));
  std::printf("most on disk: %ju bytes (bound %ju)\n", most, bound);
  EXPECT_LE(most, bound);
  EXPECT_EQ(std::distance(fs::directory_iterator(log_folder()), fs::directory_iterator()), 2);

  // Every line whole; the live file holds the newest lines of everyone, and
  // the writer's lines run on from the older generation into it, none lost.
  const std::vector<std::string> live_lines = Lines(ReadFile(live()));
  const std::vector<std::string> old_lines = Lines(ReadFile(rotated()));
  for (const auto* lines : {&live_lines, &old_lines}) {
    for (const std::string& line : *lines) ASSERT_TRUE(std::regex_match(line, kLine)) << line;
  }
  for (auto& h : holders) {
    EXPECT_NE(ReadFile(live()).find("pid " + std::to_string(h.pid()) + "] last\r\n"),
              std::string::npos);
  }
  std::vector<unsigned long> numbers = NumbersOf(writer.pid(), old_lines);
  ASSERT_FALSE(numbers.empty());
  const std::vector<unsigned long> newer = NumbersOf(writer.pid(), live_lines);
  numbers.insert(numbers.end(), newer.begin(), newer.end());
  ASSERT_FALSE(newer.empty());
  EXPECT_EQ(newer.back(), kLines - 1);
  for (size_t i = 1; i < numbers.size(); ++i) ASSERT_EQ(numbers[i], numbers[i - 1] + 1) << i;
}

TEST_F(LogTest, AWriterStoppedHoldingTheLockHoldsUpOthersOnlyBriefly) {
  unique_kernel_handle held(CreateEventW(nullptr, TRUE, FALSE, L"QuellmarLogTestLockHeld"));
  testing::ChildProcess holder =
      testing::StartProcess(probe(), {L"hold-lock", L"60000", L"QuellmarLogTestLockHeld"});
  ASSERT_TRUE(holder.started());
  ASSERT_EQ(WaitForSingleObject(held.get(), 30000), WAIT_OBJECT_0);
  const DWORD start = GetTickCount();
  DWORD pid = RunProbe({L"lines", L"20", L"300"});
  const DWORD took = GetTickCount() - start;
  std::printf("20 lines beside a stopped lock holder: %lu ms\n", static_cast<unsigned long>(took));
  // Each line waits kLogLockWaitMs at most; the holder keeps the lock a minute.
  EXPECT_LT(took, 20000u);
  EXPECT_EQ(NumbersOf(pid, Lines(ReadFile(live()))).size(), 20u);
  holder.Kill();
  holder.Wait(5000);
}

TEST(LogPath, BuildsLiveAndRotatedNamesAndRefusesWhatDoesNotFit) {
  testing::TempDir dir("qm-path");
  SetEnvironmentVariableW(L"LOCALAPPDATA", dir.path().wstring().c_str());
  wchar_t out[kLogPathChars];
  ASSERT_TRUE(BuildLogPath(kLogSuffixRotated, out, kLogPathChars));
  EXPECT_EQ(std::wstring(out), dir.path().wstring() + L"\\Quellmar SAPI5\\quellmar.1.log");
  EXPECT_TRUE(fs::is_directory(dir.path() / L"Quellmar SAPI5"));
  wchar_t small[20];
  EXPECT_FALSE(BuildLogPath(kLogSuffixLive, small, 20));
  std::wstring deep = L"C:\\" + std::wstring(250, L'd');
  SetEnvironmentVariableW(L"LOCALAPPDATA", deep.c_str());
  EXPECT_FALSE(BuildLogPath(kLogSuffixLive, out, kLogPathChars));
  SetEnvironmentVariableW(L"LOCALAPPDATA", nullptr);
}

}  // namespace
}  // namespace Quellmar
