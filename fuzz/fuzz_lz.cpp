// libFuzzer target: the LZ loop on a state of the input's choosing. The stream's first table block comes
// from the input too, so every kind of table (empty, incomplete, oversubscribed, audio) drives the loop.
// Header bytes: [0] mode, [1..3] first size, [4..5] where the second entry's bytes begin, [6..8] its size.
// Mode bit 0: a second, solid entry continues the first; bit 1: the first entry's output is skipped (as the
// driver skips entries of other languages); bit 2: the window starts full of bytes instead of zeros.
#include <stdint.h>
#include <string.h>

#include "fuzz/fuzz_common.h"
#include "unpack/format.h"

namespace {

const uint32_t kMaxEntryBytes = WINDOW_SIZE + 65536;  // enough to wrap the window once
const size_t kHeader = 9;
const uint32_t kLongestMatch = 512;  // a last match may run past the entry's size; never further

uint32_t size_of(const uint8_t* p) { return ((uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16) % (kMaxEntryBytes + 1); }

// Decodes one entry of PACKED (at most SIZE bytes out) and checks the bounds every entry must keep.
void run_entry(ExtractJob* job, const uint8_t* packed, size_t packed_size, uint32_t size, int solid, bool skip) {
    FILE* input = fuzz::file_of(packed, packed_size);
    if (!input)
        return;
    job->archive_file = job->packed_file = input;
    job->pack_left = (int32_t)packed_size;
    job->unp_left = (int32_t)size;
    job->skip_output = skip ? 1 : 0;
    FILE* output = skip ? nullptr : tmpfile();
    job->output_file = output;
    job->data_crc = 0xFFFFFFFFu;
    unpack_entry(job, job->window_buffer, solid);
    if (output) {
        fflush(output);
        long written = ftell(output);
        if (written < 0 || (uint32_t)written > size + kLongestMatch)
            __builtin_trap();  // more output than the entry holds
        fclose(output);
    }
    if (job->window_pos >= WINDOW_SIZE || job->flushed_pos >= WINDOW_SIZE || job->byte_pos > IN_BUF_SIZE)
        __builtin_trap();
    job->output_file = nullptr;
    job->archive_file = job->packed_file = nullptr;
    fclose(input);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < kHeader)
        return 0;
    const uint8_t mode = data[0];
    const uint32_t first_size = size_of(data + 1);
    size_t split = (size_t)(data[4] | data[5] << 8);
    const uint32_t second_size = size_of(data + 6);
    const uint8_t* stream = data + kHeader;
    size_t stream_size = size - kHeader;
    if (!(mode & 1) || split > stream_size)
        split = stream_size;

    ExtractJob* job = fuzz::new_job(true);
    if (!job)
        return 0;
    if (mode & 4) {
        for (uint32_t i = 0; i < WINDOW_SIZE; i += 4096)
            memset(job->window_buffer + i, (int)(i >> 12), 4096);
    }
    run_entry(job, stream, split, first_size, 0, (mode & 2) != 0);
    if (mode & 1)
        run_entry(job, stream + split, stream_size - split, second_size, FILE_FLAG_SOLID, false);
    fuzz::free_job(job);
    return 0;
}
