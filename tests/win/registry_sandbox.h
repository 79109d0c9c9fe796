// Test helper: redirects HKEY_CURRENT_USER and HKEY_LOCAL_MACHINE of this process to fresh private keys,
// so registry tests neither see nor touch the shared Wine prefix's real keys, even when test processes run
// in parallel. The private keys are deleted afterwards.
#pragma once
#include <windows.h>
#include <stdio.h>
#include <string>

struct RegistrySandbox {
    char base[128];
    HKEY user = NULL;
    HKEY machine = NULL;
    bool active = false;

    RegistrySandbox() {
        static LONG counter = 0;
        snprintf(base, sizeof base, "Software\\OrdavinTests\\%lu_%lu_%ld", GetCurrentProcessId(),
                 GetTickCount(), InterlockedIncrement(&counter));
        std::string user_path = std::string(base) + "\\user";
        std::string machine_path = std::string(base) + "\\machine";
        if (RegCreateKeyExA(HKEY_CURRENT_USER, user_path.c_str(), 0, NULL, 0, KEY_ALL_ACCESS, NULL, &user, NULL) ||
            RegCreateKeyExA(HKEY_CURRENT_USER, machine_path.c_str(), 0, NULL, 0, KEY_ALL_ACCESS, NULL, &machine,
                            NULL))
            return;
        active = RegOverridePredefKey(HKEY_CURRENT_USER, user) == ERROR_SUCCESS &&
                 RegOverridePredefKey(HKEY_LOCAL_MACHINE, machine) == ERROR_SUCCESS;
    }
    ~RegistrySandbox() {
        RegOverridePredefKey(HKEY_CURRENT_USER, NULL);
        RegOverridePredefKey(HKEY_LOCAL_MACHINE, NULL);
        if (user)
            RegCloseKey(user);
        if (machine)
            RegCloseKey(machine);
        delete_tree(HKEY_CURRENT_USER, base);
    }

    // Writes a string value (with its terminator) below the redirected root.
    static bool set_text(HKEY root, const char* key_name, const char* value, const char* text) {
        HKEY key;
        if (RegCreateKeyExA(root, key_name, 0, NULL, 0, KEY_WRITE, NULL, &key, NULL) != ERROR_SUCCESS)
            return false;
        LONG status = RegSetValueExA(key, value, 0, REG_SZ, (const BYTE*)text, (DWORD)strlen(text) + 1);
        RegCloseKey(key);
        return status == ERROR_SUCCESS;
    }

    // Reads a string value as stored. The registry keeps strings as UTF-16, and its ANSI reading adds a
    // terminator of its own, so the stored length is taken from the wide reading: LENGTH receives the
    // number of characters stored, counting a stored terminator if there is one.
    static bool read_stored(HKEY root, const char* key_name, const char* value, DWORD* type, DWORD* length,
                            std::string* text) {
        HKEY key;
        if (RegOpenKeyExA(root, key_name, 0, KEY_READ, &key) != ERROR_SUCCESS)
            return false;
        WCHAR wide_value[128];
        MultiByteToWideChar(CP_ACP, 0, value, -1, wide_value, 128);
        WCHAR data[600];
        DWORD size = sizeof data;
        LONG status = RegQueryValueExW(key, wide_value, NULL, type, (BYTE*)data, &size);
        RegCloseKey(key);
        if (status != ERROR_SUCCESS)
            return false;
        *length = size / sizeof(WCHAR);
        text->clear();
        for (DWORD i = 0; i < *length; i++)
            text->push_back((char)data[i]);
        return true;
    }

    // The text as stored, minus the one terminator the registry adds by itself to a REG_SZ written without
    // one (Windows NT and Wine both do that when a zero follows the data), so that a writer's length
    // without the terminator and a stored text with exactly one terminator read the same; an extra or a
    // missing character shows.
    static std::string without_added_terminator(const std::string& stored) {
        if (!stored.empty() && stored.back() == '\0')
            return stored.substr(0, stored.size() - 1);
        return stored;
    }

    static std::string key_class(HKEY root, const char* key_name) {
        HKEY key;
        if (RegOpenKeyExA(root, key_name, 0, KEY_READ, &key) != ERROR_SUCCESS)
            return "<no key>";
        char class_name[600] = "";
        DWORD class_size = sizeof class_name;
        RegQueryInfoKeyA(key, class_name, &class_size, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL);
        RegCloseKey(key);
        return class_name;
    }

    static void delete_tree(HKEY root, const char* name) {
        HKEY key;
        if (RegOpenKeyExA(root, name, 0, KEY_ALL_ACCESS, &key) == ERROR_SUCCESS) {
            char child[256];
            for (;;) {
                DWORD size = sizeof child;
                if (RegEnumKeyExA(key, 0, child, &size, NULL, NULL, NULL, NULL) != ERROR_SUCCESS)
                    break;
                delete_tree(key, child);
            }
            RegCloseKey(key);
        }
        RegDeleteKeyA(root, name);
    }
};
