#include <gtest/gtest.h>
#include <string.h>

#include <string>
#include <vector>

#include "archive/archive_reader.h"
#include "archive/checksum.h"
#include "archive/extract_job.h"
#include "archive/stream.h"
#include "tests/common/archive_bytes.h"

using archive_bytes::Bytes;
using archive_bytes::FileEntry;

namespace {

const int32_t kFirstBlock = MARKER_SIZE + MAIN_HEADER_SIZE;  // with a 13-byte main header

FileEntry entry(const std::string& name, const std::string& data = "data") {
    FileEntry e;
    e.name = name;
    e.data.assign(data.begin(), data.end());
    return e;
}

Bytes file_bytes(const FileEntry& e) {
    Bytes b;
    archive_bytes::append_file(b, e);
    return b;
}

Bytes block_bytes(uint8_t type, uint16_t flags, uint16_t head_size, const Bytes& data) {
    Bytes b;
    archive_bytes::append_block(b, type, flags, head_size, data);
    return b;
}

// A raw 32-byte header: prefix, a 4-byte data size whatever the flags, zeros after.
Bytes raw_header(uint8_t type, uint16_t flags, uint16_t head_size, uint32_t data_size) {
    Bytes b;
    archive_bytes::put16(b, 0);
    archive_bytes::put8(b, type);
    archive_bytes::put16(b, flags);
    archive_bytes::put16(b, head_size);
    archive_bytes::put32(b, data_size);
    b.resize(FILE_HEADER_SIZE, 0);
    return b;
}

Bytes first_bytes(const Bytes& b, size_t count) { return Bytes(b.begin(), b.begin() + count); }

Bytes operator+(Bytes a, const Bytes& b) {
    archive_bytes::append(a, b);
    return a;
}

struct WalkTest : ::testing::Test {
    ExtractJob* job = new ExtractJob();
    std::string path;

    void SetUp() override {
        path = ::testing::TempDir() + "walk_" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".rar";
    }
    void TearDown() override {
        file_close(job->archive_file);
        delete job;
        remove(path.c_str());
    }

