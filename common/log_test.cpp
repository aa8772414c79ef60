#include "common/log.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

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
  RunProbe({L"log", L"in temp"},
           {{L"LOCALAPPDATA", std::nullopt}, {L"TMP", t}, {L"TEMP", t}});
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

TEST_F(LogTest, RotationNeverTakesTheFileFromAProcessThatHoldsIt) {
  fs::create_directories(log_folder());
  int fills = 0;
  {
    std::ofstream old(rotated(), std::ios::binary);
    for (int k = 0; k < 100; ++k) old << "OLD " << k << "\r\n";
    std::ofstream live_log(live(), std::ios::binary);
    std::string pad(200, '.');
    size_t size = 0;
    for (; size < kLogRotateBytes - 20000; ++fills) {
      std::string line = "FILL " + std::to_string(fills) + " " + pad + "\r\n";
      live_log << line;
      size += line.size();
    }
  }
  // Two long-lived processes open the log below the line and keep writing.
  std::vector<testing::ChildProcess> holders;
  for (int i = 0; i < 2; ++i) {
    holders.push_back(testing::StartProcess(
        probe(), {L"log", L"hold", L"sleep", L"4000", L"lines", L"300", L"300"}));
    ASSERT_TRUE(holders.back().started());
  }
  for (int tries = 0; tries < 200; ++tries) {
    std::string text = ReadFile(live());
    size_t first = text.find("] hold\r\n");
    if (first != std::string::npos && text.find("] hold\r\n", first + 1) != std::string::npos) break;
    Sleep(50);
  }
  // Others cross 4 MiB and then start, each finding the log full.
  RunProbe({L"lines", L"100", L"300"});
  ASSERT_GE(fs::file_size(live()), kLogRotateBytes);
  std::vector<DWORD> others = {last_pid_};
  for (int i = 0; i < 3; ++i) others.push_back(RunProbe({L"lines", L"50", L"300"}));
  for (auto& h : holders) EXPECT_EQ(h.Wait(120000), std::optional<DWORD>(0));

  // Every line of every process, and the older generation, exactly once.
  std::map<std::string, int> seen;
  const std::regex body(R"(^P(\d+) L(\d+) [a-z]+$)");
  auto count = [&](const fs::path& file) {
    if (!fs::exists(file)) return;
    for (const std::string& line : Lines(ReadFile(file))) {
      std::smatch m, mb;
      if (std::regex_match(line, m, kLine)) {
        std::string msg = m[10].str();
        if (std::regex_match(msg, mb, body)) {
          EXPECT_EQ(mb[1].str(), m[9].str());
          ++seen[mb[1].str() + " " + mb[2].str()];
        } else {
          ++seen[m[9].str() + " " + msg];
        }
      } else {
        ++seen[line.substr(0, line.find(' ', 5))];
      }
    }
  };
  count(live());
  count(rotated());
  auto expect_once = [&](const std::string& key) {
    auto it = seen.find(key);
    EXPECT_TRUE(it != seen.end() && it->second == 1) << key << " seen "
                                                     << (it == seen.end() ? 0 : it->second);
  };
  for (int k = 0; k < 100; ++k) expect_once("OLD " + std::to_string(k));
  for (int k = 0; k < fills; ++k) expect_once("FILL " + std::to_string(k));
  for (auto& h : holders) {
    expect_once(std::to_string(h.pid()) + " hold");
    for (int k = 0; k < 300; ++k) expect_once(std::to_string(h.pid()) + " " + std::to_string(k));
  }
  for (size_t i = 0; i < others.size(); ++i) {
    for (int k = 0; k < (i == 0 ? 100 : 50); ++k) {
      expect_once(std::to_string(others[i]) + " " + std::to_string(k));
    }
  }
  for (const auto& [key, n] : seen) EXPECT_EQ(n, 1) << key;

  // With nobody holding it, the next process rotates as usual.
  uintmax_t full = fs::file_size(live());
  RunProbe({L"log", L"after"});
  EXPECT_EQ(fs::file_size(rotated()), full);
  std::vector<std::string> fresh = Lines(ReadFile(live()));
  ASSERT_EQ(fresh.size(), 1u);
  EXPECT_NE(fresh[0].find("] after"), std::string::npos);
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
