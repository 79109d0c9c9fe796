// The extraction driver: walks the archive in the setup file and installs the chosen entries.
#pragma once
#include <windows.h>

struct ExtractJob;

// Result codes of extract_archive and extract_entries.
enum {
    EXTRACT_OK = 0,
    EXTRACT_FAILED = 1,          // no memory for the job, an unsupported version, a file not creatable, a refused entry
    EXTRACT_NO_ARCHIVE = 2,      // archive not openable or not found; a split entry (multi-volume archive)
    EXTRACT_BAD_CHECKSUM = 3,    // a data or header checksum mismatch, or the written data did not all reach the disk
    EXTRACT_NO_WINDOW = 9,       // no memory for the decoder window
    EXTRACT_NO_COPY_BUFFER = -1, // copy_stored found no memory for its buffer
};

// Installs the entries of the archive in ARCHIVE_PATH into FOLDER, which gets a trailing backslash in place
// (its buffer needs room for one more character). Messages are owned by OWNER, whose label 107 shows the
// entry being installed.
int extract_archive(HWND owner, const char* archive_path, char* folder);

// The whole run for a prepared job; called by extract_archive.
int extract_entries(HWND owner, ExtractJob* job);
