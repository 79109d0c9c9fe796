// Stored entries: packed bytes go to the output as they are.
#include "archive/extract_job.h"
#include "unpack/unpack.h"

int32_t copy_stored(ExtractJob* job) {
    uint8_t* buffer = (uint8_t*)alloc_zeroed(STORED_BUFFER_SIZE);
    if (!buffer)
        return -1;
    // Read every packed byte of the entry, write at most unp_left of them.
    for (;;) {
        int32_t got = read_packed(job, buffer, STORED_BUFFER_SIZE);
        if (got <= 0)
            break;
        int32_t put = got;
        if (job->unp_left < put)
            put = job->unp_left > 0 ? job->unp_left : 0;
        write_output(job, buffer, (uint32_t)put);
        if (job->unp_left >= 0)
            job->unp_left -= put;
    }
    free_and_clear(&buffer);
    return 0;
}
