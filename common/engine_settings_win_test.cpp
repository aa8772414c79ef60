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

TEST_F(EngineSettingsFile, TheCustomSwitchIsWrittenInTheFilesOwnBytes) {
  // What the profile functions would lose: quotes, comments, an unknown key,
  // a blank line, a folder longer than they read.
  const std::string rest =
      "; installed by the package\r\n[QuellmarAppDir]\r\nSNDBANK=\"C:\\Quellmar\\bank\"\r\n"
      "DICTFLSDIR=C:\\" +
      std::string(1100, 'd') + "\\\r\nUNKNOWN = keep me\r\n\r\n";
  WriteRaw(rest + "[QuellmarDictionary]\r\nCUSTOM = no\r\n");
  ASSERT_TRUE(WriteCustomEntries(true));
  EXPECT_EQ(ReadBytes(path_), rest + "[QuellmarDictionary]\r\nCUSTOM = YES\r\n");
  EXPECT_TRUE(ReadEngineSettings().custom_entries);  // the profile functions see the new file

  // UTF-16 stays UTF-16, and the platform's reader finds the added line.
  const std::wstring wide = L"[QuellmarAppDir]\nSNDBANK=C:\\b\u00E4nk\n";
  std::string utf16 = "\xFF\xFE";
  for (wchar_t c : wide) utf16 += {static_cast<char>(c & 0xFF), static_cast<char>(c >> 8)};
  WriteRaw(utf16);
  ASSERT_TRUE(WriteCustomEntries(true));
  const std::string written = ReadBytes(path_);
  EXPECT_EQ(written.substr(0, utf16.size()), utf16);
  EXPECT_TRUE(ReadEngineSettings().custom_entries);
  EXPECT_EQ(ReadEngineSettings().sound_bank_dir, L"C:\\b\u00E4nk");

  // No file: one is made with the section and the key.
  Remove();
  ASSERT_TRUE(WriteCustomEntries(false));
  EXPECT_EQ(ReadBytes(path_), "[QuellmarDictionary]\r\nCUSTOM=NO\r\n");
  // Nothing of the writer's own is left beside it.
  for (const auto& entry : fs::directory_iterator(fs::path(path_).parent_path())) {
    EXPECT_EQ(entry.path().filename().wstring().find(L"quellmar.ini."), std::wstring::npos)
        << entry.path();
  }
}

TEST_F(EngineSettingsFile, AFileThatCannotBeReplacedIsLeftAsItWas) {
  const std::string before = "[QuellmarDictionary]\r\nCUSTOM=NO\r\n";
  WriteRaw(before);
  SetFileAttributesW(path_.c_str(), FILE_ATTRIBUTE_READONLY);
  EXPECT_FALSE(WriteCustomEntries(true));
  SetFileAttributesW(path_.c_str(), FILE_ATTRIBUTE_NORMAL);
  EXPECT_EQ(ReadBytes(path_), before);
  // Too large to be ours to rewrite.
  WriteRaw(before + std::string(kEngineSettingsFileLimit, ';'));
  EXPECT_FALSE(WriteCustomEntries(true));
  EXPECT_EQ(ReadBytes(path_).substr(0, before.size()), before);
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
