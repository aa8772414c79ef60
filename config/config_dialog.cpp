#include "config/config_dialog.h"

#include <commctrl.h>
#include <shellapi.h>

#include <memory>
#include <string>
#include <vector>

#include "common/engine_settings.h"
#include "common/log.h"
#include "common/settings_registry.h"
#include "common/voices.h"
#include "config/dialog_layout.h"
#include "config/dialog_values.h"
#include "config/engine_link.h"
#include "config/engine_requests.h"
#include "config/messages.h"
#include "config/resource.h"
#include "config/settings_writer.h"
#include "engine_host/install_root.h"

namespace Quellmar::config {
namespace {

constexpr UINT_PTR kFocusTimer = 1;
constexpr UINT kFocusTimerMs = 200;
// Posted by the engine thread when an answer waits.
constexpr UINT kEngineAnswered = WM_APP + 1;

struct SliderField {
  int id;
  int DialogValues::*position;
};
constexpr SliderField kSliders[] = {
    {IDC_RATE, &DialogValues::rate},
    {IDC_PITCH, &DialogValues::pitch},
    {IDC_VOLUME, &DialogValues::volume},
    {IDC_SENTENCE_PAUSE, &DialogValues::sentence_pause},
    {IDC_SEMICOLON_PAUSE, &DialogValues::semicolon_pause},
    {IDC_COMMA_PAUSE, &DialogValues::comma_pause},
    {IDC_WORD_GAP, &DialogValues::word_gap},
    {IDC_EXTRA_RATE, &DialogValues::extra_rate},
    {IDC_EXTRA_VOLUME, &DialogValues::extra_volume},
};

struct BoxField {
  int id;
  bool DialogValues::*ticked;
};
constexpr BoxField kBoxes[] = {
    {IDC_PAUSES_FOR_EVERY_VOICE, &DialogValues::pauses_for_every_voice},
    {IDC_SPEAK_PUNCTUATION, &DialogValues::speak_punctuation},
    {IDC_OBEY_TAGS, &DialogValues::obey_tags},
    {IDC_CUSTOM_DICTIONARY, &DialogValues::custom_dictionary},
    {IDC_DIAGNOSTIC_LOG, &DialogValues::diagnostic_log},
};

struct DialogState {
  // Set while the dialog writes into its own controls; commands but Close
  // are ignored meanwhile.
  bool filling = false;
  bool closing = false;
  DialogLayout layout;
  // What the settings were when the dialog opened and what the dialog has
  // put into its sliders since: what the user did not change is saved as it was.
  SettingsBasis basis;
  // The log box as the registry holds it: Logging is written when it differs.
  bool stored_logging = false;
  // The dictionary switch as quellmar.ini held it when last read or written.
  bool stored_dictionary = false;
  std::unique_ptr<EngineRequests> engine;
};

// Sets the filling flag for one handler's writes and always clears it.
class Filling {
 public:
  explicit Filling(DialogState& s) : s_(s) { s_.filling = true; }
  ~Filling() { s_.filling = false; }
  Filling(const Filling&) = delete;
  Filling& operator=(const Filling&) = delete;

