// ui_driver: works the setup from the command line, for the demo and by hand.
//   ui_driver reset [folder...]   forget earlier installs: registry keys, shortcuts, the folders named
//                                 (by default the folder a first install proposes)
//   ui_driver show SETUP.EXE      start the setup, wait for its dialog, print its place and what it shows
//   ui_driver ok                  press OK in the running setup, answer its message and wait for it to end
//   ui_driver report [folder]     print what is installed: files, registry values, ZUNO.INI, shortcuts
#include <stdio.h>
#include <string.h>

#include "tests/ui/install_state.h"
#include "tests/ui/ui_driver.h"

namespace {

int reset(int argc, char** argv) {
    ui::reset_install_state();
    std::vector<std::string> folders;
    for (int i = 2; i < argc; ++i)
        folders.push_back(argv[i]);
    if (folders.empty())
        folders.push_back(ui::first_install_folder());
    int status = 0;
    for (const std::string& f : folders)
        if (!ui::remove_tree(f)) {
            fprintf(stderr, "ui_driver: cannot remove %s\n", f.c_str());
            status = 1;
        }
    return status;
}

void print_dialog(HWND dialog) {
    RECT r;
    GetWindowRect(dialog, &r);
    printf("dialog %ld %ld %ld %ld\n", r.left, r.top, r.right - r.left, r.bottom - r.top);
    printf("  heading   \"%s\"\n", ui::item_text(dialog, ID_HEADING).c_str());
    printf("  %s \"%s\"\n", ui::item_text(dialog, ID_FOLDER_LABEL).c_str(),
           ui::item_text(dialog, ID_FOLDER).c_str());
    static const int boxes[] = {ID_DEUTSCH, ID_ENGLISH, ID_MORE_LANGUAGES, ID_START_MENU,
                                ID_DESKTOP_ICON};
    for (int id : boxes)
        printf("  [%c] %s\n", ui::is_checked(dialog, id) ? 'x' : ' ', ui::item_text(dialog, id).c_str());
}

int show(int argc, char** argv) {
    if (argc < 3) {
        fprintf(stderr, "usage: ui_driver show SETUP.EXE\n");
        return 2;
    }
    ui::Process process;
    std::string error;
    if (!ui::start_program(argv[2], nullptr, &process, &error)) {
        fprintf(stderr, "ui_driver: %s\n", error.c_str());
        return 1;
    }
    HWND dialog = ui::wait_for_window(process.pid, ui::kDialogClass, ui::kSetupTitle, 60000);
    if (!dialog) {
        fprintf(stderr, "ui_driver: no window \"%s\" appeared\n", ui::kSetupTitle);
        return 1;
    }
    // Let it paint before anyone takes a picture of it.
    ui::settle(dialog);
    RedrawWindow(dialog, nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    Sleep(500);
    ui::settle(dialog);
    print_dialog(dialog);
    ui::close_process(process);
    return 0;
}

int press_ok() {
    HWND dialog = ui::find_window(0, ui::kDialogClass, ui::kSetupTitle);
    if (!dialog) {
        fprintf(stderr, "ui_driver: no setup dialog is open\n");
        return 1;
    }
    ui::Process process;
    ui::attach_to_window(dialog, &process);
    printf("pressing OK: installing into %s\n", ui::item_text(dialog, ID_FOLDER).c_str());
    DWORD start = GetTickCount();
    ui::click(dialog, ui::ID_OK, 200);
    ui::MessageBoxSeen box;
    if (!ui::wait_for_message_box(dialog, 600000, &box)) {
        fprintf(stderr, "ui_driver: no message appeared\n");
        return 1;
    }
    DWORD took = GetTickCount() - start;
    printf("message (%s icon) \"%s\": %s\n", ui::icon_name(box.icon), box.caption.c_str(), box.text.c_str());
    printf("install took %.2f s\n", took / 1000.0);
    ui::answer_message_box(box);
    long code = ui::wait_for_exit(process, 30000);
    if (code < 0) {
        printf("the setup is still open\n");
        return 1;
    }
    printf("setup ended with exit code %ld\n", code);
    return 0;
}

int report(int argc, char** argv) {
    std::string dir;
    DWORD type = 0;
    bool have_dir = ui::read_reg_string(HKEY_CURRENT_USER, ui::kUserKey, "Dir", &dir, &type);
    std::string folder = argc > 2 ? argv[2] : (have_dir ? dir : ui::first_install_folder());
    if (!folder.empty() && folder.back() == '\\')
        folder.pop_back();

    printf("Files in %s:\n", folder.c_str());
    std::vector<ui::FileInfo> files = ui::list_files(folder);
    for (const ui::FileInfo& f : files)
        printf("  %-16s %9llu  %s  attr 0x%02lX  crc %08X\n", f.name.c_str(), (unsigned long long)f.size,
               ui::format_file_time(f.write_time).c_str(), f.attributes, f.crc);
    if (files.empty())
        printf("  (none)\n");

    printf("Registry:\n");
    printf("  HKCU\\%s\n    Dir = %s\n", ui::kUserKey,
           have_dir ? ("\"" + dir + "\"" + (type == REG_SZ ? " (REG_SZ)" : " (not REG_SZ)")).c_str() : "(none)");
    std::string name, uninstall;
    bool have_name = ui::read_reg_string(HKEY_LOCAL_MACHINE, ui::kUninstallKey, "DisplayName", &name);
    bool have_un = ui::read_reg_string(HKEY_LOCAL_MACHINE, ui::kUninstallKey, "UninstallString", &uninstall);
    printf("  HKLM\\%s\n    DisplayName = %s\n    UninstallString = %s\n", ui::kUninstallKey,
           have_name ? ("\"" + name + "\"").c_str() : "(none)",
           have_un ? ("\"" + uninstall + "\"").c_str() : "(none)");

    bool present = false;
    std::string language = ui::ini_language(folder + "\\ZUNO.INI", &present);
    printf("ZUNO.INI [ZUNO] Language = %s\n", present ? ("\"" + language + "\"").c_str() : "(none)");

    printf("Shortcuts:\n");
    for (const std::string& lnk : {ui::group_shortcut_path(), ui::desktop_shortcut_path()}) {
        ui::Shortcut s;
        if (ui::read_shortcut(lnk, &s))
            printf("  %s\n    target %s\n    working folder %s\n    description \"%s\"\n", lnk.c_str(),
                   s.target.c_str(), s.working_dir.c_str(), s.description.c_str());
        else
            printf("  %s (none)\n", lnk.c_str());
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const char* command = argc > 1 ? argv[1] : "";
    if (!strcmp(command, "reset"))
        return reset(argc, argv);
    if (!strcmp(command, "show"))
        return show(argc, argv);
    if (!strcmp(command, "ok"))
        return press_ok();
    if (!strcmp(command, "report"))
        return report(argc, argv);
    fprintf(stderr, "usage: ui_driver reset [folder...] | show SETUP.EXE | ok | report [folder]\n");
    return 2;
}
