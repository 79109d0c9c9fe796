#include "tests/ui/install_state.h"

#include <objbase.h>
#include <objidl.h>
#include <shlobj.h>
#include <shlwapi.h>
#include <stdio.h>

#include <algorithm>

namespace ui {

const char* const kUserKey = "Software\\Pellamor\\ZUNO";
const char* const kUninstallKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Ordavin";

std::string windows_path(const std::string& host_path) {
    std::string p = "Z:" + host_path;
    for (char& c : p)
        if (c == '/')
            c = '\\';
    return p;
}

std::string special_folder(int csidl) {
    char path[MAX_PATH] = "";
    if (SHGetFolderPathA(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path) != S_OK)
        return std::string();
    return path;
}

std::string first_install_folder() {
    std::string base;
    if (!read_reg_string(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion", "ProgramFilesDir",
                         &base))
        base = "C:\\Program Files";
    if (!base.empty() && base.back() != '\\')
        base += '\\';
    return base + "ZUNO";
}

bool read_reg_string(HKEY root, const char* key, const char* value, std::string* out, DWORD* type) {
    HKEY h;
    if (RegOpenKeyExA(root, key, 0, KEY_READ, &h) != ERROR_SUCCESS)
        return false;
    char data[1024];
    DWORD size = sizeof data - 1, t = 0;
    LONG r = RegQueryValueExA(h, value, nullptr, &t, reinterpret_cast<BYTE*>(data), &size);
    RegCloseKey(h);
    if (r != ERROR_SUCCESS)
        return false;
    data[size] = '\0';
    *out = data;
    if (type)
        *type = t;
    return true;
}

bool reg_key_exists(HKEY root, const char* key) {
    HKEY h;
    if (RegOpenKeyExA(root, key, 0, KEY_READ, &h) != ERROR_SUCCESS)
        return false;
    RegCloseKey(h);
    return true;
}

bool read_shortcut(const std::string& lnk_path, Shortcut* out) {
    HRESULT init = CoInitialize(nullptr);
    bool ok = false;
    IShellLinkA* link = nullptr;
    if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                   reinterpret_cast<void**>(&link)))) {
        IPersistFile* file = nullptr;
        if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
            WCHAR wide[MAX_PATH];
            MultiByteToWideChar(CP_ACP, 0, lnk_path.c_str(), -1, wide, MAX_PATH);
            if (SUCCEEDED(file->Load(wide, STGM_READ))) {
                char buf[MAX_PATH * 2];
                Shortcut s;
                buf[0] = '\0';
                link->GetPath(buf, sizeof buf, nullptr, SLGP_RAWPATH);
                s.target = buf;
                buf[0] = '\0';
                link->GetWorkingDirectory(buf, sizeof buf);
                s.working_dir = buf;
                buf[0] = '\0';
                link->GetDescription(buf, sizeof buf);
                s.description = buf;
                buf[0] = '\0';
                link->GetArguments(buf, sizeof buf);
                s.arguments = buf;
                *out = s;
                ok = true;
            }
            file->Release();
        }
        link->Release();
    }
    if (SUCCEEDED(init))
        CoUninitialize();
    return ok;
}

std::string group_shortcut_path() {
    std::string programs = special_folder(CSIDL_COMMON_PROGRAMS);
    if (programs.empty())
        programs = special_folder(CSIDL_PROGRAMS);
    return programs + "\\ZUNO\\Ordavin.lnk";
}

std::string desktop_shortcut_path() {
    return special_folder(CSIDL_DESKTOPDIRECTORY) + "\\Ordavin.lnk";
}

std::string ini_language(const std::string& ini_path, bool* present) {
    const char* absent = "\x01" "absent";
    char value[256];
    GetPrivateProfileStringA("ZUNO", "Language", absent, value, sizeof value, ini_path.c_str());
    *present = strcmp(value, absent) != 0;
    return *present ? std::string(value) : std::string();
}

namespace {

uint32_t crc_table[256];

void build_crc() {
    if (crc_table[1])
        return;
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t c = i;
        for (int k = 0; k < 8; ++k)
            c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        crc_table[i] = c;
    }
}

