#include "diagnostics/commands.h"

#include <objbase.h>
#include <windows.h>

#include <clocale>
#include <cstdio>

#include "diagnostics/engine_road.h"
#include "diagnostics/engine_samples.h"
#include "diagnostics/output.h"
#include "diagnostics/report.h"
#include "diagnostics/sample_texts.h"
#include "diagnostics/sapi_samples.h"
#include "diagnostics/session.h"

namespace Quellmar::diag {
namespace {

std::optional<std::wstring> LocalAppData() {
  wchar_t buffer[kEnvironmentPathChars] = {};
  const DWORD n = GetEnvironmentVariableW(L"LOCALAPPDATA", buffer, kEnvironmentPathChars);
  // 0: not set (or empty). A value that does not fit is not read at all,
  // rather than used cut short.
  if (n == 0 || n >= kEnvironmentPathChars) return std::nullopt;
  return std::wstring(buffer, n);
}

std::wstring TempPath() {
  wchar_t buffer[kEnvironmentPathChars + 1] = {};
  const DWORD n = GetTempPathW(kEnvironmentPathChars, buffer);
  if (n == 0 || n > kEnvironmentPathChars) return {};
  return std::wstring(buffer, n);
}

// selftest: everything printed from here on goes into the report file. When
// that file cannot be written the output stays on the console.
void SendOutputTo(const std::wstring& path) {
  std::FILE* probe = _wfopen(path.c_str(), L"w");
  if (!probe) return;
  std::fclose(probe);
  if (!_wfreopen(path.c_str(), L"w", stdout)) {
    // The old stream is gone either way: better the console than nothing.
    _wfreopen(L"CONOUT$", L"w", stdout);
  }
}

}  // namespace

int RunDiagnostics(const std::vector<std::wstring>& args, EngineRoad& road) {
  std::setlocale(LC_ALL, "");
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);

  const std::wstring command = args.size() > 1 ? args[1] : std::wstring(kDefaultCommand);
  const std::optional<std::wstring> argument =
      args.size() > 2 ? std::optional<std::wstring>(args[2]) : std::nullopt;
  const CommandPlan plan = PlanFor(command);
  const OutputPlace place = PlaceFor(command, argument, LocalAppData(), TempPath());
  for (const std::wstring& folder : place.folders_to_create)
    CreateDirectoryW(folder.c_str(), nullptr);
  if (!place.report_file.empty()) SendOutputTo(place.report_file);

  int exit_code = 0;
  {
    Output out(stdout);
    Session session{out, road, place.output_folder};
    // Holds SAPI tokens: let go of before COM is.
    VoiceCache voices;

    out.Print(L"Quellmar diagnostics, %d-bit build\n\n", road.Traits().bits);
    if (plan.report) PrintReport(out, FindInstallation(), road);
    if (plan.voice_list) PrintVoiceList(out);
    if (plan.engine_samples) RunEngineSamples(session);
    int sapi_result = 0;
    if (plan.sapi_samples) sapi_result = RunSapiSamples(session, voices);
    if (plan.latency) MeasureLatency(session);
    if (plan.say) Say(session, argument.value_or(kSayDefaultText));
    if (plan.verdict) out.Print(L"\n%ls\n", sapi_result == 0 ? kResultSuccess : kResultFailure);
    out.Flush();
    if (plan.exit_from_sapi) exit_code = sapi_result;
  }
  CoUninitialize();
  return exit_code;
}

}  // namespace Quellmar::diag
