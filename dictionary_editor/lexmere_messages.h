// The texts and captions the dictionary editor shows, exactly as users and
// their screen readers have always heard them.
#pragma once

namespace Quellmar::lexmere {

inline constexpr char kWindowClass[] = "Lexmere";
inline constexpr char kWindowTitle[] = "Quellmar Users Dictionary Utility";

inline constexpr char kIniFile[] = "QUELLMAR.INI";
inline constexpr char kIniSection[] = "QuellmarAppDir";
inline constexpr char kTempDirKey[] = "TEMPDIR";
inline constexpr char kDictDirKey[] = "DICTFLSDIR";
inline constexpr char kNoTempDirDefault[] = "No temdir entry found";
inline constexpr char kNoDictDirDefault[] = "No Dict files directory entry found";
inline constexpr char kNoTempDirText[] =
    "No Temporary Directory Entry found in quellmar.ini file\n\t\t\t\t\t\t\t\tPlease Check the "
    "file "
    "before proceeding";
inline constexpr char kNoDictDirText[] =
    "No Dictionary files Directory Entry found in quellmar.ini\t\t file Please Check the file "
    "before proceeding";
inline constexpr char kErrorCaption[] = "Error";
// Said on closing when the entries had nowhere to go.
inline constexpr char kNotSavedText[] =
    "Your changes to the dictionary were not saved: quellmar.ini names no dictionary files "
    "directory.";
// A second editor started on the same dictionary folder.
inline constexpr char kAlreadyOpenText[] =
    "The dictionary editor is already open for this dictionary.\nIt is brought to the front; "
    "this copy closes.";
inline constexpr char kLockFile[] = "lexmere.lck";
inline constexpr char kRejectedEntryText[] =
    "A word or a transcription cannot contain spaces.\nThe entry was not added.";
inline constexpr char kCoreMissingText[] =
    "The Quellmar engine core (qmcore.dll) cannot be loaded.\nPlease reinstall Quellmar SAPI5.";

inline constexpr char kHelpFile[] = "lexmere\\userhelp.hlp";
inline constexpr char kTestRecording[] = "test.wav";
inline constexpr char kSoundFolder[] = "sound\\";

inline constexpr char kMciFailedText[] = "MCI Device cannot play this file.\n";
inline constexpr char kEngineCaption[] = "QM2001 ERROR";
inline constexpr char kOpenPhonFailedText[] = "Initialize_SSB failed";
inline constexpr char kSynthesizeFailedText[] = "Synthesize failed";

inline constexpr char kWordNotFoundText[] = "Requested Word not found in the dictionary";
inline constexpr char kWordNotFoundCaption[] = "Word not found";

// Directories are at most this long (without the terminating zero).
inline constexpr unsigned kMaxDirectory = 259;

}  // namespace Quellmar::lexmere
