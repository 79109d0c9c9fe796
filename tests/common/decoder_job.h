// A decoder job wired as the extraction driver wires it, with temporary files for the packed input and
// the output. Header-only, no test framework needed.
#pragma once
#include <stdint.h>
#include <stdio.h>

#include <vector>

#include "archive/checksum.h"
#include "archive/extract_job.h"
#include "unpack/unpack.h"

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/asan_interface.h>
#endif

// Under ASan, any read of in_buf's padding is reported: the decoder must never look past byte 8191.
inline void guard_input_padding(ExtractJob* job, bool on) {
#if defined(__SANITIZE_ADDRESS__)
    if (on)
        ASAN_POISON_MEMORY_REGION(job->in_buf + IN_BUF_SIZE, IN_BUF_PAD);
    else
        ASAN_UNPOISON_MEMORY_REGION(job->in_buf + IN_BUF_SIZE, IN_BUF_PAD);
#else
    (void)job;
    (void)on;
#endif
}

// A zero-filled job with its CRC table, audio tables and window, as extract_archive sets them up.
inline ExtractJob* new_decoder_job() {
    ExtractJob* job = (ExtractJob*)alloc_zeroed(sizeof(ExtractJob));
    build_crc_table(job);
    for (int c = 0; c < MAX_AUDIO_CHANNELS; c++)
        job->audio_tables[c] = &job->audio_table_store[c];
    job->window_buffer = (uint8_t*)alloc_zeroed(WINDOW_SIZE);
    job->archive_format = ARCHIVE_FORMAT_RAR2;
    guard_input_padding(job, true);
    return job;
}

inline void close_decoder_files(ExtractJob* job) {
    if (job->archive_file)
        fclose(job->archive_file);
    if (job->output_file)
        fclose(job->output_file);
    job->archive_file = job->packed_file = job->output_file = nullptr;
}

inline void free_decoder_job(ExtractJob* job) {
    guard_input_padding(job, false);
    close_decoder_files(job);
    free_and_clear(&job->window_buffer);
    free_and_clear(&job);
}

// Sets up the next entry: its packed bytes in a fresh temporary file, a fresh output file (unless
// skip_output), the sizes and the checksum seed.
inline void start_entry(ExtractJob* job, const std::vector<uint8_t>& packed, int32_t unp_size,
                        bool skip_output = false) {
    close_decoder_files(job);
    job->archive_file = tmpfile();
    if (!packed.empty())
        fwrite(packed.data(), 1, packed.size(), job->archive_file);
    rewind(job->archive_file);
    job->packed_file = job->archive_file;
    job->pack_left = (int32_t)packed.size();
    job->unp_left = unp_size;
    job->skip_output = skip_output;
    job->output_file = skip_output ? nullptr : tmpfile();
    job->data_crc = job->archive_format == ARCHIVE_FORMAT_OLD ? 0 : 0xFFFFFFFFu;
}

// Everything written to the entry's output file so far.
inline std::vector<uint8_t> entry_output(ExtractJob* job) {
    std::vector<uint8_t> out;
    if (!job->output_file)
        return out;
    fflush(job->output_file);
    long size = ftell(job->output_file);
    out.resize((size_t)size);
    rewind(job->output_file);
    if (size > 0 && fread(out.data(), 1, out.size(), job->output_file) != out.size())
        out.clear();
    fseek(job->output_file, 0, SEEK_END);
    return out;
}

// Decodes one compressed entry and returns what it wrote.
inline std::vector<uint8_t> unpack_bytes(ExtractJob* job, const std::vector<uint8_t>& packed, int32_t unp_size,
                                         bool solid) {
    start_entry(job, packed, unp_size);
    unpack_entry(job, job->window_buffer, solid ? 0x10 : 0);
    return entry_output(job);
}
