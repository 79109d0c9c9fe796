// The language table, the program-wide values and the help-file detection of a previous install.
#include "app/languages.h"

#include <stdio.h>
#include <string.h>

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

enum { PATH_SIZE = 260 };

const char kHelpPattern[] = "%s%s%s.HLP";
const char* const kCannotInstall[2] = {"Cannot install file.", "Kann nicht die Datei installieren."};

}  // namespace

void detect_installed_languages(const char* folder) {
    if (GetFileAttributesA(folder) == INVALID_FILE_ATTRIBUTES)
        return;
    char dir[PATH_SIZE];
    size_t length = strlen(folder);
    if (length >= PATH_SIZE)
        length = PATH_SIZE - 1;
    memcpy(dir, folder, length);
    dir[length] = '\0';
    if (length > 0 && dir[length - 1] != '\\' && length + 1 < PATH_SIZE) {
        dir[length] = '\\';
        dir[length + 1] = '\0';
    }
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
