// mksetup list, test and extract, run as the program itself on real and hand-made archives.
#include <fcntl.h>
#include <string.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "archive/format.h"
#include "tests/common/archive_bytes.h"
#include "tests/host/tool_run.h"

namespace fs = std::filesystem;

namespace {

uint32_t crc32_of(const std::string& data) {
    return archive_bytes::crc32(archive_bytes::Bytes(data.begin(), data.end()));
}

// A stored Win32 file entry of 2004-06-09 12:00:00; tests change the fields they are about.
archive_bytes::FileEntry entry(const std::string& name, const std::string& data) {
    archive_bytes::FileEntry e;
    e.name = name;
    e.data.assign(data.begin(), data.end());
    return e;
}

std::string archive_of(const std::vector<archive_bytes::FileEntry>& entries, uint16_t main_flags = 0) {
    archive_bytes::Bytes a;
    archive_bytes::append_marker(a);
    archive_bytes::append_main_header(a, main_flags);
    for (const archive_bytes::FileEntry& e : entries)
        archive_bytes::append_file(a, e);
    return std::string(a.begin(), a.end());
}

class MksetupRead : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/mksetup-read-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        root_ = pattern;
        dest_ = root_ / "out";
    }
    void TearDown() override {
        std::error_code ignored;
        for (auto& p : fs::recursive_directory_iterator(root_, ignored))
            fs::permissions(p.path(), fs::perms::owner_all, fs::perm_options::add, ignored);
        fs::remove_all(root_, ignored);
    }
    fs::path put_archive(const std::string& bytes, const char* name = "a.rar") {
        fs::path path = root_ / name;
        write_file(path, bytes);
        return path;
    }
    ToolRun run(const std::vector<std::string>& args) { return run_mksetup(args, root_); }
    ToolRun extract(const fs::path& archive) { return run({"extract", archive.string(), "-o", dest_.string()}); }
    // Every path below ROOT_ apart from the run's own output files, relative to it.
    std::vector<std::string> tree() {
        std::vector<std::string> paths;
        for (auto& p : fs::recursive_directory_iterator(root_)) {
            std::string rel = fs::relative(p.path(), root_).string();
            if (rel != "stdout.txt" && rel != "stderr.txt")
                paths.push_back(rel);
        }
        std::sort(paths.begin(), paths.end());
        return paths;
    }
    fs::path root_;
    fs::path dest_;
};

// ---- Real archives ----

fs::path samples_dir() {
    return fs::path(ORDAVIN_SAMPLES_DIR);
}

#define REQUIRE_SAMPLES()                                                                              \
    if (!fs::is_directory(samples_dir()))                                                              \
    GTEST_SKIP() << "sample archives not found at " << samples_dir() << ": conformance tests skipped"

struct SampleCase {
    const char* file;
    int exit_code;
    std::vector<std::string> lines;  // lines the test output must hold, in this order
};

const std::vector<SampleCase>& sample_cases() {
    static const std::vector<SampleCase> cases = {
        {"unix-owner-subblock.rar", 0, {"OK      file.txt", "1 files, 0 folders: all OK"}},
        {"stored-main-comment.rar", 0, {"OK      FILE1.TXT", "OK      FILE2.TXT", "2 files, 0 folders: all OK"}},
        {"encrypted-entries.rar",
         1,
         {"FAILED  FILE1.TXT: encrypted", "checksum mismatch", "FAILED  FILE2.TXT: encrypted", "2 failed"}},
        {"version15-entries.rar",
         1,
         {"FAILED  FILE1.TXT: unpack version 15: this older compression is not decoded", "OK      FILE2.TXT",
          "1 failed"}},
        {"stored-folders-exttime.rar",
         0,
         {"OK      exe\\test.exe", "OK      jpg\\test.jpg", "OK      \\xE2\\xA5\\xE1\\xE2.txt", "3 files, 3 folders: all OK"}},
        {"volume1-split-entry.rar",
         1,
         {"FAILED  vols\\bigfile.txt: continues in another volume: the file is incomplete; the checksum of the "
          "data present matches",
          "1 failed"}},
    };
    return cases;
}

