#include <gtest/gtest.h>
#include <string.h>

#include "archive/checksum.h"
#include "archive/extract_job.h"

namespace {

struct ChecksumTest : ::testing::Test {
    ExtractJob* job = new ExtractJob();
    void SetUp() override { build_crc_table(job); }
    void TearDown() override { delete job; }
};

const uint8_t kAbc[] = {0x61, 0x62, 0x63};

TEST_F(ChecksumTest, TableHasTheKnownEntries) {
    EXPECT_EQ(job->crc_table[0], 0x00000000u);
    EXPECT_EQ(job->crc_table[1], 0x77073096u);
    EXPECT_EQ(job->crc_table[2], 0xEE0E612Cu);
    EXPECT_EQ(job->crc_table[128], 0xEDB88320u);
}

TEST_F(ChecksumTest, AbcGivesTheStandardValues) {
    uint32_t crc = crc32_update(job, 0xFFFFFFFFu, kAbc, 3);
    EXPECT_EQ(crc, 0xCADBBE3Du);
    EXPECT_EQ(~crc, 0x352441C2u);

    uint16_t sum = 0;
    const uint16_t steps[] = {0x00C2, 0x0248, 0x0556};
    for (int i = 0; i < 3; i++) {
        sum = sum16_update(sum, kAbc + i, 1);
        EXPECT_EQ(sum, steps[i]) << "after byte " << i;
    }
    const uint8_t one = 0x01, zero = 0x00;
    EXPECT_EQ(sum16_update(0xFFFF, &one, 1), 0x0000);
    EXPECT_EQ(sum16_update(0x8000, &zero, 1), 0x0001);
}

TEST_F(ChecksumTest, EmptyInputLeavesTheValue) {
    EXPECT_EQ(crc32_update(job, 0x12345678u, kAbc, 0), 0x12345678u);
    EXPECT_EQ(sum16_update(0x1234, kAbc, 0), 0x1234);
    EXPECT_EQ(~update_checksum(job, 0xFFFFFFFFu, kAbc, 0, CHECKSUM_CRC32), 0u);
}

TEST_F(ChecksumTest, KindOneIsTheSumOfTheLowHalfAndOthersAreCrc) {
    uint32_t v = update_checksum(job, 0xABCD0000u | 0x00C2, kAbc + 1, 1, 1);
    EXPECT_EQ(v, 0x0248u);
    for (int kind : {0, 2, 3, -1, 7})
        EXPECT_EQ(update_checksum(job, 0xFFFFFFFFu, kAbc, 3, kind), 0xCADBBE3Du) << "kind " << kind;
}

TEST_F(ChecksumTest, SplitFeedingEqualsOneFeed) {
    uint8_t data[1000];
    for (int i = 0; i < 1000; i++)
        data[i] = (uint8_t)(i * 37 + (i >> 3));
    for (uint32_t split : {0u, 1u, 7u, 500u, 999u, 1000u}) {
        uint32_t whole = crc32_update(job, 0xFFFFFFFFu, data, 1000);
        uint32_t parts = crc32_update(job, crc32_update(job, 0xFFFFFFFFu, data, split), data + split,
                                      1000 - split);
        EXPECT_EQ(parts, whole) << "crc split at " << split;
        uint16_t s1 = sum16_update(sum16_update(0, data, split), data + split, 1000 - split);
        EXPECT_EQ(s1, sum16_update(0, data, 1000)) << "sum split at " << split;
    }
}

}  // namespace

namespace {

// The eight-byte steps must give exactly what the byte-by-byte rule gives, at every length and alignment.
TEST_F(ChecksumTest, WideStepsMatchTheByteRule) {
    uint8_t data[300];
    for (int i = 0; i < 300; i++)
        data[i] = (uint8_t)(i * 131 + 7);
    for (uint32_t start = 0; start < 8; start++) {
        for (uint32_t len = 0; len + start <= 300; len += 13) {
            uint32_t slow = 0x5A5A1234u;
            for (uint32_t i = 0; i < len; i++)
                slow = job->crc_table[(slow ^ data[start + i]) & 0xFF] ^ (slow >> 8);
            EXPECT_EQ(crc32_update(job, 0x5A5A1234u, data + start, len), slow)
                << "start " << start << " length " << len;
        }
    }
}

}  // namespace
