// What an install leaves on the system, read back the way the product and the shell would see it: files with
// checksums, times and attributes, registry values, the INI record and the shortcuts. Also puts the system
// back into the state before any install.
#pragma once

#include <windows.h>

#include <stdint.h>

#include <string>
#include <vector>

namespace ui {

extern const char* const kUserKey;        // HKCU: "Software\Pellamor\ZUNO", value "Dir"
extern const char* const kUninstallKey;   // HKLM: "SOFTWARE\...\Uninstall\Ordavin"

// "/a/b" -> "Z:\a\b": a host path as Wine's Z: drive shows it.
std::string windows_path(const std::string& host_path);
std::string special_folder(int csidl);
// The folder a first install proposes: ProgramFilesDir followed by "\ZUNO".
std::string first_install_folder();

bool read_reg_string(HKEY root, const char* key, const char* value, std::string* out, DWORD* type = nullptr);
bool reg_key_exists(HKEY root, const char* key);

struct Shortcut {
    std::string target;
    std::string working_dir;
    std::string description;
    std::string arguments;
};
bool read_shortcut(const std::string& lnk_path, Shortcut* out);
std::string group_shortcut_path();     // all users' programs\ZUNO\Ordavin.lnk
std::string desktop_shortcut_path();   // the user's desktop\Ordavin.lnk

// The value of "Language" in section "ZUNO" of the INI file; present is false without file or key.
std::string ini_language(const std::string& ini_path, bool* present);

struct FileInfo {
    std::string name;   // relative to the listed folder
    uint64_t size = 0;
    DWORD attributes = 0;
    FILETIME write_time{};
    uint32_t crc = 0;
};
std::vector<FileInfo> list_files(const std::string& folder);
// Every file and folder below the folder, sorted, folders with a trailing backslash.
std::vector<std::string> list_tree(const std::string& folder);
bool file_info(const std::string& path, FileInfo* out);
uint32_t file_crc32(const std::string& path, bool* ok);
bool path_exists(const std::string& path);

bool remove_tree(const std::string& folder);
// Deletes the per-user key, the uninstall entry and both shortcuts (with the group folder).
void reset_install_state();

std::string format_file_time(const FILETIME& utc);   // local time, "YYYY-MM-DD hh:mm:ss"

}  // namespace ui
