// The planner held against the real run on generated scripts: each script is
// planned and run by kestrel.exe under Wine on the same release and machine, and
// the CMD<n>> lines of every start and the number of starts must agree. A plan
// that ends in "loop" is run with a bound and must still be running there; a plan
// that ends in "unknown" must agree up to the decision it could not make.
//
// The suite runs the fixed cases (plan_differential_cases.txt) and a fixed range
// of seeds. More seeds by hand, shrinking each mismatch to a case for that file:
//   scripts/fuzz --plan FIRST-LAST [win64|win32]
// or the program itself: plan_differential_tests --seeds=FIRST-LAST --shrink
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <sstream>

#include "plan.h"
#include "script_generator.h"
#include "test_support.h"

using namespace testing_support;

namespace {

std::uint64_t g_firstSeed = 1, g_lastSeed = 0;
bool g_shrink = false;

struct Machine {
    const char *name;
    const char *file;     // the [Hardware Detect] file the plan reads
    const char *standIn;  // HwQuery.ini: the same board as the instrumentation reports it to kestrel
};
const Machine kMachines[] = {
    {"norvik", "[Hardware Detect]\r\nManufacture2=Norvik\r\nProduct Name2=0A7Ch\r\n",
     "[Win32_BaseBoard]\r\nManufacturer=Norvik\r\nProduct=0A7Ch\r\n"},
    {"talberg", "[Hardware Detect]\r\nManufacture2=TALBERG\r\nProduct Name2=Main Board\r\n",
     "[Win32_BaseBoard]\r\nManufacturer=TALBERG\r\nProduct=Main Board\r\n"},
    {"plain", "[Hardware Detect]\r\nManufacture2=Acme\r\nProduct Name2=1234\r\n",
     "[Win32_BaseBoard]\r\nManufacturer=Acme\r\nProduct=1234\r\n"},
};

const std::map<std::string, const char *> kWineVersions = {
    {"win95", "win95"}, {"win98", "win98"}, {"nt4", "nt40"},   {"win2k", "win2k"},
    {"xp", "winxp"},    {"vista", "vista"}, {"win7", "win7"}, {"win10", "win10"}};

const char kFolder[] = "C:\\ktests\\plandiff";
const char kScript[] = "C:\\ktests\\plandiff\\fz.ini";
const char kLog[] = "C:\\ktests\\plandiff\\run.log";
// A start that loops is stopped here; one that should end gets far longer.
const unsigned kLoopBoundMs = sizeof(void *) == 4 ? 4000 : 1500;
const unsigned kRunTimeoutMs = 30000;

struct Case {
    std::string title;
    std::string machine, release;
    std::vector<std::string> body;
};

std::string ScriptText(const Case &c) {
    std::string text = "[Data]\r\nLogging=1\r\nLogFile=" + std::string(kLog) + "\r\n";
    for (const std::string &line : c.body) text += line + "\r\n";
    return text;
}

std::string CaseText(const Case &c) {
    std::string text = "== " + c.machine + " " + c.release + " " + c.title + "\n";
    for (const std::string &line : c.body) text += line + "\n";
    return text;
}

// The data file: "== MACHINE RELEASE TITLE", then the script's lines after the
// driver's [Data] preamble, up to a blank line. Lines starting "#" between cases
// are notes.
std::vector<Case> ReadCases(const std::string &text) {
    std::vector<Case> cases;
    std::istringstream in(text);
    std::string line;
    bool inCase = false;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.compare(0, 3, "== ") == 0) {
            std::istringstream header(line.substr(3));
            Case c;
            header >> c.machine >> c.release;
            std::getline(header >> std::ws, c.title);
            cases.push_back(c);
            inCase = true;
        } else if (line.empty()) {
            inCase = false;
        } else if (inCase) {
            cases.back().body.push_back(line);
        }
    }
    return cases;
}

bool IsCommandLine(const std::string &text) {
    if (text.compare(0, 3, "CMD") != 0) return false;
    size_t i = 3;
    while (i < text.size() && isdigit(static_cast<unsigned char>(text[i]))) ++i;
    return i > 3 && text.compare(i, 2, "> ") == 0;
}

std::string TrimmedRight(std::string text) {
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.pop_back();
    return text;
}

std::string FirstLines(const std::string &text, int count) {
    size_t end = 0;
    while (end != std::string::npos && count-- > 0) end = text.find('\n', end + 1);
    return end == std::string::npos ? text : text.substr(0, end + 1) + "...\n";
}

// What kind of mismatch: its first line without the numbers and the lines.
std::string Kind(const std::string &mismatch) {
    std::string kind = mismatch.substr(0, std::min(mismatch.find('\n'), mismatch.find(" CMD")));
    kind.erase(std::remove_if(kind.begin(), kind.end(), [](char c) { return isdigit(static_cast<unsigned char>(c)); }),
               kind.end());
    return kind;
}

