#include "UpdateRules.h"

#include <cctype>

std::string SourcePathFor(const std::string &value, const std::string &tempFolder) {
    static const size_t kPrefixLength = sizeof "temp:" - 1;
    std::string source = value;
    source.replace(0, kPrefixLength, tempFolder);
    return source;
}

void EraseThroughFirstDash(std::string &text) {
    size_t dash = text.find('-');
    if (dash != std::string::npos) text.erase(0, dash + 1);
}

void EraseFromFirstDash(std::string &text) {
    size_t dash = text.find('-');
    if (dash != std::string::npos) text.erase(dash);
}

std::string DestinationNameFor(const std::string &name, const std::string &extension) {
    std::string stem = name;
    EraseThroughFirstDash(stem);
    EraseFromFirstDash(stem);
    return stem + extension;
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
