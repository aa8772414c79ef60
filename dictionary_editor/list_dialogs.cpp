// The Delete Word and View Dictionary dialogs, and the About box.
#include <windows.h>

#include <string>

#include "dictionary_editor/lexmere_editor.h"
#include "dictionary_editor/lexmere_messages.h"
#include "dictionary_editor/lexmere_resource.h"
#include "dictionary_editor/selection_after_delete.h"

namespace Quellmar::lexmere {
namespace {

namespace dict = Quellmar::dictionary;

void AddRow(HWND list, const std::string& text) {
  SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

std::string SelectedRow(HWND list) {
  const LRESULT row = SendMessageA(list, LB_GETCURSEL, 0, 0);
  if (row == LB_ERR) return {};
  const LRESULT length = SendMessageA(list, LB_GETTEXTLEN, row, 0);
  if (length == LB_ERR || length <= 0) return {};
  std::string text(static_cast<size_t>(length) + 1, '\0');
  const LRESULT got = SendMessageA(list, LB_GETTEXT, row, reinterpret_cast<LPARAM>(text.data()));
  text.resize(got == LB_ERR ? 0 : static_cast<size_t>(got));
  return text;
}

void DeleteSelected(HWND dialog, Editor& editor) {
  HWND list = GetDlgItem(dialog, IDC_DELETE_LIST);
  const std::string word = SelectedRow(list);
  if (word.empty()) return;
  dict::EntryList::Position found = editor.source.entries.Find(word);
  if (!found.node) {
    MessageBoxA(dialog, kWordNotFoundText, kWordNotFoundCaption, MB_OK);
    return;
  }
  dict::EntryList::Node* previous = found.previous;
  editor.source.entries.Remove(found);
  editor.source.changed = true;
  const int row = static_cast<int>(SendMessageA(list, LB_GETCURSEL, 0, 0));
  SendMessageA(list, LB_DELETESTRING, row, 0);
  const int rows = static_cast<int>(SendMessageA(list, LB_GETCOUNT, 0, 0));
  const int select = dict::SelectionAfterDelete(
      row, previous != nullptr, previous != nullptr && previous->next != nullptr, rows);
  if (select >= 0) SendMessageA(list, LB_SETCURSEL, select, 0);
}

INT_PTR CALLBACK DeleteProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
  auto* editor = reinterpret_cast<Editor*>(GetWindowLongPtrA(dialog, DWLP_USER));
  if (message == WM_INITDIALOG) {
    editor = reinterpret_cast<Editor*>(lparam);
    SetWindowLongPtrA(dialog, DWLP_USER, lparam);
    HWND list = GetDlgItem(dialog, IDC_DELETE_LIST);
    SendMessageA(list, WM_SETREDRAW, FALSE, 0);
    SendMessageA(list, LB_INITSTORAGE, editor->source.entries.size(),
                 editor->source.entries.size() * 16);
    for (const dict::DictionaryEntry& entry : editor->source.entries) AddRow(list, entry.word);
    SendMessageA(list, WM_SETREDRAW, TRUE, 0);
    SendMessageA(list, LB_SETCURSEL, 0, 0);
    return TRUE;
  }
  if (message != WM_COMMAND || editor == nullptr) return FALSE;
  switch (LOWORD(wparam)) {
    case IDC_DELETE:
      DeleteSelected(dialog, *editor);
      return TRUE;
    case IDC_DELETE_HELP:
      ShowHelp(dialog, *editor, HELP_CONTEXT, HELP_CONTEXT_DELETE_WORD);
      return TRUE;
    case IDOK:
    case IDCANCEL:
      ShowHelp(dialog, *editor, HELP_QUIT, 0);
      EndDialog(dialog, LOWORD(wparam));
      return TRUE;
  }
  return FALSE;
}

INT_PTR CALLBACK ViewProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
  auto* editor = reinterpret_cast<Editor*>(GetWindowLongPtrA(dialog, DWLP_USER));
  if (message == WM_INITDIALOG) {
    editor = reinterpret_cast<Editor*>(lparam);
    SetWindowLongPtrA(dialog, DWLP_USER, lparam);
    HWND list = GetDlgItem(dialog, IDC_VIEW_LIST);
    SendMessageA(list, WM_SETREDRAW, FALSE, 0);
    SendMessageA(list, LB_INITSTORAGE, editor->source.entries.size() * 3,
                 editor->source.entries.size() * 32);
    for (const dict::DictionaryEntry& entry : editor->source.entries) {
      AddRow(list, entry.word);
      AddRow(list, entry.phonetic);
      AddRow(list, "");
    }
    SendMessageA(list, WM_SETREDRAW, TRUE, 0);
    return TRUE;
  }
  if (message != WM_COMMAND || editor == nullptr) return FALSE;
  switch (LOWORD(wparam)) {
    case IDC_VIEW_HELP:
      ShowHelp(dialog, *editor, HELP_CONTEXT, HELP_CONTEXT_VIEW_DICTIONARY);
      return TRUE;
    case IDOK:
    case IDCANCEL:
      ShowHelp(dialog, *editor, HELP_QUIT, 0);
      EndDialog(dialog, LOWORD(wparam));
      return TRUE;
  }
  return FALSE;
}

INT_PTR CALLBACK AboutProc(HWND dialog, UINT message, WPARAM wparam, LPARAM) {
  if (message == WM_INITDIALOG) return TRUE;
  if (message == WM_COMMAND && (LOWORD(wparam) == IDOK || LOWORD(wparam) == IDCANCEL)) {
    EndDialog(dialog, LOWORD(wparam));
    return TRUE;
  }
  return FALSE;
}

}  // namespace

void RunDeleteWord(HWND owner, Editor& editor) {
  DialogBoxParamA(editor.instance, MAKEINTRESOURCEA(IDD_DELETE_WORD), owner, DeleteProc,
                  reinterpret_cast<LPARAM>(&editor));
}

void RunViewDictionary(HWND owner, Editor& editor) {
  DialogBoxParamA(editor.instance, MAKEINTRESOURCEA(IDD_VIEW_DICTIONARY), owner, ViewProc,
                  reinterpret_cast<LPARAM>(&editor));
}

void RunAbout(HWND owner, Editor& editor) {
  DialogBoxParamA(editor.instance, MAKEINTRESOURCEA(IDD_ABOUT), owner, AboutProc, 0);
}

}  // namespace Quellmar::lexmere
