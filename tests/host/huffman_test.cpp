#include <gtest/gtest.h>
#include <string.h>

#include <algorithm>
#include <random>
#include <vector>

#include "tests/common/bit_writer.h"
#include "tests/common/decoder_job.h"

namespace {

using Lengths = std::vector<uint8_t>;

// The canonical table written out plainly: limit[L] sums count[l] * 2^(16 - l) over l <= L, capped.
struct PlainTable {
    uint32_t limit[16], first_index[16];
    std::vector<uint32_t> coded;  // symbols with a code, by length, then by value
};

PlainTable plain_table(const Lengths& lengths) {
    PlainTable t;
    uint32_t count[16] = {0};
    for (uint8_t len : lengths)
        count[len & 15]++;
    count[0] = 0;
    uint64_t sum = 0;
    uint32_t first = 0;
    t.limit[0] = t.first_index[0] = 0;
    for (int len = 1; len < 16; len++) {
        sum += (uint64_t)count[len] << (16 - len);
        t.limit[len] = (uint32_t)std::min<uint64_t>(sum, 0xFFFF);
        first += count[len - 1];
        t.first_index[len] = first;
    }
    for (int len = 1; len < 16; len++)
        for (size_t i = 0; i < lengths.size(); i++)
            if ((lengths[i] & 15) == len)
                t.coded.push_back((uint32_t)i);
    return t;
}

// The decoding rule on a built table, step by step: the smallest L in 1..14 with b < limit[L], else 15.
uint32_t plain_decode(const CodeTable& t, uint32_t v, uint32_t* length) {
    uint32_t b = v & 0xFFFE;
    uint32_t len = 15;
    for (uint32_t l = 1; l <= 14; l++)
        if (b < t.limit[l]) {
            len = l;
            break;
        }
    uint32_t index = ((b - t.limit[len - 1]) >> (16 - len)) + t.first_index[len];
    if (index >= t.symbol_count)
        index = 0;
    *length = len;
    return t.symbols[index];
}

struct HuffmanTest : ::testing::Test {
    ExtractJob* job = new_decoder_job();
    void TearDown() override { free_decoder_job(job); }

