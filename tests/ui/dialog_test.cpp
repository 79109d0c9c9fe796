// The dialog without a full install: live relabelling, refused folders, leaving, closing a running product,
// placement and layout.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "tests/ui/setup_session.h"

namespace ui {
namespace {

class SetupDialog : public SetupSession {};

bool german_labels(HWND dialog) {
    return item_text(dialog, ID_EXIT) == "Beenden" && item_text(dialog, ID_FOLDER_LABEL) == "Zielpfad:" &&
           item_text(dialog, ID_MORE_LANGUAGES) == "Weitere Sprachen";
}
bool english_labels(HWND dialog) {
    return item_text(dialog, ID_EXIT) == "Exit" && item_text(dialog, ID_FOLDER_LABEL) == "Install to:" &&
           item_text(dialog, ID_MORE_LANGUAGES) == "Additional languages";
}

void expect_nothing_written() {
    EXPECT_FALSE(reg_key_exists(HKEY_CURRENT_USER, kUserKey));
    EXPECT_FALSE(reg_key_exists(HKEY_LOCAL_MACHINE, kUninstallKey));
    EXPECT_FALSE(path_exists(first_install_folder()));
    EXPECT_FALSE(path_exists(group_shortcut_path()));
    EXPECT_FALSE(path_exists(desktop_shortcut_path()));
}

TEST_F(SetupDialog, InterfaceIsGermanExactlyWhenDeutschIsCheckedAndEnglishIsNot) {
    ASSERT_TRUE(start());
    ASSERT_TRUE(is_checked(dialog_, ID_DEUTSCH) && is_checked(dialog_, ID_ENGLISH));
    EXPECT_TRUE(english_labels(dialog_)) << "both checked";

    struct Step {
        int click;
        bool deutsch, english;
        bool german;
        const char* what;
    } steps[] = {
        {ID_ENGLISH, true, false, true, "Deutsch alone"},
        {ID_ENGLISH, true, true, false, "both again"},
        {ID_DEUTSCH, false, true, false, "English alone"},
        {ID_ENGLISH, false, true, false, "the last real language unchecked, additional ones still checked: English comes back"},
        {ID_DEUTSCH, true, true, false, "both"},
        {ID_ENGLISH, true, false, true, "Deutsch alone again"},
        {ID_DEUTSCH, false, true, false, "Deutsch was the last one: English comes back, and so does the English text"},
        {ID_MORE_LANGUAGES, false, true, false, "the additional languages change nothing else"},
        {ID_ENGLISH, false, true, false, "English unchecked alone: it comes back"},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.what);
        ASSERT_TRUE(click(dialog_, s.click));
        EXPECT_EQ(is_checked(dialog_, ID_DEUTSCH), s.deutsch);
        EXPECT_EQ(is_checked(dialog_, ID_ENGLISH), s.english);
        EXPECT_TRUE(s.german ? german_labels(dialog_) : english_labels(dialog_));
    }
    EXPECT_FALSE(is_checked(dialog_, ID_MORE_LANGUAGES));

    click(dialog_, ID_EXIT, 200);
    EXPECT_EQ(exit_code(), 0);
    expect_nothing_written();
}

TEST_F(SetupDialog, EveryGermanSystemLanguageAndNoOtherStartsWithDeutschOnly) {
    // Wine takes the system language from the Unix locale of the process.
    struct Case {
        const char* locale;
        bool german;
    } const cases[] = {
        {"de_AT.UTF-8", true},    // 0x0C07
        {"de_CH.UTF-8", true},    // 0x0807
        {"de_LU.UTF-8", true},    // 0x1007
        {"de_LI.UTF-8", true},    // 0x1407
        {"it_IT.UTF-8", false},   // neither German nor English: the English start
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.locale);
        ASSERT_TRUE(start(c.locale));
        EXPECT_TRUE(is_checked(dialog_, ID_DEUTSCH));
        EXPECT_EQ(is_checked(dialog_, ID_ENGLISH), !c.german);
        EXPECT_EQ(is_checked(dialog_, ID_MORE_LANGUAGES), !c.german);
        EXPECT_TRUE(c.german ? german_labels(dialog_) : english_labels(dialog_));
        press_key(dialog_, VK_ESCAPE);
        EXPECT_EQ(exit_code(), 0);
    }
}

