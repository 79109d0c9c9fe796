// Damaged setups through mksetup test and extract: cuts at many offsets, single and multiple bit flips in
// headers and in packed data, from a setup of a small folder tree built by mksetup build. Each run must end
// (never crash, never hang) with 0, 1 or 2; a failure must name what failed on stderr; extraction keeps
// only files that are byte for byte what was packed, and writes nothing outside its target folder.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "tests/host/tool_run.h"

namespace fs = std::filesystem;

namespace {

// One damaged copy of the setup.
struct Variant {
    std::string kind;   // "cut", "header flip", "data flip", "multiple flips"
    std::string what;   // offsets and bits, for the failure message
    std::string bytes;
    bool entry_boundary_cut = false;  // cut exactly where an entry ends: nothing in the data can tell
};

struct Figures {
    int runs = 0;
    int ok = 0;              // exit 0
    int failed_entries = 0;  // exit 1
    int no_archive = 0;      // exit 2
};

class Damage : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        char pattern[] = "/tmp/damage-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        root_ = new fs::path(pattern);
        originals_ = new std::map<std::string, std::string>();
        fs::path src = *root_ / "src";
        std::mt19937 random(20261211);
        auto put = [&](const std::string& rel, const std::string& bytes) {
            fs::create_directories((src / rel).parent_path());
            write_file(src / rel, bytes);
            (*originals_)[rel] = bytes;
        };
        std::string text;
        for (int i = 0; i < 400; i++)
            text += "line " + std::to_string(i * 7 % 53) + " of a readme that compresses well\r\n";
        put("readme.txt", text);
        std::string noise(3000, 0);
        for (char& c : noise)
            c = (char)random();
        put("bin/noise.dat", noise);  // stored: random bytes do not shrink
        std::string numbers;
        for (int i = 0; i < 2500; i++)
            numbers += std::to_string(i * i % 10007) + (i % 10 == 9 ? "\n" : " ");
        put("bin/deep/numbers.txt", numbers);
        put("docs/empty.txt", "");
        std::string mixed = text.substr(0, 2000) + noise.substr(0, 500) + numbers.substr(0, 3000);
        put("docs/mixed.txt", mixed);
        put("last.txt", "the last file\n");

