// RAR 2.0 decoder: state in ExtractJob, bit input, window output, Huffman tables, LZ loop, stored copy.
#pragma once
#include <stdint.h>
#include "unpack/code_table.h"

struct ExtractJob;

// A zero-filled heap block, or null.
void* alloc_zeroed(uint32_t size);
// Frees the block the variable points to, if any, and sets the variable to null.
void free_and_clear(void** block);
template <typename T> inline void free_and_clear(T** block) {
    void* p = *block;
    free_and_clear(&p);
    *block = nullptr;
}

// Restarts the bit input; a non-solid entry (solid 0) also clears window, positions, history, lengths.
void init_decoder(ExtractJob* job, int solid);
// Up to count packed bytes of the current entry (never past pack_left); 0 for no archive, a count or
// pack_left of 0 or below, or a read that delivers nothing.
int32_t read_packed(ExtractJob* job, uint8_t* dest, int32_t count);
// Fills in_buf: the entry's first fill, or a later one that carries the last 32 bytes to the front.
void refill_input(ExtractJob* job, int first_fill);
// The next 16 input bits, most significant first, not consumed.
uint32_t peek_bits(ExtractJob* job);
void skip_bits(ExtractJob* job, uint32_t count);
// Writes decoded bytes to output_file (if any) and runs data_crc over what was written.
uint32_t write_output(ExtractJob* job, const uint8_t* data, uint32_t count);
// Hands the window bytes from flushed_pos to window_pos to write_output.
void flush_window(ExtractJob* job);

// Canonical decode table for count (at most 298) code lengths; any lengths give a usable table.
void build_code_table(const uint8_t* lengths, CodeTable* table, uint32_t count);
// Decodes one symbol into cur_symbol.
void decode_symbol(ExtractJob* job, const CodeTable* table);
void read_table_block(ExtractJob* job);
// At an entry's end: reads the table block the stream announces, given five or more bytes left.
void check_end_table(ExtractJob* job);

// Decodes the current compressed entry into the window and out through write_output. No error path:
// damaged data shows as a checksum mismatch.
void unpack_entry(ExtractJob* job, uint8_t* window, int solid);
// Enters match_dist into the history and copies match_length bytes inside the window.
void copy_match(ExtractJob* job);
// Copies a stored entry: reads all its packed bytes, writes at most unp_left. 0, or -1 without memory.
int32_t copy_stored(ExtractJob* job);
