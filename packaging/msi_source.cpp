#include "packaging/msi_source.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <map>
#include <set>
#include <sstream>
#include <stdexcept>

#include "common/engine_settings.h"
#include "common/voices.h"
#include "packaging/folder_rules.h"
#include "sapi/sapi_ids.h"

namespace Quellmar::packaging {
namespace {

// Stays the same for every version: it is how a newer package finds the
// older one it replaces.
constexpr char kUpgradeCode[] = "{8E3B1C52-6A0F-4D2E-9B57-21C4A9D0E6F3}";
constexpr char kManufacturer[] = "Quellmar / Zentrik";
// Where Apps & features sends a user who asks for help.
constexpr char kHelpLink[] = "https://www.quellmar.example/sapi5/help";
constexpr char kIconId[] = "QuellmarSAPI5.ico";
constexpr char kFeature[] = "Complete";
constexpr char kSetupBinary[] = "QuellmarSetup";

// Directory ids the tables refer to by name.
constexpr char kInstallDirId[] = "INSTALLDIR";
constexpr char kDataDirId[] = "QMDATADIR";
constexpr char kDictionaryDirId[] = "QMDICTDIR";
constexpr char kTempDirId[] = "QMTEMPDIR";
constexpr char kMenuDirId[] = "QMMENUDIR";
constexpr char kDictionaryFolder[] = "Dictionary";
constexpr char kTempFolder[] = "Temp";
constexpr char kIniComponent[] = "EngineSettingsFile";
// The worker is moved aside under this name while the product's files are
// serviced, so that no client can start it meanwhile; Windows Installer
// removes it with the files (or at the next restart, when it is still held).
constexpr char kRetiredWorkerName[] = "QuellmarServer.exe.retired";

// Custom action types (the CustomAction table's Type column).
constexpr int kDllAction = 1;
constexpr int kSetProperty = 51;
constexpr int kIgnoreResult = 64;
constexpr int kRollback = 256;
constexpr int kInScript = 1024;       // deferred: runs while the installation script runs
constexpr int kNoImpersonate = 2048;  // as the system; for deferred actions only

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

std::string Sql(const std::string& text) {
  std::string out;
  for (char c : text) out += c == '\'' ? std::string("''") : std::string(1, c);
  return "'" + out + "'";
}

bool IsBinary(const std::string& relative) {
  const std::string lower = Lower(relative);
  return lower.ends_with(".exe") || lower.ends_with(".dll");
}

std::string IdtRow(std::initializer_list<std::string> fields) {
  std::string row;
  bool first = true;
  for (const std::string& f : fields) {
    if (!first) row += '\t';
    row += f;
    first = false;
  }
  return row + "\r\n";
}

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

// One row of the CustomAction table and, when it has one, its place in the
// execution sequence.
struct Action {
  std::string id;
  int type;
  std::string source;
  std::string target;
  int sequence;
  std::string condition;
};

class Writer {
 public:
  explicit Writer(const PackageOptions& options) : options_(options) {}

  PackageSource Build() {
    CheckVersion(options_.version);
    if (options_.content_digest.empty()) throw std::invalid_argument("no content digest");
    SortFiles();
    AssignShortNames(install_);
    AssignShortNames(data_);
    const std::string identity = options_.version + ":" + options_.content_digest;
    PackageSource out;
    out.subject = std::string(kProductName) + " " + options_.version;
    out.author = kManufacturer;
    out.package_code = NameGuid("package:" + identity);
    out.wxs = Wxs(NameGuid("product:" + identity));
    Actions();
    out.tables = {{"IniFile.idt", IniFileTable()},
                  {"MsiLockPermissionsEx.idt", LockPermissionsTable()},
                  {"Upgrade.idt", UpgradeTable()},
                  {"CustomAction.idt", CustomActionTable()}};
    if (Staged(kSapiDll64)) out.tables.push_back({"Class.idt", ClassTable()});
    out.queries = std::move(queries_);
    return out;
  }

