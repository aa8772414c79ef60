#include "diagnostics/command_line.h"

namespace Quellmar::diag {

CommandPlan PlanFor(const std::wstring& command) {
  CommandPlan plan;
  if (command == L"samples") {
    plan.report = plan.engine_samples = plan.latency = true;
    plan.argument_is_folder = true;
  } else if (command == L"sapi") {
    plan.voice_list = plan.sapi_samples = true;
    plan.exit_from_sapi = plan.argument_is_folder = true;
  } else if (command == L"all") {
    plan.report = plan.voice_list = plan.engine_samples = plan.sapi_samples = plan.latency = true;
    plan.exit_from_sapi = plan.argument_is_folder = true;
  } else if (command == L"selftest") {
    plan.report = plan.voice_list = plan.sapi_samples = plan.latency = plan.verdict = true;
    plan.exit_from_sapi = true;
  } else if (command == L"say") {
    plan.say = true;
  } else {
    plan.report = plan.voice_list = plan.latency = true;
    plan.argument_is_folder = true;
  }
  return plan;
}

OutputPlace PlaceFor(const std::wstring& command, const std::optional<std::wstring>& argument,
                     const std::optional<std::wstring>& local_app_data,
                     const std::wstring& temp_path) {
  OutputPlace place;
  place.output_folder = L".";
  if (command == L"selftest") {
    // GetTempPathW ends in a backslash, so this path has two in a row: the
    // platform reads them as one.
    const std::wstring base = local_app_data.value_or(temp_path) + L"\\" + kCheckFolderName;
    place.output_folder = base + L"\\" + kCheckFilesFolderName;
    place.folders_to_create = {base, place.output_folder};
    place.report_file = base + L"\\" + kCheckReportName;
  } else if (command == L"say") {
    place.output_folder = temp_path;
    if (!place.output_folder.empty() && place.output_folder.back() == L'\\')
      place.output_folder.pop_back();
  } else if (argument && !argument->empty() && PlanFor(command).argument_is_folder) {
    // An empty argument (an unset variable in a script) is no folder: as a
    // prefix it would put the files at the root of the current drive.
    place.output_folder = *argument;
    place.folders_to_create = {*argument};
  }
  return place;
}

}  // namespace Quellmar::diag
