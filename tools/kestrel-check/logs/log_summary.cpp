#include "log_summary.h"

#include "findings.h"
#include "script_reader.h"

#include <algorithm>
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

// "CMD10> CMD25_BranchOnSystemID: 25,A,B": 25, and the fields after the name.
int CommandType(const std::string &textValue, std::vector<std::string> &fields) {
    fields.clear();
    size_t name = textValue.find("> CMD");
    if (name == std::string::npos) return -1;
    int type = 0;
    size_t at = name + 5;
    if (at >= textValue.size() || !isdigit(static_cast<unsigned char>(textValue[at]))) return -1;
    while (at < textValue.size() && isdigit(static_cast<unsigned char>(textValue[at])) && type < 1000)
        type = type * 10 + (textValue[at++] - '0');
    size_t colon = textValue.find(": ", at);
    if (colon != std::string::npos) {
        std::string rest = textValue.substr(colon + 2) + ",";
        for (size_t start = 0, comma; (comma = rest.find(',', start)) != std::string::npos; start = comma + 1)
            fields.push_back(rest.substr(start, comma - start));
    }
    return type;
}

// The releases that command 18's outcome (argument k) stands for.
const char *const kReleasesOfOutcome[] = {"none of Windows 95 to Vista (7 or later, or Me)", "Windows 95",
                                          "Windows 98", "Windows NT 4.0", "Windows 2000",
                                          "Windows XP or Server 2003", "Windows Vista"};

struct RunBuilder {
    Run run;
    long firstStamp = -1, lastStamp = -1;
    bool inCommand = false;
    Command command;
    int commandType = -1;
    std::vector<std::string> commandFields;  // field 0 is the command number

    // What the lines after a command say of the PC and of the next section.
    void TakeOutcome(const std::string &t) {
        const std::string next = After(t, "Setting next section to:");
        if (inCommand && !next.empty()) {
            std::string chosen = next;
            Trim(chosen);
            run.branches.push_back({command.entry, commandType, chosen});
            if (commandType == 18) {
                std::string seen;
                for (size_t k = 1; k < commandFields.size() && k <= 7; ++k) {
                    std::string field = commandFields[k];
                    Trim(field);
                    if (field != chosen) continue;
                    seen += (seen.empty() ? "" : " or ") + std::string(kReleasesOfOutcome[k - 1]);
                    if (run.facts.releaseOutcome < 0) run.facts.releaseOutcome = static_cast<int>(k - 1);
                }
                if (!seen.empty()) run.facts.windows = seen;
            }
            return;
        }
        static const struct {
            const char *text;
            std::string RunFacts::*fact;
            const char *value;  // null: the 0X.... after the text
        } kFactLines[] = {
            {"This is not a Norvik.", &RunFacts::maker, "no"},
            {"**** DEBUG OVERRIDE *****", &RunFacts::maker, "debug override"},
            {"This is a Norvik with ID", &RunFacts::idRead, nullptr},
            {"The ID read is", &RunFacts::idRead, nullptr},
            {"was not found in list.", &RunFacts::idRead, nullptr},
            {"...not running Win98", &RunFacts::windows, "not Windows 98"},
            {"This OS is ACPI", &RunFacts::windows, "Windows 98 (ACPI)"},
            {"This OS is APM", &RunFacts::windows, "Windows 98 (APM)"},
            {"KESTREL running as WOW64 process.", &RunFacts::process, "WOW64"},
            {"KESTREL running as x86 process.", &RunFacts::process, "x86"},
            {"KESTREL is not running as a Wow64 Process", &RunFacts::process, "x86"},
        };
        for (const auto &line : kFactLines) {
            if (t.find(line.text) == std::string::npos) continue;
            if (line.value) {
                // The override's line follows command 25's ID too: it is the maker's outcome only there.
                if (line.fact == &RunFacts::maker && commandType != 9) continue;
                run.facts.*line.fact = line.value;
            } else {
                size_t id = t.find("0X");
                if (id != std::string::npos) run.facts.idRead = t.substr(id, 6);
            }
            return;
        }
    }

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
                run.source = run.script;
                run.freshStart = true;
                run.workingCopy = copied.substr(copiedAt + 20);
                Trim(run.workingCopy);
            } else if (run.script.empty()) {
                run.script = After(t, "The INI file in use is ");
            }
            if (t.find("The INI file in use is ") != std::string::npos) {
                run.workingCopy = After(t, "The INI file in use is ");
                Trim(run.workingCopy);
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
            commandType = CommandType(t, commandFields);
            run.commands.push_back(entry);
            ++run.commandCount;
            return;
        }
        if (t.compare(0, 4, "DONE") == 0) {
            run.done = true;
            run.doneText = t;
            Trim(run.doneText);
            if (t.find("Shutting down") != std::string::npos) {
                run.reboots.push_back(entry);
                ++run.restartsMade;
            }
            return;
        }
        if (t.compare(0, 27, "Setting to reboot system...") == 0 || t.compare(0, 28, "Not setting to reboot system") == 0) {
            run.reboots.push_back(entry);
            // The request and the DONE that carries it out are one restart.
            if (t[0] == 'N') ++run.restartsRefused;
            return;
        }
        if (t.find("Sleuth was unable to load Hw Query DLL") != std::string::npos) run.inventorySkipped = true;
        TakeOutcome(t);
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

