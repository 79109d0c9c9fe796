// The install folder: the proposal shown when the dialog opens, the record kept for the next run, and the
// shell's folder browser behind the "..." button.
#pragma once
#include <windows.h>

// Fills OUT (PATH_SIZE bytes) with the folder to propose: the folder recorded by an earlier install (and
// then marks the language packages found there), else "ZUNO" inside the system's programs folder. Left
// empty only when no candidate fits a path buffer.
void default_install_dir(char* out);

// Fills OUT (PATH_SIZE bytes) with the machine's "ProgramFilesDir", or leaves it empty.
void program_files_dir(char* out);

// Records FOLDER, exactly as typed, as "Dir" in the per-user key. Silent on failure.
void save_install_dir(const char* folder);

// Runs the folder browser, starting at the folder named by the field (or its parent); on OK the chosen
// folder replaces the field's text, on Cancel the field is left alone.
void browse_for_folder(HWND dialog, int field_id);

// Browser callback: selects the start item list (DATA) once the browser has initialised. Returns 0.
int CALLBACK browse_callback(HWND browser, UINT message, LPARAM param, LPARAM data);
