// The extraction driver: chooses entries by language, writes them, checks and stamps them.
#include "archive/extract.h"

#include <stdio.h>
#include <string.h>

#include "app/languages.h"
#include "archive/archive_reader.h"
#include "archive/checksum.h"
#include "archive/extract_job.h"
#include "archive/stream.h"
#include "system/paths.h"
#include "unpack/unpack.h"

namespace {

enum {
    PROGRESS_LABEL_ID = 107,
    MATCH_PATTERN_SIZE = 16,      // the prefix and a language code, at most 15 characters
    LARGEST_ENTRY = 0x7FFFFFFF,   // the decoder counts in signed 32 bits
};

const char kArchiveMode[] = "rb";
const char kOutputMode[] = "w+b";
const int kArchiveShare = 1;   // others may read the setup file, not write it
const int kOutputShare = 2;    // no sharing restriction

// Why an entry may not be written at all.
enum Refusal {
    ACCEPTED = 0,
    UNSAFE_NAME,     // absolute, drive or stream, a device, or a way out of the install folder
    PATH_TOO_LONG,   // install folder and name need more than PATH_SIZE - 1 characters
    TOO_LARGE,       // 2 GiB or more packed or unpacked
};

char ascii_lower(char c) {
    return (c >= 'A' && c <= 'Z') ? (char)(c - 'A' + 'a') : c;
}

bool same_ignoring_case(const char* a, const char* b, size_t count) {
    for (size_t i = 0; i < count; i++) {
        if (ascii_lower(a[i]) != ascii_lower(b[i]))
            return false;
        if (a[i] == '\0')
            return true;
    }
    return true;
}

bool is_separator(char c) {
    return c == '\\' || c == '/';
}

// CON, PRN, AUX, NUL, COM0-9, LPT0-9 and the superscript-digit forms (with or without an extension) open
// a device, not a file.
bool is_device_name(const char* part, size_t length) {
    static const char* const kDevices[] = {"con", "prn", "aux", "nul", "conin$", "conout$"};
    size_t base = 0;
    while (base < length && part[base] != '.')
        base++;
    while (base > 0 && part[base - 1] == ' ')
        base--;
    for (const char* device : kDevices) {
        if (strlen(device) == base && same_ignoring_case(part, device, base))
            return true;
    }
    if (base == 4 && (same_ignoring_case(part, "com", 3) || same_ignoring_case(part, "lpt", 3)))
        return (part[3] >= '0' && part[3] <= '9') || part[3] == '\xB9' || part[3] == '\xB2' ||
               part[3] == '\xB3';
    return false;
}

// A name is safe when the file it names lies inside the install folder: relative, without a drive or
// stream colon, no device, and no ".." that climbs above the folder. Components made of dots and blanks
// other than "." and ".." are refused too: Windows trims them, so what they name is not what they show.
bool is_safe_name(const char* name) {
    if (is_separator(name[0]) || strchr(name, ':'))
        return false;
    int depth = 0;
    const char* part = name;
    while (*part) {
        size_t length = 0;
        while (part[length] && !is_separator(part[length]))
            length++;
        bool dots_and_blanks = length > 0;
        for (size_t i = 0; i < length && dots_and_blanks; i++)
            dots_and_blanks = part[i] == '.' || part[i] == ' ';
        if (dots_and_blanks) {
            if (length == 2 && part[0] == '.' && part[1] == '.') {
                if (--depth < 0)
                    return false;
            } else if (!(length == 1 && part[0] == '.')) {
                return false;
            }
        } else if (length > 0) {
            if (is_device_name(part, length))
                return false;
            depth++;
        }
        part += length;
        if (*part)
            part++;
    }
    return true;
}

Refusal check_entry(const ExtractJob* job, const char* path_dir) {
    const FileHeader& h = job->file_header;
    if (h.pack_size > LARGEST_ENTRY || h.unp_size > LARGEST_ENTRY)
        return TOO_LARGE;
    if (!is_safe_name(job->name))
        return UNSAFE_NAME;
    if (strlen(path_dir) + strlen(job->name) > PATH_SIZE - 1)
        return PATH_TOO_LONG;
    return ACCEPTED;
}

// How many selected packages want the entry (0: it is not installed). An earlier copy of a language
// file whose package is not selected is deleted.
int wanted_count(const ExtractJob* job, const char* path) {
    const char* name = job->name;
    if (name[0] == '\0')
        return file_exists(path) != 0 ? 1 : 0;

    size_t prefix_length = strlen(file_prefix);
    size_t dot_pos = prefix_length + strlen(language_table[0].code);
    if (dot_pos + 1 >= MATCH_PATTERN_SIZE)
        return 1;  // no language name can be formed: nothing is a language file
    if (strlen(name) <= dot_pos || name[dot_pos] != '.')
        return 1;

    int wanted = 0;
    for (const LanguageEntry* row = language_table; row->code; ++row) {
        char pattern[MATCH_PATTERN_SIZE];
        size_t compare;
        memcpy(pattern, file_prefix, prefix_length);
        if (row->code[0] && row->code[1] && row->code[2] == '?') {
            pattern[prefix_length] = '_';
            pattern[prefix_length + 1] = '\0';
            compare = prefix_length + 1;
        } else {
            size_t code_length = strlen(row->code);
            if (prefix_length + code_length >= MATCH_PATTERN_SIZE)
                continue;
            memcpy(pattern + prefix_length, row->code, code_length + 1);
            compare = dot_pos;
        }
        if (!same_ignoring_case(name, pattern, compare))
            continue;
        if (row->selected)
            wanted++;
        else if (file_exists(path) == 0)
            DeleteFileA(path);
        return wanted;
    }
    return wanted + 1;
}

// Creates the folders of the entry's name inside the install folder.
void make_entry_dirs(const char* path) {
    uint16_t after = last_separator(path);
    if (after > 1 && path[after - 1] == '\\') {
        char dir[PATH_SIZE];
        memcpy(dir, path, after - 1);
        dir[after - 1] = '\0';
        make_dirs(dir);
    }
}

// Pushes what the stream still buffers to the file: 0 when every byte written so far reached it.
// A full disk shows here, not in the checksum, when the last bytes of an entry were still buffered.
int finish_output(FILE* output) {
    int failed = fflush(output) != 0 || ferror(output);
    return failed ? 1 : 0;
}

// The archived time (DOS local time) as last-write time, then the archived attributes.
void stamp_file(const char* path, const FileHeader& h) {
    // Reading the times needs FILE_READ_ATTRIBUTES besides the write access.
    HANDLE file = CreateFileA(path, GENERIC_WRITE | FILE_READ_ATTRIBUTES, FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        FILETIME created, accessed, written;
        if (GetFileTime(file, &created, &accessed, &written)) {
            FILETIME local, utc;
            if (DosDateTimeToFileTime((WORD)(h.file_time >> 16), (WORD)(h.file_time & 0xFFFF), &local) &&
                LocalFileTimeToFileTime(&local, &utc))
                SetFileTime(file, &created, &accessed, &utc);
        }
        CloseHandle(file);
    }
    SetFileAttributesA(path, h.file_attr);
}

// Runs the decoder over the entry's packed data; with no output file the entry is decoded as skipped.
// Returns the stored copy's result (0, or -1 without memory), 0 for compressed entries.
int decode_entry(ExtractJob* job, FILE* output) {
    const FileHeader& h = job->file_header;
    job->data_crc = job->archive_format == ARCHIVE_FORMAT_OLD ? 0 : 0xFFFFFFFFu;
    job->pack_left = (int32_t)h.pack_size;
    job->unp_left = (int32_t)h.unp_size;
    job->packed_file = job->archive_file;
    job->output_file = output;
    job->skip_output = output ? 0 : 1;
    int result = 0;
    if (h.method == METHOD_STORED)
        result = copy_stored(job);
    else if (h.unp_ver >= UNP_VER_LZ_MIN)
        unpack_entry(job, job->window_buffer, h.head_flags & FILE_FLAG_SOLID);
    job->output_file = nullptr;
    return result;
}

bool checksum_matches(const ExtractJob* job) {
    const FileHeader& h = job->file_header;
    if (job->archive_format == ARCHIVE_FORMAT_OLD)
        return job->data_crc == h.file_crc;
    return job->data_crc == ~h.file_crc;
}

// Leaves the entry's data behind: the archive stands at the next block.
void finish_entry(ExtractJob* job) {
    file_seek(job->archive_file, job->next_block, 0);
}

// Handles one file entry; returns the run's result code after it.
int handle_entry(HWND owner, ExtractJob* job, int result) {
    const FileHeader& h = job->file_header;
    const bool split = (h.head_flags & FILE_FLAG_SPLIT_AFTER) != 0;
    file_seek(job->archive_file, job->next_block - (int32_t)h.pack_size, 0);

    const bool supported = h.unp_ver >= UNP_VER_MIN && h.unp_ver <= UNP_VER_MAX;
    // Nothing is created for a folder or a volume label: folders come from the names of their files.
    if (h.file_attr & (ATTR_VOLUME_LABEL | ATTR_DIRECTORY))
        return supported ? result : EXTRACT_FAILED;

    Refusal refusal = check_entry(job, job->dest_dir);
    if (refusal != ACCEPTED) {
        // Refused before anything is touched. An entry too large for the decoder's counters is not decoded;
        // the run ends after this entry anyway.
        show_cannot_install(owner, job->name);
        if (refusal != TOO_LARGE) {
            SetDlgItemTextA(owner, PROGRESS_LABEL_ID, job->name);
            decode_entry(job, nullptr);
        }
        finish_entry(job);
        return result ? result : EXTRACT_FAILED;
    }

    char path[PATH_SIZE];
    lstrcpyA(path, job->dest_dir);
    lstrcatA(path, job->name);

    bool write = wanted_count(job, path) != 0;
    if (!supported) {
        write = false;
        result = EXTRACT_FAILED;
    }

    FILE* output = nullptr;
    if (write) {
        make_entry_dirs(path);
        if (file_exists(path) == 0)
            DeleteFileA(path);
        output = file_open(path, kOutputMode, kOutputShare);
        if (!output) {
            show_cannot_install(owner, path);
            result = result ? result : EXTRACT_FAILED;
        }
    }

    SetDlgItemTextA(owner, PROGRESS_LABEL_ID, job->name);
    int copied = decode_entry(job, output);
    // A clean copy does not clear an error of this entry: the file is still missing.
    if (copied != 0 && result == 0)
        result = copied;
    finish_entry(job);

    bool bad = false;
    if (output) {
        bad = finish_output(output) != 0 || !checksum_matches(job);
        if (bad)
            result = EXTRACT_BAD_CHECKSUM;
        file_close(output);
    }

    if (bad) {
        show_cannot_install(owner, job->name);
        DeleteFileA(path);
    } else if (split) {
        // The rest of the file is in a next volume, which cannot be opened: the part is not the file.
        if (output)
            DeleteFileA(path);
        if (result == 0) {
            show_cannot_install(owner, job->name);
            result = EXTRACT_NO_ARCHIVE;
        }
    } else if (job->name[0] != '\0') {
        stamp_file(path, h);
    }
    return result;
}

// The walk ends at a file header whose data would reach past 2 GiB, leaving that header in the job and the
// stream after its fixed part. Such an entry is refused like any too large one rather than taken for the end
// of the archive: its name is read for the message.
bool walk_stopped_at_huge_entry(ExtractJob* job) {
    const FileHeader& h = job->file_header;
    if (h.head_type != BLOCK_FILE || !(h.head_flags & BLOCK_FLAG_HAS_DATA) || h.head_size < FILE_HEADER_SIZE ||
        h.pack_size <= LARGEST_ENTRY)
        return false;
    uint32_t name_size = h.name_size > (uint32_t)MAX_NAME ? (uint32_t)MAX_NAME : h.name_size;
    memset(job->name, 0, sizeof job->name);
    file_read(job->archive_file, job->name, name_size);
    normalize_entry(job);
    return true;
}

}  // namespace

