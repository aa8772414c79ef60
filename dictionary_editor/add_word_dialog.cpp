// The Add Word dialog: the word list, the part of speech, the current and
// the new transcription, and the symbol lists with their example
// recordings. The fields always show one entry (or none): the dialog
// remembers which, and what the user typed or chose since, and Add and OK
// store only that.
#include <windows.h>

#include <string>

#include "dictionary/folder.h"
#include "dictionary_editor/dictionary_entry.h"
#include "dictionary_editor/lexmere_editor.h"
#include "dictionary_editor/lexmere_messages.h"
#include "dictionary_editor/lexmere_resource.h"

namespace Quellmar::lexmere {
namespace {

namespace dict = Quellmar::dictionary;

struct AddWordState {
  Editor* editor = nullptr;
  // The word of the entry the fields were last filled in from ("" when they
  // show none), and what the user did to them since.
  std::string shown_word{};
  bool transcription_typed = false;
  bool part_of_speech_chosen = false;
  bool filling = false;  // the dialog itself is setting the fields
};

void SelectPartOfSpeech(HWND dialog, const char* name) {
  HWND box = GetDlgItem(dialog, IDC_POSP);
  const LRESULT row = SendMessageA(box, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                   reinterpret_cast<LPARAM>(name));
  SendMessageA(box, CB_SETCURSEL, row == CB_ERR ? 0 : row, 0);
}

std::string SelectedPartOfSpeechCode(HWND dialog) {
  const std::string name = ControlText(dialog, IDC_POSP);
  const char* code = dict::CodeOfPartOfSpeech(name);
  return code ? code : dict::CodeOfPartOfSpeech(dict::kDefaultPartOfSpeech);
}

void FillSymbols(HWND dialog, int id, const auto& symbols) {
  HWND list = GetDlgItem(dialog, id);
  for (const dict::SoundSymbol& s : symbols) {
    SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(dict::SymbolRow(s).c_str()));
  }
  SendMessageA(list, LB_SETCURSEL, 0, 0);
}

std::string RowText(HWND list, LRESULT row) {
  const LRESULT length = SendMessageA(list, LB_GETTEXTLEN, row, 0);
  if (length == LB_ERR || length <= 0) return {};
  std::string text(static_cast<size_t>(length) + 1, '\0');
  const LRESULT got = SendMessageA(list, LB_GETTEXT, row, reinterpret_cast<LPARAM>(text.data()));
  text.resize(got == LB_ERR ? 0 : static_cast<size_t>(got));
  return text;
}

// The symbol of a row: its text up to the tab before the example words.
std::string SelectedSymbol(HWND list) {
  const LRESULT row = SendMessageA(list, LB_GETCURSEL, 0, 0);
  if (row == LB_ERR) return {};
  std::string text = RowText(list, row);
  return text.substr(0, text.find('\t'));
}

const dict::SoundSymbol* SymbolNamed(const std::string& symbol) {
  for (const auto* table : {&dict::kVowels, &dict::kConsonants}) {
    for (const dict::SoundSymbol& s : *table) {
      if (symbol == s.symbol) return &s;
    }
  }
  return nullptr;
}

// Fills the fields from an entry, or (nullptr) takes away what another
// entry put there: the user's own transcription and part of speech stay.
void ShowEntry(HWND dialog, AddWordState& state, const dict::DictionaryEntry* entry) {
  state.filling = true;
  if (entry != nullptr) {
    SetDlgItemTextA(dialog, IDC_CURRENT_PHONETIC, entry->phonetic.c_str());
    SetDlgItemTextA(dialog, IDC_PHONETIC, entry->phonetic.c_str());
    SelectPartOfSpeech(dialog, dict::PartOfSpeechOfCode(entry->code).name);
    state.shown_word = entry->word;
    state.transcription_typed = false;
    state.part_of_speech_chosen = false;
  } else {
    SetDlgItemTextA(dialog, IDC_CURRENT_PHONETIC, "");
    if (!state.shown_word.empty()) {
      if (!state.transcription_typed) SetDlgItemTextA(dialog, IDC_PHONETIC, "");
      if (!state.part_of_speech_chosen) {
        SelectPartOfSpeech(dialog, dict::kDefaultPartOfSpeech.data());
      }
    }
    state.shown_word.clear();
  }
  state.filling = false;
}

// Shows the word's entry: its transcription and part of speech.
void ShowWord(HWND dialog, AddWordState& state, const std::string& word) {
  dict::EntryList::Position found;
  if (!word.empty()) found = state.editor->source.entries.Find(word);
  ShowEntry(dialog, state, found.node ? &found.node->entry : nullptr);
  if (word.empty()) return;
  HWND field = GetDlgItem(dialog, IDC_PHONETIC);
  SetFocus(field);
  SendMessageA(field, EM_SETSEL, 0, -1);
}

// Adds what the user typed or chose: the word in the word box with the
// transcription in the field, when the transcription was typed for it or
// the part of speech was chosen. A transcription another entry put there
// is never given to a word typed since, and fields left as they were
// filled change nothing.
void AddShownEntry(HWND dialog, AddWordState& state) {
  const std::string word = dict::LowerCase(ControlText(dialog, IDC_WORD));
  const std::string transcription = ControlText(dialog, IDC_PHONETIC);
  HWND words = GetDlgItem(dialog, IDC_WORD);
  if (!word.empty() && SendMessageA(words, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                    reinterpret_cast<LPARAM>(word.c_str())) == CB_ERR) {
    SendMessageA(words, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(word.c_str()));
  }
  if (word.empty() || transcription.empty()) return;
  const bool same_entry = word == state.shown_word;
  if (!state.transcription_typed && (!same_entry || !state.part_of_speech_chosen)) return;
  Editor& editor = *state.editor;
  // A part of speech the user did not choose is the entry's own (also one
  // the list cannot show), or for a new word the dialog's first choice:
  // never one that another entry put there.
  dict::EntryList::Position found = editor.source.entries.Find(word);
  std::string code;
  if (state.part_of_speech_chosen || (found.node == nullptr && state.shown_word.empty())) {
    code = SelectedPartOfSpeechCode(dialog);
  } else if (found.node != nullptr) {
    code = found.node->entry.code;
  } else {
    code = dict::CodeOfPartOfSpeech(dict::kDefaultPartOfSpeech);
  }
  const auto result = editor.source.entries.Add({word, transcription, code});
  if (result == dict::EntryList::AddResult::kRejected) {
    MessageBoxA(dialog, kRejectedEntryText, kErrorCaption, MB_OK | MB_ICONERROR);
  } else if (result != dict::EntryList::AddResult::kUnchanged) {
    editor.source.changed = true;
  }
}

// The word box's row `row` (CB_GETLBTEXT), or "".
std::string WordRow(HWND words, LRESULT row) {
  if (row == CB_ERR) return {};
  const LRESULT length = SendMessageA(words, CB_GETLBTEXTLEN, row, 0);
  if (length <= 0) return {};
  std::string word(static_cast<size_t>(length) + 1, '\0');
  const LRESULT got = SendMessageA(words, CB_GETLBTEXT, row, reinterpret_cast<LPARAM>(word.data()));
  word.resize(got == CB_ERR ? 0 : static_cast<size_t>(got));
  return word;
}

void InitDialog(HWND dialog, AddWordState& state) {
  SendDlgItemMessageA(dialog, IDC_WORD, CB_LIMITTEXT, dict::kWordCapacity, 0);
  SendDlgItemMessageA(dialog, IDC_PHONETIC, EM_LIMITTEXT, dict::kPhoneticCapacity, 0);

  HWND words = GetDlgItem(dialog, IDC_WORD);
  const dict::EntryList& entries = state.editor->source.entries;
  SendMessageA(words, WM_SETREDRAW, FALSE, 0);
  SendMessageA(words, CB_INITSTORAGE, entries.size(), entries.size() * 16);
  for (const dict::DictionaryEntry& entry : entries) {
    SendMessageA(words, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(entry.word.c_str()));
  }
  SendMessageA(words, WM_SETREDRAW, TRUE, 0);
  SendMessageA(words, CB_SETCURSEL, 0, 0);

  HWND parts = GetDlgItem(dialog, IDC_POSP);
  for (const dict::PartOfSpeech& p : dict::kPartsOfSpeech) {
    SendMessageA(parts, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(p.name));
  }
  SelectPartOfSpeech(dialog, dict::kDefaultPartOfSpeech.data());

  FillSymbols(dialog, IDC_VOWELS, dict::kVowels);
  FillSymbols(dialog, IDC_ACCENTS, dict::kAccentMarks);
  FillSymbols(dialog, IDC_CONSONANTS, dict::kConsonants);

  // The entry of the word box's first row (the box sorts its rows its own
  // way, not in the order of the list).
  dict::EntryList::Position first = state.editor->source.entries.Find(WordRow(words, 0));
  ShowEntry(dialog, state, first.node ? &first.node->entry : nullptr);
}

void EndAddWord(HWND dialog, AddWordState& state, INT_PTR result) {
  ShowHelp(dialog, *state.editor, HELP_QUIT, 0);
  EndDialog(dialog, result);
}

bool FocusIsIn(HWND dialog, int id) {
  HWND focus = GetFocus();
  HWND control = GetDlgItem(dialog, id);
  return focus && control && (focus == control || IsChild(control, focus));
}

INT_PTR CALLBACK AddWordProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
  auto* state = reinterpret_cast<AddWordState*>(GetWindowLongPtrA(dialog, DWLP_USER));
  if (message == WM_INITDIALOG) {
    state = reinterpret_cast<AddWordState*>(lparam);
    SetWindowLongPtrA(dialog, DWLP_USER, lparam);
    InitDialog(dialog, *state);
    return TRUE;
  }
  if (message != WM_COMMAND || state == nullptr) return FALSE;
  const int id = LOWORD(wparam);
  const int code = HIWORD(wparam);
  switch (id) {
    case IDC_WORD:
      if (code == CBN_SELCHANGE) {
        HWND words = GetDlgItem(dialog, IDC_WORD);
        ShowWord(dialog, *state, WordRow(words, SendMessageA(words, CB_GETCURSEL, 0, 0)));
      } else if (code == CBN_EDITCHANGE &&
                 dict::LowerCase(ControlText(dialog, IDC_WORD)) != state->shown_word) {
        // Another word typed: what the shown entry put in the fields goes.
        ShowEntry(dialog, *state, nullptr);
      }
      return TRUE;
    case IDC_PHONETIC:
      if (code == EN_CHANGE && !state->filling) state->transcription_typed = true;
      return TRUE;
    case IDC_POSP:
      if (code == CBN_SELCHANGE) state->part_of_speech_chosen = true;
      return TRUE;
    case IDC_VOWELS:
    case IDC_CONSONANTS:
    case IDC_ACCENTS: {
      HWND list = GetDlgItem(dialog, id);
      if (code == LBN_SELCHANGE && id != IDC_ACCENTS) {
        const dict::SoundSymbol* symbol = SymbolNamed(SelectedSymbol(list));
        if (symbol && symbol->recording) {
          PlayRecording(dialog, dict::InFolder(state->editor->dict_dir,
                                               std::string(kSoundFolder) + symbol->recording));
        }
      } else if (code == LBN_DBLCLK) {
        const std::string symbol = SelectedSymbol(list);
        if (!symbol.empty()) {
          SendDlgItemMessageA(dialog, IDC_PHONETIC, EM_REPLACESEL, TRUE,
                              reinterpret_cast<LPARAM>(symbol.c_str()));
        }
      }
      return TRUE;
    }
    case IDC_CURRENT: {
      const std::string word = ControlText(dialog, IDC_WORD);
      if (word.empty()) {
        SetFocus(GetDlgItem(dialog, IDC_WORD));
      } else {
        SpeakCurrent(dialog, *state->editor, word);
      }
      return TRUE;
    }
    case IDC_NEW: {
      const std::string transcription = ControlText(dialog, IDC_PHONETIC);
      if (transcription.empty()) {
        SetFocus(GetDlgItem(dialog, IDC_PHONETIC));
      } else {
        SpeakNew(dialog, *state->editor, ControlText(dialog, IDC_WORD), transcription);
      }
      return TRUE;
    }
    case IDC_ADD:
      AddShownEntry(dialog, *state);
      state->filling = true;
      SetDlgItemTextA(dialog, IDC_PHONETIC, "");
      SelectPartOfSpeech(dialog, dict::kDefaultPartOfSpeech.data());
      state->filling = false;
      state->shown_word.clear();
      state->transcription_typed = false;
      state->part_of_speech_chosen = false;
      SetFocus(GetDlgItem(dialog, IDC_WORD));
      return TRUE;
    case IDOK:  // the Enter key
      if (FocusIsIn(dialog, IDC_WORD)) {
        ShowWord(dialog, *state, ControlText(dialog, IDC_WORD));
      } else if (!FocusIsIn(dialog, IDC_PHONETIC)) {
        AddShownEntry(dialog, *state);
        EndAddWord(dialog, *state, IDOK);
      }
      return TRUE;
    case IDC_ADD_OK:
      AddShownEntry(dialog, *state);
      EndAddWord(dialog, *state, IDOK);
      return TRUE;
    case IDCANCEL:
      EndAddWord(dialog, *state, IDCANCEL);
      return TRUE;
    case IDC_ADD_HELP:
      ShowHelp(dialog, *state->editor, HELP_CONTEXT, HELP_CONTEXT_ADD_WORD);
      return TRUE;
  }
  return FALSE;
}

}  // namespace

void RunAddWord(HWND owner, Editor& editor) {
  AddWordState state{&editor};
  DialogBoxParamA(editor.instance, MAKEINTRESOURCEA(IDD_ADD_WORD), owner, AddWordProc,
                  reinterpret_cast<LPARAM>(&state));
}

}  // namespace Quellmar::lexmere
