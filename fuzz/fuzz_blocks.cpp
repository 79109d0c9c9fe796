// libFuzzer target: the locator and the block walk on any bytes, without decoding: every header kind,
// sub-blocks included, and the attribute and name clean-up the driver applies to each entry.
#include <stdint.h>
#include <string.h>

#include "archive/archive_reader.h"
#include "archive/format.h"
#include "archive/stream.h"
#include "fuzz/fuzz_common.h"

namespace {
const int kMaxBlocks = 4096;  // a walk must end; the input cannot hold more headers than this anyway
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FILE* file = fuzz::file_of(data, size);
    if (!file)
        return 0;
    ExtractJob* job = fuzz::new_job(false);
    if (job) {
        job->archive_file = file;
        if (open_archive(job) != ARCHIVE_KIND_NONE) {
            file_seek(file, (int32_t)job->main_header.head_size - job->main_bytes_read, 1);
            // The first input byte picks whether the walk stops at sub-blocks, as list does.
            uint32_t request = (size && (data[0] & 1)) ? WALK_FILES_AND_SUBS : BLOCK_FILE;
            int blocks = 0;
            int32_t last_start = -1;
            for (; blocks < kMaxBlocks; ++blocks) {
                int32_t got = read_next_entry(job, request);
                if (got <= 0)
                    break;
                // A walk that returns the same header twice would never end.
                if (job->block_start == last_start)
                    __builtin_trap();
                last_start = job->block_start;
                if (job->block_header.head_type == BLOCK_FILE) {
                    adjust_attributes(job);
                    normalize_entry(job);
                    if (strlen(job->name) > MAX_NAME)
                        __builtin_trap();
                }
                file_seek(file, job->next_block, 0);
            }
            if (blocks == kMaxBlocks && size < (size_t)kMaxBlocks * 7)
                __builtin_trap();  // more headers than bytes: the walk went back on itself
        }
        fuzz::free_job(job);
    }
    fclose(file);
    return 0;
}