 private:
  std::string Wxs(const std::string& product_code) {
    std::ostringstream x;
    x << "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
      << "<!-- Generated from the staged layout by qm_msi_source; do not edit. -->\n"
      << "<Wix xmlns=\"http://schemas.microsoft.com/wix/2006/wi\">\n"
      << "  <Product Id=\"" << product_code << "\" Name=\"" << kProductName
      << "\" Language=\"1033\" Codepage=\"1252\" Version=\"" << options_.version
      << "\" Manufacturer=\"" << Xml(kManufacturer) << "\" UpgradeCode=\"" << kUpgradeCode
      << "\">\n"
      << "    <Package InstallerVersion=\"500\" Compressed=\"yes\" InstallScope=\"perMachine\""
      << " Description=\"" << kProductName << " " << options_.version
      << "\" Comments=\"Eight SAPI 5 voices for 64-bit and 32-bit programs\" Manufacturer=\""
      << Xml(kManufacturer) << "\"/>\n"
      << "    <MajorUpgrade DowngradeErrorMessage=\"A newer version of " << kProductName
      << " is already installed.\"/>\n"
      << "    <Media Id=\"1\" Cabinet=\"quellmar.cab\" EmbedCab=\"yes\"/>\n"
      << "    <Property Id=\"ARPNOMODIFY\" Value=\"1\"/>\n"
      << "    <Property Id=\"ARPHELPLINK\" Value=\"" << kHelpLink << "\"/>\n";
    if (!options_.icon_file.empty()) {
      x << "    <Icon Id=\"" << kIconId << "\" SourceFile=\"" << Xml(options_.icon_file) << "\"/>\n"
        << "    <Property Id=\"ARPPRODUCTICON\" Value=\"" << kIconId << "\"/>\n";
    }
    // Repairs, upgrades and the uninstall work on the folder the product
    // was installed into, wherever INSTALLDIR pointed then.
    x << "    <Property Id=\"" << kInstallDirId << "\">\n"
      << "      <RegistrySearch Id=\"RememberedInstallDir\" Root=\"HKLM\" "
         "Key=\"SOFTWARE\\Quellmar SAPI5\" Name=\"InstallLocation\" Type=\"raw\" Win64=\"yes\"/>\n"
      << "    </Property>\n";
    if (!options_.setup_dll.empty()) {
      x << "    <Binary Id=\"" << kSetupBinary << "\" SourceFile=\"" << Xml(options_.setup_dll)
        << "\"/>\n";
    }
    x << "    <Directory Id=\"TARGETDIR\" Name=\"SourceDir\">\n";
    // The 32-bit registry view's registration belongs to no folder: a 32-bit
    // component must not sit in the 64-bit program folder.
    WriteRegistration(x, 3, false);
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
    x << "    <Feature Id=\"" << kFeature << "\" Title=\"" << kProductName
      << "\" Level=\"1\" ConfigurableDirectory=\"" << kInstallDirId << "\">\n";
    for (const std::string& c : components_) x << "      <ComponentRef Id=\"" << c << "\"/>\n";
    x << "    </Feature>\n";
    x << "  </Product>\n</Wix>\n";
    return x.str();
  }

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
      if (IsBinary(file.relative) && !options_.binary_versions.count(file.relative)) {
        throw std::invalid_argument("no version resource: " + file.relative);
      }
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

  // Short names for a folder's contents, valid 8.3 names first so that the
  // made-up ones never take theirs; then for the folders in it.
  void AssignShortNames(const Folder& folder) {
    std::vector<std::string> names;
    for (const auto& [key, child] : folder.children) names.push_back(child.name);
    for (const StagedFile* file : folder.files) names.push_back(BaseName(file->relative));
    if (folder.id == FolderIdOf(kWorkerExe)) names.push_back(kRetiredWorkerName);
    std::vector<std::string> taken;
    std::vector<std::string> valid, other;
    for (const std::string& n : names) (ShortLongName(n, taken) == n ? valid : other).push_back(n);
    taken.clear();
    for (const std::string& n : valid) short_names_[folder.id + "/" + n] = ShortLongName(n, taken);
    for (const std::string& n : other) short_names_[folder.id + "/" + n] = ShortLongName(n, taken);
    for (const auto& [key, child] : folder.children) AssignShortNames(child);
  }