void expect_lines_in_order(const std::string& text, const std::vector<std::string>& lines) {
    size_t at = 0;
    for (const std::string& line : lines) {
        size_t found = text.find(line, at);
        EXPECT_NE(found, std::string::npos) << "missing, in order: " << line << "\nin:\n" << text;
        if (found != std::string::npos)
            at = found + line.size();
    }
}

TEST_F(MksetupRead, TestGivesEverySampleItsStatedOutcome) {
    REQUIRE_SAMPLES();
    for (const SampleCase& c : sample_cases()) {
        SCOPED_TRACE(c.file);
        ToolRun r = run({"test", (samples_dir() / c.file).string()});
        EXPECT_EQ(r.code, c.exit_code) << r.out << r.err;
        const char* kind = strstr(c.file, "volume") ? "offset 0, kind 2" : "offset 0, kind 1";
        EXPECT_NE(r.out.find(kind), std::string::npos) << r.out;
        expect_lines_in_order(r.out, c.lines);
        // Every failed entry is named on stderr, nothing else is.
        size_t failed = 0;
        for (size_t at = r.out.find("FAILED"); at != std::string::npos; at = r.out.find("FAILED", at + 1))
            failed++;
        size_t named = 0;
        for (size_t at = r.err.find("mksetup: "); at != std::string::npos; at = r.err.find("mksetup: ", at + 1))
            named++;
        EXPECT_EQ(named, failed) << r.err;
    }
}

TEST_F(MksetupRead, ExtractWritesTheSampleFilesByteForByte) {
    REQUIRE_SAMPLES();
    struct Expected {
        const char* archive;
        int exit_code;
        std::vector<std::pair<std::string, std::pair<uint64_t, uint32_t>>> files;  // path, size, CRC
        std::vector<std::string> folders;
    };
    const std::vector<Expected> cases = {
        {"unix-owner-subblock.rar", 0, {{"file.txt", {4, 0x7E3265A8}}}, {}},
        {"stored-folders-exttime.rar",
         0,
         {{"exe/test.exe", {45056, 0xCFB109C8}},
          {"jpg/test.jpg", {40372, 0x088814E3}},
          {"\xE2\xA5\xE1\xE2.txt", {15498, 0x9BD160FA}}},
         {"exe", "jpg"}},
        {"stored-main-comment.rar", 0, {{"FILE1.TXT", {7, 0x7A197DBA}}, {"FILE2.TXT", {7, 0x785FC3E3}}}, {}},
        // Only the stored entry of version 15 decodes; the encrypted and the split entries write nothing.
        {"version15-entries.rar", 1, {{"FILE2.TXT", {8, 0x3C4306F7}}}, {}},
        {"encrypted-entries.rar", 1, {}, {}},
        {"volume1-split-entry.rar", 1, {}, {}},
    };
    for (const Expected& c : cases) {
        SCOPED_TRACE(c.archive);
        fs::remove_all(dest_);
        ToolRun r = extract(samples_dir() / c.archive);
        EXPECT_EQ(r.code, c.exit_code) << r.out << r.err;
        size_t regular = 0;
        for (auto& p : fs::recursive_directory_iterator(dest_))
            if (fs::is_regular_file(p.path()))
                regular++;
        EXPECT_EQ(regular, c.files.size()) << r.out;
        for (const auto& f : c.files) {
            fs::path path = dest_ / f.first;
            ASSERT_TRUE(fs::is_regular_file(path)) << path;
            std::string bytes = read_file(path);
            EXPECT_EQ(bytes.size(), f.second.first) << path;
            EXPECT_EQ(crc32_of(bytes), f.second.second) << path;
        }
        for (const std::string& folder : c.folders)
            EXPECT_TRUE(fs::is_directory(dest_ / folder)) << folder;
    }
}

