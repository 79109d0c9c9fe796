// Whole installs through the dialog: a first install on an English and on a German system, and installs over
// an earlier one.
#include <gtest/gtest.h>

#include "tests/common/dialog_texts.h"
#include "tests/ui/setup_session.h"

namespace ui {
namespace {

class SetupInstall : public SetupSession {};

// Texts that stay the same in both languages.
const DialogText kSameTexts[] = {
    {ID_OK, "OK", "OK"},
    {ID_BROWSE, "...", "..."},
    {ID_DEUTSCH, "Deutsch", "Deutsch"},
    {ID_ENGLISH, "English", "English"},
};

void expect_texts(HWND dialog, bool german) {
    auto expect = [&](const DialogText& t) {
        EXPECT_EQ(item_text(dialog, t.id), german ? t.german : t.english) << "control " << t.id;
    };
    for (const DialogText& t : kLanguageTexts)
        expect(t);
    for (const DialogText& t : kSameTexts)
        expect(t);
}

void expect_boxes(HWND dialog, const Languages& l) {
    EXPECT_EQ(is_checked(dialog, ID_DEUTSCH), l.deutsch) << "Deutsch";
    EXPECT_EQ(is_checked(dialog, ID_ENGLISH), l.english) << "English";
    EXPECT_EQ(is_checked(dialog, ID_MORE_LANGUAGES), l.more) << "additional languages";
}

std::string with_backslash(std::string folder) {
    if (!folder.empty() && folder.back() != '\\')
        folder += '\\';
    return folder;
}

std::string product_ini_language(bool* present) {
    return ini_language(product_dir() + "\\ZUNO.INI", present);
}

void expect_registry(const std::string& typed_folder) {
    std::string dir;
    DWORD type = 0;
    ASSERT_TRUE(read_reg_string(HKEY_CURRENT_USER, kUserKey, "Dir", &dir, &type)) << "HKCU\\" << kUserKey;
    EXPECT_EQ(dir, typed_folder);
    EXPECT_EQ(type, DWORD(REG_SZ));
    std::string name, uninstall;
    ASSERT_TRUE(read_reg_string(HKEY_LOCAL_MACHINE, kUninstallKey, "DisplayName", &name, &type));
    EXPECT_EQ(name, "Ordavin");
    EXPECT_EQ(type, DWORD(REG_SZ));
    ASSERT_TRUE(read_reg_string(HKEY_LOCAL_MACHINE, kUninstallKey, "UninstallString", &uninstall, &type));
    EXPECT_EQ(uninstall, with_backslash(typed_folder) + "UnInst.exe");
    EXPECT_EQ(type, DWORD(REG_SZ));
}

void expect_shortcut(const std::string& lnk, const std::string& folder) {
    Shortcut s;
    ASSERT_TRUE(read_shortcut(lnk, &s)) << lnk;
    EXPECT_EQ(upper(s.target), upper(with_backslash(folder) + "ZUNO.exe")) << lnk;
    EXPECT_EQ(s.working_dir, folder) << lnk;
    EXPECT_EQ(s.description, "Ordavin") << lnk;
    EXPECT_EQ(s.arguments, "") << lnk;
}

void write_ini_language(const std::string& folder, const char* value) {
    ASSERT_TRUE(WritePrivateProfileStringA("ZUNO", "Language", value, (folder + "\\ZUNO.INI").c_str()));
}

std::string installed_ini_language(const std::string& folder, bool* present) {
    return ini_language(folder + "\\ZUNO.INI", present);
}

TEST_F(SetupInstall, FirstInstallOnAnEnglishSystemInstallsEverythingIntoTheProposedFolder) {
    ASSERT_TRUE(start());
    char title[64] = "";
    GetWindowTextA(dialog_, title, sizeof title);
    EXPECT_STREQ(title, "  Setup Ordavin");
    EXPECT_EQ(item_text(dialog_, ID_HEADING), "Ordavin  1.10");
    const std::string folder = first_install_folder();
    EXPECT_EQ(item_text(dialog_, ID_FOLDER), folder);
    expect_boxes(dialog_, {true, true, true});
    EXPECT_TRUE(is_checked(dialog_, ID_START_MENU)) << "a new folder asks for the Start-menu entry";
    EXPECT_TRUE(is_checked(dialog_, ID_DESKTOP_ICON)) << "a new folder asks for the desktop icon";
    EXPECT_TRUE(is_visible(dialog_, ID_START_MENU));
    EXPECT_FALSE(is_visible(dialog_, ID_PROGRESS));
    expect_texts(dialog_, false);

    install_expecting_success();

    expect_files(folder, {true, true, true});
    expect_registry(folder);
    // Three packages chosen: the record keeps what the product shipped ("GR" turns into "DE").
    bool shipped = false, present = false;
    std::string value = product_ini_language(&shipped);
    if (value.compare(0, 2, "GR") == 0)
        value = "DE";
    EXPECT_EQ(installed_ini_language(folder, &present), value);
    EXPECT_EQ(present, shipped);
    expect_shortcut(group_shortcut_path(), folder);
    expect_shortcut(desktop_shortcut_path(), folder);
}

TEST_F(SetupInstall, GermanSystemChoosesDeutschSpeaksGermanAndReportsSuccessInEnglish) {
    ASSERT_TRUE(start("de_DE.UTF-8"));
    ASSERT_EQ(item_text(dialog_, ID_EXIT), "Beenden") << "the setup did not see a German system (0x0407)";
    expect_boxes(dialog_, {true, false, false});
    expect_texts(dialog_, true);
    EXPECT_EQ(item_text(dialog_, ID_HEADING), "Ordavin  1.10");

    // A folder below a file cannot be created: the German message, with the folder as its caption.
    std::string blocker;
    ASSERT_NO_FATAL_FAILURE(make_blocker(&blocker));
    const std::string bad = blocker + "\\Ordavin";
    type_text(dialog_, ID_FOLDER, bad);
    MessageBoxSeen box = press_ok_for_message();
    EXPECT_EQ(box.text, "Kann nicht Verzeichnis erstellen.");
    EXPECT_EQ(box.caption, bad);
    EXPECT_EQ(box.icon, Icon::error);
    ASSERT_TRUE(answer_message_box(box));
    ASSERT_TRUE(settle(dialog_));
    EXPECT_TRUE(IsWindowVisible(dialog_)) << "the dialog stays open";
    EXPECT_TRUE(is_visible(dialog_, ID_START_MENU));
    EXPECT_FALSE(is_visible(dialog_, ID_PROGRESS));

    const std::string folder = folder_ + "\\Ordavin";
    install_into(folder);
    expect_files(folder, {true, false, false});
    expect_registry(folder);
    bool present = false;
    EXPECT_EQ(installed_ini_language(folder, &present), "DE") << "one package chosen: its tag is recorded";
    EXPECT_TRUE(present);
    expect_shortcut(group_shortcut_path(), folder);
    expect_shortcut(desktop_shortcut_path(), folder);
}

TEST_F(SetupInstall, InstallsOverAnEarlierOneFollowTheHelpFilesAndTheLanguageRecord) {
    for (const char* help : {"ZUNO_DE.HLP", "ZUNO_US.HLP"})
        ASSERT_TRUE(path_exists(product_dir() + "\\" + help)) << "the sample product lacks " << help;

    // First install, every package, into a folder of our choice.
    ASSERT_TRUE(start());
    install_into(folder_);
    expect_files(folder_, {true, true, true});

    // Second: the recorded folder is proposed and the help files found there mark the boxes.
    ASSERT_TRUE(start());
    EXPECT_EQ(item_text(dialog_, ID_FOLDER), folder_);
    expect_boxes(dialog_, {true, true, true});
    EXPECT_FALSE(is_checked(dialog_, ID_START_MENU)) << "the folder exists";
    EXPECT_FALSE(is_checked(dialog_, ID_DESKTOP_ICON)) << "the folder exists";
    expect_texts(dialog_, false);
    ASSERT_TRUE(click(dialog_, ID_DEUTSCH));
    ASSERT_TRUE(click(dialog_, ID_MORE_LANGUAGES));
    expect_boxes(dialog_, {false, true, false});
    install_expecting_success();
    // The packages left out lose their files from the earlier install.
    expect_files(folder_, {false, true, false});
    bool present = false;
    EXPECT_EQ(installed_ini_language(folder_, &present), "US") << "one package chosen: its tag is recorded";
    expect_registry(folder_);

    // Third: only the English help file is left, which the wildcard row matches too. "GR" from an old
    // version becomes "DE", and with Deutsch chosen again nothing more is written.
    write_ini_language(folder_, "GR");
    ASSERT_TRUE(start());
    expect_boxes(dialog_, {false, true, true});
    ASSERT_TRUE(click(dialog_, ID_DEUTSCH));
    expect_boxes(dialog_, {true, true, true});
    expect_texts(dialog_, false);
    install_expecting_success();
    expect_files(folder_, {true, true, true});
    EXPECT_EQ(installed_ini_language(folder_, &present), "DE");

    // Fourth: "GR" again, English alone: "US" replaces it. A value already matching a chosen package stays.
    write_ini_language(folder_, "GR");
    ASSERT_TRUE(start());
    ASSERT_TRUE(click(dialog_, ID_DEUTSCH));
    ASSERT_TRUE(click(dialog_, ID_MORE_LANGUAGES));
    expect_boxes(dialog_, {false, true, false});
    install_expecting_success();
    EXPECT_EQ(installed_ini_language(folder_, &present), "US");

    // Fifth: the comparison is case-sensitive: "us" matches no package, and with two chosen it stays.
    write_ini_language(folder_, "us");
    ASSERT_TRUE(start());
    expect_boxes(dialog_, {false, true, true});
    install_expecting_success();
    EXPECT_EQ(installed_ini_language(folder_, &present), "us") << "two packages chosen, none matching";
    expect_files(folder_, {false, true, true});
}

}  // namespace
}  // namespace ui
