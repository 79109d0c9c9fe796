#include <gtest/gtest.h>
#include <string.h>

#include <string>
#include <vector>

#include "archive/archive_reader.h"
#include "archive/extract_job.h"
#include "archive/stream.h"
#include "tests/common/archive_bytes.h"

using archive_bytes::Bytes;

namespace {

// File offset of the last byte the scan looks at: 7 skipped, then SCAN_READ_SIZE bytes.
const int32_t kLastScanned = MARKER_SIZE + SCAN_READ_SIZE - 1;

Bytes marker_bytes() {
    Bytes b;
    archive_bytes::append_marker(b);
    return b;
}

Bytes old_marker_bytes() {
    Bytes b;
    archive_bytes::append_old_marker(b);
    return b;
}

// Marker followed by a 13-byte main header.
Bytes archive_head(uint16_t flags) {
    Bytes b = marker_bytes();
    archive_bytes::append_main_header(b, flags);
    return b;
}

// An executable-looking file of the given size ("MZ" then filler without any 'R').
Bytes exe_bytes(size_t size) {
    Bytes b(size, 0x90);
    b[0] = 'M';
    b[1] = 'Z';
    return b;
}

void place(Bytes& file, size_t offset, const Bytes& what) {
    if (file.size() < offset + what.size())
        file.resize(offset + what.size(), 0x90);
    memcpy(file.data() + offset, what.data(), what.size());
}

const Bytes kSfxTag4 = {'R', 'S', 'F', 'X'};

struct LocateTest : ::testing::Test {
    ExtractJob* job = new ExtractJob();
    std::string path;

    void SetUp() override {
        const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
        path = ::testing::TempDir() + "locate_" + info->name() + ".bin";
    }
    void TearDown() override {
        file_close(job->archive_file);
        delete job;
        remove(path.c_str());
    }

