// Works the setup's dialog from another process, the way a person at the keyboard would: it starts the
// program, finds its windows by their titles, reads what they show, clicks, types and answers message boxes.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "app/dialog_ids.h"

namespace ui {

// The dialog's control ids are the setup's own (app/dialog_ids.h); OK is the button that installs.
enum { ID_OK = ID_INSTALL };
// The texts that find the dialog.
extern const char* const kDialogClass;   // "#32770", the dialog manager's class
extern const char* const kSetupTitle;    // "  Setup Ordavin"

struct Process {
    HANDLE handle = nullptr;
    DWORD pid = 0;
};

// Starts a program. With a locale name (such as "de_DE.UTF-8") the program is started through the Unix side
// with LC_ALL and LANG set, since Wine takes the system language from the Unix environment of the process;
// its handle is then obtained from its first window (see attach_to_window).
bool start_program(const std::string& exe_path, const char* locale, Process* out, std::string* error);
bool attach_to_window(HWND window, Process* out);
// Waits for the process to end and returns its exit code, or -1 when it still runs after the timeout.
long wait_for_exit(Process& process, DWORD timeout_ms);
void close_process(Process& process);
// Ends every process that shows a top-level window of this class and title (left behind by a failed test).
int end_processes_with_window(const char* window_class, const char* title);

// A visible top-level window with this class and title, of the given process (0: any process).
HWND find_window(DWORD pid, const char* window_class, const char* title);
HWND wait_for_window(DWORD pid, const char* window_class, const char* title, DWORD timeout_ms);
// Waits until the window's thread has handled everything sent to it so far.
bool settle(HWND window, DWORD timeout_ms = 10000);

std::string window_text(HWND window);         // through WM_GETTEXT, so it works on any process's window
std::string item_text(HWND dialog, int id);
bool is_checked(HWND dialog, int id);
bool is_visible(HWND dialog, int id);
HWND focused_control(HWND dialog);

// Clicks a button as a mouse would (BM_CLICK). Returns true when the click has been handled completely, false
// when the dialog is still busy with it after the timeout (it runs an installation or shows a message box).
bool click(HWND dialog, int id, DWORD timeout_ms = 5000);
void type_text(HWND dialog, int id, const std::string& text);
// A key pressed and released on the control that has the keyboard focus.
void press_key(HWND dialog, UINT virtual_key);

enum class Icon { none, error, warning, information, question, unknown };
const char* icon_name(Icon icon);

struct MessageBoxSeen {
    HWND window = nullptr;
    std::string caption;
    std::string text;
    Icon icon = Icon::unknown;
    std::vector<std::string> buttons;
};
// The message box owned by the window, when one is shown.
bool find_message_box(HWND owner, MessageBoxSeen* out);
bool wait_for_message_box(HWND owner, DWORD timeout_ms, MessageBoxSeen* out);
// Clicks the message box's button (IDOK by default) and waits until the box has gone.
bool answer_message_box(const MessageBoxSeen& box, int button_id = IDOK, DWORD timeout_ms = 10000);

struct ControlPlace {
    int id = 0;
    std::string window_class;
    RECT rect{};   // in the dialog's client coordinates
};
struct Layout {
    RECT desktop{};   // screen rectangle of the desktop window
    RECT window{};    // screen rectangle of the dialog
    RECT client{};    // client area of the dialog, in screen coordinates
    std::vector<ControlPlace> controls;   // in the dialog's child order, which is the template order
};
Layout capture_layout(HWND dialog);

}  // namespace ui
