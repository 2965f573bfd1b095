// kestrel-check: reports a script's mistakes before the script runs on a machine,
// and what happened from install logs.
//   kestrel-check [--quiet] [--format text|sarif] SCRIPT...
//   kestrel-check --log [--format text|json|markdown] [--script SCRIPT [--machine FILE|FOLDER]...] LOG...
// Exit status: 0 no error found, 1 an error found, 2 a file could not be read.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "file_bytes.h"
#include "findings.h"
#include "fleet.h"
#include "log_plan.h"
#include "log_summary.h"
#include "plan_tool.h"
#include "sarif.h"
#include "script_checker.h"

namespace {

const char kUsage[] =
    "Usage: kestrel-check [--quiet] [--format text|sarif] SCRIPT...\n"
    "Checks kestrel scripts and reports each finding as FILE:LINE: error|warning|note: message.\n"
    "  --quiet         report errors only\n"
    "  --format sarif  one SARIF 2.1.0 log of all findings, for code-scanning services\n"
    "Exit status: 0 no error, 1 errors found, 2 a file could not be read.\n"
    "\n"
    "Usage: kestrel-check --log [--format text|json|markdown] [--script SCRIPT [--machine FILE|FOLDER]...\n"
    "                            [--os RELEASE] [--x86|--wow64]] LOG...\n"
    "Summarizes install logs: each run's script, switches, sections, commands, failed commands with\n"
    "their failure lines, facts seen, branch outcomes, restarts, DONE and time.\n"
    "  --script SCRIPT  holds each log against the plan of SCRIPT: for the machine of the log (mira.ini\n"
    "                   beside it, or the --machine file whose serial number or name is in the log's\n"
    "                   path), with the Windows release and process the log saw\n"
    "Exit status: 0 every run ended with DONE, nothing failed and no run left its plan; 1 otherwise;\n"
    "2 a file could not be read.\n";

// 0, 1 or 2 for one file. In SARIF form the findings are kept for the one log
// written at the end.
int CheckFile(const std::string &path, bool quiet, std::vector<check::CheckedFile> *sarif) {
    std::string bytes, reason;
    if (!ReadWholeFile(path, bytes, reason)) {
        fprintf(stderr, "%s: error: cannot read: %s\n", path.c_str(), reason.c_str());
        return 2;
    }
    check::Findings findings;
    if (!check::CheckScriptBytes(bytes, findings, reason)) {
        fprintf(stderr, "%s: error: cannot check: %s\n", path.c_str(), reason.c_str());
        return 2;
    }
    if (sarif) sarif->push_back({path, {}});
    for (const check::Finding &finding : findings.Sorted()) {
        if (quiet && finding.severity != check::Severity::Error) continue;
        if (sarif)
            sarif->back().findings.push_back(finding);
        else
            printf("%s\n", check::FormatFinding(path, finding).c_str());
    }
    size_t errors = findings.Count(check::Severity::Error);
    if (!quiet && !sarif) {
        fprintf(stderr, "%s: %zu error(s), %zu warning(s), %zu note(s)\n", path.c_str(), errors,
                findings.Count(check::Severity::Warning), findings.Count(check::Severity::Note));
    }
    return errors > 0 ? 1 : 0;
}

// The log held against the plan of its machine; false when the run left it.
bool HoldAgainstPlan(logsum::LogSummary &log, const check::ScriptFile &script, const std::string &scriptPath,
                     const std::vector<plan::MachineFacts> &machines, const plan::PlanFacts &given) {
    std::string note;
    const plan::MachineFacts machine = plan::MachineOfLog(log.name, machines, note);
    plan::Plan made = plan::MakePlan(script, plan::FactsOfLog(log, machine, given));
    made.script = scriptPath;
    const bool kept = plan::HoldAgainstPlan(log, made, log.planVerdict);
    log.planVerdict += " (" + plan::MachineLabel(machine) + ", " + made.windows + ", " + made.process +
                       (note.empty() ? "" : "; " + note) + ")";
    return kept;
}

// kestrel-check --log [--format F] LOG...: 0, 1 or 2 as the usage says.
int SummarizeLogs(const std::vector<std::string> &arguments) {
    logsum::Format format = logsum::Format::Text;
    std::vector<std::string> logs, machineFiles;
    std::string scriptPath;
    plan::PlanFacts given;
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::string &argument = arguments[i];
        if (argument == "--log") continue;
        if (argument == "--x86" || argument == "--wow64") {
            given.wow64 = argument == "--wow64" ? plan::Fact::Yes : plan::Fact::No;
            continue;
        }
        if (argument == "--script" || argument == "--machine" || argument == "--os") {
            if (i + 1 >= arguments.size()) {
                fprintf(stderr, "kestrel-check: %s needs a value\n", argument.c_str());
                return 2;
            }
            const std::string &value = arguments[++i];
            if (argument == "--script") scriptPath = value;
            if (argument == "--machine") machineFiles.push_back(value);
            if (argument == "--os" && !(given.windows = plan::FindWindowsRelease(value))) {
                fprintf(stderr, "kestrel-check: --os %s is not one of %s\n", value.c_str(),
                        plan::WindowsReleaseOptions().c_str());
                return 2;
            }
            continue;
        }
        if (argument == "--format") {
            if (i + 1 >= arguments.size() || !logsum::ParseFormat(arguments[i + 1], format)) {
                fprintf(stderr, "kestrel-check: --format takes text, json or markdown\n");
                return 2;
            }
            ++i;
        } else if (argument.size() > 1 && argument[0] == '-') {
            fprintf(stderr, "kestrel-check: unknown option %s\n%s", argument.c_str(), kUsage);
            return 2;
        } else {
            logs.push_back(argument);
        }
    }
    if (logs.empty()) {
        fputs(kUsage, stderr);
        return 2;
    }
    if (scriptPath.empty() && (!machineFiles.empty() || given.windows || given.wow64 != plan::Fact::Unknown)) {
        fprintf(stderr, "kestrel-check: --machine, --os, --x86 and --wow64 hold logs against a plan: give --script\n");
        return 2;
    }
    check::ScriptFile script;
    std::vector<plan::MachineFacts> machines;
    if (!scriptPath.empty() && (!plan::ReadScript(scriptPath, script) || !plan::LoadMachines(machineFiles, machines)))
        return 2;

