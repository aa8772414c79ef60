// The CUSTOM switch written into quellmar.ini's own bytes: only its line
// changes, in every encoding and line-ending style the file may have.
#include "common/profile_edit.h"

#include <gtest/gtest.h>

#include <string>

#include "common/engine_settings.h"
#include "common/profile_text.h"

namespace Quellmar {
namespace {

enum class Form { kAnsi, kUtf8Mark, kUtf16Le, kUtf16Be };

std::string Encode(const std::wstring& text, Form form) {
  std::string out;
  if (form == Form::kUtf8Mark) out = "\xEF\xBB\xBF";
  if (form == Form::kUtf16Le) out = "\xFF\xFE";
  if (form == Form::kUtf16Be) out = "\xFE\xFF";
  for (wchar_t c : text) {
    const char lo = static_cast<char>(c & 0xFF), hi = static_cast<char>((c >> 8) & 0xFF);
    if (form == Form::kUtf16Le) {
      out += {lo, hi};
    } else if (form == Form::kUtf16Be) {
      out += {hi, lo};
    } else {
      out.push_back(lo);
    }
  }
  return out;
}

TEST(WithCustomEntries, ChangesOnlyTheCustomLine) {
  const std::wstring long_dir = L"C:\\" + std::wstring(1100, L'd') + L"\\";
  struct Case {
    const char* what;
    std::wstring before;
    bool on;
    std::wstring after;
  };
  const Case cases[] = {
      {"no file", L"", true, L"[QuellmarDictionary]\r\nCUSTOM=YES\r\n"},
      {"the value replaced", L"[QuellmarDictionary]\r\nCUSTOM=NO\r\n", true,
       L"[QuellmarDictionary]\r\nCUSTOM=YES\r\n"},
      {"names in any case, blanks and quotes kept",
       L"[ quellmardictionary ]\n   custom  =  \"yes\"  \n", false,
       L"[ quellmardictionary ]\n   custom  =  \"NO\"  \n"},
      {"everything else byte for byte",
       L"; written by the installer\r\n[QuellmarAppDir]\r\nSNDBANK=\"C:\\Program Files\\bank\"\r\n"
       L"DICTFLSDIR=" +
           long_dir +
           L"\r\nUNKNOWN = 1\r\n\r\n[QuellmarDictionary]\r\nCUSTOM=NO\r\n"
           L"[QuellmarSettings]\r\nPAUSE1=0650\r\n",
       true,
       L"; written by the installer\r\n[QuellmarAppDir]\r\nSNDBANK=\"C:\\Program Files\\bank\"\r\n"
       L"DICTFLSDIR=" +
           long_dir +
           L"\r\nUNKNOWN = 1\r\n\r\n[QuellmarDictionary]\r\nCUSTOM=YES\r\n"
           L"[QuellmarSettings]\r\nPAUSE1=0650\r\n"},
      {"added after the section's last line, before its blank lines",
       L"[QuellmarDictionary]\nOTHER=1\n;CUSTOM=NO\n\n[Next]\nCUSTOM=NO\n", true,
       L"[QuellmarDictionary]\nOTHER=1\n;CUSTOM=NO\nCUSTOM=YES\n\n[Next]\nCUSTOM=NO\n"},
      {"the first section of the name only",
       L"[QuellmarDictionary]\r\n[x]\r\n[QuellmarDictionary]\r\nCUSTOM=NO\r\n", true,
       L"[QuellmarDictionary]\r\nCUSTOM=YES\r\n[x]\r\n[QuellmarDictionary]\r\nCUSTOM=NO\r\n"},
      {"a section at the end without a line end", L"[A]\nx=1\n[QuellmarDictionary]", true,
       L"[A]\nx=1\n[QuellmarDictionary]\nCUSTOM=YES\n"},
      {"no section, no line end at the end", L"[QuellmarAppDir]\r\nSNDBANK=C:\\b", false,
       L"[QuellmarAppDir]\r\nSNDBANK=C:\\b\r\n[QuellmarDictionary]\r\nCUSTOM=NO\r\n"},
      {"a key without a value", L"[QuellmarDictionary]\r\nCUSTOM\r\nCUSTOM=NO\r\n", true,
       L"[QuellmarDictionary]\r\nCUSTOM=YES\r\nCUSTOM=NO\r\n"},
      {"an empty value", L"[QuellmarDictionary]\r\nCUSTOM=   \r\n", true,
       L"[QuellmarDictionary]\r\nCUSTOM=YES   \r\n"},
      {"text beyond 8 bits", L"[QuellmarAppDir]\r\nSNDBANK=C:\\b\u00E4nk\u4E2D\r\n", true,
       L"[QuellmarAppDir]\r\nSNDBANK=C:\\b\u00E4nk\u4E2D\r\n[QuellmarDictionary]\r\nCUSTOM="
       L"YES\r\n"},
  };
  for (const Case& c : cases) {
    for (Form form : {Form::kAnsi, Form::kUtf8Mark, Form::kUtf16Le, Form::kUtf16Be}) {
      // 8-bit text cannot hold the wide characters of the last case.
      if (form != Form::kUtf16Le && form != Form::kUtf16Be &&
          c.before.find_first_of(L"\u4E2D") != std::wstring::npos) {
        continue;
      }
      const std::string before = c.before.empty() ? std::string() : Encode(c.before, form);
      const std::string want =
          c.before.empty() ? Encode(c.after, Form::kAnsi) : Encode(c.after, form);
      EXPECT_EQ(WithCustomEntries(before, c.on), want)
          << c.what << " (form " << static_cast<int>(form) << ")";
    }
    // And the profile reader sees the switch as set.
    if (c.before.find_first_of(L"\u4E2D") == std::wstring::npos) {
      EXPECT_EQ(EngineSettingsFrom(ProfileText(c.after)).custom_entries, c.on) << c.what;
    }
  }
}

}  // namespace
}  // namespace Quellmar