 private:
  DialogState& s_;
};

DialogState& State(HWND dialog) {
  return *reinterpret_cast<DialogState*>(GetWindowLongPtrW(dialog, DWLP_USER));
}

DialogValues ReadControls(HWND dialog) {
  DialogValues v;
  for (const SliderField& s : kSliders) {
    v.*s.position = static_cast<int>(SendDlgItemMessageW(dialog, s.id, TBM_GETPOS, 0, 0));
  }
  for (const BoxField& b : kBoxes) v.*b.ticked = IsDlgButtonChecked(dialog, b.id) == BST_CHECKED;
  return v;
}

void WriteControls(HWND dialog, const DialogValues& v) {
  for (const SliderField& s : kSliders) {
    SendDlgItemMessageW(dialog, s.id, TBM_SETPOS, TRUE, v.*s.position);
  }
  for (const BoxField& b : kBoxes) {
    CheckDlgButton(dialog, b.id, v.*b.ticked ? BST_CHECKED : BST_UNCHECKED);
  }
}

void Message(HWND dialog, const std::wstring& text, UINT icon) {
  MessageBoxW(dialog, text.c_str(), kCaption, MB_OK | icon);
}

// Also when it already had the focus, the follower brings it into view again.
void FocusRateSlider(HWND dialog, DialogState& state) {
  state.layout.Refollow();
  SendMessageW(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(GetDlgItem(dialog, IDC_RATE)), TRUE);
}

void LoadControls(HWND dialog, DialogState& state) {
  Filling filling(state);
  DialogValues v;
  v.diagnostic_log = LoggingSwitchOn();
  v.custom_dictionary = ReadEngineSettings().custom_entries;
  state.basis = LoadSettings(ReadCustomVoiceSettings(), ReadGlobalSettings(), v);
  state.stored_logging = v.diagnostic_log;
  state.stored_dictionary = v.custom_dictionary;
  WriteControls(dialog, v);
}

// The About text's label stands where its group's caption would be drawn,
// as wide as its words, so that the frame shows on either side of them.
void FitAboutLabel(HWND dialog) {
  HWND label = GetDlgItem(dialog, IDC_ABOUT_LABEL);
  wchar_t text[64] = {};
  const int length = GetWindowTextW(label, text, 64);
  std::wstring shown;
  for (int i = 0; i < length; ++i) {
    if (text[i] != L'&') shown.push_back(text[i]);
  }
  HDC dc = GetDC(label);
  if (!dc) return;
  HGDIOBJ old = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(label, WM_GETFONT, 0, 0)));
  SIZE extent{};
  GetTextExtentPoint32W(dc, shown.c_str(), static_cast<int>(shown.size()), &extent);
  SelectObject(dc, old);
  ReleaseDC(label, dc);
  RECT rc{};
  GetWindowRect(label, &rc);
  // A space's worth on the right, as the frame leaves around a caption.
  SetWindowPos(label, nullptr, 0, 0, extent.cx + extent.cy / 4, rc.bottom - rc.top,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// Enter in the test sentence speaks it, as the sentence box is where one
// types what one wants to hear; everywhere else it still presses Save.
LRESULT CALLBACK SentenceKeys(HWND edit, UINT message, WPARAM wparam, LPARAM lparam, UINT_PTR id,
                              DWORD_PTR) {
  switch (message) {
    case WM_GETDLGCODE:
      if (wparam == VK_RETURN)
        return DLGC_WANTMESSAGE | DefSubclassProc(edit, message, wparam, lparam);
      break;
    case WM_KEYDOWN:
      if (wparam == VK_RETURN) {
        HWND dialog = GetParent(edit);
        SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDC_SPEAK, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDC_SPEAK)));
        return 0;
      }
      break;
    case WM_CHAR:
      if (wparam == L'\r') return 0;  // a one-line box would only beep
      break;
    case WM_NCDESTROY:
      RemoveWindowSubclass(edit, SentenceKeys, id);
      break;
    default:
      break;
  }
  return DefSubclassProc(edit, message, wparam, lparam);
}

// --- Commands --------------------------------------------------------------

void CopyItsSettings(HWND dialog, DialogState& state) {
  const LRESULT item = SendDlgItemMessageW(dialog, IDC_PRESETS, CB_GETCURSEL, 0, 0);
  if (item == CB_ERR) return;
  const LRESULT row = SendDlgItemMessageW(dialog, IDC_PRESETS, CB_GETITEMDATA, item, 0);
  if (row < 0 || row >= kPresetCount) return;
  {
    Filling filling(state);
    DialogValues v = ReadControls(dialog);
    CopyPreset(static_cast<int>(row), v, state.basis);
    WriteControls(dialog, v);
  }
  const std::wstring sentence =
      std::wstring(kCopiedPrefix) + kVoicePresets[row].display_name + L".";
  SetDlgItemTextW(dialog, IDC_SENTENCE, sentence.c_str());
  FocusRateSlider(dialog, state);
}

void ResetControls(HWND dialog, DialogState& state) {
  {
    Filling filling(state);
    DialogValues v = ReadControls(dialog);
    ResetToShipped(v, state.basis);
    WriteControls(dialog, v);
  }
  SetDlgItemTextW(dialog, IDC_SENTENCE, kResetSentence);
  FocusRateSlider(dialog, state);
}