TEST_F(MksetupRead, ExtractMakesFoldersOnlyForDirectoryEntries) {
    REQUIRE_SAMPLES();
    ToolRun list = run({"list", (samples_dir() / "stored-folders-exttime.rar").string()});
    ASSERT_EQ(list.code, 0) << list.out << list.err;
    ToolRun r = extract(samples_dir() / "stored-folders-exttime.rar");
    ASSERT_EQ(r.code, 0) << r.out << r.err;
    // Each directory entry of the listing is a folder on disk, never a file.
    std::istringstream lines(list.out);
    std::string line;
    int directories = 0;
    while (std::getline(lines, line)) {
        if (line.find(" directory ") == std::string::npos)
            continue;
        std::string name = line.substr(line.find_last_of(' ') + 1);
        std::replace(name.begin(), name.end(), '\\', '/');
        EXPECT_TRUE(fs::is_directory(dest_ / name)) << name;
        directories++;
    }
    EXPECT_EQ(directories, 3) << list.out;
}

TEST_F(MksetupRead, ListShowsTheSampleBlocks) {
    REQUIRE_SAMPLES();
    ToolRun r = run({"list", (samples_dir() / "unix-owner-subblock.rar").string()});
    EXPECT_EQ(r.code, 0) << r.err;
    expect_lines_in_order(r.out, {"offset 0, kind 1", "Main header: flags 0x0040, size 13", "file", "4", "17",
                                  "0x33 normal", "20", "7E3265A8", "0x000081B4", "Unix", "file.txt",
                                  "0x77 sub-block", "header 18 bytes, data 8 bytes", "0x78 recovery record",
                                  "header 26 bytes, data 514 bytes", "1 file entries"});
}

// ---- Hand-made archives ----

TEST_F(MksetupRead, ListShowsEveryFieldOfAnEntry) {
    archive_bytes::FileEntry e = entry("dir\\name.txt", "hello");
    e.flags = 0x8000 | FILE_FLAG_SOLID | FILE_FLAG_SPLIT_AFTER | FILE_FLAG_ENCRYPTED;
    e.file_attr = 0x21;
    fs::path a = put_archive(archive_of({e}, MAIN_FLAG_SOLID));
    ToolRun r = run({"list", a.string()});
    EXPECT_EQ(r.code, 0) << r.err;
    expect_lines_in_order(r.out, {"offset 0, kind 1 (at the start of the file), RAR 2.x",
                                  "flags 0x0008 (solid), size 13", "20 ", "file", "5", "5", "0x30 stored", "20",
                                  "3610A686", "2004-06-09 12:00:00", "0x00000021", "Win32",
                                  "solid,split-after,encrypted", "dir\\name.txt"});
}

TEST_F(MksetupRead, ExtractStampsTheArchivedLocalTime) {
    fs::path a = put_archive(archive_of({entry("sub\\f.txt", "data")}));
    ToolRun r = extract(a);
    ASSERT_EQ(r.code, 0) << r.out << r.err;
    EXPECT_EQ(read_file(dest_ / "sub" / "f.txt"), "data");
    struct tm local = {};
    local.tm_year = 2004 - 1900;
    local.tm_mon = 5;
    local.tm_mday = 9;
    local.tm_hour = 12;
    local.tm_isdst = -1;
    struct stat info;
    ASSERT_EQ(stat((dest_ / "sub" / "f.txt").c_str(), &info), 0);
    EXPECT_EQ(info.st_mtime, mktime(&local));
}

