#include <gtest/gtest.h>

#include <vector>

#include "tests/common/decoder_job.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes numbered(size_t n) {
    Bytes b(n);
    for (size_t i = 0; i < n; i++)
        b[i] = (uint8_t)(i * 7 + (i >> 10));
    return b;
}

struct StoredTest : ::testing::Test {
    ExtractJob* job = new_decoder_job();
    void TearDown() override { free_decoder_job(job); }
};

// All packed bytes are read; at most the unpacked size is written.
TEST_F(StoredTest, CopiesPackedBytesUpToTheUnpackedSize) {
    struct Case {
        int32_t packed, unpacked, written, unp_left_after;
    } cases[] = {
        {0, 0, 0, 0},
        {2 * 32768 + 100, 2 * 32768 + 100, 2 * 32768 + 100, 0},  // three pieces
        {5000, 3000, 3000, 0},                                   // surplus read and dropped
        {40000, 39999, 39999, 0},
        {3000, 5000, 3000, 2000},                                // short: the checksum decides
        {3000, -1, 0, -1},                                       // 2 GiB or more: nothing written
        {3000, INT32_MIN, 0, INT32_MIN},
    };
    for (const Case& c : cases) {
        Bytes data = numbered((size_t)c.packed);
        start_entry(job, data, c.unpacked);
        uint8_t marker = 0x5C;
        job->window_buffer[0] = marker;
        EXPECT_EQ(copy_stored(job), 0);
        Bytes out = entry_output(job);
        EXPECT_TRUE(out == Bytes(data.begin(), data.begin() + c.written)) << c.packed << "/" << c.unpacked;
        EXPECT_EQ(job->pack_left, 0);
        EXPECT_EQ(ftell(job->packed_file), c.packed);
        EXPECT_EQ(job->unp_left, c.unp_left_after);
        EXPECT_EQ(job->data_crc, crc32_update(job, 0xFFFFFFFFu, out.data(), (uint32_t)out.size()));
        EXPECT_EQ(job->window_buffer[0], marker);
    }
}

TEST_F(StoredTest, LeavesTheDecoderStateAlone) {
    job->window_pos = 1234;
    job->flushed_pos = 1234;
    job->history_count = 3;
    job->byte_pos = 77;
    start_entry(job, numbered(100), 100);
    EXPECT_EQ(copy_stored(job), 0);
    EXPECT_EQ(job->window_pos, 1234u);
    EXPECT_EQ(job->history_count, 3);
    EXPECT_EQ(job->byte_pos, 77u);
}

TEST_F(StoredTest, SkippedEntryIsReadAndDropped) {
    start_entry(job, numbered(70000), 70000, true);
    job->data_crc = 0xABCD;
    EXPECT_EQ(copy_stored(job), 0);
    EXPECT_EQ(job->data_crc, 0xABCDu);
    EXPECT_EQ(job->pack_left, 0);
    EXPECT_EQ(ftell(job->packed_file), 70000);
}

TEST_F(StoredTest, TruncatedArchiveEndsTheCopy) {
    start_entry(job, numbered(1000), 5000);
    job->pack_left = 5000;  // the header claims more than the file holds
    EXPECT_EQ(copy_stored(job), 0);
    EXPECT_EQ(entry_output(job), numbered(1000));
    EXPECT_EQ(job->unp_left, 4000);
}

}  // namespace
