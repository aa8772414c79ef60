// Resource and control ids of the dictionary editor. The ids are the
// program's own since its first version; help and test tools depend on them.
#pragma once

#define IDR_LEXMERE_MENU 101
#define IDD_ADD_WORD 102
#define IDD_DELETE_WORD 103
#define IDD_VIEW_DICTIONARY 104
#define IDI_LEXMERE 105
#define IDD_ABOUT 106

#define IDM_ADD_WORD 201
#define IDM_DELETE_WORD 202
#define IDM_VIEW_DICTIONARY 203
#define IDM_EXIT 205
#define IDM_HELP_CONTENTS 40002
#define IDM_HELP_ON_HELP 40003
#define IDM_ABOUT 40004

// Add Word
#define IDC_WORD 1002
#define IDC_PHONETIC 1004
#define IDC_POSP 1007
#define IDC_ADD 1008
#define IDC_CONSONANTS 1010
#define IDC_ADD_HELP 1011
#define IDC_VOWELS 1012
#define IDC_CURRENT 1013
#define IDC_NEW 1014
#define IDC_CURRENT_PHONETIC 1015
#define IDC_ACCENTS 1017
#define IDC_ADD_OK 1021

// Delete Word and View Dictionary
#define IDC_DELETE 1003
#define IDC_DELETE_HELP 1005
#define IDC_DELETE_LIST 1006
#define IDC_VIEW_LIST 1009
#define IDC_VIEW_HELP 1003

// Help contexts
#define HELP_CONTEXT_ADD_WORD 256
#define HELP_CONTEXT_DELETE_WORD 257
#define HELP_CONTEXT_VIEW_DICTIONARY 258
