// mksetup build, run as the program itself: setups that test and extract back to the folder they came
// from, reproducible output, and refusals that name the file and leave nothing behind.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "archive/format.h"
#include "tests/host/tool_run.h"

namespace fs = std::filesystem;

namespace {

// Local time of the given calendar values, as the builder converts it back.
time_t local_time(int year, int month, int day, int hour, int minute, int second) {
    struct tm tm = {};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    tm.tm_sec = second;
    tm.tm_isdst = -1;
    return mktime(&tm);
}

void set_mtime(const fs::path& path, time_t t) {
    struct timespec times[2] = {{t, 0}, {t, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0) << path;
}

time_t mtime_of(const fs::path& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 ? st.st_mtime : (time_t)-1;
}

std::string noise(size_t size, uint32_t seed) {
    std::mt19937 rng(seed);
    std::string s(size, 0);
    for (char& c : s) c = (char)rng();
    return s;
}

std::string prose(size_t size) {
    std::string s;
    for (int i = 0; s.size() < size; i++)
        s += "Ordavin setup line " + std::to_string(i % 97) + ": install the language files.\r\n";
    s.resize(size);
    return s;
}

struct MksetupBuild : ::testing::Test {
    fs::path root;

    void SetUp() override {
        char pattern[] = "/tmp/mksetup-build-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        root = pattern;
    }
    void TearDown() override {
        std::error_code ec;
        for (auto& p : fs::recursive_directory_iterator(root, ec)) chmod(p.path().c_str(), 0755);
        fs::remove_all(root, ec);
    }

    ToolRun run(const std::vector<std::string>& args) { return run_mksetup(args, root); }

    // A product folder: two language packages, an empty file, a read-only file, folders in folders.
    fs::path make_tree() {
        fs::path dir = root / "product";
        write_file(dir / "ZUNO.EXE", noise(3000, 1) + prose(20000));
        write_file(dir / "ZUNO_DE.CHM", prose(50000));
        write_file(dir / "ZUNO_EN.CHM", prose(40000) + "English");
        write_file(dir / "EMPTY.TXT", "");
        write_file(dir / "data" / "sounds" / "click.wav", noise(20000, 2));
        write_file(dir / "data" / "readme.txt", prose(777));
        write_file(dir / "readonly.ini", "[ZUNO]\r\nLanguage=1\r\n");
        chmod((dir / "readonly.ini").c_str(), 0444);
        time_t t = local_time(2004, 6, 9, 12, 0, 0);
        for (auto& p : fs::recursive_directory_iterator(dir))
            if (p.is_regular_file()) set_mtime(p.path(), t += 3600 * 24 + 2);
        return dir;
    }

    fs::path make_stub(const std::string& bytes) {
        fs::path stub = root / "stub.exe";
        write_file(stub, bytes);
        return stub;
    }

    // Files left in the output folder apart from the ones the test made.
    std::vector<std::string> leftovers(const fs::path& dir, const std::vector<std::string>& known) {
        std::vector<std::string> extra;
        for (auto& p : fs::directory_iterator(dir)) {
            std::string name = p.path().filename().string();
            if (std::find(known.begin(), known.end(), name) == known.end()) extra.push_back(name);
        }
        return extra;
    }
};

TEST_F(MksetupBuild, SetupTestsAndExtractsToTheSameFilesAndTimes) {
    fs::path tree = make_tree();
    std::string stub_bytes = "MZ" + std::string(4094, '\x90');
    fs::path stub = make_stub(stub_bytes);
    for (std::vector<std::string> extra : {std::vector<std::string>{}, {"--level", "1"}, {"--level", "3"}, {"--store"}}) {
        std::string label = extra.empty() ? "default" : extra[0] + (extra.size() > 1 ? extra[1] : "");
        SCOPED_TRACE(label);
        fs::path setup = root / ("Setup-" + label + ".exe");
        std::vector<std::string> args = {"build", "--stub", stub.string(), "-o", setup.string()};
        args.insert(args.end(), extra.begin(), extra.end());
        args.push_back(tree.string());
        ToolRun built = run(args);
        ASSERT_EQ(built.code, 0) << built.err;
        EXPECT_NE(built.err.find("ZUNO_DE.CHM"), std::string::npos) << "a progress line per file";
        EXPECT_NE(built.err.find("7 files"), std::string::npos) << built.err;

        std::string bytes = read_file(setup);
        ASSERT_GT(bytes.size(), stub_bytes.size());
        EXPECT_EQ(bytes.substr(0, stub_bytes.size()), stub_bytes);
        EXPECT_EQ(bytes.substr(stub_bytes.size(), 4), "Rar!");

        ToolRun tested = run({"test", setup.string()});
        EXPECT_EQ(tested.code, 0) << tested.out << tested.err;
        fs::path dest = root / ("out-" + label);
        ToolRun extracted = run({"extract", setup.string(), "-o", dest.string()});
        ASSERT_EQ(extracted.code, 0) << extracted.out << extracted.err;
        int count = 0;
        for (auto& p : fs::recursive_directory_iterator(tree)) {
            if (!p.is_regular_file()) continue;
            count++;
            fs::path rel = p.path().lexically_relative(tree);
            SCOPED_TRACE(rel.string());
            EXPECT_EQ(read_file(dest / rel), read_file(p.path()));
            EXPECT_EQ(mtime_of(dest / rel), mtime_of(p.path()));
        }
        EXPECT_EQ(count, 7);
    }
}

TEST_F(MksetupBuild, TwoBuildsAreIdenticalAndSourceDateEpochLimitsTimes) {
    fs::path tree = make_tree();
    fs::path stub = make_stub("MZ stub");
    fs::path a = root / "a.exe", b = root / "b.exe", c = root / "c.exe";
    ASSERT_EQ(run({"build", "--stub", stub.string(), "-o", a.string(), tree.string()}).code, 0);
    ASSERT_EQ(run({"build", "--stub", stub.string(), "-o", b.string(), tree.string()}).code, 0);
    EXPECT_EQ(read_file(a), read_file(b));

    // Every file is later than this: all get its time.
    time_t epoch = local_time(2003, 1, 2, 3, 4, 6);
    setenv("SOURCE_DATE_EPOCH", std::to_string((long long)epoch).c_str(), 1);
    ToolRun r = run({"build", "--stub", stub.string(), "-o", c.string(), tree.string()});
    unsetenv("SOURCE_DATE_EPOCH");
    ASSERT_EQ(r.code, 0) << r.err;
    std::string bytes = read_file(c);
    size_t header = 7 + MARKER_SIZE + MAIN_HEADER_SIZE;   // the stub, then the marker and the main header
    uint32_t dos = (uint8_t)bytes[header + 20] | (uint8_t)bytes[header + 21] << 8 | (uint8_t)bytes[header + 22] << 16 |
                   (uint32_t)(uint8_t)bytes[header + 23] << 24;
    EXPECT_EQ(dos, (23u << 25) | (1u << 21) | (2u << 16) | (3u << 11) | (4u << 5) | 3u);
}

TEST_F(MksetupBuild, BareArchiveWithoutStub) {
    fs::path tree = make_tree();
    fs::path out = root / "bare.rar";
    ToolRun r = run({"build", "--stub", "none", "-o", out.string(), tree.string()});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(read_file(out).substr(0, 4), "Rar!");
    EXPECT_EQ(run({"test", out.string()}).code, 0);
}

// Rebuilding into the folder itself: the old setup does not go into the new one.
TEST_F(MksetupBuild, TheOutputFileInsideTheFolderIsLeftOut) {
    fs::path tree = make_tree();
    fs::path out = tree / "Setup.exe";
    ASSERT_EQ(run({"build", "--stub", "none", "-o", out.string(), tree.string()}).code, 0);
    std::string first = read_file(out);
    ToolRun again = run({"build", "--stub", "none", "-o", out.string(), tree.string()});
    ASSERT_EQ(again.code, 0) << again.err;
    EXPECT_NE(again.err.find("left out"), std::string::npos);
    EXPECT_EQ(read_file(out), first);
    EXPECT_EQ(leftovers(tree, {"ZUNO.EXE", "ZUNO_DE.CHM", "ZUNO_EN.CHM", "EMPTY.TXT", "data", "readonly.ini",
                               "Setup.exe"}),
              std::vector<std::string>{});
}

TEST_F(MksetupBuild, StubsTheSetupCouldNotFindItsArchiveBehindAreRefused) {
    fs::path tree = make_tree();
    const std::string marker("Rar!\x1A\x07\x00", 7);
    struct StubCase {
        const char* label;
        std::string bytes;
        const char* says;
    } cases[] = {
        {"marker", "MZ" + std::string(100, 0) + marker + "s", "marker"},
        {"bare marker", marker, "marker"},
        {"too long", "MZ" + std::string(SCAN_BUFFER_SIZE, 0), "first"},
    };
    for (const StubCase& c : cases) {
        SCOPED_TRACE(c.label);
        fs::path stub = make_stub(c.bytes);
        fs::path out = root / "Setup.exe";
        ToolRun r = run({"build", "--stub", stub.string(), "-o", out.string(), tree.string()});
        EXPECT_EQ(r.code, 2);
        EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
        EXPECT_NE(r.err.find("stub.exe"), std::string::npos) << r.err;
        EXPECT_FALSE(fs::exists(out));
        EXPECT_EQ(leftovers(root, {"product", "stub.exe", "stdout.txt", "stderr.txt"}), std::vector<std::string>{});
    }
}

TEST_F(MksetupBuild, FilesAndNamesThatCannotGoIntoTheSetupAreNamed) {
    struct BadCase {
        const char* label;
        std::string path;    // inside the folder; empty for an empty folder
        const char* says;
    } cases[] = {
        {"empty folder", "", "no files"},
        {"long name", std::string(200, 'd') + "/" + std::string(60, 'f'), "name too long"},
        {"colon", "data/a:b.txt", "a:b.txt"},
        {"question mark", "what?.txt", "what?.txt"},
        {"backslash", "a\\b.txt", "a\\b.txt"},
        {"control character", "bell\x07.txt", "control character"},
        {"pipe in a folder", "x|y/file.txt", "x|y"},
        {"device", "CON", "reserved device name"},
        {"device with extension", "data/nul.txt", "reserved device name"},
        {"numbered device", "Com1.log", "reserved device name"},
        {"printer", "lpt9", "reserved device name"},
        {"trailing dot", "name.", "end"},
        {"too large", "huge.bin", "2 GiB"},
        {"unreadable", "secret.txt", "cannot read"},
    };
    fs::path stub = make_stub("MZ");
    for (const BadCase& c : cases) {
        SCOPED_TRACE(c.label);
        fs::path dir = root / "bad";
        fs::remove_all(dir);
        fs::create_directories(dir);
        write_file(dir / "good.txt", prose(1000));
        if (!c.path.empty()) {
            write_file(dir / c.path, "x");
        } else {
            fs::remove(dir / "good.txt");
        }
        if (std::string(c.label) == "too large") fs::resize_file(dir / c.path, 0x80000000ull);
        if (std::string(c.label) == "unreadable") {
            if (geteuid() == 0) continue;   // root reads everything
            chmod((dir / c.path).c_str(), 0);
        }
        fs::path out = root / "Setup.exe";
        ToolRun r = run({"build", "--stub", stub.string(), "-o", out.string(), dir.string()});
        EXPECT_EQ(r.code, 2) << r.err;
        EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
        if (!c.path.empty()) {
            EXPECT_NE(r.err.find(dir.string()), std::string::npos) << "names the file: " << r.err;
        }
        EXPECT_FALSE(fs::exists(out));
        chmod((dir / c.path).c_str(), 0644);
    }
}

TEST_F(MksetupBuild, NamesThatOnlyLookLikeDevicesAreFine) {
    fs::path dir = root / "ok";
    for (const char* name : {"CONSOLE.TXT", "COM10", "LPT0.txt", "nul_x.txt", "aux.", "a b.txt"}) {
        if (std::string(name) == "aux.") continue;   // a trailing dot is refused on its own
        write_file(dir / name, prose(100));
    }
    fs::path out = root / "Setup.exe";
    ToolRun r = run({"build", "--stub", "none", "-o", out.string(), dir.string()});
    EXPECT_EQ(r.code, 0) << r.err;
}

TEST_F(MksetupBuild, UsageErrors) {
    fs::path tree = make_tree();
    for (std::vector<std::string> args : {std::vector<std::string>{"build"},
                                          {"build", "--level", "7", tree.string()},
                                          {"build", "--frobnicate", tree.string()},
                                          {"build", tree.string(), tree.string()},
                                          {"build", "-o"},
                                          {"build", (root / "missing").string()},
                                          {"build", "--stub", (root / "nostub").string(), tree.string()}}) {
        ToolRun r = run(args);
        EXPECT_EQ(r.code, 2) << args.back() << ": " << r.err;
        EXPECT_FALSE(r.err.empty());
    }
    ToolRun help = run({"build", "--help"});
    EXPECT_EQ(help.code, 0);
    EXPECT_NE(help.out.find("--stub"), std::string::npos);
}

}  // namespace
