// Shortcuts: written through the shell's link object and read back through IShellLinkA and IPersistFile.
#include <gtest/gtest.h>
#include <windows.h>
#include <shlobj.h>
#include <stdio.h>
#include <string>

#include "registry_sandbox.h"
#include "system/paths.h"
#include "system/shortcuts.h"
#include "tests/win/win_files.h"

namespace {

struct Link {
    bool loaded = false;
    std::string target, work_dir, description;
};

Link read_link(const std::string& path) {
    Link link;
    IShellLinkA* shell_link = NULL;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, NULL, CLSCTX_INPROC_SERVER, IID_IShellLinkA, (void**)&shell_link)))
        return link;
    IPersistFile* file = NULL;
    if (SUCCEEDED(shell_link->QueryInterface(IID_IPersistFile, (void**)&file))) {
        WCHAR wide[PATH_SIZE];
        MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide, PATH_SIZE);
        if (SUCCEEDED(file->Load(wide, STGM_READ))) {
            char text[1024];
            link.loaded = true;
            text[0] = '\0';
            shell_link->GetPath(text, sizeof text, NULL, SLGP_RAWPATH);
            link.target = text;
            text[0] = '\0';
            shell_link->GetWorkingDirectory(text, sizeof text);
            link.work_dir = text;
            text[0] = '\0';
            shell_link->GetDescription(text, sizeof text);
            link.description = text;
        }
        file->Release();
    }
    shell_link->Release();
    return link;
}

bool exists(const std::string& path) { return file_exists(path.c_str()) == 0; }

void touch(const std::string& path) {
    FILE* f = fopen(path.c_str(), "wb");
    if (f)
        fclose(f);
}

using win_files::remove_tree;

// OLE as the install sequence sets it up, and a scratch folder with a programs folder and an install
// folder in it.
class Shortcuts : public ::testing::Test {
protected:
    std::string root, programs, install;
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(OleInitialize(NULL)));
        char temp[PATH_SIZE];
        GetTempPathA(PATH_SIZE, temp);
        char name[PATH_SIZE];
        snprintf(name, sizeof name, "%sord_links_%lu_%lu", temp, GetCurrentProcessId(), GetTickCount());
        root = name;
        programs = root + "\\Programs";
        install = root + "\\Program Files\\ZUNO\\";
        ASSERT_EQ(make_dirs(programs.c_str()), 0);
        ASSERT_EQ(make_dirs(install.c_str()), 0);
    }
    void TearDown() override {
        remove_tree(root);
        OleUninitialize();
    }
};

TEST_F(Shortcuts, GroupShortcutPointsAtTheProgramAndIsReplacedInAReusedGroup) {
    touch(install + "ZUNO.exe");
    create_group_in(programs.c_str(), install.c_str());
    std::string link_path = programs + "\\ZUNO\\Ordavin.lnk";
    Link link = read_link(link_path);
    ASSERT_TRUE(link.loaded) << link_path;
    EXPECT_EQ(link.target, install + "ZUNO.exe");
    EXPECT_EQ(link.work_dir, install.substr(0, install.size() - 1)) << "the folder without its backslash";
    EXPECT_EQ(link.description, "Ordavin");

    std::string other = root + "\\Other\\";
    ASSERT_EQ(make_dirs(other.c_str()), 0);
    touch(other + "ZUNO.exe");
    create_group_in((programs + "\\").c_str(), other.c_str());
    link = read_link(link_path);
    ASSERT_TRUE(link.loaded);
    EXPECT_EQ(link.target, other + "ZUNO.exe") << "the existing group is reused and the shortcut replaced";
    EXPECT_EQ(link.work_dir, root + "\\Other");
}

TEST_F(Shortcuts, NoGroupShortcutWithoutTheProgramButTheGroupIsThere) {
    create_group_in(programs.c_str(), install.c_str());
    EXPECT_TRUE(exists(programs + "\\ZUNO"));
    EXPECT_FALSE(exists(programs + "\\ZUNO\\Ordavin.lnk"));
}

