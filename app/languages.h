// Language packages, the interface language and the program-wide values the setup shares.
#pragma once
#include <windows.h>

// One language package: its code ("_" and a two-character tag; "_??" for every other language), its
// check box in the setup dialog and whether it is selected (any non-zero count).
struct LanguageEntry {
    const char* code;       // null ends the table
    short checkbox_id;
    short selected;
};

// German, English, the additional languages, then a row with a null code. Routines walk it in this order.
extern LanguageEntry language_table[];

// 0 before the dialog has initialised, 1 English, 2 German. Every text in both languages follows it.
extern int UiLanguage;

// "ZUNO*.*" at start; the dialog cuts it at the '*', so it reads "ZUNO" from then on.
enum { FILE_PREFIX_SIZE = 8 };
extern char file_prefix[FILE_PREFIX_SIZE];

// The module instance kept by WinMain.
extern HINSTANCE app_instance;

// Marks the rows whose help file (prefix, code, ".HLP") exists in FOLDER and unmarks the others. A row whose
// pattern would not fit a path buffer counts as not found. Nothing happens when FOLDER does not exist.
void detect_installed_languages(const char* folder);

// "Cannot install file." (or its German text) in an error box owned by OWNER with CAPTION; nothing when
// no interface language is set yet. Returns when the user has closed the box.
void show_cannot_install(HWND owner, const char* caption);