// Calls VISIT(relative name, is_folder) for every file and folder below ROOT, a folder before its contents.
template <typename Visit>
void walk_tree(const std::string& root, const std::string& relative, Visit visit) {
    WIN32_FIND_DATAA fd;
    std::string dir = relative.empty() ? root : root + "\\" + relative;
    HANDLE h = FindFirstFileA((dir + "\\*").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE)
        return;
    do {
        if (!strcmp(fd.cFileName, ".") || !strcmp(fd.cFileName, ".."))
            continue;
        std::string name = relative.empty() ? fd.cFileName : relative + "\\" + fd.cFileName;
        bool folder = (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        visit(name, folder);
        if (folder)
            walk_tree(root, name, visit);
    } while (FindNextFileA(h, &fd));
    FindClose(h);
}

}  // namespace

uint32_t file_crc32(const std::string& path, bool* ok) {
    build_crc();
    *ok = false;
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                           0, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return 0;
    uint32_t crc = 0xFFFFFFFFu;
    unsigned char buf[65536];
    DWORD got = 0;
    while (ReadFile(h, buf, sizeof buf, &got, nullptr) && got)
        for (DWORD i = 0; i < got; ++i)
            crc = crc_table[(crc ^ buf[i]) & 0xFF] ^ (crc >> 8);
    CloseHandle(h);
    *ok = true;
    return crc ^ 0xFFFFFFFFu;
}

bool file_info(const std::string& path, FileInfo* out) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data))
        return false;
    FileInfo info;
    size_t slash = path.find_last_of('\\');
    info.name = slash == std::string::npos ? path : path.substr(slash + 1);
    info.size = (uint64_t(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    info.attributes = data.dwFileAttributes;
    info.write_time = data.ftLastWriteTime;
    bool ok = false;
    info.crc = file_crc32(path, &ok);
    *out = info;
    return ok;
}

std::vector<FileInfo> list_files(const std::string& folder) {
    std::vector<FileInfo> out;
    walk_tree(folder, std::string(), [&](const std::string& name, bool is_folder) {
        FileInfo info;
        if (!is_folder && file_info(folder + "\\" + name, &info)) {
            info.name = name;
            out.push_back(info);
        }
    });
    return out;
}

std::vector<std::string> list_tree(const std::string& folder) {
    std::vector<std::string> out;
    walk_tree(folder, std::string(), [&](const std::string& name, bool is_folder) {
        out.push_back(is_folder ? name + "\\" : name);
    });
    std::sort(out.begin(), out.end());
    return out;
}

bool path_exists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool remove_tree(const std::string& folder) {
    if (!path_exists(folder))
        return true;
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA((folder + "\\*").c_str(), &fd);
    if (h != INVALID_HANDLE_VALUE) {
        do {
            if (!strcmp(fd.cFileName, ".") || !strcmp(fd.cFileName, ".."))
                continue;
            std::string p = folder + "\\" + fd.cFileName;
            if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                remove_tree(p);
            } else {
                SetFileAttributesA(p.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileA(p.c_str());
            }
        } while (FindNextFileA(h, &fd));
        FindClose(h);
    }
    SetFileAttributesA(folder.c_str(), FILE_ATTRIBUTE_NORMAL);
    RemoveDirectoryA(folder.c_str());
    return !path_exists(folder);
}

void reset_install_state() {
    SHDeleteKeyA(HKEY_CURRENT_USER, kUserKey);
    SHDeleteKeyA(HKEY_LOCAL_MACHINE, kUninstallKey);
    for (int csidl : {CSIDL_COMMON_PROGRAMS, CSIDL_PROGRAMS}) {
        std::string programs = special_folder(csidl);
        if (!programs.empty())
            remove_tree(programs + "\\ZUNO");
    }
    DeleteFileA(desktop_shortcut_path().c_str());
}

std::string format_file_time(const FILETIME& utc) {
    FILETIME local;
    SYSTEMTIME st;
    FileTimeToLocalFileTime(&utc, &local);
    FileTimeToSystemTime(&local, &st);
    char buf[32];
    snprintf(buf, sizeof buf, "%04u-%02u-%02u %02u:%02u:%02u", st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute,
             st.wSecond);
    return buf;
}

}  // namespace ui
