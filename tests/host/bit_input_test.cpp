#include <gtest/gtest.h>
#include <string.h>

#include <vector>

#include "tests/common/decoder_job.h"

namespace {

using Bytes = std::vector<uint8_t>;

struct BitInputTest : ::testing::Test {
    ExtractJob* job = new_decoder_job();
    void TearDown() override { free_decoder_job(job); }
};

Bytes counting_bytes(size_t n, uint32_t seed = 0) {
    Bytes b(n);
    for (size_t i = 0; i < n; i++)
        b[i] = (uint8_t)(i * 131 + seed + (i >> 8));
    return b;
}

TEST_F(BitInputTest, PeekAndSkipReadMostSignificantBitFirst) {
    job->in_buf[10] = 0xAB;
    job->in_buf[11] = 0xCD;
    job->in_buf[12] = 0xEF;
    job->byte_pos = 10;
    job->bit_pos = 3;
    EXPECT_EQ(peek_bits(job), 0x5E6Fu);
    EXPECT_EQ(job->peek_value, 0x5E6Fu);
    skip_bits(job, 13);
    EXPECT_EQ(job->byte_pos, 12u);
    EXPECT_EQ(job->bit_pos, 0u);
    EXPECT_EQ(peek_bits(job) >> 8, 0xEFu);
}

TEST_F(BitInputTest, ReadPackedStopsAtTheEntrysPackedSize) {
    Bytes data = counting_bytes(100);
    start_entry(job, data, 0);
    job->pack_left = 53;
    uint8_t buf[IN_BUF_SIZE] = {0};
    EXPECT_EQ(read_packed(job, buf, IN_BUF_SIZE), 53);
    EXPECT_EQ(job->pack_left, 0);
    EXPECT_EQ(Bytes(buf, buf + 53), Bytes(data.begin(), data.begin() + 53));
    EXPECT_EQ(read_packed(job, buf, IN_BUF_SIZE), 0);
    EXPECT_EQ(ftell(job->packed_file), 53);  // nothing more was read
}

TEST_F(BitInputTest, ReadPackedGivesNothingForBadSizesOrNoArchive) {
    uint8_t buf[64];
    struct Case {
        int32_t pack_left, count;
        bool archive;
    } cases[] = {{-5, 64, true}, {INT32_MIN, 64, true}, {50, -1, true}, {50, 0, true}, {50, 64, false}};
    for (const Case& c : cases) {
        start_entry(job, counting_bytes(50), 0);
        job->pack_left = c.pack_left;
        if (!c.archive)
            job->archive_file = nullptr;
        EXPECT_EQ(read_packed(job, buf, c.count), 0) << c.pack_left << " " << c.count;
        EXPECT_EQ(job->pack_left, c.pack_left);
        EXPECT_EQ(ftell(job->packed_file), 0);
        if (!c.archive)
            job->archive_file = job->packed_file;
    }
}

TEST_F(BitInputTest, ReadPackedOfATruncatedArchiveEndsWithWhatItGot) {
    start_entry(job, counting_bytes(30), 0);
    job->pack_left = 1000;  // the header promises more than the file holds
    uint8_t buf[IN_BUF_SIZE];
    EXPECT_EQ(read_packed(job, buf, IN_BUF_SIZE), 30);
    EXPECT_EQ(job->pack_left, 970);
    EXPECT_EQ(read_packed(job, buf, IN_BUF_SIZE), 0);
}

TEST_F(BitInputTest, FirstFillAndLaterFills) {
    Bytes data = counting_bytes(IN_BUF_SIZE + 100);
    start_entry(job, data, 0);
    init_decoder(job, 1);
    refill_input(job, 1);
    EXPECT_EQ(job->in_avail, IN_BUF_SIZE);
    EXPECT_EQ(job->byte_pos, 0u);

    // A later fill with data: the last 32 bytes move to the front, the reader keeps its place among them.
    job->byte_pos = 8170;
    job->bit_pos = 5;
    refill_input(job, 0);
    EXPECT_EQ(job->byte_pos, 8170u & 31);
    EXPECT_EQ(job->bit_pos, 5u);
    EXPECT_EQ(job->in_avail, 100 + IN_CARRY);
    EXPECT_EQ(Bytes(job->in_buf, job->in_buf + 132), Bytes(data.begin() + 8160, data.end()));

    // A later fill at the end of the packed data: carry moves, nothing else changes.
    Bytes before(job->in_buf, job->in_buf + IN_BUF_SIZE);
    job->byte_pos = 8190;
    refill_input(job, 0);
    EXPECT_EQ(job->byte_pos, 8190u & 31);
    EXPECT_EQ(job->in_avail, (int32_t)(8190 & 31));
    EXPECT_EQ(Bytes(job->in_buf, job->in_buf + IN_CARRY), Bytes(before.begin() + 8160, before.end()));
    EXPECT_EQ(Bytes(job->in_buf + IN_CARRY, job->in_buf + IN_BUF_SIZE),
              Bytes(before.begin() + IN_CARRY, before.end()));
    guard_input_padding(job, false);
    for (int i = 0; i < IN_BUF_PAD; i++)
        EXPECT_EQ(job->in_buf[IN_BUF_SIZE + i], 0) << "padding byte " << i;
}

TEST_F(BitInputTest, InitDecoderKeepsEverythingButTheBitInputForASolidEntry) {
    job->window = job->window_buffer;
    job->window[5] = 7;
    job->saved_lengths[3] = 9;
    job->window_pos = job->flushed_pos = 1234;
    job->dist_history[2] = 77;
    job->history_count = 3;
    job->prev_dist = 4;
    job->prev_length = 5;
    job->byte_pos = 100;
    job->bit_pos = 6;
    job->in_avail = 55;
    init_decoder(job, 1);
    EXPECT_EQ(job->byte_pos, 0u);
    EXPECT_EQ(job->bit_pos, 0u);
    EXPECT_EQ(job->window[5], 7);
    EXPECT_EQ(job->saved_lengths[3], 9);
    EXPECT_EQ(job->window_pos, 1234u);
    EXPECT_EQ(job->history_count, 3);

    init_decoder(job, 0);
    EXPECT_EQ(job->window[5], 0);
    EXPECT_EQ(job->saved_lengths[3], 0);
    EXPECT_EQ(job->window_pos, 0u);
    EXPECT_EQ(job->flushed_pos, 0u);
    EXPECT_EQ(job->dist_history[2], 0u);
    EXPECT_EQ(job->history_count, 0);
    EXPECT_EQ(job->prev_dist, 0u);
    EXPECT_EQ(job->prev_length, 0u);
    EXPECT_EQ(job->in_avail, 55);  // the first fill sets it
}

TEST_F(BitInputTest, WriteOutputKeepsTheChecksumOfWhatWasWritten) {
    const uint8_t abc[] = {0x61, 0x62, 0x63};
    start_entry(job, {}, 3);
    EXPECT_EQ(write_output(job, abc, 3), 3u);
    EXPECT_EQ(job->data_crc, 0xCADBBE3Du);
    EXPECT_EQ(entry_output(job), Bytes(abc, abc + 3));

    job->archive_format = ARCHIVE_FORMAT_OLD;
    start_entry(job, {}, 3);
    write_output(job, abc, 3);
    EXPECT_EQ(job->data_crc, 0x0556u);

    // Skipped entry: nothing written, checksum untouched.
    start_entry(job, {}, 3, true);
    job->data_crc = 0x1234;
    EXPECT_EQ(write_output(job, abc, 3), 0u);
    EXPECT_EQ(job->data_crc, 0x1234u);
}

TEST_F(BitInputTest, FlushWritesTheUnflushedBytesInWindowOrder) {
    job->window = job->window_buffer;
    for (uint32_t i = 0; i < WINDOW_SIZE; i++)
        job->window[i] = (uint8_t)(i ^ (i >> 9));
    // The expected output is window[a1, b1) followed by window[a2, b2).
    struct Case {
        uint32_t flushed, pos, a1, b1, a2, b2;
    } cases[] = {
        {100, 100, 0, 0, 0, 0},                                   // nothing new
        {0, 5000, 0, 5000, 0, 0},                                 // one piece
        {WINDOW_SIZE - 300, 40, WINDOW_SIZE - 300, WINDOW_SIZE, 0, 40},  // wrapped: two pieces
        {WINDOW_SIZE, 10, 0, 10, 0, 0},                           // flushed up to the very end before
        {WINDOW_SIZE - 1, WINDOW_SIZE, WINDOW_SIZE - 1, WINDOW_SIZE, 0, 0},  // literal at 0xFFFFF
    };
    for (const Case& c : cases) {
        start_entry(job, {}, 0);
        job->flushed_pos = c.flushed;
        job->window_pos = c.pos;
        flush_window(job);
        Bytes expected(job->window + c.a1, job->window + c.b1);
        expected.insert(expected.end(), job->window + c.a2, job->window + c.b2);
        Bytes out = entry_output(job);
        EXPECT_EQ(out, expected) << c.flushed << ".." << c.pos;
        EXPECT_EQ(job->flushed_pos, c.pos);
        EXPECT_EQ(job->data_crc, crc32_update(job, 0xFFFFFFFFu, out.data(), (uint32_t)out.size()));
    }
}

TEST_F(BitInputTest, AllocZeroedAndFreeAndClear) {
    uint8_t* block = (uint8_t*)alloc_zeroed(4096);
    ASSERT_NE(block, nullptr);
    for (int i = 0; i < 4096; i++)
        ASSERT_EQ(block[i], 0);
    free_and_clear(&block);
    EXPECT_EQ(block, nullptr);
    free_and_clear(&block);  // none: nothing to free
    EXPECT_EQ(block, nullptr);
}

}  // namespace
