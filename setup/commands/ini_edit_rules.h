// Plain rules of the INI-editing commands: list lines split into fields, and the
// reboot choice of the exit-and-delete command. No I/O and no Windows headers.
#pragma once
#include <cstddef>

// Every field of a list line lives in a buffer of this size; a longer field is
// cut to 511 characters, never written past its buffer.
inline constexpr size_t kListFieldSize = 512;

enum class ListLineVerdict {
    Comment,             // first character ';': skipped silently
    MissingComma,        // no comma at all; the message shows the line
    MissingSecondComma,  // SetValue line with one comma; the message shows the text before it
    NoSection,           // nothing but blanks before the first comma
    NoKey,               // nothing but blanks for the key (SetValue) or name (SetVariable)
    Write,               // fields are filled and trimmed
};

struct ListLineFields {
    // Section, key, value for SetValue; name, value (and an empty third) for
    // SetVariable. Trimmed for Write; for the faults, first holds the text the
    // warning shows.
    char first[kListFieldSize] = "";
    char second[kListFieldSize] = "";
    char third[kListFieldSize] = "";
    bool cut = false;  // some field was longer than its buffer
};

// "section,key,value": the value is everything after the second comma, commas included.
ListLineVerdict SplitSetValueLine(const char *line, ListLineFields &out);
// "name,value": the value is everything after the first comma, commas included.
ListLineVerdict SplitSetVariableLine(const char *line, ListLineFields &out);

enum class RebootDecision {
    NotAsked,  // the choice is not "TRUE": the reboot request stays as it is
    Refused,   // "TRUE" while reboots are suppressed: the request is cleared
    Reboot,    // "TRUE": the request is set
};
RebootDecision DecideReboot(const char *choice, bool suppressReboot);