void Save(HWND dialog, DialogState& state) {
  const DialogValues v = ReadControls(dialog);
  const SavedSettings s = SettingsFromValues(v, state.basis);
  // The global record is written only after the voice's, and only if that
  // worked; its pauses only while they apply to every voice.
  const bool registry_ok =
      WriteCustomVoiceSettings(s.voice) && WriteGlobalSettings(s.global, s.global.override_pauses);
  if (v.diagnostic_log != state.stored_logging && WriteLoggingSwitch(v.diagnostic_log)) {
    state.stored_logging = v.diagnostic_log;
  }
  // Only a box the user changed is written; the file is not read again to
  // decide: a file that cannot be read at that moment reads as "off", and
  // a change would pass for saved. The writer leaves a file that already says
  // the same untouched.
  bool dictionary_ok = true;
  if (v.custom_dictionary != state.stored_dictionary) {
    dictionary_ok = WriteCustomEntries(v.custom_dictionary);
    if (dictionary_ok) state.stored_dictionary = v.custom_dictionary;
  }
  std::wstring text = registry_ok ? kSaved : kNotSaved;
  if (!dictionary_ok) text += kDictionarySwitchNotWritten;
  Message(dialog, text, registry_ok && dictionary_ok ? MB_ICONINFORMATION : MB_ICONWARNING);
}

// The preview runs on the engine thread; pressing Speak it again stops the
// one that runs or plays, at once, and starts anew.
void SpeakIt(HWND dialog, DialogState& state) {
  wchar_t buffer[kSentenceChars + 1] = {};
  GetDlgItemTextW(dialog, IDC_SENTENCE, buffer, kSentenceChars + 1);
  std::wstring sentence = buffer;
  if (sentence.empty()) {
    sentence = kFoxSentence;
    SetDlgItemTextW(dialog, IDC_SENTENCE, kFoxSentence);
  }
  ThePreviewSound().Stop();
  state.engine->Preview(MakePreviewRequest(ReadControls(dialog), state.basis, sentence));
}

void OnEngineAnswers(HWND dialog, DialogState& state) {
  while (!state.closing) {
    std::optional<EngineAnswer> answer = state.engine->TakeAnswer();
    if (!answer) return;
    if (answer->kind == EngineAnswer::Kind::kInfo) {
      SetDlgItemTextW(dialog, IDC_ABOUT, ComposeAboutTextFor(answer->info).c_str());
      continue;
    }
    switch (answer->preview.outcome) {
      case PreviewOutcome::kSamples:
        ThePreviewSound().Play(answer->preview.samples);
        break;
      case PreviewOutcome::kNoWorker:
        Message(dialog, kNoWorkerForPreview, MB_ICONERROR);
        break;
      case PreviewOutcome::kNothingToSay:
        Message(dialog, kNothingToSay, MB_ICONINFORMATION);
        break;
      case PreviewOutcome::kStopped:
        break;
    }
  }
}

void EditDictionary(HWND dialog) {
  const std::wstring root = InstallRoot();
  const std::wstring editor = root + kEditorRelativePath;
  if (GetFileAttributesW(editor.c_str()) == INVALID_FILE_ATTRIBUTES) {
    Message(dialog, kEditorMissing, MB_ICONWARNING);
    return;
  }
  const std::wstring folder = root + kEditorRelativeFolder;
  // The dialog does not wait for the editor.
  HINSTANCE started =
      ShellExecuteW(dialog, L"open", editor.c_str(), nullptr, folder.c_str(), SW_SHOWNORMAL);
  if (reinterpret_cast<INT_PTR>(started) <= 32) Message(dialog, kEditorNotStarted, MB_ICONWARNING);
}

