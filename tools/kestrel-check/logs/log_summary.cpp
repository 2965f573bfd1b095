#include "log_summary.h"

#include "findings.h"

#include <cctype>
#include <cstdio>
#include <cstring>

namespace logsum {

using check::JsonString;

namespace {

constexpr Gravity F = Gravity::Failure;
constexpr Gravity W = Gravity::Warning;
constexpr Gravity I = Gravity::Information;

}  // namespace

// Compared as written: a path in a line (a folder named "Failed") must not make
// it a failure by the case of its letters. First fit wins: the narrow forms stand before the broad ones that would take
// them too ("not found in list" is a branch outcome; "...failed" under a WARNING
// tag is a failure).
const std::vector<EntryForm> &EntryForms() {
    static const std::vector<EntryForm> kForms = {
        {false, "This is not a supported Norvik", I, "This is not a supported Norvik  The ID 0X0A7C was not found in list."},
        {true, "removing trailing \\ from destination", W, "WARNINIG-=- CMD15_CopyFile() -  removing trailing \\ from destination"},
        {true, "Cannot find >", W, "WARNING-=- Cannot find >C:\\old< to delete"},
        {true, "Field longer than", W, "WARNINIG-=- Field longer than 511 characters cut >...<"},
        {true, "LogFile is longer than", W, "WARNING-=- [Data] LogFile is longer than 127 characters; the default log is used."},
        {true, "hexadecimal digit", W, "NOTICE:Odd number of hexadecimal digits, the last one is ignored ->0A0"},
        {true, "unable to determine root key", W, "NOTICE: unable to determine root key, defaulting to -> HKEY_LOCAL_MACHINE"},
        {false, "NOTICE -- ", W, "NOTICE -- couldn't open key:  Software\\Vendor\\Optional"},
        {false, "GetVariable( ) variable not found", W, "GetVariable( ) variable not found for  ~%V010"},
        {false, "Sleuth was unable to load", W, "Sleuth was unable to load Hw Query DLL"},
        {false, "ERROR", F, "ERROR-=- Section [Next] is not found!  /  ERROR - cannot initialize"},
        {false, "Error-=-", F, "Error-=-  cound not open second file..."},
        {false, "...ERROR", F, "...ERROR deleting Value  "},
        {false, "FAIL - ", F, "FAIL - Failure with CreateProcess( ) 2 - File not found."},
        {true, "Error=", F, "CMD15_CopyFile() -  Error=3, Path not found.  function CopyFile() failed on src=..., dst=..."},
        {true, "failed", F, "WARNING-=- function MakeDirectory () failed on src=C:\\first"},
        {true, "Failed disabling", F, "CmdEnableWow64FSRedirection() -> Failed disabling FS Redirection"},
        {true, "Invalid File Handle", F, " FindFirstFile(C:\\kit) 3-... SBCopyFile() - Invalid File Handle - C:\\kit"},
        {true, "Invalid Parameters", F, "CMD15_CopyFile() -  Invalid Parameters : SourceFile (C:\\kit\\a.dll) does not Exist"},
        {true, "Missing comma", F, "WARNINIG-=- Missing comma >Paths<"},
        {true, "not defined", F, "NOTICE:  CMD >40< not defined  /  NOTICE:Data not defined in line ->...  /  ..time not defined to sleep"},
        {true, "Not Supported", F, " Not Supported yet."},
        {true, "not supported", F, "NOTICE: Wild Cards not supported yet."},
        {true, "Couldn't load", F, "CmdEnableWow64FSRedirection() -> Couldn't load Wow64EnableWow64FsRedirection from Kernel32.dll"},
        {false, "WARNING-=-", W, "WARNING-=- negative sleep time >-5< refused, not sleeping"},
        {false, "WARNINIG-=-", W, "WARNINIG-=- (other warnings)"},
        {false, "WARINING", W, "WARINING (other warnings)"},
    };
    return kForms;
}

namespace {

bool Digits(const std::string &s, size_t at, size_t count) {
    if (at + count > s.size()) return false;
    for (size_t i = 0; i < count; ++i) {
        if (!isdigit(static_cast<unsigned char>(s[at + i]))) return false;
    }
    return true;
}

int Number(const std::string &s, size_t at, size_t count) { return std::stoi(s.substr(at, count)); }

// "[hh:mm:ss.mmm]" at the start of the line: milliseconds of the day, or -1.
long StampOf(const std::string &line) {
    if (line.size() < 14 || line[0] != '[' || line[3] != ':' || line[6] != ':' || line[9] != '.' ||
        line[13] != ']' || !Digits(line, 1, 2) || !Digits(line, 4, 2) || !Digits(line, 7, 2) || !Digits(line, 10, 3))
        return -1;
    return ((Number(line, 1, 2) * 60L + Number(line, 4, 2)) * 60L + Number(line, 7, 2)) * 1000L + Number(line, 10, 3);
}

// The text after the stamp's two blanks and, on lines of the program, "name> ".
std::string EntryText(const std::string &line) {
    std::string rest = line.substr(14);
    for (int blanks = 0; blanks < 2 && !rest.empty() && rest[0] == ' '; ++blanks) rest.erase(0, 1);
    size_t mark = rest.find("> ");
    if (mark != std::string::npos && mark > 0 && rest.find(' ') > mark) rest.erase(0, mark + 2);
    // The blank an empty second text leaves says nothing.
    while (!rest.empty() && rest.back() == ' ') rest.pop_back();
    return rest;
}

bool IsCommandLine(const std::string &textValue) {
    if (textValue.compare(0, 3, "CMD") != 0) return false;
    size_t at = 3;
    while (at < textValue.size() && isdigit(static_cast<unsigned char>(textValue[at]))) ++at;
    return at > 3 && textValue.compare(at, 2, "> ") == 0;
}

std::string After(const std::string &textValue, const std::string &marker) {
    size_t at = textValue.find(marker);
    return at == std::string::npos ? std::string() : textValue.substr(at + marker.size());
}

void Trim(std::string &textValue) {
    while (!textValue.empty() && textValue.back() == ' ') textValue.pop_back();
    while (!textValue.empty() && textValue.front() == ' ') textValue.erase(0, 1);
}

struct RunBuilder {
    Run run;
    long firstStamp = -1, lastStamp = -1;
    bool inCommand = false;
    Command command;

