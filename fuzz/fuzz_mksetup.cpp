// libFuzzer target: mksetup's list and test on any byte string taken as a file.
#include <stdint.h>
#include <stdio.h>
#include <sys/mman.h>
#include <unistd.h>

#include <string>

#include "tools/mksetup.h"
#include "tools/mksetup_read.h"

namespace {

// test decodes at most a few thousand bytes per input byte; larger inputs are only listed.
const size_t kMaxTestedSize = 1024;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    int fd = memfd_create("setup", 0);
    if (fd < 0)
        return 0;
    if (size && write(fd, data, size) != (ssize_t)size) {
        close(fd);
        return 0;
    }
    std::string path = "/proc/self/fd/" + std::to_string(fd);
    static FILE* sink = fopen("/dev/null", "w");
    list_archive_file(path.c_str(), sink, sink);
    if (size <= kMaxTestedSize)
        test_archive_file(path.c_str(), sink, sink, nullptr);
    close(fd);
    return 0;
}