    // Puts the stream at the start of in_buf, as a first fill would.
    void load(const std::vector<uint8_t>& bytes) {
        ASSERT_LE(bytes.size(), (size_t)IN_BUF_SIZE);
        memset(job->in_buf, 0, IN_BUF_SIZE);
        memcpy(job->in_buf, bytes.data(), bytes.size());
        job->byte_pos = job->bit_pos = 0;
        job->in_avail = (int32_t)bytes.size();
    }
    uint32_t bit_position() const { return job->byte_pos * 8 + job->bit_pos; }
};

TEST_F(HuffmanTest, TwoCodesOfLengthOne) {
    const uint8_t lengths[] = {1, 1};
    CodeTable* t = &job->main_table;
    build_code_table(lengths, t, 2);
    EXPECT_EQ(t->limit[1], 0xFFFFu);  // 0x10000 capped
    for (uint32_t v : {0x0000u, 0x7FFFu, 0x8000u, 0xFFFFu}) {
        job->in_buf[0] = (uint8_t)(v >> 8);
        job->in_buf[1] = (uint8_t)v;
        job->byte_pos = job->bit_pos = 0;
        decode_symbol(job, t);
        EXPECT_EQ(job->cur_symbol, v < 0x8000 ? 0u : 1u) << std::hex << v;
        EXPECT_EQ(bit_position(), 1u);
    }
}

TEST_F(HuffmanTest, CanonicalLimitsAndOrder) {
    const uint8_t lengths[] = {2, 1, 3, 3};
    CodeTable* t = &job->dist_table;
    build_code_table(lengths, t, 4);
    EXPECT_EQ(t->symbol_count, 4u);
    EXPECT_EQ(t->limit[1], 0x8000u);
    EXPECT_EQ(t->limit[2], 0xC000u);
    EXPECT_EQ(t->limit[3], 0xFFFFu);
    EXPECT_EQ(t->limit[15], 0xFFFFu);
    EXPECT_EQ(t->first_index[1], 0u);
    EXPECT_EQ(t->first_index[2], 1u);
    EXPECT_EQ(t->first_index[3], 2u);
    EXPECT_EQ(t->symbols[0], 1u);
    EXPECT_EQ(t->symbols[1], 0u);
    EXPECT_EQ(t->symbols[2], 2u);
    EXPECT_EQ(t->symbols[3], 3u);
}

// The fast lookup must give the symbol and the length of the plain rule for every 16-bit peek,
// whatever the lengths: incomplete, oversubscribed, empty, long, and over stale symbols of a larger build.
TEST_F(HuffmanTest, FastLookupEqualsThePlainRuleForEveryPeek) {
    std::mt19937 rng(20260);
    std::vector<Lengths> sets = {
        Lengths(298, 0),                       // no code at all
        {1, 1},
        {2, 1, 3, 3},
        {1, 0, 0},                             // one code of length 1: incomplete
        Lengths(19, 1),                        // oversubscribed at length 1
        Lengths(12, 3),                        // oversubscribed at length 3
        Lengths(48, 15),                       // only the longest length
        {17, 18, 0, 19},                       // lengths are taken modulo 16
    };
    Lengths boundary(298, 0);                  // lengths at and just past the fast-table width
    for (int i = 0; i < 298; i++)
        boundary[i] = i < 200 ? FAST_BITS : (i < 260 ? FAST_BITS + 1 : 0);
    sets.push_back(boundary);
    Lengths complete(16, 0);                   // a complete code using every length 1..15
    for (int i = 0; i < 14; i++)
        complete[i] = (uint8_t)(i + 1);
    complete[14] = complete[15] = 15;
    sets.push_back(complete);
    for (int r = 0; r < 4; r++) {              // random, mostly oversubscribed or incomplete
        Lengths random(298);
        for (auto& len : random)
            len = (uint8_t)(rng() % (r < 2 ? 16 : 8) + (r < 2 ? 0 : 8));
        sets.push_back(random);
    }
    Lengths sparse(298, 0);
    for (int i = 0; i < 298; i += 37)
        sparse[i] = (uint8_t)(5 + i % 11);
    sets.push_back(sparse);

    CodeTable* t = &job->main_table;
    for (size_t n = 0; n < sets.size(); n++) {
        const Lengths& lengths = sets[n];
        build_code_table(lengths.data(), t, (uint32_t)lengths.size());
        PlainTable want = plain_table(lengths);
        for (int len = 0; len < 16; len++) {
            ASSERT_EQ(t->limit[len], want.limit[len]) << "set " << n << " length " << len;
            ASSERT_EQ(t->first_index[len], want.first_index[len]) << "set " << n << " length " << len;
        }
        for (size_t i = 0; i < want.coded.size(); i++)
            ASSERT_EQ(t->symbols[i], want.coded[i]) << "set " << n;
        for (uint32_t v = 0; v < 0x10000; v++) {
            uint32_t k = v % 8;  // any bit position
            uint32_t bits = v << (8 - k);
            job->in_buf[100] = (uint8_t)(bits >> 16);
            job->in_buf[101] = (uint8_t)(bits >> 8);
            job->in_buf[102] = (uint8_t)bits;
            job->byte_pos = 100;
            job->bit_pos = k;
            decode_symbol(job, t);
            uint32_t len;
            uint32_t symbol = plain_decode(*t, v, &len);
            ASSERT_EQ(job->cur_symbol, symbol) << "set " << n << " peek " << v;
            ASSERT_EQ(bit_position(), 100 * 8 + k + len) << "set " << n << " peek " << v;
        }
    }
}

// Table blocks --------------------------------------------------------------------------------------

Lengths lz_lengths(uint32_t seed) {
    Lengths lengths(LZ_TABLE_TOTAL);
    for (uint32_t i = 0; i < LZ_TABLE_TOTAL; i++)
        lengths[i] = (uint8_t)((i * 7 + seed) % 16);
    return lengths;
}

void expect_table(const CodeTable& t, const uint8_t* lengths, uint32_t n, const char* what) {
    PlainTable want = plain_table(Lengths(lengths, lengths + n));
    EXPECT_EQ(t.symbol_count, n) << what;
    for (int len = 0; len < 16; len++)
        EXPECT_EQ(t.limit[len], want.limit[len]) << what << " length " << len;
    for (size_t i = 0; i < want.coded.size(); i++)
        EXPECT_EQ(t.symbols[i], want.coded[i]) << what << " index " << i;
}

void expect_lz_tables(const ExtractJob* job, const Lengths& lengths) {
    expect_table(job->main_table, lengths.data(), MAIN_SYMBOLS, "main");
    expect_table(job->dist_table, lengths.data() + MAIN_SYMBOLS, DIST_SYMBOLS, "dist");
    expect_table(job->rep_table, lengths.data() + MAIN_SYMBOLS + DIST_SYMBOLS, REP_SYMBOLS, "rep");
}

TEST_F(HuffmanTest, BlockWithoutKeepFlagTakesPlainLengths) {
    memset(job->saved_lengths, 9, SAVED_LENGTHS_SIZE);  // a block with keep flag 0 clears these first
    Lengths lengths = lz_lengths(3);
    BitWriter w;
    put_table_block(w, lengths.data(), LZ_TABLE_TOTAL, false);
    w.put(0x5A, 8);
    load(w.bytes);
    read_table_block(job);
    expect_lz_tables(job, lengths);
    EXPECT_EQ(Lengths(job->saved_lengths, job->saved_lengths + LZ_TABLE_TOTAL), lengths);
    EXPECT_EQ(job->saved_lengths[LZ_TABLE_TOTAL], 0);
    EXPECT_EQ(job->audio_mode, 0u);
    EXPECT_EQ(bit_position(), w.bit_count - 8);  // the block and nothing more was read
}

TEST_F(HuffmanTest, BlockWithKeepFlagAddsToTheSavedLengths) {
    Lengths first = lz_lengths(5);
    Lengths second = lz_lengths(11);
    first[0] = 15;
    second[0] = 2;
    BitWriter w;
    put_table_block(w, first.data(), LZ_TABLE_TOTAL, false);
    // The second block by hand for its first length: saved 15 plus code 3 gives 2.
    put_block_header(w, false, true, 1, plain_bitlen_lengths());
    Code bitlen(plain_bitlen_lengths(), BITLEN_SYMBOLS);
    bitlen.put(w, 3);
    for (uint32_t i = 1; i < LZ_TABLE_TOTAL; i++)
        bitlen.put(w, (second[i] - first[i]) & 15);
    load(w.bytes);
    read_table_block(job);
    expect_lz_tables(job, first);
    read_table_block(job);
    expect_lz_tables(job, second);
    EXPECT_EQ(job->saved_lengths[0], 2);
}

TEST_F(HuffmanTest, RunsRepeatAndZeroAndStopAtTheBlockEnd) {
    Code bitlen(plain_bitlen_lengths(), BITLEN_SYMBOLS);
    BitWriter w;
    put_block_header(w, false, false, 1, plain_bitlen_lengths());
    Lengths want(LZ_TABLE_TOTAL, 0);
    bitlen.put(w, 16);  // code 16 first: nothing to repeat, gives zeros
    w.put(1, 2);        // 4 times
    bitlen.put(w, 5);
    bitlen.put(w, 16);
    w.put(3, 2);        // 6 more fives
    bitlen.put(w, 17);
    w.put(7, 3);        // 10 zeros
    uint32_t i = 4;
    want[i++] = 5;
    for (int k = 0; k < 6; k++)
        want[i++] = 5;
    i += 10;
    while (i < 300) {  // plain lengths up to 300
        want[i] = (uint8_t)(1 + i % 9);
        bitlen.put(w, want[i]);
        i++;
    }
    bitlen.put(w, 18);
    w.put(127, 7);      // 138 zeros, cut at the 374th length
    uint32_t block_end = w.bit_count;
    w.put(0xFFFF, 16);  // what follows the block must stay unread
    load(w.bytes);
    memset(job->main_table.symbols, 0, sizeof(job->main_table.symbols));
    read_table_block(job);
    EXPECT_EQ(bit_position(), block_end);
    EXPECT_EQ(Lengths(job->saved_lengths, job->saved_lengths + LZ_TABLE_TOTAL), want);
    expect_lz_tables(job, want);
}

TEST_F(HuffmanTest, AudioBlockRebuildsOnlyTheAudioTables) {
    Lengths lz = lz_lengths(1);
    Lengths audio(SAVED_LENGTHS_SIZE);
    for (uint32_t i = 0; i < SAVED_LENGTHS_SIZE; i++)
        audio[i] = (uint8_t)((i * 5 + i / 257) % 13);
    BitWriter w;
    put_table_block(w, lz.data(), LZ_TABLE_TOTAL, false);
    put_table_block(w, audio.data(), SAVED_LENGTHS_SIZE, false, nullptr, true, 4);
    w.put(0, 16);
    load(w.bytes);
    read_table_block(job);
    CodeTable main_before = job->main_table, dist_before = job->dist_table, rep_before = job->rep_table;
    read_table_block(job);
    EXPECT_EQ(job->audio_mode, 0x8000u);
    EXPECT_EQ(job->channel_count, 4);
    EXPECT_EQ(job->current_channel, 0);
    EXPECT_EQ(bit_position(), w.bit_count - 16);
    for (int c = 0; c < 4; c++)
        expect_table(job->audio_table_store[c], audio.data() + 257 * c, AUDIO_SYMBOLS, "audio");
    EXPECT_EQ(memcmp(&main_before, &job->main_table, sizeof(CodeTable)), 0);
    EXPECT_EQ(memcmp(&dist_before, &job->dist_table, sizeof(CodeTable)), 0);
    EXPECT_EQ(memcmp(&rep_before, &job->rep_table, sizeof(CodeTable)), 0);
    EXPECT_EQ(Lengths(job->saved_lengths, job->saved_lengths + SAVED_LENGTHS_SIZE), audio);
}

TEST_F(HuffmanTest, LzBlockAfterAudioBlockLeavesTheRestOfTheSavedLengthsZero) {
    Lengths audio(SAVED_LENGTHS_SIZE, 6);
    Lengths lz = lz_lengths(2);
    BitWriter w;
    put_table_block(w, audio.data(), 2 * 257, false, nullptr, true, 2);
    put_table_block(w, lz.data(), LZ_TABLE_TOTAL, true, audio.data());
    load(w.bytes);
    read_table_block(job);
    EXPECT_EQ(job->channel_count, 2);
    read_table_block(job);
    EXPECT_EQ(job->audio_mode, 0u);
    expect_lz_tables(job, lz);
    for (uint32_t i = LZ_TABLE_TOTAL; i < SAVED_LENGTHS_SIZE; i++)
        ASSERT_EQ(job->saved_lengths[i], 0) << i;
}

// The table-block loop refills only past byte 8187 and a pass may take 15 + 7 bits: a pass that starts
// at byte 8187, bit 7 reads its extra bits from the buffer's last bytes, and nothing after them counts.
TEST_F(HuffmanTest, TableBlockPassAtTheEndOfTheBufferReadsTheLastBytes) {
    uint8_t bitlen_lengths[BITLEN_SYMBOLS] = {4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 5, 5, 5, 5, 5, 15};
    Code bitlen(bitlen_lengths, BITLEN_SYMBOLS);
    BitWriter block;
    put_block_header(block, false, false, 1, bitlen_lengths);
    Lengths want(LZ_TABLE_TOTAL, 0);
    for (int i = 0; i < 300; i++) {
        want[i] = (uint8_t)(i % 13);
        bitlen.put(block, want[i]);
    }
    const uint32_t last_pass = block.bit_count;
    bitlen.put(block, 18);  // 15-bit code
    block.put(127, 7);      // 138 zeros, cut at 374

    const uint32_t start = (8187 * 8 + 7) - last_pass;
    for (uint8_t padding : {0x00, 0xFF}) {
        BitWriter w;
        for (uint32_t i = 0; i < start; i++)
            w.put(i & 1, 1);
        for (uint32_t i = 0; i < block.bit_count; i++)
            w.put((block.bytes[i / 8] >> (7 - i % 8)) & 1, 1);
        ASSERT_EQ(w.bytes.size(), (size_t)IN_BUF_SIZE - 1);  // the peek for the extra bits reads byte 8191
        load(w.bytes);
        guard_input_padding(job, false);
        memset(job->in_buf + IN_BUF_SIZE, padding, IN_BUF_PAD);
        guard_input_padding(job, true);
        job->byte_pos = start / 8;
        job->bit_pos = start % 8;
        start_entry(job, {}, 0);  // nothing more to read
        read_table_block(job);
        EXPECT_EQ(bit_position(), 8187u * 8 + 7 + 22);
        EXPECT_EQ(Lengths(job->saved_lengths, job->saved_lengths + LZ_TABLE_TOTAL), want);
    }
}

// A table block announced at the end of an entry is read only with five or more bytes left.
TEST_F(HuffmanTest, EndCheckNeedsFiveBytesLeft) {
    LzCodes first = LzCodes::flat();
    Lengths second_lengths = lz_lengths(4);
    for (int left : {4, 5, 6}) {
        BitWriter w;
        first.put_table(w);
        uint32_t mark = w.bit_count;
        first.put_symbol(w, SYM_TABLE_BLOCK);
        put_table_block(w, second_lengths.data(), LZ_TABLE_TOTAL, false);
        load(w.bytes);
        read_table_block(job);
        ASSERT_EQ(bit_position(), mark);
        job->in_avail = (int32_t)job->byte_pos + left;
        check_end_table(job);
        if (left < 5) {
            EXPECT_EQ(bit_position(), mark) << left;
            expect_lz_tables(job, Lengths(first.lengths, first.lengths + LZ_TABLE_TOTAL));
        } else {
            EXPECT_EQ(bit_position(), w.bit_count) << left;
            expect_lz_tables(job, second_lengths);
        }
    }
}

TEST_F(HuffmanTest, EndCheckInAudioModeLooksForSymbol256) {
    Lengths audio(257, 0);
    audio[0] = 1;
    audio[256] = 1;  // symbol 0 is code 0, symbol 256 code 1
    Lengths lz = lz_lengths(9);
    for (uint32_t symbol : {0u, 256u}) {
        BitWriter w;
        put_table_block(w, audio.data(), 257, false, nullptr, true, 1);
        uint32_t mark = w.bit_count;
        w.put(symbol == 256, 1);
        put_table_block(w, lz.data(), LZ_TABLE_TOTAL, false);
        w.pad(8);
        load(w.bytes);
        read_table_block(job);
        check_end_table(job);
        if (symbol == 256) {
            EXPECT_EQ(job->audio_mode, 0u);
            expect_lz_tables(job, lz);
        } else {
            EXPECT_EQ(bit_position(), mark + 1);
            EXPECT_EQ(job->audio_mode, 0x8000u);
        }
    }
}

}  // namespace
