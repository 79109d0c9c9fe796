// The install folder: the per-user record and the proposal from it or from the programs folder.
#include <gtest/gtest.h>
#include <windows.h>
#include <stdio.h>
#include <string.h>
#include <string>

#include "registry_sandbox.h"
#include "system/install_dir.h"
#include "system/paths.h"

// Stands in for the language detection until the front end's version is linked; records its argument.
// TEMPORARY: goes when app/languages.cpp is merged.
static std::string detected_folder;
static int detect_calls = 0;
void detect_installed_languages(const char* folder) {
    detected_folder = folder;
    detect_calls++;
}

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
    void SetUp() override {
        ASSERT_TRUE(sandbox.active) << "cannot redirect the registry roots of this process";
        detected_folder.clear();
        detect_calls = 0;
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
    save_install_dir("D:\\Tools\\X");  // stored without a terminator
    ASSERT_TRUE(RegistrySandbox::set_text(HKEY_LOCAL_MACHINE, machine_key, "ProgramFilesDir", "C:\\Program Files"));
    EXPECT_EQ(proposal(), "D:\\Tools\\X");
    EXPECT_EQ(detect_calls, 1);
    EXPECT_EQ(detected_folder, "D:\\Tools\\X");
}

TEST_F(InstallDirRegistry, WithoutARecordTheProgramsFolderGetsZuno) {
    ASSERT_TRUE(RegistrySandbox::set_text(HKEY_LOCAL_MACHINE, machine_key, "ProgramFilesDir", "C:\\Program Files"));
    EXPECT_EQ(proposal(), "C:\\Program Files\\ZUNO");
    EXPECT_EQ(detect_calls, 0) << "the language table keeps its defaults";

    save_install_dir("");  // an empty record counts as none
    EXPECT_EQ(proposal(), "C:\\Program Files\\ZUNO");
    EXPECT_EQ(detect_calls, 0);

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
    EXPECT_EQ(detect_calls, 0);

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
