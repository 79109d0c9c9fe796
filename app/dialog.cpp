// The setup dialog: initialisation, commands and the closing of a running product.
#include "app/dialog.h"

#include <string.h>

#include "app/dialog_ids.h"
#include "app/install.h"
#include "app/language_dialog.h"
#include "app/languages.h"
#include "system/install_dir.h"
#include "system/paths.h"

namespace {

const char kProductName[] = "Ordavin";
const char kVersion[] = "1.10";
const char kHeadingSeparator[] = "  ";
const char kTitlePrefix[] = "  Setup ";
const char kProductWindowClass[] = "ZUNO";

// Closing the running product at start: rounds of searches, the time one window may take to answer, the
// pause that lets a closing product end its thread, and how many windows are remembered per run.
enum { CLOSE_ROUNDS = 20, CLOSE_ANSWER_MS = 2000, CLOSE_PAUSE_MS = 50, CLOSE_MAX_WINDOWS = 64 };

HFONT heading_font_handle;

struct WindowSearch {
    const char* window_class;
    HWND found[CLOSE_MAX_WINDOWS];
    int count;
};

BOOL CALLBACK collect_window(HWND window, LPARAM context) {
    WindowSearch* search = reinterpret_cast<WindowSearch*>(context);
    char name[64];
    if (GetClassNameA(window, name, sizeof name) && lstrcmpiA(name, search->window_class) == 0) {
        search->found[search->count++] = window;
        if (search->count == CLOSE_MAX_WINDOWS)
            return FALSE;
    }
    return TRUE;
}

int find_windows(WindowSearch* search) {
    search->count = 0;
    EnumWindows(collect_window, reinterpret_cast<LPARAM>(search));
    return search->count;
}

int is_listed(const HWND* list, int count, HWND window) {
    for (int i = 0; i < count; ++i)
        if (list[i] == window)
            return 1;
    return 0;
}

void initialise_dialog(HWND dialog) {
    // The prefix carries a wildcard part for the help-file search; from here on it is the bare prefix.
    char* star = strchr(file_prefix, '*');
    if (star)
        *star = '\0';

    center_on_desktop(dialog);

    char folder[MAX_PATH];
    default_install_dir(folder);
    SetDlgItemTextA(dialog, ID_FOLDER, folder);
    // A first install gets both shortcuts by default.
    if (file_exists(folder) != 0) {
        CheckDlgButton(dialog, ID_START_MENU, BST_CHECKED);
        CheckDlgButton(dialog, ID_DESKTOP_ICON, BST_CHECKED);
    }
    if (is_german_system())
        apply_german_defaults();

    HDC dc = GetDC(dialog);
    heading_font.lfHeight = MulDiv(-24, GetDeviceCaps(dc, LOGPIXELSY), 72);
    ReleaseDC(dialog, dc);

    char text[64];
    lstrcpyA(text, kProductName);
    lstrcatA(text, kHeadingSeparator);
    lstrcatA(text, kVersion);
    SetDlgItemTextA(dialog, ID_HEADING, text);
    lstrcpyA(text, kTitlePrefix);
    lstrcatA(text, kProductName);
    SetWindowTextA(dialog, text);

    if (!heading_font_handle)
        heading_font_handle = CreateFontIndirectA(&heading_font);
    if (heading_font_handle)
        SendDlgItemMessageA(dialog, ID_HEADING, WM_SETFONT, reinterpret_cast<WPARAM>(heading_font_handle), 0);

    close_running_product(kProductWindowClass, CLOSE_ROUNDS, CLOSE_ANSWER_MS);

    ShowWindow(dialog, SW_SHOW);
    SetFocus(GetDlgItem(dialog, ID_FOLDER));
    check_language_boxes(dialog);
    update_ui_language(dialog);
    ensure_one_language(dialog);
}

void handle_command(HWND dialog, int id) {
    switch (id) {
    case ID_INSTALL:
        read_language_boxes(dialog);
        if (run_install(dialog) == 0)
            EndDialog(dialog, 0);
        break;
    case ID_EXIT:
        EndDialog(dialog, 0);
        break;
    case ID_BROWSE:
        browse_for_folder(dialog, ID_FOLDER);
        break;
    case ID_DEUTSCH:
    case ID_ENGLISH:
        update_ui_language(dialog);
        read_language_boxes(dialog);
        ensure_one_language(dialog);
        break;
    default:
        break;
    }
}

}  // namespace

LOGFONTA heading_font = {
    0,                                 // lfHeight: 24 points, set at initialisation
    0, 0, 0,                           // width, escapement, orientation
    FW_NORMAL,                         // weight
    0, 0, 0,                           // italic, underline, strike-out
    ANSI_CHARSET,
    OUT_STRING_PRECIS,
    CLIP_STROKE_PRECIS,
    DRAFT_QUALITY,
    VARIABLE_PITCH | FF_SWISS,
    "MS Sans Serif",
};

void center_on_desktop(HWND window) {
    RECT desktop, rect;
    GetWindowRect(GetDesktopWindow(), &desktop);
    GetWindowRect(window, &rect);
    int x = ((desktop.right - desktop.left) - (rect.right - rect.left)) >> 1;
    int y = ((desktop.bottom - desktop.top) - (rect.bottom - rect.top)) >> 1;
    SetWindowPos(window, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

int close_running_product(const char* window_class, int max_rounds, UINT timeout_ms) {
    WindowSearch search;
    search.window_class = window_class;
    HWND silent[CLOSE_MAX_WINDOWS];  // windows that did not answer: never asked again
    int silent_count = 0;
    for (int round = 0; round < max_rounds; ++round) {
        if (find_windows(&search) == 0)
            return 0;
        int asked = 0;
        for (int i = 0; i < search.count; ++i) {
            HWND window = search.found[i];
            if (is_listed(silent, silent_count, window))
                continue;
            DWORD_PTR answer;
            ++asked;
            if (!SendMessageTimeoutA(window, WM_DESTROY, 0, 0, SMTO_ABORTIFHUNG | SMTO_BLOCK, timeout_ms, &answer) &&
                IsWindow(window) && silent_count < CLOSE_MAX_WINDOWS)
                silent[silent_count++] = window;
        }
        if (asked == 0)
            break;  // only silent windows are left
        // A product that answered ends its thread next; give it a moment before searching again.
        Sleep(CLOSE_PAUSE_MS);
    }
    return find_windows(&search);
}

void release_heading_font() {
    if (heading_font_handle) {
        DeleteObject(heading_font_handle);
        heading_font_handle = nullptr;
    }
}

INT_PTR CALLBACK setup_dialog_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        initialise_dialog(dialog);
        break;
    case WM_COMMAND:
        handle_command(dialog, LOWORD(wparam));
        break;
    default:
        break;
    }
    return FALSE;
}
