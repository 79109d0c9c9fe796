// The archive is opened with share code 1: other programs may read the setup file, but not write it.
#include <gtest/gtest.h>
#include <windows.h>
#include <stdio.h>

#include "archive/stream.h"

namespace {

struct TempFile {
    char path[MAX_PATH];
    TempFile() {
        char dir[MAX_PATH];
        GetTempPathA(MAX_PATH, dir);
        GetTempFileNameA(dir, "shr", 0, path);
        FILE* f = fopen(path, "wb");
        fputs("data", f);
        fclose(f);
    }
    ~TempFile() { DeleteFileA(path); }
};

HANDLE open_other(const char* path, DWORD access) {
    return CreateFileA(path, access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
}

TEST(FileOpen, ShareCodeOneLetsReadersInAndKeepsWritersOut) {
    TempFile tmp;
    FILE* archive = file_open(tmp.path, "rb", 1);
    ASSERT_NE(archive, nullptr);

    HANDLE reader = open_other(tmp.path, GENERIC_READ);
    EXPECT_NE(reader, INVALID_HANDLE_VALUE) << "another reader must get in";
    if (reader != INVALID_HANDLE_VALUE)
        CloseHandle(reader);

    HANDLE writer = open_other(tmp.path, GENERIC_WRITE);
    EXPECT_EQ(writer, INVALID_HANDLE_VALUE) << "a writer must be kept out";
    if (writer != INVALID_HANDLE_VALUE)
        CloseHandle(writer);

    file_close(archive);
    writer = open_other(tmp.path, GENERIC_WRITE);
    EXPECT_NE(writer, INVALID_HANDLE_VALUE) << "after closing, writing is allowed again";
    if (writer != INVALID_HANDLE_VALUE)
        CloseHandle(writer);
}

TEST(FileOpen, ShareCodeZeroKeepsReadersOut) {
    TempFile tmp;
    FILE* archive = file_open(tmp.path, "rb", 0);
    ASSERT_NE(archive, nullptr);
    HANDLE reader = open_other(tmp.path, GENERIC_READ);
    EXPECT_EQ(reader, INVALID_HANDLE_VALUE);
    if (reader != INVALID_HANDLE_VALUE)
        CloseHandle(reader);
    file_close(archive);
}

TEST(FileOpen, MissingFileGivesNone) {
    EXPECT_EQ(file_open("C:\\no\\such\\folder\\file.bin", "rb", 1), nullptr);
    file_close(nullptr);  // must do nothing
    char buf[4];
    EXPECT_EQ(file_read(nullptr, buf, 4), 0u);
    EXPECT_EQ(file_write(nullptr, buf, 4), 0u);
}

}  // namespace