  std::string ShortOf(const std::string& folder_id, const std::string& name) const {
    return short_names_.at(folder_id + "/" + name);
  }

  static std::string BaseName(const std::string& relative) {
    return relative.substr(relative.rfind('/') + 1);
  }

  void Query(const std::string& query) { queries_.push_back(query); }

  void WriteFolder(std::ostringstream& x, const Folder& folder, int depth) {
    x << Indent(depth) << "<Directory Id=\"" << folder.id << "\" Name=\"" << Xml(folder.name)
      << "\">\n";
    if (folder.id == kInstallDirId || folder.id == kDataDirId) {
      if (folder.id == kInstallDirId) WriteRegistration(x, depth + 1, true);
      if (folder.id == kDataDirId) WriteDataFolders(x, depth + 1);
      std::vector<std::string> taken;
      Query("UPDATE `Directory` SET `DefaultDir`=" + Sql(ShortLongName(folder.name, taken)) +
            " WHERE `Directory`=" + Sql(folder.id));
    }
    for (const StagedFile* file : folder.files) {
      const std::string id = FileId(file->relative);
      const std::string component = "c_" + id;
      const std::string root = data_relative_.count(file) ? "data/" : "install/";
      const std::string name = BaseName(file->relative);
      x << Indent(depth + 1) << "<Component Id=\"" << component << "\" Guid=\""
        << NameGuid("file:" + root + Lower(file->relative)) << "\" Win64=\"yes\">\n"
        << Indent(depth + 2) << "<File Id=\"" << id << "\" Name=\"" << Xml(name) << "\" Source=\""
        << Xml(file->source) << "\" KeyPath=\"yes\"/>\n";
      if (file->relative == kSapiDll64) WriteThreadingModel(x, depth + 2);
      x << Indent(depth + 1) << "</Component>\n";
      components_.push_back(component);
      const std::string short_long = ShortOf(folder.id, name);
      if (short_long != name) {
        Query("UPDATE `File` SET `FileName`=" + Sql(short_long) + " WHERE `File`=" + Sql(id));
      }
      const auto version = options_.binary_versions.find(file->relative);
      if (version != options_.binary_versions.end()) {
        Query("UPDATE `File` SET `Version`=" + Sql(version->second.file_version) + ", `Language`=" +
              Sql(std::to_string(version->second.language)) + " WHERE `File`=" + Sql(id));
      }
      if (file->relative == kWorkerExe) {
        Query(
            "INSERT INTO `RemoveFile` (`FileKey`, `Component_`, `FileName`, `DirProperty`, "
            "`InstallMode`) VALUES ('RetiredWorker', " +
            Sql(component) + ", " + Sql(ShortOf(folder.id, kRetiredWorkerName)) + ", " +
            Sql(folder.id) + ", 3)");
      }
    }
    for (const auto& [name, child] : folder.children) {
      const std::string short_long = ShortOf(folder.id, child.name);
      if (short_long != child.name) {
        Query("UPDATE `Directory` SET `DefaultDir`=" + Sql(short_long) +
              " WHERE `Directory`=" + Sql(child.id));
      }
      WriteFolder(x, child, depth + 1);
    }
    x << Indent(depth) << "</Directory>\n";
  }

  // The data folders exist from the start (the dictionary editor writes into
  // them) and stay behind on uninstall while they hold the user's files. One
  // component makes them all, and holds quellmar.ini's entries that name
  // them; its key path is a registry value, as a folder is a poor one.
  void WriteDataFolders(std::ostringstream& x, int depth) {
    const std::string key = "SOFTWARE\\Quellmar SAPI5", name = "DataLocation";
    x << Indent(depth) << "<Component Id=\"" << kIniComponent << "\" Guid=\""
      << NameGuid(std::string("folder:") + kDataDirId) << "\" Win64=\"yes\">\n";
    Value(x, depth + 1, key, &name, std::string("[") + kDataDirId + "]", true);
    x << Indent(depth + 1) << "<CreateFolder/>\n" << Indent(depth) << "</Component>\n";
    components_.push_back(kIniComponent);
    ForEachFolder(data_, [&](const Folder& f) {
      if (f.id == kDataDirId) return;
      Query("INSERT INTO `CreateFolder` (`Directory_`, `Component_`) VALUES (" + Sql(f.id) + ", " +
            Sql(kIniComponent) + ")");
    });
  }

