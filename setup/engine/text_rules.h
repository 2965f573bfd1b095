// Plain text rules of the script engine: no I/O and no Windows headers, so they are
// tested and fuzzed directly.
#pragma once
#include <cstddef>
#include <string>
#include <vector>

// Space, tab, line feed, vertical tab, form feed, carriage return.
bool IsWhiteSpace(char c);
// A character other than the terminator whose value, taken as a signed byte, is
// below 32: so every character of 128 and above counts as one.
bool IsControlCharacter(char c);

// Skips leading white space and control characters, cuts at the first ';' and
// overwrites trailing white space with terminators. Returns the first kept
// character. The caller's text must not be null.
char *StripCommentsInPlace(char *textValue);

// As above without the comment cut: a ';' stays in the text.
char *TrimText(char *textValue);

// Overwrites the last backslash with a terminator. Both parts point into the
// caller's text; without a backslash the directory part is empty.
struct PathParts {
    char *directory;
    char *fileName;
};
PathParts SplitPath(char *path);

// The script name on kestrel's command line: the text before the first '-',
// cleaned of blanks and comments. The command line is first cut to 259
// characters, like the buffer it is copied into. Quotes stay.
void ExtractScriptName(const char *commandLine, char *out, size_t capacity);

// One line of a command section unrolled into what goes into [Commands].
struct UnrolledCommand {
    std::string typeText;     // up to the first comma, at most 259 characters
    std::string fullSection;  // from the first comma on, comma included; empty without one
    std::vector<std::string> fields;  // argument 0, 1, ... with trailing blanks removed
};

// Returns false for a line that is empty once its comment is cut (it takes no
// number); otherwise fills out.
bool UnrollCommandLine(const std::string &line, UnrolledCommand &out);

// The text of one log entry as it is written: every CR and LF a blank (one entry
// is one line), other control bytes \xNN; cut to capacity - 1 characters, never
// inside an escape. Returns the length.
size_t OneLogLine(char *line, size_t capacity, const char *textValue);

// A profile file's sections as the profile functions read them: the first of
// each name (names compared without case), its entries "key=value" or "key" with
// blanks trimmed; blank lines and comments (';') are left out, as a section read
// leaves them out. Compared with what the profile functions hold, it tells a file
// written whole from one cut short.
struct ProfileSectionLines {
    std::string name;
    std::vector<std::string> entries;
};
std::vector<ProfileSectionLines> ReadProfileText(const char *bytes, size_t length);
