#include "system/paths.h"

#include <windows.h>
#include <string.h>

int add_separator(char* path, size_t size) {
    uint16_t length = (uint16_t)strlen(path);
    if (length == 0 || path[length - 1] == '\\')
        return 0;
    if ((size_t)length + 2 > size)
        return 1;
    path[length] = '\\';
    path[length + 1] = '\0';
    return 0;
}

uint16_t last_separator(const char* path) {
    uint16_t after = 0;
    for (uint16_t i = 0; path[i] != '\0'; i++) {
        if (path[i] == '\\' || path[i] == '/')
            after = (uint16_t)(i + 1);
    }
    return after;
}

void parent_dir(char* path) {
    size_t cut = 0;
    for (size_t i = 0; path[i] != '\0'; i++) {
        if (path[i] == '\\')
            cut = i;
    }
    if (cut == 2)
        cut = 3;
    path[cut] = '\0';
}

void strip_last_component(char* path) {
    size_t cut = 0;
    for (size_t i = 0; path[i] != '\0'; i++) {
        if (path[i] == '\\' || path[i] == '/')
            cut = i;
    }
    if (cut == 2 && path[1] == ':')
        cut = 3;
    path[cut] = '\0';
}

int file_exists(const char* path) {
    return GetFileAttributesA(path) == INVALID_FILE_ATTRIBUTES ? 2 : 0;
}

void expand_full_path(char* path) {
    char full[PATH_SIZE];
    full[0] = '\0';
    DWORD length = GetFullPathNameA(path, PATH_SIZE, full, NULL);
    if (length > 0 && length < PATH_SIZE)
        memcpy(path, full, (size_t)length + 1);
}

int make_dirs(const char* path) {
    char folder[PATH_SIZE];
    size_t length = strlen(path);
    if (length >= PATH_SIZE)
        return 2;
    memcpy(folder, path, length + 1);
    // A trailing backslash would make the parent the folder itself: the recursion would create it and
    // the final creation would then fail on a folder that exists. A drive root keeps its backslash.
    while (length > 0 && folder[length - 1] == '\\' && !(length == 3 && folder[1] == ':'))
        folder[--length] = '\0';

    if (CreateDirectoryA(folder, NULL))
        return 0;
    if (GetLastError() != ERROR_PATH_NOT_FOUND)
        return 2;

    char parent[PATH_SIZE];
    memcpy(parent, folder, length + 1);
    parent_dir(parent);
    if (strlen(parent) < 4)
        return 2;  // a drive root is never created
    int result = make_dirs(parent);
    if (result != 0)
        return result;
    return CreateDirectoryA(folder, NULL) ? 0 : 3;
}

int append_text(char* buffer, size_t size, const char* text) {
    size_t used = strlen(buffer);
    size_t extra = strlen(text);
    if (used + extra + 1 > size)
        return 1;
    memcpy(buffer + used, text, extra + 1);
    return 0;
}
