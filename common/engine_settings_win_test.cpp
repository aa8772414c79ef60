// quellmar.ini through the real profile functions, in the Windows directory
// of the test prefix. Files are compared by keys and values: the profile
// functions may rewrite the whitespace of a file they write.
#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>

#include "common/engine_settings.h"
#include "common/profile_text.h"
#include "testing/user_state.h"
#include "testing/win_process.h"

namespace Quellmar {
namespace {
namespace fs = std::filesystem;

std::string ReadBytes(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// The file's text as the profile functions keep it: UTF-16 after a byte-order
// mark, otherwise 8-bit.
std::wstring FileText(const fs::path& p) {
  std::string bytes = ReadBytes(p);
  std::wstring text;
  if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
      static_cast<unsigned char>(bytes[1]) == 0xFE) {
    for (size_t i = 2; i + 1 < bytes.size(); i += 2) {
      text.push_back(static_cast<wchar_t>(static_cast<unsigned char>(bytes[i]) |
                                          (static_cast<unsigned char>(bytes[i + 1]) << 8)));
    }
  } else {
    for (char c : bytes) text.push_back(static_cast<unsigned char>(c));
  }
  return text;
}

class EngineSettingsFile : public testing::CleanUserState {
 protected:
  void SetUp() override {
    CleanUserState::SetUp();
    path_ = EngineSettingsPath();
    if (fs::exists(path_)) saved_ = ReadBytes(path_);
    Remove();
  }
  void TearDown() override {
    Remove();
    if (saved_) WriteRaw(*saved_);
    CleanUserState::TearDown();
  }
  void Remove() {
    std::error_code ec;
    fs::remove_all(path_, ec);
    Forget();
  }
  // The profile functions may keep a file's contents between calls; this
  // makes them look at the disk again.
  void Forget() { WritePrivateProfileStringW(nullptr, nullptr, nullptr, path_.c_str()); }
  void WriteRaw(const std::string& bytes) {
    std::ofstream(fs::path(path_), std::ios::binary | std::ios::trunc) << bytes;
    Forget();
  }
  ProfileText Written() { return ProfileText(FileText(path_)); }

