// Command sections unrolled into [Commands], the section state in [State], and
// the section jump.
#pragma once

enum class SectionSetUp {
    Failed,     // the section to enter is missing or empty
    Entered,    // its commands are in [Commands] from the cursor on
    Continued,  // nothing written: the current section goes on
};

// Start-up: a resumed run with a jump pending finishes its current section first;
// the pending section is entered at that section's end, numbered from there.
SectionSetUp SetUpCommandSection(bool atStartUp);

// Names the section to enter when the current one ends, after checking that it
// exists and has lines. The name is the caller's (usually the current argument
// section).
void SetNextSection(const char *sectionName);

// The box and log line of a jump to a section that is missing or empty.
void ReportMissingSection(const char *sectionName);

// True when the section exists and has at least one line.
bool SectionHasLines(const char *sectionName, const char *file);
