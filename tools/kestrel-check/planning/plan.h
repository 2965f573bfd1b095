// The planner: what a script will do on one machine and Windows release, worked
// out from the script text and the machine's facts before the script reaches the
// machine. The walk is a pure function: no file, no clock, no Windows call.
#pragma once
#include <string>
#include <vector>

#include "script_reader.h"

namespace plan {

// A fact is known to hold, known not to hold, or known only on the PC.
enum class Fact { No, Yes, Unknown };

// A Windows release as GetVersionExA reports it.
struct WindowsRelease {
    const char *option;  // as --os names it
    const char *name;
    int platform;  // 1 the Windows 9x family, 2 the NT family
    int major;
    int minor;
    bool hasWow64;  // a 64-bit edition exists, so WOW64 is possible
};
const WindowsRelease *FindWindowsRelease(const std::string &option);
// "win95|win98|..." for the usage text.
std::string WindowsReleaseOptions();

// What the hardware information file says about the machine, as kestrel's
// start-up would find it there.
struct MachineFacts {
    std::string label;  // the file's name, for the reader
    Fact maker = Fact::Unknown;
    std::string makerReason;
    // [DATA] SYSID as the inventory writes it into the working copy.
    enum class IdState { Unknown, Written, NotWritten } idState = IdState::Unknown;
    std::string systemId;
    std::string idReason;
    bool languageKnown = false;  // [Description] NorvikLanguage is in the file
    std::string language;        // its value as read; empty stops the run before its first command
};
// A machine without a file: every hardware fact is known only on the PC.
MachineFacts UnknownMachine();
// Reads a [Hardware Detect] file (kestrel's own, or what hwinventory --ini
// writes). False, with the reason, when the bytes hold no such section.
bool ReadMachineFile(const std::string &bytes, const std::string &label, MachineFacts &facts, std::string &refusal);

enum class BoxAnswer { Silent, Yes, No, Ok, Cancel };

struct PlanFacts {
    MachineFacts machine = UnknownMachine();
    const WindowsRelease *windows = nullptr;  // null: unknown
    Fact wow64 = Fact::Unknown;
    std::string language;  // --language; empty: the machine file's or unknown
    BoxAnswer answer = BoxAnswer::Silent;
};

// A branch taken: the argument chosen, the section it names, and why.
struct Decision {
    int argument = -1;
    std::string target;
    std::string reason;
};

struct PlannedCommand {
    int number = 0;
    int type = 0;
    std::string name;     // the command table's name
    std::string logLine;  // "CMD<n>> name: line" as the install log shows it
    std::string section;  // the command section it was unrolled from
    std::vector<std::string> details;
    bool branches = false;
    Decision decision;
};

enum class RunEnd {
    Done,        // no more commands: "DONE"
    Restart,     // a restart was requested
    Exit,        // 8, 10, 29, or 20 with restarts suppressed
    Loop,        // the run would not end
    Unknown,     // a decision that only the PC can make
    NotStarted,  // start-up stopped before the first command
};
const char *RunEndName(RunEnd end);

struct PlannedRun {
    bool resumed = false;
    std::vector<std::string> sectionsEntered;
    std::vector<PlannedCommand> commands;
    RunEnd end = RunEnd::Done;
    std::string endReason;
    std::vector<std::string> loop;  // the log lines of the commands that repeat
};

struct Plan {
    std::string script;
    std::string machine;
    std::string windows;
    std::string process;  // WOW64, x86 or unknown
    std::vector<std::string> facts;  // the facts the decisions rest on, one a line
    std::vector<PlannedRun> runs;
    std::vector<std::string> scriptSections;  // folded, in file order: the matrix's column order
    std::vector<std::string> SectionsEntered() const;  // each once, in order of first entry
    RunEnd FinalEnd() const { return runs.empty() ? RunEnd::NotStarted : runs.back().end; }
};

// The bounds of the walk: commands per run and runs (restarts) per plan.
inline constexpr int kCommandBound = 100000;
inline constexpr int kRunBound = 16;

Plan MakePlan(const check::ScriptFile &script, const PlanFacts &facts);

// Unknown parts of values are carried as "\x01label\x02"; shown as <label>.
std::string Shown(const std::string &value);

// Renderers.
std::string RenderText(const Plan &plan);
std::string RenderJson(const std::vector<Plan> &plans);
// One row per plan, one column per section any plan enters, and where each run ends.
std::string RenderMatrix(const std::vector<Plan> &plans);
std::string RenderMarkdown(const std::vector<Plan> &plans);

}  // namespace plan