TEST_F(MksetupRead, ExtractRefusesNamesThatLeaveTheFolder) {
    const char* const names[] = {"..\\x",    "a\\..\\..\\x", "C:\\x", "\\x",      "/x",     "x:stream",
                                 "a\x01" "b", "tab\there",   "NUL",   "com1.txt", "d\\AUX", "...\\x",
                                 "../x"};
    for (const char* name : names) {
        SCOPED_TRACE(name);
        fs::remove_all(dest_);
        fs::remove_all(root_ / "x");
        // The refused entry sits between two good ones: the walk and the stream go on past it.
        fs::path a = put_archive(archive_of({entry("first.txt", "1"), entry(name, "evil"), entry("last.txt", "2")}));
        ToolRun r = extract(a);
        EXPECT_EQ(r.code, 1) << r.out << r.err;
        EXPECT_NE(r.err.find("refused"), std::string::npos) << r.err;
        EXPECT_NE(r.out.find("3 files, 0 folders: 1 failed"), std::string::npos) << r.out;
        std::vector<std::string> expected = {"a.rar", "out", "out/first.txt", "out/last.txt"};
        EXPECT_EQ(tree(), expected);
    }
}

TEST_F(MksetupRead, ExtractNeverWritesThroughALink) {
    fs::create_directories(dest_);
    fs::create_directories(root_ / "elsewhere");
    fs::create_directory_symlink(root_ / "elsewhere", dest_ / "link");
    fs::path a = put_archive(archive_of({entry("link\\f.txt", "data")}));
    ToolRun r = extract(a);
    EXPECT_EQ(r.code, 1) << r.out << r.err;
    EXPECT_TRUE(fs::is_empty(root_ / "elsewhere"));
}

TEST_F(MksetupRead, ExistingFileIsReplacedOnlyByAVerifiedEntry) {
    fs::create_directories(dest_);
    write_file(dest_ / "keep.txt", "old");
    write_file(dest_ / "new.txt", "old");
    archive_bytes::FileEntry bad = entry("keep.txt", "broken");
    bad.file_crc = 0x12345678;
    fs::path a = put_archive(archive_of({bad, entry("new.txt", "fresh")}));
    ToolRun r = extract(a);
    EXPECT_EQ(r.code, 1) << r.out << r.err;
    EXPECT_NE(r.err.find("keep.txt: checksum mismatch"), std::string::npos) << r.err;
    EXPECT_EQ(read_file(dest_ / "keep.txt"), "old");
    EXPECT_EQ(read_file(dest_ / "new.txt"), "fresh");
    std::vector<std::string> expected = {"a.rar", "out", "out/keep.txt", "out/new.txt"};
    EXPECT_EQ(tree(), expected);  // no temporary file left behind
}

