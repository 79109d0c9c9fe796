// ZUNO.exe, the sample product: one window of class "ZUNO" that shows the language recorded in ZUNO.INI
// next to the program. The setup closes such windows before it installs. Tests that must not meet other
// tests' windows give another class with "/class NAME".
#include <windows.h>
#include <string.h>

namespace {

char g_window_class[64] = "ZUNO";
char g_language[16];

// Reads [ZUNO] Language= from ZUNO.INI in the program's own folder.
void read_language() {
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
    if (length == 0 || length >= sizeof path) {
        lstrcpyA(g_language, "?");
        return;
    }
    char* slash = strrchr(path, '\\');
    const char ini[] = "ZUNO.INI";
    if (!slash || (slash + 1 - path) + sizeof ini > sizeof path) {
        lstrcpyA(g_language, "?");
        return;
    }
    memcpy(slash + 1, ini, sizeof ini);
    GetPrivateProfileStringA("ZUNO", "Language", "", g_language, sizeof g_language, path);
}

LRESULT CALLBACK window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
    case WM_PAINT: {
        PAINTSTRUCT paint;
        HDC dc = BeginPaint(window, &paint);
        char text[64];
        lstrcpyA(text, "Ordavin - language: ");
        lstrcatA(text, g_language[0] ? g_language : "(none)");
        RECT area;
        GetClientRect(window, &area);
        DrawTextA(dc, text, -1, &area, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
        EndPaint(window, &paint);
        return 0;
    }
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcA(window, message, wparam, lparam);
    }
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR command_line, int show) {
    if (strncmp(command_line, "/class ", 7) == 0 && command_line[7])
        lstrcpynA(g_window_class, command_line + 7, sizeof g_window_class);
    read_language();
    WNDCLASSA window_class = {};
    window_class.lpfnWndProc = window_proc;
    window_class.hInstance = instance;
    window_class.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    window_class.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(1));
    window_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    window_class.lpszClassName = g_window_class;
    if (!RegisterClassA(&window_class))
        return 1;
    char title[64];
    lstrcpyA(title, "Ordavin [");
    lstrcatA(title, g_language[0] ? g_language : "-");
    lstrcatA(title, "]");
    HWND window = CreateWindowA(g_window_class, title, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT, 360, 160,
                                nullptr, nullptr, instance, nullptr);
    if (!window)
        return 1;
    ShowWindow(window, show);
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return 0;
}
