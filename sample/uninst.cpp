// UnInst.exe, the sample product's uninstaller. After asking, it removes the product's files from its own
// folder, the Start-menu group and desktop shortcuts, the recorded install folder and the uninstall entry.
// Files it does not know stay, and so does the folder when anything is left in it.
//
// A running program cannot delete itself: the last step runs from a copy in the temporary folder
// ("/finish <process id> <folder>"), which waits for the first instance to end and then removes it.
// "/Y" answers the question with yes (for scripted removal).
#include <windows.h>
#include <shlobj.h>
#include <stdlib.h>
#include <string.h>

namespace {

const char kProduct[] = "Ordavin";
const char kWindowClass[] = "ZUNO";
const char kSelf[] = "UnInst.exe";
const char kUserKey[] = "Software\\Pellamor\\ZUNO";
const char kUninstallKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Ordavin";
const char kShortcut[] = "Ordavin.lnk";
const char kGroup[] = "ZUNO";

// Files of the product; the patterns cover every language package.
const char* const kProductFiles[] = {
    "ZUNO.exe", "ZUNORES.DLL", "FILE_ID.DIZ", "ZUNO.INI", "ZUNO_??.HLP", "ZUNO_??.CHM", "ZUNO_??.LNG", "ZUNO_??.GID",
};

// Joins A, a backslash when A does not end with one, and B into OUT (MAX_PATH bytes). 0 when it fits.
int join(char* out, const char* a, const char* b) {
    size_t la = strlen(a), lb = strlen(b);
    int separator = la > 0 && a[la - 1] != '\\';
    if (la + separator + lb + 1 > MAX_PATH)
        return 1;
    memcpy(out, a, la);
    if (separator)
        out[la++] = '\\';
    memcpy(out + la, b, lb + 1);
    return 0;
}

int own_folder(char* folder) {
    DWORD length = GetModuleFileNameA(nullptr, folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return 1;
    char* slash = strrchr(folder, '\\');
    if (!slash)
        return 1;
    *slash = '\0';
    return 0;
}

void delete_matching(const char* folder, const char* pattern) {
    char path[MAX_PATH];
    if (join(path, folder, pattern))
        return;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(path, &found);
    if (search == INVALID_HANDLE_VALUE)
        return;
    do {
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            continue;
        char file[MAX_PATH];
        if (join(file, folder, found.cFileName) == 0) {
            SetFileAttributesA(file, FILE_ATTRIBUTE_NORMAL);
            DeleteFileA(file);
        }
    } while (FindNextFileA(search, &found));
    FindClose(search);
}

void remove_shortcuts() {
    char folder[MAX_PATH], path[MAX_PATH];
    const int group_roots[] = {CSIDL_COMMON_PROGRAMS, CSIDL_PROGRAMS};
    for (int root : group_roots) {
        if (!SHGetSpecialFolderPathA(nullptr, folder, root, FALSE))
            continue;
        char group[MAX_PATH];
        if (join(group, folder, kGroup) || join(path, group, kShortcut))
            continue;
        DeleteFileA(path);
        RemoveDirectoryA(group);  // only when nothing else is in it
    }
    if (SHGetSpecialFolderPathA(nullptr, folder, CSIDL_DESKTOPDIRECTORY, FALSE) && join(path, folder, kShortcut) == 0)
        DeleteFileA(path);
}

void remove_registry_entries() {
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kUserKey, 0, KEY_READ | KEY_WRITE, &key) == ERROR_SUCCESS) {
        RegDeleteValueA(key, "Dir");
        DWORD subkeys = 1, values = 1;
        RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr, nullptr,
                         nullptr, nullptr);
        RegCloseKey(key);
        if (subkeys == 0 && values == 0)
            RegDeleteKeyA(HKEY_CURRENT_USER, kUserKey);
    }
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, kUninstallKey);
}

// Ends a running product so its files can be deleted; bounded like the setup's own search.
void close_product() {
    for (int round = 0; round < 20; ++round) {
        HWND window = FindWindowA(kWindowClass, nullptr);
        if (!window)
            return;
        DWORD_PTR answer;
        if (!SendMessageTimeoutA(window, WM_DESTROY, 0, 0, SMTO_ABORTIFHUNG, 2000, &answer))
            return;
        Sleep(50);
    }
}

// Hands the removal of this program and its folder to a copy in the temporary folder.
void start_finisher(const char* folder) {
    char self[MAX_PATH], temp[MAX_PATH], copy[MAX_PATH];
    if (GetModuleFileNameA(nullptr, self, MAX_PATH) >= MAX_PATH)
        return;
    DWORD length = GetTempPathA(MAX_PATH, temp);
    if (length == 0 || length >= MAX_PATH || join(copy, temp, "ZUNO-UnInst.exe"))
        return;
    if (!CopyFileA(self, copy, FALSE))
        return;
    char command[3 * MAX_PATH + 40];
    wsprintfA(command, "\"%s\" /finish %lu \"%s\"", copy, GetCurrentProcessId(), folder);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process;
    if (CreateProcessA(copy, command, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
}

// The copy's work: wait for the first instance, remove it and the folder if empty, then this copy itself.
int finish(const char* arguments) {
    char* end = nullptr;
    unsigned long pid = strtoul(arguments, &end, 10);
    while (*end == ' ')
        ++end;
    char folder[MAX_PATH];
    const char* start = *end == '"' ? end + 1 : end;
    lstrcpynA(folder, start, MAX_PATH);
    size_t length = strlen(folder);
    if (length && folder[length - 1] == '"')
        folder[length - 1] = '\0';
    HANDLE first = OpenProcess(SYNCHRONIZE, FALSE, pid);
    if (first) {
        WaitForSingleObject(first, 30000);
        CloseHandle(first);
    }
    char path[MAX_PATH];
    if (join(path, folder, kSelf) == 0)
        DeleteFileA(path);
    RemoveDirectoryA(folder);
    char self[MAX_PATH];
    if (GetModuleFileNameA(nullptr, self, MAX_PATH) < MAX_PATH)
        MoveFileExA(self, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
    return 0;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR command_line, int) {
    if (strncmp(command_line, "/finish ", 8) == 0)
        return finish(command_line + 8);

    char folder[MAX_PATH];
    if (own_folder(folder)) {
        MessageBoxA(nullptr, "Cannot find the program's folder.", kProduct, MB_ICONERROR);
        return 1;
    }
    int ask = strstr(command_line, "/Y") == nullptr && strstr(command_line, "/y") == nullptr;
    if (ask) {
        char question[MAX_PATH + 80];
        wsprintfA(question, "Remove %s and all of its components from\n%s?", kProduct, folder);
        if (MessageBoxA(nullptr, question, kProduct, MB_YESNO | MB_ICONQUESTION) != IDYES)
            return 0;
    }
    close_product();
    for (const char* pattern : kProductFiles)
        delete_matching(folder, pattern);
    remove_shortcuts();
    remove_registry_entries();
    if (ask)
        MessageBoxA(nullptr, "Ordavin has been removed.", kProduct, MB_ICONINFORMATION);
    start_finisher(folder);
    return 0;
}
