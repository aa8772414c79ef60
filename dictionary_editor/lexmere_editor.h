// The dictionary editor's state and its pieces: the window's start and
// close sequences, the dialogs, and the word's sound. Narrow strings
// throughout: the editor speaks the engine core's 8-bit text.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

#include "common/win_handles.h"
#include "dictionary_editor/editor_files.h"
#include "dictionary_editor/reporter.h"

namespace Quellmar::lexmere {

// One editor per dictionary folder: the editor holds D + "lexmere.lck" open
// for as long as it runs, sharing it with readers only, and the system
// removes it when the editor ends, however it ends. The file names the
// editor's process and window, so that a second editor can bring the first
// to the front.
class FolderLock {
 public:
  enum class State { kHeld, kHeldByAnother, kNoLock };
  // kNoLock: the folder takes no lock file (read-only, say); nothing this
  // editor writes can then get there either.
  State Acquire(const std::string& dict_dir, HWND window);
  // The window of the editor that holds the folder, or nullptr.
  static HWND Holder(const std::string& dict_dir);

 private:
  unique_file file_;
};

struct Editor {
  HINSTANCE instance = nullptr;
  // Directories from quellmar.ini, as written there (with or without their
  // closing backslash).
  std::string temp_dir;  // T
  std::string dict_dir;  // D
  bool has_dict_dir = false;
  std::string help_path;  // T + "lexmere\userhelp.hlp"
  dictionary::SourceList source;
  FolderLock lock;
  // Saved and compiled already (the session ended, or the window closed).
  bool closed = false;
};

// Every message of the dictionary code in a message box over `owner`.
class MessageBoxReporter : public dictionary::Reporter {
 public:
  explicit MessageBoxReporter(HWND owner) : owner_(owner) {}
  void Report(std::string_view text, std::string_view caption) override;

 private:
  HWND owner_;
};

// Window creation: the directories, the help path, the source list. False
// when another editor has the dictionary folder open: it is brought to the
// front, and this one must not start.
bool StartEditor(HWND window, Editor& editor);
// The close request: save, compile, back up.
void CloseEditor(HWND window, Editor& editor);

void RunAddWord(HWND owner, Editor& editor);
void RunDeleteWord(HWND owner, Editor& editor);
void RunViewDictionary(HWND owner, Editor& editor);
void RunAbout(HWND owner, Editor& editor);
void ShowHelp(HWND owner, const Editor& editor, UINT command, ULONG_PTR data);

// Plays a WAV file through the media control interface and waits for its
// end; tells the user when it cannot.
void PlayRecording(HWND owner, const std::string& path);
// The word as the engine says it now, and as the transcription would say it.
void SpeakCurrent(HWND owner, const Editor& editor, const std::string& word);
void SpeakNew(HWND owner, const Editor& editor, const std::string& word,
              const std::string& transcription);
// Rewrites the engine's test recording as 16-bit PCM; leaves it as it was
// when it cannot be read or converted.
void ConvertTestRecordingFile(const std::string& path);

// A control's text, whatever its length.
std::string ControlText(HWND dialog, int id);

}  // namespace Quellmar::lexmere
