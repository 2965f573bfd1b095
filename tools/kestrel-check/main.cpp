// kestrel-check: reports a script's mistakes before the script runs on a machine,
// and what happened from install logs.
//   kestrel-check [--quiet] [--format text|sarif] SCRIPT...
//   kestrel-check --log [--format text|json|markdown] LOG...
// Exit status: 0 no error found, 1 an error found, 2 a file could not be read.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "file_bytes.h"
#include "findings.h"
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
    "Usage: kestrel-check --log [--format text|json|markdown] LOG...\n"
    "Summarizes install logs: each run's script, switches, sections, commands, failed commands with\n"
    "their failure lines, reboot requests, DONE and time.\n"
    "Exit status: 0 every run ended with DONE and nothing failed, 1 otherwise, 2 a log could not be read.\n";

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

// kestrel-check --log [--format F] LOG...: 0, 1 or 2 as the usage says.
int SummarizeLogs(const std::vector<std::string> &arguments) {
    logsum::Format format = logsum::Format::Text;
    std::vector<std::string> logs;
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::string &argument = arguments[i];
        if (argument == "--log") continue;
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
        if (!summaries.back().Healthy() && status == 0) status = 1;
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
