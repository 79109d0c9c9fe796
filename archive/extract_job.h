// The one record of an extraction run: archive position, current entry and decoder state.
#pragma once
#include <stdint.h>
#include <stdio.h>
#include "archive/format.h"
#include "unpack/code_table.h"

struct MainHeader {
    uint16_t head_crc;
    uint8_t head_type;
    uint16_t head_flags;
    uint16_t head_size;
    uint16_t reserved1;
    uint32_t reserved2;
};

struct FileHeader {
    uint16_t head_crc;
    uint8_t head_type;
    uint16_t head_flags;
    uint16_t head_size;
    uint32_t pack_size;
    uint32_t unp_size;
    uint8_t host_os;
    uint32_t file_crc;
    uint32_t file_time;   // DOS time in the low 16 bits, DOS date in the high 16 bits
    uint8_t unp_ver;
    uint8_t method;
    uint16_t name_size;
    uint32_t file_attr;
};

struct BlockHeader {
    uint16_t head_crc;
    uint8_t head_type;
    uint16_t head_flags;
    uint16_t head_size;
    uint32_t data_size;
};

struct ExtractJob {
    uint8_t mark[MARKER_SIZE];
    MainHeader main_header;
    FileHeader file_header;
    BlockHeader block_header;
    char* dest_dir;            // install folder, ends with a backslash once the run has started
    const char* archive_path;
    uint8_t* window_buffer;
    char name[MAX_NAME + 1];
    FILE* archive_file;
    int32_t split_after;
    int32_t archive_kind;
    int32_t archive_start;
    int32_t skip_output;
    int32_t main_bytes_read;
    int32_t block_start;
    int32_t next_block;
    FILE* packed_file;
    FILE* output_file;
    int32_t pack_left;
    int32_t unp_left;
    uint32_t data_crc;
    int32_t archive_format;
    uint32_t crc_table[256];
    uint32_t crc_slices[7][256];  // crc_table advanced by 1..7 more bytes: eight bytes per step

    // Decoder state: survives from one solid entry to the next.
    uint8_t* window;
    uint32_t window_pos;
    uint32_t flushed_pos;
    uint32_t peek_value;
    uint32_t cur_symbol;
    uint8_t in_buf[IN_BUF_SIZE + IN_BUF_PAD];  // the padding stays zero
    uint8_t saved_lengths[SAVED_LENGTHS_SIZE];
    uint32_t byte_pos;
    uint32_t bit_pos;
    int32_t in_avail;
    uint32_t prev_dist;
    uint32_t prev_length;
    int32_t match_length;
    uint32_t match_dist;
    uint32_t dist_history[4];
    int32_t history_count;
    CodeTable* audio_tables[MAX_AUDIO_CHANNELS];
    uint32_t audio_mode;
    int32_t channel_count;
    int32_t current_channel;
    CodeTable bitlen_table;
    CodeTable main_table;
    CodeTable dist_table;
    CodeTable rep_table;
    CodeTable audio_table_store[MAX_AUDIO_CHANNELS];
    int32_t empty_fills;       // later fills of this entry that got no bytes
};
