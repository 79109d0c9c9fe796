#include "system/shortcuts.h"

#include <shlobj.h>
#include <string.h>

#include "system/paths.h"

namespace {

const char group_name[] = "ZUNO";
const char link_name[] = "Ordavin";
const char link_extension[] = ".lnk";
const char program_file[] = "ZUNO.exe";

}  // namespace

void special_folder_path(int folder_id, char* out) {
    out[0] = '\0';
    LPITEMIDLIST items = NULL;
    if (SHGetSpecialFolderLocation(NULL, folder_id, &items) != S_OK || items == NULL)
        return;
    if (!SHGetPathFromIDListA(items, out))
        out[0] = '\0';
    IMalloc* allocator = NULL;
    if (SHGetMalloc(&allocator) == S_OK && allocator != NULL) {
        allocator->Free(items);
        allocator->Release();
    }
}

HRESULT create_shell_link(const char* target, const char* work_dir, const char* link_path,
                          const char* description) {
    WCHAR wide_path[PATH_SIZE];
    if (strlen(link_path) >= PATH_SIZE ||
        MultiByteToWideChar(CP_ACP, 0, link_path, -1, wide_path, PATH_SIZE) == 0)
        return E_INVALIDARG;

    IShellLinkA* link = NULL;
    HRESULT result = CoCreateInstance(CLSID_ShellLink, NULL, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                      (void**)&link);
    if (FAILED(result))
        return result;
    link->SetPath(target);
    link->SetDescription(description);
    link->SetWorkingDirectory(work_dir);

    IPersistFile* file = NULL;
    result = link->QueryInterface(IID_IPersistFile, (void**)&file);
    if (FAILED(result)) {
        link->Release();
        return result;
    }
    result = file->Save(wide_path, TRUE);
    file->Release();
    link->Release();
    return result;
}

void add_group_shortcut(const char* name, const char* file, const char* group_dir, const char* install_dir) {
    if (name == NULL || name[0] == '\0' || file == NULL || file[0] == '\0')
        return;
    char target[PATH_SIZE] = "";
    char work_dir[PATH_SIZE];
    char link_path[PATH_SIZE] = "";
    // Paths that do not fit are refused: no shortcut rather than a cut name or an overrun.
    if (append_text(target, PATH_SIZE, install_dir) != 0 || append_text(target, PATH_SIZE, file) != 0)
        return;
    if (append_text(link_path, PATH_SIZE, group_dir) != 0 || append_text(link_path, PATH_SIZE, name) != 0 ||
        append_text(link_path, PATH_SIZE, link_extension) != 0)
        return;
    strcpy(work_dir, target);
    strip_last_component(work_dir);
    if (file_exists(target) == 0)
        create_shell_link(target, work_dir, link_path, name);
}

void create_group_in(const char* programs_dir, const char* install_dir) {
    char group[PATH_SIZE] = "";
    if (programs_dir[0] == '\0' || append_text(group, PATH_SIZE, programs_dir) != 0)
        return;
    if (add_separator(group) != 0 || append_text(group, PATH_SIZE, group_name) != 0)
        return;
    if (file_exists(group) != 0)
        CreateDirectoryA(group, NULL);
    if (file_exists(group) != 0)
        return;
    if (add_separator(group) != 0)
        return;
    add_group_shortcut(link_name, program_file, group, install_dir);
}

void create_program_group(HWND dialog, const char* install_dir) {
    (void)dialog;
    char programs[PATH_SIZE];
    memset(programs, 0, sizeof programs);
    special_folder_path(CSIDL_COMMON_PROGRAMS, programs);
    if (programs[0] == '\0')
        special_folder_path(CSIDL_PROGRAMS, programs);
    if (programs[0] == '\0')
        return;
    create_group_in(programs, install_dir);
}

void create_program_link_in(const char* folder, const char* program) {
    char link_path[PATH_SIZE] = "";
    if (folder[0] == '\0' || append_text(link_path, PATH_SIZE, folder) != 0 || add_separator(link_path) != 0 ||
        append_text(link_path, PATH_SIZE, link_name) != 0 || append_text(link_path, PATH_SIZE, link_extension) != 0)
        return;
    char work_dir[PATH_SIZE] = "";
    if (append_text(work_dir, PATH_SIZE, program) != 0)
        return;
    strip_last_component(work_dir);
    create_shell_link(program, work_dir, link_path, link_name);
}

void create_desktop_icon(HWND dialog, const char* program) {
    (void)dialog;
    char desktop[PATH_SIZE];
    memset(desktop, 0, sizeof desktop);
    special_folder_path(CSIDL_DESKTOP, desktop);
    if (desktop[0] == '\0')
        return;
    create_program_link_in(desktop, program);
}
