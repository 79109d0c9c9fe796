// mksetup build: the stub followed by a solid archive of a folder's files, checked through the setup's own
// reader and decoder before it is kept.
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "archive/archive_reader.h"
#include "archive/format.h"
#include "tools/compressor.h"
#include "tools/mksetup.h"

#ifndef ORDAVIN_DEFAULT_STUB
#define ORDAVIN_DEFAULT_STUB "setup-stub.exe"
#endif

namespace fs = std::filesystem;

namespace {

const char kBuildHelp[] =
    "Usage: mksetup build [--stub FILE|none] [-o FILE] [--store] [--level N] FOLDER\n"
    "\n"
    "Builds a setup: the stub followed by a solid RAR 2.0 archive of every regular file under FOLDER, sorted\n"
    "by path. The result is read back through the setup's own reader and decoder before it is kept; a\n"
    "failed build leaves no output file.\n"
    "\n"
    "Options:\n"
    "  --stub FILE   the program the archive is appended to (default: " ORDAVIN_DEFAULT_STUB ");\n"
    "                'none' writes the bare archive\n"
    "  -o FILE       the setup to write (default: Setup.exe)\n"
    "  --store       store every file uncompressed\n"
    "  --level N     1 fast, 2 default, 3 best compression\n"
    "\n"
    "File times are the files' modification times in local time, clamped to 1980..2107; with\n"
    "SOURCE_DATE_EPOCH set, later times are clamped to it. Read-only files keep the read-only attribute.\n"
    "\n"
    "Exit codes: 0 built and verified; 1 the setup could not be written or failed its check;\n"
    "2 usage error, or a file or name that cannot go into the setup.\n";

int usage(const std::string& message) {
    fprintf(stderr, "mksetup build: %s\n(try 'mksetup build --help')\n", message.c_str());
    return EXIT_USAGE_OR_NO_ARCHIVE;
}

bool read_whole_file(const std::string& path, std::vector<uint8_t>* data, std::string* error) {
    FILE* f = fopen(path.c_str(), "rb");
    if (!f) {
        *error = strerror(errno);
        return false;
    }
    data->clear();
    uint8_t chunk[65536];
    size_t n;
    while ((n = fread(chunk, 1, sizeof(chunk), f)) > 0) {
        data->insert(data->end(), chunk, chunk + n);
        if (data->size() >= 0x80000000u) break;
    }
    bool ok = !ferror(f);
    if (!ok) *error = strerror(errno ? errno : EIO);
    fclose(f);
    return ok;
}

bool is_device_name(const std::string& component) {
    std::string base = component.substr(0, component.find('.'));
    while (!base.empty() && base.back() == ' ') base.pop_back();
    for (char& c : base) c = (char)toupper((unsigned char)c);
    if (base == "CON" || base == "PRN" || base == "AUX" || base == "NUL") return true;
    if (base.size() == 4 && (base.compare(0, 3, "COM") == 0 || base.compare(0, 3, "LPT") == 0))
        return base[3] >= '1' && base[3] <= '9';
    return false;
}

// Why a path component cannot become a Windows file name, or null.
const char* bad_component(const std::string& c) {
    for (unsigned char ch : c) {
        if (ch < 0x20 || ch == 0x7F) return "a control character";
        if (strchr("\\/:*?\"<>|", ch)) return "one of the characters \\ / : * ? \" < > |";
    }
    if (is_device_name(c)) return "a reserved device name (CON, PRN, AUX, NUL, COM1-9, LPT1-9)";
    if (c.back() == '.' || c.back() == ' ') return "a dot or space at the end, which Windows drops";
    return nullptr;
}

uint32_t dos_time_of(time_t t) {
    const char* epoch = getenv("SOURCE_DATE_EPOCH");
    if (epoch && *epoch) {
        char* end = nullptr;
        long long limit = strtoll(epoch, &end, 10);
        if (end && *end == 0 && (long long)t > limit) t = (time_t)limit;
    }
    struct tm tm;
    if (!localtime_r(&t, &tm)) return (0u << 25) | (1u << 21) | (1u << 16);
    int year = tm.tm_year + 1900;
    if (year < 1980) return (1u << 21) | (1u << 16);                                       // 1980-01-01 00:00:00
    if (year > 2107) return (127u << 25) | (12u << 21) | (31u << 16) | (23u << 11) | (59u << 5) | 29u;
    return ((uint32_t)(year - 1980) << 25) | ((uint32_t)(tm.tm_mon + 1) << 21) | ((uint32_t)tm.tm_mday << 16) |
           ((uint32_t)tm.tm_hour << 11) | ((uint32_t)tm.tm_min << 5) | ((uint32_t)tm.tm_sec / 2);
}

struct FoundFile {
    std::string name;   // archive name, backslashes
    fs::path path;
};

// Every regular file under ROOT, by archive name, except SKIP (the setup being rebuilt inside the folder).
// Returns false after reporting a problem.
bool collect_files(const fs::path& root, const fs::path& skip, std::vector<FoundFile>* files) {
    std::error_code ec;
    fs::recursive_directory_iterator it(root, ec), end;
    if (ec) {
        fprintf(stderr, "mksetup build: %s: cannot read the folder: %s\n", root.c_str(), ec.message().c_str());
        return false;
    }
    bool ok = true;
    for (; it != end; it.increment(ec)) {
        if (ec) {
            fprintf(stderr, "mksetup build: %s: cannot read the folder: %s\n", it->path().c_str(),
                    ec.message().c_str());
            return false;
        }
        std::error_code type_ec;
        if (!it->is_regular_file(type_ec)) {
            if (!it->is_directory(type_ec))
                fprintf(stderr, "mksetup build: %s: not a regular file, left out\n", it->path().c_str());
            continue;
        }
        if (fs::equivalent(it->path(), skip, type_ec)) {
            fprintf(stderr, "mksetup build: %s: the output file itself, left out\n", it->path().c_str());
            continue;
        }
        fs::path rel = it->path().lexically_relative(root);
        std::string name;
        for (const fs::path& part : rel) {
            std::string c = part.string();
            const char* why = bad_component(c);
            if (why) {
                fprintf(stderr, "mksetup build: %s: the setup cannot write this name on Windows: '%s' has %s\n",
                        it->path().c_str(), c.c_str(), why);
                ok = false;
            }
            if (!name.empty()) name += '\\';
            name += c;
        }
        if (name.size() > MAX_NAME) {
            fprintf(stderr, "mksetup build: %s: name too long: %zu bytes, at most %d\n", it->path().c_str(),
                    name.size(), (int)MAX_NAME);
            ok = false;
        }
        files->push_back({name, it->path()});
    }
    std::sort(files->begin(), files->end(), [](const FoundFile& a, const FoundFile& b) { return a.name < b.name; });
    return ok;
}

bool contains_marker(const std::vector<uint8_t>& stub, size_t* at) {
    for (size_t i = 0; i + MARKER_SIZE <= stub.size(); i++)
        if (stub[i] == MARKER_FIRST && memcmp(&stub[i + 1], kRarMarkerTail, MARKER_SIZE - 1) == 0) {
            *at = i;
            return true;
        }
    for (size_t i = 0; i + OLD_MARKER_SIZE <= stub.size(); i++)
        if (stub.size() >= 32 && memcmp(&stub[SFX_TAG_OFFSET], kSfxTag, 4) == 0 && stub[i] == MARKER_FIRST &&
            memcmp(&stub[i + 1], kOldMarkerTail, OLD_MARKER_SIZE - 1) == 0) {
            *at = i;
            return true;
        }
    return false;
}

bool write_all(const std::string& path, const std::vector<uint8_t>& stub, const std::vector<uint8_t>& archive,
               std::string* error) {
    FILE* f = fopen(path.c_str(), "wb");
    if (!f) {
        *error = strerror(errno);
        return false;
    }
    bool ok = (stub.empty() || fwrite(stub.data(), 1, stub.size(), f) == stub.size()) &&
              fwrite(archive.data(), 1, archive.size(), f) == archive.size();
    if (!ok) *error = strerror(errno);
    if (fclose(f) != 0 && ok) {
        *error = strerror(errno);
        ok = false;
    }
    return ok;
}

std::string percent(uint64_t packed, uint64_t size) {
    char text[32];
    snprintf(text, sizeof(text), "%5.1f%%", size ? 100.0 * (double)packed / (double)size : 100.0);
    return text;
}

}  // namespace

