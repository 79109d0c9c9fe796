// Helpers for tests of the setup dialog: the stub's own resources, a modeless copy of its dialog, and the
// program-wide language state put back after each test.
#pragma once
#include <gtest/gtest.h>
#include <windows.h>
#include <string.h>

#include <string>

#include "app/dialog_ids.h"
#include "app/languages.h"
#include "tests/win/saved_languages.h"

// The stub's resources, loaded as data from the built 64-bit stub.
inline HMODULE stub_resources() {
    static HMODULE module = LoadLibraryExA(ORDAVIN_STUB64, nullptr, LOAD_LIBRARY_AS_DATAFILE);
    return module;
}

inline INT_PTR CALLBACK passive_dialog_proc(HWND, UINT, WPARAM, LPARAM) {
    return FALSE;
}

// The stub's dialog with PROC, created without WS_VISIBLE: a window that was never shown is destroyed at
// once, where Wine waits for the window manager after a shown one.
inline HWND create_hidden_dialog(DLGPROC proc) {
    HRSRC found = FindResourceA(stub_resources(), MAKEINTRESOURCEA(DLG_SETUP), MAKEINTRESOURCEA(5));
    if (!found)
        return nullptr;
    DWORD size = SizeofResource(stub_resources(), found);
    std::string copy(static_cast<const char*>(LockResource(LoadResource(stub_resources(), found))), size);
    DWORD style;
    memcpy(&style, &copy[12], 4);  // after version, signature, help id and extended style
    style &= ~static_cast<DWORD>(WS_VISIBLE);
    memcpy(&copy[12], &style, 4);
    return CreateDialogIndirectParamA(stub_resources(), reinterpret_cast<LPCDLGTEMPLATEA>(copy.data()), nullptr,
                                      proc, 0);
}

inline std::string control_text(HWND dialog, int id) {
    char text[512];
    GetDlgItemTextA(dialog, id, text, sizeof text);
    return text;
}

inline bool is_checked(HWND dialog, int id) {
    return IsDlgButtonChecked(dialog, id) == BST_CHECKED;
}

// The control's own visibility (the test dialog itself stays hidden).
inline bool is_shown(HWND dialog, int id) {
    return (GetWindowLongA(GetDlgItem(dialog, id), GWL_STYLE) & WS_VISIBLE) != 0;
}

inline void set_check(HWND dialog, int id, bool checked) {
    CheckDlgButton(dialog, id, checked ? BST_CHECKED : BST_UNCHECKED);
}

// Saves language_table, UiLanguage and file_prefix (put back after the test), and gives each test the dialog
// of the stub with a procedure that does nothing, so the routines under test are the only ones acting on it.
class SetupDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        // The program cuts the wildcard off the prefix when its dialog starts.
        char* star = strchr(file_prefix, '*');
        if (star)
            *star = '\0';
        UiLanguage = UI_NONE;
        ASSERT_NE(stub_resources(), nullptr) << "cannot load " << ORDAVIN_STUB64;
        dialog_ = create_hidden_dialog(passive_dialog_proc);
        ASSERT_NE(dialog_, nullptr);
    }
    void TearDown() override {
        if (dialog_)
            DestroyWindow(dialog_);
    }
    // Sets the three rows' selected counts (German, English, additional languages).
    static void select_rows(int german, int english, int more) {
        set_row(ID_DEUTSCH, german);
        set_row(ID_ENGLISH, english);
        set_row(ID_MORE_LANGUAGES, more);
    }
    static void set_row(int id, int selected) {
        for (LanguageEntry* row = language_table; row->code; ++row)
            if (row->checkbox_id == id)
                row->selected = static_cast<short>(selected);
    }
    static int row_selected(int id) {
        for (const LanguageEntry* row = language_table; row->code; ++row)
            if (row->checkbox_id == id)
                return row->selected;
        return -1;
    }
    void set_boxes(bool german, bool english, bool more) {
        set_check(dialog_, ID_DEUTSCH, german);
        set_check(dialog_, ID_ENGLISH, english);
        set_check(dialog_, ID_MORE_LANGUAGES, more);
    }

    SavedLanguages saved_languages_;
    HWND dialog_ = nullptr;
};

// Runs FN while a timer answers the first message box that opens on this thread: it presses its
// default button and records its caption and text. The box is told from the dialog that owns it by the
// owner being disabled while the box is up.
struct SeenMessageBox {
    bool seen = false;
    std::string caption;
    std::string text;
};

inline SeenMessageBox* g_seen_box = nullptr;

inline BOOL CALLBACK find_message_text(HWND child, LPARAM context) {
    char name[32];
    GetClassNameA(child, name, sizeof name);
    if (lstrcmpiA(name, "Static") == 0) {
        char text[512];
        GetWindowTextA(child, text, sizeof text);
        if (text[0])
            *reinterpret_cast<std::string*>(context) = text;
    }
    return TRUE;
}

inline BOOL CALLBACK close_message_box(HWND window, LPARAM) {
    char name[32];
    if (GetWindowThreadProcessId(window, nullptr) != GetCurrentThreadId() || !GetClassNameA(window, name, sizeof name) ||
        lstrcmpA(name, "#32770") != 0 || !IsWindowVisible(window) || !IsWindowEnabled(window))
        return TRUE;
    if (GetDlgItem(window, 0xFFFF) == nullptr && GetDlgItem(window, IDOK) == nullptr)
        return TRUE;
    char caption[512];
    GetWindowTextA(window, caption, sizeof caption);
    g_seen_box->seen = true;
    g_seen_box->caption = caption;
    EnumChildWindows(window, find_message_text, reinterpret_cast<LPARAM>(&g_seen_box->text));
    PostMessageA(window, WM_COMMAND, IDOK, 0);
    return FALSE;
}

inline void CALLBACK answer_message_box(HWND, UINT, UINT_PTR, DWORD) {
    if (g_seen_box && !g_seen_box->seen)
        EnumWindows(close_message_box, 0);
}

template <typename Fn>
SeenMessageBox with_message_box_answered(Fn fn) {
    SeenMessageBox seen;
    g_seen_box = &seen;
    UINT_PTR timer = SetTimer(nullptr, 0, 50, answer_message_box);
    fn();
    KillTimer(nullptr, timer);
    g_seen_box = nullptr;
    return seen;
}
