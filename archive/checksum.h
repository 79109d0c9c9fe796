// Data checksums: CRC-32 (reflected 0xEDB88320) and the 16-bit rotate-and-add sum of the old format.
#pragma once
#include <stdint.h>

struct ExtractJob;

enum { CHECKSUM_SUM16 = 1, CHECKSUM_CRC32 = 2 };

void build_crc_table(ExtractJob* job);
uint32_t crc32_update(const ExtractJob* job, uint32_t crc, const uint8_t* data, uint32_t count);
uint16_t sum16_update(uint16_t sum, const uint8_t* data, uint32_t count);
uint32_t update_checksum(const ExtractJob* job, uint32_t value, const uint8_t* data, uint32_t count,
                         int kind);
