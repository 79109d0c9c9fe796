#include "archive/checksum.h"

#include "archive/extract_job.h"

void build_crc_table(ExtractJob* job) {
    for (uint32_t i = 0; i < 256; i++) {
        uint32_t c = i;
        for (int step = 0; step < 8; step++)
            c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
        job->crc_table[i] = c;
    }
    for (uint32_t i = 0; i < 256; i++) {
        uint32_t c = job->crc_table[i];
        for (int k = 0; k < 7; k++) {
            c = job->crc_table[c & 0xFF] ^ (c >> 8);
            job->crc_slices[k][i] = c;
        }
    }
}

uint32_t crc32_update(const ExtractJob* job, uint32_t crc, const uint8_t* data, uint32_t count) {
    const uint32_t* table = job->crc_table;
    const uint32_t(*s)[256] = job->crc_slices;
    // Eight bytes per step through the advanced tables; the same value as one byte at a time.
    while (count >= 8) {
        uint32_t lo = crc ^ ((uint32_t)data[0] | (uint32_t)data[1] << 8 | (uint32_t)data[2] << 16 |
                             (uint32_t)data[3] << 24);
        crc = s[6][lo & 0xFF] ^ s[5][(lo >> 8) & 0xFF] ^ s[4][(lo >> 16) & 0xFF] ^ s[3][lo >> 24] ^
              s[2][data[4]] ^ s[1][data[5]] ^ s[0][data[6]] ^ table[data[7]];
        data += 8;
        count -= 8;
    }
    for (uint32_t i = 0; i < count; i++)
        crc = table[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
    return crc;
}

uint16_t header_checksum(const ExtractJob* job, const uint8_t* from_type, uint32_t count) {
    return (uint16_t)~crc32_update(job, 0xFFFFFFFFu, from_type, count);
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
