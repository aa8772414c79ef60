// The "About this engine" text: what the running engine reported through
// the worker, where the engine files were looked for, and the directories
// in quellmar.ini. Portable.
#pragma once

#include <cstdint>
#include <string>

#include "worker/protocol.h"

namespace Quellmar::config {

// What the dialog keeps of the worker's answer; the defaults stand when the
// worker did not answer.
struct EngineInfo {
  bool answered = false;
  std::string version = "not loaded";
  int32_t native_rate = 8000;
  int32_t native_width = 8;
  int32_t output_rate = 16000;
};

// From an InfoReply: the version up to its first NUL, never beyond its bytes.
EngineInfo EngineInfoFromReply(const protocol::WorkerInfo& reply);

struct AboutFacts {
  EngineInfo engine;
  std::wstring install_root;  // ends in a backslash
  std::wstring sound_bank_dir;
  std::wstring dictionary_dir;
  std::wstring settings_path;
};

std::wstring ComposeAboutText(const AboutFacts& facts);

}  // namespace Quellmar::config
