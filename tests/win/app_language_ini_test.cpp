// The record of the chosen language in ZUNO.INI: [ZUNO] Language=.
#include "app_fixture.h"

#include <stdio.h>

#include "app/language_dialog.h"

namespace {

class LanguageIni : public SetupDialogTest {
protected:
    void SetUp() override {
        SetupDialogTest::SetUp();
        char dir[MAX_PATH];
        GetTempPathA(MAX_PATH, dir);
        GetTempFileNameA(dir, "ini", 0, path_);
        DeleteFileA(path_);
    }
    void TearDown() override {
        DeleteFileA(path_);
        SetupDialogTest::TearDown();
    }
    void write_file(const char* content) {
        FILE* f = fopen(path_, "wb");
        ASSERT_NE(f, nullptr);
        fputs(content, f);
        fclose(f);
    }
    // The value, or "<none>" when the key is missing.
    std::string value() {
        char text[64];
        GetPrivateProfileStringA("ZUNO", "Language", "<none>", text, sizeof text, path_);
        return text;
    }
    char path_[MAX_PATH] = {};
};

struct IniCase {
    const char* stored;  // null: no INI file at all
    int german, english, more;
    const char* expected;  // "<none>": the key is not there
};

const IniCase kIniCases[] = {
    // An old "GR" becomes "DE" at once, whatever follows it.
    {"GR", 1, 0, 0, "DE"},
    {"GR", 0, 1, 0, "US"},
    {"GR", 1, 1, 0, "DE"},
    {"GR", 0, 1, 1, "DE"},
    {"GRUEN", 0, 1, 1, "DE"},
    {"gr", 1, 1, 0, "gr"},  // only upper case is the old tag
    // The comparison is case-sensitive.
    {"de", 1, 0, 0, "DE"},
    {"de", 1, 1, 0, "de"},
    // A recorded language that is still selected stays.
    {"US", 1, 1, 1, "US"},
    {"DE", 1, 0, 0, "DE"},
    // One language selected: it is recorded; two or more with no match: nothing changes.
    {"FR", 0, 1, 0, "US"},
    {"FR", 1, 0, 1, "FR"},
    {"", 1, 0, 0, "DE"},
    {nullptr, 0, 1, 0, "US"},
    {nullptr, 1, 1, 0, "<none>"},
    {nullptr, 1, 1, 1, "<none>"},
    // A value longer than the 15 characters read is compared by its first 15 and must not overrun.
    {"USUSUSUSUSUSUSUSUSUSUSUSUSUSUSUSUSUS", 0, 1, 0, "US"},
};

TEST_F(LanguageIni, RecordsTheChosenLanguageByItsRules) {
    for (const IniCase& c : kIniCases) {
        SCOPED_TRACE(testing::Message() << (c.stored ? c.stored : "(no file)") << " " << c.german << c.english
                                        << c.more);
        DeleteFileA(path_);
        if (c.stored)
            write_file((std::string("[ZUNO]\r\nLanguage=") + c.stored + "\r\n").c_str());
        select_rows(c.german, c.english, c.more);
        write_language_ini(path_);
        EXPECT_EQ(value(), c.expected);
    }
}

TEST_F(LanguageIni, NothingToWriteCreatesNoFile) {
    select_rows(1, 1, 0);
    write_language_ini(path_);
    EXPECT_EQ(GetFileAttributesA(path_), INVALID_FILE_ATTRIBUTES);
}

TEST_F(LanguageIni, OtherKeysAndSectionsStay) {
    write_file("[Other]\r\nLanguage=XX\r\n[ZUNO]\r\nWindow=1\r\nLanguage=GR\r\n");
    select_rows(0, 1, 0);
    write_language_ini(path_);
    EXPECT_EQ(value(), "US");
    char text[16];
    GetPrivateProfileStringA("Other", "Language", "", text, sizeof text, path_);
    EXPECT_STREQ(text, "XX");
    GetPrivateProfileStringA("ZUNO", "Window", "", text, sizeof text, path_);
    EXPECT_STREQ(text, "1");
}

}  // namespace
