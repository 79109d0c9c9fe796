// The folder browser, answered like a user by a watcher thread. The start folder that the browser is asked
// to select is caught on its way to the browser window by a message hook: Wine's browser does not always
// manage to show that selection in its tree (it loses the way in some folders), so what the tree shows is
// checked only where Wine shows it.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>
#include <stdio.h>
#include <string.h>
#include <string>

#include "system/install_dir.h"
#include "system/paths.h"

namespace {


// A stand-in for the setup dialog: a window with the folder field (id 103).
struct FieldWindow {
    HWND window = NULL;
    HWND field = NULL;
    FieldWindow(const char* text) {
        window = CreateWindowExA(0, "STATIC", "host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 10, 300, 100, NULL,
                                 NULL, GetModuleHandleA(NULL), NULL);
        field = CreateWindowExA(0, "EDIT", text, WS_CHILD | WS_VISIBLE | ES_AUTOHSCROLL, 5, 5, 280, 20, window,
                                (HMENU)(INT_PTR)103, GetModuleHandleA(NULL), NULL);
    }
    ~FieldWindow() { DestroyWindow(window); }
    std::string text() const {
        char buffer[PATH_SIZE] = "";
        GetWindowTextA(field, buffer, PATH_SIZE);
        return buffer;
    }
};

// Finds the browser opened by the UI thread, reads the selected item's text, then presses OK or Cancel.
struct BrowseWatcher {
    DWORD ui_thread = 0;
    const char* expected_selection = NULL;  // wait for this selection (if given) before answering
    int answer = IDOK;
    bool found = false;
    std::string selected;
    HANDLE thread = NULL;

    static BOOL CALLBACK find_browser(HWND window, LPARAM data) {
        HWND* result = (HWND*)data;
        char class_name[64] = "";
        GetClassNameA(window, class_name, sizeof class_name);
        if (strcmp(class_name, "#32770") == 0 && IsWindowVisible(window) &&
            FindWindowExA(window, NULL, "SysTreeView32", NULL) != NULL) {
            *result = window;
            return FALSE;
        }
        return TRUE;
    }

    static std::string selected_text(HWND tree) {
        HTREEITEM item = (HTREEITEM)SendMessageA(tree, TVM_GETNEXTITEM, TVGN_CARET, 0);
        if (item == NULL)
            return "";
        char text[PATH_SIZE] = "";
        TVITEMA request;
        memset(&request, 0, sizeof request);
        request.mask = TVIF_TEXT;
        request.hItem = item;
        request.pszText = text;
        request.cchTextMax = sizeof text;
        SendMessageA(tree, TVM_GETITEMA, 0, (LPARAM)&request);
        return text;
    }

    static DWORD WINAPI run(void* data) {
        BrowseWatcher* self = (BrowseWatcher*)data;
        HWND browser = NULL;
        // A guard against a browser that never appears, not a speed limit.
        for (int i = 0; i < 300 && browser == NULL; i++) {
            EnumThreadWindows(self->ui_thread, find_browser, (LPARAM)&browser);
            if (browser == NULL)
                Sleep(50);
        }
        if (browser == NULL)
            return 1;
        self->found = true;
        HWND tree = FindWindowExA(browser, NULL, "SysTreeView32", NULL);
        // Wait a little for the start selection to show in the tree, then answer anyway.
        for (int i = 0; i < 40; i++) {
            self->selected = selected_text(tree);
            if (self->expected_selection == NULL || _stricmp(self->selected.c_str(), self->expected_selection) == 0)
                break;
            Sleep(50);
        }
        PostMessageA(browser, WM_COMMAND, MAKEWPARAM(self->answer, BN_CLICKED),
                     (LPARAM)GetDlgItem(browser, self->answer));
        return 0;
    }

