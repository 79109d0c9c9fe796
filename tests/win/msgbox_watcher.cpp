#include "msgbox_watcher.h"

#include <algorithm>

namespace {

std::string window_text(HWND window) {
    char text[1024];
    text[0] = '\0';
    // WM_GETTEXT with a timeout: the box's thread runs its modal loop, but a hung one must not hold us.
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutA(window, WM_GETTEXT, sizeof text, (LPARAM)text, SMTO_ABORTIFHUNG, 2000, &length))
        return std::string();
    text[sizeof text - 1] = '\0';
    return text;
}

std::string class_name(HWND window) {
    char name[64];
    int length = GetClassNameA(window, name, sizeof name);
    return std::string(name, length > 0 ? length : 0);
}

// The box's icon is one of the shared system icons; the handle tells which.
BoxIcon icon_of(HICON icon) {
    if (!icon)
        return BOX_ICON_NONE;
    if (icon == LoadIcon(nullptr, IDI_HAND))
        return BOX_ICON_ERROR;
    if (icon == LoadIcon(nullptr, IDI_ASTERISK))
        return BOX_ICON_INFORMATION;
    if (icon == LoadIcon(nullptr, IDI_QUESTION))
        return BOX_ICON_QUESTION;
    if (icon == LoadIcon(nullptr, IDI_EXCLAMATION))
        return BOX_ICON_WARNING;
    return BOX_ICON_OTHER;
}

struct Collected {
    std::vector<std::string> texts;
    BoxIcon icon = BOX_ICON_NONE;
    std::vector<int> buttons;
};

BOOL CALLBACK collect_child(HWND child, LPARAM param) {
    Collected* c = (Collected*)param;
    std::string cls = class_name(child);
    LONG style = GetWindowLongA(child, GWL_STYLE);
    if (_stricmp(cls.c_str(), "Static") == 0) {
        if ((style & SS_TYPEMASK) == SS_ICON) {
            DWORD_PTR icon = 0;
            SendMessageTimeoutA(child, STM_GETICON, 0, 0, SMTO_ABORTIFHUNG, 2000, &icon);
            c->icon = icon_of((HICON)icon);
        } else if (style & WS_VISIBLE) {
            std::string text = window_text(child);
            if (!text.empty())
                c->texts.push_back(text);
        }
    } else if (_stricmp(cls.c_str(), "Button") == 0 && (style & WS_VISIBLE)) {
        c->buttons.push_back(GetDlgCtrlID(child));
    }
    return TRUE;
}

struct Found {
    std::vector<HWND> boxes;
};

BOOL CALLBACK find_box(HWND window, LPARAM param) {
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (pid == GetCurrentProcessId() && IsWindowVisible(window) && class_name(window) == "#32770")
        ((Found*)param)->boxes.push_back(window);
    return TRUE;
}

}  // namespace

const char* box_icon_name(BoxIcon icon) {
    switch (icon) {
    case BOX_ICON_NONE: return "none";
    case BOX_ICON_ERROR: return "error";
    case BOX_ICON_INFORMATION: return "information";
    case BOX_ICON_QUESTION: return "question";
    case BOX_ICON_WARNING: return "warning";
    default: return "other";
    }
}

MsgBoxWatcher::MsgBoxWatcher(int answer) : thread_(nullptr), answer_(answer) {
    InitializeCriticalSection(&lock_);
    stop_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    thread_ = CreateThread(nullptr, 0, thread_main, this, 0, nullptr);
}

MsgBoxWatcher::~MsgBoxWatcher() {
    SetEvent(stop_);
    if (thread_) {
        WaitForSingleObject(thread_, INFINITE);
        CloseHandle(thread_);
    }
    CloseHandle(stop_);
    DeleteCriticalSection(&lock_);
}

void MsgBoxWatcher::set_answer(int button) {
    EnterCriticalSection(&lock_);
    answer_ = button;
    LeaveCriticalSection(&lock_);
}

std::vector<SeenBox> MsgBoxWatcher::boxes() {
    EnterCriticalSection(&lock_);
    std::vector<SeenBox> copy = seen_;
    LeaveCriticalSection(&lock_);
    return copy;
}

void MsgBoxWatcher::clear() {
    EnterCriticalSection(&lock_);
    seen_.clear();
    LeaveCriticalSection(&lock_);
}

DWORD WINAPI MsgBoxWatcher::thread_main(void* self) {
    MsgBoxWatcher* watcher = (MsgBoxWatcher*)self;
    while (WaitForSingleObject(watcher->stop_, 10) == WAIT_TIMEOUT)
        watcher->poll();
    return 0;
}

void MsgBoxWatcher::poll() {
    Found found;
    EnumWindows(find_box, (LPARAM)&found);
    for (HWND box : found.boxes) {
        EnterCriticalSection(&lock_);
        bool known = std::find(answered_.begin(), answered_.end(), box) != answered_.end();
        int answer = answer_;
        LeaveCriticalSection(&lock_);
        if (known) {
            if (!IsWindow(box)) {
                EnterCriticalSection(&lock_);
                answered_.erase(std::remove(answered_.begin(), answered_.end(), box), answered_.end());
                LeaveCriticalSection(&lock_);
            }
            continue;
        }
        Collected c;
        EnumChildWindows(box, collect_child, (LPARAM)&c);
        SeenBox seen;
        seen.caption = window_text(box);
        for (size_t i = 0; i < c.texts.size(); i++)
            seen.text += (i ? "\n" : "") + c.texts[i];
        seen.icon = c.icon;
        seen.owner = GetWindow(box, GW_OWNER);
        seen.buttons = c.buttons;
        int button = answer;
        if (std::find(c.buttons.begin(), c.buttons.end(), button) == c.buttons.end() && c.buttons.size() == 1)
            button = c.buttons[0];
        EnterCriticalSection(&lock_);
        seen_.push_back(seen);
        answered_.push_back(box);
        LeaveCriticalSection(&lock_);
        PostMessageA(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), (LPARAM)GetDlgItem(box, button));
    }
    // Forget boxes that are gone, so that a new box with a reused handle counts again.
    EnterCriticalSection(&lock_);
    answered_.erase(std::remove_if(answered_.begin(), answered_.end(), [](HWND w) { return !IsWindow(w); }),
                    answered_.end());
    LeaveCriticalSection(&lock_);
}
