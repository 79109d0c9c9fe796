#include <gtest/gtest.h>
#include <string.h>

#include <algorithm>
#include <random>
#include <vector>

#include "tests/common/bit_writer.h"
#include "tests/common/decoder_job.h"
#include "tests/common/sample_files.h"

namespace {

using Bytes = std::vector<uint8_t>;

// Bytes whose value at absolute stream position p is p % period (period below 0x2000: no bonus).
uint8_t pattern_byte(uint64_t p, uint32_t period) { return (uint8_t)(p % period); }

Bytes pattern(uint64_t from, uint64_t count, uint32_t period) {
    Bytes b;
    for (uint64_t p = from; p < from + count; p++)
        b.push_back(pattern_byte(p, period));
    return b;
}

// Emits the pattern with literals for the first period and matches at distance `period` after it;
// the last byte is a literal when last_literal is set.
void put_pattern(const LzCodes& codes, BitWriter& w, uint64_t from, uint64_t count, uint32_t period,
                 bool last_literal = false) {
    uint64_t p = from, end = from + count;
    while (p < end) {
        uint64_t room = end - p - (last_literal ? 1 : 0);
        if (p >= period && room >= 3) {
            uint32_t length = (uint32_t)std::min<uint64_t>(room, 258);
            codes.put_match(w, length, period);
            p += length;
        } else {
            codes.put_literal(w, pattern_byte(p, period));
            p++;
        }
    }
}

struct LzTest : ::testing::Test {
    ExtractJob* job = new_decoder_job();
    LzCodes codes = LzCodes::flat();
    void TearDown() override { free_decoder_job(job); }

