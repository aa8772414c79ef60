#include "packaging/msi_source.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <map>
#include <set>
#include <sstream>
#include <stdexcept>

#include "common/engine_settings.h"
#include "common/voices.h"
#include "sapi/sapi_ids.h"

namespace Quellmar::packaging {
namespace {

// Stays the same for every version: it is how a newer package finds the
// older one it replaces.
constexpr char kUpgradeCode[] = "{8E3B1C52-6A0F-4D2E-9B57-21C4A9D0E6F3}";
constexpr char kManufacturer[] = "Quellmar / Zentrik";

// Directory ids the tables refer to by name.
constexpr char kInstallDirId[] = "INSTALLDIR";
constexpr char kDataDirId[] = "QMDATADIR";
constexpr char kDictionaryDirId[] = "QMDICTDIR";
constexpr char kTempDirId[] = "QMTEMPDIR";
constexpr char kMenuDirId[] = "QMMENUDIR";
constexpr char kDictionaryFolder[] = "Dictionary";
constexpr char kTempFolder[] = "Temp";
constexpr char kIniComponent[] = "EngineSettingsFile";

std::string Utf8(const wchar_t* text) {
  std::string out;
  for (; *text; ++text) {
    const uint32_t c = static_cast<uint32_t>(*text);
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (c >> 18));
      out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

std::string Xml(const std::string& text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&apos;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

std::string Lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return s;
}

// 64-bit FNV-1a; two seeds make the 128 bits of a GUID.
uint64_t Fnv(const std::string& text, uint64_t seed) {
  uint64_t h = seed;
  for (unsigned char c : text) {
    h ^= c;
    h *= 0x100000001b3ULL;
  }
  return h;
}

std::string Hex(uint64_t v, int digits) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string out(digits, '0');
  for (int i = digits - 1; i >= 0; --i, v >>= 4) out[i] = kDigits[v & 0xF];
  return out;
}

void CheckVersion(const std::string& version) {
  // Windows Installer compares the first three fields: major (< 256),
  // minor (< 256), build (< 65536).
  static const unsigned kLimits[3] = {255, 255, 65535};
  std::istringstream in(version);
  std::string part;
  int n = 0;
  while (std::getline(in, part, '.')) {
    if (n >= 3 || part.empty() || part.size() > 5 ||
        part.find_first_not_of("0123456789") != std::string::npos ||
        std::stoul(part) > kLimits[n]) {
      throw std::invalid_argument("malformed version: " + version);
    }
    ++n;
  }
  if (n != 3 || version.back() == '.') throw std::invalid_argument("malformed version: " + version);
}

void CheckRelative(const std::string& relative) {
  if (relative.empty() || relative.front() == '/' || relative.back() == '/' ||
      relative.find('\\') != std::string::npos || relative.find(':') != std::string::npos) {
    throw std::invalid_argument("not a layout path: " + relative);
  }
  std::istringstream in(relative);
  std::string part;
  while (std::getline(in, part, '/')) {
    if (part.empty() || part == "." || part == "..") {
      throw std::invalid_argument("not a layout path: " + relative);
    }
  }
}

struct Folder {
  std::string id;
  std::string name;
  std::map<std::string, Folder> children;  // by lower-case name
  std::vector<const StagedFile*> files;
};

std::string Indent(int depth) { return std::string(2 * depth, ' '); }

class Writer {
 public:
  explicit Writer(const PackageOptions& options) : options_(options) {}

