// Our compressor: turns a list of files into a solid RAR 2.0 archive that the setup's decoder reads.
#pragma once
#include <stdint.h>
#include <string>
#include <vector>

#include "unpack/format.h"

struct ArchiveInput {
    std::string name;            // path inside the archive, backslash separated, at most MAX_NAME bytes
    std::vector<uint8_t> data;   // the file's bytes, below 2 GiB
    uint32_t dos_time;           // DOS date in the high 16 bits, DOS time in the low 16 bits
    uint32_t attributes;         // ATTR_ARCHIVE, plus ATTR_READONLY for read-only files
};

// Levels: 1 fast (greedy), 2 default (lazy matching), 3 best (deeper search, two-step lazy matching).
enum { LEVEL_FAST = 1, LEVEL_DEFAULT = 2, LEVEL_BEST = 3 };

struct CompressOptions {
    int level = LEVEL_DEFAULT;
    bool store_all = false;      // every entry stored ("0"), nothing compressed
};

struct EntryResult {
    uint32_t packed_size;
    uint32_t unp_size;
    uint8_t method;              // METHOD_BEST or METHOD_STORED
    uint16_t flags;              // head_flags as written
};

// What the stream holds; the tests use it to see that every kind of symbol occurs.
struct CompressStats {
    std::vector<EntryResult> entries;
    uint64_t main_symbols[MAIN_SYMBOLS];   // main-code symbols written, 269 included
    uint64_t dist_symbols[DIST_SYMBOLS];   // distance codes written
    uint64_t bitlen_symbols[BITLEN_SYMBOLS];
    uint32_t table_blocks;                 // every table block, the first one included
    uint32_t end_table_blocks;             // those written after an entry's last symbol (read by the end check)
    uint32_t keep_blocks;                  // those coded as changes against the previous block
    uint32_t longest_code;                 // longest Huffman code length used in any table
};

// Builds the whole archive: marker, main header, then a file header and the packed data of each input, in
// the given order. Returns 0 and fills ARCHIVE (and STATS when given), or returns 1 with a message in ERROR.
int build_archive(const std::vector<ArchiveInput>& inputs, const CompressOptions& options,
                  std::vector<uint8_t>* archive, CompressStats* stats, std::string* error);

// The canonical Huffman code lengths for FREQ[0..COUNT), none longer than MAX_LENGTH. Symbols of frequency
// 0 get length 0; a single used symbol gets length 1. Exposed for tests.
void make_code_lengths(const uint32_t* freq, int count, int max_length, uint8_t* lengths);

// Distance code d (0..47) of a distance minus one (0..0xFFFFF). Exposed for tests.
int distance_code(uint32_t dist_minus_one);
