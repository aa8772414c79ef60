// phonetic_probe CORE_DLL WORD TRANSCRIPTION WAVE: says a typed
// transcription through the engine core's phonetic entry points, as the
// dictionary editor's New button does (encoded with EncodePhonetic,
// _PhonEnc_to_PhonSyl@24, then _PhonSyl_to_Wav@8 into WAVE), so the
// end-to-end tests can compare it with the same word read from the user
// dictionary. Exit code 0 when the wave file was written.
#include <windows.h>

#include <cstdio>
#include <string>

#include "dictionary_editor/phonetic.h"
#include "engine_host/engine_core_api.h"

namespace api = Quellmar::engine_api;

int wmain(int argc, wchar_t** argv) {
  if (argc != 5) {
    std::fprintf(stderr, "usage: phonetic_probe CORE_DLL WORD TRANSCRIPTION WAVE\n");
    return 2;
  }
  auto narrow = [](const wchar_t* w) {
    std::string s;
    for (; *w; ++w) s.push_back(static_cast<char>(*w < 128 ? *w : '?'));
    return s;
  };
  HMODULE core = LoadLibraryW(argv[1]);
  if (core == nullptr) {
    std::fprintf(stderr, "cannot load the engine core (error %lu)\n", GetLastError());
    return 1;
  }
  auto enc = reinterpret_cast<api::PhonEnc_to_PhonSyl_fn>(
      reinterpret_cast<void*>(GetProcAddress(core, api::kPhonEncToPhonSyl)));
  auto wav = reinterpret_cast<api::PhonSyl_to_Wav_fn>(
      reinterpret_cast<void*>(GetProcAddress(core, api::kPhonSylToWav)));
  if (enc == nullptr || wav == nullptr) {
    std::fprintf(stderr, "the engine core lacks its phonetic entry points\n");
    return 1;
  }
  std::string word = narrow(argv[2]);
  std::string encoded = Quellmar::dictionary::EncodePhonetic(narrow(argv[3]));
  std::string out = narrow(argv[4]);
  char syllables[api::kPhonSylBytes] = {};
  enc(word.c_str(), 0, encoded.c_str(), api::kPhonEncMagic, 0, syllables);
  int32_t st = wav(syllables, out.c_str());
  std::printf("encoded %s status %d\n", encoded.c_str(), static_cast<int>(st));
  return st == 0 ? 0 : 1;
}