TEST_F(Shortcuts, DesktopStyleShortcutIsMadeWhetherOrNotTheProgramExists) {
    create_program_link_in(root.c_str(), "C:\\Program Files\\ZUNO\\ZUNO.exe");
    Link link = read_link(root + "\\Ordavin.lnk");
    ASSERT_TRUE(link.loaded);
    EXPECT_EQ(link.target, "C:\\Program Files\\ZUNO\\ZUNO.exe");
    EXPECT_EQ(link.work_dir, "C:\\Program Files\\ZUNO");
    EXPECT_EQ(link.description, "Ordavin");

    // A program at a drive root keeps the root's backslash as its working folder.
    create_program_link_in((root + "\\").c_str(), "D:\\ZUNO.exe");
    link = read_link(root + "\\Ordavin.lnk");
    ASSERT_TRUE(link.loaded);
    EXPECT_EQ(link.target, "D:\\ZUNO.exe");
    EXPECT_EQ(link.work_dir, "D:\\");
}

TEST_F(Shortcuts, GroupShortcutForADriveRootInstallKeepsTheRoot) {
    // A program right under drive C:, with a name of this process so parallel runs stay apart.
    char file[64];
    snprintf(file, sizeof file, "ord_root_%lu.exe", GetCurrentProcessId());
    std::string program = std::string("C:\\") + file;
    touch(program);
    std::string group = programs + "\\";
    add_group_shortcut("Ordavin", file, group.c_str(), "C:\\");
    Link link = read_link(group + "Ordavin.lnk");
    DeleteFileA(program.c_str());
    ASSERT_TRUE(link.loaded);
    EXPECT_EQ(link.target, program);
    EXPECT_EQ(link.work_dir, "C:\\") << "'C:\\' stays 'C:\\'";

    add_group_shortcut("", file, group.c_str(), "C:\\");  // no name: nothing at all
    add_group_shortcut("Other", NULL, group.c_str(), "C:\\");
    EXPECT_FALSE(exists(group + ".lnk"));
    EXPECT_FALSE(exists(group + "Other.lnk"));
}

TEST_F(Shortcuts, PathsTooLongForABufferAreRefused) {
    // A group folder whose shortcut path would pass 259 characters: no shortcut, nothing overrun.
    std::string deep = programs;
    while (deep.size() < 230)
        deep += "\\gggggggggg";
    deep += "\\" + std::string(244 - deep.size() - 1, 'h');  // 244 characters: the group has 249
    ASSERT_EQ(make_dirs(deep.c_str()), 0);
    touch(install + "ZUNO.exe");
    std::string group = deep + "\\ZUNO";
    create_group_in(deep.c_str(), install.c_str());
    ASSERT_EQ(group.size() + strlen("\\Ordavin.lnk"), (size_t)PATH_SIZE + 1);
    EXPECT_FALSE(exists(group + "\\Ordavin.lnk"));

    std::string long_link = root + "\\" + std::string(PATH_SIZE, 'l') + ".lnk";
    EXPECT_EQ(create_shell_link("C:\\x.exe", "C:\\", long_link.c_str(), "Ordavin"), E_INVALIDARG);

    // The desktop-style shortcut in a folder too long for "\Ordavin.lnk".
    std::string long_folder = std::string(PATH_SIZE - 5, 'f');
    create_program_link_in(long_folder.c_str(), "C:\\x.exe");  // refused without writing past a buffer
}

TEST(SpecialFolders, DesktopAndProgramsFoldersHavePaths) {
    const int ids[] = {CSIDL_DESKTOP, CSIDL_PROGRAMS, CSIDL_COMMON_PROGRAMS};
    for (int id : ids) {
        char path[PATH_SIZE];
        memset(path, 'x', sizeof path);
        special_folder_path(id, path);
        EXPECT_NE(path[0], '\0') << "folder id " << id;
        EXPECT_EQ(file_exists(path), 0) << path;
    }
}