        // With this checkout's stub when it is built, else the bare archive.
        ToolRun r = run_mksetup({"build", "-o", (*root_ / "setup.exe").string(), src.string()}, *root_);
        if (r.code != 0)
            r = run_mksetup({"build", "--stub", "none", "-o", (*root_ / "setup.exe").string(), src.string()},
                            *root_);
        ASSERT_EQ(r.code, 0) << r.out << r.err;
        setup_ = new std::string(read_file(*root_ / "setup.exe"));
        fs::remove_all(src);
    }
    static void TearDownTestSuite() {
        std::error_code ignored;
        fs::remove_all(*root_, ignored);
        delete root_;
        delete originals_;
        delete setup_;
    }

    // Block offsets and sizes from `mksetup list`: where the archive starts and where each entry's header
    // and packed data lie.
    struct Layout {
        size_t archive = 0;
        std::vector<size_t> headers;     // file header offsets
        std::vector<size_t> data_begin;  // packed data of each entry
        std::vector<size_t> data_end;
    };
    static Layout layout() {
        Layout l;
        ToolRun r = run_mksetup({"list", (*root_ / "setup.exe").string()}, *root_);
        std::istringstream lines(r.out);
        std::string line;
        while (std::getline(lines, line)) {
            size_t at = line.find(": offset ");
            if (at != std::string::npos && line.rfind("Archive", 0) == 0)
                l.archive = std::stoul(line.substr(at + 9));
            std::istringstream words(line);
            std::string offset, block;
            unsigned long unpacked = 0, packed = 0;
            if (words >> offset >> block >> unpacked >> packed && block == "file" &&
                std::all_of(offset.begin(), offset.end(), ::isdigit))
                l.headers.push_back(std::stoul(offset));
            else
                continue;
            l.data_end.push_back(0);
            l.data_begin.push_back(packed);  // packed size for now
        }
        for (size_t i = 0; i < l.headers.size(); i++) {
            size_t next = i + 1 < l.headers.size() ? l.headers[i + 1] : setup_->size();
            size_t packed = l.data_begin[i];
            l.data_end[i] = next;
            l.data_begin[i] = next - packed;
        }
        return l;
    }

    static std::vector<Variant> variants() {
        Layout l = layout();
        EXPECT_EQ(l.headers.size(), originals_->size());
        std::vector<Variant> list;
        std::mt19937 random(7);
        const std::string& s = *setup_;
        auto cut = [&](size_t at, bool boundary) {
            Variant v;
            v.kind = "cut";
            v.what = "cut at " + std::to_string(at);
            v.bytes = s.substr(0, at);
            v.entry_boundary_cut = boundary;
            list.push_back(v);
        };
        auto flip = [&](const std::string& kind, std::vector<size_t> offsets) {
            Variant v;
            v.kind = kind;
            v.bytes = s;
            for (size_t at : offsets) {
                int bit = (int)(random() % 8);
                v.bytes[at] = (char)(v.bytes[at] ^ (1 << bit));
                v.what += "bit " + std::to_string(bit) + " of byte " + std::to_string(at) + "; ";
            }
            list.push_back(v);
        };

        // Cuts: in the marker and main header, at and inside every entry header, in and at the end of every
        // entry's data, and at evenly spread offsets.
        for (size_t at : {(size_t)0, l.archive + 3, l.archive + 7, l.archive + 15})
            cut(at, false);
        for (size_t i = 0; i < l.headers.size(); i++) {
            cut(l.headers[i], true);  // before the first header: an archive of no entries
            for (size_t in : {1, 7, 20, 31})
                cut(l.headers[i] + in, false);
            cut(l.data_begin[i] - 1, false);
            if (l.data_end[i] > l.data_begin[i] + 1)
                cut((l.data_begin[i] + l.data_end[i]) / 2, false);
            if (l.data_end[i] > l.data_begin[i])
                cut(l.data_end[i] - 1, false);
        }
        for (int i = 1; i < 24; i++)
            cut(l.archive + (s.size() - l.archive) * i / 24, false);

        // Single bit flips in the marker, main header and every entry header; then in the packed data.
        std::vector<size_t> header_bytes;
        for (size_t at = l.archive; at < l.archive + 20; at++)
            header_bytes.push_back(at);
        for (size_t i = 0; i < l.headers.size(); i++)
            for (size_t at = l.headers[i]; at < l.data_begin[i]; at++)
                header_bytes.push_back(at);
        std::vector<size_t> data_bytes;
        for (size_t i = 0; i < l.headers.size(); i++)
            for (size_t at = l.data_begin[i]; at < l.data_end[i]; at++)
                data_bytes.push_back(at);
        for (int i = 0; i < 70; i++)
            flip("header flip", {header_bytes[random() % header_bytes.size()]});
        for (int i = 0; i < 50; i++)
            flip("data flip", {data_bytes[random() % data_bytes.size()]});
        // Several flips anywhere in the archive, a few in one place or spread out.
        for (int i = 0; i < 30; i++) {
            std::vector<size_t> offsets;
            int count = 2 + (int)(random() % 7);
            size_t base = l.archive + random() % (s.size() - l.archive);
            for (int k = 0; k < count; k++)
                offsets.push_back(i % 2 ? std::min(s.size() - 1, base + random() % 16)
                                        : l.archive + random() % (s.size() - l.archive));
            flip("multiple flips", offsets);
        }
        return list;
    }

    // The checks every run must pass, whatever the damage.
    static void check_run(const Variant& v, const std::string& tool, const ToolRun& r) {
        SCOPED_TRACE(tool + " on " + v.kind + ": " + v.what);
        EXPECT_NE(r.code, -1) << "hung";
        EXPECT_TRUE(r.code == 0 || r.code == 1 || r.code == 2) << "exit " << r.code << "\n" << r.err;
        if (r.code == 1 || r.code == 2) {
            // Named on stderr: the tool, the setup, and for a damaged entry the entry and what is wrong.
            EXPECT_EQ(r.err.rfind("mksetup: ", 0), 0u) << r.err;
            EXPECT_NE(r.err.find("variant.exe"), std::string::npos) << r.err;
        }
        if (r.code == 1) {
            EXPECT_NE(r.out.find("FAILED  "), std::string::npos) << r.out;
            size_t line_start = r.err.find("variant.exe: ");
            EXPECT_NE(line_start, std::string::npos) << r.err;
            if (line_start != std::string::npos) {
                std::string rest = r.err.substr(line_start + 13);
                EXPECT_NE(rest.find(": "), std::string::npos) << "no entry named: " << r.err;
            }
        }
    }

    static fs::path* root_;
    static std::map<std::string, std::string>* originals_;
    static std::string* setup_;
};

