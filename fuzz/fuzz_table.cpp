// libFuzzer target: a table block on any bits, then a few symbols decoded with the tables it built. The
// first input byte chooses whether saved lengths from an earlier block are present (a keep block) and
// whether the block is read at the start of the input or after a refill.
#include <stdint.h>
#include <string.h>

#include "fuzz/fuzz_common.h"
#include "unpack/format.h"

namespace {
const int kSymbols = 64;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1)
        return 0;
    uint8_t mode = data[0];
    ++data;
    --size;
    FILE* file = fuzz::file_of(data, size);
    if (!file)
        return 0;
    ExtractJob* job = fuzz::new_job(false);
    if (job) {
        job->archive_file = job->packed_file = file;
        job->pack_left = (int32_t)size;
        // A fresh job is the state init_decoder leaves for a non-solid entry.
        if (mode & 1) {
            // Lengths left by an earlier block: a block that keeps them adds to these.
            for (uint32_t i = 0; i < SAVED_LENGTHS_SIZE; ++i)
                job->saved_lengths[i] = (uint8_t)((i * 7 + mode) & 15);
        }
        job->current_channel = (mode >> 4) & 7;  // any leftover channel must be brought into range
        refill_input(job, 1);
        read_table_block(job);
        if ((mode & 2) && job->byte_pos > 0)
            read_table_block(job);  // a second block right after, as in a stream
        for (int i = 0; i < kSymbols; ++i) {
            if (job->byte_pos > REFILL_BEFORE_PASS)
                refill_input(job, 0);
            const CodeTable* table;
            uint32_t limit;
            if (job->audio_mode) {
                if (job->current_channel < 0 || job->current_channel >= job->channel_count)
                    __builtin_trap();
                table = job->audio_tables[i % job->channel_count];
                limit = AUDIO_SYMBOLS;
            } else if (i % 3 == 0) {
                table = &job->main_table;
                limit = MAIN_SYMBOLS;
            } else if (i % 3 == 1) {
                table = &job->dist_table;
                limit = DIST_SYMBOLS;
            } else {
                table = &job->rep_table;
                limit = REP_SYMBOLS;
            }
            decode_symbol(job, table);
            if (job->cur_symbol >= limit)
                __builtin_trap();  // a symbol outside its alphabet would index past the decoder's tables
            if (job->byte_pos > IN_BUF_SIZE)
                __builtin_trap();
        }
        fuzz::free_job(job);
    }
    fclose(file);
    return 0;
}