bool LogSummary::InventorySkipped() const {
    for (const Run &run : runs)
        if (run.inventorySkipped) return true;
    return false;
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
    // A resumed run names only the working copy: the source is the one an earlier
    // run of this log copied there.
    for (size_t i = 0; i < summary.runs.size(); ++i) {
        Run &run = summary.runs[i];
        for (size_t k = i; k-- > 0 && run.source.empty() && !run.workingCopy.empty();)
            if (check::Folded(summary.runs[k].workingCopy) == check::Folded(run.workingCopy))
                run.source = summary.runs[k].source;
    }
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

std::string ScriptShown(const Run &run) {
    if (!run.source.empty()) return run.source;
    if (!run.workingCopy.empty()) return run.workingCopy + " (the working copy; the log does not name its source)";
    return run.script.empty() ? std::string("(not named)") : run.script;
}

std::string FactsShown(const RunFacts &facts) {
    std::string out;
    const std::pair<const char *, const std::string *> kShown[] = {{"maker: ", &facts.maker},
                                                                   {"ID read: ", &facts.idRead},
                                                                   {"Windows: ", &facts.windows},
                                                                   {"process: ", &facts.process}};
    for (const auto &fact : kShown)
        if (!fact.second->empty()) out += (out.empty() ? "" : ", ") + std::string(fact.first) + *fact.second;
    return out;
}

// A restart refused under -noreboot (or [Data] SuppressReboot) is no restart.
std::string RestartsShown(const Run &run) {
    const bool noreboot = std::find(run.switches.begin(), run.switches.end(), "-noreboot") != run.switches.end();
    std::string out;
    if (run.restartsMade) out = std::to_string(run.restartsMade) + " made";
    if (run.restartsRefused)
        out += (out.empty() ? "" : ", ") + std::to_string(run.restartsRefused) + " refused (" +
               (noreboot ? "-noreboot" : "[Data] SuppressReboot") + ")";
    return out;
}

void RenderRunText(std::string &out, const std::string &log, const Run &run, size_t index, size_t count) {
    out += log + ": run " + std::to_string(index + 1) + " of " + std::to_string(count) + " (lines " +
           std::to_string(run.firstLine) + "-" + std::to_string(run.lastLine) + ")\n";
    out += "  script:   " + ScriptShown(run) + "\n";
    out += "  switches: " + (run.switches.empty() ? std::string("(none)") : Joined(run.switches, "", "")) + "\n";
    out += "  sections: " + (run.sections.empty() ? std::string("(none)") : Joined(run.sections, "[", "]")) + "\n";
    out += "  commands: " + std::to_string(run.commandCount) + ", " + std::to_string(run.FailureCount()) +
           " failure line(s), " + std::to_string(run.WarningCount()) + " warning line(s)\n";
    const std::string facts = FactsShown(run.facts);
    if (!facts.empty()) out += "  facts:    " + facts + "\n";
    if (!run.branches.empty()) {
        std::string branches;
        for (const Branch &b : run.branches)
            branches += (branches.empty() ? "" : ", ") + b.command.text.substr(0, b.command.text.find('>')) + " [" +
                        b.chosen + "]";
        out += "  branches: " + branches + "\n";
    }
    if (run.inventorySkipped)
        out += "  warning:  the inventory was skipped (HwQuery.dll did not load): every hardware branch took the "
               "script's defaults\n";
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
    if (run.restartsRefused > 0 || run.restartsMade > 0) out += "  restart:  " + RestartsShown(run) + "\n";
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
           ",\"warnings\":" + std::to_string(run.WarningCount()) + ",\"source\":" + JsonString(run.source) +
           ",\"working_copy\":" + JsonString(run.workingCopy) + ",\"facts\":{\"maker\":" +
           JsonString(run.facts.maker) + ",\"id_read\":" + JsonString(run.facts.idRead) +
           ",\"windows\":" + JsonString(run.facts.windows) + ",\"process\":" + JsonString(run.facts.process) +
           "},\"branches\":[";
    for (size_t b = 0; b < run.branches.size(); ++b)
        out += std::string(b ? "," : "") + "{\"line\":" + std::to_string(run.branches[b].command.line) +
               ",\"command\":" + std::to_string(run.branches[b].type) +
               ",\"section\":" + JsonString(run.branches[b].chosen) + "}";
    out += "],\"restarts_made\":" + std::to_string(run.restartsMade) +
           ",\"restarts_refused\":" + std::to_string(run.restartsRefused) +
           ",\"inventory_skipped\":" + (run.inventorySkipped ? "true" : "false") + "}";
    return out;
}

// A markdown cell holds no '|' and no line break.
std::string Cell(std::string textValue) {
    std::string out;
    for (char c : textValue) out += c == '|' ? std::string("\\|") : std::string(1, c);
    return out;
}

std::string RenderMarkdownRow(const LogSummary &log, bool planned) {
    size_t commands = 0, failures = 0, warnings = 0, notDone = 0;
    long elapsed = 0;
    std::string firstFailure, sections, idRead;
    Run restarts;
    for (size_t i = 0; i < log.runs.size(); ++i) {
        const Run &run = log.runs[i];
        commands += run.commandCount;
        failures += run.FailureCount();
        warnings += run.WarningCount();
        restarts.restartsMade += run.restartsMade;
        restarts.restartsRefused += run.restartsRefused;
        for (const std::string &s : run.switches) restarts.switches.push_back(s);
        for (const std::string &name : run.sections) sections += (sections.empty() ? "[" : " [") + name + "]";
        if (!run.facts.idRead.empty()) idRead = run.facts.idRead;
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
    std::string script = log.runs.empty() ? "" : ScriptShown(log.runs.front());
    std::string result = !log.Healthy() ? "**FAILED**" : log.InventorySkipped() ? "warning: inventory skipped" : "ok";
    std::string restarted = RestartsShown(restarts);
    return "| " + Cell(log.name) + " | " + result + " | " + Cell(script) + " | " + Cell(sections) + " | " +
           (idRead.empty() ? "-" : idRead) + " | " + std::to_string(log.runs.size()) + " | " +
           std::to_string(commands) + " | " + std::to_string(failures) + " | " + std::to_string(warnings) + " | " +
           (restarted.empty() ? "-" : Cell(restarted)) + " | " + done + " | " + Seconds(elapsed) + " | " +
           Cell(firstFailure) + " |" + (planned ? " " + Cell(log.planVerdict) + " |" : "") + "\n";
}

}  // namespace

std::string Render(const std::vector<LogSummary> &logs, Format format) {
    std::string out;
    switch (format) {
        case Format::Text:
            for (const LogSummary &log : logs) {
                if (log.runs.empty()) out += log.name + ": no run found (no \"*** Starting\" banner)\n";
                for (size_t i = 0; i < log.runs.size(); ++i) RenderRunText(out, log.name, log.runs[i], i, log.runs.size());
                if (!log.planVerdict.empty()) out += log.name + ": plan: " + log.planVerdict + "\n";
            }
            break;
        case Format::Json: {
            out = "{\"logs\":[";
            for (size_t l = 0; l < logs.size(); ++l) {
                out += std::string(l ? "," : "") + "{\"log\":" + JsonString(logs[l].name) +
                       ",\"healthy\":" + (logs[l].Healthy() ? "true" : "false") +
                       ",\"inventory_skipped\":" + (logs[l].InventorySkipped() ? "true" : "false") +
                       ",\"plan\":" + JsonString(logs[l].planVerdict) + ",\"runs\":[";
                for (size_t i = 0; i < logs[l].runs.size(); ++i) out += (i ? "," : "") + RenderRunJson(logs[l].runs[i]);
                out += "]}";
            }
            out += "]}\n";
            break;
        }
        case Format::Markdown: {
            bool planned = false;
            for (const LogSummary &log : logs) planned = planned || !log.planVerdict.empty();
            out = std::string("| Log | Result | Script | Sections | ID read | Runs | Commands | Failures | Warnings | "
                              "Restarts | DONE | Time (s) | First failure |") + (planned ? " Plan |" : "") + "\n" +
                  "|---|---|---|---|---|---|---|---|---|---|---|---|---|" + (planned ? "---|" : "") + "\n";
            for (const LogSummary &log : logs) out += RenderMarkdownRow(log, planned);
            break;
        }
    }
    return out;
}

}  // namespace logsum