  std::string Build() {
    CheckVersion(options_.version);
    SortFiles();
    std::ostringstream x;
    x << "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
      << "<!-- Generated from the staged layout by qm_msi_source; do not edit. -->\n"
      << "<Wix xmlns=\"http://schemas.microsoft.com/wix/2006/wi\">\n"
      << "  <Product Id=\"*\" Name=\"" << kProductName << "\" Language=\"1033\" Codepage=\"1252\""
      << " Version=\"" << options_.version << "\" Manufacturer=\"" << Xml(kManufacturer)
      << "\" UpgradeCode=\"" << kUpgradeCode << "\">\n"
      << "    <Package InstallerVersion=\"500\" Compressed=\"yes\" InstallScope=\"perMachine\""
      << " Description=\"" << kProductName << " " << options_.version
      << "\" Comments=\"Eight SAPI 5 voices for 64-bit and 32-bit programs\" Manufacturer=\""
      << Xml(kManufacturer) << "\"/>\n"
      << "    <MajorUpgrade DowngradeErrorMessage=\"A newer version of " << kProductName
      << " is already installed.\"/>\n"
      << "    <Media Id=\"1\" Cabinet=\"quellmar.cab\" EmbedCab=\"yes\"/>\n"
      << "    <Property Id=\"ARPNOMODIFY\" Value=\"1\"/>\n"
      // Repairs, upgrades and the uninstall work on the folder the product
      // was installed into, wherever INSTALLDIR pointed then.
      << "    <Property Id=\"" << kInstallDirId << "\">\n"
      << "      <RegistrySearch Id=\"RememberedInstallDir\" Root=\"HKLM\" "
         "Key=\"SOFTWARE\\Quellmar SAPI5\" Name=\"InstallLocation\" Type=\"raw\" Win64=\"yes\"/>\n"
      << "    </Property>\n";
    x << "    <Directory Id=\"TARGETDIR\" Name=\"SourceDir\">\n";
    x << "      <Directory Id=\"ProgramFiles64Folder\">\n";
    WriteFolder(x, install_, 4);
    x << "      </Directory>\n";
    x << "      <Directory Id=\"CommonAppDataFolder\">\n";
    WriteFolder(x, data_, 4);
    x << "      </Directory>\n";
    x << "      <Directory Id=\"ProgramMenuFolder\">\n";
    WriteMenu(x, 4);
    x << "      </Directory>\n";
    x << "    </Directory>\n";
    x << "    <Feature Id=\"Complete\" Title=\"" << kProductName
      << "\" Level=\"1\" ConfigurableDirectory=\"" << kInstallDirId << "\">\n";
    for (const std::string& c : components_) x << "      <ComponentRef Id=\"" << c << "\"/>\n";
    x << "    </Feature>\n";
    WriteActions(x);
    x << "  </Product>\n</Wix>\n";
    return x.str();
  }

 private:
  void SortFiles() {
    std::set<std::string> data(options_.data_folders.begin(), options_.data_folders.end());
    std::set<std::string> seen;
    install_ = Folder{kInstallDirId, kProductName, {}, {}};
    data_ = Folder{kDataDirId, kProductName, {}, {}};
    data_.children[Lower(kDictionaryFolder)] = Folder{kDictionaryDirId, kDictionaryFolder, {}, {}};
    data_.children[Lower(kTempFolder)] = Folder{kTempDirId, kTempFolder, {}, {}};
    for (const StagedFile& file : options_.files) {
      CheckRelative(file.relative);
      if (!seen.insert(Lower(file.relative)).second) {
        throw std::invalid_argument("staged twice: " + file.relative);
      }
      const size_t slash = file.relative.find('/');
      const bool is_data = slash != std::string::npos && data.count(file.relative.substr(0, slash));
      if (is_data && IsUserDataFile(file.relative)) continue;
      Folder* folder = is_data ? &data_ : &install_;
      std::string path = is_data ? "data" : "install";
      std::istringstream in(file.relative);
      std::string part;
      std::vector<std::string> parts;
      while (std::getline(in, part, '/')) parts.push_back(part);
      for (size_t i = 0; i + 1 < parts.size(); ++i) {
        path += "/" + parts[i];
        Folder& child = folder->children[Lower(parts[i])];
        if (child.id.empty()) {
          child.id = "d" + Hex(Fnv(Lower(path), 0xcbf29ce484222325ULL), 16);
          child.name = parts[i];
        }
        folder = &child;
      }
      folder->files.push_back(&file);
      if (is_data) data_relative_[&file] = file.relative;
      staged_.insert(Lower(file.relative));
    }
  }

  bool Staged(const char* relative) const { return staged_.count(Lower(relative)) != 0; }