  static bool IsUserContent(const Folder& f) {
    return f.id == kDictionaryDirId || f.id == kTempDirId;
  }

  template <typename F>
  static void ForEachFolder(const Folder& folder, F&& f) {
    f(folder);
    for (const auto& [name, child] : folder.children) ForEachFolder(child, f);
  }

  void Value(std::ostringstream& x, int depth, const std::string& key, const std::string* name,
             const std::string& value, bool key_path = false) {
    x << Indent(depth) << "<RegistryValue Root=\"HKLM\" Key=\"" << Xml(key) << "\"";
    if (name) x << " Name=\"" << Xml(*name) << "\"";
    x << " Type=\"string\" Value=\"" << Xml(value) << "\"";
    if (key_path) x << " KeyPath=\"yes\"";
    x << "/>\n";
  }

  // What DllRegisterServer writes, in one registry view, pointing at the DLL
  // of that view, and the install location the worker client looks up. The
  // 64-bit DLL's two classes are in the Class table (ClassTable), with their
  // threading model beside the DLL; the 32-bit view's are registry values, as
  // the Class table would tie them to the 32-bit DLL's component, which lives
  // in the 64-bit program folder.
  void WriteRegistration(std::ostringstream& x, int depth, bool win64) {
    const char* component = win64 ? "Registration64" : "Registration32";
    x << Indent(depth) << "<Component Id=\"" << component << "\" Guid=\""
      << NameGuid(std::string("registry:") + component) << "\" Win64=\"" << (win64 ? "yes" : "no")
      << "\">\n";
    const std::string install_key = "SOFTWARE\\Quellmar SAPI5";
    const std::string install_value = "InstallLocation";
    Value(x, depth + 1, install_key, &install_value, "[INSTALLDIR]", true);
    // The install folder's permissions are applied where it is created.
    if (win64) x << Indent(depth + 1) << "<CreateFolder/>\n";
    const char* dll = win64 ? kSapiDll64 : kSapiDll32;
    if (Staged(dll)) {
      if (!win64) {
        for (const wchar_t* clsid : {sapi::kEnumeratorClassIdText, sapi::kEngineClassIdText}) {
          const std::string key = ServerKey(clsid);
          Value(x, depth + 1, key, nullptr, "[#" + FileId(dll) + "]");
          const std::string threading = Utf8(sapi::kThreadingModelValue);
          Value(x, depth + 1, key, &threading, Utf8(sapi::kThreadingModelBoth));
        }
      }
      WriteVoices(x, depth + 1);
    }
    x << Indent(depth) << "</Component>\n";
    components_.push_back(component);
  }

  static std::string ServerKey(const wchar_t* clsid) {
    return Utf8(sapi::kClassesClsidKey) + "\\" + Utf8(clsid) + "\\" + Utf8(sapi::kInProcServerKey);
  }

  void WriteThreadingModel(std::ostringstream& x, int depth) {
    const std::string threading = Utf8(sapi::kThreadingModelValue);
    for (const wchar_t* clsid : {sapi::kEnumeratorClassIdText, sapi::kEngineClassIdText}) {
      Value(x, depth, ServerKey(clsid), &threading, Utf8(sapi::kThreadingModelBoth));
    }
  }