    void CloseCommand() {
        if (inCommand && (!command.failures.empty() || !command.warnings.empty())) run.troubled.push_back(command);
        inCommand = false;
        command = Command();
    }

    void Take(const Entry &entry) {
        run.lastLine = entry.line;
        if (entry.stampMs >= 0) {
            if (firstStamp < 0) firstStamp = entry.stampMs;
            lastStamp = entry.stampMs;
        }
        const std::string &t = entry.text;
        if (t.compare(0, 13, "InitINIFile()") == 0) {
            static const char *const kSwitches[] = {"-silent", "-noreboot", "-resume"};
            for (const char *name : kSwitches) {
                if (t.find(std::string(name) + " given") != std::string::npos) run.switches.push_back(name);
            }
            std::string copied = t.substr(13);
            size_t copiedAt = copied.find(" has been copied to ");
            if (copiedAt != std::string::npos) {
                run.script = copied.substr(0, copiedAt);
                Trim(run.script);
            } else if (run.script.empty()) {
                run.script = After(t, "The INI file in use is ");
            }
            return;
        }
        if (t.compare(0, 2, "**") == 0 && t.find("Starting section >") != std::string::npos) {
            std::string name = After(t, "Starting section >");
            if (!name.empty() && name.back() == '<') name.pop_back();
            run.sections.push_back(name);
            return;
        }
        if (IsCommandLine(t)) {
            CloseCommand();
            inCommand = true;
            command.entry = entry;
            ++run.commandCount;
            return;
        }
        if (t.compare(0, 4, "DONE") == 0) {
            run.done = true;
            run.doneText = t;
            Trim(run.doneText);
            if (t.find("Shutting down") != std::string::npos) run.reboots.push_back(entry);
            return;
        }
        if (t.compare(0, 27, "Setting to reboot system...") == 0 || t.compare(0, 28, "Not setting to reboot system") == 0) {
            run.reboots.push_back(entry);
            return;
        }
        const EntryForm *form = ClassifyEntry(t);
        if (!form || form->gravity == Gravity::Information) return;
        bool failure = form->gravity == Gravity::Failure;
        if (inCommand)
            (failure ? command.failures : command.warnings).push_back(entry);
        else
            (failure ? run.startFailures : run.startWarnings).push_back(entry);
    }

