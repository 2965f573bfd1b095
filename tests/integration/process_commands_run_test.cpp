// Programs started by scripts, pauses and silent message boxes, in real runs.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "script_run.h"
#include "test_support.h"

using namespace testing_support;

namespace {

class ProcessRun : public ScriptRun {
protected:
    void SetUp() override {
        ScriptRun::SetUp();
        child_ = folder_ + "\\child.exe";
        ASSERT_TRUE(CopyFileA((ProgramFolder() + "\\test_child.exe").c_str(), child_.c_str(), FALSE));
        out_ = folder_ + "\\out.txt";
    }
    // What the child recorded: "cwd" or "ended"; empty when it has not written.
    std::string Record(const std::string &key) {
        for (const std::string &line : Lines(out_)) {
            if (line.rfind(key + "=", 0) == 0) return line.substr(key.size() + 1);
        }
        return "";
    }
    bool WaitForFile(const std::string &path) {
        for (int i = 0; i < 400 && !Exists(path); ++i) Sleep(50);
        return Exists(path);
    }
    std::string child_, out_;
};

long MillisecondsOf(const std::string &stamp) {
    int h, m, s, ms;
    if (sscanf(stamp.c_str(), "%d:%d:%d.%d", &h, &m, &s, &ms) != 4) return -1;
    return ((h * 60L + m) * 60L + s) * 1000L + ms;
}

TEST_F(ProcessRun, WaitingSpawnBlocksUntilTheProgramEndsAndOneSecondMore) {
    std::string command = child_ + " write " + out_ + " 1500 3";
    WriteScript(Ini({"[CommandsList]", "11,," + command + ",true", "32,after"}));
    ASSERT_EQ(0, Run());
    ASSERT_EQ(folder_, Record("cwd"));

    std::vector<std::string> expected = {
        "...Spawning  <" + command + ">",
        "...Setting CWD to  <" + folder_ + ">",
        "...WaitToFinish: true",
        "...waiting..... ",
        "...Spawn Complete ",
        "CMD1> CMD32_LogMsg: 32,after ",
    };
    std::vector<std::string> tail = TextsFrom("...Spawning");
    ASSERT_GE(tail.size(), expected.size());
    EXPECT_EQ(expected, std::vector<std::string>(tail.begin(), tail.begin() + expected.size()));

    long waiting = StampOf("...waiting.....");
    long complete = StampOf("...Spawn Complete");
    long ended = MillisecondsOf(Record("ended"));
    EXPECT_GE(complete - waiting, 2500) << "the child sleeps 1.5 s, then one more second";
    EXPECT_GE(complete - ended, 1000);
}

TEST_F(ProcessRun, SectionFormWithoutWaitToExitReturnsAtOnce) {
    std::string release = folder_ + "\\release";
    // The program path comes through a variable that holds another token.
    WriteScript(Ini({"[CommandsList]", "11,Start", "32,after",
                     "[Start]", "Program=~%V001 hold " + out_ + " " + release,
                     "[Variables]", "V001=~%V002\\child.exe", "V002=" + folder_}));
    ASSERT_EQ(0, Run());
    // kestrel has ended while the child still waits for its release.
    EXPECT_FALSE(Exists(out_));
    std::vector<std::string> texts = Texts();
    EXPECT_TRUE(ContainsText(texts, "...Spawning  <" + child_ + " hold " + out_ + " " + release + ">"));
    EXPECT_TRUE(ContainsText(texts, "...WaitToFinish: FALSE"));
    EXPECT_TRUE(ContainsText(texts, "...not waiting "));
    EXPECT_FALSE(ContainsText(texts, "...waiting..... "));

    WriteFile(release, "go");
    ASSERT_TRUE(WaitForFile(out_)) << "the child was started and runs on its own";
    EXPECT_EQ(folder_, Record("cwd"));
}

TEST_F(ProcessRun, ProgramThatCannotStartLogsTheSystemReason) {
    std::string missing = folder_ + "\\missing.exe";
    WriteScript(Ini({"[CommandsList]", "11,," + missing + ",TRUE", "32,after"}));
    ASSERT_EQ(0, Run());
    std::vector<std::string> tail = TextsFrom("FAIL - Failure with CreateProcess( )");
    ASSERT_GE(tail.size(), 3u);
    const std::string prefix = "FAIL - Failure with CreateProcess( ) 2 - ";
    ASSERT_EQ(0u, tail[0].rfind(prefix, 0)) << tail[0];
    EXPECT_GT(tail[0].size(), prefix.size() + 3) << "the system's text follows the code";
    EXPECT_EQ("...Spawn Complete ", tail[1]);
    EXPECT_EQ("CMD1> CMD32_LogMsg: 32,after ", tail[2]);
    EXPECT_FALSE(ContainsText(Texts(), "...waiting..... "));
}

TEST_F(ProcessRun, ProgramAtTheDriveRootRunsInTheRoot) {
    const std::string rootChild = "C:\\kchild.exe";
    ASSERT_TRUE(CopyFileA(child_.c_str(), rootChild.c_str(), FALSE));
    WriteScript(Ini({"[CommandsList]", "11,," + rootChild + " write " + out_ + " 0 0,TRUE"}));
    int rc = Run();
    DeleteFileA(rootChild.c_str());
    ASSERT_EQ(0, rc);
    EXPECT_EQ("C:\\", Record("cwd"));
    EXPECT_TRUE(ContainsText(Texts(), "...Setting CWD to  <C:\\>"));
}

TEST_F(ProcessRun, BlankInTheProgramPath) {
    std::string spaced = folder_ + "\\with blank";
    ASSERT_TRUE(CreateDirectoryA(spaced.c_str(), nullptr));
    std::string spacedChild = spaced + "\\child.exe";
    ASSERT_TRUE(CopyFileA(child_.c_str(), spacedChild.c_str(), FALSE));
    std::string quotedOut = folder_ + "\\quoted.txt";
    // Unquoted: the working directory comes from the text before the blank. Quoted:
    // from the whole program path.
    WriteScript(Ini({"[CommandsList]", "11,," + spacedChild + " write " + out_ + " 0 0,TRUE",
                     "11,,\"" + spacedChild + "\" write " + quotedOut + " 0 0,TRUE"}));
    ASSERT_EQ(0, Run());
    EXPECT_EQ(folder_, Record("cwd"));
    out_ = quotedOut;
    EXPECT_EQ(spaced, Record("cwd"));
}

TEST_F(ProcessRun, ProgramWithoutAFolderRunsInKestrelsCurrentDirectory) {
    char current[MAX_PATH];
    GetCurrentDirectoryA(sizeof current, current);
    // Found beside kestrel.exe, where the build puts it.
    WriteScript(Ini({"[CommandsList]", "11,,test_child.exe write " + out_ + " 0 0,TRUE"}));
    ASSERT_EQ(0, Run());
    EXPECT_EQ(std::string(current), Record("cwd"));
    EXPECT_TRUE(ContainsText(Texts(), "...Setting CWD to  <" + std::string(current) + ">"));
}

TEST_F(ProcessRun, SleepPausesForTheGivenMilliseconds) {
    WriteScript(Ini({"[CommandsList]", "13,1500", "32,slept"}));
    ASSERT_EQ(0, Run());
    long sleeping = StampOf("..sleeping  1500");
    long after = StampOf("CMD1> CMD32_LogMsg");
    ASSERT_GE(sleeping, 0);
    EXPECT_GE(after - sleeping, 1500);
}

TEST_F(ProcessRun, SleepWithoutANumberOrWithANegativeOneDoesNotPause) {
    WriteScript(Ini({"[CommandsList]", "13", "13,-1", "13,soon", "32,done"}));
    ASSERT_EQ(0, Run("-silent", 30000)) << "a negative pause must not hang the run";
    std::vector<std::string> tail = TextsFrom("CMD0> CMD13_Sleep");
    std::vector<std::string> expected = {
        "CMD0> CMD13_Sleep: 13 ",
        "..time not defined to sleep ",
        "CMD1> CMD13_Sleep: 13,-1 ",
        "..sleeping  -1",
        "WARNING-=- negative sleep time >-1< refused, not sleeping",
        "CMD2> CMD13_Sleep: 13,soon ",
        "..sleeping  soon",
        "CMD3> CMD32_LogMsg: 32,done ",
    };
    ASSERT_GE(tail.size(), expected.size());
    EXPECT_EQ(expected, std::vector<std::string>(tail.begin(), tail.begin() + expected.size()));
}

const char *kBranchSections[] = {"[YesPart]", "32,in yes", "[NoPart]", "32,in no", "[CancelPart]", "32,in cancel"};

std::string BranchSections() {
    std::string sections;
    for (const char *line : kBranchSections) sections += std::string(line) + "\r\n";
    return sections;
}

TEST_F(ProcessRun, SilentQuestionBoxesTakeOkOrYes) {
    WriteScript(Ini({"[CommandsList]", "17,Ask,4,YesPart,NoPart,CancelPart", "32,still in the list",
                     "[Ask.US]", "Title=Question", "Message1=Go on?"}) +
                BranchSections());
    ASSERT_EQ(0, Run());
    std::vector<std::string> texts = Texts();
    EXPECT_TRUE(ContainsText(texts, "  Setting next section to:  YesPart"));
    // The branch is taken when the current section ends.
    int still = FindText(texts, " still in the list");
    int yes = FindText(texts, " in yes");
    EXPECT_GE(still, 0);
    EXPECT_GT(yes, still);
    EXPECT_FALSE(ContainsText(texts, " in no"));
    EXPECT_EQ("YesPart", Copy("State", "CurrentSection"));
}


TEST_F(ProcessRun, MissingMessageSectionLogsAndDoesNotBranch) {
    WriteScript(Ini({"[CommandsList]", "17,Welcome,3,YesPart,NoPart", "32,after", "[Welcome.DE]", "Message1=x"}) +
                BranchSections());
    ASSERT_EQ(0, Run());
    std::vector<std::string> tail = TextsFrom("CMD0> CMD17_DisplayMessageBox");
    ASSERT_GE(tail.size(), 3u);
    EXPECT_EQ("ERROR-=- Missing the Message Section [Welcome.US]", tail[1]);
    EXPECT_EQ("CMD1> CMD32_LogMsg: 32,after ", tail[2]);
    EXPECT_EQ("", Copy("State", "NextSection"));
    EXPECT_EQ("CommandsList", Copy("State", "CurrentSection"));
}

TEST_F(ProcessRun, QuestionBoxThatCannotBeShownTakesTheOtherBranch) {
    char display[256];
    if (GetEnvironmentVariableA("DISPLAY", display, sizeof display) > 0)
        GTEST_SKIP() << "an X display is set: the box would be shown";
    WriteScript(Ini({"[CommandsList]", "17,Ask,3,YesPart,NoPart", "[Ask.US]", "Message1=Go on?"}) +
                BranchSections());
    ASSERT_EQ(0, Run(""));
    std::vector<std::string> tail = TextsFrom("CMD0> CMD17_DisplayMessageBox");
    ASSERT_GE(tail.size(), 3u);
    EXPECT_EQ(0u, tail[1].rfind("ERROR-=- MessageBox() failed, (", 0)) << tail[1];
    EXPECT_EQ("  Setting next section to:  NoPart", tail[2]);
    EXPECT_TRUE(ContainsText(Texts(), " in no"));
}

}  // namespace
