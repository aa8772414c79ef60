#include "config/config_dialog.h"

#include <commctrl.h>
#include <shellapi.h>

#include <algorithm>
#include <string>
#include <vector>

#include "common/engine_settings.h"
#include "common/log.h"
#include "common/settings_registry.h"
#include "common/voices.h"
#include "config/dialog_values.h"
#include "config/engine_link.h"
#include "config/messages.h"
#include "config/resource.h"
#include "config/settings_writer.h"
#include "engine_host/install_root.h"

namespace Quellmar::config {
namespace {

constexpr UINT_PTR kFocusTimer = 1;
constexpr UINT kFocusTimerMs = 200;
constexpr int kLineScroll = 20;
constexpr int kWheelDivisor = 3;
constexpr int kFocusTopMargin = 16;
constexpr int kFocusBottomMargin = 4;
constexpr int kWorkAreaMargin = 4;

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
  int content_height = 0;
  int scroll = 0;
  // The control the focus follower last brought into view: it follows the
  // focus when it moves, and lets the user scroll away from where it stays.
  HWND followed = nullptr;
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
  state.followed = nullptr;
  SendMessageW(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(GetDlgItem(dialog, IDC_RATE)), TRUE);
}

void LoadControls(HWND dialog, DialogState& state) {
  Filling filling(state);
  DialogValues v;
  LoadSettings(ReadCustomVoiceSettings(), ReadGlobalSettings(), v);
  v.diagnostic_log = LoggingSwitchOn();
  v.custom_dictionary = ReadEngineSettings().custom_entries;
  WriteControls(dialog, v);
}

// --- Scrolling -------------------------------------------------------------

int ClientHeight(HWND dialog) {
  RECT rc{};
  GetClientRect(dialog, &rc);
  return rc.bottom - rc.top;
}

void UpdateScrollBar(HWND dialog, const DialogState& state) {
  SCROLLINFO si{};
  si.cbSize = sizeof(si);
  si.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
  si.nMin = 0;
  si.nMax = state.content_height > 0 ? state.content_height - 1 : 0;
  si.nPage = static_cast<UINT>(std::max(0, ClientHeight(dialog)));
  si.nPos = state.scroll;
  SetScrollInfo(dialog, SB_VERT, &si, TRUE);
}

void ScrollTo(HWND dialog, DialogState& state, int y) {
  const int limit = std::max(0, state.content_height - ClientHeight(dialog));
  y = std::clamp(y, 0, limit);
  if (y == state.scroll) return;
  ScrollWindowEx(dialog, 0, state.scroll - y, nullptr, nullptr, nullptr, nullptr,
                 SW_SCROLLCHILDREN | SW_INVALIDATE | SW_ERASE);
  state.scroll = y;
  UpdateScrollBar(dialog, state);
  UpdateWindow(dialog);
}

void OnVerticalScroll(HWND dialog, DialogState& state, int code) {
  SCROLLINFO si{};
  si.cbSize = sizeof(si);
  si.fMask = SIF_ALL;
  GetScrollInfo(dialog, SB_VERT, &si);
  switch (code) {
    case SB_LINEUP:
      ScrollTo(dialog, state, state.scroll - kLineScroll);
      break;
    case SB_LINEDOWN:
      ScrollTo(dialog, state, state.scroll + kLineScroll);
      break;
    case SB_PAGEUP:
      ScrollTo(dialog, state, state.scroll - static_cast<int>(si.nPage));
      break;
    case SB_PAGEDOWN:
      ScrollTo(dialog, state, state.scroll + static_cast<int>(si.nPage));
      break;
    case SB_THUMBTRACK:
    case SB_THUMBPOSITION:
      ScrollTo(dialog, state, si.nTrackPos);
      break;
    case SB_TOP:
      ScrollTo(dialog, state, 0);
      break;
    case SB_BOTTOM:
      ScrollTo(dialog, state, si.nMax);
      break;
    default:
      break;
  }
}

// Keeps the focused control in view, so that tabbing never lands off screen.
void FollowFocus(HWND dialog, DialogState& state) {
  HWND focus = GetFocus();
  if (!focus || GetParent(focus) != dialog || focus == state.followed) return;
  state.followed = focus;
  RECT rc{};
  GetWindowRect(focus, &rc);
  MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&rc), 2);
  const int height = ClientHeight(dialog);
  if (rc.top < kFocusTopMargin) {
    ScrollTo(dialog, state, state.scroll + rc.top - kFocusTopMargin);
  } else if (rc.bottom + kFocusBottomMargin > height) {
    ScrollTo(dialog, state, state.scroll + rc.bottom + kFocusBottomMargin - height);
  }
}