TEST_F(SetupDialog, RefusedFoldersKeepTheDialogOpen) {
    ASSERT_TRUE(start());
    std::string blocker;
    ASSERT_NO_FATAL_FAILURE(make_blocker(&blocker));

    // A folder that cannot be created: the message names it in its caption.
    const std::string bad = blocker + "\\sub\\Ordavin";
    type_text(dialog_, ID_FOLDER, bad);
    MessageBoxSeen box = press_ok_for_message();
    EXPECT_EQ(box.text, "Cannot create path.");
    EXPECT_EQ(box.caption, bad);
    EXPECT_EQ(box.icon, Icon::error);
    EXPECT_EQ(box.buttons.size(), 1u);
    ASSERT_TRUE(answer_message_box(box));
    ASSERT_TRUE(settle(dialog_));
    EXPECT_TRUE(IsWindowVisible(dialog_));
    EXPECT_EQ(item_text(dialog_, ID_FOLDER), bad);
    EXPECT_TRUE(is_visible(dialog_, ID_START_MENU));
    EXPECT_FALSE(is_visible(dialog_, ID_PROGRESS));
    EXPECT_FALSE(reg_key_exists(HKEY_CURRENT_USER, kUserKey)) << "nothing is recorded for a refused folder";

    // An empty field: OK does nothing at all.
    type_text(dialog_, ID_FOLDER, "");
    EXPECT_TRUE(click(dialog_, ID_OK)) << "OK with an empty field must return at once";
    MessageBoxSeen none;
    EXPECT_FALSE(find_message_box(dialog_, &none)) << none.text;
    EXPECT_TRUE(IsWindowVisible(dialog_));
    EXPECT_TRUE(is_visible(dialog_, ID_START_MENU));
    EXPECT_FALSE(is_visible(dialog_, ID_PROGRESS));
    EXPECT_LT(wait_for_exit(process_, 0), 0) << "the setup must still run";

    press_key(dialog_, VK_ESCAPE);
    EXPECT_EQ(exit_code(), 0);
    expect_nothing_written();
}

TEST_F(SetupDialog, ExitAndEscapeLeaveWithZeroAndWriteNothing) {
    for (bool escape : {false, true}) {
        SCOPED_TRACE(escape ? "Escape" : "Exit");
        ASSERT_TRUE(start());
        if (escape)
            press_key(dialog_, VK_ESCAPE);
        else
            click(dialog_, ID_EXIT, 200);
        EXPECT_EQ(exit_code(), 0);
        expect_nothing_written();
    }
}

// A stand-in for the running product: a window of class "ZUNO" that ends its thread when told WM_DESTROY.
struct RunningProduct {
    std::atomic<int> destroys{0};
    std::atomic<bool> ready{false};
    std::atomic<DWORD> thread_id{0};
    std::thread thread;

    ~RunningProduct() {
        if (thread.joinable()) {
            PostThreadMessageA(thread_id, WM_QUIT, 0, 0);
            thread.join();
        }
    }

    static LRESULT CALLBACK proc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
        RunningProduct* self = reinterpret_cast<RunningProduct*>(GetWindowLongPtrA(w, GWLP_USERDATA));
        if (m == WM_DESTROY && self && InSendMessage()) {
            ++self->destroys;
            PostQuitMessage(0);
            return 0;
        }
        return DefWindowProcA(w, m, wp, lp);
    }
    void start() {
        thread = std::thread([this] {
            WNDCLASSA wc{};
            wc.lpfnWndProc = proc;
            wc.hInstance = GetModuleHandleA(nullptr);
            wc.lpszClassName = "ZUNO";
            RegisterClassA(&wc);
            HWND w = CreateWindowA("ZUNO", "Ordavin", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, nullptr, nullptr,
                                   wc.hInstance, nullptr);
            SetWindowLongPtrA(w, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
            thread_id = GetCurrentThreadId();
            ready = true;
            MSG msg;
            while (GetMessageA(&msg, nullptr, 0, 0) > 0)
                DispatchMessageA(&msg);
            DestroyWindow(w);
            UnregisterClassA("ZUNO", wc.hInstance);
        });
        while (!ready)
            Sleep(10);
    }
};

