// Help-file detection of a previous install and the cannot-install message.
#include <gtest/gtest.h>
#include <windows.h>
#include <stdio.h>

#include <string>

#include "app/languages.h"
#include "tests/win/msgbox_watcher.h"
#include "tests/win/saved_languages.h"

namespace {

class LanguagesTest : public ::testing::Test {
protected:
    void SetUp() override {
        lstrcpyA(file_prefix, "ZUNO");
        char temp[MAX_PATH];
        GetTempPathA(sizeof temp, temp);
        folder_ = std::string(temp) + "ordavin-lang-" + std::to_string(GetCurrentProcessId());
        CreateDirectoryA(folder_.c_str(), nullptr);
    }
    void TearDown() override {
        for (const char* name : {"ZUNO_DE.HLP", "ZUNO_US.HLP", "ZUNO_FR.HLP"})
            DeleteFileA((folder_ + "\\" + name).c_str());
        RemoveDirectoryA(folder_.c_str());
    }
    void set_rows(short de, short us, short other) {
        language_table[0].selected = de;
        language_table[1].selected = us;
        language_table[2].selected = other;
    }
    void expect_rows(short de, short us, short other) {
        EXPECT_EQ(language_table[0].selected, de);
        EXPECT_EQ(language_table[1].selected, us);
        EXPECT_EQ(language_table[2].selected, other);
    }
    void touch(const char* name) {
        FILE* f = fopen((folder_ + "\\" + name).c_str(), "wb");
        ASSERT_TRUE(f);
        fclose(f);
    }

    SavedLanguages saved_;
    std::string folder_;
};

TEST_F(LanguagesTest, TableStartsWithEveryPackageSelected) {
    EXPECT_STREQ(language_table[0].code, "_DE");
    EXPECT_EQ(language_table[0].checkbox_id, 201);
    EXPECT_STREQ(language_table[1].code, "_US");
    EXPECT_EQ(language_table[1].checkbox_id, 202);
    EXPECT_STREQ(language_table[2].code, "_??");
    EXPECT_EQ(language_table[2].checkbox_id, 203);
    EXPECT_EQ(language_table[3].code, nullptr);
    EXPECT_EQ(language_table[3].checkbox_id, 0);
    EXPECT_STREQ(saved_.prefix, "ZUNO*.*");  // before any dialog has cut it
    for (int i = 0; i < 3; i++)
        EXPECT_EQ(saved_.selected[i], 1);
}

// The wildcard row matches any help file with a two-character tag, German and English included; a found
// row is counted up, a missing one cleared.
TEST_F(LanguagesTest, HelpFilesMarkTheirRows) {
    const struct {
        const char* files[2];
        short de, us, other;
    } cases[] = {
        {{"ZUNO_DE.HLP", nullptr}, 2, 0, 2},
        {{"ZUNO_US.HLP", nullptr}, 0, 2, 2},
        {{"ZUNO_FR.HLP", nullptr}, 0, 0, 2},
        {{"ZUNO_DE.HLP", "ZUNO_US.HLP"}, 2, 2, 2},
        {{nullptr, nullptr}, 0, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.files[0] ? c.files[0] : "no help file");
        for (const char* file : c.files)
            if (file)
                touch(file);
        set_rows(1, 1, 1);
        detect_installed_languages(folder_.c_str());
        expect_rows(c.de, c.us, c.other);
        for (const char* file : c.files)
            if (file)
                DeleteFileA((folder_ + "\\" + file).c_str());
    }
}

TEST_F(LanguagesTest, MissingFolderLeavesTheTable) {
    set_rows(1, 0, 1);
    detect_installed_languages((folder_ + "\\missing").c_str());
    expect_rows(1, 0, 1);
}

// A folder so long that the pattern would not fit a path: every row counts as not found, and nothing is
// written past the buffer (a cut pattern such as "...\ZUNO_DE.H" would find other files).
TEST_F(LanguagesTest, PatternThatWouldNotFitCountsAsNotFound) {
    touch("ZUNO_DE.H");
    std::string padded = folder_ + "\\";
    while (padded.size() + strlen("ZUNO_DE.H") < 259)
        padded += ".\\";  // the same folder, named at full length
    padded.resize(259 - strlen("ZUNO_DE.H"));
    if (padded.back() == '.')
        padded.back() = '\\';
    ASSERT_LE(padded.size() + strlen("ZUNO_DE.HLP"), 261u);
    set_rows(1, 1, 1);
    detect_installed_languages(padded.c_str());
    expect_rows(0, 0, 0);
    DeleteFileA((folder_ + "\\ZUNO_DE.H").c_str());
}

TEST_F(LanguagesTest, CannotInstallFollowsTheInterfaceLanguage) {
    const struct {
        int ui;
        const char* text;  // null: no box
    } cases[] = {{1, "Cannot install file."}, {2, "Kann nicht die Datei installieren."}, {0, nullptr}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.ui);
        MsgBoxWatcher watcher;
        UiLanguage = c.ui;
        HWND owner = CreateWindowExA(0, "STATIC", "owner", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
        show_cannot_install(owner, "C:\\folder\\ZUNO.EXE");
        DestroyWindow(owner);
        std::vector<SeenBox> seen = watcher.boxes();
        if (!c.text) {
            EXPECT_TRUE(seen.empty());
            continue;
        }
        ASSERT_EQ(seen.size(), 1u);
        EXPECT_EQ(seen[0].text, c.text);
        EXPECT_EQ(seen[0].caption, "C:\\folder\\ZUNO.EXE");
        EXPECT_EQ(seen[0].icon, BOX_ICON_ERROR);
        EXPECT_EQ(seen[0].buttons, std::vector<int>{IDOK});
        EXPECT_EQ(seen[0].owner, owner);
    }
}

}  // namespace
