// libFuzzer target: any byte string as a whole setup file, through the locator, the block walk and the
// decoding of every entry, the way the extraction driver runs them.
#include <stdint.h>
#include <stdio.h>
#include <sys/mman.h>
#include <unistd.h>

#include "archive/archive_reader.h"
#include "archive/checksum.h"
#include "archive/extract_job.h"
#include "archive/format.h"
#include "archive/stream.h"
#include "unpack/format.h"
#include "unpack/unpack.h"

namespace {

// A tiny input may claim huge sizes: decoding is bounded so that every input finishes quickly.
const uint32_t kMaxEntryBytes = WINDOW_SIZE + 65536;  // enough to wrap the window
const uint64_t kMaxTotalBytes = WINDOW_SIZE + 65536;
const int kMaxEntries = 64;

FILE* null_sink() {
    static FILE* sink = fopen("/dev/null", "wb");
    return sink;
}

// The input as a real file, so that seeks past its end behave as they do on disk.
FILE* file_of(const uint8_t* data, size_t size) {
    int fd = memfd_create("archive", 0);
    if (fd < 0)
        return nullptr;
    size_t done = 0;
    while (done < size) {
        ssize_t put = write(fd, data + done, size - done);
        if (put <= 0) {
            close(fd);
            return nullptr;
        }
        done += (size_t)put;
    }
    lseek(fd, 0, SEEK_SET);
    FILE* file = fdopen(fd, "rb");
    if (!file)
        close(fd);
    return file;
}

void walk_and_decode(ExtractJob* job) {
    job->window_buffer = (uint8_t*)alloc_zeroed(WINDOW_SIZE);
    if (!job->window_buffer)
        return;
    file_seek(job->archive_file, (int32_t)job->main_header.head_size - job->main_bytes_read, 1);
    uint64_t total = 0;
    for (int entries = 0; entries < kMaxEntries; ++entries) {
        if (read_next_entry(job, WALK_FILES_AND_SUBS) <= 0)
            break;
        if (job->block_header.head_type == BLOCK_SUB) {
            file_seek(job->archive_file, job->next_block, 0);
            continue;
        }
        adjust_attributes(job);
        const FileHeader& header = job->file_header;
        if ((header.file_attr & (ATTR_VOLUME_LABEL | ATTR_DIRECTORY)) || header.unp_size > kMaxEntryBytes) {
            file_seek(job->archive_file, job->next_block, 0);
            continue;
        }
        total += header.unp_size;
        if (total > kMaxTotalBytes)
            break;
        file_seek(job->archive_file, job->next_block - (int32_t)header.pack_size, 0);
        // Alternate written and skipped entries: both paths of the output run.
        job->output_file = (entries & 1) ? nullptr : null_sink();
        job->skip_output = job->output_file ? 0 : 1;
        job->packed_file = job->archive_file;
        job->pack_left = (int32_t)header.pack_size;
        job->unp_left = (int32_t)header.unp_size;
        job->data_crc = job->archive_format == ARCHIVE_FORMAT_OLD ? 0 : 0xFFFFFFFFu;
        if (header.method == METHOD_STORED)
            copy_stored(job);
        else if (header.unp_ver >= UNP_VER_LZ_MIN)
            unpack_entry(job, job->window_buffer, header.head_flags & FILE_FLAG_SOLID);
        file_seek(job->archive_file, job->next_block, 0);
    }
    free_and_clear(&job->window_buffer);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FILE* file = file_of(data, size);
    if (!file)
        return 0;
    ExtractJob* job = (ExtractJob*)alloc_zeroed(sizeof(ExtractJob));
    if (job) {
        for (int i = 0; i < MAX_AUDIO_CHANNELS; ++i)
            job->audio_tables[i] = &job->audio_table_store[i];
        build_crc_table(job);
        job->archive_file = file;
        if (open_archive(job) != ARCHIVE_KIND_NONE)
            walk_and_decode(job);
        free_and_clear(&job);
    }
    fclose(file);
    return 0;
}
