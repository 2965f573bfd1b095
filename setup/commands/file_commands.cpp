#include "file_commands.h"

#include <windows.h>

#include <cstdarg>
#include <cstring>
#include <string>

#include "engine/bounded_text.h"
#include "engine/command_args.h"
#include "engine/install_log.h"
#include "engine/profile_utils.h"
#include "engine/run_state.h"
#include "engine/text_rules.h"
#include "engine/win_owners.h"

namespace {

const char kDefaultStartupFolder[] = "C:\\Documents and Settings\\All Users\\Start Menu\\Programs\\Startup";

struct LastError {
    unsigned long code;
    char text[260];
    LastError() { code = DescribeLastError(text, sizeof text); }
};

// The first text of a log line when it carries values itself, cut like the line.
std::string Formatted(const char *format, ...) __attribute__((format(gnu_printf, 1, 2)));
std::string Formatted(const char *format, ...) {
    char buffer[512];
    va_list args;
    va_start(args, format);
    text::FormatBoundedV(buffer, sizeof buffer, format, args);
    va_end(args);
    return buffer;
}

bool PathExists(const char *path) { return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES; }

bool IsDirectory(const char *path) {
    DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// A junction or a directory link: a folder that stands for another one.
bool IsLinkedFolder(DWORD attributes) {
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) &&
           (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

bool EndsWithBackslash(const char *path) {
    size_t length = strlen(path);
    return length > 0 && path[length - 1] == '\\';
}

// Joins folder and name with one backslash between them. A path that does not
// fit is refused (a cut path would name another file) and logged.
bool JoinPath(char *buffer, size_t capacity, const char *folder, const char *name) {
    const char *separator = EndsWithBackslash(folder) ? "" : "\\";
    if (text::FormatBounded(buffer, capacity, "%s%s%s", folder, separator, name) < capacity) return true;
    LogLineFormat("ERROR-=-", "path %s%s%s is longer than %u characters, skipped", folder, separator, name,
                  static_cast<unsigned>(capacity - 1));
    buffer[0] = '\0';
    return false;
}

void LogFormatted2(const char *firstFormat, const char *secondFormat, unsigned long code, const char *errorText,
                   const char *a, const char *b = "") {
    LogLineFormat(Formatted(firstFormat, code, errorText).c_str(), secondFormat, a, b);
}

// A pair line "source, destination": trimmed source, trimmed destination with its
// comment cut. False for a line without a comma.
struct PairLine {
    std::string source;
    std::string destination;
};

bool SplitPairLine(const char *line, PairLine &pair) {
    const char *comma = strchr(line, ',');
    if (!comma) return false;
    std::string before(line, comma);
    std::string after(comma + 1);
    before.push_back('\0');
    after.push_back('\0');
    pair.source = TrimText(&before[0]);
    char *destination = TrimText(&after[0]);
    pair.destination = StripCommentsInPlace(destination);
    return true;
}

// The warnings of a pair list, which copy and rename word differently.
struct PairLineTexts {
    const char *missingComma;  // format with the line
    const char *sourceMissing;
    const char *destinationMissing;
};

// Splits and checks one pair line; false (after its warning, or silently for a
// comment) when the line is to be skipped.
bool TakePairLine(const char *line, const PairLineTexts &texts, PairLine &pair) {
    if (!SplitPairLine(line, pair)) {
        LogLineFormat("WARNINIG-=-", texts.missingComma, line);
        return false;
    }
    if (!pair.source.empty() && pair.source[0] == ';') return false;
    if (pair.source.empty()) {
        LogLine("WARNINIG-=-", texts.sourceMissing);
        return false;
    }
    if (pair.destination.empty()) {
        LogLine("WARNINIG-=-", texts.destinationMissing);
        return false;
    }
    if (pair.source.find('*') != std::string::npos) {
        LogLine("NOTICE:", "Wild Cards not supported yet.");
        return false;
    }
    return true;
}

void ReadStartupFolder(char *folder, size_t capacity) {
    GetPrivateProfileStringA(g_run.languageDataSection, "CommonStartupFolder", kDefaultStartupFolder, folder,
                             static_cast<DWORD>(capacity), g_run.scriptFile);
}

}  // namespace

int CmdAddLinkFile() {
    char shortcut[512], folder[512], destination[512];
    GetPrivateProfileStringA(g_run.argumentSection, "AddLinkFile", "", shortcut, sizeof shortcut, g_run.scriptFile);
    ReadStartupFolder(folder, sizeof folder);
    const char *lastSeparator = strrchr(shortcut, '\\');
    const char *fileName = lastSeparator ? lastSeparator + 1 : shortcut;
    if (!JoinPath(destination, sizeof destination, folder, fileName)) return 0;
    LogLineFormat("...", "CopyFile(%s,%s)", shortcut, destination);
    if (!CopyFileA(shortcut, destination, FALSE)) {
        LastError error;
        LogLineFormat("FAIL - Failure with CopyFile( )", "%lu - %s", error.code, error.text);
    }
    return 0;
}

int CmdDeleteLinkFile() {
    char fileName[512], folder[512], path[512];
    GetPrivateProfileStringA(g_run.argumentSection, "DeleteLinkFile", "", fileName, sizeof fileName,
                             g_run.scriptFile);
    ReadStartupFolder(folder, sizeof folder);
    if (!JoinPath(path, sizeof path, folder, fileName)) return 0;
    LogLineFormat("...", "DeleteFile(%s)", path);
    if (!DeleteFileA(path)) {
        LastError error;
        LogLineFormat("FAIL - Failure with DeleteFile( )", "%lu - %s", error.code, error.text);
    }
    return 0;
}

void SBCopyFile(const char *source, const char *destination) {
    {
        WIN32_FIND_DATAA found;
        ScopedFind itself(FindFirstFileA(source, &found));
        if (!itself.Valid()) {
            LastError error;
            LogLineFormat(Formatted(" FindFirstFile(%s) %lu-%s", source, error.code, error.text).c_str(),
                          "SBCopyFile() - Invalid File Handle - %s", source);
            return;
        }
    }
    char pattern[260], sourcePrefix[260], destinationPrefix[260];
    if (!JoinPath(pattern, sizeof pattern, source, "*.*") || !JoinPath(sourcePrefix, sizeof sourcePrefix, source, "") ||
        !JoinPath(destinationPrefix, sizeof destinationPrefix, destination, ""))
        return;

    WIN32_FIND_DATAA entry;
    ScopedFind search(FindFirstFileA(pattern, &entry));
    if (!search.Valid()) {
        LastError error;
        LogLineFormat(Formatted("SBCopyFile() - Invalid File Handle - %s", pattern).c_str(),
                      "\nFindFirstFile(%s) %lu-%s", pattern, error.code, error.text);
        return;
    }
    do {
        if (strcmp(entry.cFileName, ".") == 0 || strcmp(entry.cFileName, "..") == 0) continue;
        char childSource[260], childDestination[260];
        if (!JoinPath(childSource, sizeof childSource, sourcePrefix, entry.cFileName) ||
            !JoinPath(childDestination, sizeof childDestination, destinationPrefix, entry.cFileName))
            continue;
        if (IsLinkedFolder(entry.dwFileAttributes)) {
            // A link may lead back into the tree being copied: copying through it
            // would never end short of the path limit.
            LogLine("NOTICE:", Formatted("linked folder not followed >%s<", childSource).c_str());
            continue;
        }
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            if (!CreateDirectoryA(childDestination, nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
                LastError error;
                LogFormatted2("SBCopyFile() -  Error=%lu, %s", "\nfunction CreateDirectory() failed on Dir=%s",
                              error.code, error.text, childDestination);
            }
            SBCopyFile(childSource, childDestination);
        } else {
            LogLineFormat("  ", " Copying %s to %s", childSource, childDestination);
            if (!CopyFileA(childSource, childDestination, FALSE)) {
                LastError error;
                LogFormatted2("SBCopyFile -  Error=%lu, %s", "\nfunction CopyFile() failed on src=%s, dst=%s",
                              error.code, error.text, childSource, childDestination);
            }
        }
    } while (FindNextFileA(search.Get(), &entry));
}

static int CopyFileSingle() {
    char argument[512], source[512], destination[512];
    ReadCommandArgument(1, argument, sizeof argument);
    CopyAndExpand(argument, source, sizeof source);
    ReadCommandArgument(2, argument, sizeof argument);
    CopyAndExpand(argument, destination, sizeof destination);
    if (!CopyFileA(source, destination, FALSE)) {
        LastError error;
        LogFormatted2("CMD15_CopyFile() -  Error=%lu, %s", "\nfunction CopyFile() failed on src=%s, dst=%s",
                      error.code, error.text, source, destination);
        return 2;
    }
    LogLineFormat("  ", " Copying %s to %s", source, destination);
    return 0;
}

// One pair line of the copy list: 0 go on, 2 stop the list.
static int CopyListLine(const char *line) {
    static const PairLineTexts kCopyTexts = {"CMD15_CopyFile() -   Missing comma >%s<",
                                             "CMD15_CopyFile() -  Invalid Parameters : Source Missing",
                                             "CMD15_CopyFile() -  Invalid Parameters : Destination Missing"};
    PairLine pair;
    if (!TakePairLine(line, kCopyTexts, pair)) return 0;
    if (pair.destination.back() == '\\') {
        pair.destination.pop_back();
        LogLine("WARNINIG-=-", "CMD15_CopyFile() -  removing trailing \\ from destination");
    }
    char source[260], destination[512];
    CopyAndExpand(pair.source.c_str(), source, sizeof source);
    CopyAndExpand(pair.destination.c_str(), destination, sizeof destination);
    LogLineFormat("  ", "CMD - copy %s to %s", source, destination);

    if (!PathExists(source)) {
        LogLine(Formatted("CMD15_CopyFile() -  Invalid Parameters : SourceFile (%s) does not Exist", source).c_str(),
                "");
        return 0;
    }
    if (IsDirectory(source)) {
        SBCopyFile(source, destination);
        return 0;
    }
    if (IsDirectory(destination)) {
        // Into the folder under the source's own name.
        const char *lastSeparator = strrchr(source, '\\');
        const char *fileName = lastSeparator ? lastSeparator + 1 : source;
        char folder[512];
        text::Copy(folder, destination);
        if (!JoinPath(destination, sizeof destination, folder, fileName)) return 0;
    }
    LogLineFormat("  ", " Copying %s to %s", source, destination);
    if (!CopyFileA(source, destination, FALSE)) {
        LastError error;
        LogFormatted2("CMD15_CopyFile() -  Error=%lu, %s", "\nfunction CopyFile() failed on src=%s, dst=%s",
                      error.code, error.text, source, destination);
        return 2;
    }
    return 0;
}

int CmdCopyFile() {
    if (!ArgumentIsListSection()) return CopyFileSingle();
    SectionText section = ReadProfileSection(g_run.argumentSection, g_run.scriptFile);
    if (!section) {
        LogLine("ERROR-=-", "Missing the Data section or need an extra comma");
        return 2;
    }
    int result = 0;
    ForEachSectionLine(section.get(), [&result](const char *line) {
        if (result == 0) result = CopyListLine(line);
    });
    return result;
}

// Clears the folder's attributes and removes it, each failure logged.
static void RemoveEmptiedDirectory(const char *directory) {
    if (!SetFileAttributesA(directory, FILE_ATTRIBUTE_NORMAL)) {
        LastError error;
        LogLineFormat(Formatted(" SetFileAttributes() failed, (%lu)-%s", error.code, error.text).c_str(),
                      "RemoveDir() - Error setting attribs on file - %s", directory);
    }
    if (!RemoveDirectoryA(directory)) {
        LastError error;
        LogLineFormat(Formatted(" RemoveDirectory(%s) %lu-%s", directory, error.code, error.text).c_str(),
                      "RemoveDir() - Invalid File Handle - %s", directory);
    }
}

void RemoveDir(const char *directory) {
    // A linked folder (junction, directory link) is removed as a link: what it
    // points at belongs to someone else and is never emptied from here.
    if (IsLinkedFolder(GetFileAttributesA(directory))) {
        LogLineFormat("  Removing link...", ">%s<", directory);
        RemoveEmptiedDirectory(directory);
        return;
    }
    char pattern[260], prefix[260];
    if (!JoinPath(pattern, sizeof pattern, directory, "*.*") || !JoinPath(prefix, sizeof prefix, directory, ""))
        return;
    {
        WIN32_FIND_DATAA entry;
        ScopedFind search(FindFirstFileA(pattern, &entry));
        if (!search.Valid()) {
            LastError error;
            LogLineFormat(Formatted(" FindFirstFile(%s) %lu-%s", pattern, error.code, error.text).c_str(),
                          "RemoveDir() - Invalid File Handle - %s", pattern);
            return;
        }
        do {
            if (strcmp(entry.cFileName, ".") == 0 || strcmp(entry.cFileName, "..") == 0) continue;
            char child[260];
            if (!JoinPath(child, sizeof child, prefix, entry.cFileName)) continue;
            if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveDir(child);
                continue;
            }
            if (!SetFileAttributesA(child, FILE_ATTRIBUTE_NORMAL)) {
                LastError error;
                LogLineFormat(Formatted(" SetFileAttributes() failed, (%lu)-%s", error.code,
                                    error.text).c_str(), "RemoveDir() - Error setting attribs on file - %s", child);
            }
            LogLineFormat("  Deleting...", ">%s<", child);
            if (!DeleteFileA(child)) {
                LastError error;
                LogLineFormat(Formatted(" DeleteFile(%s) failed, (%lu)-%s", child, error.code,
                                    error.text).c_str(), "RemoveDir() - Error deleting file - %s", child);
            }
        } while (FindNextFileA(search.Get(), &entry));
    }
    RemoveEmptiedDirectory(directory);
}

void CmdRmdir(const char *path) {
    if (!PathExists(path)) {
        LogLineFormat("WARNING-=-", "Cannot find >%s< to delete", path);
        return;
    }
    if (IsDirectory(path)) {
        LogLineFormat("  ", "...deleting directory >%s<", path);
        RemoveDir(path);
        return;
    }
    LogLineFormat("  ", "...deleting file <%s>", path);
    if (!SetFileAttributesA(path, FILE_ATTRIBUTE_NORMAL)) {
        LastError error;
        LogLineFormat(Formatted("CmdRmdir() - Error setting attribs on file - %s", path).c_str(),
                      "\nSetFileAttributes() failed, (%lu)-%s", error.code, error.text);
    }
    if (!DeleteFileA(path)) {
        LastError error;
        LogLine(Formatted("CmdRmdir() - Error deleting file - %s", path).c_str(),
                Formatted("\nDeleteFile(%s) failed, (%lu)-%s", path, error.code, error.text).c_str());
    }
}

int CmdDeleteFileOrDir() {
    char path[260];
    if (!ArgumentIsListSection()) {
        char argument[260];
        ReadCommandArgument(1, argument, sizeof argument);
        CopyAndExpand(argument, path, sizeof path);
        CmdRmdir(path);
        return 0;
    }
    SectionText section = ReadProfileSection(g_run.argumentSection, g_run.scriptFile);
    if (!section) {
        LogLine("ERROR-=-", "Missing the Data section");
        return 2;
    }
    ForEachSectionLine(section.get(), [&path](const char *line) {
        if (strchr(line, '*')) {
            LogLine("NOTICE:", "Wild Card syntax not supported");
            return;
        }
        CopyAndExpand(line, path, sizeof path);
        CmdRmdir(path);
    });
    return 0;
}

bool MakeDirectory(const char *path) { return CreateDirectoryA(path, nullptr) != FALSE; }

int CmdMakeDir() {
    char path[260];
    if (!ArgumentIsListSection()) {
        ReadCommandArgument(1, g_run.argumentSection, sizeof g_run.argumentSection);
        CopyAndExpand(g_run.argumentSection, path, sizeof path);
        if (!MakeDirectory(path)) {
            LogLineFormat("WARNING-=-", "function MakeDirectory () failed on src=%s", path);
            return 2;
        }
        return 0;
    }
    SectionText section = ReadProfileSection(g_run.argumentSection, g_run.scriptFile);
    if (!section) {
        LogLine("ERROR-=-", "Missing the Data section or an extra comma.");
        return 2;
    }
    int result = 0;
    ForEachSectionLine(section.get(), [&](const char *line) {
        if (result != 0) return;
        CopyAndExpand(line, path, sizeof path);
        if (!MakeDirectory(path)) {
            LogLineFormat("WARNING-=-", "function MakeDirectory () failed on src=%s", path);
            result = 2;
        }
    });
    return result;
}

static int RenameSingle() {
    char argument[260], source[260], destination[260];
    ReadCommandArgument(1, argument, sizeof argument);
    CopyAndExpand(argument, source, sizeof source);
    ReadCommandArgument(2, argument, sizeof argument);
    CopyAndExpand(argument, destination, sizeof destination);
    if (!MoveFileA(source, destination)) {
        LogLineFormat("WARNING-=-", "function rename() failed on src=%s, dst=%s", source, destination);
        return 2;
    }
    LogLineFormat(" ", " Rename %s to %s", source, destination);
    return 0;
}

static void RenameListLine(const char *line) {
    static const PairLineTexts kRenameTexts = {"Missing comma >%s<", "Invalid Parameters : Source Missing",
                                               "Invalid Parameters : Destination Missing"};
    PairLine pair;
    if (!TakePairLine(line, kRenameTexts, pair)) return;
    if (pair.destination.back() == '\\') {
        pair.destination.pop_back();
        LogLineFormat("WARNINIG-=-", "Removing trailing \\ from destination >%s<", pair.destination.c_str());
    }
    char source[260], destination[260];
    CopyAndExpand(pair.source.c_str(), source, sizeof source);
    CopyAndExpand(pair.destination.c_str(), destination, sizeof destination);
    if (!MoveFileA(source, destination))
        LogLineFormat("WARNING-=-", "function rename() failed on src=%s, dst=%s", source, destination);
    else
        LogLineFormat(" ", " renamed %s to %s", source, destination);
}

int CmdRenameFile() {
    if (!ArgumentIsListSection()) return RenameSingle();
    SectionText section = ReadProfileSection(g_run.argumentSection, g_run.scriptFile);
    if (!section) {
        LogLine("ERROR-=-", "Missing the Data section or need an extra comma");
        return 2;
    }
    ForEachSectionLine(section.get(), RenameListLine);
    return 0;
}