    // The stream's bytes plus zero padding, which the end-of-entry check reads as a literal.
    static Bytes finish(BitWriter& w, uint32_t padding = 8) {
        w.pad(padding);
        return w.bytes;
    }
    BitWriter with_table() {
        BitWriter w;
        codes.put_table(w);
        return w;
    }
};

TEST_F(LzTest, LiteralThenOverlappingMatchRepeatsIt) {
    BitWriter w = with_table();
    codes.put_literal(w, 0x41);
    ASSERT_TRUE(codes.put_match(w, 5, 1));
    Bytes out = unpack_bytes(job, finish(w), 6, false);
    EXPECT_EQ(out, Bytes(6, 0x41));
    EXPECT_EQ(job->unp_left, -1);
    EXPECT_EQ(job->window_pos, job->flushed_pos);
    EXPECT_EQ(job->data_crc, crc32_update(job, 0xFFFFFFFFu, out.data(), 6));
}

TEST_F(LzTest, RepeatAndOldDistanceAtTheStartOfANonSolidEntry) {
    memset(job->window_buffer, 0x77, WINDOW_SIZE);  // a non-solid entry clears the window
    BitWriter w = with_table();
    codes.put_symbol(w, SYM_REPEAT_LAST);  // length 0 at distance 0: nothing copied
    codes.put_literal(w, 'B');
    ASSERT_TRUE(codes.put_old_match(w, 0, 4, 0));  // the 0 that the repeat entered into the ring
    codes.put_literal(w, 'C');
    Bytes out = unpack_bytes(job, finish(w), 6, false);
    EXPECT_EQ(out, (Bytes{'B', 0, 0, 0, 0, 'C'}));
    EXPECT_EQ(job->history_count, 2);
    EXPECT_EQ(job->dist_history[0], 0u);
    EXPECT_EQ(job->dist_history[1], 0u);
    EXPECT_EQ(job->prev_length, 4u);
}

TEST_F(LzTest, OldDistancesComeFromTheRingOfFour) {
    BitWriter w = with_table();
    put_pattern(codes, w, 0, 40, 40);  // 40 distinct literals
    const uint32_t dists[] = {3, 7, 11, 13, 17};  // the fifth pushes the first out
    uint64_t produced = 40;
    for (uint32_t d : dists) {
        codes.put_match(w, 3, d);
        produced += 3;
    }
    // 257 takes the most recent (17) and enters it again: the ring then holds 11, 13, 17, 17, and
    // 260 takes the oldest of them, 11.
    codes.put_old_match(w, 0, 2, 17);
    codes.put_old_match(w, 3, 2, 11);
    Bytes out = unpack_bytes(job, finish(w), (int32_t)produced + 4, false);
    ASSERT_EQ(out.size(), produced + 4);
    Bytes expected = pattern(0, 40, 40);
    for (uint32_t d : {3u, 3u, 3u, 7u, 7u, 7u, 11u, 11u, 11u, 13u, 13u, 13u, 17u, 17u, 17u, 17u, 17u, 11u, 11u})
        expected.push_back(expected[expected.size() - d]);
    EXPECT_EQ(out, expected);
    EXPECT_EQ(job->history_count, 7);
}

// Length bonuses by distance: +1 from 0x2000, +1 more from 0x40000; old distances also +1 from 0x101.
TEST_F(LzTest, LengthBonusesByDistance) {
    struct Case {
        uint32_t dist, length_code_length, old_distance_length;
    } cases[] = {
        {0xFF, 3, 2}, {0x100, 3, 2}, {0x101, 3, 3}, {0x1FFF, 3, 3}, {0x2000, 4, 4},
        {0x3FFFF, 4, 4}, {0x40000, 5, 5}, {0x100000, 5, 5},
    };
    for (const Case& c : cases) {
        BitWriter w = with_table();
        codes.put_symbol(w, SYM_LENGTH_FIRST);  // length code 0: 3 before the bonus
        codes.put_distance(w, c.dist);
        Bytes out = unpack_bytes(job, finish(w), (int32_t)c.length_code_length, false);
        EXPECT_EQ(job->prev_length, c.length_code_length) << std::hex << c.dist;
        EXPECT_EQ(job->prev_dist, c.dist);
        EXPECT_EQ(out.size(), c.length_code_length);

        w = with_table();
        codes.put_symbol(w, SYM_LENGTH_FIRST);
        codes.put_distance(w, c.dist);
        codes.put_symbol(w, SYM_OLD_DIST_FIRST);
        codes.rep.put(w, 0);  // repeat-length code 0: 2 before the bonus
        unpack_bytes(job, finish(w), (int32_t)(c.length_code_length + c.old_distance_length), false);
        EXPECT_EQ(job->prev_length, c.old_distance_length) << std::hex << c.dist;
        EXPECT_EQ(job->unp_left, -1) << std::hex << c.dist;
    }
}

TEST_F(LzTest, ShortMatchesCoverDistancesOneTo256) {
    BitWriter w = with_table();
    put_pattern(codes, w, 0, 256, 256);
    Bytes expected = pattern(0, 256, 256);
    for (uint32_t d = 1; d <= 256; d++) {
        ASSERT_TRUE(codes.put_short_match(w, d));
        for (int k = 0; k < 2; k++)
            expected.push_back(expected[expected.size() - d]);
    }
    EXPECT_EQ(unpack_bytes(job, finish(w), (int32_t)expected.size(), false), expected);
    EXPECT_EQ(job->prev_length, 2u);
    EXPECT_EQ(job->prev_dist, 256u);
}

TEST_F(LzTest, AMatchThatOvershootsTheEntryIsWrittenWhole) {
    BitWriter w = with_table();
    codes.put_literal(w, 'a');
    codes.put_match(w, 10, 1);
    Bytes out = unpack_bytes(job, finish(w), 3, false);
    EXPECT_EQ(out, Bytes(11, 'a'));
    EXPECT_EQ(job->unp_left, 3 - 1 - 1 - 10);
}

TEST_F(LzTest, EntryOfSizeZeroProducesNothing) {
    BitWriter w = with_table();
    Bytes out = unpack_bytes(job, finish(w), 0, false);
    EXPECT_TRUE(out.empty());
    EXPECT_EQ(job->unp_left, -1);
    EXPECT_EQ(job->data_crc, 0xFFFFFFFFu);
    EXPECT_EQ(job->window_pos, 0u);
}

// Sizes of 2 GiB and more arrive negative: nothing is decoded and nothing is written.
TEST_F(LzTest, NegativeSizeProducesNothing) {
    for (int32_t size : {-1, -5, INT32_MIN}) {
        BitWriter w = with_table();
        codes.put_literal(w, 'x');
        Bytes out = unpack_bytes(job, finish(w), size, false);
        EXPECT_TRUE(out.empty()) << size;
        EXPECT_EQ(job->window_pos, 0u);
        EXPECT_LT(job->unp_left, 0);
    }
}

TEST_F(LzTest, WindowWrapsInsideOneEntry) {
    const uint32_t period = 251, size = WINDOW_SIZE + 3000;
    BitWriter w = with_table();
    put_pattern(codes, w, 0, size, period);
    Bytes out = unpack_bytes(job, finish(w), (int32_t)size, false);
    ASSERT_EQ(out.size(), size);
    EXPECT_TRUE(out == pattern(0, size, period));
    EXPECT_EQ(job->window_pos, 3000u);
}

// A literal at 0xFFFFF ends the first entry; the next solid entry goes on at position 0, and a
// distance of 1,048,576 takes the byte written one window earlier.
TEST_F(LzTest, WindowWrapsAcrossSolidEntries) {
    const uint32_t period = 251;
    BitWriter w = with_table();
    put_pattern(codes, w, 0, WINDOW_SIZE, period, true);
    Bytes first = unpack_bytes(job, finish(w), WINDOW_SIZE, false);
    ASSERT_EQ(first.size(), (size_t)WINDOW_SIZE);
    EXPECT_TRUE(first == pattern(0, WINDOW_SIZE, period));
    EXPECT_EQ(job->window_pos, (uint32_t)WINDOW_SIZE);

    BitWriter w2;
    put_pattern(codes, w2, WINDOW_SIZE, 1000, period);
    codes.put_match(w2, 5, WINDOW_SIZE);
    Bytes second = unpack_bytes(job, finish(w2), 1005, true);
    Bytes expected = pattern(WINDOW_SIZE, 1000, period);
    Bytes older = pattern(1000, 5, period);
    expected.insert(expected.end(), older.begin(), older.end());
    EXPECT_EQ(second, expected);
    EXPECT_EQ(job->window_pos, 1005u);
}

TEST_F(LzTest, SkippedEntriesStillFeedTheWindow) {
    BitWriter w = with_table();
    put_pattern(codes, w, 0, 700, 100);
    start_entry(job, finish(w), 700, true);
    unpack_entry(job, job->window_buffer, 0);
    EXPECT_EQ(job->data_crc, 0xFFFFFFFFu);

    BitWriter w2;
    codes.put_match(w2, 50, 700);
    EXPECT_EQ(unpack_bytes(job, finish(w2), 50, true), pattern(0, 50, 100));
}

TEST_F(LzTest, NonSolidEntryStartsFromAZeroWindow) {
    BitWriter w = with_table();
    put_pattern(codes, w, 0, 700, 100);
    unpack_bytes(job, finish(w), 700, false);
    BitWriter w2 = with_table();
    codes.put_literal(w2, 'z');
    codes.put_match(w2, 6, 500);  // reaches before the entry's first byte
    EXPECT_EQ(unpack_bytes(job, finish(w2), 7, false), (Bytes{'z', 0, 0, 0, 0, 0, 0}));
}

// New tables announced at the end of an entry are in force for the next solid entry.
TEST_F(LzTest, TablesAnnouncedAtTheEndCarryToTheNextSolidEntry) {
    uint8_t lens[LZ_TABLE_TOTAL];
    memset(lens, 10, sizeof(lens));
    for (int i = 0; i < 40; i++)
        lens[i] = 0;
    LzCodes other(lens);
    for (int cut : {0, 1}) {  // 1: the stream ends four bytes after the announcement
        BitWriter w = with_table();
        codes.put_literal(w, 'x');
        codes.put_literal(w, 'y');
        uint32_t mark = w.bit_count;
        codes.put_symbol(w, SYM_TABLE_BLOCK);
        other.put_table(w, true, codes.lengths);
        Bytes packed = finish(w);
        if (cut)
            packed.resize(mark / 8 + 4);
        EXPECT_EQ(unpack_bytes(job, packed, 2, false), (Bytes{'x', 'y'}));

        const LzCodes& in_force = cut ? codes : other;
        BitWriter w2;
        in_force.put_literal(w2, 'p');
        in_force.put_literal(w2, 'q');
        EXPECT_EQ(unpack_bytes(job, finish(w2), 2, true), (Bytes{'p', 'q'})) << "cut " << cut;
    }
}

TEST_F(LzTest, LongStreamAcrossRefillsAndTruncated) {
    std::mt19937 rng(7);
    Bytes data(20000);
    for (auto& b : data)
        b = (uint8_t)rng();
    BitWriter w = with_table();
    for (uint8_t b : data)
        codes.put_literal(w, b);
    Bytes packed = finish(w);
    ASSERT_GT(packed.size(), 2u * IN_BUF_SIZE);
    EXPECT_TRUE(unpack_bytes(job, packed, (int32_t)data.size(), false) == data);

    // Cut off: the decoder runs on stale input until its byte count is reached, and stays in bounds.
    packed.resize(10000);
    Bytes out = unpack_bytes(job, packed, (int32_t)data.size(), false);
    ASSERT_GE(out.size(), data.size());
    EXPECT_LE(out.size(), data.size() + 259);
    EXPECT_TRUE(std::equal(data.begin(), data.begin() + 8000, out.begin()));
    EXPECT_EQ(job->pack_left, 0);
}

// The decoding rules written out plainly, symbol by symbol through decode_symbol and the bit reader,
// byte by byte into the window: the fast loop must give the same output and state on any input.
void plain_copy(ExtractJob* job) {
    job->dist_history[job->history_count & 3] = job->match_dist;
    job->prev_dist = job->match_dist;
    job->history_count++;
    job->prev_length = job->match_length;
    job->unp_left -= job->match_length;
    for (int32_t i = 0; i < job->match_length; i++) {
        job->window[job->window_pos] = job->window[(job->window_pos - job->match_dist) & WINDOW_MASK];
        job->window_pos = (job->window_pos + 1) & WINDOW_MASK;
    }
}

uint32_t plain_number(ExtractJob* job, uint32_t bits) {
    if (bits == 0)
        return 0;
    uint32_t v = peek_bits(job) >> (16 - bits);
    skip_bits(job, bits);
    return v;
}

void plain_unpack(ExtractJob* job, uint8_t* window, int solid) {
    job->window = window;
    init_decoder(job, solid);
    refill_input(job, 1);
    if (!solid)
        read_table_block(job);
    job->unp_left -= 1;
    while (job->unp_left >= 0) {
        job->window_pos &= WINDOW_MASK;
        if (job->byte_pos > 8162) {
            refill_input(job, 0);
            if (job->empty_fills >= 2)  // a whole buffer of stale bytes read: the entry ends
                break;
        }
        if (((job->flushed_pos - job->window_pos) & WINDOW_MASK) < 270 && job->flushed_pos != job->window_pos)
            flush_window(job);
        decode_symbol(job, &job->main_table);
        uint32_t s = job->cur_symbol;
        if (s < 256) {
            job->window[job->window_pos++] = (uint8_t)s;
            job->unp_left--;
        } else if (s >= 270) {
            uint32_t j = s - 270;
            job->match_length = kLengthBase[j] + 3 + plain_number(job, kLengthBits[j]);
            decode_symbol(job, &job->dist_table);
            uint32_t d = job->cur_symbol;
            job->match_dist = kDistBase[d] + 1 + plain_number(job, kDistBits[d]);
            if (job->match_dist >= 0x2000)
                job->match_length++;
            if (job->match_dist >= 0x40000)
                job->match_length++;
            plain_copy(job);
        } else if (s == 269) {
            read_table_block(job);
            if (job->empty_fills >= 2)
                break;
        } else if (s == 256) {
            job->match_length = job->prev_length;
            job->match_dist = job->prev_dist;
            plain_copy(job);
        } else if (s <= 260) {
            job->match_dist = job->dist_history[(job->history_count - (s - 256)) & 3];
            decode_symbol(job, &job->rep_table);
            uint32_t r = job->cur_symbol;
            job->match_length = kLengthBase[r] + 2 + plain_number(job, kLengthBits[r]);
            for (uint32_t bound : {0x101u, 0x2000u, 0x40000u})
                if (job->match_dist >= bound)
                    job->match_length++;
            plain_copy(job);
        } else {
            uint32_t k = s - 261;
            job->match_dist = kShortDistBase[k] + 1 + plain_number(job, kShortDistBits[k]);
            job->match_length = 2;
            plain_copy(job);
        }
    }
    check_end_table(job);
    flush_window(job);
}

void expect_same_state(const ExtractJob* a, const ExtractJob* b, const char* where) {
    EXPECT_EQ(a->window_pos, b->window_pos) << where;
    EXPECT_EQ(a->flushed_pos, b->flushed_pos) << where;
    EXPECT_EQ(a->byte_pos, b->byte_pos) << where;
    EXPECT_EQ(a->bit_pos, b->bit_pos) << where;
    EXPECT_EQ(a->unp_left, b->unp_left) << where;
    EXPECT_EQ(a->pack_left, b->pack_left) << where;
    EXPECT_EQ(a->history_count, b->history_count) << where;
    EXPECT_EQ(memcmp(a->dist_history, b->dist_history, sizeof(a->dist_history)), 0) << where;
    EXPECT_EQ(a->prev_dist, b->prev_dist) << where;
    EXPECT_EQ(a->prev_length, b->prev_length) << where;
    EXPECT_EQ(a->audio_mode, b->audio_mode) << where;
    EXPECT_EQ(memcmp(a->saved_lengths, b->saved_lengths, SAVED_LENGTHS_SIZE), 0) << where;
    EXPECT_EQ(memcmp(&a->main_table, &b->main_table, sizeof(CodeTable)), 0) << where;
    EXPECT_EQ(a->data_crc, b->data_crc) << where;
}

// What a valid random stream needs to know of the decoder: the code in force and the match history.
struct StreamState {
    int in_force = 0;
    uint32_t ring[4] = {0, 0, 0, 0}, count = 0, prev_length = 0, prev_dist = 0;
    void match(uint32_t length, uint32_t dist) {
        ring[count++ & 3] = dist;
        prev_length = length;
        prev_dist = dist;
    }
};

// A valid stream of random tokens: every kind of match, distances up to the window size (reaching before
// the data is allowed), and table blocks that switch between two codes. Sets *size to the exact number
// of bytes it produces, at least the size asked for.
Bytes random_stream(std::mt19937& rng, bool with_table, uint32_t* size, StreamState* st) {
    static const LzCodes a = LzCodes::flat();
    static const LzCodes b = [] {
        uint8_t lens[LZ_TABLE_TOTAL];
        memset(lens, 10, MAIN_SYMBOLS);
        memset(lens + MAIN_SYMBOLS, 7, DIST_SYMBOLS);
        memset(lens + MAIN_SYMBOLS + DIST_SYMBOLS, 6, REP_SYMBOLS);
        return LzCodes(lens);
    }();
    const LzCodes* codes[2] = {&a, &b};
    BitWriter w;
    if (with_table) {  // a non-solid entry: the decoder starts afresh
        *st = StreamState();
        a.put_table(w);
    }
    uint32_t produced = 0;
    while (produced < *size) {
        const LzCodes& c = *codes[st->in_force];
        uint32_t kind = rng() % 100;
        if (kind < 40) {
            c.put_literal(w, (uint8_t)rng());
            produced++;
        } else if (kind < 70) {
            uint32_t dist = 1 + rng() % (kind < 50 ? 300 : kind < 60 ? 70000 : WINDOW_SIZE);
            uint32_t bonus = (dist >= BONUS_DIST_1) + (dist >= BONUS_DIST_2);
            uint32_t length = 3 + bonus + rng() % 256;
            c.put_match(w, length, dist);
            st->match(length, dist);
            produced += length;
        } else if (kind < 80) {
            uint32_t slot = rng() % 4;
            uint32_t dist = st->ring[(st->count - 1 - slot) & 3];
            uint32_t bonus = (dist >= BONUS_DIST_OLD) + (dist >= BONUS_DIST_1) + (dist >= BONUS_DIST_2);
            uint32_t length = 2 + bonus + rng() % 256;
            c.put_old_match(w, slot, length, dist);
            st->match(length, dist);
            produced += length;
        } else if (kind < 85) {
            c.put_symbol(w, SYM_REPEAT_LAST);
            produced += st->prev_length;
            st->match(st->prev_length, st->prev_dist);
        } else if (kind < 99) {
            uint32_t dist = 1 + rng() % 256;
            c.put_short_match(w, dist);
            st->match(2, dist);
            produced += 2;
        } else if (rng() % 20 == 0) {
            c.put_symbol(w, SYM_TABLE_BLOCK);
            st->in_force ^= 1;
            codes[st->in_force]->put_table(w, true, c.lengths);
        }
    }
    *size = produced;
    w.pad(8);
    return w.bytes;
}

// Random input: pure garbage, garbage behind a valid table, and long valid random streams. Runs of
// solid and non-solid entries, sizes that cross refills and wrap the window.
TEST(LzRandomInput, FastLoopEqualsThePlainRulesOnAnyInput) {
    struct Entry {
        uint32_t packed, unpacked;  // packed 0: a valid random stream; 1: the same with damaged bytes
        bool solid, valid_table;
    } entries[] = {
        {1, 500000, false, true},    {1, 300000, true, false},
        {0, 1500000, false, true},   {0, 300000, true, false},   {2, 100, true, false},
        {5, 0, true, false},         {300, 5000, false, false},  {8191, 30000, true, false},
        {8192, 50000, false, true},  {8193, 70000, true, true},  {20000, 300000, true, false},
        {0, 2000000, false, true},   {70000, 1500000, true, true}, {4000, 200000, false, true},
        {100, 70000, true, true},    {9000, 9000, true, false},  {0, 400000, false, true},
    };
    ExtractJob* fast = new_decoder_job();
    ExtractJob* plain = new_decoder_job();
    guard_input_padding(fast, false);
    memset(fast->in_buf + IN_BUF_SIZE, 0xFF, IN_BUF_PAD);  // no byte past the buffer may count
    guard_input_padding(fast, true);
    LzCodes codes = LzCodes::flat();
    StreamState stream;  // what a valid random stream continues from
    for (uint32_t seed = 1; seed <= 3; seed++) {
        std::mt19937 rng(seed);
        for (const Entry& e : entries) {
            Bytes packed;
            uint32_t unpacked = e.unpacked;
            if (e.packed <= 1) {
                packed = random_stream(rng, e.valid_table, &unpacked, &stream);
                for (int k = 0; e.packed == 1 && k < 20; k++)
                    packed[rng() % packed.size()] ^= (uint8_t)(1 + rng() % 255);
            } else {
                BitWriter w;
                if (e.valid_table)
                    codes.put_table(w);
                packed = w.bytes;
                while (packed.size() < e.packed)
                    packed.push_back((uint8_t)rng());
                packed.resize(e.packed);
            }
            Bytes a = unpack_bytes(fast, packed, (int32_t)unpacked, e.solid);
            start_entry(plain, packed, (int32_t)unpacked);
            plain_unpack(plain, plain->window_buffer, e.solid);
            Bytes b = entry_output(plain);
            char where[80];
            snprintf(where, sizeof(where), "seed %u packed %u unpacked %u", seed, e.packed, e.unpacked);
            ASSERT_EQ(a.size(), b.size()) << where;
            EXPECT_TRUE(a == b) << where;
            if (e.packed == 0) {  // a valid stream ends exactly at its size
                EXPECT_EQ(a.size(), unpacked) << where;
                EXPECT_EQ(fast->unp_left, -1) << where;
            }
            expect_same_state(fast, plain, where);
        }
    }
    free_decoder_job(fast);
    free_decoder_job(plain);
}

}  // namespace

