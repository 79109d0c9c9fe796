// RAR 2.0 decoder: state in ExtractJob, bit input, window output, Huffman tables, LZ loop, stored copy.
#pragma once
#include <stdint.h>
#include "unpack/code_table.h"

struct ExtractJob;

void* alloc_zeroed(uint32_t size);
void free_and_clear(void** block);
template <typename T> inline void free_and_clear(T** block) {
    void* p = *block;
    free_and_clear(&p);
    *block = nullptr;
}

void init_decoder(ExtractJob* job, int solid);
int32_t read_packed(ExtractJob* job, uint8_t* dest, int32_t count);
void refill_input(ExtractJob* job, int first_fill);
uint32_t peek_bits(ExtractJob* job);
void skip_bits(ExtractJob* job, uint32_t count);
uint32_t write_output(ExtractJob* job, const uint8_t* data, uint32_t count);
void flush_window(ExtractJob* job);

void build_code_table(const uint8_t* lengths, CodeTable* table, uint32_t count);
void decode_symbol(ExtractJob* job, const CodeTable* table);
void read_table_block(ExtractJob* job);
void check_end_table(ExtractJob* job);

void unpack_entry(ExtractJob* job, uint8_t* window, int solid);
void copy_match(ExtractJob* job);
int32_t copy_stored(ExtractJob* job);
