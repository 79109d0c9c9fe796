// The fixture of the setup scenarios: every test starts from a system without an earlier install and with
// its own install folder, and no setup is left running after it.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <set>
#include <string>
#include <vector>

#include "tests/ui/install_state.h"
#include "tests/ui/ui_driver.h"

namespace ui {

std::string setup_exe();     // build/demo/Setup-x64.exe as Wine sees it
std::string product_dir();   // the sample product files packed into it

// Language packages, as the setup's three boxes choose them.
struct Languages {
    bool deutsch;
    bool english;
    bool more;
};
// The product files a fresh install with these packages writes: a name of the form ZUNO_xx.ext belongs to
// the package of its tag (DE Deutsch, US English, any other the additional languages); every other name is
// always installed.
std::set<std::string> expected_files(const Languages& chosen);
std::string upper(std::string s);

const DWORD kStartTimeout = 60000;
const DWORD kInstallTimeout = 300000;

class SetupSession : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Starts the setup (on a system of this locale when one is given) and waits for its dialog. EXE is
    // another copy of the setup, such as a damaged one; by default the built setup itself.
    HWND start(const char* locale = nullptr, const std::string& exe = std::string());
    // Presses OK and returns the message box that follows.
    MessageBoxSeen press_ok_for_message();
    // Presses OK, expects the success message, answers it and expects the setup to end with 0.
    void install_expecting_success();
    // Writes the folder into the field, presses OK and checks the whole install into it.
    void install_into(const std::string& folder);
    void expect_files(const std::string& folder, const Languages& chosen);
    long exit_code();
    // This test's own folder, created empty (SetUp removed any earlier one).
    void make_own_folder();
    // A file in this test's folder: no folder can be created below it.
    void make_blocker(std::string* path);

    std::string folder_;   // this test's own install folder
    Process process_;
    HWND dialog_ = nullptr;
    DWORD install_ms_ = 0;
};

}  // namespace ui
