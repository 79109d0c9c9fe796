// mksetup list, test and extract, run as the program itself on real and hand-made archives.
#include <fcntl.h>
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

#include "archive/checksum.h"
#include "archive/extract_job.h"
#include "archive/format.h"

namespace fs = std::filesystem;

namespace {

struct Result {
    int code = -1;
    std::string out;
    std::string err;
};

std::string read_file(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

void write_file(const fs::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary);
    out << bytes;
}

Result run_mksetup(const std::vector<std::string>& args, const fs::path& scratch) {
    fs::path out_path = scratch / "stdout.txt", err_path = scratch / "stderr.txt";
    pid_t pid = fork();
    if (pid == 0) {
        int out = open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int err = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(out, 1);
        dup2(err, 2);
        std::vector<char*> argv;
        argv.push_back((char*)ORDAVIN_MKSETUP);
        for (const std::string& arg : args)
            argv.push_back((char*)arg.c_str());
        argv.push_back(nullptr);
        execv(ORDAVIN_MKSETUP, argv.data());
        _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    Result result;
    result.code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    result.out = read_file(out_path);
    result.err = read_file(err_path);
    return result;
}

uint32_t crc32_of(const std::string& data) {
    static ExtractJob job;
    static bool built = false;
    if (!built) {
        build_crc_table(&job);
        built = true;
    }
    return ~crc32_update(&job, 0xFFFFFFFFu, (const uint8_t*)data.data(), (uint32_t)data.size());
}

// One block of a hand-made archive: a file header with its data. Sizes and CRC follow the data unless set.
struct Entry {
    std::string name;
    std::string data;
    uint16_t flags = 0x8000;
    uint8_t version = 20;
    uint8_t method = METHOD_STORED;
    uint32_t attr = ATTR_ARCHIVE;
    uint8_t host = HOST_WIN32;
    uint32_t time = 0x30C96000;  // 2004-06-09 12:00:00
    int64_t unp_size = -1;
    int64_t crc = -1;
};

void put16(std::string& s, uint32_t v) {
    s += (char)(v & 0xFF);
    s += (char)((v >> 8) & 0xFF);
}
void put32(std::string& s, uint32_t v) {
    put16(s, v & 0xFFFF);
    put16(s, v >> 16);
}

std::string file_block(const Entry& e) {
    std::string b;
    put16(b, 0);  // header checksum: never verified
    b += (char)BLOCK_FILE;
    put16(b, e.flags);
    put16(b, (uint32_t)(32 + e.name.size()));
    put32(b, (uint32_t)e.data.size());
    put32(b, e.unp_size >= 0 ? (uint32_t)e.unp_size : (uint32_t)e.data.size());
    b += (char)e.host;
    put32(b, e.crc >= 0 ? (uint32_t)e.crc : crc32_of(e.data));
    put32(b, e.time);
    b += (char)e.version;
    b += (char)e.method;
    put16(b, (uint32_t)e.name.size());
    put32(b, e.attr);
    return b + e.name + e.data;
}

std::string archive_of(const std::vector<Entry>& entries, uint16_t main_flags = 0) {
    std::string a = "R";
    a.append((const char*)kRarMarkerTail, sizeof kRarMarkerTail);
    put16(a, 0);
    a += (char)BLOCK_MAIN;
    put16(a, main_flags);
    put16(a, MAIN_HEADER_SIZE);
    put16(a, 0);
    put32(a, 0);
    for (const Entry& e : entries)
        a += file_block(e);
    return a;
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
    Result run(const std::vector<std::string>& args) { return run_mksetup(args, root_); }
    Result extract(const fs::path& archive) { return run({"extract", archive.string(), "-o", dest_.string()}); }
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
        Result r = run({"test", (samples_dir() / c.file).string()});
        EXPECT_EQ(r.code, c.exit_code) << r.out << r.err;
        EXPECT_NE(r.out.find("offset 0, kind 1"), std::string::npos) << r.out;
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
        {"stored-main-comment.rar", 0, {{"FILE1.TXT", {7, 0}}, {"FILE2.TXT", {7, 0}}}, {}},
        // Only the stored entry of version 15 decodes; the encrypted and the split entries write nothing.
        {"version15-entries.rar", 1, {{"FILE2.TXT", {7, 0}}}, {}},
        {"encrypted-entries.rar", 1, {}, {}},
        {"volume1-split-entry.rar", 1, {}, {}},
    };
    for (const Expected& c : cases) {
        SCOPED_TRACE(c.archive);
        fs::remove_all(dest_);
        Result r = extract(samples_dir() / c.archive);
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
            if (f.second.second) {
                EXPECT_EQ(crc32_of(bytes), f.second.second) << path;
            }
        }
        for (const std::string& folder : c.folders)
            EXPECT_TRUE(fs::is_directory(dest_ / folder)) << folder;
    }
}

