// The uninstall entry: two REG_SZ values without terminators, under a key whose class is set only once.
#include <gtest/gtest.h>
#include <windows.h>
#include <string>

#include "registry_sandbox.h"
#include "system/uninstall.h"

namespace {

const char entry_key[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Ordavin";

struct Entry {
    bool found = false;
    std::string key_class;
    DWORD value_count = 0;
    DWORD name_type = 0, name_length = 0, command_type = 0, command_length = 0;
    std::string name, command;
};

Entry read_entry() {
    Entry entry;
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, entry_key, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return entry;
    entry.found = true;
    RegQueryInfoKeyA(key, NULL, NULL, NULL, NULL, NULL, NULL, &entry.value_count, NULL, NULL, NULL, NULL);
    RegCloseKey(key);
    entry.key_class = RegistrySandbox::key_class(HKEY_LOCAL_MACHINE, entry_key);
    RegistrySandbox::read_stored(HKEY_LOCAL_MACHINE, entry_key, "DisplayName", &entry.name_type, &entry.name_length,
                                 &entry.name);
    RegistrySandbox::read_stored(HKEY_LOCAL_MACHINE, entry_key, "UninstallString", &entry.command_type,
                                 &entry.command_length, &entry.command);
    return entry;
}

class UninstallEntry : public ::testing::Test {
protected:
    RegistrySandbox sandbox;
    void SetUp() override { ASSERT_TRUE(sandbox.active) << "cannot redirect the registry roots of this process"; }
};

TEST_F(UninstallEntry, NameAndCommandWithoutQuotesOrTerminators) {
    register_uninstall("C:\\Program Files\\ZUNO\\UnInst.exe");
    Entry entry = read_entry();
    ASSERT_TRUE(entry.found);
    EXPECT_EQ(entry.key_class, "Ordavin");
    EXPECT_EQ(entry.value_count, 2u) << "no other values";
    EXPECT_EQ(entry.name_type, (DWORD)REG_SZ);
    EXPECT_EQ(RegistrySandbox::without_added_terminator(entry.name), "Ordavin");
    EXPECT_EQ(entry.command_type, (DWORD)REG_SZ);
    EXPECT_EQ(RegistrySandbox::without_added_terminator(entry.command), "C:\\Program Files\\ZUNO\\UnInst.exe")
        << "32 characters, no quotes despite the blank";
}

TEST_F(UninstallEntry, ASecondInstallOverwritesTheValuesAndKeepsTheClass) {
    HKEY key;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, entry_key, 0, (LPSTR) "Older", 0, KEY_WRITE, NULL, &key, NULL), 0);
    RegCloseKey(key);
    register_uninstall("C:\\Program Files\\ZUNO\\UnInst.exe");
    register_uninstall("D:\\UnInst.exe");
    Entry entry = read_entry();
    ASSERT_TRUE(entry.found);
    EXPECT_EQ(entry.key_class, "Older");
    EXPECT_EQ(RegistrySandbox::without_added_terminator(entry.name), "Ordavin");
    EXPECT_EQ(RegistrySandbox::without_added_terminator(entry.command), "D:\\UnInst.exe");
}

TEST_F(UninstallEntry, WhenTheKeyCannotBeCreatedNothingIsWrittenAndNothingBreaks) {
    // Under a volatile root no lasting key can be created, much like a root the user may not write to.
    HKEY volatile_root;
    ASSERT_EQ(RegCreateKeyExA(sandbox.machine, "volatile", 0, NULL, REG_OPTION_VOLATILE, KEY_ALL_ACCESS, NULL,
                              &volatile_root, NULL), 0);
    ASSERT_EQ(RegOverridePredefKey(HKEY_LOCAL_MACHINE, volatile_root), 0);
    register_uninstall("C:\\Program Files\\ZUNO\\UnInst.exe");
    bool found = read_entry().found;
    RegOverridePredefKey(HKEY_LOCAL_MACHINE, sandbox.machine);
    RegCloseKey(volatile_root);
    EXPECT_FALSE(found);
}

}  // namespace
