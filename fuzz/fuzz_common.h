// Helpers shared by the libFuzzer targets: the input as a real file, and a job wired as the driver wires it.
#pragma once
#include <stdint.h>
#include <stdio.h>
#include <sys/mman.h>
#include <unistd.h>

#include "archive/checksum.h"
#include "archive/extract_job.h"
#include "unpack/unpack.h"

namespace fuzz {

// The bytes as a file in memory, so that reads and seeks past its end behave as they do on disk.
inline FILE* file_of(const uint8_t* data, size_t size) {
    int fd = memfd_create("fuzz", 0);
    if (fd < 0)
        return nullptr;
    size_t done = 0;
    while (done < size) {
        ssize_t put = write(fd, data + done, size - done);
        if (put <= 0) {
            close(fd);
            return nullptr;
        }
        done += (size_t)put;
    }
    lseek(fd, 0, SEEK_SET);
    FILE* file = fdopen(fd, "w+b");
    if (!file)
        close(fd);
    return file;
}

inline FILE* null_sink() {
    static FILE* sink = fopen("/dev/null", "wb");
    return sink;
}

// A zero-filled job with its checksum and audio tables; the window only when asked for.
inline ExtractJob* new_job(bool with_window) {
    ExtractJob* job = (ExtractJob*)alloc_zeroed(sizeof(ExtractJob));
    if (!job)
        return nullptr;
    for (int i = 0; i < MAX_AUDIO_CHANNELS; ++i)
        job->audio_tables[i] = &job->audio_table_store[i];
    build_crc_table(job);
    job->archive_format = ARCHIVE_FORMAT_RAR2;
    if (with_window) {
        job->window_buffer = (uint8_t*)alloc_zeroed(WINDOW_SIZE);
        if (!job->window_buffer)
            free_and_clear(&job);
    }
    return job;
}

inline void free_job(ExtractJob* job) {
    if (!job)
        return;
    free_and_clear(&job->window_buffer);
    free_and_clear(&job);
}

}  // namespace fuzz
