// qmcore.dll: the stand-in engine core's entry points. Each one checks its
// arguments, hands the work to the portable synthesiser and turns every
// failure into an engine status; nothing is thrown across the boundary.
//
// A status block supplied by the caller holds a tag and the address of this
// synthesis's own state, so distinct blocks share nothing but the engine's
// four pauses, which belong to the process.
#include <windows.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "engine_core/engine.h"
#include "engine_core/user_dictionary.h"
#include "engine_host/engine_core_api.h"

namespace {
namespace core = Quellmar::engine_core;
namespace api = Quellmar::engine_api;
namespace status = Quellmar::engine_core::status;

core::Pauses g_pauses;  // set from quellmar.ini when the library loads

constexpr uint32_t kSynthesisTag = 0x42534D51;  // "QMSB"
constexpr uint32_t kPhonTag = 0x48504D51;       // "QMPH"

struct BlockHeader {
  uint32_t tag;
  uint32_t reserved;
  void* state;
};
static_assert(sizeof(BlockHeader) <= api::kPhonBlockBytes);

template <typename T>
T* StateOf(void* block, uint32_t tag) {
  if (block == nullptr) return nullptr;
  BlockHeader h;
  std::memcpy(&h, block, sizeof h);
  return h.tag == tag ? static_cast<T*>(h.state) : nullptr;
}

void Attach(void* block, uint32_t tag, void* state) {
  BlockHeader h{tag, 0, state};
  std::memcpy(block, &h, sizeof h);
}

template <typename T>
void Release(void* block, uint32_t tag) {
  std::unique_ptr<T> owned(StateOf<T>(block, tag));
  if (block != nullptr) {
    BlockHeader h{};
    std::memcpy(block, &h, sizeof h);
  }
}

struct PhonState {
  std::string text;
};

// The engine's pauses as quellmar.ini in the Windows directory sets them.
void ReadPauseSettings() {
  wchar_t dir[MAX_PATH];
  UINT n = GetWindowsDirectoryW(dir, MAX_PATH);
  std::wstring path = (n == 0 || n >= MAX_PATH) ? std::wstring(L"C:\\Windows") : std::wstring(dir, n);
  if (path.empty() || path.back() != L'\\') path += L'\\';
  path += L"quellmar.ini";
  static const wchar_t* const kKeys[4] = {L"PAUSE1", L"PAUSE2", L"PAUSE3", L"PAUSE4"};
  const core::Pauses defaults;
  for (int i = 0; i < 4; ++i) {
    g_pauses.ms[i] = static_cast<int32_t>(
        GetPrivateProfileIntW(L"QuellmarSettings", kKeys[i], defaults.ms[i], path.c_str()));
  }
}

}  // namespace

extern "C" {

BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    DisableThreadLibraryCalls(module);
    ReadPauseSettings();
  }
  return TRUE;
}

int32_t QM_ENGINE_CALL get_av_version(char* version) {
  if (version == nullptr) return status::kNullArgument;
  std::strncpy(version, core::kVersionText, 255);
  version[255] = '\0';
  return status::kOk;
}

int32_t QM_ENGINE_CALL initialize_SSB(void* block, const char* text, int32_t) {
  if (block == nullptr) return status::kNullBlock;
  if (text == nullptr) return status::kNullInput;
  try {
    Release<core::Synthesis>(block, kSynthesisTag);  // a block reused without closing
    auto synthesis = std::make_unique<core::Synthesis>();
    int32_t st = synthesis->Start(text, g_pauses);
    if (st != status::kOk) return st;
    synthesis->SetUserDictionary(core::CurrentUserDictionary());
    Attach(block, kSynthesisTag, synthesis.release());
    return status::kOk;
  } catch (const std::bad_alloc&) {
    return status::kOutOfMemory;
  } catch (...) {
    return status::kOutOfMemory;
  }
}

int32_t QM_ENGINE_CALL set_tag_flag(void* block, int32_t on) {
  core::Synthesis* s = StateOf<core::Synthesis>(block, kSynthesisTag);
  if (s == nullptr) return status::kNullBlock;
  s->SetTags(on != 0);
  return status::kOk;
}

int32_t QM_ENGINE_CALL isSeg_Available(void* block) {
  core::Synthesis* s = StateOf<core::Synthesis>(block, kSynthesisTag);
  if (s == nullptr) return 0;
  try {
    return s->SegmentAvailable() ? 1 : 0;
  } catch (...) {
    return 1;  // the next synth_to_buffer reports the failure; 0 would pass for success
  }
}

