// What happened, read back from install logs: each run from its banner to DONE,
// its commands, the failures that followed them, reboot requests and its time.
// Pure functions over the log's bytes; the renderers give text, JSON and a
// markdown table of many logs.
#pragma once
#include <string>
#include <vector>

namespace logsum {

enum class Gravity { Failure, Warning, Information };

// One form of log entry that reports something gone wrong. The table is the one
// the docs list: a form is either the start of the entry's text or a part of it.
struct EntryForm {
    bool anywhere;      // false: the text starts with it
    const char *text;   // compared as written
    Gravity gravity;
    const char *example;
};
const std::vector<EntryForm> &EntryForms();
// The first form that fits the entry's text (after "program> "), or null.
const EntryForm *ClassifyEntry(const std::string &entryText);

struct Entry {
    int line = 0;          // 1-based line of the log file
    long stampMs = -1;     // milliseconds of the day; -1 when the line has no stamp
    std::string text;      // after the stamp and "program> "
};

struct Command {
    Entry entry;                   // "CMD<n>> <name>: <its line>"
    std::vector<Entry> failures;   // failure lines that followed it
    std::vector<Entry> warnings;
};

struct Run {
    int firstLine = 0, lastLine = 0;
    std::string script;                  // the source script
    std::vector<std::string> switches;   // -silent, -noreboot, -resume as the run read them
    std::vector<std::string> sections;   // in the order entered
    int commandCount = 0;
    std::vector<Entry> startFailures, startWarnings;  // before the first command
    std::vector<Command> troubled;       // commands with failures or warnings
    std::vector<Entry> reboots;          // reboot requests and their refusal
    bool done = false;
    std::string doneText;
    long elapsedMs = 0;

    size_t FailureCount() const;
    size_t WarningCount() const;
    bool Healthy() const { return done && FailureCount() == 0; }
};

struct LogSummary {
    std::string name;  // as given on the command line
    std::vector<Run> runs;
    bool Healthy() const;
};

// Reads the log's bytes. Lines without a time stamp (the continuation lines of
// older logs) are joined to the entry before them.
LogSummary SummarizeLog(const std::string &name, const std::string &bytes);

enum class Format { Text, Json, Markdown };
bool ParseFormat(const std::string &name, Format &format);
std::string Render(const std::vector<LogSummary> &logs, Format format);

}  // namespace logsum
