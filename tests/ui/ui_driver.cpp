#include "tests/ui/ui_driver.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace ui {

const char* const kDialogClass = "#32770";
const char* const kSetupTitle = "  Setup Ordavin";

namespace {

const DWORD kPoll = 20;

bool open_process(DWORD pid, Process* out) {
    HANDLE h = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_TERMINATE, FALSE, pid);
    if (!h)
        return false;
    out->handle = h;
    out->pid = pid;
    return true;
}

struct WindowSearch {
    DWORD pid;
    const char* window_class;
    const char* title;
    HWND found;
    std::vector<HWND>* all;
};

BOOL CALLBACK match_window(HWND window, LPARAM param) {
    WindowSearch* s = reinterpret_cast<WindowSearch*>(param);
    if (!IsWindowVisible(window))
        return TRUE;
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (s->pid && pid != s->pid)
        return TRUE;
    char cls[64], title[256];
    if (s->window_class) {
        GetClassNameA(window, cls, sizeof cls);
        if (strcmp(cls, s->window_class) != 0)
            return TRUE;
    }
    if (s->title) {
        GetWindowTextA(window, title, sizeof title);
        if (strcmp(title, s->title) != 0)
            return TRUE;
    }
    if (s->all) {
        s->all->push_back(window);
        return TRUE;
    }
    s->found = window;
    return FALSE;
}

std::string class_of(HWND window) {
    char cls[64] = "";
    GetClassNameA(window, cls, sizeof cls);
    return cls;
}