// The real routines, with the shell's special folders pointed at scratch folders through this process's
// registry (the prefix's desktop is the host's home folder, shared by every Wine prefix on the machine).
TEST(RealShellFolders, GroupGoesToAllUsersAndDesktopIconToTheUser) {
    char temp[PATH_SIZE];
    GetTempPathA(PATH_SIZE, temp);
    char scratch[PATH_SIZE];
    snprintf(scratch, sizeof scratch, "%sord_shell_%lu_%lu", temp, GetCurrentProcessId(), GetTickCount());
    std::string root = scratch;
    std::string common = root + "\\Common Programs", user = root + "\\User Programs";
    std::string desktop = root + "\\Desktop", install = root + "\\Install\\";
    for (const std::string& dir : {common, user, desktop, install})
        ASSERT_EQ(make_dirs(dir.c_str()), 0);
    std::string program = install + "ZUNO.exe";
    touch(program);

    Link in_group, in_user_group, on_desktop;
    std::string seen_common, seen_desktop;
    bool common_missing = false;
    {
        RegistrySandbox sandbox;
        ASSERT_TRUE(sandbox.active);
        const char folders[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
        const char shell_folders[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
        for (const char* key : {folders, shell_folders}) {
            RegistrySandbox::set_text(HKEY_LOCAL_MACHINE, key, "Common Programs", common.c_str());
            RegistrySandbox::set_text(HKEY_CURRENT_USER, key, "Programs", user.c_str());
            RegistrySandbox::set_text(HKEY_CURRENT_USER, key, "Desktop", desktop.c_str());
        }
        char path[PATH_SIZE];
        special_folder_path(CSIDL_COMMON_PROGRAMS, path);
        seen_common = path;
        special_folder_path(CSIDL_DESKTOP, path);
        seen_desktop = path;
        if (_stricmp(seen_common.c_str(), common.c_str()) == 0 && _stricmp(seen_desktop.c_str(), desktop.c_str()) == 0) {
            ASSERT_TRUE(SUCCEEDED(OleInitialize(NULL)));
            create_program_group(NULL, install.c_str());
            create_desktop_icon(NULL, program.c_str());
            in_group = read_link(common + "\\ZUNO\\Ordavin.lnk");
            on_desktop = read_link(desktop + "\\Ordavin.lnk");
            // Without an all-users programs folder the group goes to the user's.
            std::string gone = root + "\\Gone";
            for (const char* key : {folders, shell_folders})
                RegistrySandbox::set_text(HKEY_LOCAL_MACHINE, key, "Common Programs", gone.c_str());
            special_folder_path(CSIDL_COMMON_PROGRAMS, path);
            common_missing = path[0] == '\0';
            if (common_missing) {
                create_program_group(NULL, install.c_str());
                in_user_group = read_link(user + "\\ZUNO\\Ordavin.lnk");
            }
            OleUninitialize();
        }
    }
    remove_tree(root);
    if (_stricmp(seen_common.c_str(), common.c_str()) != 0 || _stricmp(seen_desktop.c_str(), desktop.c_str()) != 0)
        GTEST_SKIP() << "the shell does not take its folders from this process's registry: " << seen_common
                     << ", " << seen_desktop;

    ASSERT_TRUE(in_group.loaded);
    EXPECT_EQ(in_group.target, program);
    EXPECT_EQ(in_group.work_dir, install.substr(0, install.size() - 1));
    EXPECT_EQ(in_group.description, "Ordavin");
    ASSERT_TRUE(on_desktop.loaded) << "the desktop shortcut goes to the user even when the group went to all users";
    EXPECT_EQ(on_desktop.target, program);
    EXPECT_EQ(on_desktop.work_dir, install.substr(0, install.size() - 1));
    EXPECT_EQ(on_desktop.description, "Ordavin");
    ASSERT_TRUE(common_missing) << "an all-users programs folder that does not exist has no path";
    EXPECT_TRUE(in_user_group.loaded) << "the group goes to the user's programs folder";
    EXPECT_EQ(in_user_group.target, program);
}

}  // namespace