    // Writes the bytes and opens them in a fresh job as the driver does, then seeks to skip_first.
    void open_file(const Bytes& bytes, int32_t skip_first = 0) {
        file_close(job->archive_file);
        memset((void*)job, 0, sizeof *job);
        ASSERT_TRUE(archive_bytes::write_file(path, bytes));
        job->archive_file = file_open(path.c_str(), "rb", 1);
        ASSERT_NE(job->archive_file, nullptr);
        if (skip_first)
            file_seek(job->archive_file, skip_first, 0);
    }
    int32_t locate(const Bytes& bytes, int32_t skip_first = 0) {
        open_file(bytes, skip_first);
        return open_archive(job);
    }
    long position() { return ftell(job->archive_file); }
};

TEST_F(LocateTest, ArchiveAtTheStartIsTakenWithoutScanning) {
    // Every main-header field distinct, so a mixed-up decode shows.
    Bytes b = marker_bytes();
    b.insert(b.end(), {0x34, 0x12, 0x73, 0x08, 0x00, 0x2A, 0x01, 0xEF, 0xBE, 0x78, 0x56, 0x34, 0x12});
    ASSERT_EQ(locate(b), ARCHIVE_KIND_AT_START);
    EXPECT_EQ(job->archive_format, ARCHIVE_FORMAT_RAR2);
    EXPECT_EQ(job->archive_start, 0);
    EXPECT_EQ(job->main_bytes_read, 13);
    EXPECT_EQ(job->main_header.head_crc, 0x1234);
    EXPECT_EQ(job->main_header.head_type, 0x73);
    EXPECT_EQ(job->main_header.head_flags, 0x0008);
    EXPECT_EQ(job->main_header.head_size, 0x012A);
    EXPECT_EQ(job->main_header.reserved1, 0xBEEF);
    EXPECT_EQ(job->main_header.reserved2, 0x12345678u);
    EXPECT_EQ(position(), 20);
    EXPECT_EQ(memcmp(job->mark, marker_bytes().data(), MARKER_SIZE), 0);

    EXPECT_EQ(locate(archive_head(MAIN_FLAG_VOLUME | MAIN_FLAG_SOLID)), ARCHIVE_KIND_VOLUME);

    // A start marker wins even over a type byte that is not a main header.
    Bytes odd = archive_head(0);
    odd[9] = 0x74;
    EXPECT_EQ(locate(odd), ARCHIVE_KIND_AT_START);
}

TEST_F(LocateTest, TooShortFilesHaveNoArchive) {
    Bytes head = archive_head(0);
    for (size_t size = 0; size < MARKER_SIZE + MAIN_HEADER_SIZE; size++) {
        Bytes cut(head.begin(), head.begin() + size);
        EXPECT_EQ(locate(cut), ARCHIVE_KIND_NONE) << size << " bytes";
        EXPECT_EQ(job->main_bytes_read, 0) << size << " bytes";
    }
    EXPECT_EQ(locate(head), ARCHIVE_KIND_AT_START);
}

TEST_F(LocateTest, EmbeddedArchiveIsFoundByTheScan) {
    for (uint16_t flags : {0x0008, 0x0009}) {
        Bytes b = exe_bytes(0x19000);
        place(b, 0x19000, archive_head(flags));
        b.push_back(0xAB);  // the first block would follow
        int32_t want = (flags & MAIN_FLAG_VOLUME) ? ARCHIVE_KIND_VOLUME : ARCHIVE_KIND_EMBEDDED;
        ASSERT_EQ(locate(b), want) << "flags " << flags;
        EXPECT_EQ(job->archive_format, ARCHIVE_FORMAT_RAR2);
        EXPECT_EQ(job->archive_start, 0x19000);
        EXPECT_EQ(job->main_bytes_read, 13);
        EXPECT_EQ(job->main_header.head_flags, flags);
        EXPECT_EQ(job->main_header.head_size, 13);
        EXPECT_EQ(position(), 0x19000 + 20);
        EXPECT_EQ(memcmp(job->mark, marker_bytes().data(), MARKER_SIZE), 0);
    }
}

// Where a marker with a valid main header is placed, and whether the scan may find it.
struct ScanCase {
    const char* what;
    int32_t offset;
    bool found;
};

TEST_F(LocateTest, ScanCoversOnlyTheBytesAfterTheFirstSeven) {
    const ScanCase cases[] = {
        {"first scanned byte", 7, true},
        {"offset 1", 1, false},
        {"offset 3", 3, false},
        {"offset 6", 6, false},
        {"type byte is the last byte scanned", kLastScanned - 9, true},
        {"type byte just past the bytes read", kLastScanned - 8, false},
        {"type byte past the buffer", kLastScanned - 7, false},
        {"marker's last byte past the bytes read", kLastScanned - 5, false},
        {"R is the last byte scanned", kLastScanned, false},
        {"R beyond the bytes scanned", kLastScanned + 1, false},
    };
    for (const ScanCase& c : cases) {
        Bytes b = exe_bytes(300000);
        if (c.offset < 2)
            b[0] = 'Z';
        place(b, (size_t)c.offset, archive_head(0));
        EXPECT_EQ(locate(b), c.found ? ARCHIVE_KIND_EMBEDDED : ARCHIVE_KIND_NONE) << c.what;
        if (c.found) {
            EXPECT_EQ(job->archive_start, c.offset) << c.what;
            EXPECT_EQ(position(), c.offset + 20) << c.what;
        }
    }
}

TEST_F(LocateTest, MarkerWithoutMainHeaderTypeIsPassedOver) {
    Bytes b = exe_bytes(4000);
    Bytes wrong = archive_head(0);
    wrong[9] = 0x74;
    place(b, 100, wrong);
    place(b, 1000, marker_bytes());  // no header at all: byte 9 later is filler
    place(b, 3000, archive_head(0));
    ASSERT_EQ(locate(b), ARCHIVE_KIND_EMBEDDED);
    EXPECT_EQ(job->archive_start, 3000);
}

struct OldCase {
    const char* what;
    bool sfx_tag;
    int32_t old_at;   // -1: none
    int32_t rar_at;   // -1: none
    int32_t format;   // 0: nothing found
    int32_t start;
};

TEST_F(LocateTest, OldMarkerCountsOnlyInTaggedFilesAndTheFirstHitWins) {
    const OldCase cases[] = {
        {"tagged, old marker first", true, 100, 200, ARCHIVE_FORMAT_OLD, 100},
        {"tagged, rar marker first", true, 200, 100, ARCHIVE_FORMAT_RAR2, 100},
        {"tagged, old marker only", true, 5000, -1, ARCHIVE_FORMAT_OLD, 5000},
        {"untagged, old marker first", false, 100, 200, ARCHIVE_FORMAT_RAR2, 200},
        {"untagged, old marker only", false, 100, -1, 0, 0},
        {"tagged, old marker ends at the last byte scanned", true, kLastScanned - 3, -1, ARCHIVE_FORMAT_OLD,
         kLastScanned - 3},
        {"tagged, old marker past the bytes read", true, kLastScanned - 2, -1, 0, 0},
    };
    for (const OldCase& c : cases) {
        Bytes b = exe_bytes(c.old_at > 10000 ? 300000 : 6000);
        if (c.sfx_tag)
            place(b, SFX_TAG_OFFSET, kSfxTag4);
        if (c.old_at >= 0)
            place(b, (size_t)c.old_at, old_marker_bytes());
        if (c.rar_at >= 0)
            place(b, (size_t)c.rar_at, archive_head(0));
        int32_t kind = locate(b);
        EXPECT_EQ(job->archive_format, c.format) << c.what;
        if (c.format == 0) {
            EXPECT_EQ(kind, ARCHIVE_KIND_NONE) << c.what;
            continue;
        }
        EXPECT_EQ(kind, ARCHIVE_KIND_EMBEDDED) << c.what;
        EXPECT_EQ(job->archive_start, c.start) << c.what;
        EXPECT_EQ(position(), c.start + (c.format == ARCHIVE_FORMAT_OLD ? 13 : 20)) << c.what;
    }
}

TEST_F(LocateTest, OldMarkerBytesOpenTheMainHeaderReadAtIt) {
    Bytes b = exe_bytes(200);
    place(b, SFX_TAG_OFFSET, kSfxTag4);
    place(b, 150, old_marker_bytes());
    b[154] = 0x01;
    ASSERT_EQ(locate(b), ARCHIVE_KIND_EMBEDDED);
    EXPECT_EQ(job->main_header.head_crc, 0x4552);  // "RE"
    EXPECT_EQ(job->main_header.head_type, 0x7E);   // "~"
    EXPECT_EQ(job->main_header.head_flags, 0x015E);
    EXPECT_EQ(job->main_bytes_read, 13);
}

TEST_F(LocateTest, HeaderCutByTheEndOfTheFileLeavesZeroFields) {
    // The main header's type byte is all the scan needs; the rest of the header is missing.
    Bytes b = exe_bytes(490);
    place(b, 490, marker_bytes());
    b.insert(b.end(), {0x34, 0x12, 0x73, 0x08});
    open_file(b);
    job->main_header.head_size = 0xFFFF;
    job->main_header.reserved2 = 0xFFFFFFFFu;
    // A RAR 2.x archive cut inside its main header is damaged: no archive, rather than an empty one.
    EXPECT_EQ(open_archive(job), ARCHIVE_KIND_NONE);
    EXPECT_EQ(job->main_header.head_crc, 0x1234);
    EXPECT_EQ(job->main_header.head_flags, 0x0008);
    EXPECT_EQ(job->main_header.head_size, 0);
    EXPECT_EQ(job->main_header.reserved1, 0);
    EXPECT_EQ(job->main_header.reserved2, 0u);

    Bytes old = exe_bytes(400);
    place(old, SFX_TAG_OFFSET, kSfxTag4);
    place(old, 400, old_marker_bytes());
    old.push_back(0x07);
    ASSERT_EQ(locate(old), ARCHIVE_KIND_EMBEDDED);
    EXPECT_EQ(job->archive_format, ARCHIVE_FORMAT_OLD);
    EXPECT_EQ(job->main_header.head_flags, 0x075E);
    EXPECT_EQ(job->main_header.head_size, 0);
    EXPECT_EQ(job->main_header.reserved2, 0u);
}

TEST_F(LocateTest, SfxTagIsLookedUpOnlyInsideTheBuffer) {
    // Not called at the start of the file: the tag's buffer positions move with the start.
    Bytes b = exe_bytes(3000);
    place(b, SFX_TAG_OFFSET, kSfxTag4);
    place(b, 2000, old_marker_bytes());
    ASSERT_EQ(locate(b, 10), ARCHIVE_KIND_EMBEDDED);
    EXPECT_EQ(job->archive_format, ARCHIVE_FORMAT_OLD);
    EXPECT_EQ(job->archive_start, 2000);

    // Past offset 28 the tag would lie before the buffer: no old-format hit, and no read outside.
    for (int32_t skip : {22, 29, 40})
        EXPECT_EQ(locate(b, skip), ARCHIVE_KIND_NONE) << "skip " << skip;
}

}  // namespace
