// The INI-editing commands in real runs: what they write is what later commands
// and later runs read.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "script_run.h"
#include "test_support.h"

using namespace testing_support;

namespace {

using IniRun = ScriptRun;


TEST_F(IniRun, AppendedSectionsAreSeenByTheNextCommands) {
    std::string extra = folder_ + "\\extra.ini";
    // Its last line has no line break.
    WriteFile(extra, "[Extra]\r\nV007,appended\r\n[Later]\r\n32,from the appended file");
    WriteScript(Ini({"[CommandsList]", "28," + extra, "27,Extra", "32,done"}));
    ASSERT_EQ(0, Run());
    EXPECT_EQ("appended", Copy("Variables", "V007"));
    EXPECT_TRUE(ProfileSectionExists(copy_, "Later"));
    EXPECT_EQ("3", Copy("Commands", "CurrentCmd"));
    std::vector<std::string> texts = Texts();
    EXPECT_TRUE(ContainsText(texts, " coping contents of  " + extra));
    EXPECT_EQ("DONE !", texts.back());
    // The source script is never written.
    EXPECT_EQ(std::string::npos, ReadFile(script_).find("[Extra]"));
}


}  // namespace

namespace {

using ExitAndDeleteRun = ScriptRun;

TEST_F(ExitAndDeleteRun, DeletesTheListAndTheScriptAndAsksForTheRestart) {
    std::string first = folder_ + "\\first.txt", tree = folder_ + "\\tree";
    WriteFile(first, "x");
    ASSERT_TRUE(CreateDirectoryA(tree.c_str(), nullptr));
    WriteFile(tree + "\\inner.txt", "y");
    WriteScript(Ini({"[CommandsList]", "32,before", "29,Leftovers,,true", "32,never", "[Leftovers]", first, tree}));
    ASSERT_EQ(0, Run());
    EXPECT_FALSE(Exists(first));
    EXPECT_FALSE(Exists(tree));
    EXPECT_FALSE(Exists(copy_)) << "the working copy is deleted";
    EXPECT_TRUE(Exists(script_)) << "the source script is never touched";

    std::vector<std::string> tail = TextsFrom("CMD1> CMD29_ExitAndDeleteINIFile");
    ASSERT_FALSE(tail.empty());
    EXPECT_EQ(" attempting to delete files....", tail.at(1));
    std::vector<std::string> expectedEnd = {" will issue a system reboot.", "will delete : " + copy_,
                                            "DONE  Shutting down system."};
    ASSERT_GE(tail.size(), expectedEnd.size());
    EXPECT_EQ(expectedEnd, std::vector<std::string>(tail.end() - 3, tail.end()));
    EXPECT_FALSE(ContainsText(tail, " never"));
}

TEST_F(ExitAndDeleteRun, RestartIsRefusedWithNoreboot) {
    std::string victim = folder_ + "\\victim.txt";
    WriteFile(victim, "x");
    WriteScript(Ini({"[CommandsList]", "29,," + victim + ",TRUE"}));
    ASSERT_EQ(0, Run("-silent -noreboot"));
    EXPECT_FALSE(Exists(victim));
    EXPECT_FALSE(Exists(copy_));
    std::vector<std::string> texts = Texts();
    std::vector<std::string> expectedEnd = {" Not setting to reboot system since SuppressReboot is set",
                                            "will delete : " + copy_, "DONE !"};
    ASSERT_GE(texts.size(), 3u);
    EXPECT_EQ(expectedEnd, std::vector<std::string>(texts.end() - 3, texts.end()));
}

TEST_F(ExitAndDeleteRun, WithoutARebootChoiceTheRunJustEnds) {
    WriteScript(Ini({"[CommandsList]", "29,," + folder_ + "\\absent.txt", "32,never"}));
    ASSERT_EQ(0, Run());
    std::vector<std::string> texts = Texts();
    EXPECT_TRUE(ContainsText(texts, "WARNING-=- Cannot find >" + folder_ + "\\absent.txt< to delete"));
    EXPECT_TRUE(ContainsText(texts, " will NOT issue a system reboot."));
    EXPECT_FALSE(ContainsText(texts, " never"));
    EXPECT_EQ("DONE !", texts.back());
    EXPECT_FALSE(Exists(copy_));
}

}  // namespace
