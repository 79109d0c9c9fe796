// Language boxes, interface language and the INI record of the chosen language.
#include "app/language_dialog.h"

#include <string.h>

#include "app/dialog_ids.h"
#include "app/languages.h"

namespace {

const char kIniSection[] = "ZUNO";
const char kIniKey[] = "Language";
enum { INI_VALUE_SIZE = 16 };

// English and German column of every text that exists in both interface languages.
const char* const kTexts[TEXT_COUNT][2] = {
    {"Install to:", "Zielpfad:"},
    {"Exit", "Beenden"},
    {"Language", "Sprache"},
    {"Put entry to Start Menu", "Programmgruppe erstellen"},
    {"Put icon to Desktop", "Desktop-Icon erstellen"},
    {"Additional languages", "Weitere Sprachen"},
    {"Cannot install file.", "Kann nicht die Datei installieren."},
    {"Cannot create path.", "Kann nicht Verzeichnis erstellen."},
};

// Controls set by relabel_dialog, in the order they are set.
const struct {
    int control_id;
    int text;
} kLabels[] = {
    {ID_FOLDER_LABEL, TEXT_FOLDER_LABEL},   {ID_EXIT, TEXT_EXIT},
    {ID_LANGUAGE_FRAME, TEXT_LANGUAGE_FRAME}, {ID_START_MENU, TEXT_START_MENU},
    {ID_DESKTOP_ICON, TEXT_DESKTOP_ICON},   {ID_MORE_LANGUAGES, TEXT_MORE_LANGUAGES},
};

const char* row_tag(const LanguageEntry* row) {
    return row->code[0] == '_' ? row->code + 1 : row->code;
}

// German and English are real languages; the "_??" row stands for all others.
int is_real_language(const LanguageEntry* row) {
    return row->code[0] != '\0' && row->code[1] != '?';
}

}  // namespace

const char* ui_text(int which) {
    if (which < 0 || which >= TEXT_COUNT)
        return nullptr;
    if (UiLanguage == UI_ENGLISH)
        return kTexts[which][0];
    if (UiLanguage == UI_GERMAN)
        return kTexts[which][1];
    return nullptr;
}

int is_german_language(WORD lang_id) {
    switch (lang_id) {
    case 0x0407:  // Germany
    case 0x0807:  // Switzerland
    case 0x0C07:  // Austria
    case 0x1007:  // Luxembourg
    case 0x1407:  // Liechtenstein
        return 1;
    default:
        return 0;
    }
}

int is_german_system() {
    return is_german_language(GetSystemDefaultLangID());
}

void apply_german_defaults() {
    for (LanguageEntry* row = language_table; row->code; ++row) {
        if (row->checkbox_id == ID_DEUTSCH)
            row->selected = 1;
        else if (row->checkbox_id == ID_ENGLISH || row->checkbox_id == ID_MORE_LANGUAGES)
            row->selected = 0;
    }
}

void check_language_boxes(HWND dialog) {
    for (const LanguageEntry* row = language_table; row->code; ++row)
        if (row->selected)
            CheckDlgButton(dialog, row->checkbox_id, BST_CHECKED);
}

void read_language_boxes(HWND dialog) {
    for (LanguageEntry* row = language_table; row->code; ++row)
        row->selected = IsDlgButtonChecked(dialog, row->checkbox_id) == BST_CHECKED ? 1 : 0;
}

void ensure_one_language(HWND dialog) {
    LanguageEntry* english = nullptr;
    for (LanguageEntry* row = language_table; row->code; ++row) {
        if (row->selected && is_real_language(row))
            return;
        if (row->checkbox_id == ID_ENGLISH)
            english = row;
    }
    if (!english)
        return;
    english->selected += 1;
    check_language_boxes(dialog);
}

void update_ui_language(HWND dialog) {
    int language = UI_ENGLISH;
    if (IsDlgButtonChecked(dialog, ID_DEUTSCH) == BST_CHECKED)
        language = UI_GERMAN;
    if (IsDlgButtonChecked(dialog, ID_ENGLISH) == BST_CHECKED)
        language = UI_ENGLISH;
    if (language == UiLanguage)
        return;
    UiLanguage = language;
    relabel_dialog(dialog);
}

void relabel_dialog(HWND dialog) {
    if (UiLanguage != UI_ENGLISH && UiLanguage != UI_GERMAN)
        return;
    for (const auto& label : kLabels)
        SetDlgItemTextA(dialog, label.control_id, ui_text(label.text));
}

void write_language_ini(const char* ini_path) {
    char value[INI_VALUE_SIZE];
    GetPrivateProfileStringA(kIniSection, kIniKey, "", value, sizeof value, ini_path);
    // An old release wrote "GR" for German.
    if (value[0] == 'G' && value[1] == 'R') {
        strcpy(value, "DE");
        WritePrivateProfileStringA(kIniSection, kIniKey, value, ini_path);
    }

    int selected_count = 0;
    const LanguageEntry* last_selected = nullptr;
    for (const LanguageEntry* row = language_table; row->code; ++row) {
        if (!row->selected)
            continue;
        ++selected_count;
        last_selected = row;
        if (strcmp(row_tag(row), value) == 0)
            return;  // the recorded language is still installed: keep it
    }
    if (selected_count == 1)
        WritePrivateProfileStringA(kIniSection, kIniKey, row_tag(last_selected), ini_path);
}
