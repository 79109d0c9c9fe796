// RAR 2.0 stream format: the constants shared by the decoder and the compressor.
// Change them here and both directions follow.
#pragma once
#include <stdint.h>

enum {
    WINDOW_SIZE = 0x100000,          // 1 MiB sliding window
    WINDOW_MASK = WINDOW_SIZE - 1,

    IN_BUF_SIZE = 8192,              // bit reader input buffer
    IN_BUF_PAD = 8,                  // zero bytes after it: a peek near the end and 8-byte loads stay inside
    IN_CARRY = 32,                   // bytes carried to the front by a later fill
    SAVED_LENGTHS_SIZE = 1028,       // 4 x 257: largest table block

    // Refill thresholds on byte_pos (keep every peek inside in_buf).
    REFILL_BEFORE_PASS = 8162,
    REFILL_BEFORE_BLOCK = 8167,
    REFILL_BEFORE_LENGTH = 8187,

    // The second later fill without data means the reader has gone through a whole buffer of stale
    // bytes past the entry's data: the entry is damaged and its decoding ends there.
    MAX_EMPTY_FILLS = 2,

    // Flush when fewer than this many bytes separate window_pos from unflushed data.
    FLUSH_MARGIN = 270,

    // Alphabets.
    BITLEN_SYMBOLS = 19,
    MAIN_SYMBOLS = 298,
    DIST_SYMBOLS = 48,
    REP_SYMBOLS = 28,
    AUDIO_SYMBOLS = 257,
    MAX_AUDIO_CHANNELS = 4,
    LZ_TABLE_TOTAL = MAIN_SYMBOLS + DIST_SYMBOLS + REP_SYMBOLS,  // 374 lengths in an LZ block
    MAX_CODE_LENGTH = 15,
    FAST_BITS = 10,                  // codes of up to this many bits decode with one table lookup

    // Main-code symbols.
    SYM_LITERAL_END = 256,           // 0..255 are literals
    SYM_REPEAT_LAST = 256,           // repeat the last match
    SYM_OLD_DIST_FIRST = 257,        // 257..260: one of the four recent distances
    SYM_OLD_DIST_LAST = 260,
    SYM_SHORT_FIRST = 261,           // 261..268: length-2 match at a short distance
    SYM_SHORT_LAST = 268,
    SYM_TABLE_BLOCK = 269,           // a table block follows
    SYM_LENGTH_FIRST = 270,          // 270..297: length code j = symbol - 270, then a distance
    SYM_AUDIO_TABLE_BLOCK = 256,     // in an audio channel's code: a table block follows

    // Code-length code symbols.
    BITLEN_REPEAT_PREV = 16,         // 2 extra bits: repeat previous length 3..6 times
    BITLEN_ZEROS_SHORT = 17,         // 3 extra bits: 3..10 zeros
    BITLEN_ZEROS_LONG = 18,          // 7 extra bits: 11..138 zeros

    // Length bonuses by distance.
    BONUS_DIST_OLD = 0x101,          // old-distance matches only
    BONUS_DIST_1 = 0x2000,
    BONUS_DIST_2 = 0x40000,

    LENGTH_CODES = 28,
    SHORT_DIST_CODES = 8,

    STORED_BUFFER_SIZE = 0x8000,     // copy buffer of a stored entry
};

// Length codes j = 0..27: base and extra bits.
static const uint8_t kLengthBase[LENGTH_CODES] = {
    0, 1, 2, 3, 4, 5, 6, 7, 8, 10, 12, 14, 16, 20,
    24, 28, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224};
static const uint8_t kLengthBits[LENGTH_CODES] = {
    0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2,
    2, 2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5};

// Distance codes d = 0..47: base and extra bits (base + 2^bits is the next base).
static const uint32_t kDistBase[DIST_SYMBOLS] = {
    0, 1, 2, 3, 4, 6, 8, 12, 16, 24, 32, 48, 64, 96, 128, 192,
    256, 384, 512, 768, 1024, 1536, 2048, 3072, 4096, 6144, 8192, 12288, 16384, 24576, 32768, 49152,
    65536, 98304, 131072, 196608, 0x40000, 0x50000, 0x60000, 0x70000,
    0x80000, 0x90000, 0xA0000, 0xB0000, 0xC0000, 0xD0000, 0xE0000, 0xF0000};
static const uint8_t kDistBits[DIST_SYMBOLS] = {
    0, 0, 0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6, 6,
    7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13, 14, 14,
    15, 15, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16};

// Short distance codes k = 0..7 (symbols 261..268).
static const uint8_t kShortDistBase[SHORT_DIST_CODES] = {0, 4, 8, 16, 32, 64, 128, 192};
static const uint8_t kShortDistBits[SHORT_DIST_CODES] = {2, 2, 3, 4, 5, 6, 6, 6};