  void WriteVoices(std::ostringstream& x, int depth) {
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
    // Shortcuts cannot be a key path, and a folder is a poor one.
    const std::string key = "SOFTWARE\\Quellmar SAPI5", value = "StartMenuFolder";
    Value(x, depth + 2, key, &value, std::string("[") + kMenuDirId + "]", true);
    std::vector<std::string> taken;
    const auto shortcut = [&](const char* id, const char* name, const std::string& target,
                              const std::string& folder) {
      x << Indent(depth + 2) << "<Shortcut Id=\"" << id << "\" Name=\"" << name << "\" Target=\"[#"
        << target << "]\" WorkingDirectory=\"" << folder << "\" Advertise=\"no\"/>\n";
      Query("UPDATE `Shortcut` SET `Name`=" + Sql(ShortLongName(name, taken)) +
            " WHERE `Shortcut`=" + Sql(id));
    };
    if (config) shortcut("ConfigShortcut", kConfigShortcutName, FileId(kConfigExe), kInstallDirId);
    if (lexmere) {
      shortcut("LexmereShortcut", kLexmereShortcutName, FileId(kLexmereExe),
               FolderIdOf(kLexmereExe));
    }
    x << Indent(depth + 2) << "<RemoveFolder Id=\"RemoveStartMenu\" On=\"uninstall\"/>\n"
      << Indent(depth + 1) << "</Component>\n"
      << Indent(depth) << "</Directory>\n";
    components_.push_back("StartMenu");
    std::vector<std::string> menu_taken;
    Query("UPDATE `Directory` SET `DefaultDir`=" + Sql(ShortLongName(kProductName, menu_taken)) +
          " WHERE `Directory`=" + Sql(kMenuDirId));
  }

  // The id of the install-layout folder that holds a staged file; empty when
  // it is not staged.
  std::string FolderIdOf(const std::string& relative) const {
    if (!Staged(relative.c_str())) return std::string();
    const Folder* folder = &install_;
    std::istringstream in(relative.substr(0, relative.rfind('/') + 1));
    std::string part;
    while (std::getline(in, part, '/')) folder = &folder->children.at(Lower(part));
    return folder->id;
  }

  // The folders the installer writes into, for the setup DLL to make safe
  // before anything is written: each with the permissions it gets, a folder
  // before the folders in it.
  std::string FolderRulesText(const char* mode) const {
    std::string text = mode;
    const auto add = [&](char rule, const std::string& id) {
      text += std::string(1, kFolderRuleSeparator) + rule + kRuleFolderSeparator + "[" + id + "]";
    };
    ForEachFolder(install_, [&](const Folder& f) { add(kReadOnlyFolderRule, f.id); });
    ForEachFolder(data_, [&](const Folder& f) {
      add(IsUserContent(f) ? kUserContentFolderRule : kReadOnlyFolderRule, f.id);
    });
    return text;
  }

