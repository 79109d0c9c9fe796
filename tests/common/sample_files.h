// The sample archives in ORDAVIN_SAMPLES_DIR, which CMake sets for both test programs.
#pragma once
#include <stdint.h>
#include <stdio.h>

#include <string>
#include <vector>

// Up to LIMIT bytes from the start of the sample archive NAME into BYTES; false when it cannot be opened
// (the samples folder is absent), for the caller to skip.
inline bool read_sample_head(const std::string& name, size_t limit, std::vector<uint8_t>* bytes) {
    FILE* f = fopen((std::string(ORDAVIN_SAMPLES_DIR) + "/" + name).c_str(), "rb");
    if (!f)
        return false;
    bytes->resize(limit);
    bytes->resize(fread(bytes->data(), 1, bytes->size(), f));
    fclose(f);
    return true;
}