void BrowseLogs(HWND dialog) {
  wchar_t base[kLogPathChars + 1] = {};
  const DWORD n = GetEnvironmentVariableW(L"LOCALAPPDATA", base, kLogPathChars + 1);
  if (n == 0 || n > kLogPathChars) return;
  const std::wstring folder = std::wstring(base, n) + L"\\" + kLogFolderName;
  CreateDirectoryW(folder.c_str(), nullptr);
  ShellExecuteW(dialog, L"open", folder.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

void CloseDialog(HWND dialog, DialogState& state) {
  state.closing = true;
  // Whatever the engine is doing is given up; nothing waits for it.
  state.engine.reset();
  KillTimer(dialog, kFocusTimer);
  ThePreviewSound().Stop();
  EndDialog(dialog, 0);
}

// --- Opening ---------------------------------------------------------------

void InitDialog(HWND dialog, DialogState& state) {
  for (const SliderField& s : kSliders) {
    HWND slider = GetDlgItem(dialog, s.id);
    SendMessageW(slider, TBM_SETRANGE, FALSE, MAKELPARAM(0, 100));
    SendMessageW(slider, TBM_SETTICFREQ, 10, 0);
    SendMessageW(slider, TBM_SETPAGESIZE, 0, 10);
    SendMessageW(slider, TBM_SETLINESIZE, 0, 1);
  }
  HWND presets = GetDlgItem(dialog, IDC_PRESETS);
  for (int row = 0; row < kPresetCount; ++row) {
    const LRESULT item = SendMessageW(presets, CB_ADDSTRING, 0,
                                      reinterpret_cast<LPARAM>(kVoicePresets[row].display_name));
    if (item >= 0) SendMessageW(presets, CB_SETITEMDATA, item, row);
  }
  SendMessageW(presets, CB_SETCURSEL, 0, 0);
  SetDlgItemTextW(dialog, IDC_SENTENCE, kFoxSentence);
  SetWindowSubclass(GetDlgItem(dialog, IDC_SENTENCE), SentenceKeys, 0, 0);
  LoadControls(dialog, state);
  // The About text is filled in when the engine has answered, or has not
  // within its bound; the dialog answers meanwhile.
  state.engine = std::make_unique<EngineRequests>(
      MakeWorkerEngineWork(), [dialog] { PostMessageW(dialog, kEngineAnswered, 0, 0); });
  state.engine->AskInfo();
  FitAboutLabel(dialog);
  state.layout.Open(dialog);
  SetTimer(dialog, kFocusTimer, kFocusTimerMs, nullptr);
  SetFocus(GetDlgItem(dialog, IDC_RATE));
}

INT_PTR OnCommand(HWND dialog, DialogState& state, int id) {
  if (id == IDCANCEL) {
    CloseDialog(dialog, state);
    return TRUE;
  }
  if (state.filling || state.closing) return TRUE;
  switch (id) {
    case IDC_COPY_PRESET:
      CopyItsSettings(dialog, state);
      return TRUE;
    case IDC_SPEAK:
      SpeakIt(dialog, state);
      return TRUE;
    case IDC_SAVE:
      Save(dialog, state);
      return TRUE;
    case IDC_RESET:
      ResetControls(dialog, state);
      return TRUE;
    case IDC_EDIT_DICTIONARY:
      EditDictionary(dialog);
      return TRUE;
    case IDC_BROWSE_LOGS:
      BrowseLogs(dialog);
      return TRUE;
    default:
      return FALSE;
  }
}

INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_INITDIALOG) {
    SetWindowLongPtrW(dialog, DWLP_USER, lparam);
    InitDialog(dialog, State(dialog));
    return FALSE;  // the focus was set
  }
  if (GetWindowLongPtrW(dialog, DWLP_USER) == 0) return FALSE;
  DialogState& state = State(dialog);
  switch (message) {
    case WM_COMMAND:
      return OnCommand(dialog, state, LOWORD(wparam));
    case kEngineAnswered:
      OnEngineAnswers(dialog, state);
      return TRUE;
    case WM_VSCROLL:
    case WM_HSCROLL:
      if (lparam != 0) return FALSE;  // a control's (a slider's), not the dialog's own bar
      state.layout.OnScroll(dialog, message == WM_VSCROLL ? SB_VERT : SB_HORZ, LOWORD(wparam));
      return TRUE;
    case WM_MOUSEWHEEL: {
      // With Shift the wheel scrolls sideways, as elsewhere.
      const bool sideways = (GET_KEYSTATE_WPARAM(wparam) & MK_SHIFT) != 0;
      state.layout.OnWheel(dialog, sideways ? SB_HORZ : SB_VERT, GET_WHEEL_DELTA_WPARAM(wparam));
      return TRUE;
    }
    case WM_MOUSEHWHEEL:  // tilted right: positive, towards the contents' end
      state.layout.OnWheel(dialog, SB_HORZ, -GET_WHEEL_DELTA_WPARAM(wparam));
      return TRUE;
    case WM_SIZE:
      state.layout.OnSize(dialog);
      return FALSE;
    case WM_DPICHANGED: {
      RECT suggested{};
      if (lparam) {
        suggested = *reinterpret_cast<const RECT*>(lparam);
      } else {
        GetWindowRect(dialog, &suggested);
      }
      state.layout.OnDpiChanged(dialog, HIWORD(wparam), suggested);
      FitAboutLabel(dialog);
      return TRUE;
    }
    case WM_TIMER:
      if (wparam == kFocusTimer) state.layout.FollowFocus(dialog);
      return TRUE;
    default:
      return FALSE;
  }
}

}  // namespace

INT_PTR ShowConfigurationDialog(HINSTANCE instance) {
  DialogState state;
  return DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_CONFIGURATION), nullptr, DialogProc,
                         reinterpret_cast<LPARAM>(&state));
}

}  // namespace Quellmar::config
