// Thin stream wrappers: every archive read, seek and output write goes through them.
#pragma once
#include <stdint.h>
#include <stdio.h>

// share: 0 denies reading to others, 1 denies writing, 2 and 3 deny nothing (Windows only).
FILE* file_open(const char* path, const char* mode, int share);
void file_close(FILE* stream);
uint32_t file_read(FILE* stream, void* buffer, uint32_t count);
uint32_t file_write(FILE* stream, const void* buffer, uint32_t count);
// origin: 0 from the start, 1 from the current position.
void file_seek(FILE* stream, int32_t offset, int origin);
