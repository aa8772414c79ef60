#include "engine_host/install_root.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "testing/test_env.h"
#include "testing/win_process.h"

namespace Quellmar {
namespace {
namespace fs = std::filesystem;

std::wstring Folder(const fs::path& p) { return p.wstring() + L"\\"; }

void PlaceEngineCore(const fs::path& root) {
  fs::create_directories(root / L"engine" / L"Lib");
  std::ofstream(root / L"engine" / L"Lib" / L"qmcore.dll") << "core";
}

// A temporary folder T with T\L1\L2\...\L6 below it; the fifth level has a
// name outside any 8-bit code page, so the search must stay wide throughout.
class InstallRootTree : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::path p = tmp_.path();
    levels_.push_back(p);
    for (const wchar_t* name : {L"L1", L"L2", L"L3", L"L4", L"\u0141\u00e9\u4e2d5", L"L6"}) {
      p /= name;
      levels_.push_back(p);
    }
    fs::create_directories(p);
  }
  // Level 0 is T, level 6 the deepest folder.
  const fs::path& level(int i) const { return levels_[i]; }

  // Copies the probe into the deepest folder and returns what it found there:
  // its install root and its engine core path.
  std::pair<std::wstring, std::wstring> ProbeFromDeepest() {
    fs::path exe = level(6) / L"probe.exe";
    fs::copy_file(testing::ProgramFolder() + L"\\engine_driver_probe.exe", exe,
                  fs::copy_options::overwrite_existing);
    fs::path out = tmp_.path() / L"root.txt";
    EXPECT_EQ(testing::RunProcess(exe.wstring(), {L"root", out.wstring()}),
              std::optional<DWORD>(0));
    std::ifstream in(out, std::ios::binary);
    std::string root, core;
    std::getline(in, root);
    std::getline(in, core);
    return {Wide(root), Wide(core)};
  }
  static std::wstring Wide(const std::string& utf8) {
    std::wstring w(utf8.size(), L'\0');
    int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), w.data(),
                                static_cast<int>(w.size()));
    w.resize(n > 0 ? n : 0);
    return w;
  }

  testing::TempDir tmp_{"qm-root"};
  std::vector<fs::path> levels_;
};

TEST_F(InstallRootTree, EngineCoreInTheProgramsOwnFolder) {
  PlaceEngineCore(level(6));
  auto [root, core] = ProbeFromDeepest();
  EXPECT_EQ(root, Folder(level(6)));
  EXPECT_EQ(core, Folder(level(6)) + L"engine\\Lib\\qmcore.dll");
}

TEST_F(InstallRootTree, EngineCoreInTheFifthAncestorIsFound) {
  PlaceEngineCore(level(1));
  auto [root, core] = ProbeFromDeepest();
  EXPECT_EQ(root, Folder(level(1)));
  EXPECT_EQ(core, Folder(level(1)) + L"engine\\Lib\\qmcore.dll");
}

TEST_F(InstallRootTree, EngineCoreInTheSixthAncestorIsNotFound) {
  PlaceEngineCore(level(0));
  auto [root, core] = ProbeFromDeepest();
  EXPECT_EQ(root, Folder(level(6)));  // falls back to the program's own folder
  EXPECT_EQ(core, Folder(level(6)) + L"engine\\Lib\\qmcore.dll");
}

TEST_F(InstallRootTree, NearestFolderWins) {
  PlaceEngineCore(level(1));
  PlaceEngineCore(level(4));
  EXPECT_EQ(FindInstallRoot(Folder(level(6))), Folder(level(4)));
  EXPECT_EQ(FindInstallRoot(Folder(level(3))), Folder(level(1)));
}

TEST(InstallRoot, SearchEndsAtTheTopAndNeverInventsAFolder) {
  EXPECT_EQ(FindInstallRoot(L""), L"");
  EXPECT_EQ(FindInstallRoot(L"no-backslash-here"), L"no-backslash-here");
  // A drive root has no parent; a root of an unused drive is returned as it is.
  EXPECT_EQ(FindInstallRoot(L"Q:\\"), L"Q:\\");
  EXPECT_EQ(FindInstallRoot(L"Q:\\a\\b\\c\\d\\e\\f\\g\\h\\"), L"Q:\\a\\b\\c\\d\\e\\f\\g\\h\\");
}

TEST(InstallRoot, ModuleFolderIsTheTestProgramsFolder) {
  std::wstring folder = ModuleFolder();
  ASSERT_FALSE(folder.empty());
  EXPECT_EQ(folder.back(), L'\\');
  EXPECT_EQ(folder, testing::ProgramFolder() + L"\\");
}

}  // namespace
}  // namespace Quellmar
