// Rules of an update request that need no I/O: where each new file goes and whether the
// running agent or this plug-in is among them. No Windows headers here.
#pragma once
#include <array>
#include <string>
#include <vector>

struct UpdatePair {
    std::string source;       // new file in the temp folder
    std::string destination;  // file of the agent to replace
};
using FileList = std::vector<UpdatePair>;

// Requests name their files as "temp:" and the name in the temp folder. The first five
// characters are replaced without looking at them (a shorter value is replaced whole).
std::string SourcePathFor(const std::string &value, const std::string &tempFolder);

struct PathParts {
    char drive[520];
    char folder[260];
    char name[260];
    char extension[260];
};
// Splits a path with the runtime's _splitpath_s; returns 0 or its error number (ERANGE
// when a part, or the path itself, is too long for the file functions). It is defined
// in UpdatePathSplit.cpp, the one rule that needs the Windows runtime.
int SplitPath(const std::string &path, PathParts &parts);

// The stem of the destination as "prefix-stem-rest" is cut down to "stem": the name as
// it is, without everything up to its first "-", then without everything from the next.
std::array<std::string, 3> DestinationStemSteps(const std::string &name);
// The destination file name for a split source name: stem followed by the extension.
std::string DestinationNameFor(const std::string &name, const std::string &extension);

// True for a name that stands for one file of a folder and nothing else: not empty, not
// "." or "..", no separator, drive or stream colon, wildcard or control character, no
// trailing dot or blank (the system drops them and opens another file), not a device
// name such as CON, NUL or COM1.
bool IsPlainFileName(const std::string &name);

// Index of the first pair whose source is not a plain file of the temp folder or whose
// destination is not a plain file of the agent folder; -1 when every pair stays inside.
int FirstPairOutsideFolders(const FileList &files, const std::string &tempFolder, const std::string &agentFolder);

// True when a destination names the running agent or this plug-in (any case, anywhere
// in the path): such files are in use and must be replaced from outside.
bool NeedsExternalUpdate(const FileList &files);

// The update script's input: "source, destination" a line.
std::string ListFileContent(const FileList &files);

// True when a path of the list would be split apart by the update script's reader.
bool ListHasComma(const FileList &files);

// The folder part of an executable path with its separator; a path without any stays whole.
std::string FolderOf(const std::string &executablePath);
