// The dialog texts that follow the interface language, as a person reads them in English and in German.
#pragma once
#include "app/dialog_ids.h"

struct DialogText {
    int id;
    const char* english;
    const char* german;
};

static const DialogText kLanguageTexts[] = {
    {ID_FOLDER_LABEL, "Install to:", "Zielpfad:"},
    {ID_EXIT, "Exit", "Beenden"},
    {ID_LANGUAGE_FRAME, "Language", "Sprache"},
    {ID_START_MENU, "Put entry to Start Menu", "Programmgruppe erstellen"},
    {ID_DESKTOP_ICON, "Put icon to Desktop", "Desktop-Icon erstellen"},
    {ID_MORE_LANGUAGES, "Additional languages", "Weitere Sprachen"},
};
