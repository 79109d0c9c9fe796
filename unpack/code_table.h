// Canonical Huffman decode table of one alphabet.
#pragma once
#include <stdint.h>
#include "unpack/format.h"

struct CodeTable {
    uint32_t symbol_count;
    uint32_t limit[16];          // left-justified 16-bit bound of codes of length <= L, capped at 0xFFFF
    uint32_t first_index[16];    // index in symbols where the codes of length L begin
    uint32_t symbols[MAIN_SYMBOLS];  // large enough for every alphabet (298 is the largest)
    // Lookup by the next FAST_BITS input bits: symbol << 4 | code length, or 0 when the code is longer.
    uint16_t fast[1 << FAST_BITS];
};
