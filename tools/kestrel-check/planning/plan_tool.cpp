#include "plan_tool.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "file_bytes.h"
#include "findings.h"
#include "fleet.h"
#include "plan.h"

namespace plan {

const char kPlanUsage[] =
    "Usage: kestrel-check --plan [--machine FILE|FOLDER...]... [--os RELEASE]... [--arch x86,wow64]\n"
    "                     [--language XX] [--answer yes|no|ok|cancel] [--detail] [--against OLD_SCRIPT]\n"
    "                     [--format text|json|markdown] SCRIPT\n"
    "Shows what SCRIPT will do on a machine: every command as the install log shows it, each\n"
    "branch with its reason, and where each run ends (DONE, restart, exit).\n"
    "  --machine FILE  a hardware information file ([Hardware Detect], as kestrel or hwinventory\n"
    "                  --ini writes it), several files, or a folder of them (its *.ini files)\n"
    "  --os RELEASE    the Windows release; several give one plan each\n"
    "  --arch A,B      x86 and/or wow64: kestrel runs as a 32-bit process on 64-bit Windows, or not;\n"
    "                  --x86 and --wow64 say the same, both together give both\n"
    "  --language XX   the language code of the machine\n"
    "  --answer A      question boxes are answered A (default: a silent run's answers)\n"
    "  --detail        after a fleet's summary, every plan in full\n"
    "  --against OLD   only the rows whose path or ending differs from OLD's, and where they part\n"
    "Many plans give a fleet summary: the outcomes grouped, the plans that enter each section, the\n"
    "machines' facts and a matrix.\n"
    "Exit status: 0 the plan was made (with --against: no row moved), 1 with --against: a row moved,\n"
    "2 a file could not be read or a bad command line.\n";

namespace {

struct Options {
    std::vector<std::string> machines;
    std::vector<const WindowsRelease *> releases;
    std::vector<Fact> architectures;
    std::string language;
    BoxAnswer answer = BoxAnswer::Silent;
    std::string format = "text";
    std::string script;
    std::string against;
    bool detail = false;
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

void AddArchitecture(Options &options, Fact wow64) {
    if (std::find(options.architectures.begin(), options.architectures.end(), wow64) == options.architectures.end())
        options.architectures.push_back(wow64);
}

// "x86,wow64": false for a name that is neither.
bool ParseArchitectures(const std::string &list, Options &options) {
    size_t start = 0;
    while (start <= list.size()) {
        size_t comma = list.find(',', start);
        if (comma == std::string::npos) comma = list.size();
        const std::string name = check::Folded(list.substr(start, comma - start));
        if (name == "x86")
            AddArchitecture(options, Fact::No);
        else if (name == "wow64")
            AddArchitecture(options, Fact::Yes);
        else
            return false;
        start = comma + 1;
    }
    return true;
}

// Empty when the options are good, else what is wrong. The words after
// --machine up to the next option are machine files (a shell's machines/*.ini),
// except the script: the one word outside them, or else the last of them.
std::string Parse(int argc, char **argv, Options &options) {
    bool optionsEnded = false, afterMachine = false;
    std::vector<std::string> loose;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        const bool option = !optionsEnded && argument.size() > 1 && argument[0] == '-';
        if (!option) {
            (afterMachine ? options.machines : loose).push_back(argument);
            continue;
        }
        afterMachine = false;
        if (argument == "--") {
            optionsEnded = true;
            continue;
        }
        if (argument == "--plan") continue;
        if (argument == "--detail") {
            options.detail = true;
            continue;
        }
        if (argument == "--wow64" || argument == "--x86") {
            AddArchitecture(options, argument == "--wow64" ? Fact::Yes : Fact::No);
            continue;
        }
        static const char *const kWithValue[] = {"--machine", "--os",     "--language", "--answer",
                                                 "--format",  "--arch", "--against"};
        bool known = false;
        for (const char *name : kWithValue) known = known || argument == name;
        if (!known) return "unknown option " + argument;
        if (i + 1 >= argc) return argument + " needs a value";
        const std::string value = argv[++i];
        if (argument == "--machine") {
            options.machines.push_back(value);
            afterMachine = true;
        } else if (argument == "--os") {
            const WindowsRelease *release = FindWindowsRelease(value);
            if (!release) return "--os " + value + " is not one of " + WindowsReleaseOptions();
            options.releases.push_back(release);
        } else if (argument == "--language") {
            options.language = value;
        } else if (argument == "--answer") {
            if (!ParseAnswer(value, options.answer)) return "--answer takes yes, no, ok or cancel";
        } else if (argument == "--arch") {
            if (!ParseArchitectures(value, options)) return "--arch takes x86, wow64 or x86,wow64";
        } else if (argument == "--against") {
            options.against = value;
        } else {
            if (value != "text" && value != "json" && value != "markdown") return "--format takes text, json or markdown";
            options.format = value;
        }
    }
    if (loose.size() > 1) return "--plan takes one script";
    if (loose.empty() && options.machines.size() > 1) {
        loose.push_back(options.machines.back());
        options.machines.pop_back();
    }
    if (loose.empty()) return "--plan needs a script";
    options.script = loose.front();
    return "";
}

// The machine files named: files as given, a folder's *.ini files in name order.
bool ExpandMachines(const std::vector<std::string> &given, std::vector<std::string> &files) {
    for (const std::string &path : given) {
        std::error_code error;
        if (!std::filesystem::is_directory(std::filesystem::u8path(path), error)) {
            files.push_back(path);
            continue;
        }
        std::vector<std::string> found;
        for (const auto &entry : std::filesystem::directory_iterator(std::filesystem::u8path(path), error)) {
            const std::string name = entry.path().filename().u8string();
            const bool ini = name.size() > 4 && check::Folded(name.substr(name.size() - 4)) == ".ini";
            if (ini && entry.is_regular_file(error))
                found.push_back(name);
        }
        if (error) {
            fprintf(stderr, "%s: error: cannot list: %s\n", path.c_str(), error.message().c_str());
            return false;
        }
        if (found.empty()) {
            fprintf(stderr, "%s: error: the folder holds no .ini file\n", path.c_str());
            return false;
        }
        std::sort(found.begin(), found.end());
        // Joined the way the folder is written: with a backslash when it holds one.
        const std::string separator = path.back() == '/' || path.back() == '\\' ? ""
                                      : path.find('\\') != std::string::npos ? "\\"
                                                                              : "/";
        for (const std::string &name : found) files.push_back(path + separator + name);
    }
    return true;
}

}  // namespace

bool ReadScript(const std::string &path, check::ScriptFile &script) {
    std::string bytes, refusal, reason;
    check::Findings ignored;
    if (!ReadWholeFile(path, bytes, reason)) {
        fprintf(stderr, "%s: error: cannot read: %s\n", path.c_str(), reason.c_str());
        return false;
    }
    if (!check::ParseScript(bytes, script, ignored, refusal)) {
        fprintf(stderr, "%s: error: cannot plan: %s\n", path.c_str(), refusal.c_str());
        return false;
    }
    return true;
}

namespace {

std::vector<Plan> MakePlans(const check::ScriptFile &script, const std::string &path, const Options &options,
                            const std::vector<MachineFacts> &machines) {
    std::vector<Plan> plans;
    for (const MachineFacts &machine : machines) {
        for (const WindowsRelease *release : options.releases) {
            for (Fact architecture : options.architectures) {
                // Releases without a 64-bit edition never run kestrel under WOW64.
                if (release && !release->hasWow64 && architecture == Fact::Yes && options.architectures.size() > 1)
                    continue;
                PlanFacts facts;
                facts.machine = machine;
                facts.windows = release;
                facts.wow64 = release && !release->hasWow64 ? Fact::No : architecture;
                facts.language = options.language;
                facts.answer = options.answer;
                plans.push_back(MakePlan(script, facts));
                plans.back().script = path;
                plans.back().model = machine.model;
            }
        }
    }
    return plans;
}

}  // namespace

bool LoadMachines(const std::vector<std::string> &given, std::vector<MachineFacts> &machines) {
    std::vector<std::string> files;
    if (!ExpandMachines(given, files)) return false;
    for (const std::string &path : files) {
        MachineFacts facts;
        std::string bytes, refusal, reason;
        if (!ReadWholeFile(path, bytes, reason)) {
            fprintf(stderr, "%s: error: cannot read: %s\n", path.c_str(), reason.c_str());
            return false;
        }
        if (!ReadMachineFile(bytes, path, facts, refusal)) {
            fprintf(stderr, "%s: error: %s\n", path.c_str(), refusal.c_str());
            return false;
        }
        machines.push_back(facts);
    }
    return true;
}

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