  std::wstring path_;
  std::optional<std::string> saved_;
};

TEST_F(EngineSettingsFile, PathIsInTheWindowsDirectory) {
  wchar_t dir[MAX_PATH];
  UINT n = GetWindowsDirectoryW(dir, MAX_PATH);
  ASSERT_GT(n, 0u);
  EXPECT_EQ(path_, std::wstring(dir, n) + L"\\quellmar.ini");
}

TEST_F(EngineSettingsFile, NoFileGivesTheDefaults) {
  EngineSettings s = ReadEngineSettings();
  EXPECT_TRUE(s.sound_bank_dir.empty() && s.temp_dir.empty() && s.dictionary_files_dir.empty() &&
              s.user_dictionary_dir.empty());
  EXPECT_FALSE(s.custom_entries);
  EXPECT_EQ(s.pauses, (std::array<int32_t, 4>{650, 500, 350, 7}));
}

TEST_F(EngineSettingsFile, ReadsKeysCaseInsensitively) {
  WriteRaw(
      "[quellmarappdir]\r\nsndbank=C:\\Quellmar\\Bank\r\nTEMPDIR = C:\\Temp\r\n"
      "DICTFLSDIR=" +
      std::string(1030, 'd') +
      "\r\n"
      "[QuellmarDictionary]\r\nCUSTOM=yes\r\n"
      "[QuellmarSettings]\r\nPAUSE1=100\r\nPAUSE2=-20\r\nPAUSE3=0\r\n");
  EngineSettings s = ReadEngineSettings();
  EXPECT_EQ(s.sound_bank_dir, L"C:\\Quellmar\\Bank");
  EXPECT_EQ(s.temp_dir, L"C:\\Temp");
  EXPECT_EQ(s.dictionary_files_dir, std::wstring(1023, L'd'));
  EXPECT_TRUE(s.user_dictionary_dir.empty());
  EXPECT_TRUE(s.custom_entries);
  // Only PAUSE4 missing: its default.
  EXPECT_EQ(s.pauses, (std::array<int32_t, 4>{100, -20, 0, 7}));

  // Integers and quoted values as the portable reader reads them too.
  const std::string odd =
      "[QuellmarAppDir]\r\nTEMPDIR=\"C:\\tmp\"\r\n[QuellmarSettings]\r\nPAUSE1=0x1F\r\n"
      "PAUSE2=+0b101\r\nPAUSE3=-0650\r\nPAUSE4=x\r\n";
  WriteRaw(odd);
  s = ReadEngineSettings();
  EXPECT_EQ(s.temp_dir, L"C:\\tmp");
  EXPECT_EQ(s.pauses, (std::array<int32_t, 4>{31, 5, -650, 0}));
  EngineSettings portable = EngineSettingsFrom(ProfileText(std::wstring(odd.begin(), odd.end())));
  EXPECT_EQ(portable.temp_dir, s.temp_dir);
  EXPECT_EQ(portable.pauses, s.pauses);

  for (const char* off : {"Y", "1", "", "NO"}) {
    WriteRaw(std::string("[QuellmarDictionary]\r\nCUSTOM=") + off + "\r\n");
    EXPECT_FALSE(ReadEngineSettings().custom_entries) << off;
  }
}

TEST_F(EngineSettingsFile, WritesAllNineKeysAndKeepsEverythingElse) {
  WriteRaw("[Installer]\r\nVersion=3\r\n[QuellmarAppDir]\r\nEXTRA=keep me\r\nSNDBANK=old\r\n");
  EngineSettings s;
  s.temp_dir = L"C:\\Temp Dir";
  s.custom_entries = true;
  s.pauses = {650, -20, 0, 7};
  ASSERT_TRUE(WriteEngineSettings(s));
  Forget();
  ProfileText file = Written();
  EXPECT_EQ(file.String(L"Installer", L"Version"), L"3");
  EXPECT_EQ(file.String(L"QuellmarAppDir", L"EXTRA"), L"keep me");
  EXPECT_EQ(file.String(L"QuellmarAppDir", L"TEMPDIR"), L"C:\\Temp Dir");
  EXPECT_EQ(file.String(L"QuellmarDictionary", L"CUSTOM"), L"YES");
  EXPECT_EQ(file.String(L"QuellmarSettings", L"PAUSE2"), L"-20");
  EXPECT_EQ(file.String(L"QuellmarSettings", L"PAUSE3"), L"0");
  // An empty directory stays in the file as a key with an empty value.
  std::wstring text = FileText(path_);
  EXPECT_NE(text.find(L"SNDBANK="), std::wstring::npos) << text;
  EXPECT_EQ(text.find(L"old"), std::wstring::npos);
  EXPECT_NE(text.find(L"PAUSE2=-20"), std::wstring::npos);

  s.custom_entries = false;
  ASSERT_TRUE(WriteEngineSettings(s));
  Forget();
  EXPECT_EQ(Written().String(L"QuellmarDictionary", L"CUSTOM"), L"NO");
}

TEST_F(EngineSettingsFile, ReadThenWriteKeepsEveryValue) {
  WriteRaw("[QuellmarAppDir]\r\nSNDBANK=C:\\Program Files\\Quellmar\\bank\r\nTEMPDIR=" +
           std::string(1023, 't') +
           "\r\nLEXMEREDIR=D:\\lex\r\n[QuellmarDictionary]\r\n"
           "CUSTOM=yEs\r\n[QuellmarSettings]\r\nPAUSE1=0650\r\nPAUSE4=12\r\n");
  EngineSettings before = ReadEngineSettings();
  ASSERT_TRUE(WriteEngineSettings(before));
  Forget();
  EngineSettings after = ReadEngineSettings();
  EXPECT_EQ(after.sound_bank_dir, before.sound_bank_dir);
  EXPECT_EQ(after.temp_dir, std::wstring(1023, L't'));
  EXPECT_EQ(after.dictionary_files_dir, L"");
  EXPECT_EQ(after.user_dictionary_dir, L"D:\\lex");
  EXPECT_TRUE(after.custom_entries);
  EXPECT_EQ(after.pauses, (std::array<int32_t, 4>{650, 500, 350, 12}));
  ProfileText file = Written();
  EXPECT_EQ(file.String(L"QuellmarDictionary", L"CUSTOM"), L"YES");
  EXPECT_EQ(file.String(L"QuellmarSettings", L"PAUSE1"), L"650");
  EXPECT_EQ(file.String(L"QuellmarSettings", L"PAUSE2"), L"500");
}

TEST_F(EngineSettingsFile, AFailedWriteIsFalseAndLoggedOnce) {
  // A folder where the file should be: no write can succeed.
  ASSERT_TRUE(fs::create_directory(path_));
  auto code = testing::RunProcess(testing::ProgramFolder() + L"\\engine_settings_probe.exe", {});
  EXPECT_EQ(code, std::optional<DWORD>(1));
  std::string log = ReadBytes(log_folder() / L"quellmar.log");
  size_t first = log.find("could not write ");
  ASSERT_NE(first, std::string::npos) << log;
  EXPECT_EQ(log.find("could not write ", first + 1), std::string::npos) << log;
  EXPECT_NE(log.find("quellmar.ini (error "), std::string::npos) << log;
  EXPECT_NE(
      log.find(") -- the engine keeps its current directories until it is next restarted\r\n"),
      std::string::npos)
      << log;
  EXPECT_TRUE(fs::is_directory(path_));
}

}  // namespace
}  // namespace Quellmar
