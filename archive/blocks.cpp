// Walking the archive's block headers up to the next entry.
#include "archive/archive_reader.h"

#include <string.h>

#include "archive/checksum.h"
#include "archive/extract_job.h"
#include "archive/stream.h"

namespace {

// Two's-complement wrap of a 32-bit sum, without relying on a narrowing conversion.
int32_t wrap_to_int32(uint32_t value) {
    if (value <= 0x7FFFFFFFu)
        return (int32_t)value;
    return -(int32_t)(~value) - 1;
}

// The current position, or -1 when the stream cannot tell one that fits our 32-bit offsets.
int32_t current_position(FILE* stream) {
    if (!stream)
        return -1;
    long pos = ftell(stream);
    if (pos < 0 || pos > 0x7FFFFFFFL)
        return -1;
    return (int32_t)pos;
}

uint32_t attributes_for_flags(uint16_t head_flags) {
    return (head_flags & FILE_FLAG_DICT_MASK) == FILE_FLAG_DIRECTORY ? ATTR_DIRECTORY : ATTR_ARCHIVE;
}

}  // namespace

int32_t read_next_entry(ExtractJob* job, uint32_t request) {
    const FileHeader kept = job->file_header;
    const uint32_t wanted = request & 0xFF;
    const bool stop_at_sub = (request & WALK_STOP_AT_SUB) != 0;

    int32_t got = 0;
    int32_t last_start = -1;
    for (;;) {
        int32_t start = current_position(job->archive_file);
        // Every step must move forward; a stream that did not follow the seek ends the walk.
        if (start < 0 || start <= last_start) {
            job->file_header = kept;
            return 0;
        }
        job->block_start = start;
        last_start = start;
        got = read_header(job, BLOCK_FILE);
        if (got == 0)
            break;

        const FileHeader& h = job->file_header;
        if (h.head_size < BLOCK_PREFIX_SIZE)
            return 0;
        uint32_t end = (uint32_t)job->block_start + h.head_size;
        if (h.head_flags & BLOCK_FLAG_HAS_DATA)
            end += h.pack_size;
        job->next_block = wrap_to_int32(end);
        if (job->next_block <= job->block_start)
            return 0;

        if (wanted == 0 || h.head_type == wanted || (h.head_type == BLOCK_SUB && stop_at_sub))
            break;
        file_seek(job->archive_file, job->next_block, 0);
    }

    if (got > 0) {
        const FileHeader& h = job->file_header;
        job->block_header.head_crc = h.head_crc;
        job->block_header.head_type = h.head_type;
        job->block_header.head_flags = h.head_flags;
        job->block_header.head_size = h.head_size;
        job->block_header.data_size = h.pack_size;
        if (h.head_type == BLOCK_FILE && wanted == BLOCK_FILE) {
            if (job->file_header.name_size > MAX_NAME)
                job->file_header.name_size = MAX_NAME;
            uint32_t name_size = job->file_header.name_size;
            // A name cut by the end of the file keeps no bytes of the previous one.
            memset(job->name, 0, sizeof job->name);
            file_read(job->archive_file, job->name, name_size);
            normalize_entry(job);
            return got + (int32_t)name_size;
        }
    }

    job->file_header = kept;
    file_seek(job->archive_file, job->block_start, 0);
    return got;
}

void normalize_entry(ExtractJob* job) {
    FileHeader& h = job->file_header;
    if (h.host_os > HOST_UNIX) {
        h.host_os = HOST_MSDOS;
        h.file_attr = attributes_for_flags(h.head_flags);
    }
    for (char* p = job->name; *p; p++) {
        if (*p == '/')
            *p = '\\';
    }
}

void adjust_attributes(ExtractJob* job) {
    FileHeader& h = job->file_header;
    if (h.host_os >= HOST_UNIX)
        h.file_attr = attributes_for_flags(h.head_flags);
}

int header_checksum_matches(ExtractJob* job, int32_t block_start, uint16_t head_size, uint16_t stored,
                            uint32_t short_size, uint32_t covered_data, uint16_t* whole) {
    if (whole)
        *whole = 0;
    if (head_size < BLOCK_PREFIX_SIZE)
        return 0;
    file_seek(job->archive_file, block_start + 2, 0);
    const uint32_t header_end = head_size;
    const uint32_t data_end = header_end + covered_data;
    uint32_t crc = 0xFFFFFFFFu;
    uint32_t at = 2;  // bytes of the block taken into the checksum so far
    int match = 0;
    uint8_t chunk[512];
    while (at < data_end) {
        // Each reading's end is a stop, so that its checksum can be taken there.
        uint32_t stop = data_end;
        if (short_size > at && short_size < stop)
            stop = short_size;
        if (header_end > at && header_end < stop)
            stop = header_end;
        uint32_t want = stop - at < sizeof chunk ? stop - at : (uint32_t)sizeof chunk;
        uint32_t got = file_read(job->archive_file, chunk, want);
        crc = crc32_update(job, crc, chunk, got);
        at += got;
        if (got < want)
            break;
        if (at == header_end && whole)
            *whole = (uint16_t)~crc;
        if ((at == short_size || at == header_end || (covered_data && at == data_end)) && (uint16_t)~crc == stored)
            match = 1;
    }
    return at >= header_end ? match : 0;
}
