// Shell shortcuts: the Start-menu group "ZUNO" with the program's shortcut, and the desktop shortcut.
// The caller initialises OLE around these calls.
#pragma once
#include <windows.h>

// Fills OUT (PATH_SIZE bytes) with the path of a shell folder (CSIDL_*), or leaves it empty.
void special_folder_path(int folder_id, char* out);

// Writes a shortcut file with target, working folder and description. Returns the HRESULT of the first
// failing step, else that of saving. A shortcut path that does not fit a path buffer is refused.
HRESULT create_shell_link(const char* target, const char* work_dir, const char* link_path,
                          const char* description);

// Shortcut NAME.lnk in GROUP_DIR (ending in a backslash) to INSTALL_DIR + FILE (INSTALL_DIR ending in a
// backslash), made only when that program exists and the paths fit a path buffer.
void add_group_shortcut(const char* name, const char* file, const char* group_dir, const char* install_dir);

// Makes the group "ZUNO" in PROGRAMS_DIR (created when missing, reused otherwise) with the shortcut
// "Ordavin" to INSTALL_DIR (ending in a backslash) + "ZUNO.exe".
void create_group_in(const char* programs_dir, const char* install_dir);

// The group in the all-users programs folder, else in the current user's. DIALOG is not used.
void create_program_group(HWND dialog, const char* install_dir);

// Makes the shortcut "Ordavin" to PROGRAM in FOLDER (with or without its backslash), whether or not
// the program exists.
void create_program_link_in(const char* folder, const char* program);

// The shortcut "Ordavin" on the current user's desktop. DIALOG is not used.
void create_desktop_icon(HWND dialog, const char* program);
