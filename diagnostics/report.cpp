#include "diagnostics/report.h"

#include <windows.h>

#include "common/voices.h"
#include "engine_host/install_root.h"

namespace Quellmar::diag {
namespace {

// The engine's version text is 8-bit; it is shown as the runtime would show
// an 8-bit string in wide output: through the user's code page.
std::wstring Widen(const std::string& text) {
  if (text.empty()) return {};
  const int n =
      MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  if (n <= 0) return std::wstring(text.begin(), text.end());
  std::wstring wide(n, L'\0');
  MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), wide.data(), n);
  return wide;
}

}  // namespace

Installation FindInstallation() {
  Installation where;
  where.install_root = InstallRoot();
  where.settings_path = EngineSettingsPath();
  where.settings = ReadEngineSettings();
  return where;
}

void PrintReport(Output& out, const Installation& where, EngineRoad& road) {
  const BuildTraits& build = road.Traits();
  const EngineSettings& ini = where.settings;
  out.Print(L"Quellmar engine\n");
  out.Print(L"  install root      %ls\n", where.install_root.c_str());
  out.Print(L"  qmcore.dll        %ls\n", (where.install_root + kEngineCoreRelativePath).c_str());
  out.Print(L"  configuration     %ls\n", where.settings_path.c_str());
  out.Print(L"  sound bank        %ls\n", ini.sound_bank_dir.c_str());
  out.Print(L"  dictionary        %ls\n", ini.dictionary_files_dir.c_str());
  out.Print(L"  temp              %ls\n", ini.temp_dir.c_str());
  out.Print(L"  user dictionary   %ls  (custom entries %ls)\n", ini.user_dictionary_dir.c_str(),
            ini.custom_entries ? L"on" : L"off");
  out.Print(L"  this tool is      %d-bit%ls\n", build.bits, build.tool_is_suffix);

  const EngineFacts facts = road.Facts();
  if (facts.answered) {
    out.Print(L"  qmcore version    %ls\n", Widen(facts.version).c_str());
    out.Print(L"  engine output     %d Hz %d-bit format %d (%ls)\n", facts.native_rate,
              facts.native_bits, facts.format_code, facts.format_code == 7 ? L"mu-law" : L"?");
    out.Print(L"  output to SAPI    %d Hz 16-bit mono\n", facts.output_rate);
    out.Print(L"  channels allowed  %d\n", facts.channels_allowed);
    if (build.shows_pauses) {
      out.Print(L"  pause lengths     %d / %d / %d / %d ms\n", facts.pauses[0], facts.pauses[1],
                facts.pauses[2], facts.pauses[3]);
    }
  } else {
    out.Print(L"  !! the engine did not answer -- %ls\n", build.not_answered);
  }

  out.Print(L"\nParameter ranges the engine's own tag parser enforces\n");
  out.Print(L"  speed   \\spd=   %d .. %d   (default %d words per minute)\n", 85, 350, 175);
  out.Print(L"  pitch   \\pit=   %d .. %d    (default %d)\n", 45, 91, 63);
  out.Print(L"  volume  \\vol=   %d .. %d (default %d)\n", 0, 65535, 32767);
  out.Print(L"  rel. speed \\rspd= %d .. %d   rel. pitch \\Rpit= %d .. %d\n", 50, 200, 70, 145);

  out.Print(L"\nVoices published to SAPI5\n");
  for (int i = 0; i < kVoiceCount; ++i) {
    const VoiceTexts voice = VoiceTextsFor(i);
    out.Print(L"  %-28ls %ls\n", voice.display_name, voice.description);
  }
  out.Print(L"\n");
}

}  // namespace Quellmar::diag
