// Symbol lookup shared by decode_symbol and the LZ loop's inlined bit reader.
#pragma once
#include <stdint.h>
#include "unpack/code_table.h"

// Code length and symbol for the 16 peeked bits v by the canonical limits. Any limits give an answer:
// incomplete and oversubscribed codes decode too, an index past the alphabet gives symbols[0].
inline uint32_t lookup_by_limits(const CodeTable* table, uint32_t v, uint32_t* length) {
    uint32_t b = v & 0xFFFE;  // bit 0 takes part in no comparison
    uint32_t len = 1;
    while (len < MAX_CODE_LENGTH && b >= table->limit[len])
        len++;
    uint32_t index = ((b - table->limit[len - 1]) >> (16 - len)) + table->first_index[len];
    if (index >= table->symbol_count)
        index = 0;
    *length = len;
    return table->symbols[index];
}

// The same answer, from the fast table when the code is short. Limits of lengths up to FAST_BITS are
// multiples of 2^(16 - FAST_BITS) (or the 0xFFFF cap, which no even b reaches), so the first FAST_BITS
// bits decide both the length and the index of such a code.
inline uint32_t lookup_symbol(const CodeTable* table, uint32_t v, uint32_t* length) {
    uint32_t entry = table->fast[v >> (16 - FAST_BITS)];
    if (entry) {
        *length = entry & 15;
        return entry >> 4;
    }
    return lookup_by_limits(table, v, length);
}
