// What the tests of the extraction driver share: solid archives made by our compressor, and a fixture that
// runs extract_archive on a setup file in a scratch folder, as the dialog does.
#pragma once
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "app/languages.h"
#include "archive/extract.h"
#include "system/paths.h"
#include "tests/common/archive_bytes.h"
#include "tests/win/msgbox_watcher.h"
#include "tests/win/saved_languages.h"
#include "tests/win/win_files.h"
#include "tools/compressor.h"

struct NamedFile {
    std::string name;
    std::string data;
};

// A solid archive of FILES made by our compressor, every file stamped 2004-06-09 12:00 with the archive bit.
inline archive_bytes::Bytes compressed_archive(const std::vector<NamedFile>& files) {
    std::vector<ArchiveInput> inputs;
    for (const NamedFile& f : files)
        inputs.push_back({f.name, archive_bytes::Bytes(f.data.begin(), f.data.end()), archive_bytes::kJune9Noon,
                          ATTR_ARCHIVE});
    archive_bytes::Bytes archive;
    std::string error;
    EXPECT_EQ(build_archive(inputs, CompressOptions(), &archive, nullptr, &error), 0) << error;
    return archive;
}

// A scratch folder holding the install folder dest_ and the setup file setup_, a hidden owner window with
// label 107 (where the driver shows each entry's name), and the language state put back afterwards. Every
// test starts with all packages selected and English texts.
class ExtractFixture : public ::testing::Test {
protected:
    void SetUp() override {
        for (int i = 0; i < 3; i++)
            language_table[i].selected = 1;
        UiLanguage = 1;

        char temp[MAX_PATH];
        GetTempPathA(sizeof temp, temp);
        static int counter = 0;
        root_ = std::string(temp) + "ordavin-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->test_suite_name() + "-" +
                std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++counter);
        win_files::remove_tree(root_);
        dest_ = root_ + "\\dest";
        setup_ = root_ + "\\setup.bin";
        ASSERT_TRUE(CreateDirectoryA(root_.c_str(), nullptr));
        ASSERT_TRUE(CreateDirectoryA(dest_.c_str(), nullptr));

        owner_ = CreateWindowExA(0, "STATIC", "owner", WS_POPUP, 0, 0, 100, 100, nullptr, nullptr, nullptr,
                                 nullptr);
        label_ = CreateWindowExA(0, "STATIC", "", WS_CHILD, 0, 0, 100, 20, owner_, (HMENU)107, nullptr, nullptr);
        ASSERT_TRUE(owner_ && label_);
    }

    void TearDown() override {
        DestroyWindow(owner_);
        win_files::remove_tree(root_);
    }

    // Empties the install folder; false when it cannot be made again.
    bool renew_dest() {
        win_files::remove_tree(dest_);
        return CreateDirectoryA(dest_.c_str(), nullptr) != 0;
    }

    // The driver on the setup file ARCHIVE_PATH, installing into FOLDER.
    int extract_into(const std::string& archive_path, const std::string& folder) {
        char buffer[PATH_SIZE + 1];
        lstrcpynA(buffer, folder.c_str(), PATH_SIZE);
        return extract_archive(owner_, archive_path.c_str(), buffer);
    }

    SavedLanguages saved_languages_;
    MsgBoxWatcher watcher_;
    std::string root_, dest_, setup_;
    HWND owner_ = nullptr, label_ = nullptr;
};
