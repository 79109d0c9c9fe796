// libFuzzer target: any byte string as a whole setup file, through the locator, the block walk and the
// decoding of every entry, the way the extraction driver runs them.
#include <stdint.h>
#include <stdio.h>

#include "archive/archive_reader.h"
#include "archive/format.h"
#include "archive/stream.h"
#include "fuzz/fuzz_common.h"
#include "unpack/format.h"

namespace {

// A tiny input may claim huge sizes: decoding is bounded so that every input finishes quickly.
const uint32_t kMaxEntryBytes = WINDOW_SIZE + 65536;  // enough to wrap the window
const uint64_t kMaxTotalBytes = WINDOW_SIZE + 65536;
const int kMaxEntries = 64;

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
        job->output_file = (entries & 1) ? nullptr : fuzz::null_sink();
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
    FILE* file = fuzz::file_of(data, size);
    if (!file)
        return 0;
    ExtractJob* job = fuzz::new_job(false);  // the window only for an archive
    if (job) {
        job->archive_file = file;
        if (open_archive(job) != ARCHIVE_KIND_NONE)
            walk_and_decode(job);
        fuzz::free_job(job);
    }
    fclose(file);
    return 0;
}
