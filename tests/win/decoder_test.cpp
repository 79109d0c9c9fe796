// The decoder on the Windows C runtime: a hand-built stream that wraps the window, a stored copy, and a
// compressed entry made by the format's own archiver.
#include <gtest/gtest.h>

#include <vector>

#include "tests/common/bit_writer.h"
#include "tests/common/decoder_job.h"
#include "tests/common/sample_files.h"

namespace {

using Bytes = std::vector<uint8_t>;

TEST(DecoderOnWindows, StreamThatWrapsTheWindow) {
    const uint32_t period = 251, size = WINDOW_SIZE + 5000;
    LzCodes codes = LzCodes::flat();
    BitWriter w;
    codes.put_table(w);
    for (uint32_t p = 0; p < period; p++)
        codes.put_literal(w, (uint8_t)p);
    for (uint32_t p = period, n; p < size; p += n) {
        n = size - p < 250 ? size - p : 250;  // the last one is 75 long
        codes.put_match(w, n, period);
    }
    w.pad(8);
    ExtractJob* job = new_decoder_job();
    ASSERT_NE(job, nullptr);
    Bytes out = unpack_bytes(job, w.bytes, (int32_t)size, false);
    ASSERT_EQ(out.size(), size);
    bool same = true;
    for (uint32_t p = 0; p < size; p++)
        same = same && out[p] == (uint8_t)(p % period);
    EXPECT_TRUE(same);
    EXPECT_EQ(job->data_crc, crc32_update(job, 0xFFFFFFFFu, out.data(), size));
    free_decoder_job(job);
}

TEST(DecoderOnWindows, StoredCopy) {
    Bytes data(2 * 32768 + 100);
    for (size_t i = 0; i < data.size(); i++)
        data[i] = (uint8_t)(i * 13);
    ExtractJob* job = new_decoder_job();
    start_entry(job, data, (int32_t)data.size() - 50);
    EXPECT_EQ(copy_stored(job), 0);
    EXPECT_TRUE(entry_output(job) == Bytes(data.begin(), data.end() - 50));
    EXPECT_EQ(job->pack_left, 0);
    free_decoder_job(job);
}

TEST(DecoderOnWindows, RealCompressedEntry) {
    Bytes archive;
    if (!read_sample_head("unix-owner-subblock.rar", 4096, &archive))
        GTEST_SKIP() << "sample archives not found in " ORDAVIN_SAMPLES_DIR;
    ASSERT_GT(archive.size(), 80u);
    // Marker and main header take 20 bytes; the file header says 40 bytes, 17 packed, 4 unpacked.
    size_t data = 20 + (archive[25] | archive[26] << 8);
    ExtractJob* job = new_decoder_job();
    Bytes out = unpack_bytes(job, Bytes(archive.begin() + data, archive.begin() + data + 17), 4, false);
    EXPECT_EQ(out.size(), 4u);
    EXPECT_EQ(~job->data_crc, 0x7E3265A8u);
    free_decoder_job(job);
}

}  // namespace
