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

// Whether the block header stored at BLOCK_START matches its checksum: the low 16 bits of the CRC-32 of its
// HEAD_SIZE bytes from the type byte on. Archivers differ in what it covers, and each of these counts: the
// first SHORT_SIZE bytes only (older ones leave a comment after the fixed part and name out), the whole
// header, or the header and its first COVERED_DATA data bytes (old sub-blocks). 0 for either turns that
// reading off. Returns 1 on a match, 0 when none matches or the header cannot be read whole; *WHOLE, when
// given, gets the checksum of the whole header. The stream is left where the reading ended.
int header_checksum_matches(ExtractJob* job, int32_t block_start, uint16_t head_size, uint16_t stored,
                            uint32_t short_size, uint32_t covered_data, uint16_t* whole);