    // Marker, main header and the given blocks; located and skipped to the first block as the driver does.
    void open_blocks(const Bytes& blocks, uint16_t main_size = MAIN_HEADER_SIZE) {
        Bytes b;
        archive_bytes::append_marker(b);
        archive_bytes::append_main_header(b, 0, main_size);
        archive_bytes::append(b, blocks);
        file_close(job->archive_file);
        memset((void*)job, 0, sizeof *job);
        ASSERT_TRUE(archive_bytes::write_file(path, b));
        job->archive_file = file_open(path.c_str(), "rb", 1);
        ASSERT_NE(job->archive_file, nullptr);
        ASSERT_NE(open_archive(job), ARCHIVE_KIND_NONE);
        file_seek(job->archive_file, job->main_header.head_size - job->main_bytes_read, 1);
    }
    int32_t next(uint32_t request = WALK_FILES_AND_SUBS) { return read_next_entry(job, request); }
    void skip() { file_seek(job->archive_file, job->next_block, 0); }
    long position() { return ftell(job->archive_file); }
};

TEST_F(WalkTest, FileHeaderIsReadWithItsName) {
    FileEntry e = entry("ZUNO", "hello");
    e.head_crc = 0xA1B2;
    e.flags = 0x8090;
    e.unp_size = 0x01020304;
    e.file_crc = 0x11223344;
    e.method = METHOD_BEST;
    e.file_attr = 0x21;
    e.extra = {9, 9, 9};
    open_blocks(file_bytes(e), 51);
    const int32_t start = MARKER_SIZE + 51;

    ASSERT_EQ(next(), 32 + 4);
    const FileHeader& h = job->file_header;
    EXPECT_EQ(h.head_crc, 0xA1B2);
    EXPECT_EQ(h.head_type, BLOCK_FILE);
    EXPECT_EQ(h.head_flags, 0x8090);
    EXPECT_EQ(h.head_size, 39);
    EXPECT_EQ(h.pack_size, 5u);
    EXPECT_EQ(h.unp_size, 0x01020304u);
    EXPECT_EQ(h.host_os, HOST_WIN32);
    EXPECT_EQ(h.file_crc, 0x11223344u);
    EXPECT_EQ(h.file_time, 0x30C96000u);
    EXPECT_EQ(h.unp_ver, 20);
    EXPECT_EQ(h.method, METHOD_BEST);
    EXPECT_EQ(h.name_size, 4);
    EXPECT_EQ(h.file_attr, 0x21u);
    EXPECT_STREQ(job->name, "ZUNO");
    EXPECT_EQ(job->block_start, start);
    EXPECT_EQ(job->next_block, start + 39 + 5);
    EXPECT_EQ(position(), start + 36);
    EXPECT_EQ(job->block_header.head_crc, 0xA1B2);
    EXPECT_EQ(job->block_header.head_type, BLOCK_FILE);
    EXPECT_EQ(job->block_header.head_flags, 0x8090);
    EXPECT_EQ(job->block_header.head_size, 39);
    EXPECT_EQ(job->block_header.data_size, 5u);

    // The end of the file: nothing changes but the block start.
    skip();
    EXPECT_EQ(next(), 0);
    EXPECT_EQ(job->file_header.head_crc, 0xA1B2);
    EXPECT_EQ(job->file_header.file_crc, 0x11223344u);
    EXPECT_STREQ(job->name, "ZUNO");
    EXPECT_EQ(job->block_start, start + 44);
    EXPECT_EQ(position(), start + 44);
}

TEST_F(WalkTest, SubBlockStopsTheWalkAndKeepsThePreviousEntry) {
    FileEntry a = entry("A.TXT");
    a.file_crc = 0xAAAA5555;
    Bytes sub = block_bytes(BLOCK_SUB, BLOCK_FLAG_HAS_DATA, 18, Bytes(8, 'x'));
    const int32_t sub_start = kFirstBlock + 32 + 5 + 4;
    open_blocks(file_bytes(a) + sub + file_bytes(entry("B.TXT")));

    ASSERT_EQ(next(), 37);
    skip();
    ASSERT_EQ(next(), 32);
    EXPECT_EQ(job->block_header.head_type, BLOCK_SUB);
    EXPECT_EQ(job->block_header.head_flags, BLOCK_FLAG_HAS_DATA);
    EXPECT_EQ(job->block_header.head_size, 18);
    EXPECT_EQ(job->block_header.data_size, 8u);
    EXPECT_EQ(job->file_header.head_type, BLOCK_FILE);
    EXPECT_EQ(job->file_header.file_crc, 0xAAAA5555u);
    EXPECT_EQ(job->file_header.name_size, 5);
    EXPECT_STREQ(job->name, "A.TXT");
    EXPECT_EQ(job->block_start, sub_start);
    EXPECT_EQ(job->next_block, sub_start + 26);
    EXPECT_EQ(position(), sub_start);

    skip();
    ASSERT_EQ(next(), 37);
    EXPECT_STREQ(job->name, "B.TXT");
    EXPECT_EQ(job->block_start, sub_start + 26);

    // Asked for file headers only, the walk passes the sub-block over.
    open_blocks(file_bytes(a) + sub + file_bytes(entry("B.TXT")));
    ASSERT_EQ(next(BLOCK_FILE), 37);
    skip();
    ASSERT_EQ(next(BLOCK_FILE), 37);
    EXPECT_STREQ(job->name, "B.TXT");
}

struct StepCase {
    const char* what;
    Bytes block;
    bool is_entry;        // the walk stops at it first
    int32_t step;         // from its start to the next block
};

TEST_F(WalkTest, NextBlockFollowsTheSizes) {
    Bytes garbage_size = block_bytes(0x7B, 0x400F, 20, {});
    garbage_size[7] = 0xB5;  // a size field the flags do not announce
    garbage_size[10] = 0xA3;
    FileEntry no_data = entry("N");
    no_data.flags = 0x0000;
    no_data.pack_size = 10;
    no_data.data.clear();
    const StepCase cases[] = {
        {"block with data", block_bytes(0x78, 0xC000, 26, Bytes(514, 'R')), false, 26 + 514},
        {"block without data", block_bytes(0x7B, 0x4000, 7, {}), false, 7},
        {"size field without the data flag", garbage_size, false, 20},
        {"file header without the data flag", file_bytes(no_data), true, 33},
        {"wrapping size without the data flag", first_bytes(raw_header(0x7A, 0, 16, 0xFFFFFFF0u), 16), false, 16},
    };
    for (const StepCase& c : cases) {
        open_blocks(c.block + file_bytes(entry("B.TXT")));
        if (c.is_entry) {
            ASSERT_GT(next(), 0) << c.what;
            EXPECT_EQ(job->next_block, kFirstBlock + c.step) << c.what;
            skip();
        }
        ASSERT_EQ(next(), 37) << c.what;
        EXPECT_STREQ(job->name, "B.TXT") << c.what;
        EXPECT_EQ(job->block_start, kFirstBlock + c.step) << c.what;
    }

    // Bytes after the last block are taken as blocks too, here one that reaches past the end.
    open_blocks(file_bytes(entry("B.TXT")) + Bytes(10, 'Z'));
    ASSERT_EQ(next(), 37);
    skip();
    EXPECT_EQ(next(), 0);
    EXPECT_STREQ(job->name, "B.TXT");
    EXPECT_EQ(job->block_start, kFirstBlock + 41 + 0x5A5A);
}

struct BadCase {
    const char* what;
    uint8_t type;
    uint16_t flags;
    uint16_t head_size;
    uint32_t data_size;
};

TEST_F(WalkTest, BadSizesEndTheWalkWhereTheyAre) {
    const BadCase cases[] = {
        {"head size 0", BLOCK_FILE, 0x8000, 0, 0},
        {"head size 6", 0x7A, 0, 6, 0},
        {"file header of 6 bytes", BLOCK_FILE, 0, 6, 100},
        {"data wraps to the block start", 0x7A, 0x8000, 16, 0xFFFFFFF0u},
        {"data wraps before the block start", 0x7A, 0x8000, 32, 0xFFFFFF00u},
        {"file header wraps to its start", BLOCK_FILE, 0x8000, 36, 0xFFFFFFDCu},
        {"next block past the largest offset", 0x7A, 0x8000, 32, 0x7FFFFFF0u},
    };
    for (const BadCase& c : cases) {
        open_blocks(raw_header(c.type, c.flags, c.head_size, c.data_size) + file_bytes(entry("B.TXT")));
        strcpy(job->name, "OLD");
        EXPECT_EQ(next(), 0) << c.what;
        EXPECT_EQ(job->block_start, kFirstBlock) << c.what;
        EXPECT_EQ(job->file_header.head_size, c.head_size) << c.what;
        EXPECT_EQ(position(), kFirstBlock + 32) << c.what;
        EXPECT_STREQ(job->name, "OLD") << c.what;
    }
}

TEST_F(WalkTest, AnyBytesWalkToAnEnd) {
    // Small forward steps (head 7 plus a data size that wraps to -6) and plain noise.
    Bytes creep;
    for (int i = 0; i < 300; i++)
        archive_bytes::append(creep, Bytes{0, 0, 0x7A, 0x00, 0x80, 7, 0, 0xFA, 0xFF, 0xFF, 0xFF});
    std::vector<Bytes> inputs = {Bytes(3000, 0), Bytes(3000, 0xFF), Bytes(3000, 'R'), Bytes(3000, 0x74),
                                 Bytes(3000, 0x77), creep};
    for (uint32_t seed : {1u, 2u, 3u, 77u}) {
        Bytes noise(3000);
        uint32_t x = seed;
        for (uint8_t& byte : noise) {
            x = x * 1103515245u + 12345u;
            byte = (uint8_t)(x >> 16);
            if ((x >> 8) % 5 == 0)
                byte = (x >> 12) % 2 ? BLOCK_FILE : 0x00;  // more small sizes and file types
        }
        inputs.push_back(noise);
    }
    for (size_t i = 0; i < inputs.size(); i++) {
        open_blocks(inputs[i]);
        int calls = 0;
        while (next() != 0) {
            ASSERT_GT(job->next_block, job->block_start) << "input " << i;
            ASSERT_EQ(job->name[MAX_NAME], 0) << "input " << i;
            skip();
            ASSERT_LT(++calls, 4000) << "input " << i;
        }
    }
}

TEST_F(WalkTest, LongNamesAreCutAndTheRestSkipped) {
    for (size_t length : {258u, 259u, 260u, 300u, 1000u}) {
        std::string name;
        for (size_t i = 0; i < length; i++)
            name += (char)('a' + i % 26);
        open_blocks(file_bytes(entry(name, "xyz")) + file_bytes(entry("NEXT")));
        size_t kept = length < (size_t)MAX_NAME ? length : (size_t)MAX_NAME;
        ASSERT_EQ(next(), (int32_t)(32 + kept)) << length;
        EXPECT_EQ(job->file_header.name_size, kept) << length;
        EXPECT_EQ(std::string(job->name), name.substr(0, kept)) << length;
        EXPECT_EQ(job->next_block, kFirstBlock + 32 + (int32_t)length + 3) << length;
        skip();
        ASSERT_EQ(next(), 36) << length;
        EXPECT_STREQ(job->name, "NEXT") << length;
    }
}

TEST_F(WalkTest, SlashesBecomeBackslashes) {
    const char* const cases[][2] = {
        {"dir/sub/file.txt", "dir\\sub\\file.txt"},
        {"a\\b/c", "a\\b\\c"},
        {"/", "\\"},
        {"plain", "plain"},
    };
    for (const auto& c : cases) {
        open_blocks(file_bytes(entry(c[0])));
        ASSERT_GT(next(), 0) << c[0];
        EXPECT_STREQ(job->name, c[1]);
    }
}

struct HostCase {
    uint8_t host;
    uint16_t flags;
    uint32_t attr;
    uint8_t want_host;   // after the walk
    uint32_t want_read;  // attributes after the walk
    uint32_t want_adjusted;
};

TEST_F(WalkTest, HostSystemsAndAttributes) {
    const HostCase cases[] = {
        {HOST_MSDOS, 0x8000, 0x27, HOST_MSDOS, 0x27, 0x27},
        {HOST_OS2, 0x80E0, 0x01, HOST_OS2, 0x01, 0x01},
        {HOST_WIN32, 0x80E0, 0x21, HOST_WIN32, 0x21, 0x21},
        {HOST_UNIX, 0x8080, 0x81B4, HOST_UNIX, 0x81B4, ATTR_ARCHIVE},
        {HOST_UNIX, 0x80E0, 0x41ED, HOST_UNIX, 0x41ED, ATTR_DIRECTORY},
        {HOST_UNIX, 0x80C0, 0x41ED, HOST_UNIX, 0x41ED, ATTR_ARCHIVE},  // a dictionary size, not a folder
        {4, 0x8080, 0x81B4, HOST_MSDOS, ATTR_ARCHIVE, ATTR_ARCHIVE},
        {4, 0x80E0, 0x81B4, HOST_MSDOS, ATTR_DIRECTORY, ATTR_DIRECTORY},
        {200, 0x80A0, 0x41ED, HOST_MSDOS, ATTR_ARCHIVE, ATTR_ARCHIVE},
    };
    for (const HostCase& c : cases) {
        FileEntry e = entry("F");
        e.host_os = c.host;
        e.flags = c.flags;
        e.file_attr = c.attr;
        open_blocks(file_bytes(e));
        ASSERT_GT(next(), 0);
        EXPECT_EQ(job->file_header.host_os, c.want_host) << "host " << (int)c.host << " flags " << c.flags;
        EXPECT_EQ(job->file_header.file_attr, c.want_read) << "host " << (int)c.host << " flags " << c.flags;
        adjust_attributes(job);
        EXPECT_EQ(job->file_header.file_attr, c.want_adjusted) << "host " << (int)c.host << " flags "
                                                               << c.flags;
    }
}

struct Field {
    const char* name;
    int offset;
    int width;
    uint32_t (*get)(const FileHeader&);
};

const Field kFields[] = {
    {"head_crc", 0, 2, [](const FileHeader& h) -> uint32_t { return h.head_crc; }},
    {"head_type", 2, 1, [](const FileHeader& h) -> uint32_t { return h.head_type; }},
    {"head_flags", 3, 2, [](const FileHeader& h) -> uint32_t { return h.head_flags; }},
    {"head_size", 5, 2, [](const FileHeader& h) -> uint32_t { return h.head_size; }},
    {"pack_size", 7, 4, [](const FileHeader& h) -> uint32_t { return h.pack_size; }},
    {"unp_size", 11, 4, [](const FileHeader& h) -> uint32_t { return h.unp_size; }},
    {"host_os", 15, 1, [](const FileHeader& h) -> uint32_t { return h.host_os; }},
    {"file_crc", 16, 4, [](const FileHeader& h) -> uint32_t { return h.file_crc; }},
    {"file_time", 20, 4, [](const FileHeader& h) -> uint32_t { return h.file_time; }},
    {"unp_ver", 24, 1, [](const FileHeader& h) -> uint32_t { return h.unp_ver; }},
    {"method", 25, 1, [](const FileHeader& h) -> uint32_t { return h.method; }},
    {"name_size", 26, 2, [](const FileHeader& h) -> uint32_t { return h.name_size; }},
    {"file_attr", 28, 4, [](const FileHeader& h) -> uint32_t { return h.file_attr; }},
};

TEST_F(WalkTest, HeaderCutShortLeavesTheMissingFieldsZero) {
    // Every field of the first entry is non-zero, so a stale value would show.
    FileEntry a = entry("OLDOLDOLD.TXT");
    a.head_crc = 0xFFFF;
    a.flags = 0x80FF;
    a.unp_size = 0xFFFFFFFF;
    a.host_os = HOST_UNIX;
    a.file_crc = 0xFFFFFFFF;
    a.file_time = 0xFFFFFFFF;
    a.unp_ver = 0xFF;
    a.method = 0xFF;
    a.file_attr = 0xFFFFFFFF;
    FileEntry b = entry("NEWNAME");
    b.head_crc = 0xC3D4;
    b.flags = 0x8090;
    b.head_size = 0x0125;
    b.pack_size = 0x0A0B0C0D;
    b.unp_size = 0x01020304;
    b.host_os = HOST_UNIX;
    b.file_crc = 0x99887766;
    b.method = METHOD_BEST;
    b.file_attr = 0x000081B4;
    Bytes b_header;
    archive_bytes::append_file_header(b_header, b);
    FileHeader full;
    memset(&full, 0, sizeof full);
    full.head_crc = 0xC3D4;
    full.head_type = BLOCK_FILE;
    full.head_flags = 0x8090;
    full.head_size = 0x0125;
    full.pack_size = 0x0A0B0C0D;
    full.unp_size = 0x01020304;
    full.host_os = HOST_UNIX;
    full.file_crc = 0x99887766;
    full.file_time = 0x30C96000;
    full.unp_ver = 20;
    full.method = METHOD_BEST;
    full.name_size = 7;
    full.file_attr = 0x81B4;

    const int32_t b_start = kFirstBlock + 32 + 13 + 4;
    for (int cut = 1; cut < FILE_HEADER_SIZE; cut++) {
        open_blocks(file_bytes(a) + first_bytes(b_header, (size_t)cut));
        ASSERT_GT(next(), 0);
        skip();
        int32_t result = next();
        int32_t want = cut < 6 ? 0 : cut + (cut > 26 ? 7 : 0);
        EXPECT_EQ(result, want) << cut << " bytes";
        EXPECT_EQ(job->block_start, b_start) << cut << " bytes";
        for (const Field& f : kFields) {
            int delivered = cut - f.offset;
            if (delivered > f.width)
                delivered = f.width;
            uint32_t mask = delivered <= 0 ? 0 : delivered >= 4 ? 0xFFFFFFFFu : (1u << (8 * delivered)) - 1;
            EXPECT_EQ(f.get(job->file_header), f.get(full) & mask) << f.name << " after " << cut << " bytes";
        }
        if (result > 0) {
            EXPECT_STREQ(job->name, "") << cut << " bytes";
            skip();
        }
        EXPECT_EQ(next(), 0) << "the read after " << cut << " bytes";
    }

    // A name cut by the end of the file keeps only the bytes delivered, none of the previous name.
    open_blocks(file_bytes(a) + first_bytes(b_header, b_header.size() - 4));
    ASSERT_GT(next(), 0);
    skip();
    EXPECT_EQ(next(), 32 + 7);
    EXPECT_STREQ(job->name, "NEW");
}

// The real archives: every block the walk stops at, in order, as a driver would walk them.
struct Stop {
    int32_t block_start;
    uint8_t type;
    uint16_t flags;
    uint16_t head_size;
    uint32_t pack_size;
    const char* name;  // file headers only
    uint32_t unp_size;
    uint8_t host_os;
    uint32_t file_crc;
    uint8_t unp_ver;
    uint8_t method;
    uint32_t file_attr;      // as read
    uint32_t adjusted_attr;  // after adjust_attributes
};

struct Sample {
    const char* file;
    int32_t kind;
    uint16_t main_flags;
    uint16_t main_size;
    std::vector<Stop> stops;
};

const char kEightBitName[] = "\xE2\xA5\xE1\xE2.txt";

std::vector<Sample> samples() {
    return {
        {"unix-owner-subblock.rar", ARCHIVE_KIND_AT_START, 0x0040, 13,
         {{20, BLOCK_FILE, 0x8080, 40, 17, "file.txt", 4, HOST_UNIX, 0x7E3265A8, 20, 0x33, 0x81B4, 0x20},
          {77, BLOCK_SUB, 0x8000, 18, 8, nullptr, 0, 0, 0, 0, 0, 0, 0}}},
        {"stored-main-comment.rar", ARCHIVE_KIND_AT_START, 0x0002, 51,
         {{58, BLOCK_FILE, 0x8008, 66, 7, "FILE1.TXT", 7, HOST_MSDOS, 0x7A197DBA, 20, 0x30, 0x20, 0x20},
          {131, BLOCK_FILE, 0x8008, 66, 7, "FILE2.TXT", 7, HOST_MSDOS, 0x785FC3E3, 20, 0x30, 0x20, 0x20}}},
        {"encrypted-entries.rar", ARCHIVE_KIND_AT_START, 0x0002, 51,
         {{58, BLOCK_FILE, 0x800C, 66, 32, "FILE1.TXT", 7, HOST_MSDOS, 0x7A197DBA, 20, 0x33, 0x20, 0x20},
          {156, BLOCK_FILE, 0x800C, 66, 32, "FILE2.TXT", 7, HOST_MSDOS, 0x785FC3E3, 20, 0x33, 0x20, 0x20}}},
        {"version15-entries.rar", ARCHIVE_KIND_AT_START, 0x0002, 44,
         {{51, BLOCK_FILE, 0x8008, 72, 7, "FILE1.TXT", 7, HOST_MSDOS, 0xE27F07A9, 15, 0x33, 0x20, 0x20},
          {130, BLOCK_FILE, 0x8008, 72, 8, "FILE2.TXT", 8, HOST_MSDOS, 0x3C4306F7, 15, 0x30, 0x20, 0x20}}},
        {"stored-folders-exttime.rar", ARCHIVE_KIND_AT_START, 0x0000, 13,
         {{20, BLOCK_FILE, 0x9020, 49, 45056, "exe\\test.exe", 45056, HOST_WIN32, 0xCFB109C8, 20, 0x30, 0x20,
           0x20},
          {45125, BLOCK_FILE, 0x9020, 49, 40372, "jpg\\test.jpg", 40372, HOST_WIN32, 0x088814E3, 20, 0x30, 0x20,
           0x20},
          {85546, BLOCK_FILE, 0x9220, 53, 15498, kEightBitName, 15498, HOST_WIN32, 0x9BD160FA, 20, 0x30, 0x20,
           0x20},
          {101097, BLOCK_FILE, 0x90E0, 42, 0, "Empty", 0, HOST_WIN32, 0, 20, 0x30, 0x10, 0x10},
          {101139, BLOCK_FILE, 0x90E0, 40, 0, "exe", 0, HOST_WIN32, 0, 20, 0x30, 0x10, 0x10},
          {101179, BLOCK_FILE, 0x90E0, 40, 0, "jpg", 0, HOST_WIN32, 0, 20, 0x30, 0x10, 0x10}}},
        {"volume1-split-entry.rar", ARCHIVE_KIND_VOLUME, 0x0101, 13,
         {{20, BLOCK_FILE, 0x9022, 50, 102310, "vols\\bigfile.txt", 205000, HOST_UNIX, 0x860D67D3, 20, 0x30,
           0x81B4, 0x20}}},
    };
}

TEST(SampleArchives, WalkToTheEndWithTheStatedEntries) {
    const std::string dir = ORDAVIN_SAMPLES_DIR;
    FILE* probe = fopen((dir + "/README.md").c_str(), "rb");
    if (!probe)
        GTEST_SKIP() << "sample archives not found in " << dir;
    fclose(probe);

    ExtractJob* job = new ExtractJob();
    for (const Sample& s : samples()) {
        SCOPED_TRACE(s.file);
        memset((void*)job, 0, sizeof *job);
        job->archive_file = file_open((dir + "/" + s.file).c_str(), "rb", 1);
        ASSERT_NE(job->archive_file, nullptr);
        EXPECT_EQ(open_archive(job), s.kind);
        EXPECT_EQ(job->archive_format, ARCHIVE_FORMAT_RAR2);
        EXPECT_EQ(job->main_header.head_flags, s.main_flags);
        EXPECT_EQ(job->main_header.head_size, s.main_size);
        file_seek(job->archive_file, job->main_header.head_size - job->main_bytes_read, 1);

        for (const Stop& want : s.stops) {
            SCOPED_TRACE(want.block_start);
            int32_t got = read_next_entry(job, WALK_FILES_AND_SUBS);
            EXPECT_EQ(job->block_start, want.block_start);
            EXPECT_EQ(job->block_header.head_type, want.type);
            EXPECT_EQ(job->block_header.head_flags, want.flags);
            EXPECT_EQ(job->block_header.head_size, want.head_size);
            EXPECT_EQ(job->block_header.data_size, want.pack_size);
            if (want.type == BLOCK_SUB) {
                EXPECT_EQ(got, 32);
                EXPECT_EQ(ftell(job->archive_file), want.block_start);
            } else {
                const FileHeader& h = job->file_header;
                EXPECT_EQ(got, 32 + h.name_size);
                EXPECT_EQ(std::string(job->name), want.name);
                EXPECT_EQ(h.unp_size, want.unp_size);
                EXPECT_EQ(h.host_os, want.host_os);
                EXPECT_EQ(h.file_crc, want.file_crc);
                EXPECT_EQ(h.unp_ver, want.unp_ver);
                EXPECT_EQ(h.method, want.method);
                EXPECT_EQ(h.file_attr, want.file_attr);
                adjust_attributes(job);
                EXPECT_EQ(h.file_attr, want.adjusted_attr);
            }
            EXPECT_EQ(job->next_block, want.block_start + want.head_size + want.pack_size);
            file_seek(job->archive_file, job->next_block, 0);
        }
        EXPECT_EQ(read_next_entry(job, WALK_FILES_AND_SUBS), 0);
        file_close(job->archive_file);
        job->archive_file = nullptr;
    }
    delete job;
}

}  // namespace

