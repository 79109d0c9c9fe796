#include "archive/stream.h"

#ifdef _WIN32
#include <share.h>
#endif

FILE* file_open(const char* path, const char* mode, int share) {
#ifdef _WIN32
    static const int kShareFlags[4] = {_SH_DENYRD, _SH_DENYWR, _SH_DENYNO, _SH_DENYNO};
    if (share < 0 || share > 3)
        share = 2;
    return _fsopen(path, mode, kShareFlags[share]);
#else
    (void)share;  // no mandatory locks on the host
    return fopen(path, mode);
#endif
}

void file_close(FILE* stream) {
    if (stream)
        fclose(stream);
}

uint32_t file_read(FILE* stream, void* buffer, uint32_t count) {
    if (!stream || count == 0)
        return 0;
    return (uint32_t)fread(buffer, 1, count, stream);
}

uint32_t file_write(FILE* stream, const void* buffer, uint32_t count) {
    if (!stream || count == 0)
        return 0;
    return (uint32_t)fwrite(buffer, 1, count, stream);
}

void file_seek(FILE* stream, int32_t offset, int origin) {
    if (stream)
        fseek(stream, offset, origin == 1 ? SEEK_CUR : SEEK_SET);
}
