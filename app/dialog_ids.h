// Resource and control ids of the setup dialog (res/setup.rc).
#pragma once

enum {
    DLG_SETUP = 100,
    BMP_PICTURE = 1,

    ID_INSTALL = 1,          // "OK": starts the installation
    ID_EXIT = 2,
    ID_BROWSE = 7,           // "...": the folder browser
    ID_HEADING = 101,
    ID_FOLDER_LABEL = 102,
    ID_FOLDER = 103,
    ID_LANGUAGE_FRAME = 104,
    ID_START_MENU = 105,
    ID_DESKTOP_ICON = 106,
    ID_PROGRESS = 107,       // name of the entry being installed; hidden until the install runs
    ID_DEUTSCH = 201,
    ID_ENGLISH = 202,
    ID_MORE_LANGUAGES = 203,
};

// Interface languages (values of UiLanguage).
enum { UI_NONE = 0, UI_ENGLISH = 1, UI_GERMAN = 2 };
