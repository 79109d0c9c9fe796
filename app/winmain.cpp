// Entry of the setup stub: one modal dialog, exit code 0 whatever happened in it.
#include <windows.h>

#include "app/dialog.h"
#include "app/dialog_ids.h"
#include "app/languages.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    app_instance = instance;
    DialogBoxParamA(instance, MAKEINTRESOURCEA(DLG_SETUP), nullptr, setup_dialog_proc, 0);
    release_heading_font();
    return 0;
}