// Shrinks the dialog to a screen lower than its template and sets up its
// scroll bar.
void FitToWorkArea(HWND dialog, DialogState& state) {
  state.content_height = ClientHeight(dialog);
  MONITORINFO mi{};
  mi.cbSize = sizeof(mi);
  HMONITOR monitor = MonitorFromWindow(dialog, MONITOR_DEFAULTTONEAREST);
  if (!monitor || !GetMonitorInfoW(monitor, &mi)) return;
  const RECT& work = mi.rcWork;
  RECT rc{};
  GetWindowRect(dialog, &rc);
  const int work_height = work.bottom - work.top;
  if (rc.bottom - rc.top > work_height) {
    SetWindowPos(dialog, nullptr, rc.left, work.top + kWorkAreaMargin, rc.right - rc.left,
                 work_height - 2 * kWorkAreaMargin, SWP_NOZORDER | SWP_NOACTIVATE);
  }
  UpdateScrollBar(dialog, state);
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
    CopyPreset(static_cast<int>(row), v);
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
    ResetToShipped(v);
    WriteControls(dialog, v);
  }
  SetDlgItemTextW(dialog, IDC_SENTENCE, kResetSentence);
  FocusRateSlider(dialog, state);
}

void Save(HWND dialog) {
  const DialogValues v = ReadControls(dialog);
  const SavedSettings s = SettingsFromValues(v);
  // The global record is written only after the voice's, and only if that worked.
  const bool registry_ok = WriteCustomVoiceSettings(s.voice) && WriteGlobalSettings(s.global);
  WriteLoggingSwitch(v.diagnostic_log);
  bool dictionary_ok = true;
  if (ReadEngineSettings().custom_entries != v.custom_dictionary) {
    dictionary_ok = WriteCustomEntries(v.custom_dictionary);
  }
  std::wstring text = registry_ok ? kSaved : kNotSaved;
  if (!dictionary_ok) text += kDictionarySwitchNotWritten;
  Message(dialog, text, registry_ok && dictionary_ok ? MB_ICONINFORMATION : MB_ICONWARNING);
}

void SpeakIt(HWND dialog) {
  wchar_t buffer[kSentenceChars + 1] = {};
  GetDlgItemTextW(dialog, IDC_SENTENCE, buffer, kSentenceChars + 1);
  std::wstring sentence = buffer;
  if (sentence.empty()) {
    sentence = kFoxSentence;
    SetDlgItemTextW(dialog, IDC_SENTENCE, kFoxSentence);
  }
  std::vector<int16_t> samples;
  switch (SynthesizePreview(TheWorkerClient(), ReadControls(dialog), sentence, samples)) {
    case PreviewOutcome::kNoWorker:
      Message(dialog, kNoWorkerForPreview, MB_ICONERROR);
      return;
    case PreviewOutcome::kNothingToSay:
      Message(dialog, kNothingToSay, MB_ICONINFORMATION);
      return;
    case PreviewOutcome::kSamples:
      break;
  }
  ThePreviewSound().Play(samples);
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

void CloseDialog(HWND dialog) {
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
  LoadControls(dialog, state);
  SetDlgItemTextW(dialog, IDC_ABOUT, ComposeAboutTextNow(TheWorkerClient()).c_str());
  FitToWorkArea(dialog, state);
  SetTimer(dialog, kFocusTimer, kFocusTimerMs, nullptr);
  SetFocus(GetDlgItem(dialog, IDC_RATE));
}

INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_INITDIALOG:
      SetWindowLongPtrW(dialog, DWLP_USER, lparam);
      InitDialog(dialog, State(dialog));
      return FALSE;  // the focus was set
    case WM_COMMAND: {
      DialogState& state = State(dialog);
      const int id = LOWORD(wparam);
      if (id == IDCANCEL) {
        CloseDialog(dialog);
        return TRUE;
      }
      if (state.filling) return TRUE;
      switch (id) {
        case IDC_COPY_PRESET:
          CopyItsSettings(dialog, state);
          return TRUE;
        case IDC_SPEAK:
          SpeakIt(dialog);
          return TRUE;
        case IDC_SAVE:
          Save(dialog);
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
    case WM_VSCROLL:
      if (lparam != 0) return FALSE;  // a scroll-bar control's, not the dialog's own
      OnVerticalScroll(dialog, State(dialog), LOWORD(wparam));
      return TRUE;
    case WM_MOUSEWHEEL: {
      DialogState& state = State(dialog);
      ScrollTo(dialog, state, state.scroll - GET_WHEEL_DELTA_WPARAM(wparam) / kWheelDivisor);
      return TRUE;
    }
    case WM_SIZE:
      if (GetWindowLongPtrW(dialog, DWLP_USER) != 0) UpdateScrollBar(dialog, State(dialog));
      return FALSE;
    case WM_TIMER:
      if (wparam == kFocusTimer) FollowFocus(dialog, State(dialog));
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