    Run Finish() {
        CloseCommand();
        if (firstStamp >= 0) {
            long elapsed = lastStamp - firstStamp;
            if (elapsed < 0) elapsed += 24L * 3600 * 1000;  // the run went past midnight
            run.elapsedMs = elapsed;
        }
        return run;
    }
};

}  // namespace

const EntryForm *ClassifyEntry(const std::string &entryText) {
    for (const EntryForm &form : EntryForms()) {
        bool fits = form.anywhere ? entryText.find(form.text) != std::string::npos
                                  : entryText.compare(0, strlen(form.text), form.text) == 0;
        if (fits) return &form;
    }
    return nullptr;
}

size_t Run::FailureCount() const {
    size_t count = startFailures.size();
    for (const Command &c : troubled) count += c.failures.size();
    return count;
}

size_t Run::WarningCount() const {
    size_t count = startWarnings.size();
    for (const Command &c : troubled) count += c.warnings.size();
    return count;
}

bool LogSummary::Healthy() const {
    if (runs.empty()) return false;
    for (const Run &run : runs) {
        if (!run.Healthy()) return false;
    }
    return true;
}

LogSummary SummarizeLog(const std::string &name, const std::string &bytes) {
    std::vector<Entry> entries;
    size_t start = 0;
    int lineNumber = 0;
    while (start < bytes.size()) {
        size_t end = bytes.find('\n', start);
        if (end == std::string::npos) end = bytes.size();
        std::string line = bytes.substr(start, end - start);
        start = end + 1;
        ++lineNumber;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        long stamp = StampOf(line);
        if (stamp < 0) {
            if (!entries.empty() && !line.empty()) entries.back().text += " " + line;
            continue;
        }
        entries.push_back(Entry{lineNumber, stamp, EntryText(line)});
    }

    LogSummary summary;
    summary.name = name;
    bool inRun = false;
    RunBuilder builder;
    for (const Entry &entry : entries) {
        if (entry.text.compare(0, 13, "*** Starting ") == 0) {
            if (inRun) summary.runs.push_back(builder.Finish());
            builder = RunBuilder();
            builder.run.firstLine = entry.line;
            inRun = true;
        }
        // The line of two empty texts that opens every run says nothing; taken,
        // it would stretch the run before it to the next start.
        if (inRun && entry.text.find_first_not_of(' ') != std::string::npos) builder.Take(entry);
    }
    if (inRun) summary.runs.push_back(builder.Finish());
    return summary;
}

bool ParseFormat(const std::string &name, Format &format) {
    static const struct {
        const char *name;
        Format format;
    } kFormats[] = {{"text", Format::Text}, {"json", Format::Json}, {"markdown", Format::Markdown}};
    for (const auto &row : kFormats) {
        if (name == row.name) {
            format = row.format;
            return true;
        }
    }
    return false;
}

namespace {

std::string Seconds(long ms) {
    char buffer[32];
    snprintf(buffer, sizeof buffer, "%ld.%03ld", ms / 1000, ms % 1000);
    return buffer;
}

std::string Joined(const std::vector<std::string> &items, const char *before, const char *after) {
    std::string out;
    for (const std::string &item : items) out += (out.empty() ? "" : " ") + (before + item + after);
    return out;
}

std::string At(const Entry &entry) { return "line " + std::to_string(entry.line) + ": " + entry.text; }

void RenderRunText(std::string &out, const std::string &log, const Run &run, size_t index, size_t count) {
    out += log + ": run " + std::to_string(index + 1) + " of " + std::to_string(count) + " (lines " +
           std::to_string(run.firstLine) + "-" + std::to_string(run.lastLine) + ")\n";
    out += "  script:   " + (run.script.empty() ? std::string("(not named)") : run.script) + "\n";
    out += "  switches: " + (run.switches.empty() ? std::string("(none)") : Joined(run.switches, "", "")) + "\n";
    out += "  sections: " + (run.sections.empty() ? std::string("(none)") : Joined(run.sections, "[", "]")) + "\n";
    out += "  commands: " + std::to_string(run.commandCount) + ", " + std::to_string(run.FailureCount()) +
           " failure line(s), " + std::to_string(run.WarningCount()) + " warning line(s)\n";
    auto lines = [&out](const std::vector<Entry> &entries, const char *label) {
        for (const Entry &e : entries) out += std::string("      ") + label + At(e) + "\n";
    };
    if (!run.startFailures.empty() || !run.startWarnings.empty()) {
        out += run.startFailures.empty() ? "  warned   start-up\n" : "  FAILED   start-up\n";
        lines(run.startFailures, "");
        lines(run.startWarnings, "warning: ");
    }
    for (const Command &c : run.troubled) {
        out += std::string(c.failures.empty() ? "  warned   " : "  FAILED   ") + At(c.entry) + "\n";
        lines(c.failures, "");
        lines(c.warnings, "warning: ");
    }
    for (const Entry &e : run.reboots) out += "  reboot:   " + At(e) + "\n";
    if (run.done)
        out += "  end:      " + run.doneText + "\n";
    else
        out += "  end:      NO DONE: the run was cut off or stopped after line " + std::to_string(run.lastLine) + "\n";
    out += "  time:     " + Seconds(run.elapsedMs) + " s\n";
}


std::string JsonEntries(const std::vector<Entry> &entries) {
    std::string out = "[";
    for (const Entry &e : entries)
        out += (out.size() > 1 ? "," : "") + std::string("{\"line\":") + std::to_string(e.line) + ",\"text\":" +
               JsonString(e.text) + "}";
    return out + "]";
}

std::string JsonTexts(const std::vector<std::string> &items) {
    std::string out = "[";
    for (const std::string &item : items) out += (out.size() > 1 ? "," : "") + JsonString(item);
    return out + "]";
}

std::string RenderRunJson(const Run &run) {
    std::string out = "{\"first_line\":" + std::to_string(run.firstLine) +
                      ",\"last_line\":" + std::to_string(run.lastLine) + ",\"script\":" + JsonString(run.script) +
                      ",\"switches\":" + JsonTexts(run.switches) + ",\"sections\":" + JsonTexts(run.sections) +
                      ",\"commands\":" + std::to_string(run.commandCount) +
                      ",\"start_failures\":" + JsonEntries(run.startFailures) +
                      ",\"start_warnings\":" + JsonEntries(run.startWarnings) + ",\"failed_commands\":[";
    bool first = true;
    for (const Command &c : run.troubled) {
        out += std::string(first ? "" : ",") + "{\"line\":" + std::to_string(c.entry.line) +
               ",\"command\":" + JsonString(c.entry.text) + ",\"failures\":" + JsonEntries(c.failures) +
               ",\"warnings\":" + JsonEntries(c.warnings) + "}";
        first = false;
    }
    out += "],\"reboots\":" + JsonEntries(run.reboots) + ",\"done\":" + (run.done ? "true" : "false") +
           ",\"done_text\":" + JsonString(run.doneText) + ",\"elapsed_ms\":" + std::to_string(run.elapsedMs) +
           ",\"failures\":" + std::to_string(run.FailureCount()) +
           ",\"warnings\":" + std::to_string(run.WarningCount()) + "}";
    return out;
}

// A markdown cell holds no '|' and no line break.
std::string Cell(std::string textValue) {
    std::string out;
    for (char c : textValue) out += c == '|' ? std::string("\\|") : std::string(1, c);
    return out;
}

std::string RenderMarkdownRow(const LogSummary &log) {
    size_t commands = 0, failures = 0, warnings = 0, reboots = 0, notDone = 0;
    long elapsed = 0;
    std::string firstFailure;
    for (size_t i = 0; i < log.runs.size(); ++i) {
        const Run &run = log.runs[i];
        commands += run.commandCount;
        failures += run.FailureCount();
        warnings += run.WarningCount();
        reboots += run.reboots.size();
        elapsed += run.elapsedMs;
        if (!run.done) ++notDone;
        if (!firstFailure.empty()) continue;
        if (!run.startFailures.empty()) firstFailure = "start-up: " + run.startFailures.front().text;
        for (const Command &c : run.troubled) {
            if (firstFailure.empty() && !c.failures.empty())
                firstFailure = c.entry.text + " => " + c.failures.front().text;
        }
    }
    std::string done = log.runs.empty() ? "no run" : notDone == 0 ? "yes" : "no (" + std::to_string(notDone) + ")";
    std::string script = log.runs.empty() ? "" : log.runs.back().script;
    return "| " + Cell(log.name) + " | " + (log.Healthy() ? "ok" : "**FAILED**") + " | " + Cell(script) + " | " +
           std::to_string(log.runs.size()) + " | " + std::to_string(commands) + " | " + std::to_string(failures) +
           " | " + std::to_string(warnings) + " | " + std::to_string(reboots) + " | " + done + " | " +
           Seconds(elapsed) + " | " + Cell(firstFailure) + " |\n";
}

}  // namespace

std::string Render(const std::vector<LogSummary> &logs, Format format) {
    std::string out;
    switch (format) {
        case Format::Text:
            for (const LogSummary &log : logs) {
                if (log.runs.empty()) out += log.name + ": no run found (no \"*** Starting\" banner)\n";
                for (size_t i = 0; i < log.runs.size(); ++i) RenderRunText(out, log.name, log.runs[i], i, log.runs.size());
            }
            break;
        case Format::Json: {
            out = "{\"logs\":[";
            for (size_t l = 0; l < logs.size(); ++l) {
                out += std::string(l ? "," : "") + "{\"log\":" + JsonString(logs[l].name) +
                       ",\"healthy\":" + (logs[l].Healthy() ? "true" : "false") + ",\"runs\":[";
                for (size_t i = 0; i < logs[l].runs.size(); ++i) out += (i ? "," : "") + RenderRunJson(logs[l].runs[i]);
                out += "]}";
            }
            out += "]}\n";
            break;
        }
        case Format::Markdown:
            out = "| Log | Result | Script | Runs | Commands | Failures | Warnings | Reboots | DONE | Time (s) | First failure |\n"
                  "|---|---|---|---|---|---|---|---|---|---|---|\n";
            for (const LogSummary &log : logs) out += RenderMarkdownRow(log);
            break;
    }
    return out;
}

}  // namespace logsum
