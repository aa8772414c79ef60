// qmtool params: the render parameters and punctuation switch that a voice,
// the global settings and the host's adjustments give, as a synthesis request
// would carry them. Custom and global values are given by their registry
// names and limited exactly as when they are read from the registry.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>

#include "common/render_settings.h"
#include "common/voices.h"
#include "tools/qmtool.h"

namespace Quellmar::tool {
namespace {

bool ParseInt(const std::string& text, long long low, long long high, long long& out) {
  if (text.empty()) return false;
  errno = 0;
  char* end = nullptr;
  long long v = std::strtoll(text.c_str(), &end, 10);
  if (*end != '\0' || errno == ERANGE || v < low || v > high) return false;
  out = v;
  return true;
}

// "Name=value,Name=value" into stored DWORDs by value name.
bool ParseValues(const std::string& list, std::map<std::wstring, uint32_t>& out) {
  size_t pos = 0;
  while (pos < list.size()) {
    size_t comma = list.find(',', pos);
    std::string item =
        list.substr(pos, comma == std::string::npos ? std::string::npos : comma - pos);
    pos = comma == std::string::npos ? list.size() : comma + 1;
    size_t eq = item.find('=');
    long long v = 0;
    if (eq == std::string::npos || !ParseInt(item.substr(eq + 1), INT32_MIN, UINT32_MAX, v)) {
      std::fprintf(stderr, "qmtool params: bad value '%s' (want Name=number)\n", item.c_str());
      return false;
    }
    std::string name = item.substr(0, eq);
    out[std::wstring(name.begin(), name.end())] = static_cast<uint32_t>(v);
  }
  return true;
}

DwordSource From(const std::map<std::wstring, uint32_t>& values) {
  return [&values](const wchar_t* name) -> std::optional<uint32_t> {
    auto it = values.find(name);
    if (it == values.end()) return std::nullopt;
    return it->second;
  };
}

int Run(const Args& args) {
  long long rate = 0, pitch = 0, volume = 100;
  struct IntOption {
    const char* name;
    long long low, high;
    long long* out;
  } ints[] = {{"--rate", INT32_MIN, INT32_MAX, &rate},
              {"--pitch", INT32_MIN, INT32_MAX, &pitch},
              {"--volume", 0, UINT16_MAX, &volume}};
  for (const IntOption& o : ints) {
    const std::string* v = Option(args, o.name);
    if (v && !ParseInt(*v, o.low, o.high, *o.out)) {
      std::fprintf(stderr, "qmtool params: bad %s '%s'\n", o.name, v->c_str());
      return 2;
    }
  }
  std::map<std::wstring, uint32_t> custom_values, global_values;
  if (const std::string* v = Option(args, "--custom"); v && !ParseValues(*v, custom_values))
    return 2;
  if (const std::string* v = Option(args, "--global"); v && !ParseValues(*v, global_values))
    return 2;

  int index = 0;
  if (const std::string* key = Option(args, "--voice")) {
    index = VoiceIndexFromKey(std::wstring(key->begin(), key->end()));
  }
  CustomVoiceSettings voice = index == kCustomVoiceIndex
                                  ? CustomVoiceSettingsFrom(From(custom_values))
                                  : PresetVoiceSettings(index);
  GlobalSettings global = GlobalSettingsFrom(From(global_values));
  RenderSetup r = ComputeRenderParams(voice, global, static_cast<int32_t>(rate),
                                      static_cast<int32_t>(pitch), static_cast<uint16_t>(volume));
  std::printf("voice %d %ls\n", index, VoiceTextsFor(index).key);
  std::printf("duration_factor %.17g\npitch_factor %.17g\ngain_factor %.17g\n",
              r.params.duration_factor, r.params.pitch_factor, r.params.gain_factor);
  std::printf("tags %d\npauses %d %d %d %d\nspeak_punctuation %d\n", r.params.tags ? 1 : 0,
              r.params.pauses[0], r.params.pauses[1], r.params.pauses[2], r.params.pauses[3],
              r.speak_punctuation ? 1 : 0);
  return 0;
}

}  // namespace

QM_TOOL_COMMAND("params",
                "params [--voice KEY] [--rate N] [--pitch N] [--volume 0..100] "
                "[--custom Speed=N,Pause1=N,...] [--global RatePercent=N,OverridePauses=1,...]",
                Run);

}  // namespace Quellmar::tool