TEST_F(MksetupRead, ExtractMakesFoldersOnlyForDirectoryEntries) {
    REQUIRE_SAMPLES();
    Result list = run({"list", (samples_dir() / "stored-folders-exttime.rar").string()});
    ASSERT_EQ(list.code, 0) << list.out << list.err;
    Result r = extract(samples_dir() / "stored-folders-exttime.rar");
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
    Result r = run({"list", (samples_dir() / "unix-owner-subblock.rar").string()});
    EXPECT_EQ(r.code, 0) << r.err;
    expect_lines_in_order(r.out, {"offset 0, kind 1", "Main header: flags 0x0040, size 13", "file", "4", "17",
                                  "0x33 normal", "20", "7E3265A8", "0x000081B4", "Unix", "file.txt",
                                  "0x77 sub-block", "header 18 bytes, data 8 bytes", "0x78 recovery record",
                                  "header 26 bytes, data 514 bytes", "1 file entries"});
}

// ---- Hand-made archives ----

TEST_F(MksetupRead, ListShowsEveryFieldOfAnEntry) {
    Entry e{"dir\\name.txt", "hello"};
    e.flags = 0x8000 | FILE_FLAG_SOLID | FILE_FLAG_SPLIT_AFTER | FILE_FLAG_ENCRYPTED;
    e.attr = 0x21;
    fs::path a = put_archive(archive_of({e}, MAIN_FLAG_SOLID));
    Result r = run({"list", a.string()});
    EXPECT_EQ(r.code, 0) << r.err;
    expect_lines_in_order(r.out, {"offset 0, kind 1 (at the start of the file), RAR 2.x",
                                  "flags 0x0008 (solid), size 13", "20 ", "file", "5", "5", "0x30 stored", "20",
                                  "3610A686", "2004-06-09 12:00:00", "0x00000021", "Win32",
                                  "solid,split-after,encrypted", "dir\\name.txt"});
}

TEST_F(MksetupRead, ExtractStampsTheArchivedLocalTime) {
    fs::path a = put_archive(archive_of({{"sub\\f.txt", "data"}}));
    Result r = extract(a);
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
        fs::path a = put_archive(archive_of({{"first.txt", "1"}, {name, "evil"}, {"last.txt", "2"}}));
        Result r = extract(a);
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
    fs::path a = put_archive(archive_of({{"link\\f.txt", "data"}}));
    Result r = extract(a);
    EXPECT_EQ(r.code, 1) << r.out << r.err;
    EXPECT_TRUE(fs::is_empty(root_ / "elsewhere"));
}

TEST_F(MksetupRead, ExistingFileIsReplacedOnlyByAVerifiedEntry) {
    fs::create_directories(dest_);
    write_file(dest_ / "keep.txt", "old");
    write_file(dest_ / "new.txt", "old");
    Entry bad{"keep.txt", "broken"};
    bad.crc = 0x12345678;
    fs::path a = put_archive(archive_of({bad, {"new.txt", "fresh"}}));
    Result r = extract(a);
    EXPECT_EQ(r.code, 1) << r.out << r.err;
    EXPECT_NE(r.err.find("keep.txt: checksum mismatch"), std::string::npos) << r.err;
    EXPECT_EQ(read_file(dest_ / "keep.txt"), "old");
    EXPECT_EQ(read_file(dest_ / "new.txt"), "fresh");
    std::vector<std::string> expected = {"a.rar", "out", "out/keep.txt", "out/new.txt"};
    EXPECT_EQ(tree(), expected);  // no temporary file left behind
}

