// The refresher's update request: each "temp:" value turned into the new file's
// path and the name it replaces in the agent's folder, and the rules over the
// whole file list. The input holds one value a line.
//
// Under Windows the name and extension come from the runtime's path split, as in
// the plug-in; natively that split is not there, and the part of a value after a
// tab is taken as its extension instead.
#include <cerrno>
#include <string>

#include "UpdateRules.h"
#include "fuzz_check.h"

namespace {

const std::string kTempFolder = "C:\\Temp\\";
const std::string kAgentFolder = "C:\\Agent\\";

bool NameAndExtension(const std::string &source, const std::string &value, std::string &name,
                      std::string &extension) {
#ifdef _WIN32
    (void)value;
    PathParts parts;
    const int error = SplitPath(source, parts);
    if (source.size() > 259) FUZZ_CHECK(error == ERANGE);
    if (error != 0) return false;
    FUZZ_CHECK(std::string(parts.drive) + parts.folder + parts.name + parts.extension == source);
    name = parts.name;
    extension = parts.extension;
#else
    (void)source;
    const size_t tab = value.find('\t');
    name = value.substr(0, tab);
    extension = tab == std::string::npos ? std::string() : value.substr(tab + 1);
#endif
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const std::string input(reinterpret_cast<const char *>(data), size);
    FileList files;
    size_t start = 0;
    while (start <= input.size() && files.size() < 64) {
        size_t end = input.find('\n', start);
        if (end == std::string::npos) end = input.size();
        const std::string value = input.substr(start, end - start);
        start = end + 1;

        const std::string source = SourcePathFor(value, kTempFolder);
        FUZZ_CHECK(source == kTempFolder + (value.size() > 5 ? value.substr(5) : std::string()));

        std::string name, extension;
        if (!NameAndExtension(source, value, name, extension)) continue;
        const std::string destination = DestinationNameFor(name, extension);
        FUZZ_CHECK(destination.size() >= extension.size() &&
                   destination.compare(destination.size() - extension.size(), extension.size(), extension) == 0);
        const std::string stem = destination.substr(0, destination.size() - extension.size());
        FUZZ_CHECK(stem.find('-') == std::string::npos && name.find(stem) != std::string::npos);
        files.push_back(UpdatePair{source, kAgentFolder + destination});

        const std::string folder = FolderOf(value);
        FUZZ_CHECK(value.compare(0, folder.size(), folder) == 0);
        FUZZ_CHECK(folder == value || folder.back() == '\\' || folder.back() == '/');
    }

    size_t expected = 0;
    bool comma = false;
    for (const UpdatePair &pair : files) {
        expected += pair.source.size() + 2 + pair.destination.size() + 1;
        comma = comma || pair.source.find(',') != std::string::npos || pair.destination.find(',') != std::string::npos;
    }
    FUZZ_CHECK(ListFileContent(files).size() == expected);
    FUZZ_CHECK(ListHasComma(files) == comma);
    NeedsExternalUpdate(files);
    return 0;
}
