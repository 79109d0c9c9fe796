// In-process codec figures over a list of files: our compressor at each level (size, speed), our decoder's
// throughput on its output, and zlib inflate and libdeflate on a gzip -9 stream of the same bytes. Times are
// processor time.
// Usage: bench_codec LISTFILE [LEVEL...]   (LISTFILE: one path a line, '#' lines ignored)
#include <libdeflate.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <zlib.h>

#include <time.h>
#include <fstream>
#include <string>
#include <vector>

#include "archive/archive_reader.h"
#include "archive/checksum.h"
#include "archive/extract_job.h"
#include "archive/stream.h"
#include "tools/compressor.h"
#include "unpack/unpack.h"

namespace {

// Processor time of this process: the machine is shared, so wall time says little.
double now() {
    return (double)clock() / CLOCKS_PER_SEC;
}

bool read_file(const std::string& path, std::vector<uint8_t>* data) {
    FILE* f = fopen(path.c_str(), "rb");
    if (!f) return false;
    uint8_t buf[65536];
    size_t n;
    while ((n = fread(buf, 1, sizeof(buf), f)) > 0) data->insert(data->end(), buf, buf + n);
    fclose(f);
    return true;
}

// Decodes every entry of ARCHIVE as the setup does, its output going to /dev/null with the checksum kept.
// Returns the number of entries whose checksum matched, or -1.
int decode_all(const std::vector<uint8_t>& archive) {
    ExtractJob* job = (ExtractJob*)alloc_zeroed(sizeof(ExtractJob));
    build_crc_table(job);
    for (int c = 0; c < MAX_AUDIO_CHANNELS; c++) job->audio_tables[c] = &job->audio_table_store[c];
    job->window_buffer = (uint8_t*)alloc_zeroed(WINDOW_SIZE);
    job->archive_file = fmemopen((void*)archive.data(), archive.size(), "rb");
    FILE* sink = fopen("/dev/null", "wb");
    int good = -1;
    if (open_archive(job) != ARCHIVE_KIND_NONE) {
        good = 0;
        file_seek(job->archive_file, (int32_t)job->main_header.head_size - job->main_bytes_read, 1);
        while (read_next_entry(job, WALK_FILES_AND_SUBS) > 0) {
            const FileHeader& h = job->file_header;
            file_seek(job->archive_file, job->block_start + h.head_size, 0);
            job->packed_file = job->archive_file;
            job->pack_left = (int32_t)h.pack_size;
            job->unp_left = (int32_t)h.unp_size;
            job->output_file = sink;
            job->skip_output = 0;
            job->data_crc = 0xFFFFFFFFu;
            if (h.method == METHOD_STORED)
                copy_stored(job);
            else
                unpack_entry(job, job->window_buffer, h.head_flags & FILE_FLAG_SOLID);
            if (job->data_crc == ~h.file_crc) good++;
            file_seek(job->archive_file, job->next_block, 0);
        }
    }
    fclose(sink);
    fclose(job->archive_file);
    free_and_clear(&job->window_buffer);
    free_and_clear(&job);
    return good;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        fprintf(stderr, "usage: bench_codec LISTFILE [LEVEL...]\n");
        return 2;
    }
    std::vector<ArchiveInput> inputs;
    std::vector<uint8_t> all;
    std::ifstream list(argv[1]);
    std::string line;
    while (std::getline(list, line)) {
        if (line.empty() || line[0] == '#') continue;
        ArchiveInput in;
        if (!read_file(line, &in.data)) {
            fprintf(stderr, "bench_codec: %s: missing, left out\n", line.c_str());
            continue;
        }
        in.name = line.substr(line.rfind('/') + 1);
        in.dos_time = 0x30C96000u;
        in.attributes = 0x20;
        all.insert(all.end(), in.data.begin(), in.data.end());
        inputs.push_back(std::move(in));
    }
    const double mb = all.size() / 1e6;
    printf("input %zu files %zu bytes\n", inputs.size(), all.size());

    std::vector<int> levels;
    for (int i = 2; i < argc; i++) levels.push_back(atoi(argv[i]));
    if (levels.empty()) levels = {1, 2, 3};
    for (int level : levels) {
        CompressOptions options;
        options.level = level;
        std::vector<uint8_t> archive;
        std::string error;
        double t0 = now();
        CompressStats stats;
        if (build_archive(inputs, options, &archive, &stats, &error) != 0) {
            fprintf(stderr, "bench_codec: %s\n", error.c_str());
            return 1;
        }
        double t1 = now();
        int good = decode_all(archive);
        double t2 = now();
        printf("ours level %d: %zu bytes, compress %.2f s (%.2f MB/s), decode %.3f s (%.1f MB/s), %d/%zu entries OK\n",
               level, archive.size(), t1 - t0, mb / (t1 - t0), t2 - t1, mb / (t2 - t1), good, inputs.size());
        uint64_t kinds[6] = {};
        for (int s = 0; s < MAIN_SYMBOLS; s++)
            kinds[s < 256 ? 0 : s == 256 ? 1 : s <= 260 ? 2 : s <= 268 ? 3 : s == 269 ? 4 : 5] += stats.main_symbols[s];
        printf("  symbols: %llu literals, %llu repeats, %llu recent-distance, %llu short, %llu length codes; "
               "%u table blocks\n",
               (unsigned long long)kinds[0], (unsigned long long)kinds[1], (unsigned long long)kinds[2],
               (unsigned long long)kinds[3], (unsigned long long)kinds[5], stats.table_blocks);
    }

    // gzip -9 stream of the same bytes, then inflate by zlib and by libdeflate (both check the CRC-32).
    z_stream zs = {};
    deflateInit2(&zs, 9, Z_DEFLATED, 16 + MAX_WBITS, 9, Z_DEFAULT_STRATEGY);
    std::vector<uint8_t> gz(deflateBound(&zs, all.size()));
    zs.next_in = all.data();
    zs.avail_in = (uInt)all.size();
    zs.next_out = gz.data();
    zs.avail_out = (uInt)gz.size();
    deflate(&zs, Z_FINISH);
    gz.resize(zs.total_out);
    deflateEnd(&zs);

    std::vector<uint8_t> out(all.size());
    double t0 = now();
    z_stream is = {};
    inflateInit2(&is, 16 + MAX_WBITS);
    is.next_in = gz.data();
    is.avail_in = (uInt)gz.size();
    is.next_out = out.data();
    is.avail_out = (uInt)out.size();
    int rc = inflate(&is, Z_FINISH);
    inflateEnd(&is);
    double t1 = now();
    printf("zlib inflate: %zu bytes in, %.3f s (%.1f MB/s), %s\n", gz.size(), t1 - t0, mb / (t1 - t0),
           rc == Z_STREAM_END && out == all ? "OK" : "FAILED");

    libdeflate_decompressor* d = libdeflate_alloc_decompressor();
    size_t got = 0;
    t0 = now();
    enum libdeflate_result r = libdeflate_gzip_decompress(d, gz.data(), gz.size(), out.data(), out.size(), &got);
    t1 = now();
    libdeflate_free_decompressor(d);
    printf("libdeflate: %zu bytes in, %.3f s (%.1f MB/s), %s\n", gz.size(), t1 - t0, mb / (t1 - t0),
           r == LIBDEFLATE_SUCCESS && got == all.size() && out == all ? "OK" : "FAILED");
    return 0;
}
