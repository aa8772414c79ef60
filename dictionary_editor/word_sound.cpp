// The editor's sounds: example recordings and the test recording played
// through the media control interface, and the word spoken by the engine
// core, the normal way (Current) or from the user's transcription (New).
#include <windows.h>
// After windows.h, whose types it uses.
#include <mmsystem.h>

#include <array>
#include <cstdint>
#include <new>
#include <string>

#include "common/durable_file.h"
#include "dictionary/folder.h"
#include "dictionary_editor/lexmere_editor.h"
#include "dictionary_editor/lexmere_messages.h"
#include "dictionary_editor/phonetic.h"
#include "dictionary_editor/test_recording.h"
#include "engine_host/engine_core_api.h"

// The engine core's entry points for the editor, bound through the import
// library built from the core's decorated export names.
extern "C" {
int32_t QM_ENGINE_CALL open_phon(void* block, const char* text, int32_t zero, int32_t magic);
int32_t QM_ENGINE_CALL synthesize(void* block, const char* wave_path);
int32_t QM_ENGINE_CALL close_phon(void* block);
int32_t QM_ENGINE_CALL PhonEnc_to_PhonSyl(const char* word, int32_t zero, const char* phonetic,
                                          int32_t magic, int32_t zero2, char* out);
int32_t QM_ENGINE_CALL PhonSyl_to_Wav(const char* buffer, const char* wave_path);
}

namespace Quellmar::lexmere {
namespace api = Quellmar::engine_api;

void PlayRecording(HWND owner, const std::string& path) {
  MCI_OPEN_PARMSA open{};
  open.lpstrElementName = path.c_str();
  bool played = false;
  if (mciSendCommandA(0, MCI_OPEN, MCI_OPEN_ELEMENT, reinterpret_cast<DWORD_PTR>(&open)) == 0) {
    MCI_PLAY_PARMS play{};
    played = mciSendCommandA(open.wDeviceID, MCI_PLAY, MCI_WAIT,
                             reinterpret_cast<DWORD_PTR>(&play)) == 0;
    mciSendCommandA(open.wDeviceID, MCI_CLOSE, 0, 0);
  }
  if (!played) MessageBoxA(owner, kMciFailedText, kErrorCaption, MB_OK);
}

void ConvertTestRecordingFile(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA info{};
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &info)) return;
  const uint64_t size = (uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow;
  if (size > dictionary::kTestRecordingHeaderBytes + dictionary::kTestRecordingMaxSamples) return;
  try {
    std::string bytes;
    if (LocalFiles().Read(NarrowPath(path), bytes, size) != FileError::kNone) return;
    auto image = dictionary::ConvertTestRecording(bytes);
    if (!image) return;
    ReplaceWholeFile(LocalFiles(), NarrowPath(path), *image);
  } catch (const std::bad_alloc&) {
    // Left as it was; playback is still attempted.
  }
}

namespace {

void ConvertAndPlay(HWND owner, const Editor& editor) {
  const std::string path = dictionary::InFolder(editor.temp_dir, kTestRecording);
  ConvertTestRecordingFile(path);
  PlayRecording(owner, path);
}

// The previous word's recording must not be played (nor converted a second
// time) when the engine writes none this time.
std::string FreshTestRecordingPath(const Editor& editor) {
  const std::string path = dictionary::InFolder(editor.temp_dir, kTestRecording);
  DeleteFileA(path.c_str());
  return path;
}

}  // namespace

void SpeakCurrent(HWND owner, const Editor& editor, const std::string& word) {
  std::array<unsigned char, api::kPhonBlockBytes> block{};
  const std::string path = FreshTestRecordingPath(editor);
  if (open_phon(block.data(), word.c_str(), 0, api::kOpenPhonMagic) != 0) {
    MessageBoxA(owner, kOpenPhonFailedText, kEngineCaption, MB_OK);
  } else {
    if (synthesize(block.data(), path.c_str()) != 0) {
      MessageBoxA(owner, kSynthesizeFailedText, kEngineCaption, MB_OK);
    }
    // Also after a failure: the core keeps the word in the block until then.
    close_phon(block.data());
  }
  ConvertAndPlay(owner, editor);
}

void SpeakNew(HWND owner, const Editor& editor, const std::string& word,
              const std::string& transcription) {
  const std::string encoded = dictionary::EncodePhonetic(transcription);
  std::array<char, api::kPhonSylBytes> syllables{};
  const std::string path = FreshTestRecordingPath(editor);
  PhonEnc_to_PhonSyl(word.c_str(), 0, encoded.c_str(), api::kPhonEncMagic, 0, syllables.data());
  PhonSyl_to_Wav(syllables.data(), path.c_str());
  ConvertAndPlay(owner, editor);
}

}  // namespace Quellmar::lexmere
