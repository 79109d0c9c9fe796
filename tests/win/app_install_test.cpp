// The install sequence's guards: an empty field, a folder too long for the names appended to it, a
// folder that cannot be created.
#include "app_fixture.h"

#include "app/install.h"

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

}  // namespace
