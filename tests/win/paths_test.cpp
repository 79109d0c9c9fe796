// Path helpers: the separator rules of each routine, and folder creation on real folders.
#include <gtest/gtest.h>
#include <windows.h>
#include <stdio.h>
#include <string.h>
#include <string>

#include "system/paths.h"
#include "tests/win/win_files.h"

namespace {

struct EditCase {
    const char* input;
    const char* expected;
};

std::string apply(void (*edit)(char*), const char* input) {
    char buffer[PATH_SIZE];
    strcpy(buffer, input);
    edit(buffer);
    return buffer;
}

void add_separator_default(char* path) { add_separator(path); }

TEST(PathEdits, AddSeparatorAppendsOnlyAMissingBackslash) {
    const EditCase cases[] = {
        {"", ""}, {"C:", "C:\\"}, {"C:\\", "C:\\"}, {"abc", "abc\\"}, {"C:\\a/", "C:\\a/\\"},
    };
    for (const EditCase& c : cases)
        EXPECT_EQ(apply(add_separator_default, c.input), c.expected) << "input '" << c.input << "'";
}

TEST(PathEdits, AddSeparatorRefusesWhenTheBufferIsFull) {
    char buffer[PATH_SIZE + 8];
    memset(buffer, '#', sizeof buffer);
    memset(buffer, 'a', PATH_SIZE - 1);
    buffer[PATH_SIZE - 1] = '\0';  // 259 characters: no room for a backslash
    EXPECT_EQ(add_separator(buffer), 1);
    EXPECT_EQ(strlen(buffer), (size_t)PATH_SIZE - 1);
    EXPECT_EQ(buffer[PATH_SIZE], '#') << "nothing written past the 260-byte buffer";

    buffer[PATH_SIZE - 2] = '\0';  // 258 characters: the backslash fits exactly
    EXPECT_EQ(add_separator(buffer), 0);
    EXPECT_EQ(strlen(buffer), (size_t)PATH_SIZE - 1);
    EXPECT_EQ(buffer[PATH_SIZE - 2], '\\');

    buffer[PATH_SIZE - 2] = '\\';  // 259 characters ending in a backslash need no room
    EXPECT_EQ(add_separator(buffer), 0);
}

TEST(PathEdits, LastSeparatorCountsBothSeparators) {
    struct { const char* input; uint16_t expected; } cases[] = {
        {"", 0}, {"abc", 0}, {"a\\b", 2}, {"a/b\\c", 4}, {"a\\", 2}, {"\\", 1}, {"a\\b/c", 4},
    };
    for (const auto& c : cases)
        EXPECT_EQ(last_separator(c.input), c.expected) << "input '" << c.input << "'";
}

TEST(PathEdits, ParentDirCutsAtTheLastBackslashOnly) {
    const EditCase cases[] = {
        {"", ""}, {"abc", ""}, {"\\abc", ""}, {"a\\b", "a"}, {"C:\\", "C:\\"}, {"C:\\a", "C:\\"},
        {"C:\\a\\b", "C:\\a"}, {"C:\\a\\", "C:\\a"}, {"ab\\c", "ab\\"}, {"C:/a", ""},
        {"\\\\srv\\share", "\\\\srv"},
    };
    for (const EditCase& c : cases)
        EXPECT_EQ(apply(parent_dir, c.input), c.expected) << "input '" << c.input << "'";
}

TEST(PathEdits, StripLastComponentKeepsOnlyADriveRootSeparator) {
    const EditCase cases[] = {
        {"", ""}, {"abc", ""}, {"C:\\", "C:\\"}, {"C:\\a", "C:\\"}, {"C:/a", "C:/"}, {"ab\\c", "ab"},
        {"C:\\a\\", "C:\\a"}, {"/x", ""}, {"C:\\ZUNO.exe", "C:\\"},
        {"C:\\Program Files\\ZUNO\\ZUNO.exe", "C:\\Program Files\\ZUNO"},
    };
    for (const EditCase& c : cases)
        EXPECT_EQ(apply(strip_last_component, c.input), c.expected) << "input '" << c.input << "'";
}

TEST(PathEdits, AppendTextRefusesWhatDoesNotFit) {
    char buffer[8] = "abc";
    EXPECT_EQ(append_text(buffer, sizeof buffer, "defg"), 0);
    EXPECT_STREQ(buffer, "abcdefg");
    EXPECT_EQ(append_text(buffer, sizeof buffer, "h"), 1);
    EXPECT_STREQ(buffer, "abcdefg");
}

// A fresh folder under the temporary folder, removed with everything below it.
struct ScratchDir {
    char path[PATH_SIZE];
    ScratchDir() {
        char temp[PATH_SIZE];
        GetTempPathA(PATH_SIZE, temp);
        snprintf(path, sizeof path, "%sord_paths_%lu_%lu", temp, GetCurrentProcessId(), GetTickCount());
        CreateDirectoryA(path, NULL);
    }
    ~ScratchDir() { win_files::remove_tree(path); }
    std::string sub(const char* rest) const { return std::string(path) + rest; }
};

bool is_dir(const std::string& path) {
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

TEST(FileExists, FilesAndFoldersAlikeEmptyPathMissing) {
    ScratchDir scratch;
    std::string file = scratch.sub("\\f.txt");
    FILE* f = fopen(file.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    fclose(f);
    EXPECT_EQ(file_exists(scratch.path), 0);
    EXPECT_EQ(file_exists(file.c_str()), 0);
    EXPECT_EQ(file_exists(scratch.sub("\\none").c_str()), 2);
    EXPECT_EQ(file_exists(""), 2);
}

TEST(ExpandFullPath, JoinsRelativePathsToTheCurrentFolder) {
    ScratchDir scratch;
    char old_dir[PATH_SIZE];
    GetCurrentDirectoryA(PATH_SIZE, old_dir);
    ASSERT_TRUE(SetCurrentDirectoryA(scratch.path));
    char path[PATH_SIZE] = "sub\\x";
    expand_full_path(path);
    SetCurrentDirectoryA(old_dir);
    EXPECT_STREQ(path, scratch.sub("\\sub\\x").c_str());
}

TEST(ExpandFullPath, LeavesAPathWhoseFullFormDoesNotFit) {
    char path[PATH_SIZE];
    memset(path, 'a', PATH_SIZE - 1);
    path[PATH_SIZE - 1] = '\0';  // relative: the full form is longer than 259 characters
    char before[PATH_SIZE];
    memcpy(before, path, PATH_SIZE);
    expand_full_path(path);
    EXPECT_STREQ(path, before);
}

TEST(MakeDirs, CreatesMissingParentsAndReportsEachFailure) {
    ScratchDir scratch;
    std::string chain = scratch.sub("\\a\\b\\c");
    EXPECT_EQ(make_dirs(chain.c_str()), 0);
    EXPECT_TRUE(is_dir(scratch.sub("\\a")));
    EXPECT_TRUE(is_dir(chain));

    EXPECT_EQ(make_dirs(chain.c_str()), 2) << "an existing folder is not created again";
    EXPECT_EQ(make_dirs("C:\\"), 2) << "a drive root is never created";
    EXPECT_EQ(make_dirs("Q:\\a"), 2) << "a drive that does not exist";
    EXPECT_FALSE(is_dir("Q:\\a"));

    // Slashes only: the parent has no backslash, so no parent is created.
    std::string slashes = scratch.sub("\\x");
    for (char& ch : slashes)
        if (ch == '\\')
            ch = '/';
    slashes += "/y/z";
    EXPECT_EQ(make_dirs(slashes.c_str()), 2);
    EXPECT_FALSE(is_dir(scratch.sub("\\x")));

    // A file where a parent should be: the parents "exist" but the folder cannot be made.
    std::string file = scratch.sub("\\file");
    FILE* f = fopen(file.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    fclose(f);
    EXPECT_NE(make_dirs((file + "\\d").c_str()), 0);
}

TEST(MakeDirs, RelativePathWithMissingShortParentGivesTwo) {
    ScratchDir scratch;
    char old_dir[PATH_SIZE];
    GetCurrentDirectoryA(PATH_SIZE, old_dir);
    ASSERT_TRUE(SetCurrentDirectoryA(scratch.path));
    int result = make_dirs("ab\\cd");
    bool created = is_dir("ab");
    SetCurrentDirectoryA(old_dir);
    EXPECT_EQ(result, 2);
    EXPECT_FALSE(created);
}

TEST(MakeDirs, TrailingBackslashGivesZeroWhenTheFolderIsCreated) {
    ScratchDir scratch;
    std::string one = scratch.sub("\\one\\");
    EXPECT_EQ(make_dirs(one.c_str()), 0) << "missing folder, parent present";
    EXPECT_TRUE(is_dir(one));

    std::string deep = scratch.sub("\\p\\q\\r\\");
    EXPECT_EQ(make_dirs(deep.c_str()), 0) << "missing parents";
    EXPECT_TRUE(is_dir(scratch.sub("\\p\\q\\r")));

    std::string doubled = scratch.sub("\\s\\\\t\\\\");
    EXPECT_EQ(make_dirs(doubled.c_str()), 0) << "doubled backslashes";
    EXPECT_TRUE(is_dir(scratch.sub("\\s\\t")));

    EXPECT_EQ(make_dirs(deep.c_str()), 2) << "an existing folder, with its backslash";
}

TEST(MakeDirs, LongPathsAreRefusedOrCreatedWithoutOverrun) {
    ScratchDir scratch;
    std::string path = scratch.path;
    while (path.size() < PATH_SIZE + 40)
        path += "\\abcdefghij";
    path.resize(PATH_SIZE + 20);
    EXPECT_EQ(make_dirs(path.c_str()), 2) << "a text longer than a path buffer is refused";
    EXPECT_FALSE(is_dir(scratch.sub("\\abcdefghij")));

    // 246 characters is the longest folder CreateDirectoryA accepts (room for an 8.3 name).
    path.resize(246);
    path += "\\";  // 247 with the trailing backslash
    EXPECT_EQ(make_dirs(path.c_str()), 0);
    path.pop_back();
    EXPECT_TRUE(is_dir(path));
}

}  // namespace
