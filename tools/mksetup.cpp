// mksetup: builds Ordavin setups and lists, tests and extracts the archive inside any setup.
#include <stdio.h>
#include <string.h>

#include <string>

#include "tools/mksetup.h"
#include "tools/mksetup_read.h"

namespace {

const char kHelp[] =
    "Usage: mksetup COMMAND ARGUMENTS\n"
    "\n"
    "Builds the Ordavin setup and reads the archive carried by any setup or RAR 2.x archive.\n"
    "\n"
    "Commands:\n"
    "  build [--stub FILE|none] [-o FILE] [--store] [--level N] FOLDER\n"
    "                              Builds a setup (default Setup.exe): the setup stub followed by a solid\n"
    "                              RAR 2.0 archive of the files in FOLDER, made by our own compressor\n"
    "                              (--level 1 fast, 2 default, 3 best; --store: nothing compressed); the\n"
    "                              result is tested before it is kept. 'mksetup build --help' tells more.\n"
    "  list FILE                   Shows where the archive lies in FILE (offset and kind) and every block:\n"
    "                              for file entries the name, unpacked and packed size, method, unpack\n"
    "                              version, CRC, modification time, attributes, host system and the solid,\n"
    "                              split, encrypted and directory flags; other blocks by type and size.\n"
    "                              Blocks whose header checksum does not match are reported.\n"
    "  test FILE                   Decodes every entry in archive order, as the setup does, and checks each\n"
    "                              data checksum and every header checksum. One line per entry: OK, or\n"
    "                              what is wrong.\n"
    "  extract FILE -o DIR         Writes every file entry (all languages) under DIR, creating folders, with\n"
    "                              the archived modification time. An existing file is replaced only by a\n"
    "                              complete, verified entry. Names that would leave DIR (absolute, with a\n"
    "                              drive or stream ':', with '..', control characters or Windows device\n"
    "                              names) are refused.\n"
    "  --help                      Shows this text.\n"
    "\n"
    "Exit codes:\n"
    "  0  everything is fine\n"
    "  1  at least one entry is damaged, unsupported or not written (each is named on standard error)\n"
    "  2  usage error, unreadable file or no archive found\n";

int usage_error(const char* message) {
    fprintf(stderr, "mksetup: %s\nTry 'mksetup --help'.\n", message);
    return EXIT_USAGE_OR_NO_ARCHIVE;
}

bool is_help(const char* arg) {
    return strcmp(arg, "--help") == 0 || strcmp(arg, "-h") == 0 || strcmp(arg, "help") == 0;
}

// "list FILE" and "test FILE".
int one_file_command(int argc, char** argv, int (*command)(const char*)) {
    if (argc == 3 && is_help(argv[2])) {
        fputs(kHelp, stdout);
        return EXIT_ALL_GOOD;
    }
    if (argc != 3)
        return usage_error((std::string(argv[1]) + " takes exactly one FILE").c_str());
    return command(argv[2]);
}

int list_command(const char* path) {
    return list_archive_file(path, stdout, stderr);
}

int test_command(const char* path) {
    return test_archive_file(path, stdout, stderr, nullptr);
}

int extract_command(int argc, char** argv) {
    const char* file = nullptr;
    const char* dir = nullptr;
    for (int i = 2; i < argc; ++i) {
        if (is_help(argv[i])) {
            fputs(kHelp, stdout);
            return EXIT_ALL_GOOD;
        }
        if (strcmp(argv[i], "-o") == 0) {
            if (i + 1 >= argc)
                return usage_error("-o needs a folder");
            if (dir)
                return usage_error("-o given twice");
            dir = argv[++i];
        } else if (argv[i][0] == '-' && argv[i][1] != 0) {
            return usage_error((std::string("unknown option ") + argv[i]).c_str());
        } else if (file) {
            return usage_error("extract takes one FILE");
        } else {
            file = argv[i];
        }
    }
    if (!file)
        return usage_error("extract needs a FILE");
    if (!dir || !dir[0])
        return usage_error("extract needs -o DIR");
    return extract_archive_file(file, dir, stdout, stderr);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2)
        return usage_error("no command given");
    const char* command = argv[1];
    if (is_help(command)) {
        fputs(kHelp, stdout);
        return EXIT_ALL_GOOD;
    }
    if (strcmp(command, "build") == 0) {
        return mksetup_build(argc - 1, argv + 1);
    }
    if (strcmp(command, "list") == 0)
        return one_file_command(argc, argv, list_command);
    if (strcmp(command, "test") == 0)
        return one_file_command(argc, argv, test_command);
    if (strcmp(command, "extract") == 0)
        return extract_command(argc, argv);
    return usage_error((std::string("unknown command '") + command + "'").c_str());
}