class Differential {
public:
    Differential() : folder_(FreshFolder("plandiff")) {
        for (const Machine &machine : kMachines) {
            const std::string folder = folder_ + "\\" + machine.name;
            CreateDirectoryA(folder.c_str(), nullptr);
            CopyFileA((ProgramFolder() + "\\standin\\HwQuery.dll").c_str(), (folder + "\\HwQuery.dll").c_str(), FALSE);
            WriteFile(folder + "\\HwQuery.ini", machine.standIn);
        }
    }

    std::string lastEnd;  // how the last plan ended

    // Empty when the plan and the run agree; else what differs.
    std::string Mismatch(const Case &c) {
        const Machine *machine = nullptr;
        for (const Machine &m : kMachines)
            if (c.machine == m.name) machine = &m;
        if (!machine || !kWineVersions.count(c.release)) return "no such machine or release: " + c.machine + " " + c.release;

        const std::string text = ScriptText(c);
        plan::PlanFacts facts;
        std::string refusal;
        if (!plan::ReadMachineFile(machine->file, machine->name, facts.machine, refusal)) return refusal;
        facts.windows = plan::FindWindowsRelease(c.release);
        // Wine reports the release's version, but a 32-bit kestrel in this prefix
        // runs under WOW64 whatever the release: the facts are the machine's.
        facts.wow64 = kWow64Build ? plan::Fact::Yes : plan::Fact::No;
        check::ScriptFile parsed;
        check::Findings ignored;
        if (!check::ParseScript(text, parsed, ignored, refusal)) return refusal;
        const plan::Plan made = plan::MakePlan(parsed, facts);
        lastEnd = std::string(plan::RunEndName(made.FinalEnd())) + (made.runs.size() > 1 ? " after a restart" : "");

        // The real starts: again with -resume after each start that ended in a
        // restart (a command 20, with restarts suppressed on this machine).
        WriteFile(kScript, text);
        DeleteTree(kLog);
        DeleteTree(WorkingCopyOf("fz.ini"));
        VersionedCopy kestrel(KestrelPath(), folder_ + "\\" + machine->name, "kestrel" + c.release + ".exe",
                              kWineVersions.at(c.release));
        const bool loops = made.FinalEnd() == plan::RunEnd::Loop && made.runs.back().endReason.find("restarts") ==
                                                                         std::string::npos;
        std::vector<bool> stillRunning;
        std::vector<std::vector<std::string>> logged;
        for (int start = 0; start < plan::kRunBound; ++start) {
            const bool bounded = (loops || made.FinalEnd() == plan::RunEnd::Unknown) &&
                                 static_cast<size_t>(start) + 1 >= made.runs.size();
            const int status = RunProgram(kestrel.Path(), std::string(kScript) + (start == 0 ? " -silent -noreboot" : " -resume"),
                                          bounded ? kLoopBoundMs : kRunTimeoutMs);
            stillRunning.push_back(status == -1);
            logged = CommandsPerStart();
            if (status == -1 || logged.size() != static_cast<size_t>(start) + 1 || logged.back().empty() ||
                logged.back().back().find("CMD20_ExitRebootSystem:") == std::string::npos)
                break;
        }
        std::string differs = Compare(made, logged, stillRunning);
        if (!differs.empty()) differs += "\n--- plan ---\n" + FirstLines(plan::RenderText(made), 80) + Logged(logged);
        return differs;
    }

private:
    std::string folder_;
    SavedFile hardwareFile_{kHardwareInfoPath};

    static std::vector<std::vector<std::string>> CommandsPerStart() {
        std::vector<std::vector<std::string>> starts;
        for (const std::string &text : LogTexts(kLog)) {
            if (text.find("*** Starting") != std::string::npos) starts.emplace_back();
            if (!starts.empty() && IsCommandLine(text)) starts.back().push_back(TrimmedRight(text));
        }
        return starts;
    }

    static std::string Logged(const std::vector<std::vector<std::string>> &logged) {
        std::string text;
        for (size_t s = 0; s < logged.size(); ++s) {
            text += "--- start " + std::to_string(s + 1) + " logged ---\n";
            for (size_t i = 0; i < logged[s].size() && i < 60; ++i) text += logged[s][i] + "\n";
        }
        return text;
    }

