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

namespace fs = std::filesystem;

namespace {

std::string read_file(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<std::string> listing(const fs::path& root) {
    std::vector<std::string> paths;
    for (auto& p : fs::recursive_directory_iterator(root))
        paths.push_back(fs::relative(p.path(), root).generic_string() + (p.is_directory() ? "/" : ""));
    std::sort(paths.begin(), paths.end());
    return paths;
}

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

        pid_t pid = fork();
        if (pid == 0) {
            int out = open((sentinel / "stdout.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            int err = open((sentinel / "stderr.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            dup2(out, 1);
            dup2(err, 2);
            execl(ORDAVIN_MKSETUP, ORDAVIN_MKSETUP, "extract", archive.c_str(), "-o", target.c_str(), (char*)nullptr);
            _exit(127);
        }
        int status = 0;
        waitpid(pid, &status, 0);
        ASSERT_TRUE(WIFEXITED(status)) << "signal " << WTERMSIG(status);
        std::string err = read_file(sentinel / "stderr.txt");
        EXPECT_EQ(WEXITSTATUS(status), 1) << err;
        EXPECT_NE(err.find("refused"), std::string::npos) << err;
        refused += WEXITSTATUS(status) == 1 && err.find("refused") != std::string::npos;

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