TEST_F(MksetupRead, TestNamesWhatIsWrongWithAnEntry) {
    auto with = [](Entry e, auto change) {
        change(e);
        return e;
    };
    const Entry plain{"f.txt", "some data"};
    struct Case {
        const char* what;
        std::string archive;
        const char* reason;
    };
    std::string cut = archive_of({plain});
    cut.resize(cut.size() - 4);
    Entry huge{"huge.bin", "xx"};
    huge.method = METHOD_BEST;
    huge.unp_size = 0x80000000u;
    Entry after{"next.bin", "yy"};
    after.method = METHOD_BEST;
    after.flags |= FILE_FLAG_SOLID;
    Entry impossible{"big.bin", "z"};
    impossible.method = METHOD_BEST;
    impossible.unp_size = 50000000;
    const std::vector<Case> cases = {
        {"checksum", archive_of({with(plain, [](Entry& e) { e.crc = 1; })}), "f.txt: checksum mismatch"},
        {"old version", archive_of({with(plain, [](Entry& e) { e.version = 12; })}),
         "unsupported version: needs unpack version 12"},
        {"new version", archive_of({with(plain, [](Entry& e) { e.version = 29; })}),
         "unsupported version: needs unpack version 29"},
        {"encrypted", archive_of({with(plain, [](Entry& e) { e.flags |= FILE_FLAG_ENCRYPTED; })}), "encrypted"},
        {"split after", archive_of({with(plain, [](Entry& e) { e.flags |= FILE_FLAG_SPLIT_AFTER; })}),
         "continues in another volume"},
        {"split before", archive_of({with(plain, [](Entry& e) { e.flags |= FILE_FLAG_SPLIT_BEFORE; })}),
         "continues from a previous volume"},
        {"cut short", cut, "cut short: the file ends after 5 of its 9 packed bytes"},
        {"too large", archive_of({huge, after}), "too large (2147483648 bytes, 2 GiB or more)"},
        {"stream after too large", archive_of({huge, after}),
         "next.bin: not decoded: it continues the solid stream after 'huge.bin'"},
        {"impossible size", archive_of({impossible}), "damaged: 50000000 bytes cannot come from 1 packed bytes"},
        {"damaged header", archive_of({plain}) + std::string(40, '\0'), "damaged block header at offset"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Result r = run({"test", put_archive(c.archive).string()});
        EXPECT_EQ(r.code, 1) << r.out << r.err;
        EXPECT_NE(r.out.find(c.reason), std::string::npos) << r.out;
        EXPECT_NE(r.err.find(c.reason), std::string::npos) << r.err;
    }
}

TEST_F(MksetupRead, UsageErrorsAndFilesWithoutArchiveGiveTwo) {
    fs::path text = put_archive("just some text, no archive in here\n", "plain.txt");
    fs::path good = put_archive(archive_of({{"f.txt", "x"}}));
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
    };
    for (const auto& args : cases) {
        std::string joined;
        for (const std::string& a : args)
            joined += a + " ";
        SCOPED_TRACE(joined);
        Result r = run(args);
        EXPECT_EQ(r.code, 2) << r.out << r.err;
        EXPECT_FALSE(r.err.empty());
    }
}

TEST_F(MksetupRead, HelpExplainsEveryCommand) {
    for (const char* flag : {"--help", "-h"}) {
        Result r = run({flag});
        EXPECT_EQ(r.code, 0);
        for (const char* word : {"build", "list FILE", "test FILE", "extract FILE -o DIR", "Exit codes"})
            EXPECT_NE(r.out.find(word), std::string::npos) << word;
    }
}

TEST_F(MksetupRead, AnEmptyArchiveIsFine) {
    fs::path a = put_archive(archive_of({}));
    Result r = run({"test", a.string()});
    EXPECT_EQ(r.code, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("0 files, 0 folders: all OK"), std::string::npos) << r.out;
}

}  // namespace
