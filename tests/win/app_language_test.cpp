// The language boxes, the interface language and its texts, on the stub's own dialog.
#include "app_fixture.h"

#include "app/dialog.h"
#include "app/language_dialog.h"
#include "tests/common/dialog_texts.h"

namespace {

using LanguageBoxes = SetupDialogTest;

TEST_F(LanguageBoxes, RelabelSetsTheTextsOfTheInterfaceLanguageOnly) {
    relabel_dialog(dialog_);  // no interface language yet: nothing
    for (const DialogText& label : kLanguageTexts)
        EXPECT_EQ(control_text(dialog_, label.id), "") << label.id;

    UiLanguage = UI_GERMAN;
    relabel_dialog(dialog_);
    for (const DialogText& label : kLanguageTexts)
        EXPECT_EQ(control_text(dialog_, label.id), label.german) << label.id;

    UiLanguage = UI_ENGLISH;
    relabel_dialog(dialog_);
    for (const DialogText& label : kLanguageTexts)
        EXPECT_EQ(control_text(dialog_, label.id), label.english) << label.id;
    // Fixed texts stay as the template has them.
    EXPECT_EQ(control_text(dialog_, ID_INSTALL), "OK");
    EXPECT_EQ(control_text(dialog_, ID_BROWSE), "...");
    EXPECT_EQ(control_text(dialog_, ID_DEUTSCH), "Deutsch");
    EXPECT_EQ(control_text(dialog_, ID_ENGLISH), "English");
}

TEST_F(LanguageBoxes, InterfaceIsGermanExactlyWhenDeutschAloneIsChecked) {
    struct Case {
        bool german, english;
        int expected;
    } const cases[] = {
        {true, false, UI_GERMAN}, {true, true, UI_ENGLISH}, {false, true, UI_ENGLISH}, {false, false, UI_ENGLISH},
    };
    for (const Case& c : cases) {
        UiLanguage = UI_NONE;
        set_boxes(c.german, c.english, true);
        update_ui_language(dialog_);
        EXPECT_EQ(UiLanguage, c.expected) << c.german << c.english;
        EXPECT_EQ(control_text(dialog_, ID_FOLDER_LABEL), c.expected == UI_GERMAN ? "Zielpfad:" : "Install to:");
    }
}

TEST_F(LanguageBoxes, UnchangedInterfaceLanguageIsNotRelabelled) {
    UiLanguage = UI_ENGLISH;
    SetDlgItemTextA(dialog_, ID_FOLDER_LABEL, "untouched");
    set_boxes(false, true, false);
    update_ui_language(dialog_);
    EXPECT_EQ(control_text(dialog_, ID_FOLDER_LABEL), "untouched");
}

TEST_F(LanguageBoxes, CheckingShowsSelectedRowsAndNeverUnchecks) {
    set_boxes(false, true, true);
    select_rows(1, 0, 0);
    check_language_boxes(dialog_);
    EXPECT_TRUE(is_checked(dialog_, ID_DEUTSCH));
    EXPECT_TRUE(is_checked(dialog_, ID_ENGLISH)) << "an unselected row's box is left alone";
    EXPECT_TRUE(is_checked(dialog_, ID_MORE_LANGUAGES));
}

TEST_F(LanguageBoxes, ReadingCopiesEveryBoxIntoTheTable) {
    select_rows(5, 0, 1);
    set_boxes(false, true, false);
    read_language_boxes(dialog_);
    EXPECT_EQ(row_selected(ID_DEUTSCH), 0);
    EXPECT_EQ(row_selected(ID_ENGLISH), 1);
    EXPECT_EQ(row_selected(ID_MORE_LANGUAGES), 0);
}

TEST_F(LanguageBoxes, EnglishIsSelectedWhenNoRealLanguageIs) {
    struct Case {
        int german, english, more;
        int english_after;
        bool english_box_after;
    } const cases[] = {
        {0, 0, 0, 1, true},   // nothing at all
        {0, 0, 1, 1, true},   // only the additional languages: they are not a real language
        {1, 0, 1, 0, false},  // German is enough
        {0, 2, 0, 2, false},  // already selected: left as it is (the box is not touched either)
    };
    for (const Case& c : cases) {
        set_boxes(false, false, false);
        select_rows(c.german, c.english, c.more);
        ensure_one_language(dialog_);
        EXPECT_EQ(row_selected(ID_ENGLISH), c.english_after) << c.german << c.english << c.more;
        EXPECT_EQ(is_checked(dialog_, ID_ENGLISH), c.english_box_after) << c.german << c.english << c.more;
        // Re-checking shows every selected row.
        EXPECT_EQ(is_checked(dialog_, ID_MORE_LANGUAGES), c.english_box_after && c.more != 0);
    }
}

// A click on Deutsch or English, as the dialog procedure handles it: the box has already toggled.
void click(HWND dialog, int id) {
    set_check(dialog, id, !is_checked(dialog, id));
    setup_dialog_proc(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0);
}

TEST_F(LanguageBoxes, UncheckingTheLastRealLanguageChecksEnglishAgain) {
    // Deutsch alone, German interface; unchecking it leaves only the additional languages.
    set_boxes(true, false, true);
    update_ui_language(dialog_);
    ASSERT_EQ(UiLanguage, UI_GERMAN);
    click(dialog_, ID_DEUTSCH);
    EXPECT_TRUE(is_checked(dialog_, ID_ENGLISH));
    EXPECT_TRUE(is_checked(dialog_, ID_MORE_LANGUAGES));
    EXPECT_EQ(row_selected(ID_ENGLISH), 1);
    EXPECT_EQ(UiLanguage, UI_ENGLISH);
    EXPECT_EQ(control_text(dialog_, ID_EXIT), "Exit");

    // English alone; unchecking it checks it again at once.
    click(dialog_, ID_ENGLISH);
    EXPECT_TRUE(is_checked(dialog_, ID_ENGLISH));
    EXPECT_EQ(UiLanguage, UI_ENGLISH);

    // Checking Deutsch besides English keeps English; unchecking English then gives German.
    click(dialog_, ID_DEUTSCH);
    EXPECT_EQ(UiLanguage, UI_ENGLISH);
    click(dialog_, ID_ENGLISH);
    EXPECT_EQ(UiLanguage, UI_GERMAN);
    EXPECT_EQ(control_text(dialog_, ID_EXIT), "Beenden");
    EXPECT_EQ(row_selected(ID_DEUTSCH), 1);
    EXPECT_EQ(row_selected(ID_ENGLISH), 0);
}

TEST_F(LanguageBoxes, AdditionalLanguagesBoxChangesNothingUntilOk) {
    set_boxes(true, true, true);
    select_rows(1, 1, 1);
    UiLanguage = UI_ENGLISH;
    click(dialog_, ID_MORE_LANGUAGES);
    EXPECT_FALSE(is_checked(dialog_, ID_MORE_LANGUAGES));
    EXPECT_EQ(row_selected(ID_MORE_LANGUAGES), 1);
}

TEST(GermanSystem, OnlyTheFiveGermanLanguageIdsCount) {
    const WORD german[] = {0x0407, 0x0807, 0x0C07, 0x1007, 0x1407};
    for (WORD id : german)
        EXPECT_EQ(is_german_language(id), 1) << std::hex << id;
    // Same primary language but another sublanguage, neutral German, and others.
    const WORD other[] = {0x0007, 0x1807, 0x0409, 0x0809, 0x040C, 0x0000, 0x0406, 0x0408};
    for (WORD id : other)
        EXPECT_EQ(is_german_language(id), 0) << std::hex << id;
    EXPECT_EQ(is_german_system(), is_german_language(GetSystemDefaultLangID()));
}

TEST_F(LanguageBoxes, GermanDefaultsSelectDeutschOnly) {
    select_rows(0, 3, 1);
    apply_german_defaults();
    EXPECT_EQ(row_selected(ID_DEUTSCH), 1);
    EXPECT_EQ(row_selected(ID_ENGLISH), 0);
    EXPECT_EQ(row_selected(ID_MORE_LANGUAGES), 0);
}

}  // namespace
