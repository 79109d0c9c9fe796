// RAR 2.x archive layout: the constants shared by the reader and the builder.
#pragma once
#include <stdint.h>

enum {
    MARKER_SIZE = 7,               // "Rar!" 0x1A 0x07 0x00
    OLD_MARKER_SIZE = 4,           // "RE~^"
    MAIN_HEADER_SIZE = 13,         // fixed part read by read_header(0x73)
    FILE_HEADER_SIZE = 32,         // fixed part read by read_header(0x74)
    FILE_NAME_SIZE_AT = 26,        // where a file header keeps its name's length
    BLOCK_PREFIX_SIZE = 7,         // crc, type, flags, size: common to every block
    MAX_NAME = 259,                // longest entry name kept; buffers are MAX_NAME + 1

    SCAN_BUFFER_SIZE = 250000,     // the locator's scan buffer
    SCAN_READ_SIZE = 249999,       // bytes scanned after the first 7
    SFX_TAG_OFFSET = 28,           // "RSFX" at file offsets 28..31 allows the old marker

    BLOCK_MAIN = 0x73,
    BLOCK_FILE = 0x74,
    BLOCK_SUB = 0x77,
    WALK_STOP_AT_SUB = 0x8000,     // request bit of read_next_entry
    WALK_FILES_AND_SUBS = WALK_STOP_AT_SUB | BLOCK_FILE,

    MAIN_FLAG_VOLUME = 0x0001,
    MAIN_FLAG_SOLID = 0x0008,

    FILE_FLAG_SPLIT_BEFORE = 0x0001,
    FILE_FLAG_SPLIT_AFTER = 0x0002,
    FILE_FLAG_ENCRYPTED = 0x0004,
    FILE_FLAG_SOLID = 0x0010,
    FILE_FLAG_DICT_MASK = 0x00E0,  // dictionary size; 0xE0 marks a directory
    FILE_FLAG_DIRECTORY = 0x00E0,
    FILE_FLAG_DICT_1M = 0x0080,    // what our builder writes: 1 MiB dictionary
    BLOCK_FLAG_HAS_DATA = 0x8000,

    HOST_MSDOS = 0,
    HOST_OS2 = 1,
    HOST_WIN32 = 2,
    HOST_UNIX = 3,

    METHOD_STORED = 0x30,          // '0'
    METHOD_BEST = 0x35,            // '5': what our builder writes for compressed entries

    UNP_VER_MIN = 13,
    UNP_VER_LZ_MIN = 16,           // 13..15 are the older coding, not decoded
    UNP_VER_MAX = 20,

    ATTR_READONLY = 0x01,
    ATTR_VOLUME_LABEL = 0x08,
    ATTR_DIRECTORY = 0x10,
    ATTR_ARCHIVE = 0x20,

    ARCHIVE_FORMAT_OLD = 1,
    ARCHIVE_FORMAT_RAR2 = 2,

    ARCHIVE_KIND_NONE = 0,
    ARCHIVE_KIND_AT_START = 1,
    ARCHIVE_KIND_VOLUME = 2,
    ARCHIVE_KIND_EMBEDDED = 3,
};

// Markers are kept as the first byte 'R' and the rest apart, so that the setup stub, which carries this
// code, never contains the marker sequence itself: the locator would find the stub instead of the archive.
enum { MARKER_FIRST = 0x52 };
static const uint8_t kRarMarkerTail[MARKER_SIZE - 1] = {0x61, 0x72, 0x21, 0x1A, 0x07, 0x00};
static const uint8_t kOldMarkerTail[OLD_MARKER_SIZE - 1] = {0x45, 0x7E, 0x5E};
static const uint8_t kSfxTag[4] = {'R', 'S', 'F', 'X'};
