#include "system/uninstall.h"

#include <windows.h>
#include <stdio.h>
#include <string.h>

void register_uninstall(const char* uninstaller) {
    static const char product[] = "Ordavin";
    char key_path[512];
    snprintf(key_path, sizeof key_path, "%s%s", "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\", product);
    HKEY key;
    DWORD disposition;
    // An existing entry is opened as it is: its class stays the one it was created with.
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key_path, 0, KEY_WRITE, &key) != ERROR_SUCCESS &&
        RegCreateKeyExA(HKEY_LOCAL_MACHINE, key_path, 0, (LPSTR)product, REG_OPTION_NON_VOLATILE, KEY_WRITE, NULL,
                        &key, &disposition) != ERROR_SUCCESS)
        return;
    RegSetValueExA(key, "DisplayName", 0, REG_SZ, (const BYTE*)product, (DWORD)strlen(product));
    RegSetValueExA(key, "UninstallString", 0, REG_SZ, (const BYTE*)uninstaller, (DWORD)strlen(uninstaller));
    RegCloseKey(key);
}
