// Finding the archive in a file and walking its block headers.
#pragma once
#include <stdint.h>

struct ExtractJob;

// kind BLOCK_MAIN reads the 13 main-header bytes, BLOCK_FILE the 32-byte fixed block header.
// Returns the number of bytes the read delivered; fields beyond them are zero.
int32_t read_header(ExtractJob* job, int kind);

// Returns archive_kind: 0 none, 1 at the start, 2 volume, 3 inside a longer file.
int32_t open_archive(ExtractJob* job);

// request: wanted block type in the low 8 bits, WALK_STOP_AT_SUB to stop at sub-blocks too.
// Returns 0 at the end or at a bad header, else the header bytes read.
int32_t read_next_entry(ExtractJob* job, uint32_t request);
void normalize_entry(ExtractJob* job);
void adjust_attributes(ExtractJob* job);
