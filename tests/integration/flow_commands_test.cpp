// Run counter, cursor moves, reset, exit and the section jump, through real runs.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "script_run.h"
#include "test_support.h"

using namespace testing_support;

namespace {

class FlowCommands : public ScriptRun {
protected:
    // Ten no-op commands (numbers 0 to 9) and then the given lines from 10 on.
    std::string TenThen(std::initializer_list<std::string> lines) {
        std::string body = "[CommandsList]\r\n";
        for (int i = 0; i < 10; ++i) body += "33\r\n";
        for (const std::string &line : lines) body += line + "\r\n";
        return body;
    }
};

TEST_F(FlowCommands, DecCommandGoesBackAndTheCommandAfterTheTargetRunsNext) {
    std::string body = "[CommandsList]\r\n";
    for (int i = 0; i < 10; ++i) body += (i == 7 ? "10\r\n" : "33\r\n");
    WriteScript(body + "6\r\n", "DecCommand=3\r\n");
    // The first run stops at the exit at 7; the resumed one reaches 10 and goes back.
    ASSERT_EQ(0, Run());
    ASSERT_EQ("8", Copy("Commands", "CurrentCmd"));
    DeleteTree(log_);
    ASSERT_EQ(0, Run("-resume"));
    std::vector<std::string> texts = Texts();
    int moved = FindText(texts, "CMD6=6 CMD6=6");
    ASSERT_GE(moved, 0);
    EXPECT_EQ("CMD10> CMD06_DecCmdIndex: 6 ", texts.at(moved - 1));
    EXPECT_EQ("CMD7> CMD10_Exit: 10 ", texts.at(moved + 1));
    EXPECT_EQ("8", Copy("Commands", "CurrentCmd"));
}

TEST_F(FlowCommands, IncCommandSkipsThatManyCommands) {
    WriteScript(TenThen({"7", "32,skipped 11", "32,skipped 12", "32,ran 13"}), "IncCommand=2\r\n");
    ASSERT_EQ(0, Run());
    std::vector<std::string> texts = Texts();
    EXPECT_TRUE(ContainsText(texts, "CMD12=7 CMD12=7"));
    EXPECT_FALSE(ContainsText(texts, " skipped 11"));
    EXPECT_FALSE(ContainsText(texts, " skipped 12"));
    EXPECT_TRUE(ContainsText(texts, " ran 13"));
    EXPECT_EQ("14", Copy("Commands", "CurrentCmd"));
}

TEST_F(FlowCommands, CursorStepsComeFromDataWhateverTheLineNames) {
    WriteScript(Ini({"[CommandsList]", "33", "6,Steps", "7,Steps", "32,after", "[Steps]", "DecCommand=1",
                     "IncCommand=1"}));
    ASSERT_EQ(0, Run());
    std::vector<std::string> texts = Texts();
    EXPECT_TRUE(ContainsText(texts, "CMD1=6 CMD1=6"));
    EXPECT_TRUE(ContainsText(texts, "CMD2=7 CMD2=7"));
    EXPECT_TRUE(ContainsText(texts, " after"));
}

TEST_F(FlowCommands, DecrementBelowTheFirstCommandIsRefused) {
    WriteScript(Ini({"[CommandsList]", "33", "6", "32,went on"}), "DecCommand=5\r\n");
    ASSERT_EQ(0, RunKestrel(script_ + " -silent", 20000));
    std::vector<std::string> texts = Texts();
    EXPECT_TRUE(ContainsText(texts, "ERROR-=- ERROR cannot decrement the CurrentCmd by 5"));
    EXPECT_TRUE(ContainsText(texts, "CMD1=6 CMD1=6"));
    EXPECT_TRUE(ContainsText(texts, " went on"));
    EXPECT_EQ("3", Copy("Commands", "CurrentCmd"));
}

TEST_F(FlowCommands, RunCountCountsInData) {
    WriteScript(Ini({"[CommandsList]", "5", "5,Elsewhere"}));
    ASSERT_EQ(0, Run());
    EXPECT_EQ("2", Copy("DATA", "RunCount"));
    EXPECT_EQ("<absent>", Copy("Elsewhere", "RunCount"));
}

TEST_F(FlowCommands, ResetLeavesNoRunState) {
    WriteScript(Ini({"[CommandsList]", "32,before", "8", "32,never"}));
    ASSERT_EQ(0, Run());
    std::vector<std::string> texts = Texts();
    EXPECT_FALSE(ContainsText(texts, " never"));
    EXPECT_EQ("DONE !", texts.back());
    EXPECT_FALSE(ProfileSectionExists(copy_, "Commands"));
    EXPECT_FALSE(ProfileSectionExists(copy_, "State"));

    // The next resumed run is a first start.
    DeleteTree(log_);
    ASSERT_EQ(0, Run("-resume"));
    EXPECT_TRUE(ContainsText(Texts(), "InitCommandSection()  starting from [CommandsList]"));
}

TEST_F(FlowCommands, ExitLeavesTheCursorAfterItself) {
    WriteScript(Ini({"[CommandsList]", "33", "33", "33", "33", "10", "32,after exit"}));
    ASSERT_EQ(0, Run());
    EXPECT_FALSE(ContainsText(Texts(), " after exit"));
    EXPECT_EQ("DONE !", Texts().back());
    EXPECT_EQ("5", Copy("Commands", "CurrentCmd"));

    DeleteTree(log_);
    ASSERT_EQ(0, Run("-resume"));
    EXPECT_TRUE(ContainsText(Texts(), " after exit"));
}

TEST_F(FlowCommands, JumpIsTakenAtTheEndOfTheSection) {
    WriteScript(Ini({"[CommandsList]", "19,Second", "32,rest of first", "[Second]", "32,in second"}));
    ASSERT_EQ(0, Run());
    std::vector<std::string> texts = Texts();
    int jump = FindText(texts, "  Setting next section to:  Second");
    int rest = FindText(texts, " rest of first");
    int entered = FindText(texts, "InitCommandSection()  starting from [Second]");
    int second = FindText(texts, " in second");
    ASSERT_GE(jump, 0);
    EXPECT_GT(rest, jump);
    EXPECT_GT(entered, rest);
    EXPECT_GT(second, entered);
    EXPECT_EQ("Second", Copy("State", "CurrentSection"));
    EXPECT_EQ("3", Copy("Commands", "CurrentCmd"));
}

TEST_F(FlowCommands, JumpToAMissingOrEmptySectionKeepsTheEarlierChoice) {
    WriteScript(Ini({"[CommandsList]", "19,Second", "19,Missing", "19,Empty", "[Empty]", "[Second]", "32,in second"}));
    ASSERT_EQ(0, Run());
    std::vector<std::string> texts = Texts();
    int missing = FindText(texts, "  Setting next section to:  Missing");
    ASSERT_GE(missing, 0);
    EXPECT_EQ("ERROR-=- Section [Missing] is not found!", texts.at(missing + 1));
    EXPECT_TRUE(ContainsText(texts, "ERROR-=- Section [Empty] is not found!"));
    EXPECT_TRUE(ContainsText(texts, " in second"));
}

TEST_F(FlowCommands, JumpTargetMayBeAVariable) {
    WriteScript(Ini({"[CommandsList]", "19,~%V005", "[Variables]", "V005=Second", "[Second]", "32,in second"}));
    ASSERT_EQ(0, Run());
    std::vector<std::string> texts = Texts();
    EXPECT_TRUE(ContainsText(texts, "  Setting next section to:  ~%V005"));
    EXPECT_TRUE(ContainsText(texts, " in second"));
}

TEST_F(FlowCommands, JumpToTheRunningSectionEndsTheRun) {
    WriteScript(Ini({"[CommandsList]", "19,CommandsList", "32,once"}));
    ASSERT_EQ(0, RunKestrel(script_ + " -silent", 20000));
    std::vector<std::string> texts = Texts();
    EXPECT_EQ(1, static_cast<int>(std::count(texts.begin(), texts.end(), " once")));
    EXPECT_EQ("DONE !", texts.back());
}

}  // namespace
