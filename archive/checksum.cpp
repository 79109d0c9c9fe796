#include "archive/checksum.h"

#include "archive/extract_job.h"

void build_crc_table(ExtractJob* job) {
    for (uint32_t i = 0; i < 256; i++) {
        uint32_t c = i;
        for (int step = 0; step < 8; step++)
            c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
        job->crc_table[i] = c;
    }
}

uint32_t crc32_update(const ExtractJob* job, uint32_t crc, const uint8_t* data, uint32_t count) {
    const uint32_t* table = job->crc_table;
    for (uint32_t i = 0; i < count; i++)
        crc = table[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
    return crc;
}

uint16_t sum16_update(uint16_t sum, const uint8_t* data, uint32_t count) {
    uint32_t s = sum;
    for (uint32_t i = 0; i < count; i++) {
        uint32_t v = (s + data[i]) & 0xFFFF;
        s = ((v << 1) | (v >> 15)) & 0xFFFF;
    }
    return (uint16_t)s;
}

uint32_t update_checksum(const ExtractJob* job, uint32_t value, const uint8_t* data, uint32_t count,
                         int kind) {
    if (kind == CHECKSUM_SUM16)
        return sum16_update((uint16_t)(value & 0xFFFF), data, count);
    return crc32_update(job, value, data, count);
}