    check::ScriptFile script, old;
    if (!ReadScript(options.script, script)) return 2;
    if (!options.against.empty() && !ReadScript(options.against, old)) return 2;

    std::vector<MachineFacts> machines;
    if (!LoadMachines(options.machines, machines)) return 2;
    const bool machineFilesGiven = !machines.empty();
    if (machines.empty()) machines.push_back(UnknownMachine());
    if (options.releases.empty()) options.releases.push_back(nullptr);
    if (options.architectures.empty()) options.architectures.push_back(Fact::Unknown);

    const std::vector<Plan> plans = MakePlans(script, options.script, options, machines);
    if (!options.against.empty()) {
        const std::vector<Plan> before = MakePlans(old, options.against, options, machines);
        const std::vector<MovedRow> moved = CompareRows(before, plans);
        const std::string out =
            options.format == "json" ? RenderMovedJson(moved, plans) : RenderMovedText(moved, before, plans);
        fputs(out.c_str(), stdout);
        fflush(stdout);
        return moved.empty() ? 0 : 1;
    }

    const std::vector<MachineFacts> listed = machineFilesGiven ? machines : std::vector<MachineFacts>{};
    std::string out;
    if (options.format == "json") {
        out = RenderFleetJson(plans, listed);
    } else if (plans.size() == 1) {
        out = options.format == "markdown" ? RenderMarkdown(plans) : RenderText(plans.front());
    } else if (options.format == "markdown") {
        out = RenderFleetMarkdown(plans, listed);
        if (options.detail)
            for (const Plan &plan : plans) out += "\n```\n" + RenderText(plan) + "```\n";
    } else {
        out = RenderFleetText(plans, listed);
        if (options.detail)
            for (const Plan &plan : plans) out += "\n" + RenderText(plan);
    }
    fputs(out.c_str(), stdout);
    fflush(stdout);
    return 0;
}

}  // namespace plan
