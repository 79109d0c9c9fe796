#include "system/install_dir.h"

#include <shlobj.h>
#include <string.h>

#include "system/paths.h"

#include "app/languages.h"

namespace {

const char user_key[] = "Software\\Pellamor\\ZUNO";
const char machine_key[] = "Software\\Microsoft\\Windows\\CurrentVersion";
const char product_folder[] = "ZUNO";

// Reads a value into a PATH_SIZE buffer as text ending at its terminator. A value without a terminator
// inside the buffer does not fit and counts as absent, like one too big to read.
bool read_path_value(HKEY root, const char* key_name, const char* value_name, char* out) {
    memset(out, 0, PATH_SIZE);
    HKEY key;
    if (RegOpenKeyExA(root, key_name, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    DWORD size = PATH_SIZE;
    LONG status = RegQueryValueExA(key, value_name, NULL, NULL, (BYTE*)out, &size);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS || memchr(out, '\0', PATH_SIZE) == NULL) {
        out[0] = '\0';
        return false;
    }
    return true;
}

// FOLDER + backslash + "ZUNO", in place; the folder is left unchanged when the result would not fit.
bool append_product_folder(char* folder) {
    char composed[PATH_SIZE];
    strcpy(composed, folder);
    if (add_separator(composed) != 0 || append_text(composed, PATH_SIZE, product_folder) != 0)
        return false;
    strcpy(folder, composed);
    return true;
}

// The parent of the Windows folder with "Programme" when that exists, else with "Program Files".
bool windows_fallback(char* out) {
    out[0] = '\0';
    UINT length = GetWindowsDirectoryA(out, PATH_SIZE);
    if (length == 0 || length >= PATH_SIZE) {
        out[0] = '\0';
        return false;
    }
    parent_dir(out);
    if (add_separator(out) != 0)
        return false;
    size_t n = strlen(out);
    if (append_text(out, PATH_SIZE, "Programme") == 0 && file_exists(out) == 0)
        return true;
    out[n] = '\0';
    return append_text(out, PATH_SIZE, "Program Files") == 0;
}

void free_item_list(LPITEMIDLIST items) {
    IMalloc* allocator = NULL;
    if (SHGetMalloc(&allocator) == S_OK && allocator != NULL) {
        allocator->Free(items);
        allocator->Release();
    }
}

LPITEMIDLIST parse_folder(IShellFolder* desktop, HWND owner, const char* text) {
    WCHAR wide[PATH_SIZE];
    if (MultiByteToWideChar(CP_ACP, 0, text, -1, wide, PATH_SIZE) == 0)
        return NULL;
    ULONG eaten = 0;
    LPITEMIDLIST items = NULL;
    if (FAILED(desktop->ParseDisplayName(owner, NULL, wide, &eaten, &items, NULL)))
        return NULL;
    return items;
}

}  // namespace

void program_files_dir(char* out) {
    read_path_value(HKEY_LOCAL_MACHINE, machine_key, "ProgramFilesDir", out);
}

void default_install_dir(char* out) {
    if (read_path_value(HKEY_CURRENT_USER, user_key, "Dir", out) && out[0] != '\0') {
        detect_installed_languages(out);
        return;
    }
    program_files_dir(out);
    if (out[0] != '\0' && append_product_folder(out))
        return;
    // No programs folder recorded, or one too long to take "\ZUNO": the Windows folder's drive.
    if (windows_fallback(out) && append_product_folder(out))
        return;
    out[0] = '\0';
}

void save_install_dir(const char* folder) {
    HKEY key;
    DWORD disposition;
    // The class belongs to the key's creation: open an existing key first, since some registry
    // implementations replace the class when RegCreateKeyExA meets an existing key.
    if (RegOpenKeyExA(HKEY_CURRENT_USER, user_key, 0, KEY_WRITE, &key) != ERROR_SUCCESS &&
        RegCreateKeyExA(HKEY_CURRENT_USER, user_key, 0, (LPSTR)folder, REG_OPTION_NON_VOLATILE, KEY_WRITE,
                        NULL, &key, &disposition) != ERROR_SUCCESS)
        return;
    RegSetValueExA(key, "Dir", 0, REG_SZ, (const BYTE*)folder, (DWORD)strlen(folder));
    RegCloseKey(key);
}

int CALLBACK browse_callback(HWND browser, UINT message, LPARAM param, LPARAM data) {
    (void)param;
    if (message == BFFM_INITIALIZED)
        SendMessageA(browser, BFFM_SETSELECTIONA, FALSE, data);
    return 0;
}

void browse_for_folder(HWND dialog, int field_id) {
    char text[PATH_SIZE];
    text[0] = '\0';
    GetDlgItemTextA(dialog, field_id, text, PATH_SIZE);

    BROWSEINFOA info;
    memset(&info, 0, sizeof info);
    info.hwndOwner = dialog;
    info.ulFlags = BIF_RETURNONLYFSDIRS;

    // The shell's browser and its folders want COM on this thread; balance only what succeeded here.
    HRESULT ole = OleInitialize(NULL);
    IMalloc* allocator = NULL;
    IShellFolder* desktop = NULL;
    LPITEMIDLIST start = NULL;
    if (text[0] != '\0' && SHGetMalloc(&allocator) == S_OK && allocator != NULL &&
        SUCCEEDED(SHGetDesktopFolder(&desktop)) && desktop != NULL) {
        expand_full_path(text);
        start = parse_folder(desktop, dialog, text);
        if (start == NULL) {
            strip_last_component(text);
            start = parse_folder(desktop, dialog, text);
        }
        if (start != NULL) {
            info.lpfn = browse_callback;
            info.lParam = (LPARAM)start;
        }
    }

    LPITEMIDLIST chosen = SHBrowseForFolderA(&info);
    if (chosen != NULL) {
        if (SHGetPathFromIDListA(chosen, text))
            SetDlgItemTextA(dialog, field_id, text);
        free_item_list(chosen);
    }
    if (start != NULL && allocator != NULL)
        allocator->Free(start);
    if (desktop != NULL)
        desktop->Release();
    if (allocator != NULL)
        allocator->Release();
    if (SUCCEEDED(ole))
        OleUninitialize();
}
