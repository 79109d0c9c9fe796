// libFuzzer target: mksetup's list and test on any byte string taken as a file.
#include <stdint.h>
#include <stdio.h>

#include <string>

#include "fuzz/fuzz_common.h"
#include "tools/mksetup.h"
#include "tools/mksetup_read.h"

namespace {

// test decodes at most a few thousand bytes per input byte; larger inputs are only listed.
const size_t kMaxTestedSize = 1024;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FILE* file = fuzz::file_of(data, size);
    if (!file)
        return 0;
    // mksetup opens the file by name.
    std::string path = "/proc/self/fd/" + std::to_string(fileno(file));
    list_archive_file(path.c_str(), fuzz::null_sink(), fuzz::null_sink());
    if (size <= kMaxTestedSize)
        test_archive_file(path.c_str(), fuzz::null_sink(), fuzz::null_sink(), nullptr);
    fclose(file);
    return 0;
}