  void WriteFolder(std::ostringstream& x, const Folder& folder, int depth) {
    x << Indent(depth) << "<Directory Id=\"" << folder.id << "\" Name=\"" << Xml(folder.name)
      << "\">\n";
    if (folder.id == kInstallDirId) WriteRegistration(x, depth + 1);
    if (folder.id == kDataDirId) WriteDataFolder(x, kDataDirId, depth + 1, true);
    if (folder.id == kDictionaryDirId || folder.id == kTempDirId) {
      WriteDataFolder(x, folder.id, depth + 1, false);
    }
    for (const StagedFile* file : folder.files) {
      const std::string id = FileId(file->relative);
      const std::string component = "c_" + id;
      const std::string root = data_relative_.count(file) ? "data/" : "install/";
      x << Indent(depth + 1) << "<Component Id=\"" << component << "\" Guid=\""
        << NameGuid("file:" + root + Lower(file->relative)) << "\" Win64=\"yes\">\n"
        << Indent(depth + 2) << "<File Id=\"" << id << "\" Name=\""
        << Xml(file->relative.substr(file->relative.rfind('/') + 1)) << "\" Source=\""
        << Xml(file->source) << "\" KeyPath=\"yes\"/>\n"
        << Indent(depth + 1) << "</Component>\n";
      components_.push_back(component);
    }
    for (const auto& [name, child] : folder.children) WriteFolder(x, child, depth + 1);
    x << Indent(depth) << "</Directory>\n";
  }

  // The data folders exist from the start (the dictionary editor writes into
  // them); they stay behind on uninstall while they hold the user's files.
  void WriteDataFolder(std::ostringstream& x, const std::string& id, int depth, bool ini) {
    const std::string component = ini ? kIniComponent : "c_" + id;
    x << Indent(depth) << "<Component Id=\"" << component << "\" Guid=\""
      << NameGuid("folder:" + id) << "\" Win64=\"yes\">\n"
      << Indent(depth + 1) << "<CreateFolder/>\n"
      << Indent(depth) << "</Component>\n";
    components_.push_back(component);
  }

  void Value(std::ostringstream& x, int depth, const std::string& key, const std::string* name,
             const std::string& value, bool key_path = false) {
    x << Indent(depth) << "<RegistryValue Root=\"HKLM\" Key=\"" << Xml(key) << "\"";
    if (name) x << " Name=\"" << Xml(*name) << "\"";
    x << " Type=\"string\" Value=\"" << Xml(value) << "\"";
    if (key_path) x << " KeyPath=\"yes\"";
    x << "/>\n";
  }

  // What DllRegisterServer writes, once per registry view, pointing at the
  // DLL of that view, and the install location the worker client looks up.
  void WriteRegistration(std::ostringstream& x, int depth) {
    struct View {
      const char* component;
      const char* win64;
      const char* dll;
    };
    const View views[] = {{"Registration64", "yes", kSapiDll64},
                          {"Registration32", "no", kSapiDll32}};
    for (const View& view : views) {
      x << Indent(depth) << "<Component Id=\"" << view.component << "\" Guid=\""
        << NameGuid(std::string("registry:") + view.component) << "\" Win64=\"" << view.win64
        << "\">\n";
      const std::string install_key = "SOFTWARE\\Quellmar SAPI5";
      const std::string install_value = "InstallLocation";
      Value(x, depth + 1, install_key, &install_value, "[INSTALLDIR]", true);
      if (Staged(view.dll)) WriteServer(x, depth + 1, "[#" + FileId(view.dll) + "]");
      x << Indent(depth) << "</Component>\n";
      components_.push_back(view.component);
    }
  }

