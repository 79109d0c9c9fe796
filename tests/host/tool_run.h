// Running the built mksetup from host tests, and the small file helpers those tests share.
#pragma once
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

struct ToolRun {
    int code = -1;  // exit code, 128 + signal, or -1 for a run killed as hung
    std::string out;
    std::string err;
};

inline std::string read_file(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

inline void write_file(const std::filesystem::path& path, const std::string& bytes) {
    if (path.has_parent_path())
        std::filesystem::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary);
    out << bytes;
}

// Runs mksetup with ARGS, its output going to files in OUTPUT_DIR. A run still alive after HANG_SECONDS
// (none when 0) is taken as hung: it is killed and comes back with code -1.
inline ToolRun run_mksetup(const std::vector<std::string>& args, const std::filesystem::path& output_dir,
                           int hang_seconds = 60) {
    std::filesystem::path out_path = output_dir / "stdout.txt", err_path = output_dir / "stderr.txt";
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
    ToolRun run;
    int status = 0;
    time_t start = time(nullptr);
    for (;;) {
        pid_t done = waitpid(pid, &status, hang_seconds > 0 ? WNOHANG : 0);
        if (done == pid)
            break;
        if (time(nullptr) - start > hang_seconds) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            run.out = read_file(out_path);
            run.err = read_file(err_path);
            return run;
        }
        usleep(2000);
    }
    run.code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    run.out = read_file(out_path);
    run.err = read_file(err_path);
    return run;
}

// Every path below ROOT (relative, '/' separated), folders marked with a trailing '/'.
inline std::vector<std::string> listing(const std::filesystem::path& root) {
    std::vector<std::string> paths;
    std::error_code ignored;
    for (auto it = std::filesystem::recursive_directory_iterator(root, ignored); it != std::filesystem::recursive_directory_iterator();
         it.increment(ignored)) {
        std::string rel = std::filesystem::relative(it->path(), root).generic_string();
        paths.push_back(it->is_directory() ? rel + "/" : rel);
    }
    std::sort(paths.begin(), paths.end());
    return paths;
}