  void Actions() {
    // Sequence numbers: wixl orders Before/After loosely, so every place is a
    // number; the standard actions' places are Windows Installer's own.
    //   1390  StopPrograms, 1395 SaveEngineSettings   (before InstallValidate 1400)
    //   1401  RemoveExistingProducts, 1402 CheckOlderRemoved
    //   1510  RetireWorker (and its rollback), 1520 SecureFolders   (after InstallInitialize)
    //   3100  RemoveIniValues, 3110 TidyEngineSettings   (before RemoveFiles 3500)
    //   5100  WriteIniValues, 5110 RestoreEngineSettings
    //   6610  RunSelftest   (after InstallFinalize 6600)
    Query(
        "UPDATE `InstallExecuteSequence` SET `Sequence`=1401 WHERE "
        "`Action`='RemoveExistingProducts'");
    StandardAction("RemoveIniValues", 3100, "NOT UPGRADINGPRODUCTCODE");
    StandardAction("WriteIniValues", 5100, "");
    if (Staged(kSapiDll64)) {
      StandardAction("UnregisterClassInfo", 2700, "");
      StandardAction("RegisterClassInfo", 4600, "");
    }
    // Add/Remove Programs shows where the product lives.
    Add({"SetArpInstallLocation", kSetProperty, "ARPINSTALLLOCATION", "[INSTALLDIR]", 1001, ""});
    if (options_.setup_dll.empty()) return;
    const int immediate = kDllAction | kIgnoreResult;
    const int deferred = kDllAction | kInScript | kNoImpersonate;
    const auto dll = [&](const char* entry, int type, int sequence, const std::string& condition) {
      Add({entry, type, kSetupBinary, entry, sequence, condition});
    };
    // A running worker holds its files and the engine, an open dialog its
    // program: both go before the installer checks for files in use, on
    // install, repair, upgrade and uninstall alike.
    dll("StopPrograms", immediate, 1390, "");
    // An upgrade carries the user's own quellmar.ini values over the
    // removal of the older version (read before it, written back after this
    // package's entries at 5100).
    dll("SaveEngineSettings", immediate, 1395, "WIX_UPGRADE_DETECTED AND NOT REMOVE");
    dll("RestoreEngineSettings", deferred | kIgnoreResult, 5110, "RestoreEngineSettings");
    // The older version goes first, as a whole, right after the checks: if
    // its removal fails, nothing of this version has been done and the older
    // one stays as it was; this version then refuses to go on.
    dll("CheckOlderRemoved", kDllAction, 1402, "WIX_UPGRADE_DETECTED AND NOT REMOVE");
    // The uninstall's ini entries go at 3100 (RemoveIniValues); what they
    // leave of quellmar.ini is tidied right after, as the system.
    Add({"SetTidyEngineSettings", kSetProperty, "TidyEngineSettings", "[WindowsFolder]quellmar.ini",
         1002, ""});
    dll("TidyEngineSettings", deferred | kIgnoreResult, 3110,
        "REMOVE~=\"ALL\" AND NOT UPGRADINGPRODUCTCODE");
    // Before any file of the product is removed or replaced: the worker is
    // moved aside, so that no program can start it again, and then every
    // worker is stopped, whoever started it. A rollback puts it back.
    if (Staged(kWorkerExe)) {
      const std::string worker = "[" + FolderIdOf(kWorkerExe) + "]" + BaseName(kWorkerExe);
      Add({"SetRetireWorker", kSetProperty, "RetireWorker", worker, 1006, ""});
      Add({"SetRetireWorkerRollback", kSetProperty, "RetireWorkerRollback", worker, 1007, ""});
      Add({"RetireWorkerRollback", deferred | kRollback | kIgnoreResult, kSetupBinary,
           "RestoreWorker", 1510, ""});
      dll("RetireWorker", deferred | kIgnoreResult, 1511, "");
    }
    // Before anything is written to the product's folders or removed from
    // them: each is a real folder, owned by the administrators and with its
    // permissions, so that what follows cannot be led elsewhere (the
    // uninstall only checks). A link a user made in the place of one stops
    // the installation.
    Add({"SetSecureFolders", kSetProperty, "SecureFolders", FolderRulesText(kSecureFoldersMode),
         1004, "NOT (REMOVE~=\"ALL\")"});
    Add({"SetCheckFolders", kSetProperty, "SecureFolders", FolderRulesText(kCheckFoldersMode), 1005,
         "REMOVE~=\"ALL\""});
    dll("SecureFolders", deferred, 1520, "");
    if (Staged(kDiagExe)) {
      // The installation check: its verdict is the record in the user's
      // install-check.txt, it never fails the install; run hidden and with
      // a time limit by the setup DLL, which stops the worker it started.
      Add({"SetSelftestProgram", kSetProperty, "QM_SELFTEST_PROGRAM", "[#" + FileId(kDiagExe) + "]",
           1003, ""});
      dll("RunSelftest", immediate, 6610, "NOT Installed AND NOT REMOVE");
    }
  }

  void Add(Action action) {
    Query("INSERT INTO `InstallExecuteSequence` (`Action`, `Condition`, `Sequence`) VALUES (" +
          Sql(action.id) + ", " + Sql(action.condition) + ", " + std::to_string(action.sequence) +
          ")");
    actions_.push_back(std::move(action));
  }