  void WriteServer(std::ostringstream& x, int depth, const std::string& dll) {
    const std::string threading = Utf8(sapi::kThreadingModelValue);
    for (const wchar_t* clsid : {sapi::kEnumeratorClassIdText, sapi::kEngineClassIdText}) {
      const std::string key =
          Utf8(sapi::kClassesClsidKey) + "\\" + Utf8(clsid) + "\\" + Utf8(sapi::kInProcServerKey);
      Value(x, depth, key, nullptr, dll);
      Value(x, depth, key, &threading, Utf8(sapi::kThreadingModelBoth));
    }
    const std::string clsid_name = Utf8(sapi::kClsidValue);
    const std::string language_name = Utf8(sapi::kLanguageNameValue);
    for (int i = 0; i < kVoiceCount; ++i) {
      const VoiceTexts texts = VoiceTextsFor(i);
      const std::string token =
          Utf8(sapi::kVoiceTokensKey) + "\\" + Utf8(sapi::kTokenPrefix) + Utf8(texts.key);
      const std::string name = Utf8(texts.display_name);
      Value(x, depth, token, nullptr, name);
      Value(x, depth, token, &clsid_name, Utf8(sapi::kEngineClassIdText));
      Value(x, depth, token, &language_name, name);
      const std::string attributes = token + "\\" + Utf8(sapi::kAttributesKey);
      const std::pair<const wchar_t*, std::string> values[] = {
          {sapi::kNameAttribute, name},
          {sapi::kGenderAttribute, Utf8(sapi::kGenderMale)},
          {sapi::kAgeAttribute, Utf8(sapi::kAgeAdult)},
          {sapi::kLanguageAttribute, Utf8(sapi::kLanguageUsEnglish)},
          {sapi::kVendorAttribute, Utf8(sapi::kVendorName)},
          {sapi::kDescriptionAttribute, Utf8(texts.description)},
          {sapi::kVoiceKeyAttribute, Utf8(texts.key)},
      };
      for (const auto& [value_name, value] : values) {
        const std::string n = Utf8(value_name);
        Value(x, depth, attributes, &n, value);
      }
    }
  }

  void WriteMenu(std::ostringstream& x, int depth) {
    const bool config = Staged(kConfigExe);
    const bool lexmere = Staged(kLexmereExe);
    if (!config && !lexmere) return;
    x << Indent(depth) << "<Directory Id=\"" << kMenuDirId << "\" Name=\"" << kProductName
      << "\">\n"
      << Indent(depth + 1) << "<Component Id=\"StartMenu\" Guid=\"" << NameGuid("start-menu")
      << "\" Win64=\"yes\">\n";
    if (config) {
      x << Indent(depth + 2) << "<Shortcut Id=\"ConfigShortcut\" Name=\"" << kConfigShortcutName
        << "\" Target=\"[#" << FileId(kConfigExe) << "]\" WorkingDirectory=\"" << kInstallDirId
        << "\" Advertise=\"no\"/>\n";
    }
    if (lexmere) {
      x << Indent(depth + 2) << "<Shortcut Id=\"LexmereShortcut\" Name=\"" << kLexmereShortcutName
        << "\" Target=\"[#" << FileId(kLexmereExe) << "]\" WorkingDirectory=\""
        << FolderId("engine/Lexmere") << "\" Advertise=\"no\"/>\n";
    }
    x << Indent(depth + 2) << "<RemoveFolder Id=\"RemoveStartMenu\" On=\"uninstall\"/>\n"
      << Indent(depth + 1) << "</Component>\n"
      << Indent(depth) << "</Directory>\n";
    components_.push_back("StartMenu");
  }

  std::string FolderId(const std::string& relative) const {
    const Folder* folder = &install_;
    std::istringstream in(relative);
    std::string part;
    while (std::getline(in, part, '/')) folder = &folder->children.at(Lower(part));
    return folder->id;
  }

