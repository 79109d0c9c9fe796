// Pieces of the compressor shared between its source files.
#pragma once
#include <stdint.h>
#include <vector>

#include "tools/compressor.h"

// Most significant bit first, as the decoder's bit reader takes them.
struct BitWriter {
    std::vector<uint8_t>* out = nullptr;
    uint64_t acc = 0;
    int pending = 0;   // bits in acc not yet written

    void put(uint32_t value, int count) {
        acc = (acc << count) | value;
        pending += count;
        while (pending >= 8) {
            pending -= 8;
            out->push_back((uint8_t)(acc >> pending));
        }
    }
    // Pads the last byte with zero bits.
    void finish() {
        if (pending > 0) out->push_back((uint8_t)(acc << (8 - pending)));
        pending = 0;
        acc = 0;
    }
};

// Canonical codes of LENGTHS, in the decoder's order: by length, then by symbol.
void make_codes(const uint8_t* lengths, int count, uint16_t* codes);

// A table block for an LZ block (the 374 lengths of main, distance and repeat codes). SAVED holds the
// lengths of the previous block (zeros when there is none) and receives LENGTHS. Counts go to STATS.
void write_table_block(BitWriter* writer, const uint8_t* lengths, uint8_t* saved, CompressStats* stats);

// Bits that write_table_block would take, a little rougher (for choosing block ends).
uint32_t table_block_cost(const uint8_t* lengths, const uint8_t* saved);
