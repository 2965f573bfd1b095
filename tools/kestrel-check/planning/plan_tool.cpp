#include "plan_tool.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "file_bytes.h"
#include "findings.h"
#include "plan.h"

namespace plan {

const char kPlanUsage[] =
    "Usage: kestrel-check --plan [--machine FILE]... [--os RELEASE]... [--wow64|--x86]\n"
    "                     [--language XX] [--answer yes|no|ok|cancel] [--format text|json|markdown] SCRIPT\n"
    "Shows what SCRIPT will do on a machine: every command as the install log shows it, each\n"
    "branch with its reason, and where each run ends (DONE, restart, exit).\n"
    "  --machine FILE  a hardware information file ([Hardware Detect], as kestrel or hwinventory\n"
    "                  --ini writes it); several give one plan each and a matrix\n"
    "  --os RELEASE    the Windows release; several give one plan each\n"
    "  --wow64, --x86  kestrel runs as a 32-bit process on 64-bit Windows, or not\n"
    "  --language XX   the language code of the machine\n"
    "  --answer A      question boxes are answered A (default: a silent run's answers)\n"
    "Exit status: 0 the plan was made, 2 a file could not be read or a bad command line.\n";

namespace {

struct Options {
    std::vector<std::string> machines;
    std::vector<const WindowsRelease *> releases;
    Fact wow64 = Fact::Unknown;
    std::string language;
    BoxAnswer answer = BoxAnswer::Silent;
    std::string format = "text";
    std::string script;
};

int BadCommandLine(const std::string &problem) {
    fprintf(stderr, "kestrel-check: %s\n%s", problem.c_str(), kPlanUsage);
    return 2;
}

bool ParseAnswer(const std::string &text, BoxAnswer &answer) {
    static const struct {
        const char *name;
        BoxAnswer answer;
    } kAnswers[] = {{"yes", BoxAnswer::Yes}, {"no", BoxAnswer::No}, {"ok", BoxAnswer::Ok}, {"cancel", BoxAnswer::Cancel}};
    for (const auto &row : kAnswers)
        if (check::Folded(text) == row.name) {
            answer = row.answer;
            return true;
        }
    return false;
}

// Empty when the options are good, else what is wrong.
std::string Parse(int argc, char **argv, Options &options) {
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        const bool option = !optionsEnded && argument.size() > 1 && argument[0] == '-';
        if (!option) {
            if (!options.script.empty()) return "--plan takes one script";
            options.script = argument;
            continue;
        }
        if (argument == "--") {
            optionsEnded = true;
            continue;
        }
        if (argument == "--plan") continue;
        if (argument == "--wow64" || argument == "--x86") {
            options.wow64 = argument == "--wow64" ? Fact::Yes : Fact::No;
            continue;
        }
        static const char *const kWithValue[] = {"--machine", "--os", "--language", "--answer", "--format"};
        bool known = false;
        for (const char *name : kWithValue) known = known || argument == name;
        if (!known) return "unknown option " + argument;
        if (i + 1 >= argc) return argument + " needs a value";
        const std::string value = argv[++i];
        if (argument == "--machine") {
            options.machines.push_back(value);
        } else if (argument == "--os") {
            const WindowsRelease *release = FindWindowsRelease(value);
            if (!release) return "--os " + value + " is not one of " + WindowsReleaseOptions();
            options.releases.push_back(release);
        } else if (argument == "--language") {
            options.language = value;
        } else if (argument == "--answer") {
            if (!ParseAnswer(value, options.answer)) return "--answer takes yes, no, ok or cancel";
        } else {
            if (value != "text" && value != "json" && value != "markdown") return "--format takes text, json or markdown";
            options.format = value;
        }
    }
    if (options.script.empty()) return "--plan needs a script";
    return "";
}

}  // namespace

bool WantsPlan(int argc, char **argv) {
    for (int i = 1; i < argc; ++i) {
        if (strcmp(argv[i], "--") == 0) return false;
        if (strcmp(argv[i], "--plan") == 0) return true;
    }
    return false;
}

int RunPlanTool(int argc, char **argv) {
    Options options;
    const std::string problem = Parse(argc, argv, options);
    if (!problem.empty()) return BadCommandLine(problem);

    std::string bytes, refusal, reason;
    check::ScriptFile script;
    check::Findings ignored;
    if (!ReadWholeFile(options.script, bytes, reason)) {
        fprintf(stderr, "%s: error: cannot read: %s\n", options.script.c_str(), reason.c_str());
        return 2;
    }
    if (!check::ParseScript(bytes, script, ignored, refusal)) {
        fprintf(stderr, "%s: error: cannot plan: %s\n", options.script.c_str(), refusal.c_str());
        return 2;
    }

    std::vector<MachineFacts> machines;
    for (const std::string &path : options.machines) {
        MachineFacts facts;
        if (!ReadWholeFile(path, bytes, reason)) {
            fprintf(stderr, "%s: error: cannot read: %s\n", path.c_str(), reason.c_str());
            return 2;
        }
        if (!ReadMachineFile(bytes, path, facts, refusal)) {
            fprintf(stderr, "%s: error: %s\n", path.c_str(), refusal.c_str());
            return 2;
        }
        machines.push_back(facts);
    }
    if (machines.empty()) machines.push_back(UnknownMachine());
    if (options.releases.empty()) options.releases.push_back(nullptr);

    std::vector<Plan> plans;
    for (const MachineFacts &machine : machines) {
        for (const WindowsRelease *release : options.releases) {
            PlanFacts facts;
            facts.machine = machine;
            facts.windows = release;
            // Releases without a 64-bit edition never run kestrel under WOW64.
            facts.wow64 = release && !release->hasWow64 ? Fact::No : options.wow64;
            facts.language = options.language;
            facts.answer = options.answer;
            plans.push_back(MakePlan(script, facts));
            plans.back().script = options.script;
        }
    }

    std::string out;
    if (options.format == "json") {
        out = RenderJson(plans);
    } else if (options.format == "markdown") {
        out = RenderMarkdown(plans);
    } else {
        for (const Plan &plan : plans) out += RenderText(plan) + "\n";
        if (plans.size() > 1) out += RenderMatrix(plans);
    }
    fputs(out.c_str(), stdout);
    fflush(stdout);
    return 0;
}

}  // namespace plan