  void StandardAction(const char* action, int sequence, const char* condition) {
    Query("INSERT INTO `InstallExecuteSequence` (`Action`, `Condition`, `Sequence`) VALUES (" +
          Sql(action) + ", " + Sql(condition) + ", " + std::to_string(sequence) + ")");
  }

  std::string CustomActionTable() const {
    std::string t = IdtRow({"Action", "Type", "Source", "Target", "ExtendedType"});
    t += IdtRow({"s72", "i2", "S72", "S255", "I4"});
    t += IdtRow({"CustomAction", "Action"});
    for (const Action& a : actions_) {
      t += IdtRow({a.id, std::to_string(a.type), a.source, a.target, ""});
    }
    return t;
  }

  std::string UpgradeTable() const {
    // Every older version and the same version (a rebuild is a product of
    // its own) is found and removed; a newer one stops the install. 1: the
    // features carry over; 512: the maximum version is included; 2: only
    // detected.
    std::string t = IdtRow({"UpgradeCode", "VersionMin", "VersionMax", "Language", "Attributes",
                            "Remove", "ActionProperty"});
    t += IdtRow({"s38", "S20", "S20", "S255", "i4", "S255", "s72"});
    t += IdtRow({"Upgrade", "UpgradeCode", "VersionMin", "VersionMax", "Language", "Attributes"});
    t += IdtRow({kUpgradeCode, "", options_.version, "", "513", "", "WIX_UPGRADE_DETECTED"});
    t += IdtRow({kUpgradeCode, options_.version, "", "", "2", "", "WIX_DOWNGRADE_DETECTED"});
    return t;
  }

  std::string ClassTable() const {
    std::string t = IdtRow({"CLSID", "Context", "Component_", "ProgId_Default", "Description",
                            "AppId_", "FileTypeMask", "Icon_", "IconIndex", "DefInprocHandler",
                            "Argument", "Feature_", "Attributes"});
    t += IdtRow({"s38", "s32", "s72", "S255", "L255", "S38", "S255", "S72", "I2", "S32", "S255",
                 "s38", "I2"});
    t += IdtRow({"Class", "CLSID", "Context", "Component_"});
    for (const wchar_t* clsid : {sapi::kEnumeratorClassIdText, sapi::kEngineClassIdText}) {
      t += IdtRow({Utf8(clsid), "InprocServer32", "c_" + FileId(kSapiDll64), "", "", "", "", "", "",
                   "", "", kFeature, ""});
    }
    return t;
  }

  std::string LockPermissionsTable() const {
    std::string t =
        IdtRow({"MsiLockPermissionsEx", "LockObject", "Table", "SDDLText", "Condition"});
    t += IdtRow({"s72", "s72", "s32", "l0", "S255"});
    t += IdtRow({"MsiLockPermissionsEx", "MsiLockPermissionsEx"});
    // The install folder: what every SAPI program, elevated ones included,
    // loads. The data folders: see kUserContentFolderSddl.
    t += IdtRow({"LockInstallDir", kInstallDirId, "CreateFolder", kReadOnlyFolderSddl, ""});
    ForEachFolder(data_, [&](const Folder& f) {
      t += IdtRow({"Lock" + f.id, f.id, "CreateFolder",
                   IsUserContent(f) ? kUserContentFolderSddl : kReadOnlyFolderSddl, ""});
    });
    return t;
  }

