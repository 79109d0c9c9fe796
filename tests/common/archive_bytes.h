// Hand-made archive bytes for tests: append blocks to a byte vector, then write it to a file.
//
//   archive_bytes::Bytes a;
//   archive_bytes::append_marker(a);
//   archive_bytes::append_main_header(a, 0);                 // 13 bytes, no flags
//   archive_bytes::FileEntry e;
//   e.name = "dir/a.txt";
//   e.data = {'h', 'i'};                                      // stored: pack_size = unp_size = 2
//   archive_bytes::append_file(a, e);                         // header, name, then e.data
//   archive_bytes::append_block(a, 0x7B, 0x4000, 7, {});      // end block
//   archive_bytes::TempFile file(dir + "/x.rar", a);          // removed again when it goes out of scope
//
// Every multi-byte value is written little-endian. Header checksums match the header as written unless a
// test gives one. No gtest dependency, so both test programs can use it.
#pragma once
#include <stdint.h>
#include <stdio.h>

#include <string>
#include <vector>

#include "archive/format.h"

namespace archive_bytes {

typedef std::vector<uint8_t> Bytes;

const uint32_t kJune9Noon = 0x30C96000u;  // 2004-06-09 12:00:00 as DOS date and time

inline void put8(Bytes& b, uint32_t v) { b.push_back((uint8_t)v); }
inline void put16(Bytes& b, uint32_t v) {
    put8(b, v);
    put8(b, v >> 8);
}
inline void put32(Bytes& b, uint32_t v) {
    put16(b, v);
    put16(b, v >> 16);
}
inline void append(Bytes& b, const Bytes& more) { b.insert(b.end(), more.begin(), more.end()); }
inline void append(Bytes& b, const std::string& text) { b.insert(b.end(), text.begin(), text.end()); }

// The standard CRC-32 (all ones in, complement out): what a file header's file_crc holds.
inline uint32_t crc32(const Bytes& data) {
    uint32_t crc = 0xFFFFFFFFu;
    for (uint8_t byte : data) {
        crc ^= byte;
        for (int i = 0; i < 8; i++)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
    }
    return ~crc;
}

// Fills in the checksum of the header written from HEADER_START on, as archivers do, unless the test gave
// one (HEAD_CRC 0..0xFFFF): the low 16 bits of the CRC-32 of the header from its type byte on.
inline void seal_header(Bytes& b, size_t header_start, int32_t head_crc) {
    uint16_t crc = (uint16_t)head_crc;
    if (head_crc < 0)
        crc = (uint16_t)crc32(Bytes(b.begin() + (long)header_start + 2, b.end()));
    b[header_start] = (uint8_t)crc;
    b[header_start + 1] = (uint8_t)(crc >> 8);
}

// The 7 bytes every block header starts with: a checksum of 0 for seal_header to fill in, type, flags and
// head_size. Returns where the header starts.
inline size_t begin_header(Bytes& b, uint8_t type, uint16_t flags, uint32_t head_size) {
    size_t header_start = b.size();
    put16(b, 0);
    put8(b, type);
    put16(b, flags);
    put16(b, head_size);
    return header_start;
}

// The 7-byte marker "Rar!" 0x1A 0x07 0x00.
inline void append_marker(Bytes& b) {
    put8(b, MARKER_FIRST);
    b.insert(b.end(), kRarMarkerTail, kRarMarkerTail + sizeof kRarMarkerTail);
}

// The 4-byte marker of the older format, "RE~^".
inline void append_old_marker(Bytes& b) {
    put8(b, MARKER_FIRST);
    b.insert(b.end(), kOldMarkerTail, kOldMarkerTail + sizeof kOldMarkerTail);
}

// A main header: the 13 fixed bytes, then zeros up to head_size when that is larger.
inline void append_main_header(Bytes& b, uint16_t flags, uint16_t head_size = MAIN_HEADER_SIZE,
                               int32_t head_crc = -1) {
    size_t header_start = begin_header(b, BLOCK_MAIN, flags, head_size);
    put16(b, 0);
    put32(b, 0);
    for (int i = MAIN_HEADER_SIZE; i < head_size; i++)
        put8(b, 0);
    seal_header(b, header_start, head_crc);
}

// A file header with its name, extra header bytes and data. Defaults describe a stored Win32 file;
// the sizes default to what the entry carries, and each can be set to a value that lies.
struct FileEntry {
    int32_t head_crc = -1;         // -1: the checksum of the header as written
    uint16_t flags = BLOCK_FLAG_HAS_DATA;
    int32_t head_size = -1;        // -1: 32 + name + extra
    int64_t pack_size = -1;        // -1: data.size()
    int64_t unp_size = -1;         // -1: data.size()
    uint8_t host_os = HOST_WIN32;
    int64_t file_crc = -1;         // -1: crc32(data)
    uint32_t file_time = kJune9Noon;
    uint8_t unp_ver = 20;
    uint8_t method = METHOD_STORED;
    int32_t name_size = -1;        // -1: name.size()
    uint32_t file_attr = ATTR_ARCHIVE;
    std::string name;
    Bytes extra;                   // header bytes after the name
    Bytes data;                    // written after the header
};

// The header alone: 32 fixed bytes, the name and the extra bytes (no data).
inline void append_file_header(Bytes& b, const FileEntry& e) {
    uint32_t data_size = (uint32_t)e.data.size();
    size_t header_start =
        begin_header(b, BLOCK_FILE, e.flags,
                     e.head_size >= 0 ? (uint32_t)e.head_size
                                      : (uint32_t)(FILE_HEADER_SIZE + e.name.size() + e.extra.size()));
    put32(b, e.pack_size >= 0 ? (uint32_t)e.pack_size : data_size);
    put32(b, e.unp_size >= 0 ? (uint32_t)e.unp_size : data_size);
    put8(b, e.host_os);
    put32(b, e.file_crc >= 0 ? (uint32_t)e.file_crc : crc32(e.data));
    put32(b, e.file_time);
    put8(b, e.unp_ver);
    put8(b, e.method);
    put16(b, e.name_size >= 0 ? (uint32_t)e.name_size : (uint32_t)e.name.size());
    put32(b, e.file_attr);
    append(b, e.name);
    append(b, e.extra);
    seal_header(b, header_start, e.head_crc);
}

// The header followed by the entry's data.
inline void append_file(Bytes& b, const FileEntry& e) {
    append_file_header(b, e);
    append(b, e.data);
}

// Any block: crc, type, flags, head_size; with flag 0x8000 a 4-byte data size (data.size()) follows.
// The header is padded with zeros up to head_size (never cut below the fields written), then the data.
inline void append_block(Bytes& b, uint8_t type, uint16_t flags, uint16_t head_size, const Bytes& data,
                         int32_t head_crc = -1) {
    size_t header_start = begin_header(b, type, flags, head_size);
    if (flags & BLOCK_FLAG_HAS_DATA)
        put32(b, (uint32_t)data.size());
    while (b.size() - header_start < head_size)
        put8(b, 0);
    seal_header(b, header_start, head_crc);
    append(b, data);
}

// A stored entry NAME holding DATA; tests change the fields they are about.
inline FileEntry stored(const std::string& name, const std::string& data) {
    FileEntry e;
    e.name = name;
    e.data.assign(data.begin(), data.end());
    return e;
}

// The marker and a 13-byte main header with MAIN_FLAGS: an archive without entries.
inline Bytes archive_start(uint16_t main_flags = 0) {
    Bytes b;
    append_marker(b);
    append_main_header(b, main_flags);
    return b;
}

// An archive of ENTRIES, each header followed by its data.
inline Bytes stored_archive(const std::vector<FileEntry>& entries, uint16_t main_flags = 0) {
    Bytes b = archive_start(main_flags);
    for (const FileEntry& e : entries)
        append_file(b, e);
    return b;
}

inline bool write_file(const std::string& path, const Bytes& bytes) {
    FILE* f = fopen(path.c_str(), "wb");
    if (!f)
        return false;
    bool ok = bytes.empty() || fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return fclose(f) == 0 && ok;
}

// A file written on construction and removed on destruction; ok tells whether the write worked.
struct TempFile {
    std::string path;
    bool ok;
    TempFile(const std::string& file_path, const Bytes& bytes) : path(file_path), ok(write_file(path, bytes)) {}
    ~TempFile() { remove(path.c_str()); }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
};

}  // namespace archive_bytes