namespace {

uint32_t le16(const Bytes& b, size_t at) { return b[at] | b[at + 1] << 8; }
uint32_t le32(const Bytes& b, size_t at) { return le16(b, at) | le16(b, at + 2) << 16; }

// A compressed entry made by the format's own archiver: marker, 13-byte main header, then the file
// header (pack size at +7, unpacked size at +11, CRC at +16, header size at +5) and the packed data.
TEST(LzRealArchive, CompressedEntryMatchesItsChecksum) {
    Bytes archive;
    if (!read_sample_head("unix-owner-subblock.rar", 4096, &archive))
        GTEST_SKIP() << "sample archives not found in " ORDAVIN_SAMPLES_DIR;
    const size_t header = 7 + 13;
    ASSERT_GT(archive.size(), header + 32);
    ASSERT_EQ(archive[header + 2], 0x74);
    size_t data = header + le16(archive, header + 5);
    uint32_t pack_size = le32(archive, header + 7), unp_size = le32(archive, header + 11);
    ASSERT_LE(data + pack_size, archive.size());

    ExtractJob* job = new_decoder_job();
    Bytes out = unpack_bytes(job, Bytes(archive.begin() + data, archive.begin() + data + pack_size),
                             (int32_t)unp_size, false);
    EXPECT_EQ(out.size(), unp_size);
    EXPECT_EQ(~job->data_crc, le32(archive, header + 16));
    EXPECT_EQ(~job->data_crc, 0x7E3265A8u);
    free_decoder_job(job);
}

}  // namespace

namespace {

// Input that runs out where the stale buffer decodes to symbols that produce nothing (a repeat of
// length 0, table blocks) must not keep the loop turning: the entry ends short and fails its checksum.
TEST(LzExhaustedInput, StaleBytesThatProduceNothingEndTheEntry) {
    uint8_t lens[LZ_TABLE_TOTAL] = {0};
    lens[SYM_REPEAT_LAST] = 1;  // 256 gets code 0: zero bits repeat a match of length 0
    lens['A'] = 2;
    lens[SYM_TABLE_BLOCK] = 2;
    lens[MAIN_SYMBOLS] = 1;     // one distance code
    lens[MAIN_SYMBOLS + DIST_SYMBOLS] = 1;
    LzCodes codes(lens);
    ExtractJob* job = new_decoder_job();
    for (int32_t size : {1, 100, 1 << 30}) {
        BitWriter w;
        codes.put_table(w);
        codes.put_literal(w, 'A');
        Bytes out = unpack_bytes(job, w.bytes, size, false);  // the rest of in_buf is zeros
        ASSERT_GE(out.size(), 1u);
        EXPECT_EQ(out[0], 'A');
        EXPECT_LE(out.size(), (size_t)size);
    }
    free_decoder_job(job);
}

}  // namespace