// Lets DRAW paint a W x H 32-bit bitmap compatible with the screen, DRAW(memory_dc, screen_dc, bits), and
// returns its pixels as 0x00RRGGBB values, row by row from the top.
template <typename Draw>
std::vector<DWORD> paint_pixels(int w, int h, Draw draw) {
    std::vector<DWORD> pixels;
    if (w <= 0 || h <= 0)
        return pixels;
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = w;
    bi.bmiHeader.biHeight = -h;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    HDC screen = GetDC(nullptr);
    HDC mem = CreateCompatibleDC(screen);
    void* bits = nullptr;
    HBITMAP bmp = CreateDIBSection(screen, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (bmp) {
        HGDIOBJ old = SelectObject(mem, bmp);
        DWORD* p = static_cast<DWORD*>(bits);
        draw(mem, screen, p);
        GdiFlush();
        pixels.assign(p, p + w * h);
        SelectObject(mem, old);
        DeleteObject(bmp);
    }
    DeleteDC(mem);
    ReleaseDC(nullptr, screen);
    for (DWORD& px : pixels)
        px &= 0xFFFFFF;
    return pixels;
}

// Pixels of a screen rectangle.
std::vector<DWORD> grab_screen(const RECT& r) {
    int w = r.right - r.left, h = r.bottom - r.top;
    return paint_pixels(w, h, [&](HDC mem, HDC screen, DWORD*) {
        BitBlt(mem, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
    });
}

// The same icon drawn by this process on the given background, as the message box's static control draws it.
std::vector<DWORD> render_icon(HICON icon, int w, int h, DWORD background) {
    return paint_pixels(w, h, [&](HDC mem, HDC, DWORD* bits) {
        for (int i = 0; i < w * h; ++i)
            bits[i] = background;
        if (icon)
            DrawIconEx(mem, 0, 0, icon, 0, 0, 0, nullptr, DI_NORMAL);
    });
}

long difference(const std::vector<DWORD>& a, const std::vector<DWORD>& b) {
    if (a.size() != b.size() || a.empty())
        return -1;
    long sum = 0;
    for (size_t i = 0; i < a.size(); ++i)
        for (int shift = 0; shift < 24; shift += 8)
            sum += labs(long((a[i] >> shift) & 0xFF) - long((b[i] >> shift) & 0xFF));
    return sum;
}

HWND icon_control(HWND box) {
    for (HWND c = GetWindow(box, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
        if (class_of(c) != "Static" || !IsWindowVisible(c))
            continue;
        if ((GetWindowLongA(c, GWL_STYLE) & SS_TYPEMASK) == SS_ICON)
            return c;
    }
    return nullptr;
}

// Which of the system's message-box icons the box shows: its icon control is compared, pixel by pixel, with
// each system icon drawn here (icon handles of another process cannot be examined directly).
Icon read_icon(HWND box) {
    HWND control = icon_control(box);
    if (!control)
        return Icon::none;
    RECT r;
    GetWindowRect(control, &r);
    struct Candidate {
        Icon icon;
        LPCSTR resource;
    } candidates[] = {
        {Icon::error, IDI_HAND},
        {Icon::warning, IDI_EXCLAMATION},
        {Icon::information, IDI_ASTERISK},
        {Icon::question, IDI_QUESTION},
    };
    int w = r.right - r.left, h = r.bottom - r.top;
    for (int attempt = 0; attempt < 50; ++attempt) {
        std::vector<DWORD> seen = grab_screen(r);
        if (seen.empty())
            return Icon::unknown;
        DWORD background = seen[0];
        Icon best = Icon::unknown;
        long best_diff = -1;
        for (const Candidate& c : candidates) {
            long d = difference(seen, render_icon(LoadIconA(nullptr, c.resource), w, h, background));
            if (d >= 0 && (best_diff < 0 || d < best_diff)) {
                best_diff = d;
                best = c.icon;
            }
        }
        long blank = difference(seen, render_icon(nullptr, w, h, background));
        // A match must be close to exact; while the box is still being painted, look again.
        if (best_diff >= 0 && best_diff * 20 < blank && best_diff < long(w) * h * 6)
            return best;
        Sleep(kPoll);
    }
    return Icon::unknown;
}

}  // namespace

bool start_program(const std::string& exe_path, const char* locale, Process* out, std::string* error) {
    *out = Process();
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    std::string command;
    const char* application = nullptr;
    if (locale) {
        command = "/usr/bin/env LC_ALL=" + std::string(locale) + " LANG=" + locale + " wine \"" + exe_path + "\"";
        application = "Z:\\usr\\bin\\env";
    } else {
        command = "\"" + exe_path + "\"";
        application = exe_path.c_str();
    }
    std::vector<char> line(command.begin(), command.end());
    line.push_back('\0');
    if (!CreateProcessA(application, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
        if (error) {
            char msg[64];
            snprintf(msg, sizeof msg, " (error %lu)", GetLastError());
            *error = "cannot start " + std::string(application) + msg;
        }
        return false;
    }
    if (pi.hThread)
        CloseHandle(pi.hThread);
    // A program started on the Unix side has no Windows process yet; the caller attaches to its window.
    out->handle = pi.hProcess;
    out->pid = pi.hProcess ? pi.dwProcessId : 0;
    return true;
}

bool attach_to_window(HWND window, Process* out) {
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (!pid)
        return false;
    if (out->handle && out->pid == pid)
        return true;
    close_process(*out);
    return open_process(pid, out);
}

long wait_for_exit(Process& process, DWORD timeout_ms) {
    if (!process.handle)
        return -1;
    if (WaitForSingleObject(process.handle, timeout_ms) != WAIT_OBJECT_0)
        return -1;
    DWORD code = 0;
    if (!GetExitCodeProcess(process.handle, &code))
        return -1;
    return long(code);
}

void close_process(Process& process) {
    if (process.handle)
        CloseHandle(process.handle);
    process = Process();
}

int end_processes_with_window(const char* window_class, const char* title) {
    std::vector<HWND> windows;
    WindowSearch s{0, window_class, title, nullptr, &windows};
    EnumWindows(match_window, reinterpret_cast<LPARAM>(&s));
    int ended = 0;
    for (HWND w : windows) {
        Process p;
        if (attach_to_window(w, &p)) {
            if (TerminateProcess(p.handle, 1)) {
                WaitForSingleObject(p.handle, 10000);
                ++ended;
            }
            close_process(p);
        }
    }
    return ended;
}

HWND find_window(DWORD pid, const char* window_class, const char* title) {
    WindowSearch s{pid, window_class, title, nullptr, nullptr};
    EnumWindows(match_window, reinterpret_cast<LPARAM>(&s));
    return s.found;
}

HWND wait_for_window(DWORD pid, const char* window_class, const char* title, DWORD timeout_ms) {
    DWORD start = GetTickCount();
    for (;;) {
        HWND w = find_window(pid, window_class, title);
        if (w)
            return w;
        if (GetTickCount() - start > timeout_ms)
            return nullptr;
        Sleep(kPoll);
    }
}

bool settle(HWND window, DWORD timeout_ms) {
    DWORD_PTR result = 0;
    return SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_NORMAL, timeout_ms, &result) != 0;
}

std::string window_text(HWND window) {
    char buf[1024] = "";
    DWORD_PTR len = 0;
    if (!SendMessageTimeoutA(window, WM_GETTEXT, sizeof buf, reinterpret_cast<LPARAM>(buf), SMTO_NORMAL, 10000,
                             &len))
        return std::string();
    buf[sizeof buf - 1] = '\0';
    return buf;
}

std::string item_text(HWND dialog, int id) {
    HWND item = GetDlgItem(dialog, id);
    return item ? window_text(item) : std::string();
}

bool is_checked(HWND dialog, int id) {
    HWND item = GetDlgItem(dialog, id);
    DWORD_PTR state = 0;
    if (!item || !SendMessageTimeoutA(item, BM_GETCHECK, 0, 0, SMTO_NORMAL, 10000, &state))
        return false;
    return state == BST_CHECKED;
}

bool is_visible(HWND dialog, int id) {
    HWND item = GetDlgItem(dialog, id);
    return item && (GetWindowLongA(item, GWL_STYLE) & WS_VISIBLE);
}

HWND focused_control(HWND dialog) {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    DWORD tid = GetWindowThreadProcessId(dialog, nullptr);
    if (!GetGUIThreadInfo(tid, &info))
        return nullptr;
    return info.hwndFocus;
}

bool click(HWND dialog, int id, DWORD timeout_ms) {
    HWND item = GetDlgItem(dialog, id);
    if (!item)
        return false;
    DWORD_PTR result = 0;
    return SendMessageTimeoutA(item, BM_CLICK, 0, 0, SMTO_NORMAL, timeout_ms, &result) != 0;
}

void type_text(HWND dialog, int id, const std::string& text) {
    HWND item = GetDlgItem(dialog, id);
    DWORD_PTR result = 0;
    if (item)
        SendMessageTimeoutA(item, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()), SMTO_NORMAL, 10000,
                            &result);
}

void press_key(HWND dialog, UINT virtual_key) {
    HWND target = focused_control(dialog);
    if (!target)
        target = dialog;
    UINT scan = MapVirtualKeyA(virtual_key, MAPVK_VK_TO_VSC);
    PostMessageA(target, WM_KEYDOWN, virtual_key, 1 | (LPARAM(scan) << 16));
    PostMessageA(target, WM_KEYUP, virtual_key, 1 | (LPARAM(scan) << 16) | 0xC0000000);
}

const char* icon_name(Icon icon) {
    switch (icon) {
    case Icon::none: return "none";
    case Icon::error: return "error";
    case Icon::warning: return "warning";
    case Icon::information: return "information";
    case Icon::question: return "question";
    default: return "unknown";
    }
}

bool find_message_box(HWND owner, MessageBoxSeen* out) {
    DWORD pid = 0;
    GetWindowThreadProcessId(owner, &pid);
    std::vector<HWND> windows;
    WindowSearch s{pid, kDialogClass, nullptr, nullptr, &windows};
    EnumWindows(match_window, reinterpret_cast<LPARAM>(&s));
    for (HWND w : windows) {
        if (w == owner || GetWindow(w, GW_OWNER) != owner)
            continue;
        settle(w);
        MessageBoxSeen box;
        box.window = w;
        char caption[512] = "";
        GetWindowTextA(w, caption, sizeof caption);
        box.caption = caption;
        box.text = item_text(w, 0xFFFF);
        for (HWND c = GetWindow(w, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT))
            if (class_of(c) == "Button" && IsWindowVisible(c))
                box.buttons.push_back(window_text(c));
        box.icon = read_icon(w);
        *out = box;
        return true;
    }
    return false;
}

bool wait_for_message_box(HWND owner, DWORD timeout_ms, MessageBoxSeen* out) {
    DWORD start = GetTickCount();
    for (;;) {
        if (find_message_box(owner, out))
            return true;
        if (GetTickCount() - start > timeout_ms || !IsWindow(owner))
            return false;
        Sleep(kPoll);
    }
}

bool answer_message_box(const MessageBoxSeen& box, int button_id, DWORD timeout_ms) {
    HWND button = GetDlgItem(box.window, button_id);
    if (!button)
        return false;
    PostMessageA(button, BM_CLICK, 0, 0);
    DWORD start = GetTickCount();
    while (IsWindow(box.window) && IsWindowVisible(box.window)) {
        if (GetTickCount() - start > timeout_ms)
            return false;
        Sleep(kPoll);
    }
    return true;
}

Layout capture_layout(HWND dialog) {
    Layout layout;
    GetWindowRect(GetDesktopWindow(), &layout.desktop);
    GetWindowRect(dialog, &layout.window);
    GetClientRect(dialog, &layout.client);
    MapWindowPoints(dialog, HWND_DESKTOP, reinterpret_cast<POINT*>(&layout.client), 2);
    for (HWND c = GetWindow(dialog, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
        ControlPlace place;
        place.id = GetDlgCtrlID(c);
        place.window_class = class_of(c);
        GetWindowRect(c, &place.rect);
        MapWindowPoints(HWND_DESKTOP, dialog, reinterpret_cast<POINT*>(&place.rect), 2);
        layout.controls.push_back(place);
    }
    return layout;
}

}  // namespace ui
