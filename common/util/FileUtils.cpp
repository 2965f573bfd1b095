#include "FileUtils.h"

#include <windows.h>

#include "LogSink.h"

namespace util {

namespace {
const char kUnit[] = "common\\util\\FileUtils";
// Nothing here logs; the sink is the unit's fallback should a helper ever need one.
logging::NullLogSink g_fallbackSink;
}  // namespace

bool FileExists(const std::string &path) {
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

void DeleteExistingFile(const std::string &path) {
    if (!FileExists(path)) {
        throw CFileIOError(kUnit, __LINE__, "Delete failed - target does not exist", 0,
                           static_cast<int32_t>(GetLastError()));
    }
    if (!DeleteFileA(path.c_str())) {
        throw CFileIOError(kUnit, __LINE__, "Delete failed ", 0, static_cast<int32_t>(GetLastError()));
    }
}

void EnsureTrailingSeparator(std::string &path) {
    if (!path.empty() && (path.back() == '\\' || path.back() == '/')) return;
    path += '\\';
}

}  // namespace util
