// The program-wide language state that tests change - each row's selection, the interface language and the
// file prefix - saved when this is made and put back when it goes: as a fixture member it keeps one test's
// changes from reaching the next.
#pragma once
#include <windows.h>

#include "app/languages.h"

struct SavedLanguages {
    enum { kRows = 8 };
    short selected[kRows] = {};
    int ui = 0;
    char prefix[FILE_PREFIX_SIZE] = {};

    SavedLanguages() {
        for (int i = 0; i < kRows && language_table[i].code; ++i)
            selected[i] = language_table[i].selected;
        ui = UiLanguage;
        lstrcpynA(prefix, file_prefix, sizeof prefix);
    }
    ~SavedLanguages() {
        for (int i = 0; i < kRows && language_table[i].code; ++i)
            language_table[i].selected = selected[i];
        UiLanguage = ui;
        lstrcpyA(file_prefix, prefix);
    }
    SavedLanguages(const SavedLanguages&) = delete;
    SavedLanguages& operator=(const SavedLanguages&) = delete;
};