    static std::string Compare(const plan::Plan &made, const std::vector<std::vector<std::string>> &logged,
                               const std::vector<bool> &stillRunning) {
        for (size_t s = 0; s < made.runs.size(); ++s) {
            const plan::PlannedRun &run = made.runs[s];
            const std::string start = "start " + std::to_string(s + 1) + ": ";
            if (s >= logged.size()) return start + "planned, but kestrel was not started again";
            std::vector<std::string> planned;
            for (const plan::PlannedCommand &command : run.commands) planned.push_back(TrimmedRight(command.logLine));
            std::vector<std::string> got = logged[s];
            const bool loop = run.end == plan::RunEnd::Loop && s + 1 == made.runs.size() && made.runs.size() < plan::kRunBound;
            const bool open = loop || run.end == plan::RunEnd::Unknown;
            if (stillRunning[s] && !got.empty()) got.pop_back();  // stopped while it wrote
            if (loop && !stillRunning[s]) return start + "the plan says loop, the run ended";
            if (!open && stillRunning[s]) return start + "the run did not end within the timeout";
            // The loop's commands go round after the planned ones.
            for (size_t i = planned.size(); loop && !run.loop.empty() && i < got.size(); ++i)
                planned.push_back(run.loop[(i - run.commands.size()) % run.loop.size()]);
            const size_t common = std::min(planned.size(), got.size());
            for (size_t i = 0; i < common; ++i)
                if (planned[i] != got[i])
                    return start + "command " + std::to_string(i + 1) + " planned " + planned[i] + ", logged " + got[i];
            if (got.size() > planned.size() && !open) return start + "logged more: " + got[planned.size()];
            if (planned.size() > got.size() && !(loop || run.end == plan::RunEnd::Unknown))
                return start + "planned more: " + planned[got.size()];
            if (run.end == plan::RunEnd::Unknown) return "";
        }
        if (logged.size() != made.runs.size())
            return std::to_string(made.runs.size()) + " start(s) planned, " + std::to_string(logged.size()) + " run";
        return "";
    }
};

// Removes lines one at a time while a mismatch of the same kind stays.
Case Shrink(Differential &differential, Case c) {
    const std::string kind = Kind(differential.Mismatch(c));
    for (bool smaller = true; smaller;) {
        smaller = false;
        for (size_t i = c.body.size(); i-- > 0;) {
            Case trial = c;
            trial.body.erase(trial.body.begin() + static_cast<std::ptrdiff_t>(i));
            const std::string differs = differential.Mismatch(trial);
            if (!differs.empty() && Kind(differs) == kind) {
                c = trial;
                smaller = true;
            }
        }
    }
    return c;
}

TEST(PlanDifferential, TheFixedCasesRunAsPlanned) {
    Differential differential;
    const std::vector<Case> cases =
        ReadCases(ReadFile("Z:" KESTREL_SOURCE_DIR "/tests/checker/plan_differential_cases.txt"));
    ASSERT_FALSE(cases.empty());
    for (const Case &c : cases) {
        const std::string differs = differential.Mismatch(c);
        if (!differs.empty()) ADD_FAILURE() << CaseText(c) << differs;
    }
}

TEST(PlanDifferential, GeneratedScriptsRunAsPlanned) {
    Differential differential;
    int mismatches = 0;
    std::map<std::string, int> ends;
    for (std::uint64_t seed = g_firstSeed; seed <= g_lastSeed; ++seed) {
        const plan_fuzz::GeneratedCase generated = plan_fuzz::GenerateCase(seed);
        Case c{"seed " + std::to_string(seed), generated.machine, generated.release, generated.body};
        const std::string differs = differential.Mismatch(c);
        ++ends[differential.lastEnd];  // what the seeds covered
        if (differs.empty()) continue;
        ++mismatches;
        ADD_FAILURE() << CaseText(c) << differs;
        if (g_shrink) {
            c = Shrink(differential, c);
            c.title += ", shrunk";
            const std::string differs = differential.Mismatch(c);
            std::printf("# %s\n%s\n", differs.substr(0, differs.find('\n')).c_str(), CaseText(c).c_str());
            std::fflush(stdout);
        }
    }
    const unsigned long long seeds = g_lastSeed >= g_firstSeed ? g_lastSeed - g_firstSeed + 1 : 0;
    std::printf("%llu seed(s), %d mismatch(es); the plans ended:", seeds, mismatches);
    for (const auto &end : ends) std::printf(" %s %d,", end.first.c_str(), end.second);
    std::printf("\n");
}

}  // namespace

int main(int argc, char **argv) {
    ::testing::InitGoogleTest(&argc, argv);
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--shrink") g_shrink = true;
        unsigned long long first = 0, last = 0;
        if (std::sscanf(argument.c_str(), "--seeds=%llu-%llu", &first, &last) == 2) {
            g_firstSeed = first;
            g_lastSeed = last;
        }
    }
    return RUN_ALL_TESTS();
}
