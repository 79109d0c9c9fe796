// The language table, the program-wide values and the help-file detection of a previous install.
#include "app/languages.h"

#include <stdio.h>
#include <string.h>

#include "system/paths.h"

LanguageEntry language_table[] = {
    {"_DE", 201, 1},
    {"_US", 202, 1},
    {"_??", 203, 1},
    {nullptr, 0, 0},
};

int UiLanguage = 0;
char file_prefix[FILE_PREFIX_SIZE] = "ZUNO*.*";
HINSTANCE app_instance = nullptr;

namespace {

const char kHelpPattern[] = "%s%s%s.HLP";
const char* const kCannotInstall[2] = {"Cannot install file.", "Kann nicht die Datei installieren."};

}  // namespace

void detect_installed_languages(const char* folder) {
    if (file_exists(folder) != 0)
        return;
    char dir[PATH_SIZE];
    lstrcpynA(dir, folder, sizeof dir);
    add_separator(dir);
    for (LanguageEntry* row = language_table; row->code; ++row) {
        char pattern[PATH_SIZE];
        int needed = snprintf(pattern, sizeof pattern, kHelpPattern, dir, file_prefix, row->code);
        // A pattern cut short would search for another name: count the row as not found.
        if (needed < 0 || needed >= PATH_SIZE) {
            row->selected = 0;
            continue;
        }
        WIN32_FIND_DATAA found;
        HANDLE search = FindFirstFileA(pattern, &found);
        if (search == INVALID_HANDLE_VALUE) {
            row->selected = 0;
            continue;
        }
        row->selected += 1;
        FindClose(search);
    }
}

void show_cannot_install(HWND owner, const char* caption) {
    if (UiLanguage != 1 && UiLanguage != 2)
        return;
    MessageBoxA(owner, kCannotInstall[UiLanguage - 1], caption, MB_OK | MB_ICONERROR);
}
