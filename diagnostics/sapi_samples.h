// The SAPI side of the diagnostics tool: the machine's voice list and every
// Quellmar voice spoken through SpVoice into a WAV file, as any SAPI host
// would speak it.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "common/com_ptr.h"
#include "diagnostics/session.h"
#include "sapi/sapi_engine_interfaces.h"

namespace Quellmar::diag {

inline constexpr wchar_t kVoicesCategoryId[] =
    L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Speech\\Voices";
inline constexpr wchar_t kUserTokensPrefix[] =
    L"HKEY_CURRENT_USER\\SOFTWARE\\Microsoft\\Speech\\Voices\\Tokens\\Quellmar_";
inline constexpr wchar_t kOurMark[] = L"Quellmar";

// The machine-wide voices whose display name contains "Quellmar", found once
// and kept with their tokens for the rest of the run.
class VoiceCache {
 public:
  // The token whose display name is exactly `display_name` (case-sensitive),
  // with a reference of its own; empty when there is none.
  com_ptr<ISpObjectToken> Find(const std::wstring& display_name);

 private:
  void Fill();
  bool filled_ = false;
  std::vector<std::pair<std::wstring, com_ptr<ISpObjectToken>>> entries_;
};

// "  * <name>" for each of ours, then the count line and, with none of ours,
// the hint about the per-user tokens.
void PrintVoiceList(Output& out);

// The seconds of audio in a SAPI WAV file of `file_bytes` bytes: what lies
// past the 44-byte header at 32000 bytes a second.
double SapiFileSeconds(uint64_t file_bytes);
// A spoken file counts only with more than 0.05 s of audio.
bool SapiFileHoldsAudio(double seconds);
// "sapi_" + the display name with its spaces as underscores + ".wav".
std::wstring SapiFileName(const std::wstring& display_name);

// Speaks `text` with `token` into output folder + "\" + file name and prints
// the file's line or a "  !! " line. True when the file holds audio.
bool SpeakThroughSapi(Session& s, ISpObjectToken* token, const std::wstring& text,
                      const std::wstring& file_name, long host_rate, unsigned short host_volume);

// Every voice, plus the host rate and volume files of the first; 0 when at
// least one voice spoke and none failed, otherwise 1.
int RunSapiSamples(Session& s, VoiceCache& cache);

}  // namespace Quellmar::diag
