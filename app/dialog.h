// The setup dialog: its procedure and the helpers of its initialisation.
#pragma once
#include <windows.h>

// The heading font; its height is set when the dialog initialises.
extern LOGFONTA heading_font;

INT_PTR CALLBACK setup_dialog_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);

// Moves WINDOW to the centre of the desktop, keeping its size and Z order, without activating it.
void center_on_desktop(HWND window);

// Sends WM_DESTROY to every top-level window of WINDOW_CLASS until none is left. Bounded: each window
// gets at most TIMEOUT_MS to answer and is not asked again once it failed to, and at most MAX_ROUNDS
// searches are made, so a window that survives or a hung thread cannot hold the setup.
// Returns the number of such windows still present at the end (0 when all are gone).
int close_running_product(const char* window_class, int max_rounds, UINT timeout_ms);

// Releases the heading font once the dialog has ended.
void release_heading_font();
