// Rules over the whole script: command numbers, section ends, [CommandsList],
// [Data], [Variables], the run's own sections and what no command reaches.
#include <gtest/gtest.h>

#include "checker_test_support.h"

using namespace checker_test;

namespace {

TEST(CommandNumbers, OnlyZeroToThirtyEightAreDefined) {
    Checked checked = Check({"[CommandsList]", "40,anything", "-1", "39", "38,A,B", "[A]", "32,a", "[B]", "32,b"});
    EXPECT_TRUE(checked.Has(2, kError,
                            "command number 40 is not defined (0 to 38): the run logs \"CMD >40< not "
                            "defined\" and skips the line"))
        << checked.Dump();
    EXPECT_TRUE(checked.Has(3, kError, "command number -1 is not defined")) << checked.Dump();
    EXPECT_TRUE(checked.Has(4, kError, "command number 39 is not defined")) << checked.Dump();
    EXPECT_FALSE(checked.Has(5, kError)) << checked.Dump();
}

TEST(CommandNumbers, ATypeThatIsNoNumberEndsTheSection) {
    Checked checked = Check({"[CommandsList]", "32,first", "CopyFile,Seed", "32,never", "15x,,C:\\a,C:\\b"});
    EXPECT_TRUE(checked.Has(3, kError,
                            "'CopyFile' is not a number: the run reads it as 0, which ends the section "
                            "here, and the 2 lines after it never run"))
        << checked.Dump();
    EXPECT_TRUE(checked.Has(5, kWarning, "'15x' reads as 15")) << checked.Dump();
    // A hexadecimal number is read as one.
    EXPECT_EQ(0u, Check({"[CommandsList]", "0x20,hex is a number"}).findings.size());
}

TEST(CommandNumbers, UnsupportedNumbersAreWarnings) {
    for (const char *number : {"22", "23", "24", "34", "35"}) {
        SCOPED_TRACE(number);
        Checked checked = Check({"[CommandsList]", number});
        EXPECT_TRUE(checked.Has(2, kWarning, "is not supported: the run logs \" Not Supported yet.\""))
            << checked.Dump();
    }
    EXPECT_EQ(0u, Check({"[CommandsList]", "33"}).findings.size());
}

TEST(SectionEnds, AZeroLineInTheMiddleCutsTheSection) {
    Checked checked = Check({"[CommandsList]", "32,a", "0", "32,b", "; a comment is no command", "32,c"});
    EXPECT_TRUE(checked.Has(3, kWarning, "the 2 command lines after it never run")) << checked.Dump();
    EXPECT_EQ(0u, Check({"[CommandsList]", "32,a", "0"}).findings.size());
}

TEST(CommandsList, TheRunNeedsItWithCommandLines) {
    Checked missing = Check({"[Data]", "Logging=1"});
    EXPECT_TRUE(missing.Has(1, kError, "no [CommandsList] with command lines")) << missing.Dump();
    Checked empty = Check({"[Data]", "Logging=1", "[CommandsList]", "; only comments"});
    EXPECT_TRUE(empty.Has(3, kError, "\"Cannot initialize commands section\"")) << empty.Dump();
    EXPECT_EQ(0u, Check({"[commandslist]", "33"}).findings.size());
}

TEST(DataOptions, NumbersWhereTheRunReadsNumbers) {
    Checked checked = Check({"[Data]", "Logging=yes", "ForceCleanStart=no", "SilentMode=1 ; quiet", "Debug=2x",
                             "SuppressReboot=", "[CommandsList]", "33"});
    EXPECT_TRUE(checked.Has(2, kError, "[Data] Logging 'yes' is not a number: the run reads it as 0"))
        << checked.Dump();
    EXPECT_TRUE(checked.Has(3, kError, "ForceCleanStart 'no' is not a number")) << checked.Dump();
    EXPECT_FALSE(checked.Has(4, kError)) << checked.Dump();
    EXPECT_TRUE(checked.Has(5, kWarning, "reads as 2")) << checked.Dump();
    EXPECT_EQ(3u, checked.findings.size()) << checked.Dump();
}

TEST(DataOptions, NumbersThatReadOtherwiseThanTheyLookAreNamedWithWhatTheRunReads) {
    Checked checked = Check({"[Data]", "Logging=0X1", "SYSID=0503", "RunCount=1e3", "Debug=0x1", "IsNorvik=07",
                             "[CommandsList]", "33"});
    EXPECT_TRUE(checked.Has(
        2, kWarning, "[Data] Logging '0X1' reads as 0: only a lower-case 0x starts a hexadecimal number; write 0x1"))
        << checked.Dump();
    EXPECT_TRUE(checked.Has(3, kWarning, "[Data] SYSID '0503' reads as decimal 503 (0x01F7)")) << checked.Dump();
    EXPECT_TRUE(checked.Has(4, kWarning, "[Data] RunCount '1e3' reads as 1: the number ends before 'e3'"))
        << checked.Dump();
    EXPECT_EQ(3u, checked.findings.size()) << checked.Dump();
}

TEST(DataOptions, TheLogFileFitsTheInstallLogPathAndHasNoComment) {
    Checked checked = Check({"[Data]", "LogFile=C:\\" + std::string(125, 'l'), "[CommandsList]", "33"});
    EXPECT_TRUE(checked.Has(2, kError, "LogFile is 128 characters long: the install log path holds at most 127"))
        << checked.Dump();
    Checked comment = Check({"[Data]", "LogFile=C:\\system.sav\\util\\first.log ; the log", "[CommandsList]", "33"});
    EXPECT_TRUE(comment.Has(2, kWarning, "LogFile holds a ';'")) << comment.Dump();
    Checked invalid =
        Check({"[Data]", "LogFile=C:\\logs\\first.log ; default C:\\logs\\install.log", "[CommandsList]", "33"});
    EXPECT_TRUE(invalid.Has(2, kError, "is no valid file path (':'): the install log cannot be opened"))
        << invalid.Dump();
    EXPECT_EQ(0u, Check({"[Data]", "LogFile=C:\\" + std::string(124, 'l'), "[CommandsList]", "33"}).findings.size());
}

TEST(Variables, AVariableUsedButSetNowhereIsANote) {
    Checked checked = Check({"[CommandsList]", "16,,~%V003\\old", "16,,~%V003\\older", "16,,~%V004\\x", "16,,~%V005\\x",
                             "16,,~%V006\\x", "16,,~%C000", "16,,~%V000", "27,,V004,C:\\a", "26,Set", "[Set]",
                             "Variables,V005,C:\\b", "[Variables]", "V006=C:\\c"});
    EXPECT_TRUE(checked.Has(2, kNote, "V003 is set nowhere in this script")) << checked.Dump();
    EXPECT_EQ(1u, checked.Count(kNote)) << checked.Dump();  // once per variable; 0, 4, 5 and 6 are set
}

TEST(Variables, KeysAndValuesOfTheVariablesSection) {
    Checked checked = Check({"[CommandsList]", "16,,~%V001", "[Variables]", "V001=~%V002\\x", "V002=~%V001",
                             "Path=C:\\kit", "V003=" + std::string(260, 'v')});
    EXPECT_TRUE(checked.Has(4, kError, "V001 -> V002 -> V001 refers back to itself")) << checked.Dump();
    EXPECT_TRUE(checked.Has(6, kWarning, "'Path' is not V000 to V999")) << checked.Dump();
    EXPECT_TRUE(checked.Has(7, kError, "at most 259")) << checked.Dump();
    EXPECT_EQ(3u, checked.findings.size()) << checked.Dump();
}

TEST(Variables, BadTokensInCommandArgumentsAreReportedOnTheirLine) {
    Checked checked = Check({"[CommandsList]", "16,,~%X001\\a", "15,Copies", "[Copies]", "~%C050\\a,C:\\b"});
    EXPECT_TRUE(checked.Has(2, kError, "kind letter other than C or V")) << checked.Dump();
    EXPECT_TRUE(checked.Has(5, kError, "~%C050 is not a built-in variable")) << checked.Dump();
}

TEST(Reachability, SectionsThatNoCommandReachesAreNotes) {
    Checked checked =
        Check({"[CommandsList]", "19,Second", "[Second]", "15,Copies", "[Copies]", "C:\\a,C:\\b", "[Orphan]",
               "32,never run", "[Data.FR]", "CommonStartupFolder=C:\\x", "[Data]", "Logging=1"});
    EXPECT_TRUE(checked.Has(7, kNote, "section [Orphan] is never used")) << checked.Dump();
    EXPECT_EQ(1u, checked.findings.size()) << checked.Dump();
}

TEST(Reachability, SectionsBehindAnUnreachedSectionAreNotReached) {
    Checked checked = Check({"[CommandsList]", "33", "[Lost]", "19,AlsoLost", "[AlsoLost]", "32,x"});
    EXPECT_TRUE(checked.Has(3, kNote, "[Lost] is never used")) << checked.Dump();
    EXPECT_TRUE(checked.Has(5, kNote, "[AlsoLost] is never used")) << checked.Dump();
}

TEST(RunSections, ScriptsDoNotBringTheRunsOwnSections) {
    Checked checked = Check({"[CommandsList]", "33", "[State]", "CurrentSection=Other", "[Commands]", "Cmd0=33"});
    EXPECT_TRUE(checked.Has(3, kWarning, "[State] belongs to the run")) << checked.Dump();
    EXPECT_TRUE(checked.Has(5, kWarning, "[Commands] belongs to the run")) << checked.Dump();
}

TEST(HostileInput, GarbageLinesAreReportedWithoutCrashing) {
    std::string longLine(100000, 'x');
    Checked checked = Check({"[CommandsList]", "32," + longLine, longLine, "[" + longLine + "]", longLine});
    EXPECT_TRUE(checked.Has(2, kError, "argument 0 is 100000 characters long")) << checked.Dump().substr(0, 2000);
    for (const check::Finding &finding : checked.findings) EXPECT_LT(finding.message.size(), 1000u);
}

}  // namespace
