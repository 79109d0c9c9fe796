// The setup dialog's initialisation and the bounded closing of a running product.
#include "app_fixture.h"

#include "app/dialog.h"
#include "system/paths.h"

#include <vector>

namespace {

// --- Closing running windows of the product's class ---------------------------------------------------

const char kTestClass[] = "ZUNO_TEST_WINDOW";

enum Behaviour { CLOSES, SURVIVES, HANGS };

struct ProductThread {
    Behaviour behaviour;
    HANDLE ready = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE release = CreateEventA(nullptr, TRUE, FALSE, nullptr);  // lets a hanging thread go
    HANDLE thread = nullptr;
    HWND window = nullptr;
};

LRESULT CALLBACK closing_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(window, message, wparam, lparam);
}

LRESULT CALLBACK surviving_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_DESTROY)
        return 0;  // takes no notice
    return DefWindowProcA(window, message, wparam, lparam);
}

DWORD WINAPI product_thread(void* context) {
    ProductThread* product = static_cast<ProductThread*>(context);
    HWND window = CreateWindowA(kTestClass, "product", WS_OVERLAPPED, 0, 0, 50, 50, nullptr, nullptr,
                                GetModuleHandleA(nullptr), nullptr);
    if (product->behaviour == SURVIVES)
        SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(surviving_proc));
    product->window = window;
    SetEvent(product->ready);
    if (product->behaviour == HANGS) {
        WaitForSingleObject(product->release, INFINITE);  // answers no message meanwhile
    } else {
        MSG message;
        while (GetMessageA(&message, nullptr, 0, 0) > 0)
            DispatchMessageA(&message);
    }
    DestroyWindow(window);
    return 0;
}

class CloseProduct : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        WNDCLASSA window_class = {};
        window_class.lpfnWndProc = closing_proc;
        window_class.hInstance = GetModuleHandleA(nullptr);
        window_class.lpszClassName = kTestClass;
        RegisterClassA(&window_class);
    }
    ProductThread* start(Behaviour behaviour) {
        ProductThread* product = new ProductThread;
        product->behaviour = behaviour;
        product->thread = CreateThread(nullptr, 0, product_thread, product, 0, nullptr);
        WaitForSingleObject(product->ready, INFINITE);
        products_.push_back(product);
        return product;
    }
    void TearDown() override {
        for (ProductThread* product : products_) {
            SetEvent(product->release);
            PostThreadMessageA(GetThreadId(product->thread), WM_QUIT, 0, 0);
            WaitForSingleObject(product->thread, INFINITE);
            CloseHandle(product->thread);
            CloseHandle(product->ready);
            CloseHandle(product->release);
            delete product;
        }
    }
    std::vector<ProductThread*> products_;
};

TEST_F(CloseProduct, NoWindowMeansNothingToDo) {
    EXPECT_EQ(close_running_product(kTestClass, 20, 200), 0);
}

TEST_F(CloseProduct, EveryRunningWindowIsClosed) {
    ProductThread* first = start(CLOSES);
    ProductThread* second = start(CLOSES);
    EXPECT_EQ(close_running_product(kTestClass, 20, 2000), 0);
    EXPECT_FALSE(IsWindow(first->window));
    EXPECT_FALSE(IsWindow(second->window));
}

TEST_F(CloseProduct, SurvivingOrSilentWindowsCannotHoldTheSetup) {
    ProductThread* closes = start(CLOSES);
    start(SURVIVES);
    start(HANGS);
    // Returns, reporting the two that are left; the one that answered is gone.
    EXPECT_EQ(close_running_product(kTestClass, 5, 200), 2);
    EXPECT_FALSE(IsWindow(closes->window));
}

// --- Initialisation of the real dialog ----------------------------------------------------------------

using SetupDialogInit = SetupDialogTest;

TEST_F(SetupDialogInit, HeadingTitleFolderAndBoxes) {
    DestroyWindow(dialog_);
    dialog_ = CreateDialogParamA(stub_resources(), MAKEINTRESOURCEA(DLG_SETUP), nullptr, setup_dialog_proc, 0);
    ASSERT_NE(dialog_, nullptr);

    EXPECT_EQ(control_text(dialog_, ID_HEADING), "Ordavin  1.10");
    char title[64];
    GetWindowTextA(dialog_, title, sizeof title);
    EXPECT_STREQ(title, "  Setup Ordavin");
    EXPECT_STREQ(file_prefix, "ZUNO");

    // The heading font: 24 points at the screen's resolution.
    HDC dc = GetDC(dialog_);
    EXPECT_EQ(heading_font.lfHeight, MulDiv(-24, GetDeviceCaps(dc, LOGPIXELSY), 72));
    ReleaseDC(dialog_, dc);
    EXPECT_STREQ(heading_font.lfFaceName, "MS Sans Serif");
    EXPECT_EQ(heading_font.lfPitchAndFamily, 0x22);

    // The shortcut boxes start checked exactly when the proposed folder does not exist yet.
    std::string folder = control_text(dialog_, ID_FOLDER);
    EXPECT_FALSE(folder.empty());
    bool missing = file_exists(folder.c_str()) != 0;
    EXPECT_EQ(is_checked(dialog_, ID_START_MENU), missing);
    EXPECT_EQ(is_checked(dialog_, ID_DESKTOP_ICON), missing);

    // An interface language is chosen and at least one real language is checked.
    EXPECT_TRUE(UiLanguage == UI_ENGLISH || UiLanguage == UI_GERMAN);
    EXPECT_TRUE(is_checked(dialog_, ID_DEUTSCH) || is_checked(dialog_, ID_ENGLISH));
    EXPECT_EQ(control_text(dialog_, ID_EXIT), UiLanguage == UI_GERMAN ? "Beenden" : "Exit");
    EXPECT_FALSE(is_shown(dialog_, ID_PROGRESS));
}

TEST(CenterOnDesktop, MovesToTheMiddleKeepingTheSize) {
    HWND window = CreateWindowA("STATIC", "", WS_POPUP, 3, 4, 301, 201, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(window, nullptr);
    center_on_desktop(window);
    RECT desktop, rect;
    GetWindowRect(GetDesktopWindow(), &desktop);
    GetWindowRect(window, &rect);
    EXPECT_EQ(rect.right - rect.left, 301);
    EXPECT_EQ(rect.bottom - rect.top, 201);
    EXPECT_EQ(rect.left, ((desktop.right - desktop.left) - 301) >> 1);
    EXPECT_EQ(rect.top, ((desktop.bottom - desktop.top) - 201) >> 1);
    DestroyWindow(window);
}

}  // namespace
