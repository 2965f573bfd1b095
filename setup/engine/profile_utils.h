// Profile (INI) helpers shared by the engine and the commands.
#pragma once
#include <cstddef>
#include <memory>

// Cleans a text in place (comment cut, blanks trimmed) and returns its first kept
// character; a null text logs a warning and gives null.
char *StripCommentsAndEtc(char *textValue);

// A whole section as the profile functions give it: lines, each terminated, and a
// final terminator. Null when the section is missing, empty or memory runs out.
using SectionText = std::unique_ptr<char[]>;
SectionText ReadProfileSection(const char *section, const char *file);

// The section text's length without its final terminator; capped at 16,640 on
// every system, as on the old platforms. 0 when missing or empty.
size_t GetProfileSectionSize(const char *section, const char *file);

// Calls fn(line) for each line of a section text.
template <typename Fn> void ForEachSectionLine(const char *sectionText, Fn fn) {
    if (!sectionText) return;
    for (const char *line = sectionText; *line;) {
        const char *end = line;
        while (*end) ++end;
        fn(line);
        line = end + 1;
    }
}

// Writes everything pending for the file to disk.
void FlushProfile(const char *file);
// Writes an integer as decimal text.
void WriteProfileInt(const char *section, const char *key, int value, const char *file);
