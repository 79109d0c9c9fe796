// mksetup extract against entry names that reach outside the target folder or name Windows devices: each is
// refused with a message naming it, and the sentinel folder around the target gains nothing.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/common/archive_bytes.h"
#include "tests/host/tool_run.h"

namespace fs = std::filesystem;

namespace {

// The names, and a readable form for the trace.
std::vector<std::string> hostile_names() {
    std::vector<std::string> names = {
        "..\\x",     "a\\..\\..\\x", "C:\\x",      "\\x",          "\\\\server\\share\\x", "x:stream",
        "ctl\x01.txt", "tab\tname",  "bell\x07",   "nl\nname",     "CON",                  "NUL",
        "COM1",      "AUX",          "LPT1",       "PRN",          "CON.txt",              "sub\\nul.dat",
        "/x",        "a/../../x",    "..",         "sub\\..\\..",  "C:x",                  "prn.",
        "Com9.log",  "lpt9\\inner.txt",
    };
    names.push_back(std::string(259, 'n'));  // with the target folder in front: longer than a path may be
    names.push_back(std::string(120, 'd') + "\\" + std::string(200, 'f'));
    names.push_back(std::string(300, 'L'));
    return names;
}

TEST(HostileNames, MksetupExtractRefusesEveryOne) {
    char pattern[] = "/tmp/hostile-names-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    fs::path sentinel = pattern;
    fs::path target = sentinel / "out";
    fs::path archive = sentinel / "setup.rar";
    std::ofstream(sentinel / "stdout.txt").flush();
    std::ofstream(sentinel / "stderr.txt").flush();
    int refused = 0;
    for (const std::string& name : hostile_names()) {
        std::string shown = name.size() > 40 ? name.substr(0, 40) + "... (" + std::to_string(name.size()) + ")" : name;
        SCOPED_TRACE(shown);
        fs::remove_all(target);
        archive_bytes::Bytes a;
        archive_bytes::append_marker(a);
        archive_bytes::append_main_header(a, 0);
        for (const std::string& n : {std::string("first.txt"), name, std::string("last.txt")}) {
            archive_bytes::FileEntry e;
            e.name = n;
            e.data = {'e', 'v', 'i', 'l'};
            archive_bytes::append_file(a, e);
        }
        ASSERT_TRUE(archive_bytes::write_file(archive.string(), a));
        std::vector<std::string> before = listing(sentinel);

        ToolRun r = run_mksetup({"extract", archive.string(), "-o", target.string()}, sentinel);
        ASSERT_TRUE(r.code >= 0 && r.code < 128) << "exit " << r.code;
        EXPECT_EQ(r.code, 1) << r.err;
        EXPECT_NE(r.err.find("refused"), std::string::npos) << r.err;
        refused += r.code == 1 && r.err.find("refused") != std::string::npos;

        // Only the two good entries in the target; nothing new beside it.
        std::vector<std::string> after = listing(sentinel);
        std::vector<std::string> expected = before;
        for (const char* p : {"out/", "out/first.txt", "out/last.txt"})
            expected.push_back(p);
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(after, expected);
        EXPECT_FALSE(fs::exists("/x"));
        EXPECT_FALSE(fs::exists(sentinel / "x"));
    }
    printf("[ figures  ] mksetup extract refused %d of %d hostile names\n", refused, (int)hostile_names().size());
    fs::remove_all(sentinel);
}

}  // namespace
