// Huffman table blocks: code lengths as deltas, canonical decode tables, symbol decoding.
#include <string.h>

#include "archive/extract_job.h"
#include "unpack/symbol_lookup.h"
#include "unpack/unpack.h"

void build_code_table(const uint8_t* lengths, CodeTable* table, uint32_t count) {
    uint32_t counts[16] = {0};
    uint32_t next[16];
    if (count > MAIN_SYMBOLS)
        count = MAIN_SYMBOLS;  // the largest alphabet: symbols has no room for more
    for (uint32_t i = 0; i < count; i++)
        counts[lengths[i] & 15]++;
    counts[0] = 0;

    table->limit[0] = 0;
    table->first_index[0] = 0;
    next[0] = 0;
    uint32_t a = 0;
    for (uint32_t len = 1; len <= MAX_CODE_LENGTH; len++) {
        a = (a + counts[len]) * 2;
        uint32_t m = a << (15 - len);
        table->limit[len] = m > 0xFFFF ? 0xFFFF : m;
        table->first_index[len] = table->first_index[len - 1] + counts[len - 1];
        next[len] = table->first_index[len];
    }
    for (uint32_t i = 0; i < count; i++) {
        uint32_t len = lengths[i] & 15;
        if (len)
            table->symbols[next[len]++] = i;
    }
    table->symbol_count = count;

    // The code length grows with the peeked value, so once a prefix needs more than FAST_BITS bits,
    // every later one does too.
    uint32_t p = 0;
    for (; p < (1u << FAST_BITS); p++) {
        uint32_t len;
        uint32_t symbol = lookup_by_limits(table, p << (16 - FAST_BITS), &len);
        if (len > FAST_BITS)
            break;
        table->fast[p] = (uint16_t)(symbol << 4 | len);
    }
    for (; p < (1u << FAST_BITS); p++)
        table->fast[p] = 0;
}

void decode_symbol(ExtractJob* job, const CodeTable* table) {
    uint32_t len;
    job->cur_symbol = lookup_symbol(table, peek_bits(job), &len);
    skip_bits(job, len);
}

static uint32_t read_number(ExtractJob* job, uint32_t bits) {
    uint32_t value = peek_bits(job) >> (16 - bits);
    skip_bits(job, bits);
    return value;
}

static CodeTable* audio_table(ExtractJob* job, int32_t channel) {
    channel &= MAX_AUDIO_CHANNELS - 1;
    return job->audio_tables[channel] ? job->audio_tables[channel] : &job->audio_table_store[channel];
}

void read_table_block(ExtractJob* job) {
    uint8_t bitlen_lengths[BITLEN_SYMBOLS];
    uint8_t lengths[SAVED_LENGTHS_SIZE];
    memset(lengths, 0, sizeof(lengths));  // lengths a block does not carry are 0

    if (job->byte_pos > REFILL_BEFORE_BLOCK)
        refill_input(job, 0);
    uint32_t v = peek_bits(job);
    job->audio_mode = v & 0x8000;
    if (!(v & 0x4000))
        memset(job->saved_lengths, 0, sizeof(job->saved_lengths));
    skip_bits(job, 2);

    uint32_t total = LZ_TABLE_TOTAL;
    if (job->audio_mode) {
        job->channel_count = (int32_t)((v >> 12) & 3) + 1;
        if (job->current_channel < 0 || job->current_channel >= job->channel_count)
            job->current_channel = 0;
        skip_bits(job, 2);
        total = AUDIO_SYMBOLS * (uint32_t)job->channel_count;
    }

    for (uint32_t i = 0; i < BITLEN_SYMBOLS; i++)
        bitlen_lengths[i] = (uint8_t)read_number(job, 4);
    build_code_table(bitlen_lengths, &job->bitlen_table, BITLEN_SYMBOLS);

    uint32_t i = 0;
    while (i < total) {
        if (job->byte_pos > REFILL_BEFORE_LENGTH)
            refill_input(job, 0);
        decode_symbol(job, &job->bitlen_table);
        uint32_t s = job->cur_symbol;
        if (s < 16) {
            lengths[i] = (uint8_t)((job->saved_lengths[i] + s) & 15);
            i++;
        } else if (s == BITLEN_REPEAT_PREV) {
            uint32_t count = read_number(job, 2) + 3;
            uint8_t previous = i > 0 ? lengths[i - 1] : 0;  // nothing to repeat at the start: 0
            for (; count > 0 && i < total; count--)
                lengths[i++] = previous;
        } else {
            uint32_t count = s == BITLEN_ZEROS_SHORT ? read_number(job, 3) + 3 : read_number(job, 7) + 11;
            for (; count > 0 && i < total; count--)
                lengths[i++] = 0;
        }
    }

    if (job->audio_mode) {
        for (int32_t c = 0; c < job->channel_count; c++)
            build_code_table(lengths + AUDIO_SYMBOLS * c, audio_table(job, c), AUDIO_SYMBOLS);
    } else {
        build_code_table(lengths, &job->main_table, MAIN_SYMBOLS);
        build_code_table(lengths + MAIN_SYMBOLS, &job->dist_table, DIST_SYMBOLS);
        build_code_table(lengths + MAIN_SYMBOLS + DIST_SYMBOLS, &job->rep_table, REP_SYMBOLS);
    }
    memcpy(job->saved_lengths, lengths, sizeof(lengths));
}

void check_end_table(ExtractJob* job) {
    if (job->in_avail < (int32_t)job->byte_pos + 5)
        return;  // fewer than five bytes of the fill left: no block announced
    if (job->audio_mode) {
        decode_symbol(job, audio_table(job, job->current_channel));
        if (job->cur_symbol == SYM_AUDIO_TABLE_BLOCK)
            read_table_block(job);
    } else {
        decode_symbol(job, &job->main_table);
        if (job->cur_symbol == SYM_TABLE_BLOCK)
            read_table_block(job);
    }
}
