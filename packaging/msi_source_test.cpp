#include "packaging/msi_source.h"

#include <gtest/gtest.h>

#include <regex>
#include <set>
#include <stdexcept>

namespace Quellmar::packaging {
namespace {

PackageOptions Layout() {
  PackageOptions o;
  o.version = "1.2.3";
  o.setup_dll = "/build/QuellmarSetup.dll";
  o.data_folders = {"Dictionary", "Temp"};
  for (const char* f :
       {"QuellmarSAPI.dll", "x86/QuellmarSAPI.dll", "x86/QuellmarServer.exe",
        "engine/Lib/qmcore.dll", "QuellmarDiag.exe", "QuellmarConfig.exe",
        "engine/Lexmere/Lexmere.exe", "Dictionary/sound/a.wav", "Dictionary/lexmere.txt",
        "Dictionary/userhash.tab", "Dictionary/Backup/lexmere.bak", "Temp/lexmere/userhelp.hlp"}) {
    o.files.push_back({f, std::string("/dist/") + f});
  }
  return o;
}

size_t Count(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

TEST(MsiSource, RegistersBothViewsFromTheRegistrationData) {
  const std::string wxs = WixSource(Layout());
  // Per view: two classes (path and threading model), eight tokens of three
  // values and seven attributes, and InstallLocation.
  EXPECT_EQ(Count(wxs, "<RegistryValue "), 2u * (2 * 2 + 8 * 10 + 1));
  EXPECT_EQ(Count(wxs, "Value=\"[#QuellmarSAPI.dll]\""), 2u);
  EXPECT_EQ(Count(wxs, "Value=\"[#x86_QuellmarSAPI.dll]\""), 2u);
  EXPECT_NE(wxs.find("Key=\"Software\\Microsoft\\Speech\\Voices\\Tokens\\Quellmar_custom\\"
                     "Attributes\" Name=\"Description\" Type=\"string\" Value=\"Every parameter "
                     "comes from the Quellmar configuration utility.\""),
            std::string::npos);
  EXPECT_NE(wxs.find("Key=\"Software\\Microsoft\\Speech\\Voices\\Tokens\\Quellmar_announcer\" "
                     "Type=\"string\" Value=\"Quellmar Oskel Announcer\""),
            std::string::npos);
  // The vendor's slash and the engine's apostrophe survive as XML.
  EXPECT_EQ(Count(wxs, "Value=\"Quellmar / Zentrik\""), 16u);
  EXPECT_NE(wxs.find("The engine&apos;s own voice"), std::string::npos);
  EXPECT_NE(wxs.find("Id=\"Registration64\""), std::string::npos);
  EXPECT_NE(wxs.find("Win64=\"no\""), std::string::npos);
}

TEST(MsiSource, WithoutThe32BitDllOnlyTheInstallLocationIsInItsView) {
  PackageOptions o = Layout();
  std::erase_if(o.files, [](const StagedFile& f) { return f.relative == kSapiDll32; });
  const std::string wxs = WixSource(o);
  EXPECT_EQ(Count(wxs, "<RegistryValue "), (2u * 2 + 8 * 10 + 1) + 1);
}

TEST(MsiSource, UserDataIsNeverPackagedAndDataGoesToTheDataFolder) {
  const std::string wxs = WixSource(Layout());
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

TEST(MsiSource, OptionalProgramsBringTheirShortcutsAndSelftest) {
  std::string wxs = WixSource(Layout());
  EXPECT_NE(wxs.find("Name=\"Quellmar Speech Configuration\" Target=\"[#QuellmarConfig.exe]\""),
            std::string::npos);
  EXPECT_NE(wxs.find("Target=\"[#engine_Lexmere_Lexmere.exe]\""), std::string::npos);
  EXPECT_NE(wxs.find("Property=\"QM_SELFTEST_PROGRAM\" Value=\"[#QuellmarDiag.exe]\""),
            std::string::npos);
  EXPECT_NE(wxs.find("DllEntry=\"RunSelftest\""), std::string::npos);
  EXPECT_NE(wxs.find("DllEntry=\"StopPrograms\""), std::string::npos);

  PackageOptions bare = Layout();
  std::erase_if(bare.files, [](const StagedFile& f) {
    return f.relative == kDiagExe || f.relative == kConfigExe || f.relative == kLexmereExe;
  });
  bare.setup_dll.clear();
  wxs = WixSource(bare);
  EXPECT_EQ(wxs.find("<Shortcut"), std::string::npos);
  EXPECT_EQ(wxs.find("Selftest"), std::string::npos);
  EXPECT_EQ(wxs.find("StopPrograms"), std::string::npos);
}

TEST(MsiSource, IdsAreValidUniqueAndStable) {
  const std::regex id("[A-Za-z_][A-Za-z0-9_.]{0,71}");
  std::set<std::string> ids;
  for (const char* f : {"a/b.c", "a_b.c", "A/B.C.d", "1.dll", "x y/z.dll", "é/ü.wav",
                        "very/long/path/that/goes/on/and/on/and/on/for/ever/and/ever/file.txt"}) {
    const std::string i = FileId(f);
    EXPECT_TRUE(std::regex_match(i, id)) << f << " -> " << i;
    EXPECT_TRUE(ids.insert(i).second) << f << " -> " << i;
  }
  EXPECT_EQ(FileId("x86/QuellmarSAPI.dll"), "x86_QuellmarSAPI.dll");
  const std::regex guid(
      "\\{[0-9A-F]{8}-[0-9A-F]{4}-8[0-9A-F]{3}-[89AB][0-9A-F]{3}-[0-9A-F]{12}\\}");
  EXPECT_TRUE(std::regex_match(NameGuid("file:install/qmcore.dll"), guid));
  EXPECT_EQ(NameGuid("file:install/a"), NameGuid("FILE:install/A"));
  EXPECT_NE(NameGuid("file:install/a"), NameGuid("file:install/b"));
}

TEST(MsiSource, RejectsWhatWouldMakeABrokenPackage) {
  for (const char* v : {"", "1", "1.2", "1.2.3.4", "256.0.0", "1.256.0", "1.0.65536", "1..2",
                        "1.2.", "a.b.c", "-1.0.0"}) {
    PackageOptions o = Layout();
    o.version = v;
    EXPECT_THROW(WixSource(o), std::invalid_argument) << v;
  }
  for (const char* f : {"../evil.dll", "/abs.dll", "a//b", "c:/x", "a\\b", "QUELLMARSAPI.DLL"}) {
    PackageOptions o = Layout();
    o.files.push_back({f, "/x"});
    EXPECT_THROW(WixSource(o), std::invalid_argument) << f;
  }
  PackageOptions o = Layout();
  o.version = "255.255.65535";
  EXPECT_NO_THROW(WixSource(o));
}

TEST(MsiSource, IniEntriesPointAtTheFoldersAndKeepTheUsersValues) {
  const std::string t = IniFileTable();
  EXPECT_NE(t.find("IniSoundBank\tquellmar.ini\tWindowsFolder\tQuellmarAppDir\tSNDBANK\t"
                   "[INSTALLDIR]engine\\Lib\\\t0\t"),
            std::string::npos);
  EXPECT_NE(t.find("\tDICTFLSDIR\t[QMDICTDIR]\t0\t"), std::string::npos);
  EXPECT_NE(t.find("\tTEMPDIR\t[QMTEMPDIR]\t0\t"), std::string::npos);
  EXPECT_NE(t.find("\tQuellmarDictionary\tCUSTOM\tNO\t1\t"), std::string::npos);
  EXPECT_NE(t.find("\tQuellmarSettings\tPAUSE4\t7\t1\t"), std::string::npos);
  EXPECT_EQ(Count(t, "\r\n"), 3u + 9u);
  EXPECT_NE(LockPermissionsTable().find("QMDICTDIR\tCreateFolder\tD:"), std::string::npos);
}

}  // namespace
}  // namespace Quellmar::packaging
