// The install log summary: runs, commands and the failure lines that follow
// them, read from log text; the failure forms shared with the docs.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "log_summary.h"

using namespace logsum;

namespace {

std::string Log(std::initializer_list<std::string> lines) {
    std::string out;
    for (const std::string &line : lines) out += line + "\r\n";
    return out;
}

TEST(LogSummary, RunsCommandsFailuresRebootsAndDone) {
    // Two starts of one script: the first stops at a restart, the second is cut off.
    // Its tree copy is written the way older logs had it, the detail on a line of
    // its own without a stamp.
    std::string bytes = Log({
        "[23:59:59.900]  kestrel.exe>  ",
        "[23:59:59.900]  kestrel.exe> *** Starting C:\\kit\\kestrel.exe Version: 2.00.10 *** ",
        "[23:59:59.901]  kestrel.exe> InitINIFile() -noreboot given...will suppress reboots",
        "[23:59:59.901]  kestrel.exe> InitINIFile() -silent given...will run silent",
        "[23:59:59.902]  kestrel.exe> InitINIFile() C:\\kit\\setup.ini has been copied to C:\\Temp\\setup.ini",
        "[23:59:59.903]  kestrel.exe> **   Starting section >CommandsList<",
        "[23:59:59.904]  Sleuth was unable to find SMBIOS.  Checking WMI",
        "[23:59:59.905]  kestrel.exe> CMD0> CMD15_CopyFile: 15,Payload ",
        "[23:59:59.906]  kestrel.exe> SBCopyFile -  Error=3, Path not found.",
        "function CopyFile() failed on src=C:\\kit\\d\\a, dst=C:\\none\\a",
        "[23:59:59.907]  kestrel.exe> CMD1> CMD25_BranchOnSystemID: 25,Boards,Yes,No ",
        "[23:59:59.907]  kestrel.exe> This is not a supported Norvik  The ID 0X0A7C was not found in list.",
        "[23:59:59.908]  kestrel.exe> CMD2> CMD21_MakeDir: 21,,C:\\first ",
        "[23:59:59.908]  kestrel.exe> WARNING-=- function MakeDirectory () failed on src=C:\\first",
        "[23:59:59.909]  kestrel.exe> CMD3> CMD16_DeleteFileOrDir: 16,,C:\\old ",
        "[23:59:59.909]  kestrel.exe> WARNING-=- Cannot find >C:\\old< to delete",
        "[23:59:59.910]  kestrel.exe> CMD4> CMD20_ExitRebootSystem: 20 ",
        "[23:59:59.910]  kestrel.exe> Not setting to reboot system since SuppressReboot is set ",
        "[00:00:00.100]  kestrel.exe> DONE !",
        "[00:00:01.000]  kestrel.exe>  ",
        "[00:00:01.000]  kestrel.exe> *** Starting C:\\kit\\kestrel.exe Version: 2.00.10 *** ",
        "[00:00:01.001]  kestrel.exe> InitINIFile() -resume given...will force a resume.",
        "[00:00:01.002]  kestrel.exe> InitINIFile() The INI file in use is C:\\Temp\\setup.ini",
        "[00:00:01.003]  kestrel.exe> InitCommandSection()  continuing with [Restart]",
        "[00:00:01.003]  kestrel.exe> **   Starting section >Restart<",
        "[00:00:01.004]  kestrel.exe> CMD5> CMD11_SpawnProgram: 11,,C:\\none.exe,TRUE ",
        "[00:00:01.050]  kestrel.exe> FAIL - Failure with CreateProcess( ) 2 - File not found. ",
    });
    LogSummary log = SummarizeLog("pc1.log", bytes);
    ASSERT_EQ(2u, log.runs.size());
    EXPECT_FALSE(log.Healthy());

    const logsum::Run &first = log.runs[0];
    EXPECT_EQ(2, first.firstLine);
    EXPECT_EQ("C:\\kit\\setup.ini", first.script);
    EXPECT_EQ((std::vector<std::string>{"-noreboot", "-silent"}), first.switches);
    EXPECT_EQ((std::vector<std::string>{"CommandsList"}), first.sections);
    EXPECT_EQ(5, first.commandCount);
    ASSERT_EQ(3u, first.troubled.size());
    EXPECT_EQ("CMD0> CMD15_CopyFile: 15,Payload", first.troubled[0].entry.text);
    ASSERT_EQ(1u, first.troubled[0].failures.size());
    EXPECT_EQ(9, first.troubled[0].failures[0].line);
    EXPECT_NE(std::string::npos, first.troubled[0].failures[0].text.find("Path not found. function CopyFile() failed"));
    EXPECT_EQ(1u, first.troubled[1].failures.size());  // "failed" under a WARNING tag
    EXPECT_EQ(0u, first.troubled[2].failures.size());  // nothing to delete: a warning
    EXPECT_EQ(1u, first.troubled[2].warnings.size());
    EXPECT_EQ(2u, first.FailureCount());
    ASSERT_EQ(1u, first.reboots.size());
    EXPECT_TRUE(first.done);
    EXPECT_EQ("DONE !", first.doneText);
    EXPECT_EQ(200, first.elapsedMs);  // across midnight

    const logsum::Run &second = log.runs[1];
    EXPECT_EQ("C:\\Temp\\setup.ini", second.script);
    EXPECT_EQ((std::vector<std::string>{"-resume"}), second.switches);
    EXPECT_EQ((std::vector<std::string>{"Restart"}), second.sections);
    EXPECT_FALSE(second.done);
    EXPECT_EQ(27, second.lastLine);
    ASSERT_EQ(1u, second.troubled.size());
    EXPECT_EQ(50, second.elapsedMs);

    std::string text = Render({log}, Format::Text);
    EXPECT_NE(std::string::npos, text.find("pc1.log: run 1 of 2 (lines 2-19)")) << text;
    EXPECT_NE(std::string::npos, text.find("  FAILED   line 8: CMD0> CMD15_CopyFile: 15,Payload")) << text;
    EXPECT_NE(std::string::npos, text.find("NO DONE")) << text;
}

TEST(LogSummary, ALogWithoutARunOrWithAStartUpFailureIsNotHealthy) {
    EXPECT_FALSE(SummarizeLog("empty.log", "").Healthy());
    EXPECT_FALSE(SummarizeLog("junk.log", "no stamp\r\n[1:2:3] x\r\n").Healthy());
    LogSummary stopped = SummarizeLog(
        "stopped.log", Log({"[10:00:00.000]  kestrel.exe> *** Starting C:\\k\\kestrel.exe Version: 2.00.10 *** ",
                            "[10:00:00.001]  kestrel.exe> ERROR-=-  section [CommandsList] is empty..cannot initialize",
                            "[10:00:00.002]  kestrel.exe> ERROR -  Cannot initialize commands section"}));
    ASSERT_EQ(1u, stopped.runs.size());
    EXPECT_EQ(2u, stopped.runs[0].startFailures.size());
    EXPECT_FALSE(stopped.Healthy());
    LogSummary clean = SummarizeLog(
        "clean.log", Log({"[10:00:00.000]  kestrel.exe> *** Starting C:\\k\\kestrel.exe Version: 2.00.10 *** ",
                          "[10:00:00.001]  kestrel.exe> CMD0> CMD32_LogMsg: 32,hi ", "[10:00:00.001]  kestrel.exe>  hi",
                          "[10:00:00.002]  kestrel.exe> DONE !"}));
    EXPECT_TRUE(clean.Healthy());
}

TEST(LogSummary, AStartUpThatOnlyWarnedIsShownAsWarnedNotFailed) {
    LogSummary warned = SummarizeLog(
        "warned.log", Log({"[10:00:00.000]  kestrel.exe> *** Starting C:\\k\\kestrel.exe Version: 2.00.10 *** ",
                           "[10:00:00.001]  kestrel.exe> WARNING-=- [Data] LogFile is longer than 127 characters; the "
                           "default log is used.",
                           "[10:00:00.002]  kestrel.exe> CMD0> CMD32_LogMsg: 32,hi ", "[10:00:00.002]  kestrel.exe>  hi",
                           "[10:00:00.003]  kestrel.exe> DONE !"}));
    ASSERT_EQ(1u, warned.runs.size());
    ASSERT_EQ(1u, warned.runs[0].startWarnings.size());
    const std::string text = Render({warned}, Format::Text);
    EXPECT_NE(std::string::npos, text.find("  warned   start-up\n")) << text;
    EXPECT_EQ(std::string::npos, text.find("FAILED")) << text;
}

TEST(LogSummary, JsonAndMarkdownKeepEachValueInItsPlace) {
    LogSummary log = SummarizeLog(
        "a|b.log", Log({"[10:00:00.000]  kestrel.exe> *** Starting C:\\k\\kestrel.exe Version: 2.00.10 *** ",
                        "[10:00:00.001]  kestrel.exe> CMD0> CMD32_LogMsg: 32,say \"hi\" ",
                        "[10:00:00.002]  kestrel.exe> ERROR-=- \x01 | \xe9"}));
    std::string json = Render({log}, Format::Json);
    EXPECT_NE(std::string::npos, json.find("\"command\":\"CMD0> CMD32_LogMsg: 32,say \\\"hi\\\"\"")) << json;
    EXPECT_NE(std::string::npos, json.find("ERROR-=- \\u0001 | \\u00e9")) << json;
    EXPECT_NE(std::string::npos, json.find("\"script\":\"\"")) << json;
    std::string markdown = Render({log, log}, Format::Markdown);
    std::istringstream rows(markdown);
    std::string row;
    int count = 0;
    while (std::getline(rows, row)) {
        ++count;
        if (count > 2) {
            EXPECT_EQ(0u, row.find("| a\\|b.log | **FAILED** |")) << row;
        }
    }
    EXPECT_EQ(4, count);
}

TEST(LogSummary, EveryFailureFormIsReachedAndListedInTheDocs) {
    std::ifstream docs(std::string(KESTREL_SOURCE_DIR) + "/docs/scripting.md");
    std::stringstream content;
    content << docs.rdbuf();
    for (const EntryForm &form : EntryForms()) {
        // No earlier, broader form shadows it.
        EXPECT_EQ(&form, ClassifyEntry(form.example)) << form.text;
        std::string row = std::string("`") + form.text + "`";
        EXPECT_NE(std::string::npos, content.str().find(row)) << "docs/scripting.md lists no " << row;
    }
}

}  // namespace
