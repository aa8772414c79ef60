#include "packaging/msi_source.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <set>
#include <stdexcept>

#include "packaging/folder_rules.h"

namespace Quellmar::packaging {
namespace {

PackageOptions Layout() {
  PackageOptions o;
  o.version = "1.2.3";
  o.setup_dll = "/build/QuellmarSetup.dll";
  o.data_folders = {"Dictionary", "Temp"};
  o.content_digest = "0123456789abcdef0123456789abcdef";
  for (const char* f :
       {"QuellmarSAPI.dll", "x86/QuellmarSAPI.dll", "x86/QuellmarServer.exe",
        "engine/Lib/qmcore.dll", "QuellmarDiag.exe", "QuellmarConfig.exe",
        "engine/Lexmere/Lexmere.exe", "Dictionary/sound/a.wav", "Dictionary/lexmere.txt",
        "Dictionary/userhash.tab", "Dictionary/Backup/lexmere.bak", "Temp/lexmere/userhelp.hlp"}) {
    o.files.push_back({f, std::string("/dist/") + f});
    const std::string name = f;
    if (name.ends_with(".dll") || name.ends_with(".exe")) o.binary_versions[f] = {"1.2.3.0", 1033};
  }
  return o;
}

size_t Count(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

const std::string& Table(const PackageSource& source, const std::string& file) {
  for (const IdtTable& t : source.tables) {
    if (t.file_name == file) return t.text;
  }
  static const std::string kNone;
  return kNone;
}

TEST(MsiSource, RegistersBothViewsFromTheRegistrationData) {
  const PackageSource s = MakePackageSource(Layout());
  // 64-bit view: the classes in the Class table with their threading model
  // beside the DLL; eight tokens of three values and seven attributes; the
  // install and data locations, and the start menu entries' place. 32-bit
  // view: the same, its classes as values.
  constexpr size_t kTokens = 8 * 10;
  EXPECT_EQ(Count(s.wxs, "<RegistryValue "), (2 + kTokens + 3) + (2 * 2 + kTokens + 1));
  EXPECT_EQ(Count(Table(s, "Class.idt"), "\tInprocServer32\tc_QuellmarSAPI.dll\t"), 2u);
  EXPECT_EQ(Count(s.wxs, "Value=\"[#x86_QuellmarSAPI.dll]\""), 2u);
  EXPECT_NE(s.wxs.find("Key=\"Software\\Microsoft\\Speech\\Voices\\Tokens\\Quellmar_custom\\"
                       "Attributes\" Name=\"Description\" Type=\"string\" Value=\"Every parameter "
                       "comes from the Quellmar configuration utility.\""),
            std::string::npos);
  // The vendor's slash and the engine's apostrophe survive as XML.
  EXPECT_EQ(Count(s.wxs, "Value=\"Quellmar / Zentrik\""), 16u);
  EXPECT_NE(s.wxs.find("The engine&apos;s own voice"), std::string::npos);
  // The 32-bit view's component is in no program folder.
  const size_t r32 = s.wxs.find("<Component Id=\"Registration32\"");
  EXPECT_LT(r32, s.wxs.find("<Directory Id=\"ProgramFiles64Folder\">"));
  EXPECT_NE(s.wxs.find("Win64=\"no\"", r32), std::string::npos);

  PackageOptions no32 = Layout();
  std::erase_if(no32.files, [](const StagedFile& f) { return f.relative == kSapiDll32; });
  EXPECT_EQ(Count(MakePackageSource(no32).wxs, "<RegistryValue "), (2 + kTokens + 3) + 1);
}

TEST(MsiSource, UserDataIsNeverPackagedAndDataGoesToTheDataFolder) {
  const std::string wxs = MakePackageSource(Layout()).wxs;
  EXPECT_EQ(wxs.find("lexmere.txt"), std::string::npos);
  EXPECT_EQ(wxs.find("userhash.tab"), std::string::npos);
  EXPECT_EQ(wxs.find("lexmere.bak"), std::string::npos);
  const size_t data = wxs.find("<Directory Id=\"QMDATADIR\"");
  ASSERT_NE(data, std::string::npos);
  EXPECT_GT(wxs.find("Source=\"/dist/Dictionary/sound/a.wav\""), data);
  EXPECT_GT(wxs.find("Source=\"/dist/Temp/lexmere/userhelp.hlp\""), data);
  EXPECT_LT(wxs.find("Source=\"/dist/x86/QuellmarServer.exe\""), data);
  EXPECT_TRUE(IsUserDataFile("Dictionary/LEXMERE.TXT"));
  EXPECT_FALSE(IsUserDataFile("Dictionary/sound/lexmere.wav"));
}

TEST(MsiSource, OptionalProgramsBringTheirShortcutsAndActions) {
  PackageSource s = MakePackageSource(Layout());
  EXPECT_NE(s.wxs.find("Name=\"Quellmar Speech Configuration\" Target=\"[#QuellmarConfig.exe]\""),
            std::string::npos);
  EXPECT_NE(s.wxs.find("Target=\"[#engine_Lexmere_Lexmere.exe]\""), std::string::npos);
  const std::string& actions = Table(s, "CustomAction.idt");
  EXPECT_NE(actions.find("SetSelftestProgram\t51\tQM_SELFTEST_PROGRAM\t[#QuellmarDiag.exe]"),
            std::string::npos);
  for (const char* a : {"\tRunSelftest\t", "\tStopPrograms\t", "\tRetireWorker\t"}) {
    EXPECT_NE(actions.find(a), std::string::npos) << a;
  }

  PackageOptions bare = Layout();
  std::erase_if(bare.files, [](const StagedFile& f) {
    return f.relative == kDiagExe || f.relative == kConfigExe || f.relative == kLexmereExe;
  });
  bare.setup_dll.clear();
  s = MakePackageSource(bare);
  EXPECT_EQ(s.wxs.find("<Shortcut"), std::string::npos);
  EXPECT_EQ(s.wxs.find("<Binary"), std::string::npos);
  EXPECT_EQ(Table(s, "CustomAction.idt").find("QuellmarSetup"), std::string::npos);
}

TEST(MsiSource, FoldersAreMadeSafeParentFirstWithTheirPermissions) {
  const PackageSource s = MakePackageSource(Layout());
  const std::string& actions = Table(s, "CustomAction.idt");
  const std::string row = "SetSecureFolders\t51\tSecureFolders\t";
  const size_t at = actions.find(row);
  ASSERT_NE(at, std::string::npos);
  const std::string text =
      actions.substr(at + row.size(), actions.find("\t\r\n", at) - at - row.size());
  // Each folder id becomes a path, as Windows Installer formats it.
  std::vector<std::string> order;
  std::wstring formatted;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '[') {
      formatted += static_cast<wchar_t>(text[i]);
      continue;
    }
    const size_t end = text.find(']', i);
    order.push_back(text.substr(i + 1, end - i - 1));
    formatted += L"C:\\F" + std::to_wstring(order.size()) + L"\\";
    i = end;
  }
  const auto rules = ParseFolderRules(formatted);
  ASSERT_TRUE(rules);
  EXPECT_TRUE(rules->secure);
  // The install folder, x86, engine and its two; the data folder,
  // Dictionary and its sound, Temp and its lexmere.
  ASSERT_EQ(rules->rules.size(), 10u);
  EXPECT_EQ(order.front(), "INSTALLDIR");
  const auto index = [&](const std::string& id) {
    return std::find(order.begin(), order.end(), id) - order.begin();
  };
  EXPECT_LT(index("QMDATADIR"), index("QMDICTDIR"));
  EXPECT_LT(index("QMDATADIR"), index("QMTEMPDIR"));
  const auto wide = [](const char* t) { return std::wstring(t, t + std::string(t).size()); };
  for (size_t i = 0; i < order.size(); ++i) {
    const bool user = order[i] == "QMDICTDIR" || order[i] == "QMTEMPDIR";
    EXPECT_EQ(rules->rules[i].sddl, wide(user ? kUserContentFolderSddl : kReadOnlyFolderSddl))
        << order[i];
  }
  // The permission table names the same folders with the same rules.
  const std::string& locks = Table(s, "MsiLockPermissionsEx.idt");
  EXPECT_NE(locks.find(std::string("\tINSTALLDIR\tCreateFolder\t") + kReadOnlyFolderSddl),
            std::string::npos);
  EXPECT_NE(locks.find(std::string("\tQMDICTDIR\tCreateFolder\t") + kUserContentFolderSddl),
            std::string::npos);
  EXPECT_EQ(Count(locks, "\tCreateFolder\t"), 6u);
}

TEST(MsiSource, TheSameFilesAreTheSameProductAndAnyChangeANewOne) {
  const PackageSource a = MakePackageSource(Layout());
  EXPECT_EQ(a.wxs, MakePackageSource(Layout()).wxs);
  EXPECT_EQ(a.package_code, MakePackageSource(Layout()).package_code);
  PackageOptions rebuilt = Layout();
  rebuilt.content_digest[0] = 'f';
  PackageOptions next = Layout();
  next.version = "1.2.4";
  for (const PackageOptions& other : {rebuilt, next}) {
    const PackageSource b = MakePackageSource(other);
    EXPECT_NE(a.package_code, b.package_code);
    EXPECT_NE(a.wxs.substr(0, a.wxs.find("Name=")), b.wxs.substr(0, b.wxs.find("Name=")));
  }
  // Same-version rebuilds upgrade: the version found and removed is included.
  EXPECT_NE(Table(a, "Upgrade.idt").find("\t\t1.2.3\t\t513\t\tWIX_UPGRADE_DETECTED"),
            std::string::npos);
}

TEST(MsiSource, ShortNamesAreValidAndUniqueInTheirFolder) {
  struct Case {
    const char* name;
    const char* expected;
  };
  const Case cases[] = {
      {"qmcore.dll", "qmcore.dll"},
      {"QuellmarSAPI.dll", "QUELLM~1.DLL|QuellmarSAPI.dll"},
      {"QuellmarSetup.dll", "QUELLM~2.DLL|QuellmarSetup.dll"},
      {"QuellmarServer.exe", "QUELLM~1.EXE|QuellmarServer.exe"},
      {"QuellmarServer.exe.retired", "QUELLM~1.RET|QuellmarServer.exe.retired"},
      {"Quellmar SAPI5", "QUELLM~1|Quellmar SAPI5"},
      {"für alle.txt", "FRALLE~1.TXT|für alle.txt"},
      {".hlp", "_~1.HLP|.hlp"},
  };
  std::vector<std::string> taken;
  for (const Case& c : cases) EXPECT_EQ(ShortLongName(c.name, taken), c.expected);
  for (int i = 3; i <= 9; ++i) ShortLongName("QuellmarX.dll", taken);
  EXPECT_EQ(ShortLongName("QuellmarX.dll", taken), "QUELL~10.DLL|QuellmarX.dll");
  EXPECT_EQ(ShortLongName("qmcore.dll", taken), "QMCORE~1.DLL|qmcore.dll");
}

// An MSI identifier: a letter or underscore, then letters, digits,
// underscores and dots; at most 72 characters.
bool IsMsiId(const std::string& id) {
  if (id.empty() || id.size() > 72 ||
      !(std::isalpha(static_cast<unsigned char>(id[0])) || id[0] == '_'))
    return false;
  return std::all_of(id.begin(), id.end(), [](char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '.';
  });
}

// {XXXXXXXX-XXXX-8XXX-[89AB]XXX-XXXXXXXXXXXX}, upper-case hexadecimal.
bool IsNameGuid(const std::string& g) {
  if (g.size() != 38 || g.front() != '{' || g.back() != '}' || g[15] != '8' ||
      std::string("89AB").find(g[20]) == std::string::npos)
    return false;
  for (size_t i = 1; i + 1 < g.size(); ++i) {
    const bool dash = i == 9 || i == 14 || i == 19 || i == 24;
    if (dash ? g[i] != '-' : std::string("0123456789ABCDEF").find(g[i]) == std::string::npos)
      return false;
  }
  return true;
}

TEST(MsiSource, IdsAreValidUniqueAndStable) {
  std::set<std::string> ids;
  for (const char* f : {"a/b.c", "a_b.c", "A/B.C.d", "1.dll", "x y/z.dll", "é/ü.wav",
                        "very/long/path/that/goes/on/and/on/and/on/for/ever/and/ever/file.txt"}) {
    const std::string i = FileId(f);
    EXPECT_TRUE(IsMsiId(i)) << f << " -> " << i;
    EXPECT_TRUE(ids.insert(i).second) << f << " -> " << i;
  }
  EXPECT_EQ(FileId("x86/QuellmarSAPI.dll"), "x86_QuellmarSAPI.dll");
  EXPECT_TRUE(IsNameGuid(NameGuid("file:install/qmcore.dll")));
  EXPECT_EQ(NameGuid("file:install/a"), NameGuid("FILE:install/A"));
  EXPECT_NE(NameGuid("file:install/a"), NameGuid("file:install/b"));
}

TEST(MsiSource, RejectsWhatWouldMakeABrokenPackage) {
  for (const char* v : {"", "1", "1.2", "1.2.3.4", "256.0.0", "1.256.0", "1.0.65536", "1..2",
                        "1.2.", "a.b.c", "-1.0.0"}) {
    PackageOptions o = Layout();
    o.version = v;
    EXPECT_THROW(MakePackageSource(o), std::invalid_argument) << v;
  }
  for (const char* f : {"../evil.dll", "/abs.dll", "a//b", "c:/x", "a\\b", "QUELLMARSAPI.DLL"}) {
    PackageOptions o = Layout();
    o.files.push_back({f, "/x"});
    EXPECT_THROW(MakePackageSource(o), std::invalid_argument) << f;
  }
  PackageOptions unversioned = Layout();
  unversioned.binary_versions.erase("engine/Lib/qmcore.dll");
  EXPECT_THROW(MakePackageSource(unversioned), std::invalid_argument);
  PackageOptions o = Layout();
  o.version = "255.255.65535";
  EXPECT_NO_THROW(MakePackageSource(o));
}

TEST(MsiSource, IniEntriesPointAtTheFoldersAndKeepTheUsersValues) {
  const PackageSource s = MakePackageSource(Layout());
  const std::string& t = Table(s, "IniFile.idt");
  EXPECT_NE(t.find("IniSoundBank\tquellmar.ini\tWindowsFolder\tQuellmarAppDir\tSNDBANK\t"
                   "[INSTALLDIR]engine\\Lib\\\t0\t"),
            std::string::npos);
  EXPECT_NE(t.find("\tDICTFLSDIR\t[QMDICTDIR]\t0\t"), std::string::npos);
  EXPECT_NE(t.find("\tTEMPDIR\t[QMTEMPDIR]\t0\t"), std::string::npos);
  EXPECT_NE(t.find("\tQuellmarDictionary\tCUSTOM\tNO\t1\t"), std::string::npos);
  EXPECT_NE(t.find("\tQuellmarSettings\tPAUSE4\t7\t1\t"), std::string::npos);
  EXPECT_EQ(Count(t, "\r\n"), 3u + 9u);
}

}  // namespace
}  // namespace Quellmar::packaging
