// Shortcuts: written through the shell's link object and read back through IShellLinkA and IPersistFile.
#include <gtest/gtest.h>
#include <windows.h>
#include <shlobj.h>
#include <stdio.h>
#include <string.h>
#include <string>

#include "system/paths.h"
#include "system/shortcuts.h"

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

void remove_tree(const std::string& dir) {
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((dir + "\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            if (!strcmp(found.cFileName, ".") || !strcmp(found.cFileName, ".."))
                continue;
            std::string child = dir + "\\" + found.cFileName;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                remove_tree(child);
            else
                DeleteFileA(child.c_str());
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    RemoveDirectoryA(dir.c_str());
}

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

// The real group and desktop shortcut, in the shell folders of this Wine prefix. They carry fixed names,
// so the test leaves alone what it finds there before it and removes only what it made.
TEST(RealShellFolders, GroupGoesToAllUsersAndDesktopIconToTheUser) {
    ASSERT_TRUE(SUCCEEDED(OleInitialize(NULL)));
    char common[PATH_SIZE], desktop[PATH_SIZE];
    special_folder_path(CSIDL_COMMON_PROGRAMS, common);
    special_folder_path(CSIDL_DESKTOP, desktop);
    std::string group = std::string(common) + "\\ZUNO";
    std::string group_link = group + "\\Ordavin.lnk";
    std::string desktop_link = std::string(desktop) + "\\Ordavin.lnk";
    if (exists(group) || exists(desktop_link)) {
        OleUninitialize();
        GTEST_SKIP() << "a ZUNO group or desktop shortcut is already there";
    }

    char temp[PATH_SIZE];
    GetTempPathA(PATH_SIZE, temp);
    char install[PATH_SIZE];
    snprintf(install, sizeof install, "%sord_real_%lu\\", temp, GetCurrentProcessId());
    ASSERT_EQ(make_dirs(install), 0);
    std::string program = std::string(install) + "ZUNO.exe";
    touch(program);

    create_program_group(NULL, install);
    create_desktop_icon(NULL, program.c_str());
    Link in_group = read_link(group_link);
    Link on_desktop = read_link(desktop_link);

    DeleteFileA(group_link.c_str());
    RemoveDirectoryA(group.c_str());
    DeleteFileA(desktop_link.c_str());
    DeleteFileA(program.c_str());
    RemoveDirectoryA(install);
    OleUninitialize();

    ASSERT_TRUE(in_group.loaded) << group_link;
    EXPECT_EQ(in_group.target, program);
    EXPECT_EQ(in_group.description, "Ordavin");
    ASSERT_TRUE(on_desktop.loaded) << desktop_link;
    EXPECT_EQ(on_desktop.target, program);
    EXPECT_EQ(on_desktop.work_dir, std::string(install, strlen(install) - 1));
}

}  // namespace
