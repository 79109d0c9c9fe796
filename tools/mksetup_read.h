// mksetup's read side: list, test and extract an archive with the setup's own reader and decoder.
#pragma once
#include <stdint.h>
#include <stdio.h>
#include <string>

// Prints the archive's position and kind and every block of it. Returns an exit code of mksetup.h.
int list_archive_file(const char* path, FILE* out, FILE* err);

// Decodes every entry and writes each file entry that decodes complete and verified under DEST_DIR,
// creating folders. Names that could reach outside DEST_DIR are refused. Returns an exit code.
int extract_archive_file(const char* path, const char* dest_dir, FILE* out, FILE* err);

// Why NAME (as the walk returns it, with backslashes) must not be written below a target folder, or null
// when it is safe. A directory entry may end with a separator.
const char* unsafe_name_reason(const char* name);

// "YYYY-MM-DD HH:MM:SS" of a DOS date (high 16 bits) and time (low 16 bits).
std::string dos_time_text(uint32_t dos_time);
