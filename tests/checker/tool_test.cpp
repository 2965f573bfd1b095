// The kestrel-check program itself, run on script files: its output format,
// exit status, --quiet, the shipped examples and hostile files.
#include <gtest/gtest.h>

#include <random>

#include "checker_test_support.h"

using namespace checker_test;

namespace {

TEST(Tool, FindingsAreFileLineSeverityMessageInLineOrder) {
    std::string folder = FreshFolder("tool_format");
    std::string script = folder + "bad.ini";
    WriteFile(script, Script({"[Data]", "Logging=1", "[CommandsList]", "40,anything", "22", "[Orphan]", "32,x"}));
    ToolRun run = RunChecker({script});
    EXPECT_EQ(1, run.exitCode) << run.err;
    ASSERT_EQ(3u, run.out.size()) << run.err;
    EXPECT_EQ(script +
                  ":4: error: command number 40 is not defined (0 to 38): the run logs \"CMD >40< not defined\" "
                  "and skips the line",
              run.out[0]);
    EXPECT_EQ(0u, run.out[1].find(script + ":5: warning: command 22 (CMD22_DisplayWindow) is not supported"));
    EXPECT_EQ(0u, run.out[2].find(script + ":6: note: section [Orphan] is never used"));
    EXPECT_NE(std::string::npos, run.err.find("1 error(s), 1 warning(s), 1 note(s)")) << run.err;
}

TEST(Tool, QuietPrintsErrorsOnlyAndWarningsAloneExitZero) {
    std::string folder = FreshFolder("tool_quiet");
    std::string errors = folder + "errors.ini", warnings = folder + "warnings.ini";
    WriteFile(errors, Script({"[CommandsList]", "40", "22"}));
    WriteFile(warnings, Script({"[CommandsList]", "22", "[Orphan]", "32,x"}));

    ToolRun quiet = RunChecker({"--quiet", errors});
    EXPECT_EQ(1, quiet.exitCode);
    ASSERT_EQ(1u, quiet.out.size());
    EXPECT_NE(std::string::npos, quiet.out[0].find(":2: error:"));
    EXPECT_EQ("", quiet.err);

    ToolRun onlyWarnings = RunChecker({warnings});
    EXPECT_EQ(0, onlyWarnings.exitCode);
    EXPECT_EQ(2u, onlyWarnings.out.size());
    ToolRun quietWarnings = RunChecker({"--quiet", warnings});
    EXPECT_EQ(0, quietWarnings.exitCode);
    EXPECT_TRUE(quietWarnings.out.empty());
}

TEST(Tool, AFileThatCannotBeReadExitsTwo) {
    std::string folder = FreshFolder("tool_unreadable");
    std::string good = folder + "good.ini";
    WriteFile(good, Script({"[CommandsList]", "33"}));
    ToolRun run = RunChecker({good, folder + "missing.ini"});
    EXPECT_EQ(2, run.exitCode);
    EXPECT_NE(std::string::npos, run.err.find("missing.ini: error: cannot read")) << run.err;

    ToolRun directory = RunChecker({folder});
    EXPECT_EQ(2, directory.exitCode) << directory.err;
    EXPECT_EQ(2, RunChecker({}).exitCode);
    EXPECT_EQ(2, RunChecker({"--no-such-option", good}).exitCode);
    EXPECT_EQ(0, RunChecker({good}).exitCode);
}

TEST(Tool, EveryExampleChecksClean) {
    std::vector<std::string> examples = ExampleScripts();
    ASSERT_FALSE(examples.empty()) << ExamplesFolder();
    for (const std::string &example : examples) {
        SCOPED_TRACE(example);
        ToolRun run = RunChecker({example});
        EXPECT_EQ(0, run.exitCode) << run.err;
        for (const std::string &line : run.out) EXPECT_EQ(std::string::npos, line.find(": warning: ")) << line;
    }
}

TEST(Tool, BinaryGarbageIsRefusedOrReportedWithoutACrash) {
    std::string folder = FreshFolder("tool_garbage");
    std::mt19937 random(20240611);
    std::string withNul, withoutNul;
    for (int i = 0; i < 200000; ++i) {
        withNul.push_back(static_cast<char>(random() & 0xFF));
        withoutNul.push_back(static_cast<char>(1 + random() % 255));
    }
    WriteFile(folder + "with_nul.ini", withNul);
    WriteFile(folder + "bytes.ini", "[CommandsList]\r\n" + withoutNul);

    ToolRun refused = RunChecker({folder + "with_nul.ini"});
    EXPECT_EQ(2, refused.exitCode);
    EXPECT_NE(std::string::npos, refused.err.find("not a text file")) << refused.err;

    ToolRun reported = RunChecker({folder + "bytes.ini"});
    EXPECT_TRUE(reported.exitCode == 0 || reported.exitCode == 1) << reported.exitCode << reported.err;
    for (const std::string &line : reported.out) EXPECT_LT(line.size(), 2000u);
}

TEST(Tool, HugeLinesAndFiftyThousandSectionsAreChecked) {
    std::string folder = FreshFolder("tool_huge");
    std::string longLine(100000, 'x');
    WriteFile(folder + "long.ini", Script({"[CommandsList]", "15," + longLine, "32," + longLine, "[" + longLine + "]",
                                           longLine + "=" + longLine}));
    ToolRun longRun = RunChecker({folder + "long.ini"});
    EXPECT_EQ(1, longRun.exitCode) << longRun.err;
    ASSERT_FALSE(longRun.out.empty());
    for (const std::string &line : longRun.out) EXPECT_LT(line.size(), 2000u);

    // A chain of 50,000 sections, each jumping to the next.
    std::string chain = "[CommandsList]\r\n19,S0\r\n";
    for (int i = 0; i < 50000; ++i)
        chain += "[S" + std::to_string(i) + "]\r\n" + (i + 1 < 50000 ? "19,S" + std::to_string(i + 1) : "33") + "\r\n";
    WriteFile(folder + "chain.ini", chain);
    ToolRun chainRun = RunChecker({folder + "chain.ini"});
    EXPECT_EQ(0, chainRun.exitCode) << chainRun.err;
    EXPECT_TRUE(chainRun.out.empty()) << chainRun.out.size();

    // The same sections with nothing jumping to them: one note each.
    std::string unused = "[CommandsList]\r\n33\r\n";
    for (int i = 0; i < 50000; ++i) unused += "[S" + std::to_string(i) + "]\r\n32,x\r\n";
    WriteFile(folder + "unused.ini", unused);
    ToolRun unusedRun = RunChecker({folder + "unused.ini"});
    EXPECT_EQ(0, unusedRun.exitCode) << unusedRun.err;
    EXPECT_EQ(50000u, unusedRun.out.size());
}

TEST(Tool, PlanGivesOnePlanPerMachineAndReleaseAndAMatrix) {
    std::string folder = FreshFolder("tool_plan");
    WriteFile(folder + "ours.ini", Script({"[Hardware Detect]", "Manufacture2=Norvik", "Product Name2=0A7Ch"}));
    WriteFile(folder + "other.ini", Script({"[Hardware Detect]", "Manufacture2=Acme", "Product Name2=Box"}));
    const std::string script = ExamplesFolder() + "/unattended_setup.ini";
    ToolRun run = RunChecker({"--plan", "--machine", folder + "ours.ini", "--machine", folder + "other.ini", "--os",
                              "xp", "--os", "win7", "--format", "markdown", script});
    EXPECT_EQ(0, run.exitCode) << run.err;
    size_t rows = 0, restarts = 0;
    for (const std::string &line : run.out) {
        if (line.rfind("| " + folder, 0) == 0) ++rows;
        if (line.find("| restart -> exit |") != std::string::npos) ++restarts;
    }
    EXPECT_EQ(4u, rows);
    EXPECT_EQ(4u, restarts);

    ToolRun json = RunChecker({"--plan", "--os", "win7", "--format", "json", script});
    EXPECT_EQ(0, json.exitCode) << json.err;
    ASSERT_FALSE(json.out.empty());
    EXPECT_EQ(0u, json.out.front().find("{\"script\": "));

    EXPECT_EQ(2, RunChecker({"--plan", "--os", "os2", script}).exitCode);
    EXPECT_EQ(2, RunChecker({"--plan", "--machine", script, script}).exitCode);  // no [Hardware Detect]
    EXPECT_EQ(2, RunChecker({"--plan", folder + "missing.ini"}).exitCode);
}

}  // namespace

namespace {

TEST(Tool, LogSummaryExitsZeroOnlyWhenEveryRunGotToDoneWithoutFailure) {
    std::string folder = FreshFolder("tool_log");
    const std::string banner = "[10:00:00.000]  kestrel.exe> *** Starting C:\\k\\kestrel.exe Version: 2.00.10 *** ";
    std::string good = folder + "good.log", cut = folder + "cut.log";
    WriteFile(good, Script({banner, "[10:00:00.001]  kestrel.exe> CMD0> CMD33_: 33 ", "[10:00:00.002]  kestrel.exe> DONE !"}));
    WriteFile(cut, Script({banner, "[10:00:00.001]  kestrel.exe> CMD0> CMD13_Sleep: 13,60000 "}));
    EXPECT_EQ(0, RunChecker({"--log", good}).exitCode);
    ToolRun both = RunChecker({"--log", "--format", "markdown", good, cut});
    EXPECT_EQ(1, both.exitCode);
    EXPECT_EQ(4u, both.out.size());
    EXPECT_EQ(2, RunChecker({"--log", good, folder + "missing.log"}).exitCode);
    EXPECT_EQ(2, RunChecker({"--log", "--format", "xml", good}).exitCode);
}

}  // namespace
