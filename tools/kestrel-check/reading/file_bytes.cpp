#include "file_bytes.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

// Scripts, logs and machine files are small; anything near this size is none of them.
constexpr long kLargestFile = 64L * 1024 * 1024;

bool ReadWholeFile(const std::string &path, std::string &bytes, std::string &reason) {
    FILE *file = fopen(path.c_str(), "rb");
    if (!file) {
        reason = strerror(errno);
        return false;
    }
    bytes.clear();
    char block[65536];
    bool ok = true;
    for (;;) {
        size_t got = fread(block, 1, sizeof block, file);
        bytes.append(block, got);
        if (bytes.size() > static_cast<size_t>(kLargestFile)) {
            reason = "larger than 64 MiB: not a script, log or machine file";
            ok = false;
            break;
        }
        if (got < sizeof block) {
            if (ferror(file)) {
                reason = errno ? strerror(errno) : "read error";
                ok = false;
            }
            break;
        }
    }
    fclose(file);
    return ok;
}