    std::vector<logsum::LogSummary> summaries;
    int status = 0;
    for (const std::string &log : logs) {
        std::string bytes, reason;
        if (!ReadWholeFile(log, bytes, reason)) {
            fprintf(stderr, "%s: error: cannot read: %s\n", log.c_str(), reason.c_str());
            status = 2;
            continue;
        }
        summaries.push_back(logsum::SummarizeLog(log, bytes));
        bool kept = true;
        if (!scriptPath.empty()) kept = HoldAgainstPlan(summaries.back(), script, scriptPath, machines, given);
        if ((!summaries.back().Healthy() || !kept) && status == 0) status = 1;
    }
    fputs(logsum::Render(summaries, format).c_str(), stdout);
    fflush(stdout);
    return status;
}

}  // namespace

int main(int argc, char **argv) {
    if (plan::WantsPlan(argc, argv)) return plan::RunPlanTool(argc, argv);
    std::vector<std::string> arguments(argv + 1, argv + argc);
    for (const std::string &argument : arguments) {
        if (argument == "--log") return SummarizeLogs(arguments);
    }
    bool quiet = false, sarif = false;
    std::vector<std::string> files;
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        std::string argument = argv[i];
        if (!optionsEnded && argument == "--") {
            optionsEnded = true;
        } else if (!optionsEnded && (argument == "--quiet" || argument == "-q")) {
            quiet = true;
        } else if (!optionsEnded && argument == "--format") {
            const std::string format = i + 1 < argc ? argv[++i] : "";
            if (format != "text" && format != "sarif") {
                fprintf(stderr, "kestrel-check: --format takes text or sarif\n%s", kUsage);
                return 2;
            }
            sarif = format == "sarif";
        } else if (!optionsEnded && (argument == "--help" || argument == "-h")) {
            fputs(kUsage, stdout);
            fputs(plan::kPlanUsage, stdout);
            return 0;
        } else if (!optionsEnded && argument.size() > 1 && argument[0] == '-') {
            fprintf(stderr, "kestrel-check: unknown option %s\n%s", argument.c_str(), kUsage);
            return 2;
        } else {
            files.push_back(argument);
        }
    }
    if (files.empty()) {
        fputs(kUsage, stderr);
        return 2;
    }
    int status = 0;
    std::vector<check::CheckedFile> checked;
    for (const std::string &file : files) {
        int result = CheckFile(file, quiet, sarif ? &checked : nullptr);
        if (result > status) status = result;
    }
    if (sarif) fputs(check::RenderSarif(checked).c_str(), stdout);
    fflush(stdout);
    return status;
}
