// The install sequence that the OK command runs.
#pragma once
#include <windows.h>

// Results of run_install.
enum {
    INSTALL_DONE = 0,          // installed; the success message has been shown
    INSTALL_NO_FOLDER = 1,     // the folder field is empty; nothing was done
    INSTALL_EXTRACT_FAILED = 2,
    INSTALL_BAD_FOLDER = 3,    // the folder cannot be created or is too long; the message has been shown
};

// Longest folder text (without its trailing backslash) that leaves room in a 260-byte path for the
// backslash and the longest name the sequence appends to it.
int max_install_folder_length();

int run_install(HWND dialog);