TEST_F(SetupDialog, ARunningProductIsClosedWhenTheSetupStarts) {
    // The sample product itself when it can run here, else a stand-in window of its class in this process.
    Process product;
    std::string error;
    bool sample = start_program(product_dir() + "\\ZUNO.exe", nullptr, &product, &error) &&
                  wait_for_window(product.pid, "ZUNO", nullptr, kStartTimeout) != nullptr;
    RunningProduct stand_in;
    if (!sample) {
        close_process(product);
        stand_in.start();
    }
    ASSERT_TRUE(FindWindowA("ZUNO", nullptr));

    ASSERT_TRUE(start());
    if (sample) {
        printf("[ the sample ZUNO.exe was running ]\n");
        EXPECT_GE(wait_for_exit(product, 30000), 0) << "the sample ZUNO.exe still runs";
        close_process(product);
    } else {
        stand_in.thread.join();
        EXPECT_GE(stand_in.destroys.load(), 1);
    }
    EXPECT_EQ(FindWindowA("ZUNO", nullptr), nullptr);
    EXPECT_TRUE(IsWindowVisible(dialog_));
    click(dialog_, ID_EXIT, 200);
    EXPECT_EQ(exit_code(), 0);
}

INT_PTR CALLBACK probe_proc(HWND, UINT, WPARAM, LPARAM) {
    return FALSE;
}

// Dialog units as pixels, through a hidden dialog of this process with the setup dialog's font. Like the
// dialog manager, position and size are converted each on its own.
RECT to_pixels(int x, int y, int w, int h) {
    static HWND probe = CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(100), nullptr, probe_proc, 0);
    RECT units = {x, y, w, h};
    EXPECT_TRUE(probe && MapDialogRect(probe, &units));
    RECT r = {units.left, units.top, units.left + units.right, units.top + units.bottom};
    return r;
}

::testing::AssertionResult same_rect(const RECT& seen, const RECT& want) {
    if (EqualRect(&seen, &want))
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "(" << seen.left << "," << seen.top << ")-(" << seen.right << ","
                                         << seen.bottom << ") instead of (" << want.left << "," << want.top
                                         << ")-(" << want.right << "," << want.bottom << ")";
}

TEST_F(SetupDialog, DialogIsCentredAndItsControlsSitWhereTheTemplatePutsThem) {
    ASSERT_TRUE(start());
    Layout layout = capture_layout(dialog_);

    int desk_w = layout.desktop.right - layout.desktop.left, desk_h = layout.desktop.bottom - layout.desktop.top;
    int win_w = layout.window.right - layout.window.left, win_h = layout.window.bottom - layout.window.top;
    EXPECT_EQ(layout.window.left, (desk_w - win_w) >> 1);
    EXPECT_EQ(layout.window.top, (desk_h - win_h) >> 1);
    RECT client = {0, 0, layout.client.right - layout.client.left, layout.client.bottom - layout.client.top};
    EXPECT_TRUE(same_rect(client, to_pixels(0, 0, 330, 237)));

    struct Place {
        int id;
        const char* window_class;
        int x, y, w, h;
    } const places[] = {
        {ID_OK, "Button", 62, 216, 100, 18},
        {ID_EXIT, "Button", 178, 216, 100, 18},
        {ID_HEADING, "Static", 3, 10, 324, 35},
        {-1, "Static", 39, 57, 139, 89},
        {ID_FOLDER_LABEL, "Static", 13, 162, 73, 10},
        {ID_FOLDER, "Edit", 94, 161, 204, 12},
        {ID_BROWSE, "Button", 300, 161, 13, 13},
        {ID_LANGUAGE_FRAME, "Button", 197, 70, 100, 74},
        {ID_DEUTSCH, "Button", 209, 90, 80, 10},
        {ID_ENGLISH, "Button", 209, 108, 80, 10},
        {ID_MORE_LANGUAGES, "Button", 209, 126, 85, 10},
        {ID_START_MENU, "Button", 94, 180, 149, 10},
        {ID_DESKTOP_ICON, "Button", 94, 198, 149, 10},
        {ID_PROGRESS, "Static", 64, 186, 243, 10},
    };
    ASSERT_EQ(layout.controls.size(), sizeof places / sizeof places[0]);
    for (size_t i = 0; i < layout.controls.size(); ++i) {
        const ControlPlace& seen = layout.controls[i];
        const Place& want = places[i];
        SCOPED_TRACE("control " + std::to_string(want.id));
        EXPECT_EQ(seen.id, want.id) << "template order";
        EXPECT_EQ(seen.window_class, want.window_class);
        RECT r = to_pixels(want.x, want.y, want.w, want.h);
        if (want.id == -1) {
            // The picture control takes the bitmap's own size.
            r.right = r.left + 205;
            r.bottom = r.top + 142;
        }
        EXPECT_TRUE(same_rect(seen.rect, r));
    }
    click(dialog_, ID_EXIT, 200);
    EXPECT_EQ(exit_code(), 0);
}

}  // namespace
}  // namespace ui