TEST_F(MksetupRead, TestNamesWhatIsWrongWithAnEntry) {
    auto with = [](archive_bytes::FileEntry e, auto change) {
        change(e);
        return e;
    };
    const archive_bytes::FileEntry plain = entry("f.txt", "some data");
    struct Case {
        const char* what;
        std::string archive;
        const char* reason;
    };
    std::string cut = archive_of({plain});
    cut.resize(cut.size() - 4);
    archive_bytes::FileEntry huge = entry("huge.bin", "xx");
    huge.method = METHOD_BEST;
    huge.unp_size = 0x80000000u;
    archive_bytes::FileEntry after = entry("next.bin", "yy");
    after.method = METHOD_BEST;
    after.flags |= FILE_FLAG_SOLID;
    archive_bytes::Bytes tiny_main;  // a main header that claims fewer bytes than any header has
    archive_bytes::append_marker(tiny_main);
    archive_bytes::append_main_header(tiny_main, 0, 0);
    archive_bytes::append_file(tiny_main, plain);
    archive_bytes::FileEntry impossible = entry("big.bin", "z");
    impossible.method = METHOD_BEST;
    impossible.unp_size = 50000000;
    const std::vector<Case> cases = {
        {"checksum", archive_of({with(plain, [](archive_bytes::FileEntry& e) { e.file_crc = 1; })}), "f.txt: checksum mismatch"},
        {"old version", archive_of({with(plain, [](archive_bytes::FileEntry& e) { e.unp_ver = 12; })}),
         "unsupported version: needs unpack version 12"},
        {"new version", archive_of({with(plain, [](archive_bytes::FileEntry& e) { e.unp_ver = 29; })}),
         "unsupported version: needs unpack version 29"},
        {"encrypted", archive_of({with(plain, [](archive_bytes::FileEntry& e) { e.flags |= FILE_FLAG_ENCRYPTED; })}), "encrypted"},
        {"split after", archive_of({with(plain, [](archive_bytes::FileEntry& e) { e.flags |= FILE_FLAG_SPLIT_AFTER; })}),
         "continues in another volume"},
        {"split before", archive_of({with(plain, [](archive_bytes::FileEntry& e) { e.flags |= FILE_FLAG_SPLIT_BEFORE; })}),
         "continues from a previous volume"},
        {"cut short", cut, "cut short: the file ends after 5 of its 9 packed bytes"},
        {"too large", archive_of({huge, after}), "too large (2147483648 bytes, 2 GiB or more)"},
        {"stream after too large", archive_of({huge, after}),
         "next.bin: not decoded: it continues the solid stream after 'huge.bin'"},
        {"impossible size", archive_of({impossible}), "damaged: 50000000 bytes cannot come from 1 packed bytes"},
        {"damaged header", archive_of({plain}) + std::string(40, '\0'), "damaged block header at offset"},
        {"main header size", std::string(tiny_main.begin(), tiny_main.end()),
         "main header: damaged header: its size of 0 bytes is below the 7"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ToolRun r = run({"test", put_archive(c.archive).string()});
        EXPECT_EQ(r.code, 1) << r.out << r.err;
        EXPECT_NE(r.out.find(c.reason), std::string::npos) << r.out;
        EXPECT_NE(r.err.find(c.reason), std::string::npos) << r.err;
    }
}

TEST_F(MksetupRead, UsageErrorsAndFilesWithoutArchiveGiveTwo) {
    fs::path text = put_archive("just some text, no archive in here\n", "plain.txt");
    fs::path good = put_archive(archive_of({entry("f.txt", "x")}));
    const std::vector<std::vector<std::string>> cases = {
        {},
        {"frobnicate"},
        {"test"},
        {"test", good.string(), "extra"},
        {"list"},
        {"extract", good.string()},
        {"extract", good.string(), "-o"},
        {"extract", "-o", dest_.string()},
        {"extract", good.string(), "-x", "-o", dest_.string()},
        {"test", (root_ / "missing.rar").string()},
        {"list", (root_ / "missing.rar").string()},
        {"extract", (root_ / "missing.rar").string(), "-o", dest_.string()},
        {"test", text.string()},
        {"list", text.string()},
        {"test", root_.string()},
        {"extract", good.string(), "-o", (text / "sub").string()},
    };
    for (const auto& args : cases) {
        std::string joined;
        for (const std::string& a : args)
            joined += a + " ";
        SCOPED_TRACE(joined);
        ToolRun r = run(args);
        EXPECT_EQ(r.code, 2) << r.out << r.err;
        EXPECT_FALSE(r.err.empty());
    }
}

TEST_F(MksetupRead, HelpExplainsEveryCommand) {
    for (const char* flag : {"--help", "-h"}) {
        ToolRun r = run({flag});
        EXPECT_EQ(r.code, 0);
        for (const char* word : {"build", "list FILE", "test FILE", "extract FILE -o DIR", "Exit codes"})
            EXPECT_NE(r.out.find(word), std::string::npos) << word;
    }
}

TEST_F(MksetupRead, AnEmptyArchiveIsFine) {
    fs::path a = put_archive(archive_of({}));
    ToolRun r = run({"test", a.string()});
    EXPECT_EQ(r.code, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("0 files, 0 folders: all OK"), std::string::npos) << r.out;
}

}  // namespace