fs::path* Damage::root_ = nullptr;
std::map<std::string, std::string>* Damage::originals_ = nullptr;
std::string* Damage::setup_ = nullptr;

TEST_F(Damage, EveryDamagedSetupEndsWithItsMessageOrIntactFiles) {
    std::vector<Variant> list = variants();
    ASSERT_GT(list.size(), 200u);
    // The sentinel: the folder that holds the setup and the target folder. Nothing may appear in it.
    fs::path sentinel = *root_ / "sentinel";
    fs::create_directories(sentinel);
    fs::path setup = sentinel / "variant.exe";
    fs::path out = sentinel / "out";
    write_file(setup, "");
    std::map<std::string, Figures> figures;
    int boundary_cuts_ok = 0;

    for (const Variant& v : list) {
        SCOPED_TRACE(v.kind + ": " + v.what);
        write_file(setup, v.bytes);
        fs::remove_all(out);
        std::vector<std::string> before = listing(sentinel);

        ToolRun t = run_mksetup({"test", setup.string()}, *root_);
        check_run(v, "test", t);
        ToolRun x = run_mksetup({"extract", setup.string(), "-o", out.string()}, *root_);
        check_run(v, "extract", x);

        // Nothing outside the target folder.
        std::vector<std::string> after = listing(sentinel);
        after.erase(std::remove_if(after.begin(), after.end(),
                                   [](const std::string& p) { return p.rfind("out/", 0) == 0; }),
                    after.end());
        EXPECT_EQ(after, before);

        // Every file left in the target folder is what was packed under its name: header checksums are
        // checked, so no damaged name, size or checksum field gets a file written.
        std::set<std::string> present;
        for (const std::string& rel : listing(out)) {
            fs::path path = out / rel;
            if (rel.back() == '/')
                continue;
            ASSERT_TRUE(fs::is_regular_file(fs::symlink_status(path))) << rel;
            auto original = originals_->find(rel);
            ASSERT_NE(original, originals_->end()) << rel << " was never packed\n" << x.out;
            EXPECT_EQ(read_file(path), original->second) << rel << " differs from what was packed";
            present.insert(rel);
        }

        // Success claims everything: every file present and intact, except for a cut exactly at the end of
        // an entry, which leaves an archive of fewer whole entries that nothing in it can tell apart.
        if (x.code == 0 && !v.entry_boundary_cut) {
            EXPECT_EQ(present.size(), originals_->size()) << "success with files missing:\n" << x.out;
        }
        if (x.code == 0 && v.entry_boundary_cut)
            boundary_cuts_ok++;
        // test and extract read the same archive the same way.
        EXPECT_EQ(t.code, x.code) << t.out << x.out;

        for (const auto& tool : {std::make_pair(std::string("test"), &t), std::make_pair(std::string("extract"), &x)}) {
            Figures& f = figures[tool.first];
            f.runs++;
            f.ok += tool.second->code == 0;
            f.failed_entries += tool.second->code == 1;
            f.no_archive += tool.second->code == 2;
        }
    }
    for (auto& [tool, f] : figures)
        printf("[ figures  ] mksetup %s: %d damaged variants: %d exit 0 (intact), %d exit 1, %d exit 2\n",
               tool.c_str(), f.runs, f.ok, f.failed_entries, f.no_archive);
    printf("[ figures  ] cuts at an entry's end reported as a whole archive of fewer entries: %d\n",
           boundary_cuts_ok);
    std::map<std::string, int> kinds;
    for (const Variant& v : list)
        kinds[v.kind]++;
    for (auto& [kind, n] : kinds)
        printf("[ figures  ] %s: %d variants\n", kind.c_str(), n);
}

}  // namespace
