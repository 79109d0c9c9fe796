// Path helpers: small in-place routines on ANSI path strings, and folder creation with missing parents.
// Path buffers hold PATH_SIZE bytes (at most 259 characters and the terminator). None of them allocates or
// shows a message.
#pragma once
#include <stddef.h>
#include <stdint.h>

enum { PATH_SIZE = 260 };

// Appends a backslash unless the path is empty or already ends with one. A path that ends with a slash
// still gets a backslash. Returns 0, or 1 when the buffer (of `size` bytes) has no room for the backslash;
// the path is then left unchanged.
int add_separator(char* path, size_t size = PATH_SIZE);

// Position just after the last backslash or slash; 0 when there is none.
uint16_t last_separator(const char* path);

// Cuts the path at its last backslash (slashes do not count); a backslash at position 2 stays,
// whatever precedes it: 'C:\a' becomes 'C:\', 'C:\a\' becomes 'C:\a', 'abc' becomes ''.
void parent_dir(char* path);

// Cuts the path at its last backslash or slash; the separator at position 2 stays only after a drive
// colon: 'C:\a' becomes 'C:\', 'ab\c' becomes 'ab'.
void strip_last_component(char* path);

// 0 when a file or folder of that name exists, 2 when not.
int file_exists(const char* path);

// Replaces the path (in a PATH_SIZE buffer) by its full form when that can be formed and fits.
void expand_full_path(char* path);

// Creates the folder and any missing parents. 0 created; 2 not created and no parent creation possible
// (the folder exists already, another error, a drive root or a parent shorter than 4 characters, a path
// of PATH_SIZE characters or more); 3 the parents exist but the folder itself could not be created.
// Trailing backslashes are ignored, so 'C:\a\b\' creates 'C:\a\b'.
int make_dirs(const char* path);

// Appends text to the zero-terminated string in a buffer of `size` bytes. Returns 0, or 1 when the
// result would not fit; the buffer is then left unchanged.
int append_text(char* buffer, size_t size, const char* text);