#ifdef ORDAVIN_HAVE_COMPRESSOR
#include "tools/compressor.h"

namespace {

// A solid archive of our compressor: text, binary, folders, and one file larger than the window.
std::vector<ArchiveInput> solid_inputs() {
    std::vector<ArchiveInput> inputs;
    auto add = [&](const std::string& name, const std::string& data) {
        inputs.push_back({name, std::vector<uint8_t>(data.begin(), data.end()), 0x30C96000u, ATTR_ARCHIVE});
    };
    std::string text;
    for (int i = 0; i < 2000; ++i)
        text += "line " + std::to_string(i) + " of the Ordavin readme\n";
    add("readme.txt", text);
    std::string binary;
    uint32_t x = 12345;
    for (int i = 0; i < 300000; ++i) {
        x = x * 1103515245u + 12345u;
        binary += (char)((x >> 16) & ((i & 1024) ? 0xFF : 0x0F));
    }
    add("bin\\data.bin", binary);
    add("bin\\empty.bin", "");
    std::string large;
    while (large.size() < WINDOW_SIZE + WINDOW_SIZE / 2)
        large += text.substr(large.size() % 5000, 3000) + binary.substr(large.size() % 290000, 1000);
    add("big\\large.txt", large);
    add("last.txt", text.substr(100, 5000));
    return inputs;
}

std::string build_solid(const std::vector<ArchiveInput>& inputs) {
    CompressOptions options;
    options.level = LEVEL_FAST;
    std::vector<uint8_t> bytes;
    std::string error;
    EXPECT_EQ(build_archive(inputs, options, &bytes, nullptr, &error), 0) << error;
    return std::string(bytes.begin(), bytes.end());
}

// File offsets of the file headers of an archive that starts with the marker and a 13-byte main header.
std::vector<size_t> header_offsets(const std::string& a) {
    std::vector<size_t> offsets;
    auto u16 = [&](size_t at) { return (uint32_t)(uint8_t)a[at] | (uint32_t)(uint8_t)a[at + 1] << 8; };
    auto u32 = [&](size_t at) { return u16(at) | u16(at + 2) << 16; };
    for (size_t at = MARKER_SIZE + MAIN_HEADER_SIZE; at + FILE_HEADER_SIZE <= a.size();) {
        offsets.push_back(at);
        at += u16(at + 5) + u32(at + 7);
    }
    return offsets;
}

// Writes the checksum of the header at AT that matches its bytes, so that a field changed on purpose reads
// as an archiver would have written it.
void reseal_header(std::string& a, size_t at) {
    size_t head_size = (uint8_t)a[at + 5] | (size_t)(uint8_t)a[at + 6] << 8;
    uint32_t crc = crc32_of(a.substr(at + 2, head_size - 2));
    a[at] = (char)crc;
    a[at + 1] = (char)(crc >> 8);
}

}  // namespace

TEST_F(MksetupRead, OurSolidArchiveTestsAndExtractsWhole) {
    std::vector<ArchiveInput> inputs = solid_inputs();
    fs::path a = put_archive(build_solid(inputs));
    ToolRun t = run({"test", a.string()});
    EXPECT_EQ(t.code, 0) << t.out << t.err;
    EXPECT_NE(t.out.find("5 files, 0 folders: all OK"), std::string::npos) << t.out;
    ToolRun r = extract(a);
    ASSERT_EQ(r.code, 0) << r.out << r.err;
    for (const ArchiveInput& in : inputs) {
        std::string path = in.name;
        std::replace(path.begin(), path.end(), '\\', '/');
        EXPECT_EQ(read_file(dest_ / path), std::string(in.data.begin(), in.data.end())) << path;
    }
}

