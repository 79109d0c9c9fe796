// mksetup's commands, shared between the read side (list, test, extract) and the builder.
#pragma once
#include <stdio.h>
#include <string>

// Exit codes of every command.
enum { EXIT_ALL_GOOD = 0, EXIT_ENTRY_FAILED = 1, EXIT_USAGE_OR_NO_ARCHIVE = 2 };

// `mksetup build ...`: args[0] is "build", the rest its options and folder.
int mksetup_build(int argc, char** argv);

// Decodes every entry of the archive that PATH carries and checks each data checksum, as `mksetup test`
// does. Writes one line per entry to OUT (none when OUT is null) and problems to ERR (none when null).
// Returns an exit code above. ARCHIVE_OFFSET, when given, receives the offset at which the archive was
// found (-1 when none).
int test_archive_file(const char* path, FILE* out, FILE* err, long* archive_offset);
