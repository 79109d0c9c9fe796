// The locator and the block walk on the Windows C runtime: large single read, ftell and seeks past the end.
#include <gtest/gtest.h>
#include <string.h>

#include <string>

#include "archive/archive_reader.h"
#include "archive/extract_job.h"
#include "archive/stream.h"
#include "tests/common/archive_bytes.h"

namespace {

using archive_bytes::Bytes;

TEST(ArchiveReader, FindsAndWalksAnArchiveAppendedToAnExecutable) {
    Bytes b(0x19000, 0x90);
    b[0] = 'M';
    b[1] = 'Z';
    archive_bytes::append_marker(b);
    archive_bytes::append_main_header(b, MAIN_FLAG_SOLID);
    archive_bytes::FileEntry a;
    a.name = "dir/A.TXT";
    a.data = Bytes(1000, 'a');
    archive_bytes::append_file(b, a);
    archive_bytes::append_block(b, BLOCK_SUB, BLOCK_FLAG_HAS_DATA, 18, Bytes(8, 'x'));
    archive_bytes::FileEntry c;
    c.name = "C.TXT";
    c.host_os = HOST_UNIX;
    c.file_attr = 0x81B4;
    c.data = Bytes(10, 'c');
    archive_bytes::append_file(b, c);
    archive_bytes::append_block(b, 0x7B, 0x4000, 7, {});
    archive_bytes::TempFile file(::testing::TempDir() + "reader_setup.exe", b);
    ASSERT_TRUE(file.ok);

    ExtractJob* job = new ExtractJob();
    job->archive_file = file_open(file.path.c_str(), "rb", 1);
    ASSERT_NE(job->archive_file, nullptr);
    EXPECT_EQ(open_archive(job), ARCHIVE_KIND_EMBEDDED);
    EXPECT_EQ(job->archive_start, 0x19000);
    EXPECT_EQ(ftell(job->archive_file), 0x19000 + 20);
    file_seek(job->archive_file, job->main_header.head_size - job->main_bytes_read, 1);

    EXPECT_EQ(read_next_entry(job, WALK_FILES_AND_SUBS), 32 + 9);
    EXPECT_STREQ(job->name, "dir\\A.TXT");
    file_seek(job->archive_file, job->next_block, 0);
    EXPECT_EQ(read_next_entry(job, WALK_FILES_AND_SUBS), 32);
    EXPECT_EQ(job->block_header.head_type, BLOCK_SUB);
    EXPECT_EQ(ftell(job->archive_file), job->block_start);
    file_seek(job->archive_file, job->next_block, 0);
    EXPECT_EQ(read_next_entry(job, WALK_FILES_AND_SUBS), 32 + 5);
    EXPECT_STREQ(job->name, "C.TXT");
    adjust_attributes(job);
    EXPECT_EQ(job->file_header.file_attr, (uint32_t)ATTR_ARCHIVE);
    file_seek(job->archive_file, job->next_block, 0);
    EXPECT_EQ(read_next_entry(job, WALK_FILES_AND_SUBS), 0);
    EXPECT_EQ(ftell(job->archive_file), (long)b.size());

    file_close(job->archive_file);
    delete job;
}

}  // namespace