TEST_F(MksetupRead, DamageInTheSolidStreamIsNamedPerEntry) {
    std::vector<ArchiveInput> inputs = solid_inputs();
    std::string good = build_solid(inputs);
    std::vector<size_t> headers = header_offsets(good);
    ASSERT_EQ(headers.size(), inputs.size());

    // A flipped byte in the middle of the second entry's data spoils that entry (its last bytes may carry
    // the next entry's tables); the entries before it stay OK.
    std::string flipped = good;
    flipped[(headers[1] + headers[2]) / 2] ^= 0x5A;
    ToolRun t = run({"test", put_archive(flipped).string()});
    EXPECT_EQ(t.code, 1) << t.out;
    expect_lines_in_order(t.out, {"OK      readme.txt", "FAILED  bin\\data.bin: checksum mismatch"});
    ToolRun x = extract(put_archive(flipped));
    EXPECT_EQ(x.code, 1);
    EXPECT_TRUE(fs::exists(dest_ / "readme.txt"));
    EXPECT_FALSE(fs::exists(dest_ / "bin" / "data.bin"));

    // A size of 2 GiB or more is refused before decoding, and the solid entries after it cannot follow.
    std::string huge = good;
    huge[headers[1] + 14] = (char)0x80;
    reseal_header(huge, headers[1]);
    t = run({"test", put_archive(huge).string()});
    EXPECT_EQ(t.code, 1) << t.out;
    expect_lines_in_order(t.out, {"OK      readme.txt", "FAILED  bin\\data.bin: too large",
                                  "the solid stream cannot continue after it",
                                  "FAILED  big\\large.txt: not decoded: it continues the solid stream after "
                                  "'bin\\data.bin'",
                                  "FAILED  last.txt: not decoded"});
}

// A damaged header is named even where the setup would use it as it reads: the main header, a file header
// whose name, size or checksum changed, and an entry turned into a block of another type, which the walk
// passes over. No file of a damaged header is written.
TEST_F(MksetupRead, DamagedHeadersAreNamed) {
    std::vector<ArchiveInput> inputs = solid_inputs();
    std::string good = build_solid(inputs);
    std::vector<size_t> headers = header_offsets(good);
    ASSERT_EQ(headers.size(), inputs.size());
    const size_t name_at = FILE_HEADER_SIZE;
    struct Case {
        const char* what;
        size_t at;
        uint8_t mask;
        std::string failed;        // the FAILED line's start
        const char* not_written;   // a file that must not appear
    };
    const Case cases[] = {
        {"main header flags", MARKER_SIZE + 3, 0x01, "FAILED  main header: damaged header", nullptr},
        {"entry type", headers[1] + 2, 0x08,
         "FAILED  block at offset " + std::to_string(headers[1]) + " (type 0x7C, unknown): damaged header",
         "bin/data.bin"},
        {"name", headers[4] + name_at + 5, 0x01, "FAILED  last.uxt: damaged header", "last.uxt"},
        {"file checksum", headers[0] + 15, 0x40, "FAILED  readme.txt: damaged header", "readme.txt"},
        {"unpacked size", headers[2] + 11, 0x01, "FAILED  bin\\empty.bin: damaged header", "bin/empty.bin"},
        {"stored header checksum", headers[3], 0x10, "FAILED  big\\large.txt: damaged header", "big/large.txt"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::string damaged = good;
        damaged[c.at] = (char)(damaged[c.at] ^ c.mask);
        fs::path a = put_archive(damaged);
        for (const char* command : {"list", "test"}) {
            ToolRun r = run({command, a.string()});
            EXPECT_EQ(r.code, 1) << command << "\n" << r.out;
            expect_lines_in_order(r.out, {c.failed});
            EXPECT_NE(r.err.find("a.rar: "), std::string::npos) << r.err;
        }
        fs::remove_all(dest_);
        ToolRun x = extract(a);
        EXPECT_EQ(x.code, 1) << x.out;
        expect_lines_in_order(x.out, {c.failed});
        if (c.not_written) {
            EXPECT_FALSE(fs::exists(dest_ / c.not_written));
        }
    }
}
#endif
