#include "tests/ui/setup_session.h"

#include <ctype.h>

namespace ui {

namespace {
const char kTestsRoot[] = "C:\\ordavin-ui";   // every test's own folder lies below it
}  // namespace

std::string setup_exe() {
    return windows_path(ORDAVIN_SETUP_EXE);
}

std::string product_dir() {
    return windows_path(ORDAVIN_PRODUCT_DIR);
}

std::string upper(std::string s) {
    for (char& c : s)
        c = char(toupper(static_cast<unsigned char>(c)));
    return s;
}

std::set<std::string> expected_files(const Languages& chosen) {
    std::set<std::string> names;
    for (const FileInfo& f : list_files(product_dir())) {
        std::string name = upper(f.name);
        bool wanted = true;
        if (name.size() > 7 && name.compare(0, 5, "ZUNO_") == 0 && name[7] == '.') {
            std::string tag = name.substr(5, 2);
            wanted = tag == "DE" ? chosen.deutsch : tag == "US" ? chosen.english : chosen.more;
        }
        if (wanted)
            names.insert(name);
    }
    return names;
}

void SetupSession::SetUp() {
    if (!path_exists(setup_exe()))
        GTEST_SKIP() << "build/demo/Setup-x64.exe is not built yet (" << setup_exe() << ")";
    if (list_files(product_dir()).empty())
        GTEST_SKIP() << "the sample product files are missing (" << product_dir() << ")";
    end_processes_with_window(kDialogClass, kSetupTitle);
    reset_install_state();
    const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
    folder_ = std::string(kTestsRoot) + "\\" + test->test_suite_name() + "." + test->name();
    ASSERT_TRUE(remove_tree(folder_)) << folder_;
    ASSERT_TRUE(remove_tree(first_install_folder())) << first_install_folder();
}

void SetupSession::TearDown() {
    if (process_.handle && wait_for_exit(process_, 0) < 0)
        TerminateProcess(process_.handle, 1);
    close_process(process_);
    end_processes_with_window(kDialogClass, kSetupTitle);
}

HWND SetupSession::start(const char* locale, const std::string& exe) {
    close_process(process_);
    std::string error;
    if (!start_program(exe.empty() ? setup_exe() : exe, locale, &process_, &error)) {
        ADD_FAILURE() << error;
        return nullptr;
    }
    dialog_ = wait_for_window(process_.pid, kDialogClass, kSetupTitle, kStartTimeout);
    if (!dialog_) {
        ADD_FAILURE() << "no dialog titled \"" << kSetupTitle << "\" appeared";
        return nullptr;
    }
    attach_to_window(dialog_, &process_);
    settle(dialog_);
    return dialog_;
}

MessageBoxSeen SetupSession::press_ok_for_message() {
    MessageBoxSeen box;
    DWORD begin = GetTickCount();
    click(dialog_, ID_OK, 200);
    EXPECT_TRUE(wait_for_message_box(dialog_, kInstallTimeout, &box)) << "no message box after OK";
    install_ms_ = GetTickCount() - begin;
    return box;
}

void SetupSession::install_expecting_success() {
    MessageBoxSeen box = press_ok_for_message();
    ASSERT_TRUE(box.window);
    EXPECT_EQ(box.text, "Ordavin has been successfully installed.");
    EXPECT_EQ(box.caption, "  Setup ");
    EXPECT_EQ(box.icon, Icon::information);
    EXPECT_EQ(box.buttons.size(), 1u);
    // While the message shows, the progress line has taken the place of the two option boxes.
    EXPECT_FALSE(is_visible(dialog_, ID_START_MENU));
    EXPECT_FALSE(is_visible(dialog_, ID_DESKTOP_ICON));
    EXPECT_TRUE(is_visible(dialog_, ID_PROGRESS));
    EXPECT_EQ(item_text(dialog_, ID_PROGRESS), "");
    ASSERT_TRUE(answer_message_box(box));
    EXPECT_EQ(exit_code(), 0);
    printf("[ install took %.2f s under Wine ]\n", install_ms_ / 1000.0);
}

void SetupSession::install_into(const std::string& folder) {
    type_text(dialog_, ID_FOLDER, folder);
    ASSERT_EQ(item_text(dialog_, ID_FOLDER), folder);
    install_expecting_success();
}

long SetupSession::exit_code() {
    return wait_for_exit(process_, 30000);
}

void SetupSession::make_own_folder() {
    ASSERT_TRUE(CreateDirectoryA(kTestsRoot, nullptr) || GetLastError() == ERROR_ALREADY_EXISTS) << kTestsRoot;
    ASSERT_TRUE(CreateDirectoryA(folder_.c_str(), nullptr)) << folder_;
}

void SetupSession::make_blocker(std::string* path) {
    ASSERT_NO_FATAL_FAILURE(make_own_folder());
    *path = folder_ + "\\blocker";
    HANDLE h = CreateFileA(path->c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE) << *path;
    CloseHandle(h);
}

void SetupSession::expect_files(const std::string& folder, const Languages& chosen) {
    std::set<std::string> expected = expected_files(chosen);
    std::set<std::string> found;
    for (const FileInfo& f : list_files(folder)) {
        std::string name = upper(f.name);
        if (name == "ZUNO.INI" && !expected.count(name))
            continue;   // the INI record may create it
        found.insert(name);
        FileInfo sample;
        if (!file_info(product_dir() + "\\" + f.name, &sample)) {
            ADD_FAILURE() << f.name << " is not a product file";
            continue;
        }
        if (name == "ZUNO.INI")
            continue;   // the install writes its language record into it
        EXPECT_EQ(f.size, sample.size) << f.name;
        EXPECT_EQ(f.crc, sample.crc) << f.name;
        EXPECT_EQ(f.attributes, DWORD(FILE_ATTRIBUTE_ARCHIVE)) << f.name;
        // The archive keeps MS-DOS times: local time in steps of two seconds.
        ULARGE_INTEGER a, b;
        a.LowPart = f.write_time.dwLowDateTime;
        a.HighPart = f.write_time.dwHighDateTime;
        b.LowPart = sample.write_time.dwLowDateTime;
        b.HighPart = sample.write_time.dwHighDateTime;
        long long diff = (long long)(a.QuadPart - b.QuadPart) / 10000000;
        EXPECT_LE(diff < 0 ? -diff : diff, 2)
            << f.name << " written " << format_file_time(f.write_time) << ", product file "
            << format_file_time(sample.write_time);
    }
    EXPECT_EQ(found, expected) << "in " << folder;
}

}  // namespace ui
