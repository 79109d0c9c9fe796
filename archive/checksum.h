// Data checksums: CRC-32 (reflected 0xEDB88320) and the 16-bit rotate-and-add sum of the old format.
#pragma once
#include <stdint.h>

struct ExtractJob;

enum { CHECKSUM_SUM16 = 1, CHECKSUM_CRC32 = 2 };

void build_crc_table(ExtractJob* job);
uint32_t crc32_update(const ExtractJob* job, uint32_t crc, const uint8_t* data, uint32_t count);
uint16_t sum16_update(uint16_t sum, const uint8_t* data, uint32_t count);
// A block header's checksum: the low 16 bits of the CRC-32 of the header from its type byte on.
uint16_t header_checksum(const ExtractJob* job, const uint8_t* from_type, uint32_t count);
uint32_t update_checksum(const ExtractJob* job, uint32_t value, const uint8_t* data, uint32_t count,
                         int kind);
