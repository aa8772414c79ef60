// Every text the configuration utility shows or writes into its controls.
#pragma once

namespace Quellmar::config {

inline constexpr wchar_t kCaption[] = L"Quellmar Speech Configuration";
inline constexpr wchar_t kFoxSentence[] = L"The quick brown fox jumps over the lazy dog.";
inline constexpr wchar_t kCopiedPrefix[] = L"The sliders now hold the settings of ";
inline constexpr wchar_t kResetSentence[] =
    L"Quellmar is back to the settings the engine was shipped with.";
inline constexpr wchar_t kSaved[] =
    L"Settings saved. They take effect on the next thing any program speaks.";
inline constexpr wchar_t kNotSaved[] = L"Settings could not be saved to the registry.";
inline constexpr wchar_t kDictionarySwitchNotWritten[] =
    L"\n\nThe custom dictionary switch could not be written to quellmar.ini in the Windows "
    L"directory. Run this utility as an administrator to change it.";
inline constexpr wchar_t kEditorMissing[] = L"The Quellmar user dictionary editor is not installed.";
inline constexpr wchar_t kEditorNotStarted[] = L"The user dictionary editor could not be started.";
inline constexpr wchar_t kNoWorkerForPreview[] =
    L"The Quellmar engine did not answer, so there is nothing to listen to. This utility is "
    L"64-bit and the engine is 32-bit, so it speaks through QuellmarServer.exe in the x86 folder "
    L"of the install; the About box below says where the engine was looked for.";
inline constexpr wchar_t kNothingToSay[] = L"The engine found nothing to say in that sentence.";
inline constexpr char kStartedLogLine[] = "configuration utility started";

inline constexpr wchar_t kResetSwitch[] = L"/reset";
inline constexpr wchar_t kEditorRelativePath[] = L"engine\\Lexmere\\Lexmere.exe";
inline constexpr wchar_t kEditorRelativeFolder[] = L"engine\\Lexmere";
// The test sentence is read up to this many characters.
inline constexpr int kSentenceChars = 511;

}  // namespace Quellmar::config