int extract_entries(HWND owner, ExtractJob* job) {
    job->archive_file = file_open(job->archive_path, kArchiveMode, kArchiveShare);
    if (!job->archive_file)
        return EXTRACT_NO_ARCHIVE;
    if (open_archive(job) == ARCHIVE_KIND_NONE) {
        file_close(job->archive_file);
        job->archive_file = nullptr;
        return EXTRACT_NO_ARCHIVE;
    }
    job->window_buffer = (uint8_t*)alloc_zeroed(WINDOW_SIZE);
    if (!job->window_buffer) {
        file_close(job->archive_file);
        job->archive_file = nullptr;
        return EXTRACT_NO_WINDOW;
    }
    // The rest of a longer main header; a damaged one shorter than its fixed part does not move us back.
    int32_t rest = (int32_t)job->main_header.head_size - job->main_bytes_read;
    if (rest > 0)
        file_seek(job->archive_file, rest, 1);
    job->split_after = 0;

    int result = EXTRACT_OK;
    bool first_entry = true;
    while (result == EXTRACT_OK) {
        // A split entry ends the run with its own error, so the end of the walk always ends the loop.
        if (read_next_entry(job, WALK_FILES_AND_SUBS) <= 0) {
            if (walk_stopped_at_huge_entry(job)) {
                show_cannot_install(owner, job->name);
                result = EXTRACT_FAILED;
            }
            break;
        }
        if (job->block_header.head_type == BLOCK_SUB) {
            file_seek(job->archive_file, job->next_block, 0);
            continue;
        }
        // A damaged header may name another file, change its sizes or hide a folder entry: nothing of it
        // is used. Its checksum may leave a file comment out, as older archivers wrote it.
        const FileHeader& h = job->file_header;
        if (!header_checksum_matches(job, job->block_start, h.head_size, h.head_crc,
                                     FILE_HEADER_SIZE + h.name_size, 0, nullptr)) {
            // A name lost to the damage leaves the setup's own file to name.
            const char* caption = job->name[0] ? job->name : job->archive_path;
            SetDlgItemTextA(owner, PROGRESS_LABEL_ID, job->name);
            show_cannot_install(owner, caption);
            result = EXTRACT_BAD_CHECKSUM;
            break;
        }
        adjust_attributes(job);
        if ((job->file_header.head_flags & FILE_FLAG_SPLIT_BEFORE) && first_entry) {
            result = EXTRACT_NO_ARCHIVE;
            break;
        }
        first_entry = false;
        job->split_after = job->file_header.head_flags & FILE_FLAG_SPLIT_AFTER;
        result = handle_entry(owner, job, result);
    }

    free_and_clear(&job->window_buffer);
    file_close(job->archive_file);
    job->archive_file = nullptr;
    return result;
}

int extract_archive(HWND owner, const char* archive_path, char* folder) {
    ExtractJob* job = (ExtractJob*)alloc_zeroed(sizeof(ExtractJob));
    if (!job)
        return EXTRACT_FAILED;
    job->archive_path = archive_path;
    job->dest_dir = folder;
    // The caller's buffer holds one character more than a path; without room no entry path could fit.
    if (add_separator(folder, PATH_SIZE + 1) != 0) {
        free_and_clear(&job);
        show_cannot_install(owner, folder);
        return EXTRACT_FAILED;
    }
    for (int i = 0; i < MAX_AUDIO_CHANNELS; i++)
        job->audio_tables[i] = &job->audio_table_store[i];
    build_crc_table(job);
    int result = extract_entries(owner, job);
    free_and_clear(&job);
    return result;
}
