#include "log_plan.h"

#include "file_bytes.h"
#include "findings.h"
#include "script_reader.h"

namespace plan {

namespace {

std::string Stem(const std::string &path) {
    size_t slash = path.find_last_of("/\\");
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    size_t dot = name.find_last_of('.');
    return check::Folded(dot == std::string::npos || dot == 0 ? name : name.substr(0, dot));
}

std::string FolderName(const std::string &path) {
    size_t slash = path.find_last_of("/\\");
    if (slash == std::string::npos) return "";
    return Stem(path.substr(0, slash) + ".");
}

// The release that stands for command 18's outcome k, which is all the plan needs of it.
const char *const kReleaseOfOutcome[] = {"win7", "win95", "win98", "nt4", "win2k", "xp", "vista"};

struct LogStep {
    const logsum::Entry *command;
    const logsum::Branch *branch;  // null: the command chose no section
};

std::string CommandNumberOf(const std::string &logLine) { return logLine.substr(0, logLine.find('>')); }

// What the log saw that decided the branch of this command type.
std::string FactBehind(int type, const logsum::LogSummary &log) {
    for (const logsum::Run &run : log.runs) {
        const logsum::RunFacts &f = run.facts;
        if (type == 25 && !f.idRead.empty()) return "the ID read was " + f.idRead;
        if (type == 9 && !f.maker.empty()) return "the maker test said " + f.maker;
        if ((type == 18 || type == 30) && !f.windows.empty()) return "Windows was " + f.windows;
        if (type == 38 && !f.process.empty()) return "kestrel ran as " + f.process;
    }
    return "";
}

}  // namespace

const MachineFacts *MatchMachine(const std::string &logPath, const std::vector<MachineFacts> &machines,
                                 std::string &note) {
    std::vector<const MachineFacts *> fits;
    const std::string folded = check::Folded(logPath), stem = Stem(logPath), folder = FolderName(logPath);
    for (const MachineFacts &machine : machines) {
        const std::string name = Stem(machine.label);
        const bool serial =
            machine.serial.size() >= 3 && folded.find(check::Folded(machine.serial)) != std::string::npos;
        if (serial || name == stem || (!folder.empty() && name == folder)) fits.push_back(&machine);
    }
    if (fits.size() == 1) return fits.front();
    note = fits.empty() ? "no machine file matches this log (by serial number or name)"
                        : std::to_string(fits.size()) + " machine files match this log: " + fits[0]->label + ", " +
                              fits[1]->label;
    return nullptr;
}

MachineFacts MachineOfLog(const std::string &logPath, const std::vector<MachineFacts> &machines, std::string &note) {
    std::string unmatched;
    if (const MachineFacts *matched = MatchMachine(logPath, machines, unmatched)) return *matched;
    const size_t slash = logPath.find_last_of("/\\");
    const std::string beside = (slash == std::string::npos ? std::string() : logPath.substr(0, slash + 1)) + "mira.ini";
    std::string bytes, reason, refusal;
    MachineFacts own;
    if (ReadWholeFile(beside, bytes, reason) && ReadMachineFile(bytes, beside, own, refusal)) return own;
    note = machines.empty() ? "no machine file: no --machine and no mira.ini beside the log" : unmatched;
    return UnknownMachine();
}

PlanFacts FactsOfLog(const logsum::LogSummary &log, const MachineFacts &machine, const PlanFacts &given) {
    PlanFacts facts = given;
    facts.machine = machine;
    for (const logsum::Run &run : log.runs) {
        const int k = run.facts.releaseOutcome;
        if (!facts.windows && k >= 0 && k < static_cast<int>(sizeof kReleaseOfOutcome / sizeof kReleaseOfOutcome[0]))
            facts.windows = FindWindowsRelease(kReleaseOfOutcome[k]);
        if (facts.wow64 == Fact::Unknown && !run.facts.process.empty())
            facts.wow64 = run.facts.process == "WOW64" ? Fact::Yes : Fact::No;
    }
    if (facts.windows && !facts.windows->hasWow64) facts.wow64 = Fact::No;
    return facts;
}

bool HoldAgainstPlan(const logsum::LogSummary &log, const Plan &plan, std::string &verdict) {
    std::vector<const PlannedCommand *> planned;
    for (const PlannedRun &run : plan.runs)
        for (const PlannedCommand &command : run.commands) planned.push_back(&command);
    // A log of a PC the script was started on afresh more than once: the last start is the one to hold.
    size_t first = 0;
    for (size_t r = 0; r < log.runs.size(); ++r)
        if (log.runs[r].freshStart) first = r;
    std::vector<LogStep> logged;
    for (size_t r = first; r < log.runs.size(); ++r) {
        const logsum::Run &run = log.runs[r];
        for (const logsum::Entry &command : run.commands) {
            const logsum::Branch *chose = nullptr;
            for (const logsum::Branch &branch : run.branches)
                if (branch.command.line == command.line) chose = &branch;
            logged.push_back({&command, chose});
        }
    }

    for (size_t i = 0; i < planned.size() && i < logged.size(); ++i) {
        const PlannedCommand &p = *planned[i];
        const LogStep &l = logged[i];
        const std::string at = " at " + CommandNumberOf(p.logLine);
        if (p.logLine != l.command->text) {
            verdict = "planned " + check::Quote(p.logLine, 80) + ", logged " + check::Quote(l.command->text, 80) + at +
                      ": the log is not of this script, or not of this version";
            return false;
        }
        if (!p.branches) continue;
        const std::string took = l.branch ? "[" + l.branch->chosen + "]" : "no section";
        if (p.decision.argument < 0) {
            verdict = "as planned up to " + CommandNumberOf(p.logLine) + ", where the plan cannot tell (" +
                      p.decision.reason + "); the run took " + took;
            return true;
        }
        if (!l.branch || check::Folded(l.branch->chosen) != check::Folded(p.decision.target)) {
            const std::string fact = FactBehind(p.type, log);
            verdict = "planned [" + p.decision.target + "], took " + took + at + (fact.empty() ? "" : ": " + fact);
            return false;
        }
    }
    if (logged.size() < planned.size()) {
        verdict = "the log stops after " + std::to_string(logged.size()) + " of the plan's " +
                  std::to_string(planned.size()) + " commands; the plan goes on with " +
                  check::Quote(planned[logged.size()]->logLine, 80);
        return false;
    }
    if (logged.size() > planned.size()) {
        verdict = "the run went on past the plan's end (" + std::string(RunEndName(plan.FinalEnd())) + ") with " +
                  check::Quote(logged[planned.size()].command->text, 80);
        return plan.FinalEnd() == RunEnd::Unknown;
    }
    verdict = "as planned: " + std::to_string(planned.size()) + " commands";
    return true;
}

}  // namespace plan
