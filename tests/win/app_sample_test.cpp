// The sample product that the demo setups carry: its program answers the setup's closing, and its
// uninstaller removes what the setup made and nothing else.
#include "app_fixture.h"

#include <shlobj.h>
#include <stdio.h>

#include "app/dialog.h"
#include "tests/win/win_files.h"

namespace {

using win_files::exists;
using win_files::windows_path;

void write_text(const std::string& path, const char* text) {
    FILE* f = fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr) << path;
    fputs(text, f);
    fclose(f);
}

class SampleProduct : public ::testing::Test {
protected:
    void SetUp() override {
        char temp[MAX_PATH];
        GetTempPathA(MAX_PATH, temp);
        folder_ = std::string(temp) + "zuno-sample-" + std::to_string(GetCurrentProcessId());
        CreateDirectoryA(folder_.c_str(), nullptr);
        for (const char* name : {"ZUNO.exe", "UnInst.exe", "ZUNORES.DLL"})
            ASSERT_TRUE(CopyFileA(windows_path(std::string(ORDAVIN_SAMPLE_DIR) + "/" + name).c_str(),
                                  (folder_ + "\\" + name).c_str(), FALSE))
                << name;
    }
    void TearDown() override { win_files::remove_tree(folder_); }
    HANDLE start(const char* program, const char* arguments) {
        std::string command = "\"" + folder_ + "\\" + program + "\" " + arguments;
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process;
        if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, folder_.c_str(), &startup,
                            &process))
            return nullptr;
        CloseHandle(process.hThread);
        return process.hProcess;
    }
    std::string folder_;
};

TEST_F(SampleProduct, ProgramShowsItsLanguageAndEndsWhenTheSetupClosesIt) {
    write_text(folder_ + "\\ZUNO.INI", "[ZUNO]\r\nLanguage=FR\r\n");
    // A class of its own, so that setups run by other tests at the same time leave this window alone.
    const std::string window_class = "ZUNO_SAMPLE_" + std::to_string(GetCurrentProcessId());
    HANDLE process = start("ZUNO.exe", ("/class " + window_class).c_str());
    ASSERT_NE(process, nullptr);
    WaitForInputIdle(process, 20000);
    HWND window = nullptr;
    for (int i = 0; i < 200 && !window; ++i) {
        window = FindWindowA(window_class.c_str(), nullptr);
        if (!window)
            Sleep(50);
    }
    ASSERT_NE(window, nullptr) << "no window of class " << window_class;
    char title[64];
    GetWindowTextA(window, title, sizeof title);
    EXPECT_STREQ(title, "Ordavin [FR]");

    EXPECT_EQ(close_running_product(window_class.c_str(), 20, 2000), 0);
    EXPECT_EQ(WaitForSingleObject(process, 20000), WAIT_OBJECT_0) << "the product must end";
    DWORD code = 1;
    GetExitCodeProcess(process, &code);
    EXPECT_EQ(code, 0u);
    CloseHandle(process);
}

std::string special_folder(int id) {
    char path[MAX_PATH] = {};
    SHGetSpecialFolderPathA(nullptr, path, id, TRUE);
    return path;
}

TEST_F(SampleProduct, UninstallerRemovesTheProductAndKeepsForeignFiles) {
    const char* product_files[] = {"ZUNO.INI", "ZUNO_DE.HLP", "ZUNO_US.CHM", "ZUNO_FR.LNG", "FILE_ID.DIZ"};
    for (const char* name : product_files)
        write_text(folder_ + "\\" + name, "x");
    write_text(folder_ + "\\notes.txt", "the user's own");
    write_text(folder_ + "\\ZUNO_LONG.TXT", "not a product name");

    // What the setup leaves outside the folder: shortcuts and registry entries.
    std::string group = special_folder(CSIDL_COMMON_PROGRAMS) + "\\ZUNO";
    CreateDirectoryA(group.c_str(), nullptr);
    write_text(group + "\\Ordavin.lnk", "link");
    std::string desktop_link = special_folder(CSIDL_DESKTOPDIRECTORY) + "\\Ordavin.lnk";
    write_text(desktop_link, "link");
    HKEY key;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Pellamor\\ZUNO", 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                              nullptr),
              ERROR_SUCCESS);
    RegSetValueExA(key, "Dir", 0, REG_SZ, reinterpret_cast<const BYTE*>(folder_.c_str()),
                   static_cast<DWORD>(folder_.size()));
    RegCloseKey(key);
    const char uninstall_key[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Ordavin";
    bool machine_key = RegCreateKeyExA(HKEY_LOCAL_MACHINE, uninstall_key, 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                                       nullptr) == ERROR_SUCCESS;
    if (machine_key)
        RegCloseKey(key);

    HANDLE process = start("UnInst.exe", "/Y");
    ASSERT_NE(process, nullptr);
    ASSERT_EQ(WaitForSingleObject(process, 60000), WAIT_OBJECT_0);
    CloseHandle(process);

    for (const char* name : {"ZUNO.exe", "ZUNORES.DLL", "ZUNO.INI", "ZUNO_DE.HLP", "ZUNO_US.CHM", "ZUNO_FR.LNG",
                             "FILE_ID.DIZ"})
        EXPECT_FALSE(exists(folder_ + "\\" + name)) << name;
    EXPECT_TRUE(exists(folder_ + "\\notes.txt"));
    EXPECT_TRUE(exists(folder_ + "\\ZUNO_LONG.TXT"));
    EXPECT_FALSE(exists(group + "\\Ordavin.lnk"));
    EXPECT_FALSE(exists(group)) << "the emptied group goes too";
    EXPECT_FALSE(exists(desktop_link));
    bool dir_recorded = false;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Pellamor\\ZUNO", 0, KEY_READ, &key) == ERROR_SUCCESS) {
        dir_recorded = RegQueryValueExA(key, "Dir", nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
        RegCloseKey(key);
    }
    EXPECT_FALSE(dir_recorded);
    if (machine_key) {
        EXPECT_NE(RegOpenKeyExA(HKEY_LOCAL_MACHINE, uninstall_key, 0, KEY_READ, &key), ERROR_SUCCESS);
    }

    // The uninstaller itself goes last, removed by its copy once it has ended.
    bool gone = false;
    for (int i = 0; i < 200 && !gone; ++i) {
        gone = !exists(folder_ + "\\UnInst.exe");
        if (!gone)
            Sleep(50);
    }
    EXPECT_TRUE(gone);
    EXPECT_TRUE(exists(folder_)) << "a folder with foreign files stays";
}

}  // namespace
