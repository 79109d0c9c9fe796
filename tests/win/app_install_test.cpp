// The install sequence's guards: an empty field, a folder too long for the names appended to it, a
// folder that cannot be created.
#include "app_fixture.h"

#include "app/install.h"
#include "tests/win/win_files.h"

namespace {

class InstallSequence : public SetupDialogTest {
protected:
    void SetUp() override {
        SetupDialogTest::SetUp();
        saved_dir_ = read_saved_dir(&had_saved_dir_);
        // The sequence reads the archive from the module of app_instance. This test program may carry
        // archive-like bytes (the compressor is linked in); a system library surely carries none.
        saved_instance_ = app_instance;
        app_instance = GetModuleHandleA("kernel32.dll");
    }
    void TearDown() override {
        // run_install records the folder for the current user: put back what was there.
        HKEY key;
        if (RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Pellamor\\ZUNO", 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                            nullptr) == ERROR_SUCCESS) {
            if (had_saved_dir_)
                RegSetValueExA(key, "Dir", 0, REG_SZ, reinterpret_cast<const BYTE*>(saved_dir_.c_str()),
                               static_cast<DWORD>(saved_dir_.size()));
            else
                RegDeleteValueA(key, "Dir");
            RegCloseKey(key);
        }
        app_instance = saved_instance_;
        SetupDialogTest::TearDown();
    }
    static std::string read_saved_dir(bool* present) {
        *present = false;
        HKEY key;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Pellamor\\ZUNO", 0, KEY_READ, &key) != ERROR_SUCCESS)
            return "";
        char text[MAX_PATH + 1] = {};
        DWORD size = MAX_PATH;
        *present = RegQueryValueExA(key, "Dir", nullptr, nullptr, reinterpret_cast<BYTE*>(text), &size) == ERROR_SUCCESS;
        RegCloseKey(key);
        return text;
    }
    // A folder text of LENGTH characters under the temporary folder, one long last component.
    static std::string temp_folder_of_length(size_t length) {
        char temp[MAX_PATH];
        GetTempPathA(MAX_PATH, temp);  // ends with a backslash
        std::string folder = temp;
        folder += "zuno-install-";
        while (folder.size() < length)
            folder += 'x';
        folder.resize(length);
        return folder;
    }
    int run_with_folder(const std::string& folder, SeenMessageBox* seen) {
        SetDlgItemTextA(dialog_, ID_FOLDER, folder.c_str());
        int result = -1;
        *seen = with_message_box_answered([&] { result = run_install(dialog_); });
        return result;
    }
    std::string saved_dir_;
    bool had_saved_dir_ = false;
    HINSTANCE saved_instance_ = nullptr;
};

TEST_F(InstallSequence, EmptyFolderDoesNothing) {
    UiLanguage = UI_ENGLISH;
    SeenMessageBox seen;
    EXPECT_EQ(run_with_folder("", &seen), INSTALL_NO_FOLDER);
    EXPECT_FALSE(seen.seen);
    EXPECT_TRUE(is_shown(dialog_, ID_START_MENU));
    EXPECT_FALSE(is_shown(dialog_, ID_PROGRESS));
}

TEST_F(InstallSequence, LongestFolderLeavesRoomForEveryAppendedName) {
    // The backslash and "UnInst.exe", the longest name, after the folder in 259 characters.
    EXPECT_EQ(max_install_folder_length(), 259 - 1 - 10);
}

TEST_F(InstallSequence, FolderTooLongIsRefusedBeforeAnythingIsTouched) {
    UiLanguage = UI_ENGLISH;
    const size_t too_long[] = {259, static_cast<size_t>(max_install_folder_length()) + 1};
    for (size_t length : too_long) {
        std::string folder = temp_folder_of_length(length);
        SeenMessageBox seen;
        EXPECT_EQ(run_with_folder(folder, &seen), INSTALL_BAD_FOLDER) << length;
        EXPECT_TRUE(seen.seen);
        EXPECT_EQ(seen.text, "Cannot create path.");
        EXPECT_EQ(seen.caption, folder);
        EXPECT_EQ(GetFileAttributesA(folder.c_str()), INVALID_FILE_ATTRIBUTES) << "nothing may be created";
        bool present = false;
        EXPECT_NE(read_saved_dir(&present), folder) << "nothing may be recorded";
        EXPECT_TRUE(is_shown(dialog_, ID_START_MENU));
    }
}

TEST_F(InstallSequence, LongestAllowedFolderGoesOnToTheExtraction) {
    UiLanguage = UI_ENGLISH;
    // With and without a trailing backslash: the backslash is not counted twice.
    const std::string bare = temp_folder_of_length(max_install_folder_length());
    const std::string folders[] = {bare, bare + "\\"};
    for (const std::string& folder : folders) {
        SeenMessageBox seen;
        // The module carries no archive: the extraction fails, after the folder was made and recorded.
        EXPECT_EQ(run_with_folder(folder, &seen), INSTALL_EXTRACT_FAILED) << folder.size();
        EXPECT_FALSE(seen.seen) << seen.text;
        EXPECT_NE(GetFileAttributesA(bare.c_str()), INVALID_FILE_ATTRIBUTES);
        bool present = false;
        EXPECT_EQ(read_saved_dir(&present), folder);
        EXPECT_FALSE(is_shown(dialog_, ID_START_MENU));
        EXPECT_TRUE(is_shown(dialog_, ID_PROGRESS));
    }
    RemoveDirectoryA(bare.c_str());
}

TEST_F(InstallSequence, UncreatableFolderShowsTheMessageOfTheInterfaceLanguage) {
    struct Case {
        int ui;
        const char* text;
    } const cases[] = {{UI_ENGLISH, "Cannot create path."}, {UI_GERMAN, "Kann nicht Verzeichnis erstellen."}};
    for (const Case& c : cases) {
        UiLanguage = c.ui;
        SeenMessageBox seen;
        // A drive that does not exist.
        EXPECT_EQ(run_with_folder("Q:\\no\\such\\drive", &seen), INSTALL_BAD_FOLDER);
        EXPECT_TRUE(seen.seen);
        EXPECT_EQ(seen.text, c.text);
        EXPECT_EQ(seen.caption, "Q:\\no\\such\\drive");
    }
}

// The whole sequence on the demo setup: the module of app_instance is the 64-bit demo setup, so the
// archive it carries is the sample product.
class InstallDemo : public InstallSequence {
protected:
    void SetUp() override {
        InstallSequence::SetUp();
        demo_ = LoadLibraryA(ORDAVIN_DEMO_SETUP64);
        if (!demo_)
            GTEST_SKIP() << "no demo setup at " << ORDAVIN_DEMO_SETUP64 << " (made by 'make')";
        app_instance = demo_;
        char temp[MAX_PATH];
        GetTempPathA(MAX_PATH, temp);
        folder_ = std::string(temp) + "zuno-demo-" + std::to_string(GetCurrentProcessId());
    }
    void TearDown() override {
        win_files::remove_tree(folder_);  // still empty when there was no demo setup
        if (demo_)
            FreeLibrary(demo_);
        InstallSequence::TearDown();
    }
    bool installed(const char* name) {
        return GetFileAttributesA((folder_ + "\\" + name).c_str()) != INVALID_FILE_ATTRIBUTES;
    }
    HMODULE demo_ = nullptr;
    std::string folder_;
};

TEST_F(InstallDemo, InstallsTheChosenLanguagesRecordsThemAndReportsSuccess) {
    UiLanguage = UI_GERMAN;
    select_rows(1, 0, 0);  // Deutsch only
    set_check(dialog_, ID_START_MENU, false);
    set_check(dialog_, ID_DESKTOP_ICON, false);
    SeenMessageBox seen;
    ASSERT_EQ(run_with_folder(folder_, &seen), INSTALL_DONE);

    // The success message is English whatever the interface language.
    EXPECT_TRUE(seen.seen);
    EXPECT_EQ(seen.text, "Ordavin has been successfully installed.");
    EXPECT_EQ(seen.caption, "  Setup ");

    for (const char* name : {"ZUNO.exe", "UnInst.exe", "ZUNORES.DLL", "FILE_ID.DIZ", "ZUNO_DE.HLP", "ZUNO_DE.CHM"})
        EXPECT_TRUE(installed(name)) << name;
    for (const char* name : {"ZUNO_US.HLP", "ZUNO_US.CHM", "ZUNO_FR.LNG", "ZUNO_CA.LNG", "ZUNO_UA.LNG"})
        EXPECT_FALSE(installed(name)) << name;

    char language[16];
    GetPrivateProfileStringA("ZUNO", "Language", "", language, sizeof language, (folder_ + "\\ZUNO.INI").c_str());
    EXPECT_STREQ(language, "DE");

    bool present = false;
    EXPECT_EQ(read_saved_dir(&present), folder_) << "recorded as typed, without a backslash";
    EXPECT_FALSE(is_shown(dialog_, ID_START_MENU));
    EXPECT_FALSE(is_shown(dialog_, ID_DESKTOP_ICON));
    EXPECT_TRUE(is_shown(dialog_, ID_PROGRESS));
    EXPECT_EQ(control_text(dialog_, ID_PROGRESS), "");

    // The uninstall entry names the uninstaller with exactly one backslash before it.
    HKEY key;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Ordavin", 0,
                            KEY_READ, &key),
              ERROR_SUCCESS);
    char uninstaller[MAX_PATH] = {};
    DWORD size = sizeof uninstaller - 1;
    RegQueryValueExA(key, "UninstallString", nullptr, nullptr, reinterpret_cast<BYTE*>(uninstaller), &size);
    RegCloseKey(key);
    EXPECT_EQ(std::string(uninstaller), folder_ + "\\UnInst.exe");
}