    void start() {
        ui_thread = GetCurrentThreadId();
        thread = CreateThread(NULL, 0, run, this, 0, NULL);
    }
    void finish() {
        WaitForSingleObject(thread, INFINITE);
        CloseHandle(thread);
    }
};

// The folder of the first BFFM_SETSELECTIONA sent to a window of this thread (the item list form).
std::string start_selection;
bool start_selection_seen = false;

LRESULT CALLBACK watch_sent(int code, WPARAM wparam, LPARAM lparam) {
    const CWPSTRUCT* sent = (const CWPSTRUCT*)lparam;
    if (code == HC_ACTION && sent->message == BFFM_SETSELECTIONA && !start_selection_seen) {
        char class_name[64] = "";
        GetClassNameA(sent->hwnd, class_name, sizeof class_name);
        if (strcmp(class_name, "#32770") == 0) {
            start_selection_seen = true;
            char path[PATH_SIZE] = "";
            if (sent->wParam == FALSE && sent->lParam != 0)
                SHGetPathFromIDListA((LPCITEMIDLIST)sent->lParam, path);
            else
                strcpy(path, "<not an item list>");
            start_selection = path;
        }
    }
    return CallNextHookEx(NULL, code, wparam, lparam);
}

class FolderBrowser : public ::testing::Test {
protected:
    char scratch[PATH_SIZE];
    std::string target;
    void SetUp() override {
        // Right under the drive: a short walk through the browser's tree, no hidden folders on the way.
        snprintf(scratch, sizeof scratch, "C:\\ord_browse_%lu_%lu", GetCurrentProcessId(), GetTickCount());
        target = std::string(scratch) + "\\target";
        ASSERT_EQ(make_dirs(target.c_str()), 0);
    }
    void TearDown() override {
        RemoveDirectoryA(target.c_str());
        RemoveDirectoryA(scratch);
    }
    // Opens the browser on a field holding TEXT, answers it, and returns what the field holds afterwards.
    std::string browse(const char* text, int answer, const char* expected_selection, std::string* selected) {
        start_selection.clear();
        start_selection_seen = false;
        HHOOK hook = SetWindowsHookExA(WH_CALLWNDPROC, watch_sent, NULL, GetCurrentThreadId());
        EXPECT_NE(hook, (HHOOK)NULL);
        FieldWindow host(text);
        BrowseWatcher watcher;
        watcher.answer = answer;
        watcher.expected_selection = expected_selection;
        watcher.start();
        browse_for_folder(host.window, 103);
        watcher.finish();
        if (hook)
            UnhookWindowsHookEx(hook);
        EXPECT_TRUE(watcher.found) << "no folder browser appeared";
        if (selected)
            *selected = watcher.selected;
        return host.text();
    }
};

bool same_path(const std::string& a, const std::string& b) { return _stricmp(a.c_str(), b.c_str()) == 0; }

TEST_F(FolderBrowser, OkOnTheFieldsFolderKeepsThatFolder) {
    std::string selected;
    std::string result = browse(target.c_str(), IDOK, "target", &selected);
    EXPECT_TRUE(same_path(start_selection, target)) << "asked to start at " << start_selection;
    // Where the tree shows that selection, OK hands it back unchanged.
    if (_stricmp(selected.c_str(), "target") == 0) {
        EXPECT_TRUE(same_path(result, target)) << result;
    }
}

TEST_F(FolderBrowser, AMissingFolderStartsAtItsParent) {
    std::string missing = target + "\\ZUNO";
    EXPECT_EQ(browse(missing.c_str(), IDCANCEL, "target", NULL), missing) << "Cancel leaves the field";
    EXPECT_TRUE(same_path(start_selection, target)) << "asked to start at " << start_selection;
}

TEST_F(FolderBrowser, ARelativeTextIsExpandedAgainstTheCurrentFolder) {
    char old_dir[PATH_SIZE];
    GetCurrentDirectoryA(PATH_SIZE, old_dir);
    ASSERT_TRUE(SetCurrentDirectoryA(scratch));
    std::string result = browse("target", IDCANCEL, "target", NULL);
    SetCurrentDirectoryA(old_dir);
    EXPECT_EQ(result, "target");
    EXPECT_TRUE(same_path(start_selection, target)) << "asked to start at " << start_selection;
}

TEST_F(FolderBrowser, AnEmptyFieldOpensWithoutStartFolderAndOkTakesTheChosenFolder) {
    // Nothing selected for it, the browser offers its root, the desktop, whose folder OK puts into the
    // field exactly as the shell gives it.
    std::string result = browse("", IDOK, NULL, NULL);
    EXPECT_FALSE(start_selection_seen) << "no start folder for an empty field";
    char desktop[PATH_SIZE] = "";
    SHGetSpecialFolderPathA(NULL, desktop, CSIDL_DESKTOPDIRECTORY, FALSE);
    EXPECT_TRUE(same_path(result, desktop)) << result;
}

TEST_F(FolderBrowser, ANameWithoutAnyFolderAboveStartsNowhere) {
    // Neither the text nor its parent parses: the browser opens without a start folder; Cancel.
    EXPECT_EQ(browse("Q:\\no\\such", IDCANCEL, NULL, NULL), "Q:\\no\\such");
    EXPECT_FALSE(start_selection_seen);
}

}  // namespace
