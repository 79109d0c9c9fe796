// mksetup list, test and extract: the setup's own reader and decoder, driven the way the setup drives them,
// with every problem named instead of ending the run.
#include "tools/mksetup_read.h"

#include <errno.h>
#include <fcntl.h>
#include <stdarg.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "archive/archive_reader.h"
#include "archive/checksum.h"
#include "archive/extract_job.h"
#include "archive/format.h"
#include "archive/stream.h"
#include "tools/mksetup.h"
#include "unpack/format.h"
#include "unpack/unpack.h"

namespace {

enum class Mode { list, test, extract };

// Sizes from here on no longer fit the decoder's signed 32-bit counts.
constexpr uint32_t kTooLarge = 0x80000000u;
// Every code is at least one bit long and no match is longer than 260 bytes, so a sound stream yields at
// most 2,080 bytes per packed byte. An entry that claims more is damaged; refusing it before decoding keeps
// a tiny file from making the decoder run through gigabytes of stale input.
constexpr uint64_t kMaxBytesPerPackedByte = 4096;

struct Run {
    Mode mode;
    const char* path;
    FILE* out;
    FILE* err;
    std::string dest;          // extract: the target folder, ending with '/'
    int64_t file_size = 0;
    int files = 0;
    int folders = 0;
    int failed = 0;
    FILE* null_sink = nullptr; // test: decoded bytes go here so that the checksum covers them all
    std::string broken_by;     // compressed entry whose data did not go through the decoder soundly
    bool cut_reported = false;
};

void say(FILE* stream, const char* format, ...) __attribute__((format(printf, 2, 3)));
void say(FILE* stream, const char* format, ...) {
    if (!stream)
        return;
    va_list args;
    va_start(args, format);
    vfprintf(stream, format, args);
    va_end(args);
}

// Names are ANSI bytes of the archiving system: anything outside printable ASCII is shown escaped.
std::string shown(const char* text) {
    std::string result;
    for (const unsigned char* p = (const unsigned char*)text; *p; ++p) {
        if (*p < 0x20 || *p >= 0x7F) {
            char escaped[8];
            snprintf(escaped, sizeof escaped, "\\x%02X", *p);
            result += escaped;
        } else {
            result += (char)*p;
        }
    }
    return result;
}

std::string join(const std::vector<std::string>& parts, const char* separator) {
    std::string result;
    for (size_t i = 0; i < parts.size(); ++i) {
        if (i)
            result += separator;
        result += parts[i];
    }
    return result;
}

std::string format_text(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string format_text(const char* format, ...) {
    char buffer[512];
    va_list args;
    va_start(args, format);
    vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    return buffer;
}

void report_failure(Run& run, const std::string& what, const std::vector<std::string>& reasons) {
    run.failed++;
    std::string why = join(reasons, "; ");
    say(run.out, "FAILED  %s: %s\n", what.c_str(), why.c_str());
    say(run.err, "mksetup: %s: %s: %s\n", run.path, what.c_str(), why.c_str());
}

const char* kind_text(int32_t kind) {
    switch (kind) {
    case ARCHIVE_KIND_AT_START: return "at the start of the file";
    case ARCHIVE_KIND_VOLUME: return "a volume of a multi-volume set";
    case ARCHIVE_KIND_EMBEDDED: return "inside a longer file";
    default: return "none";
    }
}

const char* block_type_text(uint8_t type) {
    switch (type) {
    case 0x72: return "marker";
    case BLOCK_MAIN: return "main header";
    case BLOCK_FILE: return "file";
    case 0x75: return "old comment";
    case 0x76: return "old authenticity";
    case BLOCK_SUB: return "sub-block";
    case 0x78: return "recovery record";
    case 0x79: return "authenticity";
    case 0x7A: return "service block";
    case 0x7B: return "end of archive";
    default: return "unknown";
    }
}

const char* method_text(uint8_t method) {
    switch (method) {
    case METHOD_STORED: return "stored";
    case 0x31: return "fastest";
    case 0x32: return "fast";
    case 0x33: return "normal";
    case 0x34: return "good";
    case METHOD_BEST: return "best";
    default: return nullptr;
    }
}

const char* host_text(uint8_t host) {
    switch (host) {
    case HOST_MSDOS: return "MS-DOS";
    case HOST_OS2: return "OS/2";
    case HOST_WIN32: return "Win32";
    case HOST_UNIX: return "Unix";
    default: return "other";
    }
}

bool is_directory_entry(const FileHeader& header) {
    return (header.file_attr & ATTR_DIRECTORY) ||
           (header.head_flags & FILE_FLAG_DICT_MASK) == FILE_FLAG_DIRECTORY;
}

struct DosFields {
    unsigned year, month, day, hour, minute, second;
};

DosFields dos_fields(uint32_t dos_time) {
    uint32_t date = dos_time >> 16, time = dos_time & 0xFFFF;
    return {1980 + (date >> 9), (date >> 5) & 15, date & 31, time >> 11, (time >> 5) & 63, (time & 31) * 2};
}

// Seconds since the epoch of a DOS time, which is local time; false when the fields are no date.
bool dos_time_to_unix(uint32_t dos_time, time_t* result) {
    DosFields f = dos_fields(dos_time);
    if (f.month < 1 || f.month > 12 || f.day < 1 || f.hour > 23 || f.minute > 59 || f.second > 59)
        return false;
    struct tm local = {};
    local.tm_year = (int)f.year - 1900;
    local.tm_mon = (int)f.month - 1;
    local.tm_mday = (int)f.day;
    local.tm_hour = (int)f.hour;
    local.tm_min = (int)f.minute;
    local.tm_sec = (int)f.second;
    local.tm_isdst = -1;
    time_t t = mktime(&local);
    if (t == (time_t)-1)
        return false;
    *result = t;
    return true;
}

// ---- Opening ----

void close_job(ExtractJob** job) {
    if (!*job)
        return;
    file_close((*job)->archive_file);
    (*job)->archive_file = nullptr;
    free_and_clear(&(*job)->window_buffer);
    free_and_clear(job);
}

// Opens the archive as the driver does: a fresh job, its CRC table, the file, the locator, the window.
// Returns an exit code; on 0 *result holds the job, positioned at the first block after the main header.
int open_job(Run& run, ExtractJob** result) {
    *result = nullptr;
    struct stat info;
    if (stat(run.path, &info) != 0) {
        say(run.err, "mksetup: %s: cannot open: %s\n", run.path, strerror(errno));
        return EXIT_USAGE_OR_NO_ARCHIVE;
    }
    if (!S_ISREG(info.st_mode)) {
        say(run.err, "mksetup: %s: not a regular file\n", run.path);
        return EXIT_USAGE_OR_NO_ARCHIVE;
    }
    // Archive offsets are signed 32-bit numbers.
    if (info.st_size > INT32_MAX) {
        say(run.err, "mksetup: %s: too large (2 GiB or more) to carry a setup archive\n", run.path);
        return EXIT_USAGE_OR_NO_ARCHIVE;
    }
    run.file_size = info.st_size;

    ExtractJob* job = (ExtractJob*)alloc_zeroed(sizeof(ExtractJob));
    if (!job) {
        say(run.err, "mksetup: %s: out of memory\n", run.path);
        return EXIT_USAGE_OR_NO_ARCHIVE;
    }
    for (int i = 0; i < MAX_AUDIO_CHANNELS; ++i)
        job->audio_tables[i] = &job->audio_table_store[i];
    build_crc_table(job);
    job->archive_path = run.path;
    job->archive_file = file_open(run.path, "rb", 1);
    if (!job->archive_file) {
        say(run.err, "mksetup: %s: cannot open: %s\n", run.path, strerror(errno));
        close_job(&job);
        return EXIT_USAGE_OR_NO_ARCHIVE;
    }
    if (open_archive(job) == ARCHIVE_KIND_NONE) {
        say(run.err, "mksetup: %s: no archive found\n", run.path);
        close_job(&job);
        return EXIT_USAGE_OR_NO_ARCHIVE;
    }
    if (run.mode != Mode::list) {
        job->window_buffer = (uint8_t*)alloc_zeroed(WINDOW_SIZE);
        if (!job->window_buffer) {
            say(run.err, "mksetup: %s: out of memory for the window\n", run.path);
            close_job(&job);
            return EXIT_USAGE_OR_NO_ARCHIVE;
        }
    }
    *result = job;
    return EXIT_ALL_GOOD;
}

// The archive line every command prints first, and the refusal of the old format, whose headers the setup
// has no reader for. Returns false when the walk must not start.
bool describe_archive(Run& run, ExtractJob* job) {
    say(run.out, "Archive %s: offset %d, kind %d (%s), %s\n", run.path, job->archive_start, job->archive_kind,
        kind_text(job->archive_kind),
        job->archive_format == ARCHIVE_FORMAT_OLD ? "old format (RE~^)" : "RAR 2.x format");
    if (job->archive_format == ARCHIVE_FORMAT_OLD) {
        std::vector<std::string> reasons = {"old-format archive: its block headers are not read"};
        report_failure(run, "archive", reasons);
        return false;
    }
    return true;
}

// Skips the rest of the main header as the driver does.
void skip_main_header(ExtractJob* job) {
    file_seek(job->archive_file, (int32_t)job->main_header.head_size - job->main_bytes_read, 1);
}

// ---- Header checksums ----
// The setup checks the header of every entry it installs. mksetup checks every header, so that damage which
// turns an entry into a block of another kind cannot pass a test unnoticed either.

// Empty when the header of the block at BLOCK_START matches its checksum, else what is wrong. The stream
// position is kept.
std::string header_checksum_problem(Run& run, ExtractJob* job, int64_t block_start, uint8_t type,
                                    uint16_t stored, uint16_t head_size, uint32_t data_size) {
    if (head_size < BLOCK_PREFIX_SIZE)
        return format_text("damaged header: its size of %u bytes is below the %d that every header has",
                           head_size, BLOCK_PREFIX_SIZE);
    if (block_start + head_size > run.file_size)
        return format_text("header cut short: %lld of its %u bytes present",
                           (long long)std::max<int64_t>(0, run.file_size - block_start), head_size);
    FILE* file = job->archive_file;
    long kept = ftell(file);
    // A main or file header may leave a comment after its fixed part (and name) out of the checksum.
    uint32_t short_size = 0;
    if (type == BLOCK_MAIN) {
        short_size = MAIN_HEADER_SIZE;
    } else if (type == BLOCK_FILE && head_size >= FILE_HEADER_SIZE) {
        uint8_t name_size[2] = {0, 0};
        file_seek(file, (int32_t)block_start + FILE_NAME_SIZE_AT, 0);
        file_read(file, name_size, 2);
        short_size = FILE_HEADER_SIZE + (name_size[0] | name_size[1] << 8);
    }
    uint16_t whole = 0;
    int match = header_checksum_matches(job, (int32_t)block_start, head_size, stored, short_size,
                                        type == BLOCK_SUB ? data_size : 0, &whole);
    fseek(file, kept, SEEK_SET);
    if (match)
        return "";
    return format_text("damaged header: its checksum does not match (stored 0x%04X, the header gives 0x%04X)",
                       stored, whole);
}

// The block the walk stands at, as a failure names it.
std::string block_text(const ExtractJob* job) {
    return format_text("block at offset %d (type 0x%02X, %s)", job->block_start, job->block_header.head_type,
                       block_type_text(job->block_header.head_type));
}

void check_main_header(Run& run, ExtractJob* job) {
    const MainHeader& main = job->main_header;
    std::string problem = header_checksum_problem(run, job, job->archive_start + MARKER_SIZE, BLOCK_MAIN,
                                                  main.head_crc, main.head_size, 0);
    if (!problem.empty())
        report_failure(run, "main header", {problem});
}

// Checks the header of the block the walk stopped at; blocks other than file headers are reported here,
// since nothing else names them.
std::string check_block_header(Run& run, ExtractJob* job) {
    const BlockHeader& block = job->block_header;
    uint32_t data = (block.head_flags & BLOCK_FLAG_HAS_DATA) ? block.data_size : 0;
    std::string problem = header_checksum_problem(run, job, job->block_start, block.head_type, block.head_crc,
                                                  block.head_size, data);
    if (!problem.empty() && block.head_type != BLOCK_FILE)
        report_failure(run, block_text(job),
                       {problem + (block.head_type == BLOCK_SUB
                                       ? ""
                                       : "; the setup passes over this block: an entry may be lost here")});
    return problem;
}

// The walk ended: at the end of the file, past it (the last block is cut short) or at a damaged header.
void end_of_walk(Run& run, ExtractJob* job) {
    int64_t at = job->block_start;
    if (at == run.file_size)
        return;
    std::vector<std::string> reasons;
    if (at > run.file_size) {
        if (run.cut_reported)
            return;
        reasons.push_back(format_text("the archive is cut short: its last block ends %lld bytes past the end "
                                      "of the file", (long long)(at - run.file_size)));
    } else {
        reasons.push_back(format_text("damaged block header at offset %lld: the walk stops there, %lld bytes "
                                      "before the end of the file",
                                      (long long)at, (long long)(run.file_size - at)));
    }
    report_failure(run, "archive", reasons);
}

// ---- Extraction targets ----

std::vector<std::string> name_parts(const char* name) {
    std::vector<std::string> parts;
    std::string part;
    for (const char* p = name;; ++p) {
        if (*p == '\\' || *p == '/' || *p == 0) {
            if (!part.empty())
                parts.push_back(part);
            part.clear();
            if (*p == 0)
                break;
        } else {
            part += *p;
        }
    }
    return parts;
}

bool is_reserved_device(const std::string& part) {
    // Windows ignores anything from the first dot on and trailing spaces when it looks for device names.
    std::string base = part.substr(0, part.find('.'));
    while (!base.empty() && base.back() == ' ')
        base.pop_back();
    for (char& c : base)
        if (c >= 'a' && c <= 'z')
            c = (char)(c - 'a' + 'A');
    static const char* const kDevices[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
    for (const char* device : kDevices)
        if (base == device)
            return true;
    if (base.size() == 4 && (base.compare(0, 3, "COM") == 0 || base.compare(0, 3, "LPT") == 0)) {
        unsigned char digit = (unsigned char)base[3];
        // 1..9 and the superscript digits 1, 2, 3 of the ANSI code page.
        if ((digit >= '1' && digit <= '9') || digit == 0xB9 || digit == 0xB2 || digit == 0xB3)
            return true;
    }
    return false;
}

// Creates the folders of PARTS[0..count) below the target folder. Existing ones must be real folders, not
// links, so that nothing is written through a link to elsewhere.
bool make_folders(Run& run, const std::vector<std::string>& parts, size_t count, std::string* error) {
    std::string path = run.dest;
    for (size_t i = 0; i < count; ++i) {
        path += parts[i];
        struct stat info;
        if (lstat(path.c_str(), &info) == 0) {
            if (!S_ISDIR(info.st_mode)) {
                *error = "'" + shown(path.c_str()) + "' exists and is not a folder";
                return false;
            }
        } else if (mkdir(path.c_str(), 0777) != 0) {
            *error = "cannot create folder '" + shown(path.c_str()) + "': " + strerror(errno);
            return false;
        }
        path += '/';
    }
    return true;
}

std::string target_path(const Run& run, const std::vector<std::string>& parts, size_t count) {
    std::string path = run.dest;
    for (size_t i = 0; i < count; ++i) {
        if (i)
            path += '/';
        path += parts[i];
    }
    return path;
}

// Output of one file entry during extract: a temporary file beside the target, renamed over it only when
// the entry is complete and verified.
struct Output {
    std::string final_path;
    std::string temp_path;
    FILE* file = nullptr;
};

bool open_output(Run& run, const char* name, Output* output, std::string* error) {
    std::vector<std::string> parts = name_parts(name);
    if (!make_folders(run, parts, parts.size() - 1, error))
        return false;
    output->final_path = target_path(run, parts, parts.size());
    std::string folder = target_path(run, parts, parts.size() - 1);
    if (!folder.empty() && folder.back() != '/')
        folder += '/';
    output->temp_path = folder + ".mksetup-XXXXXX";
    int fd = mkstemp(&output->temp_path[0]);
    if (fd < 0) {
        *error = "cannot create a file in '" + shown(folder.c_str()) + "': " + strerror(errno);
        return false;
    }
    mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, 0666 & ~mask);
    output->file = fdopen(fd, "w+b");
    if (!output->file) {
        *error = std::string("cannot open the new file: ") + strerror(errno);
        close(fd);
        unlink(output->temp_path.c_str());
        return false;
    }
    return true;
}

// Closes the output; on KEEP renames it over the target and stamps it, else deletes it. False (with
// *error) when writing, closing or renaming failed.
bool finish_output(Output* output, bool keep, const FileHeader& header, std::string* error) {
    bool ok = true;
    if (fflush(output->file) != 0 || ferror(output->file)) {
        *error = std::string("write error: ") + strerror(errno);
        ok = false;
    }
    if (fclose(output->file) != 0 && ok) {
        *error = std::string("write error: ") + strerror(errno);
        ok = false;
    }
    output->file = nullptr;
    if (!keep || !ok) {
        unlink(output->temp_path.c_str());
        return ok;
    }
    if (rename(output->temp_path.c_str(), output->final_path.c_str()) != 0) {
        *error = "cannot replace '" + shown(output->final_path.c_str()) + "': " + strerror(errno);
        unlink(output->temp_path.c_str());
        return false;
    }
    time_t stamp;
    if (dos_time_to_unix(header.file_time, &stamp)) {
        struct timespec times[2];
        times[0].tv_sec = times[1].tv_sec = stamp;
        times[0].tv_nsec = times[1].tv_nsec = 0;
        utimensat(AT_FDCWD, output->final_path.c_str(), times, AT_SYMLINK_NOFOLLOW);
    }
    if (header.file_attr & ATTR_READONLY) {
        struct stat info;
        if (stat(output->final_path.c_str(), &info) == 0)
            chmod(output->final_path.c_str(), info.st_mode & 07555);
    }
    return true;
}

// ---- Entries ----

void handle_folder_entry(Run& run, ExtractJob* job, const std::string& damaged_header) {
    const char* name = job->name;
    if (!damaged_header.empty()) {
        if (is_directory_entry(job->file_header))
            run.folders++;
        report_failure(run, shown(name), {damaged_header});
        return;
    }
    if ((job->file_header.file_attr & ATTR_VOLUME_LABEL) && !is_directory_entry(job->file_header)) {
        say(run.out, "label   %s\n", shown(name).c_str());
        return;
    }
    run.folders++;
    const char* unsafe = unsafe_name_reason(name);
    if (unsafe) {
        report_failure(run, shown(name),
                       {std::string(run.mode == Mode::extract ? "refused: " : "unsafe name: ") + unsafe});
        return;
    }
    if (run.mode == Mode::extract) {
        std::string error;
        std::vector<std::string> parts = name_parts(name);
        if (!make_folders(run, parts, parts.size(), &error)) {
            report_failure(run, shown(name), {error});
            return;
        }
    }
    say(run.out, "folder  %s\n", shown(name).c_str());
}

void handle_file_entry(Run& run, ExtractJob* job, const std::string& damaged_header) {
    const FileHeader& header = job->file_header;
    const char* name = job->name;
    const bool stored = header.method == METHOD_STORED;
    const bool solid = (header.head_flags & FILE_FLAG_SOLID) != 0;
    const int64_t data_start = (int64_t)job->block_start + header.head_size;
    const uint32_t packed = (header.head_flags & BLOCK_FLAG_HAS_DATA) ? header.pack_size : 0;
    const int64_t present = std::max<int64_t>(0, std::min<int64_t>(packed, run.file_size - data_start));
    run.files++;

    std::vector<std::string> reasons;
    bool decode = true;         // the entry goes through copy_stored or unpack_entry
    bool sound_stream = true;   // a compressed entry leaves the decoder's window as the archiver had it

    // Decoded all the same: the solid stream goes on through it. Never written, since its name, sizes and
    // checksum may all be wrong.
    if (!damaged_header.empty())
        reasons.push_back(damaged_header);
    if (header.head_flags & FILE_FLAG_SPLIT_BEFORE)
        reasons.push_back("continues from a previous volume");
    if (header.head_flags & FILE_FLAG_ENCRYPTED) {
        reasons.push_back("encrypted");
        sound_stream = false;
    }
    if (header.unp_ver < UNP_VER_MIN || header.unp_ver > UNP_VER_MAX) {
        reasons.push_back(format_text("unsupported version: needs unpack version %u (%d to %d are read)",
                                      header.unp_ver, UNP_VER_MIN, UNP_VER_MAX));
        sound_stream = false;
    }
    if (present < (int64_t)packed) {
        reasons.push_back(format_text("cut short: the file ends after %lld of its %u packed bytes",
                                      (long long)present, packed));
        run.cut_reported = true;
        sound_stream = false;
    }
    if (header.unp_size >= kTooLarge) {
        reasons.push_back(format_text("too large (%u bytes, 2 GiB or more): not decoded", header.unp_size));
        if (!stored)
            reasons.push_back("the solid stream cannot continue after it");
        decode = false;
    } else if (!stored && header.unp_ver < UNP_VER_LZ_MIN) {
        // The driver leaves these undecoded; only an empty one comes out right.
        if (header.unp_size != 0 || header.file_crc != 0) {
            if (header.unp_ver >= UNP_VER_MIN)
                reasons.push_back(format_text("unpack version %u: this older compression is not decoded",
                                              header.unp_ver));
            decode = false;
        }
    } else if (!stored && header.unp_size > (uint64_t)present * kMaxBytesPerPackedByte) {
        reasons.push_back(format_text("damaged: %u bytes cannot come from %lld packed bytes",
                                      header.unp_size, (long long)present));
        decode = false;
    } else if (!stored && solid && !run.broken_by.empty()) {
        reasons.push_back("not decoded: it continues the solid stream after '" + shown(run.broken_by.c_str()) +
                          "', which could not be decoded");
        decode = false;
    }
    if (header.head_flags & FILE_FLAG_SPLIT_AFTER)
        reasons.push_back("continues in another volume: the file is incomplete");
    const char* unsafe = unsafe_name_reason(name);
    if (unsafe)
        reasons.push_back(std::string(run.mode == Mode::extract ? "refused: " : "unsafe name: ") + unsafe);

    FILE* sink = nullptr;
    Output output;
    if (decode && run.mode == Mode::test) {
        sink = run.null_sink;
    } else if (decode && run.mode == Mode::extract && reasons.empty()) {
        std::string error;
        if (open_output(run, name, &output, &error))
            sink = output.file;
        else
            reasons.push_back(error);
    }

    if (decode) {
        file_seek(job->archive_file, (int32_t)std::min<int64_t>(data_start, INT32_MAX), 0);
        job->packed_file = job->archive_file;
        job->pack_left = (int32_t)packed;
        job->unp_left = (int32_t)header.unp_size;
        job->output_file = sink;
        job->skip_output = sink ? 0 : 1;
        job->data_crc = job->archive_format == ARCHIVE_FORMAT_OLD ? 0 : 0xFFFFFFFFu;
        if (stored) {
            if (copy_stored(job) != 0) {
                reasons.push_back("out of memory for the copy buffer");
                sink = nullptr;
            }
        } else if (header.unp_ver >= UNP_VER_LZ_MIN) {
            unpack_entry(job, job->window_buffer, solid ? FILE_FLAG_SOLID : 0);
        }
        job->output_file = nullptr;
        if (sink) {
            bool match = job->archive_format == ARCHIVE_FORMAT_OLD ? job->data_crc == header.file_crc
                                                                   : job->data_crc == ~header.file_crc;
            if (!match)
                reasons.push_back(format_text("checksum mismatch (stored 0x%08X, data gives 0x%08X)",
                                              header.file_crc,
                                              job->archive_format == ARCHIVE_FORMAT_OLD ? job->data_crc
                                                                                        : ~job->data_crc));
            else if (!reasons.empty())
                reasons.push_back("the checksum of the data present matches");
        }
    }
    if (output.file) {
        std::string error;
        if (!finish_output(&output, reasons.empty(), header, &error))
            reasons.push_back(error);
    }

    if (!stored) {
        if (!decode || !sound_stream) {
            if (run.broken_by.empty() || !solid)
                run.broken_by = name;
        } else if (!solid) {
            run.broken_by.clear();
        }
    }

    if (!reasons.empty()) {
        report_failure(run, shown(name), reasons);
        return;
    }
    if (run.mode == Mode::extract)
        say(run.out, "written %s\n", shown(name).c_str());
    else
        say(run.out, "OK      %s\n", shown(name).c_str());
}

// The driver's loop: every entry decoded in order, every other block passed over, the archive moved to the
// next block after each. It stops at every block, so that each header is checked.
void walk_entries(Run& run, ExtractJob* job) {
    check_main_header(run, job);
    skip_main_header(job);
    for (;;) {
        if (read_next_entry(job, 0) <= 0) {
            end_of_walk(run, job);
            return;
        }
        std::string damaged_header = check_block_header(run, job);
        if (job->block_header.head_type != BLOCK_FILE) {
            file_seek(job->archive_file, job->next_block, 0);
            continue;
        }
        if (read_next_entry(job, WALK_FILES_AND_SUBS) <= 0) {
            end_of_walk(run, job);
            return;
        }
        adjust_attributes(job);
        if (is_directory_entry(job->file_header) || (job->file_header.file_attr & ATTR_VOLUME_LABEL))
            handle_folder_entry(run, job, damaged_header);
        else
            handle_file_entry(run, job, damaged_header);
        file_seek(job->archive_file, job->next_block, 0);
    }
}

int finish_run(Run& run) {
    if (run.failed)
        say(run.out, "%d files, %d folders: %d failed\n", run.files, run.folders, run.failed);
    else
        say(run.out, "%d files, %d folders: all OK\n", run.files, run.folders);
    return run.failed ? EXIT_ENTRY_FAILED : EXIT_ALL_GOOD;
}

int decode_archive(Run& run, long* archive_offset) {
    if (archive_offset)
        *archive_offset = -1;
    ExtractJob* job;
    int code = open_job(run, &job);
    if (code != EXIT_ALL_GOOD)
        return code;
    if (archive_offset)
        *archive_offset = job->archive_start;
    if (describe_archive(run, job)) {
        if (run.mode == Mode::test) {
            run.null_sink = fopen("/dev/null", "wb");
            if (!run.null_sink)
                run.null_sink = tmpfile();
        }
        if (run.mode == Mode::test && !run.null_sink) {
            say(run.err, "mksetup: cannot open /dev/null: %s\n", strerror(errno));
            close_job(&job);
            return EXIT_USAGE_OR_NO_ARCHIVE;
        }
        walk_entries(run, job);
        if (run.null_sink)
            fclose(run.null_sink);
    }
    close_job(&job);
    return finish_run(run);
}

// ---- list ----

std::string flags_text(const FileHeader& header) {
    std::vector<std::string> words;
    if (header.head_flags & FILE_FLAG_SOLID)
        words.push_back("solid");
    if (header.head_flags & FILE_FLAG_SPLIT_BEFORE)
        words.push_back("split-before");
    if (header.head_flags & FILE_FLAG_SPLIT_AFTER)
        words.push_back("split-after");
    if (header.head_flags & FILE_FLAG_ENCRYPTED)
        words.push_back("encrypted");
    if ((header.head_flags & FILE_FLAG_DICT_MASK) == FILE_FLAG_DIRECTORY)
        words.push_back("directory");
    return words.empty() ? "-" : join(words, ",");
}

void list_file_block(Run& run, ExtractJob* job) {
    const FileHeader& header = job->file_header;
    const char* method = method_text(header.method);
    std::string method_shown = format_text("0x%02X", header.method);
    if (method)
        method_shown += std::string(" ") + method;
    say(run.out, "%-10d %-13s %10u %10u  %-12s %3u  %08X  %s  0x%08X %-6s 0x%04X %-22s %s\n", job->block_start,
        "file", header.unp_size, header.pack_size, method_shown.c_str(), header.unp_ver, header.file_crc,
        dos_time_text(header.file_time).c_str(), header.file_attr, host_text(header.host_os), header.head_flags,
        flags_text(header).c_str(), shown(job->name).c_str());
    run.files++;
}

void list_other_block(Run& run, ExtractJob* job) {
    const BlockHeader& block = job->block_header;
    std::string type = format_text("0x%02X %s", block.head_type, block_type_text(block.head_type));
    uint32_t data = (block.head_flags & BLOCK_FLAG_HAS_DATA) ? block.data_size : 0;
    say(run.out, "%-10d %-24s header %u bytes, data %u bytes, flags 0x%04X\n", job->block_start, type.c_str(),
        block.head_size, data, block.head_flags);
}

}  // namespace

// ---- Entry points ----

std::string dos_time_text(uint32_t dos_time) {
    DosFields f = dos_fields(dos_time);
    return format_text("%04u-%02u-%02u %02u:%02u:%02u", f.year, f.month, f.day, f.hour, f.minute, f.second);
}

const char* unsafe_name_reason(const char* name) {
    if (!name || !name[0])
        return "empty name";
    // The walk keeps at most MAX_NAME bytes of a name: one that long may have been cut, and no Windows
    // folder can hold it (folder, separator and name must stay within 259 characters).
    if (strlen(name) >= MAX_NAME)
        return "name of 259 bytes or more: too long for any install folder";
    if (name[0] == '\\' || name[0] == '/')
        return "absolute path";
    for (const unsigned char* p = (const unsigned char*)name; *p; ++p)
        if (*p < 0x20 || *p == 0x7F)
            return "control character in the name";
    if (strchr(name, ':')) {
        bool letter = (name[0] >= 'A' && name[0] <= 'Z') || (name[0] >= 'a' && name[0] <= 'z');
        return letter && name[1] == ':' ? "drive in the name" : "':' in the name (a drive or a stream)";
    }
    std::vector<std::string> parts = name_parts(name);
    if (parts.empty())
        return "empty name";
    for (const std::string& part : parts) {
        if (part == "..")
            return "'..' would climb out of the folder";
        // Windows drops trailing dots and spaces: "...", ". ." and the like name the folder itself.
        if (part.find_first_not_of(". ") == std::string::npos)
            return "a name part of dots only";
        if (is_reserved_device(part))
            return "reserved Windows device name";
    }
    return nullptr;
}

int test_archive_file(const char* path, FILE* out, FILE* err, long* archive_offset) {
    Run run;
    run.mode = Mode::test;
    run.path = path;
    run.out = out;
    run.err = err;
    return decode_archive(run, archive_offset);
}

int extract_archive_file(const char* path, const char* dest_dir, FILE* out, FILE* err) {
    Run run;
    run.mode = Mode::extract;
    run.path = path;
    run.out = out;
    run.err = err;
    run.dest = dest_dir;
    if (run.dest.empty())
        run.dest = ".";
    // The target folder itself may be created (with its parents); everything else stays below it.
    std::string partial;
    for (size_t i = 0; i <= run.dest.size(); ++i) {
        if (i == run.dest.size() || run.dest[i] == '/') {
            if (!partial.empty() && partial != "/")
                mkdir(partial.c_str(), 0777);
        }
        if (i < run.dest.size())
            partial += run.dest[i];
    }
    struct stat info;
    if (stat(run.dest.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
        say(err, "mksetup: %s: cannot create the folder\n", dest_dir);
        return EXIT_USAGE_OR_NO_ARCHIVE;
    }
    if (run.dest.back() != '/')
        run.dest += '/';
    return decode_archive(run, nullptr);
}

int list_archive_file(const char* path, FILE* out, FILE* err) {
    Run run;
    run.mode = Mode::list;
    run.path = path;
    run.out = out;
    run.err = err;
    ExtractJob* job;
    int code = open_job(run, &job);
    if (code != EXIT_ALL_GOOD)
        return code;
    if (describe_archive(run, job)) {
        const MainHeader& main = job->main_header;
        std::vector<std::string> words;
        if (main.head_flags & MAIN_FLAG_VOLUME)
            words.push_back("volume");
        if (main.head_flags & MAIN_FLAG_SOLID)
            words.push_back("solid");
        say(run.out, "Main header: flags 0x%04X%s%s%s, size %u\n", main.head_flags, words.empty() ? "" : " (",
            join(words, ", ").c_str(), words.empty() ? "" : ")", main.head_size);
        say(run.out, "%-10s %-13s %10s %10s  %-12s %3s  %-8s  %-19s  %-10s %-6s %-6s %-22s %s\n", "Offset", "Block",
            "Unpacked", "Packed", "Method", "Ver", "CRC", "Modified", "Attributes", "Host", "Flags", "Notes", "Name");
        check_main_header(run, job);
        skip_main_header(job);
        for (;;) {
            // Stop at every block; file headers are then read again with their names.
            if (read_next_entry(job, 0) <= 0) {
                end_of_walk(run, job);
                break;
            }
            std::string damaged_header = check_block_header(run, job);
            if (job->block_header.head_type == BLOCK_FILE) {
                if (read_next_entry(job, WALK_FILES_AND_SUBS) <= 0) {
                    end_of_walk(run, job);
                    break;
                }
                list_file_block(run, job);
                if (!damaged_header.empty())
                    report_failure(run, shown(job->name), {damaged_header});
            } else {
                list_other_block(run, job);
            }
            file_seek(job->archive_file, job->next_block, 0);
        }
        say(run.out, "%d file entries\n", run.files);
    }
    close_job(&job);
    return run.failed ? EXIT_ENTRY_FAILED : EXIT_ALL_GOOD;
}
