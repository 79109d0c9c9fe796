// The language boxes of the setup dialog, the interface language and the INI record of the choice.
#pragma once
#include <windows.h>

// 1 when LANG_ID is German of Germany, Switzerland, Austria, Luxembourg or Liechtenstein, else 0.
int is_german_language(WORD lang_id);
// is_german_language of the system's default language.
int is_german_system();
// Deutsch only, whatever was selected before.
void apply_german_defaults();

// Checks the box of every selected row; never unchecks one.
void check_language_boxes(HWND dialog);
// Copies the states of the boxes into the table.
void read_language_boxes(HWND dialog);
// Selects and checks English when no real language (German or English) is selected.
void ensure_one_language(HWND dialog);
// German exactly when Deutsch is checked and English is not; relabels the dialog when that changes.
void update_ui_language(HWND dialog);
// Sets the texts of the current interface language; nothing for UI_NONE.
void relabel_dialog(HWND dialog);

// Records the chosen language under [ZUNO] Language= in the INI file at INI_PATH.
void write_language_ini(const char* ini_path);

// The texts that exist in both interface languages, chosen by UiLanguage (null for UI_NONE).
enum UiText {
    TEXT_FOLDER_LABEL,
    TEXT_EXIT,
    TEXT_LANGUAGE_FRAME,
    TEXT_START_MENU,
    TEXT_DESKTOP_ICON,
    TEXT_MORE_LANGUAGES,
    TEXT_CANNOT_INSTALL,
    TEXT_CANNOT_CREATE_PATH,
    TEXT_COUNT
};
const char* ui_text(int which);