TEST_F(InstallDemo, SecondInstallOverTheFirstDropsDeselectedLanguages) {
    UiLanguage = UI_ENGLISH;
    set_check(dialog_, ID_START_MENU, false);
    set_check(dialog_, ID_DESKTOP_ICON, false);
    select_rows(1, 1, 1);
    SeenMessageBox seen;
    ASSERT_EQ(run_with_folder(folder_ + "\\", &seen), INSTALL_DONE);
    EXPECT_TRUE(installed("ZUNO_FR.LNG"));
    char language[16];
    const std::string ini = folder_ + "\\ZUNO.INI";
    GetPrivateProfileStringA("ZUNO", "Language", "<none>", language, sizeof language, ini.c_str());
    EXPECT_STREQ(language, "<none>") << "three languages and nothing recorded: nothing to write";

    select_rows(0, 1, 0);  // English only now, into the existing folder
    ASSERT_EQ(run_with_folder(folder_, &seen), INSTALL_DONE);
    EXPECT_TRUE(installed("ZUNO_US.HLP"));
    EXPECT_FALSE(installed("ZUNO_DE.HLP"));
    EXPECT_FALSE(installed("ZUNO_FR.LNG"));
    GetPrivateProfileStringA("ZUNO", "Language", "<none>", language, sizeof language, ini.c_str());
    EXPECT_STREQ(language, "US");
}

}  // namespace
