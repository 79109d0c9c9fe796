#include <gtest/gtest.h>
#include <string.h>

#include <random>
#include <vector>

#include "tests/common/bit_writer.h"
#include "tests/common/decoder_job.h"

namespace {

using Bytes = std::vector<uint8_t>;

struct LzTest : ::testing::Test {
    ExtractJob* job = new_decoder_job();
    LzCodes codes = LzCodes::flat();
    void TearDown() override { free_decoder_job(job); }

    // The stream's bytes plus zero padding, so that the end-of-entry check finds a literal to read.
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

}  // namespace