  const PackageOptions& options_;
  Folder install_;
  Folder data_;
  std::map<const StagedFile*, std::string> data_relative_;
  std::set<std::string> staged_;
  std::vector<std::string> components_;
  std::map<std::string, std::string> short_names_;
  std::vector<std::string> queries_;
  std::vector<Action> actions_;
};

bool IsShortName(const std::string& name) {
  static const std::string kAllowed = "!#$%&'()-@^_`{}~";
  const size_t dot = name.find('.');
  const std::string base = name.substr(0, dot);
  const std::string ext = dot == std::string::npos ? "" : name.substr(dot + 1);
  if (base.empty() || base.size() > 8 || ext.size() > 3) return false;
  if (dot != std::string::npos && (ext.empty() || ext.find('.') != std::string::npos)) return false;
  for (const char c : base + ext) {
    if (!std::isalnum(static_cast<unsigned char>(c)) && kAllowed.find(c) == std::string::npos) {
      return false;
    }
  }
  return true;
}

std::string ShortPart(const std::string& text, size_t length) {
  std::string out;
  for (const char c : text) {
    if (out.size() == length) break;
    if (std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '-') {
      out += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
  }
  return out;
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

std::string ShortLongName(const std::string& name, std::vector<std::string>& taken) {
  const auto is_taken = [&](const std::string& s) {
    return std::find(taken.begin(), taken.end(), Lower(s)) != taken.end();
  };
  if (IsShortName(name) && !is_taken(name)) {
    taken.push_back(Lower(name));
    return name;
  }
  const size_t dot = name.rfind('.');
  const std::string ext = dot == std::string::npos ? "" : ShortPart(name.substr(dot + 1), 3);
  std::string base = ShortPart(name.substr(0, dot), 6);
  if (base.empty()) base = "_";
  for (int n = 1;; ++n) {
    const std::string number = "~" + std::to_string(n);
    const std::string candidate =
        base.substr(0, 8 - number.size()) + number + (ext.empty() ? "" : "." + ext);
    if (!is_taken(candidate)) {
      taken.push_back(Lower(candidate));
      return candidate + "|" + name;
    }
  }
}

PackageSource MakePackageSource(const PackageOptions& options) { return Writer(options).Build(); }

std::string ProductIcon() {
  // 32 x 32 pixels, 32-bit with alpha: a white loudspeaker with two sound
  // waves on a dark teal disc.
  constexpr int kSize = 32;
  const auto pixel = [](int x, int y) -> uint32_t {  // 0xAARRGGBB
    const double cx = x + 0.5 - 16, cy = y + 0.5 - 16;
    if (cx * cx + cy * cy > 15.5 * 15.5) return 0;
    constexpr uint32_t kDisc = 0xFF005C7A, kWhite = 0xFFFFFFFF;
    const double ay = cy < 0 ? -cy : cy;
    if (x >= 7 && x <= 10 && ay <= 3.5) return kWhite;              // the magnet
    if (x >= 11 && x <= 15 && ay <= 3.5 + (x - 10)) return kWhite;  // the cone
    const double wx = cx - (14 - 16), r = std::sqrt(wx * wx + cy * cy);
    if (wx > 0 && ay < wx && ((r >= 6 && r <= 7.5) || (r >= 9.5 && r <= 11))) return kWhite;
    return kDisc;
  };
  std::string image;
  const auto put = [&](uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) image += static_cast<char>((v >> (8 * i)) & 0xFF);
  };
  const uint32_t pixels = kSize * kSize * 4, mask = kSize * 4;  // AND mask rows of 32 bits
  put(40, 4);  // BITMAPINFOHEADER: size, width, height (both masks), planes, bits
  put(kSize, 4);
  put(2 * kSize, 4);
  put(1, 2);
  put(32, 2);
  put(0, 4);
  put(pixels + mask, 4);
  for (int i = 0; i < 4; ++i) put(0, 4);
  for (int y = kSize - 1; y >= 0; --y) {  // bottom-up
    for (int x = 0; x < kSize; ++x) put(pixel(x, y), 4);
  }
  image += std::string(mask, '\0');
  std::string icon;
  const auto head = [&](uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) icon += static_cast<char>((v >> (8 * i)) & 0xFF);
  };
  head(0, 2);  // ICONDIR: reserved, type 1 (icon), one image
  head(1, 2);
  head(1, 2);
  head(kSize, 1);  // ICONDIRENTRY: width, height, colours, reserved, planes, bits, size, offset
  head(kSize, 1);
  head(0, 1);
  head(0, 1);
  head(1, 2);
  head(32, 2);
  head(static_cast<uint32_t>(image.size()), 4);
  head(6 + 16, 4);
  return icon + image;
}

}  // namespace Quellmar::packaging
