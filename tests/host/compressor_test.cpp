// Our compressor, checked through the setup's own reader and decoder: every archive it makes must decode
// back to the very bytes it was given, at every level, and use every kind of symbol somewhere.
#include <gtest/gtest.h>
#include <string.h>

#include <random>
#include <string>
#include <vector>

#include "archive/archive_reader.h"
#include "archive/checksum.h"
#include "archive/extract_job.h"
#include "archive/format.h"
#include "archive/stream.h"
#include "tools/compress_internal.h"
#include "tools/compressor.h"
#include "unpack/unpack.h"

namespace {

using Bytes = std::vector<uint8_t>;

struct Decoded {
    std::string name;
    Bytes data;
    uint32_t dos_time;
    uint32_t attributes;
    uint16_t flags;
    uint8_t method;
    bool crc_ok;
};

// Walks the archive as the setup's driver does and decodes every entry into memory.
std::vector<Decoded> decode_archive(const Bytes& archive) {
    std::vector<Decoded> result;
    ExtractJob* job = (ExtractJob*)alloc_zeroed(sizeof(ExtractJob));
    build_crc_table(job);
    for (int c = 0; c < MAX_AUDIO_CHANNELS; c++) job->audio_tables[c] = &job->audio_table_store[c];
    job->window_buffer = (uint8_t*)alloc_zeroed(WINDOW_SIZE);
    job->archive_file = tmpfile();
    fwrite(archive.data(), 1, archive.size(), job->archive_file);
    rewind(job->archive_file);
    EXPECT_EQ(open_archive(job), ARCHIVE_KIND_AT_START);
    EXPECT_EQ(job->main_header.head_flags, MAIN_FLAG_SOLID);
    file_seek(job->archive_file, (int32_t)job->main_header.head_size - job->main_bytes_read, 1);
    while (read_next_entry(job, WALK_FILES_AND_SUBS) > 0) {
        const FileHeader& h = job->file_header;
        FILE* out = tmpfile();
        file_seek(job->archive_file, job->block_start + h.head_size, 0);
        job->packed_file = job->archive_file;
        job->pack_left = (int32_t)h.pack_size;
        job->unp_left = (int32_t)h.unp_size;
        job->output_file = out;
        job->skip_output = 0;
        job->data_crc = 0xFFFFFFFFu;
        if (h.method == METHOD_STORED) {
            copy_stored(job);
        } else {
            unpack_entry(job, job->window_buffer, h.head_flags & FILE_FLAG_SOLID);
        }
        Decoded d;
        d.name = job->name;
        fflush(out);
        d.data.resize((size_t)ftell(out));
        rewind(out);
        if (!d.data.empty()) {
            EXPECT_EQ(fread(d.data.data(), 1, d.data.size(), out), d.data.size());
        }
        fclose(out);
        d.dos_time = h.file_time;
        d.attributes = h.file_attr;
        d.flags = h.head_flags;
        d.method = h.method;
        d.crc_ok = job->data_crc == ~h.file_crc;
        result.push_back(d);
        file_seek(job->archive_file, job->next_block, 0);
    }
    fclose(job->archive_file);
    free_and_clear(&job->window_buffer);
    free_and_clear(&job);
    return result;
}

Bytes text_bytes(size_t size, uint32_t seed) {
    static const char* words[] = {"setup ", "window ", "install ", "the ", "of ", "folder ", "Ordavin ", "file ",
                                  "language ", "\r\n", "#include <windows.h>\r\n", "int ", "return 0;\r\n"};
    std::mt19937 rng(seed);
    Bytes out;
    while (out.size() < size) {
        const char* w = words[rng() % (sizeof(words) / sizeof(words[0]))];
        out.insert(out.end(), w, w + strlen(w));
    }
    out.resize(size);
    return out;
}

Bytes random_bytes(size_t size, uint32_t seed) {
    std::mt19937 rng(seed);
    Bytes out(size);
    for (uint8_t& b : out) b = (uint8_t)rng();
    return out;
}

// Bytes that look like a program: records with small numbers, repeated structures at varying distances.
Bytes binary_bytes(size_t size, uint32_t seed) {
    std::mt19937 rng(seed);
    Bytes out;
    while (out.size() < size) {
        uint32_t kind = rng() % 4;
        if (kind == 0 && out.size() > 300000) {
            size_t from = out.size() - 200000 - rng() % 100000;   // far back: length bonuses
            size_t len = 5 + rng() % 40;
            for (size_t i = 0; i < len; i++) out.push_back(out[from + i]);
        } else if (kind == 1 && out.size() > 64) {
            size_t from = out.size() - 1 - rng() % 64;
            out.push_back(out[from]);
            out.push_back(out[from + 1 < out.size() ? from + 1 : from]);
        } else {
            uint32_t v = rng() % 300;
            out.push_back((uint8_t)v);
            out.push_back((uint8_t)(v >> 8));
            out.push_back(0);
            out.push_back((uint8_t)(0x40 + rng() % 8));
        }
    }
    out.resize(size);
    return out;
}

ArchiveInput input(const std::string& name, Bytes data) {
    return ArchiveInput{name, std::move(data), 0x30C96000u, ATTR_ARCHIVE};
}

struct Case {
    const char* label;
    std::vector<ArchiveInput> (*make)();
};

std::vector<ArchiveInput> case_empty_files() {
    return {input("a", {}), input("b", {}), input("dir\\c", {})};
}
std::vector<ArchiveInput> case_one_byte() { return {input("one", {0x41})}; }
std::vector<ArchiveInput> case_all_bytes() {
    Bytes all(256);
    for (int i = 0; i < 256; i++) all[i] = (uint8_t)i;
    Bytes twice = all;
    twice.insert(twice.end(), all.rbegin(), all.rend());
    return {input("all", all), input("twice", twice)};
}
std::vector<ArchiveInput> case_runs() {
    Bytes zeros(300000, 0), mixed;
    for (int i = 0; i < 2000; i++) mixed.insert(mixed.end(), 1 + i % 300, (uint8_t)(i * 7));
    return {input("zeros", zeros), input("runs", mixed)};
}
std::vector<ArchiveInput> case_text() { return {input("readme.txt", text_bytes(200000, 1))}; }
std::vector<ArchiveInput> case_incompressible() {
    return {input("random.bin", random_bytes(100000, 2)), input("tiny", random_bytes(3, 3))};
}
std::vector<ArchiveInput> case_beyond_window() {
    // 3 MiB: the second MiB repeats the first, the third mixes old and new, so matches reach across the
    // window's wrap and up to its full size. Mostly random bytes: short hash chains keep the slow levels
    // quick here.
    Bytes a = binary_bytes(WINDOW_SIZE / 8, 4);
    Bytes noise = random_bytes(WINDOW_SIZE - a.size(), 44);
    a.insert(a.end(), noise.begin(), noise.end());
    Bytes data = a;
    data.insert(data.end(), a.begin(), a.end());
    Bytes b = random_bytes(WINDOW_SIZE, 5);
    for (size_t i = 0; i < b.size(); i += 4096)
        if ((i / 4096) % 3 == 0) memcpy(&b[i], &a[i], std::min<size_t>(4096, b.size() - i));
    data.insert(data.end(), b.begin(), b.end());
    return {input("big.bin", data)};
}
std::vector<ArchiveInput> case_many_small() {
    std::vector<ArchiveInput> files;
    for (int i = 0; i < 300; i++)
        files.push_back(input("inc\\h" + std::to_string(i) + ".h", text_bytes(1 + (i * 37) % 900, 100 + i % 7)));
    return files;
}
std::vector<ArchiveInput> case_stored_between() {
    return {input("a.txt", text_bytes(20000, 6)), input("b.zip", random_bytes(30000, 7)),
            input("c.txt", text_bytes(20000, 6)), input("d.txt", text_bytes(5000, 8))};
}
std::vector<ArchiveInput> case_empty_first() {
    return {input("empty", {}), input("random", random_bytes(1000, 9)), input("text", text_bytes(30000, 10))};
}
std::vector<ArchiveInput> case_changing_statistics() {
    // Text, program bytes and text again, in one file and over file boundaries: new tables mid-entry and at
    // entry ends.
    Bytes one = text_bytes(150000, 11);
    Bytes bin = binary_bytes(150000, 12);
    one.insert(one.end(), bin.begin(), bin.end());
    Bytes more = text_bytes(100000, 13);
    one.insert(one.end(), more.begin(), more.end());
    return {input("mixed", one), input("bin1", binary_bytes(60000, 14)), input("txt1", text_bytes(60000, 15)),
            input("bin2", binary_bytes(60000, 16)), input("zero", Bytes(40000, 0)), input("txt2", text_bytes(60000, 17))};
}

const Case kCases[] = {
    {"EmptyFiles", case_empty_files},
    {"OneByte", case_one_byte},
    {"AllByteValues", case_all_bytes},
    {"LongRuns", case_runs},
    {"Text", case_text},
    {"Incompressible", case_incompressible},
    {"LargerThanWindow", case_beyond_window},
    {"ManySmallFiles", case_many_small},
    {"StoredBetweenCompressed", case_stored_between},
    {"EmptyFirstFile", case_empty_first},
    {"ChangingStatistics", case_changing_statistics},
};

struct RoundTrip : ::testing::TestWithParam<std::tuple<int, int>> {};

TEST_P(RoundTrip, DecodesToTheSameBytes) {
    const Case& c = kCases[std::get<0>(GetParam())];
    CompressOptions options;
    options.level = std::get<1>(GetParam());
    options.store_all = options.level == 0;
    std::vector<ArchiveInput> inputs = c.make();
    Bytes archive;
    CompressStats stats;
    std::string error;
    ASSERT_EQ(build_archive(inputs, options, &archive, &stats, &error), 0) << error;
    std::vector<Decoded> out = decode_archive(archive);
    ASSERT_EQ(out.size(), inputs.size());
    bool started = false;
    for (size_t i = 0; i < inputs.size(); i++) {
        SCOPED_TRACE(inputs[i].name);
        EXPECT_EQ(out[i].name, inputs[i].name);
        EXPECT_TRUE(out[i].data == inputs[i].data) << "size " << out[i].data.size() << " vs "
                                                   << inputs[i].data.size();
        EXPECT_TRUE(out[i].crc_ok);
        EXPECT_EQ(out[i].dos_time, inputs[i].dos_time);
        EXPECT_EQ(out[i].attributes, inputs[i].attributes);
        bool compressed = out[i].method == METHOD_BEST;
        EXPECT_EQ(out[i].flags, (BLOCK_FLAG_HAS_DATA | FILE_FLAG_DICT_1M | (started ? FILE_FLAG_SOLID : 0)));
        started |= compressed;
        if (options.store_all || inputs[i].data.empty()) {
            EXPECT_EQ(out[i].method, METHOD_STORED);
        }
    }
    EXPECT_LE(stats.longest_code, (uint32_t)MAX_CODE_LENGTH);
}

std::string case_name(const ::testing::TestParamInfo<std::tuple<int, int>>& info) {
    return std::string(kCases[std::get<0>(info.param)].label) + "_Level" + std::to_string(std::get<1>(info.param));
}

INSTANTIATE_TEST_SUITE_P(AllCases, RoundTrip,
                         ::testing::Combine(::testing::Range(0, (int)(sizeof(kCases) / sizeof(kCases[0]))),
                                            ::testing::Values(0, 1, 2, 3)),
                         case_name);

// Many small random archives: file sizes around the edges (0 to 3 bytes, a few hundred), contents of every
// kind, in every order, at every level. Catches the rare coincidences (a block ending with an entry, a
// match up to an entry's last byte) that the fixed cases may miss.
TEST(CompressorStream, RandomArchivesRoundTrip) {
    std::mt19937 rng(20261211);
    for (int round = 0; round < 40; round++) {
        SCOPED_TRACE("round " + std::to_string(round));
        std::vector<ArchiveInput> inputs;
        int files = 1 + rng() % 12;
        for (int f = 0; f < files; f++) {
            size_t size = rng() % 4 == 0 ? rng() % 4 : rng() % 3 == 0 ? rng() % 300 : rng() % 40000;
            Bytes data;
            switch (rng() % 4) {
            case 0: data = text_bytes(size, rng()); break;
            case 1: data = binary_bytes(size, rng()); break;
            case 2: data = random_bytes(size, rng()); break;
            default: data.assign(size, (uint8_t)rng()); break;
            }
            inputs.push_back(input("f" + std::to_string(f), std::move(data)));
        }
        CompressOptions options;
        options.level = 1 + rng() % 3;
        Bytes archive;
        std::string error;
        ASSERT_EQ(build_archive(inputs, options, &archive, nullptr, &error), 0) << error;
        std::vector<Decoded> out = decode_archive(archive);
        ASSERT_EQ(out.size(), inputs.size());
        for (size_t i = 0; i < inputs.size(); i++) {
            EXPECT_TRUE(out[i].data == inputs[i].data) << "file " << i << " level " << options.level;
            EXPECT_TRUE(out[i].crc_ok);
        }
    }
}

// One archive over the test material: every kind of main symbol, distances with every length bonus, the
// run symbols of the table blocks, blocks as changes against the one before, and table blocks read by the
// end-of-entry check.
TEST(CompressorStream, UsesEverySymbolKind) {
    std::vector<ArchiveInput> inputs = case_changing_statistics();
    for (ArchiveInput& in : case_beyond_window()) inputs.push_back(std::move(in));
    for (ArchiveInput& in : case_many_small()) inputs.push_back(std::move(in));
    Bytes archive;
    CompressStats stats;
    std::string error;
    ASSERT_EQ(build_archive(inputs, CompressOptions(), &archive, &stats, &error), 0) << error;
    auto sum = [&](int from, int to) {
        uint64_t n = 0;
        for (int s = from; s <= to; s++) n += stats.main_symbols[s];
        return n;
    };
    EXPECT_GT(sum(0, 255), 0u) << "literals";
    EXPECT_GT(stats.main_symbols[SYM_REPEAT_LAST], 0u) << "repeat of the last match";
    for (int s = SYM_OLD_DIST_FIRST; s <= SYM_OLD_DIST_LAST; s++)
        EXPECT_GT(stats.main_symbols[s], 0u) << "recent distance " << s - SYM_OLD_DIST_FIRST;
    EXPECT_GT(sum(SYM_SHORT_FIRST, SYM_SHORT_LAST), 0u) << "short matches";
    EXPECT_GT(sum(SYM_LENGTH_FIRST, MAIN_SYMBOLS - 1), 0u) << "length codes";
    EXPECT_EQ(stats.main_symbols[SYM_TABLE_BLOCK] + 1, stats.table_blocks);
    EXPECT_GT(stats.end_table_blocks, 0u);
    EXPECT_LT(stats.end_table_blocks, stats.table_blocks - 1) << "and table blocks within entries";
    EXPECT_GT(stats.keep_blocks, 0u);
    uint64_t near = 0, middle = 0, far = 0;
    for (int d = 0; d < DIST_SYMBOLS; d++) {
        uint32_t base = kDistBase[d];
        (base >= BONUS_DIST_2 ? far : base >= BONUS_DIST_1 ? middle : near) += stats.dist_symbols[d];
    }
    EXPECT_GT(near, 0u);
    EXPECT_GT(middle, 0u);
    EXPECT_GT(far, 0u);
    for (int s : {BITLEN_REPEAT_PREV, BITLEN_ZEROS_SHORT, BITLEN_ZEROS_LONG})
        EXPECT_GT(stats.bitlen_symbols[s], 0u) << "code-length symbol " << s;
    EXPECT_LE(stats.longest_code, (uint32_t)MAX_CODE_LENGTH);

    std::vector<Decoded> out = decode_archive(archive);
    ASSERT_EQ(out.size(), inputs.size());
    for (size_t i = 0; i < inputs.size(); i++) EXPECT_TRUE(out[i].data == inputs[i].data) << inputs[i].name;
}

TEST(CompressorStream, StoresWhatDoesNotCompress) {
    std::vector<ArchiveInput> inputs = case_stored_between();
    Bytes archive;
    CompressStats stats;
    std::string error;
    ASSERT_EQ(build_archive(inputs, CompressOptions(), &archive, &stats, &error), 0) << error;
    EXPECT_EQ(stats.entries[0].method, METHOD_BEST);
    EXPECT_EQ(stats.entries[1].method, METHOD_STORED);
    EXPECT_EQ(stats.entries[1].packed_size, inputs[1].data.size());
    EXPECT_EQ(stats.entries[2].method, METHOD_BEST);
    EXPECT_LT(stats.entries[2].packed_size, 100u) << "the repeat of the first file comes from the window";
}

TEST(CompressorStream, SameInputGivesTheSameBytes) {
    std::vector<ArchiveInput> inputs = case_changing_statistics();
    Bytes a, b;
    std::string error;
    ASSERT_EQ(build_archive(inputs, CompressOptions(), &a, nullptr, &error), 0);
    ASSERT_EQ(build_archive(inputs, CompressOptions(), &b, nullptr, &error), 0);
    EXPECT_TRUE(a == b);
}

TEST(CompressorStream, RefusesNamesAndSizesTheArchiveCannotHold) {
    Bytes archive;
    std::string error;
    EXPECT_EQ(build_archive({input(std::string(MAX_NAME + 1, 'a'), {1})}, CompressOptions(), &archive, nullptr,
                            &error),
              1);
    EXPECT_NE(error.find("name longer"), std::string::npos);
    EXPECT_EQ(build_archive({input(std::string(MAX_NAME, 'a'), {1})}, CompressOptions(), &archive, nullptr, &error),
              0);
}

// Headers as other tools read them too: sizes, fields, and the CRC-32 of each header in its first two bytes.
TEST(CompressorStream, HeadersCarryTheirChecksums) {
    Bytes archive;
    std::string error;
    ASSERT_EQ(build_archive({input("x\\y.txt", text_bytes(1000, 3))}, CompressOptions(), &archive, nullptr, &error), 0);
    ExtractJob* job = new ExtractJob();
    build_crc_table(job);
    auto header_crc = [&](size_t at, size_t size) {
        return (uint16_t)~crc32_update(job, 0xFFFFFFFFu, &archive[at + 2], (uint32_t)(size - 2));
    };
    ASSERT_GT(archive.size(), 20u + 32u);
    EXPECT_EQ(archive[0], MARKER_FIRST);
    EXPECT_EQ(memcmp(&archive[1], kRarMarkerTail, 6), 0);
    EXPECT_EQ(archive[7] | archive[8] << 8, header_crc(7, MAIN_HEADER_SIZE));
    EXPECT_EQ(archive[12] | archive[13] << 8, MAIN_HEADER_SIZE);
    size_t file = 7 + MAIN_HEADER_SIZE;
    size_t size = archive[file + 5] | archive[file + 6] << 8;
    EXPECT_EQ(size, FILE_HEADER_SIZE + 7u);
    EXPECT_EQ(archive[file + 0] | archive[file + 1] << 8, header_crc(file, size));
    EXPECT_EQ(archive[file + 15], HOST_WIN32);
    EXPECT_EQ(archive[file + 24], UNP_VER_MAX);
    EXPECT_EQ(archive[file + 25], METHOD_BEST);
    EXPECT_EQ(archive[file + 3] | archive[file + 4] << 8, BLOCK_FLAG_HAS_DATA | FILE_FLAG_DICT_1M);
    uint32_t pack = archive[file + 7] | archive[file + 8] << 8 | archive[file + 9] << 16 | (uint32_t)archive[file + 10] << 24;
    EXPECT_EQ(file + size + pack, archive.size());
    delete job;
}

TEST(HuffmanLengths, NeverLongerThanTheLimitAndAlwaysAPrefixCode) {
    // Fibonacci frequencies give the deepest trees.
    for (int n : {2, 3, 19, 28, 48, 298}) {
        std::vector<uint32_t> freq(n);
        uint32_t a = 1, b = 1;
        for (int i = 0; i < n; i++) {
            freq[i] = a;
            uint32_t c = a + b > 0x0FFFFFFF ? 0x0FFFFFFF : a + b;
            a = b;
            b = c;
        }
        std::vector<uint8_t> len(n);
        make_code_lengths(freq.data(), n, MAX_CODE_LENGTH, len.data());
        double kraft = 0;
        for (int i = 0; i < n; i++) {
            EXPECT_GE(len[i], 1);
            EXPECT_LE(len[i], MAX_CODE_LENGTH);
            kraft += 1.0 / (1 << len[i]);
        }
        EXPECT_LE(kraft, 1.0) << n;
        EXPECT_GE(kraft, n > 1 ? 1.0 : 0.5) << "a complete code wastes nothing";
    }
}

TEST(HuffmanLengths, OptimalWhenNothingIsTooLong) {
    const uint32_t freq[] = {45, 13, 12, 16, 9, 5, 0};
    uint8_t len[7];
    make_code_lengths(freq, 7, MAX_CODE_LENGTH, len);
    const uint8_t want[] = {1, 3, 3, 3, 4, 4, 0};
    for (int i = 0; i < 7; i++) EXPECT_EQ(len[i], want[i]) << i;
    const uint32_t one[] = {0, 0, 7};
    make_code_lengths(one, 3, MAX_CODE_LENGTH, len);
    EXPECT_EQ(len[2], 1);
    EXPECT_EQ(len[0], 0);
}

TEST(HuffmanLengths, CanonicalCodesFollowTheDecodersOrder) {
    const uint8_t lengths[] = {2, 1, 3, 3};
    uint16_t codes[4];
    make_codes(lengths, 4, codes);
    EXPECT_EQ(codes[1], 0b0);
    EXPECT_EQ(codes[0], 0b10);
    EXPECT_EQ(codes[2], 0b110);
    EXPECT_EQ(codes[3], 0b111);
}

TEST(DistanceCodes, EveryBaseAndItsLastValue) {
    for (int d = 0; d < DIST_SYMBOLS; d++) {
        EXPECT_EQ(distance_code(kDistBase[d]), d);
        EXPECT_EQ(distance_code(kDistBase[d] + (1u << kDistBits[d]) - 1), d);
    }
}

}  // namespace
