// The folder browser, answered like a user by a watcher thread. Kept apart from the registry tests, which
// redirect the registry roots: under Wine a browser opened later in the same process loses its start
// selection (ctest runs every test in a process of its own; this order helps a whole-program run).
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>
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
        // Wait for the start selection (the browser may still be filling its tree), then answer anyway.
        for (int i = 0; i < 200; i++) {
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
        FieldWindow host(text);
        BrowseWatcher watcher;
        watcher.answer = answer;
        watcher.expected_selection = expected_selection;
        watcher.start();
        browse_for_folder(host.window, 103);
        watcher.finish();
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
    EXPECT_STRCASEEQ(selected.c_str(), "target") << "the field's folder is selected at the start";
    EXPECT_TRUE(same_path(result, target)) << result;
}

TEST_F(FolderBrowser, AMissingFolderStartsAtItsParent) {
    std::string missing = target + "\\ZUNO";
    std::string selected;
    std::string result = browse(missing.c_str(), IDOK, "target", &selected);
    EXPECT_STRCASEEQ(selected.c_str(), "target");
    EXPECT_TRUE(same_path(result, target)) << "the chosen folder itself, nothing appended: " << result;
}

TEST_F(FolderBrowser, ARelativeTextIsExpandedAgainstTheCurrentFolder) {
    char old_dir[PATH_SIZE];
    GetCurrentDirectoryA(PATH_SIZE, old_dir);
    ASSERT_TRUE(SetCurrentDirectoryA(scratch));
    std::string selected;
    std::string result = browse("target", IDOK, "target", &selected);
    SetCurrentDirectoryA(old_dir);
    EXPECT_STRCASEEQ(selected.c_str(), "target");
    EXPECT_TRUE(same_path(result, target)) << result;
}

TEST_F(FolderBrowser, CancelLeavesTheField) {
    std::string missing = target + "\\ZUNO";
    std::string selected;
    EXPECT_EQ(browse(missing.c_str(), IDCANCEL, "target", &selected), missing);
    EXPECT_STRCASEEQ(selected.c_str(), "target");
    EXPECT_EQ(browse("", IDCANCEL, NULL, NULL), "") << "an empty field opens without a start folder";
}

}  // namespace