int32_t QM_ENGINE_CALL synth_to_buffer(void* block, unsigned char* buffer, uint32_t* count) {
  if (count != nullptr) *count = 0;
  core::Synthesis* s = StateOf<core::Synthesis>(block, kSynthesisTag);
  if (s == nullptr) return status::kNullBlock;
  if (buffer == nullptr || count == nullptr) return status::kNullArgument;
  try {
    return s->NextSegment(buffer, api::kSegmentBufferBytes, count);
  } catch (...) {
    *count = 0;
    return status::kOutOfMemory;
  }
}

int32_t QM_ENGINE_CALL close_SSB(void* block) {
  if (block == nullptr) return status::kNullBlock;
  Release<core::Synthesis>(block, kSynthesisTag);
  return status::kOk;
}

int32_t QM_ENGINE_CALL get_snd_fmt() { return api::kFormatMuLaw; }
int32_t QM_ENGINE_CALL get_snd_bps() { return 8; }
int32_t QM_ENGINE_CALL get_snd_sps() { return 8000; }
int32_t QM_ENGINE_CALL get_channels_allowed() { return 1; }

int32_t QM_ENGINE_CALL get_pausation(int32_t index) {
  return (index >= 1 && index <= 4) ? g_pauses.ms[index - 1] : 0;
}

int32_t QM_ENGINE_CALL set_pausation(int32_t index, int32_t length) {
  if (index < 1 || index > 4) return status::kNullArgument;
  g_pauses.ms[index - 1] = length;
  return status::kOk;
}

int32_t QM_ENGINE_CALL open_phon(void* block, const char* text, int32_t, int32_t) {
  if (block == nullptr) return status::kNullBlock;
  if (text == nullptr) return status::kNullInput;
  try {
    Release<PhonState>(block, kPhonTag);
    if (!core::HasSpeech(text)) return status::kNothingSpeakable;
    auto state = std::make_unique<PhonState>();
    state->text = text;
    Attach(block, kPhonTag, state.release());
    return status::kOk;
  } catch (...) {
    return status::kOutOfMemory;
  }
}

int32_t QM_ENGINE_CALL synthesize(void* block, const char* wave_path) {
  PhonState* s = StateOf<PhonState>(block, kPhonTag);
  if (s == nullptr) return status::kNullBlock;
  if (wave_path == nullptr) return status::kNullOutput;
  try {
    return core::WriteMuLawWave(wave_path, core::SynthesizeAll(s->text, g_pauses, false));
  } catch (...) {
    return status::kOutOfMemory;
  }
}

int32_t QM_ENGINE_CALL close_phon(void* block) {
  if (block == nullptr) return status::kNullBlock;
  Release<PhonState>(block, kPhonTag);
  return status::kOk;
}

int32_t QM_ENGINE_CALL PhonEnc_to_PhonSyl(const char*, int32_t, const char* phonetic, int32_t,
                                          int32_t, char* out) {
  if (out == nullptr) return status::kNullArgument;
  try {
    if (phonetic == nullptr) {
      core::EncodePhonSyl({}, out, core::kPhonSylBytes);
      return status::kNullInput;
    }
    // The transcription is at most a line of the editor; read no further
    // than the buffer it is turned into could ever describe.
    size_t len = strnlen(phonetic, 4096);
    auto phones = core::DecodePhonetic(std::string_view(phonetic, len));
    core::EncodePhonSyl(phones, out, core::kPhonSylBytes);
    return phones.empty() ? status::kNothingSpeakable : status::kOk;
  } catch (...) {
    out[0] = '\0';
    return status::kOutOfMemory;
  }
}

int32_t QM_ENGINE_CALL PhonSyl_to_Wav(const char* buffer, const char* wave_path) {
  if (wave_path == nullptr) return status::kNullOutput;
  if (buffer == nullptr) return status::kNullInput;
  try {
    auto phones = core::DecodePhonSyl(buffer, core::kPhonSylBytes);
    int32_t st = core::WriteMuLawWave(wave_path, core::SpeakPhones(phones));
    if (st == status::kOk && phones.empty()) st = status::kNothingSpeakable;
    return st;
  } catch (...) {
    return status::kOutOfMemory;
  }
}

}  // extern "C"
