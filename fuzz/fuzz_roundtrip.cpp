// libFuzzer target: our compressor's round trip. Any input, cut into a few files by its first bytes, is
// packed at every level and read back through the setup's own walk and decoder: every file must come back
// byte for byte with a matching checksum, in order, and nothing else may follow. abort() on any difference.
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "archive/archive_reader.h"
#include "archive/format.h"
#include "archive/stream.h"
#include "fuzz/fuzz_common.h"
#include "tools/compressor.h"

namespace {

const size_t kMaxInput = 256 * 1024;  // keeps level 3 quick enough for many runs a second

std::vector<ArchiveInput> split_files(const uint8_t* data, size_t size) {
    std::vector<ArchiveInput> files;
    if (size == 0)
        return files;
    size_t count = 1 + (data[0] & 3);
    size_t head = count < size ? count : size;
    const uint8_t* rest = data + head;
    size_t left = size - head;
    for (size_t i = 0; i < count; ++i) {
        size_t take = left;
        if (i + 1 < count) {
            size_t wanted = (size_t)data[(1 + i) % head] * 97;
            take = wanted < left ? wanted : left;
        }
        ArchiveInput file;
        file.name = i == 0 ? "f0.bin" : "dir\\f" + std::to_string(i) + ".bin";
        file.data.assign(rest, rest + take);
        file.dos_time = 0x30C96000u;
        file.attributes = ATTR_ARCHIVE;
        files.push_back(file);
        rest += take;
        left -= take;
    }
    return files;
}

std::vector<uint8_t> contents(FILE* file) {
    std::vector<uint8_t> out;
    fflush(file);
    long size = ftell(file);
    if (size < 0)
        abort();
    out.resize((size_t)size);
    rewind(file);
    if (size && fread(out.data(), 1, out.size(), file) != out.size())
        abort();
    return out;
}

void check_round_trip(const std::vector<ArchiveInput>& files, const std::vector<uint8_t>& archive) {
    FILE* file = fuzz::file_of(archive.data(), archive.size());
    ExtractJob* job = fuzz::new_job(true);
    if (!file || !job)
        abort();
    job->archive_file = file;
    if (open_archive(job) != ARCHIVE_KIND_AT_START)
        abort();
    file_seek(file, (int32_t)job->main_header.head_size - job->main_bytes_read, 1);
    for (size_t i = 0; i < files.size(); ++i) {
        if (read_next_entry(job, BLOCK_FILE) <= 0)
            abort();  // an entry is missing
        const FileHeader& header = job->file_header;
        if (header.unp_size != files[i].data.size() || strcmp(job->name, files[i].name.c_str()) != 0)
            abort();
        file_seek(file, job->next_block - (int32_t)header.pack_size, 0);
        FILE* output = tmpfile();
        job->output_file = output;
        job->skip_output = 0;
        job->packed_file = file;
        job->pack_left = (int32_t)header.pack_size;
        job->unp_left = (int32_t)header.unp_size;
        job->data_crc = 0xFFFFFFFFu;
        if (header.method == METHOD_STORED)
            copy_stored(job);
        else
            unpack_entry(job, job->window_buffer, header.head_flags & FILE_FLAG_SOLID);
        if (contents(output) != files[i].data)
            abort();  // the decoder does not give back what went in
        if (job->data_crc != ~header.file_crc)
            abort();
        fclose(output);
        job->output_file = nullptr;
        file_seek(file, job->next_block, 0);
    }
    if (read_next_entry(job, BLOCK_FILE) > 0)
        abort();  // an entry nobody put in
    fuzz::free_job(job);
    fclose(file);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > kMaxInput)
        size = kMaxInput;
    std::vector<ArchiveInput> files = split_files(data, size);
    if (files.empty())
        return 0;
    for (int level = LEVEL_FAST; level <= LEVEL_BEST; ++level) {
        CompressOptions options;
        options.level = level;
        std::vector<uint8_t> archive;
        std::string error;
        if (build_archive(files, options, &archive, nullptr, &error) != 0)
            abort();  // any files below the limits must pack
        check_round_trip(files, archive);
    }
    return 0;
}
