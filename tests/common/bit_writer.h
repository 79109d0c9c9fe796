// Hand-built RAR 2.0 bit streams for tests: an MSB-first bit writer, canonical codes for given code
// lengths, table blocks and the LZ symbols. Header-only, no test framework needed.
#pragma once
#include <stdint.h>
#include <string.h>

#include <vector>

#include "unpack/format.h"

struct BitWriter {
    std::vector<uint8_t> bytes;
    uint32_t bit_count = 0;

    // Appends the low `count` bits of value (0..32), most significant first.
    void put(uint32_t value, uint32_t count) {
        for (uint32_t i = count; i-- > 0;) {
            if (bit_count % 8 == 0)
                bytes.push_back(0);
            if ((value >> i) & 1)
                bytes.back() |= (uint8_t)(0x80 >> (bit_count % 8));
            bit_count++;
        }
    }
    // Pads the stream with zero bytes (room for the decoder's end-of-entry look-ahead, say).
    void pad(uint32_t count) { bytes.insert(bytes.end(), count, 0); bit_count = (uint32_t)bytes.size() * 8; }
};

// Canonical code of an alphabet: within one length, codes follow symbol order; shorter codes come first.
struct Code {
    std::vector<uint8_t> lengths;
    std::vector<uint32_t> codes;

    Code() = default;
    Code(const uint8_t* lens, uint32_t n) : lengths(lens, lens + n), codes(n, 0) {
        uint32_t count[16] = {0};
        for (uint32_t i = 0; i < n; i++)
            count[lengths[i] & 15]++;
        count[0] = 0;
        uint32_t next[16] = {0};
        uint32_t code = 0;
        for (int len = 1; len < 16; len++) {
            code = (code + count[len - 1]) << 1;
            next[len] = code;
        }
        for (uint32_t i = 0; i < n; i++)
            if (lengths[i])
                codes[i] = next[lengths[i]]++;
    }
    void put(BitWriter& w, uint32_t symbol) const { w.put(codes[symbol], lengths[symbol]); }
};

// A complete code-length code: symbols 0..12 at 4 bits, 13..18 at 5 bits.
inline const uint8_t* plain_bitlen_lengths() {
    static const uint8_t lengths[BITLEN_SYMBOLS] = {4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 5, 5, 5, 5, 5, 5};
    return lengths;
}

// Table block header: audio flag, keep flag, channel bits (audio only), the 19 code-length lengths.
inline void put_block_header(BitWriter& w, bool audio, bool keep, uint32_t channels,
                             const uint8_t* bitlen_lengths) {
    w.put(audio, 1);
    w.put(keep, 1);
    if (audio)
        w.put(channels - 1, 2);
    for (int i = 0; i < BITLEN_SYMBOLS; i++)
        w.put(bitlen_lengths[i], 4);
}

// A whole table block with plain code-length symbols: each length is sent as its difference, modulo
// 16, to `previous` (the decoder's saved lengths; null for all zeros, which a keep flag of 0 implies).
inline void put_table_block(BitWriter& w, const uint8_t* lengths, uint32_t total, bool keep,
                            const uint8_t* previous = nullptr, bool audio = false, uint32_t channels = 1) {
    put_block_header(w, audio, keep, channels, plain_bitlen_lengths());
    Code bitlen(plain_bitlen_lengths(), BITLEN_SYMBOLS);
    for (uint32_t i = 0; i < total; i++) {
        uint32_t base = keep && previous ? previous[i] : 0;
        bitlen.put(w, (lengths[i] - base) & 15);
    }
}

// LZ code lengths and codes: main (298), distance (48) and repeat-length (28) alphabets.
struct LzCodes {
    uint8_t lengths[LZ_TABLE_TOTAL];
    Code main, dist, rep;

    explicit LzCodes(const uint8_t* lens) {
        memcpy(lengths, lens, LZ_TABLE_TOTAL);
        main = Code(lengths, MAIN_SYMBOLS);
        dist = Code(lengths + MAIN_SYMBOLS, DIST_SYMBOLS);
        rep = Code(lengths + MAIN_SYMBOLS + DIST_SYMBOLS, REP_SYMBOLS);
    }
    // Every symbol coded: main 9 bits, distance 6 bits, repeat length 5 bits.
    static LzCodes flat() {
        uint8_t lens[LZ_TABLE_TOTAL];
        memset(lens, 9, MAIN_SYMBOLS);
        memset(lens + MAIN_SYMBOLS, 6, DIST_SYMBOLS);
        memset(lens + MAIN_SYMBOLS + DIST_SYMBOLS, 5, REP_SYMBOLS);
        return LzCodes(lens);
    }

    void put_table(BitWriter& w, bool keep = false, const uint8_t* previous = nullptr) const {
        put_table_block(w, lengths, LZ_TABLE_TOTAL, keep, previous);
    }
    void put_literal(BitWriter& w, uint8_t byte) const { main.put(w, byte); }
    void put_symbol(BitWriter& w, uint32_t symbol) const { main.put(w, symbol); }

    // Length code j and its extra bits for `value` (0..255) over the length table.
    static void length_code(uint32_t value, uint32_t* j, uint32_t* extra) {
        *j = LENGTH_CODES - 1;
        while (kLengthBase[*j] > value)
            (*j)--;
        *extra = value - kLengthBase[*j];
    }

    // Distance code and extra bits for a distance of 1..1,048,576.
    void put_distance(BitWriter& w, uint32_t distance) const {
        uint32_t d = DIST_SYMBOLS - 1;
        while (kDistBase[d] > distance - 1)
            d--;
        dist.put(w, d);
        w.put(distance - 1 - kDistBase[d], kDistBits[d]);
    }

    // Match by length code and distance code (symbols 270..297); false when the pair has no coding.
    bool put_match(BitWriter& w, uint32_t length, uint32_t distance) const {
        uint32_t bonus = (distance >= BONUS_DIST_1) + (distance >= BONUS_DIST_2);
        if (distance < 1 || distance > WINDOW_SIZE || length < 3 + bonus || length - 3 - bonus > 255)
            return false;
        uint32_t j, extra;
        length_code(length - 3 - bonus, &j, &extra);
        main.put(w, SYM_LENGTH_FIRST + j);
        w.put(extra, kLengthBits[j]);
        put_distance(w, distance);
        return true;
    }
    // Match at the slot-th most recent distance (0..3, symbols 257..260) whose value is `distance`.
    bool put_old_match(BitWriter& w, uint32_t slot, uint32_t length, uint32_t distance) const {
        uint32_t bonus = (distance >= BONUS_DIST_OLD) + (distance >= BONUS_DIST_1) + (distance >= BONUS_DIST_2);
        if (slot > 3 || length < 2 + bonus || length - 2 - bonus > 255)
            return false;
        uint32_t j, extra;
        length_code(length - 2 - bonus, &j, &extra);
        main.put(w, SYM_OLD_DIST_FIRST + slot);
        rep.put(w, j);
        w.put(extra, kLengthBits[j]);
        return true;
    }
    // Length-2 match at distance 1..256 (symbols 261..268).
    bool put_short_match(BitWriter& w, uint32_t distance) const {
        if (distance < 1 || distance > 256)
            return false;
        uint32_t k = SHORT_DIST_CODES - 1;
        while (kShortDistBase[k] > distance - 1)
            k--;
        main.put(w, SYM_SHORT_FIRST + k);
        w.put(distance - 1 - kShortDistBase[k], kShortDistBits[k]);
        return true;
    }
};
