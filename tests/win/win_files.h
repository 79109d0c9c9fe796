// Files and folders for the Windows tests: scratch trees removed with everything in them, listings, small
// text files, and the Unix paths of the build as Wine sees them.
#pragma once
#include <windows.h>
#include <stdio.h>

#include <algorithm>
#include <string>
#include <vector>

namespace win_files {

// DIR and everything below it, read-only files included; nothing when DIR does not exist or is empty (an
// empty DIR would name the root of the current drive).
inline void remove_tree(const std::string& dir) {
    if (dir.empty())
        return;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((dir + "\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            std::string name = found.cFileName;
            if (name == "." || name == "..")
                continue;
            std::string path = dir + "\\" + name;
            SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                remove_tree(path);
            else
                DeleteFileA(path.c_str());
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    RemoveDirectoryA(dir.c_str());
}

// Appends the files below DIR to NAMES as PREFIX and their path below DIR, and with FOLDERS every folder
// too, ending with a backslash.
inline void collect_tree(const std::string& dir, const std::string& prefix, bool folders,
                         std::vector<std::string>* names) {
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((dir + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return;
    do {
        std::string name = found.cFileName;
        if (name == "." || name == "..")
            continue;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            if (folders)
                names->push_back(prefix + name + "\\");
            collect_tree(dir + "\\" + name, prefix + name + "\\", folders, names);
        } else {
            names->push_back(prefix + name);
        }
    } while (FindNextFileA(search, &found));
    FindClose(search);
}

inline std::vector<std::string> sorted_tree(const std::string& dir, bool folders) {
    std::vector<std::string> names;
    collect_tree(dir, "", folders, &names);
    std::sort(names.begin(), names.end());
    return names;
}

// Every file and folder below DIR (folders end with a backslash), sorted.
inline std::vector<std::string> list_tree(const std::string& dir) { return sorted_tree(dir, true); }

// Every file below DIR, without the folders, sorted.
inline std::vector<std::string> list_files(const std::string& dir) { return sorted_tree(dir, false); }

inline bool write_text(const std::string& path, const std::string& data) {
    FILE* f = fopen(path.c_str(), "wb");
    if (!f)
        return false;
    bool ok = fwrite(data.data(), 1, data.size(), f) == data.size();
    return fclose(f) == 0 && ok;
}

// The file's bytes, or "<missing>".
inline std::string read_text(const std::string& path) {
    FILE* f = fopen(path.c_str(), "rb");
    if (!f)
        return "<missing>";
    std::string data;
    char buffer[4096];
    size_t got;
    while ((got = fread(buffer, 1, sizeof buffer, f)) > 0)
        data.append(buffer, got);
    fclose(f);
    return data;
}

inline bool exists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// A Unix path as Wine sees it: through drive Z:, with backslashes.
inline std::string windows_path(const std::string& unix_path) {
    std::string path = unix_path;
    if (!path.empty() && path[0] == '/')
        path = "Z:" + path;
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

}  // namespace win_files
