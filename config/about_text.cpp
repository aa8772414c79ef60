#include "config/about_text.h"

#include <cstring>

#include "engine_host/install_root.h"

namespace Quellmar::config {
namespace {

// Bytes widened one to one, as the engine's text is shown.
std::wstring Widen(const std::string& bytes) {
  std::wstring out;
  out.reserve(bytes.size());
  for (unsigned char c : bytes) out.push_back(static_cast<wchar_t>(c));
  return out;
}

std::wstring Number(int32_t n) { return std::to_wstring(n); }

}  // namespace

EngineInfo EngineInfoFromReply(const protocol::WorkerInfo& reply) {
  EngineInfo info;
  info.answered = true;
  const char* text = reply.engine_version;
  const void* nul = std::memchr(text, 0, sizeof(reply.engine_version));
  const size_t length =
      nul ? static_cast<size_t>(static_cast<const char*>(nul) - text) : sizeof(reply.engine_version);
  info.version.assign(text, length);
  info.native_rate = reply.engine_sample_rate;
  info.native_width = reply.engine_bits_per_sample;
  info.output_rate = reply.output_sample_rate;
  return info;
}

std::wstring ComposeAboutText(const AboutFacts& f) {
  std::wstring t;
  t += L"Quellmar speech engine, version " + Widen(f.engine.version) +
       L".  One recorded voice, Oskel, in American English -- the only voice and the only "
       L"language this engine has.\r\n";
  t += L"Engine output: " + Number(f.engine.native_rate) + L" Hz " +
       Number(f.engine.native_width) + L"-bit mu-law; this wrapper hands SAPI " +
       Number(f.engine.output_rate) + L" Hz 16-bit mono.\r\n";
  t += L"This utility is 64-bit. The engine is a 32-bit dll with no 64-bit build in existence, so "
       L"a 64-bit program reaches it through QuellmarServer.exe in the x86 folder.\r\n";
  t += L"Engine files: " + f.install_root + kEngineCoreRelativePath + L"\r\n";
  t += L"Sound bank: " + f.sound_bank_dir + L"\r\n";
  t += L"Dictionary: " + f.dictionary_dir + L"\r\n";
  t += L"Settings file: " + f.settings_path + L"\r\n";
  t += L"Rate 85 to 350 words a minute, pitch 45 to 91 (six semitones either way), volume 0 to "
       L"65535.\r\n";
  t += L"The engine core parses its own rate, pitch and volume tags but never acts on them; this "
       L"wrapper applies all three.";
  if (!f.engine.answered) {
    t += L"\r\n\r\nThe engine did not answer. Nothing will speak until that is fixed; the log "
         L"folder button below has the detail.";
  }
  return t;
}

}  // namespace Quellmar::config
