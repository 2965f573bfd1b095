#include "UpdateRules.h"

#include <cctype>
#include <cstring>

std::string SourcePathFor(const std::string &value, const std::string &tempFolder) {
    static const size_t kPrefixLength = sizeof "temp:" - 1;
    std::string source = value;
    source.replace(0, kPrefixLength, tempFolder);
    return source;
}

std::array<std::string, 3> DestinationStemSteps(const std::string &name) {
    std::array<std::string, 3> steps{name, name, name};
    size_t dash = steps[1].find('-');
    if (dash != std::string::npos) steps[1].erase(0, dash + 1);
    steps[2] = steps[1];
    dash = steps[2].find('-');
    if (dash != std::string::npos) steps[2].erase(dash);
    return steps;
}

std::string DestinationNameFor(const std::string &name, const std::string &extension) {
    return DestinationStemSteps(name)[2] + extension;
}

namespace {

std::string Upper(std::string text) {
    for (char &c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

// Names the system opens as devices, with or without an extension. COM and LPT take
// the digits 0-9 and the superscripts one to three, as code page 1252 writes them
// (B9, B2, B3) and as UTF-8 does (C2 B9, C2 B2, C2 B3).
bool IsDeviceName(const std::string &name) {
    static const char *const kDevices[] = {
        "CON",  "PRN",  "AUX",  "NUL",  "CONIN$", "CONOUT$", "COM0",     "COM1",     "COM2",     "COM3",
        "COM4", "COM5", "COM6", "COM7", "COM8",   "COM9",    "COM\xB9", "COM\xB2", "COM\xB3", "COM\xC2\xB9",
        "COM\xC2\xB2", "COM\xC2\xB3", "LPT0", "LPT1", "LPT2", "LPT3", "LPT4", "LPT5", "LPT6", "LPT7",
        "LPT8", "LPT9", "LPT\xB9", "LPT\xB2", "LPT\xB3", "LPT\xC2\xB9", "LPT\xC2\xB2", "LPT\xC2\xB3"};
    std::string base = Upper(name.substr(0, name.find('.')));
    while (!base.empty() && base.back() == ' ') base.pop_back();
    for (const char *device : kDevices) {
        if (base == device) return true;
    }
    return false;
}

// The rest of path after folder, when path begins with it (any case); false otherwise.
bool NameInFolder(const std::string &path, const std::string &folder, std::string &name) {
    if (path.size() < folder.size() || Upper(path.substr(0, folder.size())) != Upper(folder)) return false;
    name = path.substr(folder.size());
    return true;
}

}  // namespace

bool IsPlainFileName(const std::string &name) {
    static const char kNotInNames[] = "\\/:*?\"<>|";
    if (name.empty() || name == "." || name == "..") return false;
    for (char c : name) {
        if (static_cast<unsigned char>(c) < 0x20 || std::strchr(kNotInNames, c) != nullptr) return false;
    }
    if (name.back() == '.' || name.back() == ' ') return false;
    return !IsDeviceName(name);
}

int FirstPairOutsideFolders(const FileList &files, const std::string &tempFolder, const std::string &agentFolder) {
    for (size_t i = 0; i < files.size(); ++i) {
        std::string sourceName, destinationName;
        if (!NameInFolder(files[i].source, tempFolder, sourceName) || !IsPlainFileName(sourceName) ||
            !NameInFolder(files[i].destination, agentFolder, destinationName) || !IsPlainFileName(destinationName))
            return static_cast<int>(i);
    }
    return -1;
}

bool NeedsExternalUpdate(const FileList &files) {
    static const char *const kSpecialNames[] = {"warden.exe", "refresher.dll"};
    for (const UpdatePair &pair : files) {
        std::string lower = pair.destination;
        for (char &c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        for (const char *special : kSpecialNames) {
            if (lower.find(special) != std::string::npos) return true;
        }
    }
    return false;
}

std::string ListFileContent(const FileList &files) {
    std::string content;
    for (const UpdatePair &pair : files) content += pair.source + ", " + pair.destination + "\n";
    return content;
}

bool ListHasComma(const FileList &files) {
    for (const UpdatePair &pair : files) {
        if (pair.source.find(',') != std::string::npos || pair.destination.find(',') != std::string::npos)
            return true;
    }
    return false;
}

std::string FolderOf(const std::string &executablePath) {
    size_t separator = executablePath.find_last_of('\\');
    if (separator == std::string::npos) separator = executablePath.find_last_of('/');
    return separator == std::string::npos ? executablePath : executablePath.substr(0, separator + 1);
}