namespace {

// The checksum of bytes [2, END) of a block, as an archiver stores it.
uint16_t checksum_over(const Bytes& block, size_t end) {
    return (uint16_t)archive_bytes::crc32(Bytes(block.begin() + 2, block.begin() + (long)end));
}

void set_checksum(Bytes& block, uint16_t crc) {
    block[0] = (uint8_t)crc;
    block[1] = (uint8_t)(crc >> 8);
}

}  // namespace

// Which stretch of a block a stored header checksum may cover: the whole header, the part before a comment,
// or the header with the data of an old sub-block; anything else, or a header cut short, does not match.
TEST_F(WalkTest, HeaderChecksumCoversWhatArchiversCover) {
    FileEntry commented = entry("f.txt");
    commented.extra = Bytes(9, 'c');  // a file comment after the name
    const uint32_t fixed_and_name = FILE_HEADER_SIZE + 5;
    const uint16_t head_size = (uint16_t)(fixed_and_name + 9);
    Bytes whole = file_bytes(commented);
    Bytes short_part = whole;
    set_checksum(short_part, checksum_over(whole, fixed_and_name));
    Bytes sub = block_bytes(BLOCK_SUB, BLOCK_FLAG_HAS_DATA, 18, Bytes(8, 'x'));
    set_checksum(sub, checksum_over(sub, sub.size()));
    Bytes wrong = whole;
    wrong[FILE_HEADER_SIZE] ^= 0x20;  // a changed name under the old checksum
    struct Case {
        const char* what;
        Bytes block;
        uint16_t head_size;
        uint32_t short_size;
        uint32_t covered_data;
        size_t cut_to;  // 0: the whole block is in the file
        int expected;
    };
    const Case cases[] = {
        {"whole header", whole, head_size, fixed_and_name, 0, 0, 1},
        {"whole header, no short reading", whole, head_size, 0, 0, 0, 1},
        {"comment left out", short_part, head_size, fixed_and_name, 0, 0, 1},
        {"comment left out, read whole only", short_part, head_size, 0, 0, 0, 0},
        {"sub-block with its data", sub, 18, 0, 8, 0, 1},
        {"sub-block, header only read", sub, 18, 0, 0, 0, 0},
        {"changed name", wrong, head_size, fixed_and_name, 0, 0, 0},
        {"header cut after its short part", short_part, head_size, fixed_and_name, 0, fixed_and_name + 2, 0},
        {"size below the prefix", whole, 6, 0, 0, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Bytes block = c.cut_to ? first_bytes(c.block, c.cut_to) : c.block;
        open_blocks(block);
        build_crc_table(job);
        uint16_t stored = (uint16_t)(block[0] | block[1] << 8);
        uint16_t whole_checksum = 0xFFFF;
        EXPECT_EQ(header_checksum_matches(job, kFirstBlock, c.head_size, stored, c.short_size, c.covered_data,
                                          &whole_checksum),
                  c.expected);
        if (!c.cut_to && c.head_size >= BLOCK_PREFIX_SIZE) {
            EXPECT_EQ(whole_checksum, checksum_over(block, c.head_size));
        }
    }
}