int mksetup_build(int argc, char** argv) {
    std::string stub_path = ORDAVIN_DEFAULT_STUB, out_path = "Setup.exe", folder;
    CompressOptions options;
    for (int i = 1; i < argc; i++) {
        std::string a = argv[i];
        if (a == "--help" || a == "-h") {
            fputs(kBuildHelp, stdout);
            return EXIT_ALL_GOOD;
        } else if (a == "--stub" || a == "-o" || a == "--level") {
            if (i + 1 >= argc) return usage(a + " needs a value");
            std::string v = argv[++i];
            if (a == "--stub") {
                stub_path = v;
            } else if (a == "-o") {
                out_path = v;
            } else {
                if (v.size() != 1 || v[0] < '1' || v[0] > '3') return usage("--level takes 1, 2 or 3");
                options.level = v[0] - '0';
            }
        } else if (a == "--store") {
            options.store_all = true;
        } else if (!a.empty() && a[0] == '-') {
            return usage("unknown option '" + a + "'");
        } else if (folder.empty()) {
            folder = a;
        } else {
            return usage("more than one folder given");
        }
    }
    if (folder.empty()) return usage("no folder given");
    auto started = std::chrono::steady_clock::now();

    std::error_code ec;
    if (!fs::is_directory(folder, ec)) {
        fprintf(stderr, "mksetup build: %s: not a folder\n", folder.c_str());
        return EXIT_USAGE_OR_NO_ARCHIVE;
    }

    std::vector<uint8_t> stub;
    if (stub_path != "none") {
        std::string error;
        if (!read_whole_file(stub_path, &stub, &error)) {
            fprintf(stderr, "mksetup build: %s: cannot read the stub: %s\n", stub_path.c_str(), error.c_str());
            return EXIT_USAGE_OR_NO_ARCHIVE;
        }
        size_t at;
        if (contains_marker(stub, &at)) {
            fprintf(stderr,
                    "mksetup build: %s: the stub contains an archive marker at offset %zu; the setup would find "
                    "it instead of the archive\n",
                    stub_path.c_str(), at);
            return EXIT_USAGE_OR_NO_ARCHIVE;
        }
        // The setup looks for the marker's 7 bytes and the main header's type byte within the bytes it scans.
        const size_t longest = SCAN_BUFFER_SIZE - 3;
        if (stub.size() > longest) {
            fprintf(stderr,
                    "mksetup build: %s: the stub is %zu bytes long; the setup finds its archive only within "
                    "the first %zu bytes\n",
                    stub_path.c_str(), stub.size(), longest);
            return EXIT_USAGE_OR_NO_ARCHIVE;
        }
    }

    std::vector<FoundFile> found;
    if (!collect_files(folder, out_path, &found)) return EXIT_USAGE_OR_NO_ARCHIVE;
    if (found.empty()) {
        fprintf(stderr, "mksetup build: %s: the folder holds no files\n", folder.c_str());
        return EXIT_USAGE_OR_NO_ARCHIVE;
    }

    std::vector<ArchiveInput> inputs;
    inputs.reserve(found.size());
    uint64_t total = 0;
    for (const FoundFile& f : found) {
        struct stat st;
        if (stat(f.path.c_str(), &st) != 0) {
            fprintf(stderr, "mksetup build: %s: cannot read: %s\n", f.path.c_str(), strerror(errno));
            return EXIT_USAGE_OR_NO_ARCHIVE;
        }
        if ((uint64_t)st.st_size >= 0x80000000u) {
            fprintf(stderr, "mksetup build: %s: file of 2 GiB or more (%lld bytes) cannot go into the setup\n",
                    f.path.c_str(), (long long)st.st_size);
            return EXIT_USAGE_OR_NO_ARCHIVE;
        }
        ArchiveInput in;
        std::string error;
        if (!read_whole_file(f.path.string(), &in.data, &error)) {
            fprintf(stderr, "mksetup build: %s: cannot read: %s\n", f.path.c_str(), error.c_str());
            return EXIT_USAGE_OR_NO_ARCHIVE;
        }
        if (in.data.size() >= 0x80000000u) {
            fprintf(stderr, "mksetup build: %s: file of 2 GiB or more cannot go into the setup\n", f.path.c_str());
            return EXIT_USAGE_OR_NO_ARCHIVE;
        }
        in.name = f.name;
        in.dos_time = dos_time_of(st.st_mtime);
        in.attributes = ATTR_ARCHIVE | ((st.st_mode & S_IWUSR) ? 0 : ATTR_READONLY);
        total += in.data.size();
        inputs.push_back(std::move(in));
    }

    std::vector<uint8_t> archive;
    CompressStats stats;
    std::string error;
    if (build_archive(inputs, options, &archive, &stats, &error) != 0) {
        fprintf(stderr, "mksetup build: %s\n", error.c_str());
        return EXIT_USAGE_OR_NO_ARCHIVE;
    }
    uint64_t packed_total = 0;
    for (size_t i = 0; i < inputs.size(); i++) {
        const EntryResult& r = stats.entries[i];
        packed_total += r.packed_size;
        fprintf(stderr, "%10u -> %10u %s %s  %s\n", r.unp_size, r.packed_size, percent(r.packed_size, r.unp_size).c_str(),
                r.method == METHOD_STORED ? "stored    " : "compressed", inputs[i].name.c_str());
    }
    inputs.clear();
    inputs.shrink_to_fit();
    // The setup reads its file with signed 32-bit offsets.
    if (stub.size() + archive.size() >= 0x80000000u) {
        fprintf(stderr, "mksetup build: the setup would be %zu bytes long; the setup can read at most 2 GiB - 1\n",
                stub.size() + archive.size());
        return EXIT_USAGE_OR_NO_ARCHIVE;
    }

    // Written under a temporary name beside the target, checked, then renamed.
    fs::path target(out_path);
    fs::path dir = target.parent_path();
    std::string temp_path = (dir.empty() ? fs::path(".") : dir).string() + "/." + target.filename().string() +
                            ".tmp-" + std::to_string((long long)getpid());
    if (!write_all(temp_path, stub, archive, &error)) {
        fprintf(stderr, "mksetup build: %s: cannot write: %s\n", temp_path.c_str(), error.c_str());
        unlink(temp_path.c_str());
        return EXIT_ENTRY_FAILED;
    }
    long offset = -1;
    int tested = test_archive_file(temp_path.c_str(), nullptr, stderr, &offset);
    if (tested != EXIT_ALL_GOOD || offset != (long)stub.size()) {
        if (tested == EXIT_ALL_GOOD)
            fprintf(stderr, "mksetup build: the setup finds an archive at offset %ld instead of %zu\n", offset,
                    stub.size());
        fprintf(stderr, "mksetup build: the new setup failed its check; nothing written\n");
        unlink(temp_path.c_str());
        return EXIT_ENTRY_FAILED;
    }
    if (rename(temp_path.c_str(), out_path.c_str()) != 0) {
        fprintf(stderr, "mksetup build: %s: cannot write: %s\n", out_path.c_str(), strerror(errno));
        unlink(temp_path.c_str());
        return EXIT_ENTRY_FAILED;
    }
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    fprintf(stderr, "%zu files, %llu -> %llu bytes (%s), setup %s: %zu bytes, %.2f s\n", stats.entries.size(),
            (unsigned long long)total, (unsigned long long)packed_total, percent(packed_total, total).c_str(),
            out_path.c_str(), stub.size() + archive.size(), seconds);
    return EXIT_ALL_GOOD;
}
