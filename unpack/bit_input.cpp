// Decoder state, packed input, bit reader and window output.
#include <stdlib.h>
#include <string.h>

#include "archive/checksum.h"
#include "archive/extract_job.h"
#include "archive/stream.h"
#include "unpack/unpack.h"

void* alloc_zeroed(uint32_t size) {
    void* block = malloc(size ? size : 1);
    if (block)
        memset(block, 0, size);
    return block;
}

void free_and_clear(void** block) {
    if (*block)
        free(*block);
    *block = nullptr;
}

void init_decoder(ExtractJob* job, int solid) {
    job->bit_pos = 0;
    job->byte_pos = 0;
    job->empty_fills = 0;
    if (solid)
        return;
    job->current_channel = 0;
    memset(job->dist_history, 0, sizeof(job->dist_history));
    job->history_count = 0;
    job->prev_length = 0;
    job->prev_dist = 0;
    memset(job->window, 0, WINDOW_SIZE);
    memset(job->saved_lengths, 0, sizeof(job->saved_lengths));
    job->flushed_pos = 0;
    job->window_pos = 0;
}

int32_t read_packed(ExtractJob* job, uint8_t* dest, int32_t count) {
    int32_t total = 0;
    while (count > 0) {
        int32_t chunk = count < job->pack_left ? count : job->pack_left;
        if (!job->archive_file || chunk <= 0)
            break;
        int32_t got = (int32_t)file_read(job->packed_file, dest, (uint32_t)chunk);
        if (got <= 0)
            break;  // truncated archive or read error: give what we have, never retry
        dest += got;
        total += got;
        count -= got;
        job->pack_left -= got;
        if (job->pack_left <= 0)
            break;
    }
    return total;
}

void refill_input(ExtractJob* job, int first_fill) {
    if (first_fill) {
        job->in_avail = read_packed(job, job->in_buf, IN_BUF_SIZE);
        job->byte_pos = 0;
        return;
    }
    // Callers refill only past byte 8162, so the reader's byte is among the carried ones.
    memmove(job->in_buf, job->in_buf + IN_BUF_SIZE - IN_CARRY, IN_CARRY);
    job->byte_pos &= IN_CARRY - 1;
    int32_t got = read_packed(job, job->in_buf + IN_CARRY, IN_BUF_SIZE - IN_CARRY);
    job->in_avail = got > 0 ? got + IN_CARRY : (int32_t)job->byte_pos;
    if (got <= 0)
        job->empty_fills++;
}

uint32_t peek_bits(ExtractJob* job) {
    const uint8_t* p = job->in_buf + job->byte_pos;
    uint32_t bits = ((uint32_t)p[0] << 16) | ((uint32_t)p[1] << 8) | p[2];
    job->peek_value = (bits >> (8 - job->bit_pos)) & 0xFFFF;
    return job->peek_value;
}

void skip_bits(ExtractJob* job, uint32_t count) {
    uint32_t bits = job->bit_pos + count;
    job->byte_pos += bits >> 3;
    job->bit_pos = bits & 7;
}

uint32_t write_output(ExtractJob* job, const uint8_t* data, uint32_t count) {
    uint32_t written = job->output_file ? file_write(job->output_file, data, count) : 0;
    if (!job->skip_output) {
        int kind = job->archive_format == ARCHIVE_FORMAT_OLD ? CHECKSUM_SUM16 : CHECKSUM_CRC32;
        job->data_crc = update_checksum(job, job->data_crc, data, written, kind);
    }
    return written;
}

void flush_window(ExtractJob* job) {
    if (job->window_pos < job->flushed_pos) {
        write_output(job, job->window + job->flushed_pos, WINDOW_SIZE - job->flushed_pos);
        write_output(job, job->window, job->window_pos);
    } else {
        write_output(job, job->window + job->flushed_pos, job->window_pos - job->flushed_pos);
    }
    job->flushed_pos = job->window_pos;
}
