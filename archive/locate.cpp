// Finding the archive inside the setup file and reading its main header.
#include "archive/archive_reader.h"

#include <string.h>

#include "archive/extract_job.h"
#include "archive/stream.h"
#include "unpack/unpack.h"

namespace {

uint16_t get16(const uint8_t* p) { return (uint16_t)(p[0] | (p[1] << 8)); }

uint32_t get32(const uint8_t* p) {
    return (uint32_t)p[0] | ((uint32_t)p[1] << 8) | ((uint32_t)p[2] << 16) | ((uint32_t)p[3] << 24);
}

void decode_main_header(const uint8_t* b, MainHeader* h) {
    h->head_crc = get16(b);
    h->head_type = b[2];
    h->head_flags = get16(b + 3);
    h->head_size = get16(b + 5);
    h->reserved1 = get16(b + 7);
    h->reserved2 = get32(b + 9);
}

void decode_file_header(const uint8_t* b, FileHeader* h) {
    h->head_crc = get16(b);
    h->head_type = b[2];
    h->head_flags = get16(b + 3);
    h->head_size = get16(b + 5);
    h->pack_size = get32(b + 7);
    h->unp_size = get32(b + 11);
    h->host_os = b[15];
    h->file_crc = get32(b + 16);
    h->file_time = get32(b + 20);
    h->unp_ver = b[24];
    h->method = b[25];
    h->name_size = get16(b + 26);
    h->file_attr = get32(b + 28);
}

// The marker's first byte and its tail are compared apart: see format.h.
bool is_rar_marker(const uint8_t* p) {
    return p[0] == MARKER_FIRST && memcmp(p + 1, kRarMarkerTail, sizeof kRarMarkerTail) == 0;
}

bool is_old_marker(const uint8_t* p) {
    return p[0] == MARKER_FIRST && memcmp(p + 1, kOldMarkerTail, sizeof kOldMarkerTail) == 0;
}

// Whether buffer positions first..first+count-1 all lie inside the scan buffer.
bool in_scan_buffer(int32_t first, int32_t count) {
    return first >= 0 && first <= SCAN_BUFFER_SIZE - count;
}

int32_t archive_kind_for(const ExtractJob* job, int32_t plain_kind) {
    return (job->main_header.head_flags & MAIN_FLAG_VOLUME) ? ARCHIVE_KIND_VOLUME : plain_kind;
}

// Looks for the archive in the bytes after the first 7; sets the job's fields on a hit.
void scan_for_archive(ExtractJob* job) {
    uint8_t* buffer = (uint8_t*)alloc_zeroed(SCAN_BUFFER_SIZE);
    if (!buffer)
        return;
    long tell = ftell(job->archive_file);
    if (tell < 0 || tell > 0x7FFFFFFFL - SCAN_BUFFER_SIZE) {
        free_and_clear(&buffer);
        return;
    }
    int32_t start = (int32_t)tell;
    int32_t count = (int32_t)file_read(job->archive_file, buffer, SCAN_READ_SIZE);

    // The "RSFX" tag sits at fixed file offsets; it counts only when those lie inside the buffer.
    int32_t tag_pos = SFX_TAG_OFFSET - start;
    bool sfx_tagged = in_scan_buffer(tag_pos, sizeof kSfxTag) &&
                      memcmp(buffer + tag_pos, kSfxTag, sizeof kSfxTag) == 0;

    for (int32_t pos = 0; job->archive_kind == ARCHIVE_KIND_NONE && pos < count;) {
        const uint8_t* hit = (const uint8_t*)memchr(buffer + pos, MARKER_FIRST, (size_t)(count - pos));
        if (!hit)
            break;
        int32_t r = (int32_t)(hit - buffer);
        pos = r + 1;
        if (sfx_tagged && in_scan_buffer(r, OLD_MARKER_SIZE) && is_old_marker(buffer + r)) {
            job->archive_format = ARCHIVE_FORMAT_OLD;
            job->archive_start = start + r;
            file_seek(job->archive_file, job->archive_start, 0);
            read_header(job, BLOCK_MAIN);
            job->archive_kind = ARCHIVE_KIND_EMBEDDED;
        } else if (in_scan_buffer(r, MARKER_SIZE + 3) && is_rar_marker(buffer + r) &&
                   buffer[r + MARKER_SIZE + 2] == BLOCK_MAIN) {
            job->archive_format = ARCHIVE_FORMAT_RAR2;
            job->archive_start = start + r;
            file_seek(job->archive_file, job->archive_start, 0);
            file_read(job->archive_file, job->mark, MARKER_SIZE);
            // The first hit wins; one cut inside its main header is a damaged archive, not an empty one
            // that would install nothing and report success.
            if (read_header(job, BLOCK_MAIN) != MAIN_HEADER_SIZE)
                break;
            job->archive_kind = archive_kind_for(job, ARCHIVE_KIND_EMBEDDED);
        }
    }
    free_and_clear(&buffer);
}

}  // namespace

int32_t read_header(ExtractJob* job, int kind) {
    // Decoded from a zeroed buffer: a short read leaves the undelivered fields zero.
    uint8_t bytes[FILE_HEADER_SIZE];
    memset(bytes, 0, sizeof bytes);
    if (kind == BLOCK_MAIN) {
        int32_t got = (int32_t)file_read(job->archive_file, bytes, MAIN_HEADER_SIZE);
        decode_main_header(bytes, &job->main_header);
        return got;
    }
    if (kind == BLOCK_FILE) {
        int32_t got = (int32_t)file_read(job->archive_file, bytes, FILE_HEADER_SIZE);
        decode_file_header(bytes, &job->file_header);
        return got;
    }
    return 0;
}

int32_t open_archive(ExtractJob* job) {
    job->archive_kind = ARCHIVE_KIND_NONE;
    job->archive_start = 0;
    job->archive_format = 0;

    if (file_read(job->archive_file, job->mark, MARKER_SIZE) < MARKER_SIZE)
        return ARCHIVE_KIND_NONE;

    if (is_rar_marker(job->mark)) {
        job->archive_format = ARCHIVE_FORMAT_RAR2;
        if (read_header(job, BLOCK_MAIN) != MAIN_HEADER_SIZE)
            return ARCHIVE_KIND_NONE;
        job->archive_kind = archive_kind_for(job, ARCHIVE_KIND_AT_START);
    } else {
        scan_for_archive(job);
        if (job->archive_kind == ARCHIVE_KIND_NONE)
            return ARCHIVE_KIND_NONE;
    }
    job->main_bytes_read = MAIN_HEADER_SIZE;
    return job->archive_kind;
}
