// Test program for EngineDriver and the install-root search: runs the commands
// on its command line, in order, in a fresh process, so that a test can read
// the log lines one process writes (the log picks its file once per process)
// and can copy the program into a folder tree to search from there.
//
//   root OUT          writes InstallRoot() and EngineCorePath() to OUT (UTF-8, one a line)
//   load PATH         EngineDriver::Instance().Load(PATH)
//   script TEXT       fake_script(TEXT) of the fake core loaded last
//   synth TEXT        Synthesize with a consumer that takes every segment
//   synth-stop TEXT   ... with a consumer that stops at the first segment
//   synth-throw TEXT  ... with a consumer that throws
// Exit code 0; 2 for an unknown command, 3 when a fake script was refused.
#include <windows.h>

#include <cstdio>
#include <stdexcept>
#include <string>

#include "common/win_handles.h"
#include "engine_host/engine_driver.h"
#include "engine_host/install_root.h"
#include "testing/fake_engine_core/fake_engine_core.h"

namespace {

std::string Narrow(const std::wstring& w, UINT code_page = CP_ACP) {
  int n = WideCharToMultiByte(code_page, 0, w.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string s(n > 0 ? n : 1, '\0');
  WideCharToMultiByte(code_page, 0, w.c_str(), -1, s.data(), n, nullptr, nullptr);
  s.resize(n > 0 ? n - 1 : 0);
  return s;
}

bool Take(const unsigned char*, uint32_t, void*) { return true; }
bool Stop(const unsigned char*, uint32_t, void*) { return false; }
bool Throw(const unsigned char*, uint32_t, void*) { throw std::runtime_error("consumer failed"); }

}  // namespace

int wmain(int argc, wchar_t** argv) {
  Quellmar::EngineDriver& driver = Quellmar::EngineDriver::Instance();
  std::wstring loaded_path;
  for (int i = 1; i < argc; ++i) {
    std::wstring cmd = argv[i];
    std::wstring arg = i + 1 < argc ? argv[i + 1] : L"";
    ++i;
    if (cmd == L"root") {
      std::string text = Narrow(Quellmar::InstallRoot(), CP_UTF8) + "\n" +
                         Narrow(Quellmar::EngineCorePath(), CP_UTF8) + "\n";
      FILE* out = _wfopen(arg.c_str(), L"wb");
      if (out == nullptr) return 4;
      fwrite(text.data(), 1, text.size(), out);
      fclose(out);
    } else if (cmd == L"load") {
      driver.Load(arg);
      loaded_path = arg;
    } else if (cmd == L"script") {
      Quellmar::unique_module fake(LoadLibraryW(loaded_path.c_str()));
      auto script = reinterpret_cast<Quellmar::testing::fake_core::fake_script_fn>(
          reinterpret_cast<void (*)()>(
              fake ? GetProcAddress(fake.get(), Quellmar::testing::fake_core::kScriptEntry)
                   : nullptr));
      if (script == nullptr || script(Narrow(arg).c_str()) != 0) return 3;
    } else if (cmd == L"synth" || cmd == L"synth-stop" || cmd == L"synth-throw") {
      Quellmar::SegmentConsumer consumer = cmd == L"synth"        ? Take
                                           : cmd == L"synth-stop" ? Stop
                                                                  : Throw;
      driver.Synthesize(Narrow(arg).c_str(), false, consumer, nullptr);
    } else {
      fwprintf(stderr, L"engine_driver_probe: unknown command %ls\n", cmd.c_str());
      return 2;
    }
  }
  return 0;
}
