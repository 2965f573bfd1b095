// The path split is the C runtime's own, so it lives apart from the other update
// rules, which also build natively.
#include "UpdateRules.h"

#include <cerrno>
#include <cstdlib>

int SplitPath(const std::string &path, PathParts &parts) {
    parts = PathParts{};
    // Beyond this no file function of the plug-in could open the path, and the splitter
    // could end in the runtime's invalid-parameter handler, which belongs to the host.
    const size_t kLongestPath = 259;
    if (path.size() > kLongestPath) return ERANGE;
    return _splitpath_s(path.c_str(), parts.drive, sizeof parts.drive, parts.folder, sizeof parts.folder,
                        parts.name, sizeof parts.name, parts.extension, sizeof parts.extension);
}
