// The command line of QuellmarDiag: which steps a command runs and where its
// files and its output go. Portable: these rules take only text.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace Quellmar::diag {

inline constexpr wchar_t kDefaultCommand[] = L"report";
inline constexpr wchar_t kResultSuccess[] =
    L"RESULT: the Quellmar engine loaded and every registered voice spoke.";
inline constexpr wchar_t kResultFailure[] =
    L"RESULT: something is wrong -- see above. The engine, the voice registration or the sound "
    L"bank did not come up.";
inline constexpr wchar_t kCheckFolderName[] = L"Quellmar SAPI5";
inline constexpr wchar_t kCheckFilesFolderName[] = L"install-check";
inline constexpr wchar_t kCheckReportName[] = L"install-check.txt";
inline constexpr unsigned long kEnvironmentPathChars = 260;

// The steps of a command, run in this order.
struct CommandPlan {
  bool report = false;
  bool voice_list = false;
  bool engine_samples = false;
  bool sapi_samples = false;
  bool latency = false;
  bool say = false;
  bool verdict = false;         // selftest: the RESULT line
  bool exit_from_sapi = false;  // the exit code is the SAPI samples' result
  bool argument_is_folder = false;
};

// Command names are compared case-sensitively and as a whole; anything
// unknown runs what "report" runs.
CommandPlan PlanFor(const std::wstring& command);

struct OutputPlace {
  std::wstring output_folder;
  // Created in this order, results ignored (an existing folder is fine).
  std::vector<std::wstring> folders_to_create;
  // selftest: where everything printed goes instead of the console.
  std::wstring report_file;
};

// Where a command writes: `argument` is the second command-line argument
// (an empty one counts as none),
// `local_app_data` the LOCALAPPDATA variable (nullopt when unset or unusable),
// `temp_path` what GetTempPathW gives (ending in a backslash).
OutputPlace PlaceFor(const std::wstring& command, const std::optional<std::wstring>& argument,
                     const std::optional<std::wstring>& local_app_data,
                     const std::wstring& temp_path);

}  // namespace Quellmar::diag