  void WriteActions(std::ostringstream& x) {
    // Add/Remove Programs shows where the product lives.
    x << "    <CustomAction Id=\"SetArpInstallLocation\" Property=\"ARPINSTALLLOCATION\""
         " Value=\"[INSTALLDIR]\"/>\n";
    std::ostringstream sequence;
    // wixl orders Before/After loosely: the places are given as numbers.
    sequence << "      <Custom Action=\"SetArpInstallLocation\" Sequence=\"1001\"/>\n";
    if (!options_.setup_dll.empty()) {
      // A running worker holds its files and the engine, an open dialog its
      // program: both go before the installer checks for files in use, on
      // install, repair, upgrade and uninstall alike.
      x << "    <Binary Id=\"QuellmarSetup\" SourceFile=\"" << Xml(options_.setup_dll) << "\"/>\n"
        << "    <CustomAction Id=\"StopPrograms\" BinaryKey=\"QuellmarSetup\" "
           "DllEntry=\"StopPrograms\""
           " Execute=\"immediate\" Return=\"ignore\"/>\n";
      sequence << "      <Custom Action=\"StopPrograms\" Sequence=\"1390\"/>\n";
      // The uninstall's ini entries go at 3100 (RemoveIniValues); what they
      // leave of quellmar.ini is tidied right after, as the system.
      x << "    <CustomAction Id=\"SetTidyEngineSettings\" Property=\"TidyEngineSettings\""
           " Value=\"[WindowsFolder]quellmar.ini\"/>\n"
        << "    <CustomAction Id=\"TidyEngineSettings\" BinaryKey=\"QuellmarSetup\""
           " DllEntry=\"TidyEngineSettings\" Execute=\"deferred\" Impersonate=\"no\""
           " Return=\"ignore\"/>\n";
      // An upgrade carries the user's own quellmar.ini values over the
      // removal of the older version (read before it, written back after
      // this package's entries at 5100).
      x << "    <CustomAction Id=\"SaveEngineSettings\" BinaryKey=\"QuellmarSetup\""
           " DllEntry=\"SaveEngineSettings\" Execute=\"immediate\" Return=\"ignore\"/>\n"
        << "    <CustomAction Id=\"RestoreEngineSettings\" BinaryKey=\"QuellmarSetup\""
           " DllEntry=\"RestoreEngineSettings\" Execute=\"deferred\" Impersonate=\"no\""
           " Return=\"ignore\"/>\n";
      sequence << "      <Custom Action=\"SaveEngineSettings\" Sequence=\"1395\">"
                  "WIX_UPGRADE_DETECTED AND NOT REMOVE</Custom>\n"
               << "      <Custom Action=\"RestoreEngineSettings\" Sequence=\"5110\">"
                  "RestoreEngineSettings</Custom>\n";
      sequence << "      <Custom Action=\"SetTidyEngineSettings\" Sequence=\"1002\"/>\n"
               << "      <Custom Action=\"TidyEngineSettings\" Sequence=\"3110\">REMOVE~=\"ALL\" "
                  "AND NOT UPGRADINGPRODUCTCODE</Custom>\n";
    }
    if (Staged(kDiagExe) && !options_.setup_dll.empty()) {
      // The installation check: its verdict is the record in the user's
      // install-check.txt, it never fails the install; run hidden and with a
      // time limit by the setup DLL.
      x << "    <CustomAction Id=\"SetSelftestProgram\" Property=\"QM_SELFTEST_PROGRAM\""
           " Value=\"[#"
        << FileId(kDiagExe) << "]\"/>\n"
        << "    <CustomAction Id=\"RunSelftest\" BinaryKey=\"QuellmarSetup\""
           " DllEntry=\"RunSelftest\" Execute=\"immediate\" Return=\"ignore\"/>\n";
      sequence << "      <Custom Action=\"SetSelftestProgram\" Sequence=\"1003\"/>\n"
               << "      <Custom Action=\"RunSelftest\" Sequence=\"6610\">NOT Installed AND "
                  "NOT REMOVE</Custom>\n";
    }
    x << "    <InstallExecuteSequence>\n" << sequence.str() << "    </InstallExecuteSequence>\n";
  }

