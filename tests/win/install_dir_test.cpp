// The install folder: the per-user record and the proposal from it or from the programs folder.
#include <gtest/gtest.h>
#include <windows.h>
#include <stdio.h>
#include <string.h>
#include <string>

#include "app/languages.h"
#include "registry_sandbox.h"
#include "system/install_dir.h"
#include "system/paths.h"
#include "tests/win/saved_languages.h"

namespace {

const char user_key[] = "Software\\Pellamor\\ZUNO";
const char machine_key[] = "Software\\Microsoft\\Windows\\CurrentVersion";

struct StoredValue {
    bool found = false;
    DWORD type = 0;
    DWORD length = 0;
    std::string text;
};

StoredValue read_dir() {
    StoredValue result;
    result.found = RegistrySandbox::read_stored(HKEY_CURRENT_USER, user_key, "Dir", &result.type, &result.length,
                                                &result.text);
    return result;
}

class InstallDirRegistry : public ::testing::Test {
protected:
    RegistrySandbox sandbox;
    SavedLanguages saved_languages;
    void SetUp() override {
        ASSERT_TRUE(sandbox.active) << "cannot redirect the registry roots of this process";
        strcpy(file_prefix, "ZUNO");  // as the dialog has cut it by then
        for (LanguageEntry* row = language_table; row->code; row++)
            row->selected = 1;
    }
    static bool all_rows_at_default() {
        for (LanguageEntry* row = language_table; row->code; row++)
            if (row->selected != 1)
                return false;
        return true;
    }
    std::string proposal() {
        char out[PATH_SIZE + 16];
        memset(out, '#', sizeof out);
        default_install_dir(out);
        EXPECT_EQ(out[PATH_SIZE], '#') << "nothing written past the path buffer";
        return out;
    }
};

TEST_F(InstallDirRegistry, SaveWritesTheTextWithoutTerminatorAndSetsTheClassOnce) {
    save_install_dir("C:\\Program Files\\ZUNO");
    StoredValue first = read_dir();
    ASSERT_TRUE(first.found);
    EXPECT_EQ(first.type, (DWORD)REG_SZ);
    EXPECT_EQ(RegistrySandbox::without_added_terminator(first.text), "C:\\Program Files\\ZUNO")
        << "21 characters, the only zero after them is the registry's own";
    EXPECT_EQ(RegistrySandbox::key_class(HKEY_CURRENT_USER, user_key), "C:\\Program Files\\ZUNO")
        << "the folder text is the new key's class";

    save_install_dir("D:\\Apps\\");
    StoredValue second = read_dir();
    ASSERT_TRUE(second.found);
    EXPECT_EQ(RegistrySandbox::without_added_terminator(second.text), "D:\\Apps\\") << "kept exactly as typed";
    EXPECT_EQ(RegistrySandbox::key_class(HKEY_CURRENT_USER, user_key), "C:\\Program Files\\ZUNO")
        << "an existing key keeps its class";
}

TEST_F(InstallDirRegistry, ARecordedFolderIsProposedAsItIsAndItsLanguagesDetected) {
    char temp[PATH_SIZE], folder[PATH_SIZE];
    GetTempPathA(PATH_SIZE, temp);
    snprintf(folder, sizeof folder, "%sord_dir_%lu_%lu", temp, GetCurrentProcessId(), GetTickCount());
    ASSERT_TRUE(CreateDirectoryA(folder, NULL));
    std::string help = std::string(folder) + "\\ZUNO_US.HLP";
    FILE* f = fopen(help.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    fclose(f);

    save_install_dir(folder);  // stored without a terminator
    ASSERT_TRUE(RegistrySandbox::set_text(HKEY_LOCAL_MACHINE, machine_key, "ProgramFilesDir", "C:\\Program Files"));
    std::string proposed = proposal();
    DeleteFileA(help.c_str());
    RemoveDirectoryA(folder);

    EXPECT_EQ(proposed, folder) << "no \\ZUNO appended to a recorded folder";
    ASSERT_STREQ(language_table[1].code, "_US");
    EXPECT_EQ(language_table[0].selected, 0) << "no German help file";
    EXPECT_NE(language_table[1].selected, 0) << "the English help file marks its row";
}

TEST_F(InstallDirRegistry, WithoutARecordTheProgramsFolderGetsZuno) {
    ASSERT_TRUE(RegistrySandbox::set_text(HKEY_LOCAL_MACHINE, machine_key, "ProgramFilesDir", "C:\\Program Files"));
    EXPECT_EQ(proposal(), "C:\\Program Files\\ZUNO");
    EXPECT_TRUE(all_rows_at_default()) << "the language table keeps its defaults";

    save_install_dir("");  // an empty record counts as none
    EXPECT_EQ(proposal(), "C:\\Program Files\\ZUNO");
    EXPECT_TRUE(all_rows_at_default());

    ASSERT_TRUE(RegistrySandbox::set_text(HKEY_LOCAL_MACHINE, machine_key, "ProgramFilesDir", "E:\\Progs\\"));
    EXPECT_EQ(proposal(), "E:\\Progs\\ZUNO") << "no second backslash";

    char out[PATH_SIZE];
    program_files_dir(out);
    EXPECT_STREQ(out, "E:\\Progs\\");
}

TEST_F(InstallDirRegistry, ARecordFillingTheWholeBufferCountsAsAbsent) {
    ASSERT_TRUE(RegistrySandbox::set_text(HKEY_LOCAL_MACHINE, machine_key, "ProgramFilesDir", "C:\\Program Files"));
    std::string long_dir = "C:\\" + std::string(PATH_SIZE - 3, 'd');  // 260 characters, no room for a zero
    save_install_dir(long_dir.c_str());
    EXPECT_EQ(proposal(), "C:\\Program Files\\ZUNO");
    EXPECT_TRUE(all_rows_at_default());

    long_dir.resize(PATH_SIZE - 1);  // 259 characters stored without a terminator: fits, is used
    save_install_dir(long_dir.c_str());
    EXPECT_EQ(proposal(), long_dir);
}

// Folder names of the Windows-folder fallback, computed from the Windows folder of this prefix.
std::string windows_drive_folder(const char* name) {
    char windows[PATH_SIZE];
    GetWindowsDirectoryA(windows, PATH_SIZE);
    parent_dir(windows);
    add_separator(windows);
    return std::string(windows) + name;
}

TEST_F(InstallDirRegistry, WithoutProgramsFolderTheWindowsDriveIsUsed) {
    // One test body on purpose: it creates and removes the shared "Programme" folder.
    std::string programme = windows_drive_folder("Programme");
    std::string program_files = windows_drive_folder("Program Files");
    ASSERT_NE(file_exists(programme.c_str()), 0) << programme << " is left over from another run";

    EXPECT_EQ(proposal(), program_files + "\\ZUNO") << "no ProgramFilesDir at all";

    // A programs folder too long to take "\ZUNO" is passed over rather than cut.
    std::string long_programs = "C:\\" + std::string(254, 'p');
    ASSERT_TRUE(RegistrySandbox::set_text(HKEY_LOCAL_MACHINE, machine_key, "ProgramFilesDir", long_programs.c_str()));
    EXPECT_EQ(proposal(), program_files + "\\ZUNO");

    ASSERT_TRUE(CreateDirectoryA(programme.c_str(), NULL));
    std::string with_programme = proposal();
    RemoveDirectoryA(programme.c_str());
    EXPECT_EQ(with_programme, programme + "\\ZUNO") << "the German name wins when it exists";
}

}  // namespace
