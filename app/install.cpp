// The install sequence: folder, extraction, shortcuts, uninstall entry, language record.
#include "app/install.h"

#include <ole2.h>
#include <string.h>

#include "app/dialog_ids.h"
#include "app/language_dialog.h"
#include "app/languages.h"
#include "archive/extract.h"
#include "system/install_dir.h"
#include "system/paths.h"
#include "system/shortcuts.h"
#include "system/uninstall.h"

namespace {

const char kProgramFile[] = "ZUNO.exe";
const char kUninstaller[] = "UnInst.exe";
const char kIniSuffix[] = ".INI";
const char kProductName[] = "Ordavin";
const char kInstalledText[] = " has been successfully installed.";
const char kCaption[] = "  Setup ";

// FOLDER (ending in a backslash), NAME and SUFFIX into OUT of PATH_SIZE bytes. The folder's length is
// checked before the sequence starts, so the names always fit.
void join_path(char* out, const char* folder, const char* name, const char* suffix) {
    out[0] = '\0';
    append_text(out, PATH_SIZE, folder);
    append_text(out, PATH_SIZE, name);
    append_text(out, PATH_SIZE, suffix);
}

int ends_with_backslash(const char* text) {
    size_t length = strlen(text);
    return length > 0 && text[length - 1] == '\\';
}

void show_folder_error(HWND dialog, const char* folder) {
    const char* text = ui_text(TEXT_CANNOT_CREATE_PATH);
    if (text)
        MessageBoxA(dialog, text, folder, MB_ICONERROR);
}

}  // namespace

int max_install_folder_length() {
    int longest = static_cast<int>(strlen(kUninstaller));
    int program = static_cast<int>(strlen(kProgramFile));
    int ini = static_cast<int>(strlen(file_prefix) + strlen(kIniSuffix));
    if (program > longest)
        longest = program;
    if (ini > longest)
        longest = ini;
    return PATH_SIZE - 1 - 1 - longest;  // the terminator, the backslash, the longest name
}

int run_install(HWND dialog) {
    char folder[PATH_SIZE];
    folder[0] = '\0';
    GetDlgItemTextA(dialog, ID_FOLDER, folder, sizeof folder);
    if (folder[0] == '\0')
        return INSTALL_NO_FOLDER;

    // A text that fills the field's buffer may have been cut, and one that is merely long leaves no room
    // for the backslash and the file names appended below: refuse both before anything is touched.
    size_t length = strlen(folder);
    size_t bare_length = ends_with_backslash(folder) ? length - 1 : length;
    if (bare_length > static_cast<size_t>(max_install_folder_length())) {
        show_folder_error(dialog, folder);
        return INSTALL_BAD_FOLDER;
    }

    HCURSOR previous_cursor = SetCursor(LoadCursorA(nullptr, IDC_WAIT));
    SetErrorMode(SEM_FAILCRITICALERRORS);

    if (file_exists(folder) != 0 && make_dirs(folder) != 0) {
        SetCursor(previous_cursor);
        show_folder_error(dialog, folder);
        return INSTALL_BAD_FOLDER;
    }

    char own_file[PATH_SIZE];
    DWORD own_length = GetModuleFileNameA(app_instance, own_file, sizeof own_file);
    if (own_length == 0 || own_length >= sizeof own_file) {
        // Without its own full name the setup cannot read the archive it carries.
        SetCursor(previous_cursor);
        return INSTALL_EXTRACT_FAILED;
    }

    save_install_dir(folder);

    ShowWindow(GetDlgItem(dialog, ID_START_MENU), SW_HIDE);
    ShowWindow(GetDlgItem(dialog, ID_DESKTOP_ICON), SW_HIDE);
    ShowWindow(GetDlgItem(dialog, ID_PROGRESS), SW_SHOW);

    if (extract_archive(dialog, own_file, folder) != 0)
        return INSTALL_EXTRACT_FAILED;

    add_separator(folder);
    SetDlgItemTextA(dialog, ID_PROGRESS, "");
    SetCursor(previous_cursor);

    char path[PATH_SIZE];
    OleInitialize(nullptr);
    if (IsDlgButtonChecked(dialog, ID_START_MENU) == BST_CHECKED)
        create_program_group(dialog, folder);
    if (IsDlgButtonChecked(dialog, ID_DESKTOP_ICON) == BST_CHECKED) {
        join_path(path, folder, kProgramFile, "");
        create_desktop_icon(dialog, path);
    }
    OleUninitialize();

    join_path(path, folder, kUninstaller, "");
    register_uninstall(path);
    join_path(path, folder, file_prefix, kIniSuffix);
    write_language_ini(path);

    char text[sizeof kProductName + sizeof kInstalledText];
    lstrcpyA(text, kProductName);
    lstrcatA(text, kInstalledText);
    MessageBoxA(dialog, text, kCaption, MB_ICONINFORMATION | MB_OK);
    return INSTALL_DONE;
}