  const PackageOptions& options_;
  Folder install_;
  Folder data_;
  std::map<const StagedFile*, std::string> data_relative_;
  std::set<std::string> staged_;
  std::vector<std::string> components_;
};

std::string IdtRow(std::initializer_list<std::string> fields) {
  std::string row;
  for (const std::string& f : fields) {
    if (!row.empty()) row += '\t';
    row += f;
  }
  return row + "\r\n";
}

}  // namespace

bool IsUserDataFile(const std::string& relative) {
  const std::string lower = Lower(relative);
  const std::string name = lower.substr(lower.rfind('/') + 1);
  static const char* const kUserFiles[] = {"lexmere.txt", "lexmere.bak", "lexmere.fle",
                                           "userhash.tab", "userhash.dvl"};
  for (const char* f : kUserFiles) {
    if (name == f) return true;
  }
  return lower.find("/backup/") != std::string::npos;
}

std::string NameGuid(const std::string& name) {
  const std::string key = "Quellmar SAPI5 installer:" + Lower(name);
  const uint64_t a = Fnv(key, 0xcbf29ce484222325ULL);
  uint64_t b = Fnv(key, 0x84222325cbf29ce4ULL);
  // Variant bits of RFC 4122 and version 8 (a custom, name-derived GUID).
  const uint64_t hi = (a & ~0xF000ULL) | 0x8000ULL;
  b = (b & ~(0xC000ULL << 48)) | (0x8000ULL << 48);
  const std::string h = Hex(hi, 16);
  const std::string l = Hex(b, 16);
  return "{" + h.substr(0, 8) + "-" + h.substr(8, 4) + "-" + h.substr(12, 4) + "-" +
         l.substr(0, 4) + "-" + l.substr(4, 12) + "}";
}

std::string FileId(const std::string& relative) {
  // Letters, digits and dots keep the path readable ("x86_QuellmarSAPI.dll");
  // without underscores in the path, distinct paths give distinct ids.
  const bool plain = std::all_of(relative.begin(), relative.end(), [](char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '/';
  });
  std::string id = relative;
  std::replace(id.begin(), id.end(), '/', '_');
  if (plain && !id.empty() && id.size() <= 60 && std::isalpha(static_cast<unsigned char>(id[0]))) {
    return id;
  }
  std::string tail;
  for (char c : id) tail += std::isalnum(static_cast<unsigned char>(c)) || c == '.' ? c : '_';
  if (tail.size() > 40) tail = tail.substr(tail.size() - 40);
  return "f" + Hex(Fnv(Lower(relative), 0xcbf29ce484222325ULL), 16) + "_" + tail;
}

std::string WixSource(const PackageOptions& options) { return Writer(options).Build(); }

std::string IniFileTable() {
  std::string t = IdtRow(
      {"IniFile", "FileName", "DirProperty", "Section", "Key", "Value", "Action", "Component_"});
  t += IdtRow({"s72", "l255", "S72", "l96", "l128", "l255", "i2", "s72"});
  t += IdtRow({"IniFile", "IniFile"});
  // Action 0 replaces the value: the folders always name this installation.
  // Action 1 adds the key only when it is missing: the user's dictionary
  // switch and pauses survive a reinstall or an upgrade.
  const std::string file = Utf8(kEngineSettingsFileName);
  auto row = [&](const std::string& id, const wchar_t* section, const wchar_t* key,
                 const std::string& value, const char* action) {
    t +=
        IdtRow({id, file, "WindowsFolder", Utf8(section), Utf8(key), value, action, kIniComponent});
  };
  row("IniSoundBank", kAppDirSection, kSoundBankKey, "[INSTALLDIR]engine\\Lib\\", "0");
  row("IniTempDir", kAppDirSection, kTempDirKey, std::string("[") + kTempDirId + "]", "0");
  row("IniDictFilesDir", kAppDirSection, kDictionaryFilesKey,
      std::string("[") + kDictionaryDirId + "]", "0");
  row("IniLexmereDir", kAppDirSection, kUserDictionaryKey, "[INSTALLDIR]engine\\Lexmere\\", "0");
  row("IniCustom", kDictionarySection, kCustomKey, Utf8(kCustomOff), "1");
  for (int i = 0; i < 4; ++i) {
    row("IniPause" + std::to_string(i + 1), kEngineSettingsSection, kEnginePauseKeys[i],
        std::to_string(kEngineDefaultPauses[i]), "1");
  }
  return t;
}

std::string LockPermissionsTable() {
  std::string t = IdtRow({"MsiLockPermissionsEx", "LockObject", "Table", "SDDLText", "Condition"});
  t += IdtRow({"s72", "s72", "s32", "l0", "S255"});
  t += IdtRow({"MsiLockPermissionsEx", "MsiLockPermissionsEx"});
  // The dictionary editor runs as a normal user and writes its source list,
  // compiled files, backups and work files here: every user may modify,
  // administrators and the system keep full control.
  const std::string sddl = "D:(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1301bf;;;BU)";
  t += IdtRow({"LockDictionary", kDictionaryDirId, "CreateFolder", sddl, ""});
  t += IdtRow({"LockTemp", kTempDirId, "CreateFolder", sddl, ""});
  return t;
}

}  // namespace Quellmar::packaging
