// The planner's walk over script texts and machine facts: the cursor and the
// sections, each branch decision with its reason, restarts, loops, and what only
// the PC can know. The real run is held against it in plan_oracle_test.
#include <gtest/gtest.h>

#include "checker_test_support.h"
#include "plan.h"

using checker_test::Script;

namespace {

check::ScriptFile Parse(const std::string &content) {
    check::ScriptFile script;
    check::Findings ignored;
    std::string refusal;
    EXPECT_TRUE(check::ParseScript(content, script, ignored, refusal)) << refusal;
    return script;
}

plan::MachineFacts Machine(std::initializer_list<std::string> lines) {
    plan::MachineFacts facts;
    std::string refusal;
    EXPECT_TRUE(plan::ReadMachineFile(Script(lines), "machine.ini", facts, refusal)) << refusal;
    return facts;
}

plan::PlanFacts Facts(const char *windows = "win7", plan::Fact wow64 = plan::Fact::No) {
    plan::PlanFacts facts;
    facts.windows = windows ? plan::FindWindowsRelease(windows) : nullptr;
    facts.wow64 = wow64;
    facts.machine = Machine({"[Hardware Detect]", "Manufacture2=Acme", "Product Name2=Box"});
    return facts;
}

plan::Plan Walk(std::initializer_list<std::string> lines, const plan::PlanFacts &facts = Facts()) {
    return plan::MakePlan(Parse(Script(lines)), facts);
}

// "n:type" for every command the plan runs, across runs.
std::vector<std::string> Sequence(const plan::Plan &p) {
    std::vector<std::string> sequence;
    for (const plan::PlannedRun &run : p.runs)
        for (const plan::PlannedCommand &c : run.commands)
            sequence.push_back(std::to_string(c.number) + ":" + std::to_string(c.type));
    return sequence;
}

const plan::PlannedCommand &CommandOfType(const plan::Plan &p, int type) {
    for (const plan::PlannedRun &run : p.runs)
        for (const plan::PlannedCommand &c : run.commands)
            if (c.type == type) return c;
    static plan::PlannedCommand none;
    ADD_FAILURE() << "no command " << type;
    return none;
}

TEST(PlanWalk, CursorMovesJumpsAndSectionEndsAsTheLoopTakesThem) {
    const plan::Plan p = Walk({"[Data]", "IncCommand=1", "[Variables]", "V001=2", "[CommandsList]",
                               "32,start",
                               "7",                               // skips the next line
                               "32,skipped",
                               "26,,DATA,DecCommand,~%V001",       // 2 first, then 0
                               "27,,V001,0",
                               "6",                               // back to the 26 once
                               "19,~%V002",                       // the target comes from a variable
                               "27,,V002,Second",
                               "19,Second",
                               "0",                               // the section ends here
                               "32,never",
                               "[Second]", "32,in second", "10", "32,after exit"});
    // [Second] is unrolled from the number of the section's end on.
    EXPECT_EQ((std::vector<std::string>{"0:32", "1:7", "3:26", "4:27", "5:6", "3:26", "4:27", "5:6", "6:19",
                                        "7:27", "8:19", "9:32", "10:10"}),
              Sequence(p));
    ASSERT_EQ(1u, p.runs.size());
    EXPECT_EQ(plan::RunEnd::Exit, p.runs[0].end);
    EXPECT_EQ((std::vector<std::string>{"CommandsList", "Second"}), p.SectionsEntered());
    EXPECT_EQ("CMD1> CMD07_IncCmdIndex: 7", p.runs[0].commands[1].logLine);
    EXPECT_EQ("CMD9> CMD32_LogMsg: 32,in second", p.runs[0].commands[11].logLine);
    EXPECT_EQ("Second", p.runs[0].commands[11].section);
    // An empty variable names no section: the jump reports it and changes nothing.
    EXPECT_EQ("", p.runs[0].commands[8].decision.target);
    EXPECT_NE(std::string::npos, p.runs[0].commands[8].details.at(0).find("is missing or empty"));
}

TEST(PlanWalk, EachBranchIsDecidedFromTheFactsWithItsReason) {
    const std::initializer_list<std::string> script = {
        "[CommandsList]", "9,Maker,Other", "[Maker]", "25,Boards,Listed,Unlisted", "[Other]", "25,Boards,Listed,Unlisted",
        "[Boards]", "; comment", "0x08B4", "a7c", "[Listed]", "38,X86,Wow", "[Unlisted]", "38,X86,Wow",
        "[X86]", "18,S0,S1,S2,S3,S4,S5,S6", "[Wow]", "18,S0,S1,S2,S3,S4,S5,S6",
        "[S0]", "30,P0,P1,P2", "[S1]", "30,P0,P1,P2", "[S2]", "30,P0,P1,P2", "[S3]", "30,P0,P1,P2",
        "[S4]", "30,P0,P1,P2", "[S5]", "30,P0,P1,P2", "[S6]", "30,P0,P1,P2",
        "[P0]", "32,p0", "[P1]", "32,p1", "[P2]", "32,p2"};

    plan::PlanFacts facts = Facts("xp", plan::Fact::Yes);
    facts.machine = Machine({"[Hardware Detect]", "Manufacture=Norvik", "Product Name2=0A7Ch"});
    plan::Plan p = plan::MakePlan(Parse(Script(script)), facts);
    EXPECT_EQ((std::vector<std::string>{"CommandsList", "Maker", "Listed", "Wow", "S5", "P0"}), p.SectionsEntered());
    EXPECT_NE(std::string::npos, CommandOfType(p, 9).decision.reason.find("Manufacture 'Norvik'"));
    EXPECT_NE(std::string::npos, CommandOfType(p, 25).decision.reason.find("0X0A7C"));
    EXPECT_NE(std::string::npos, CommandOfType(p, 25).decision.reason.find("the line 'a7c' of [Boards]"));
    EXPECT_EQ(5, CommandOfType(p, 18).decision.argument);
    EXPECT_EQ(plan::RunEnd::Done, p.FinalEnd());

    // Every release takes its argument of 18, as the version tests order them.
    const struct {
        const char *release;
        const char *section;
    } releases[] = {{"win95", "S1"}, {"win98", "S2"}, {"winme", "S0"}, {"nt4", "S3"}, {"win2k", "S4"},
                    {"xp", "S5"},    {"win2003", "S5"}, {"vista", "S6"}, {"win7", "S0"}, {"win10", "S0"}};
    for (const auto &release : releases) {
        SCOPED_TRACE(release.release);
        facts = Facts(release.release, plan::Fact::No);
        p = plan::MakePlan(Parse(Script(script)), facts);
        EXPECT_EQ(release.section, CommandOfType(p, 18).decision.target);
    }
    // Windows 98's power management is known only on the PC; the plan stops there.
    p = plan::MakePlan(Parse(Script(script)), Facts("win98"));
    EXPECT_EQ(plan::RunEnd::Unknown, p.FinalEnd());
    EXPECT_NE(std::string::npos, p.runs[0].endReason.find("ENUM\\ACPI"));

    // A board not in the list, not the maker's; without a release or a machine
    // file, each branch is left to the PC.
    p = plan::MakePlan(Parse(Script(script)), Facts("win7"));
    EXPECT_EQ((std::vector<std::string>{"CommandsList", "Other", "Unlisted", "X86", "S0", "P0"}), p.SectionsEntered());
    EXPECT_NE(std::string::npos, CommandOfType(p, 25).decision.reason.find("'Box'"));
    plan::PlanFacts unknown;
    p = plan::MakePlan(Parse(Script(script)), unknown);
    EXPECT_EQ(plan::RunEnd::Unknown, p.FinalEnd());
    EXPECT_EQ(-1, CommandOfType(p, 9).decision.argument);
    // The debug override decides 9 and 25 whatever the machine.
    p = plan::MakePlan(Parse(Script({"[Data]", "IsNorvik=1", "Debug=1", "[CommandsList]", "9,A,B", "25,Boards,C,D",
                                     "[A]", "32,a", "[B]", "32,b", "[C]", "32,c", "[D]", "32,d", "[Boards]", "1"})),
                       unknown);
    EXPECT_EQ((std::vector<std::string>{"CommandsList", "C"}), p.SectionsEntered());
}

TEST(PlanWalk, ARestartEndsTheRunAndTheNextStartResumesAfterIt) {
    const std::initializer_list<std::string> script = {
        "[CommandsList]", "32,one", "19,After", "20", "32,after the restart", "[After]", "32,two", "29,,,FALSE"};
    plan::Plan p = Walk(script);
    ASSERT_EQ(2u, p.runs.size());
    EXPECT_EQ(plan::RunEnd::Restart, p.runs[0].end);
    EXPECT_TRUE(p.runs[1].resumed);
    // The rest of the section runs first, then the pending jump is taken.
    EXPECT_EQ((std::vector<std::string>{"0:32", "1:19", "2:20", "3:32", "4:32", "5:29"}), Sequence(p));
    EXPECT_EQ(plan::RunEnd::Exit, p.runs[1].end);
    EXPECT_EQ((std::vector<std::string>{"After"}), p.runs[1].sectionsEntered);

    // With restarts suppressed in the script, command 20 only ends the run.
    std::vector<std::string> suppressed = {"[Data]", "SuppressReboot=1"};
    suppressed.insert(suppressed.end(), script.begin(), script.end());
    std::string content;
    for (const std::string &line : suppressed) content += line + "\r\n";
    p = plan::MakePlan(Parse(content), Facts());
    ASSERT_EQ(1u, p.runs.size());
    EXPECT_EQ(plan::RunEnd::Exit, p.runs[0].end);
}

TEST(PlanWalk, ALoopIsReportedWithItsCommands) {
    plan::Plan p = Walk({"[Data]", "DecCommand=1", "[CommandsList]", "32,start", "5", "6"});
    EXPECT_EQ(plan::RunEnd::Loop, p.FinalEnd());
    EXPECT_EQ((std::vector<std::string>{"CMD1> CMD05_IncRunningCounter: 5", "CMD2> CMD06_DecCmdIndex: 6"}),
              p.runs[0].loop);
    // A jump back to the section itself ends the run instead.
    p = Walk({"[CommandsList]", "19,CommandsList", "32,x"});
    EXPECT_EQ(plan::RunEnd::Done, p.FinalEnd());
    // Restarting again after every start never ends either.
    p = Walk({"[CommandsList]", "20", "6", "[Data]", "DecCommand=1"});
    EXPECT_EQ(plan::RunEnd::Loop, p.FinalEnd());
}

TEST(PlanWalk, WhatOnlyThePcKnowsIsShownAsSuchAndNeverGuessed) {
    plan::Plan p = Walk({"[Variables]", "V010=C:\\kit", "[CommandsList]", "15,,~%C101\\win.ini,~%V010\\x.ini",
                         "27,,V002,~%C105", "32,~%V002", "19,~%C103"});
    EXPECT_EQ("copies <Windows folder>\\win.ini, C:\\kit\\x.ini", CommandOfType(p, 15).details.at(0));
    EXPECT_EQ("writes [Variables] V002=<language>", CommandOfType(p, 27).details.at(0));
    EXPECT_EQ(plan::RunEnd::Unknown, p.FinalEnd());
    EXPECT_EQ("<system folder>", CommandOfType(p, 19).decision.target);

    // A known language fills ~%C105; an empty one in the machine file stops the run.
    plan::PlanFacts facts = Facts();
    facts.language = "GR";
    p = plan::MakePlan(Parse(Script({"[CommandsList]", "27,,V002,~%C105", "19,Data.~%V002", "[Data.GR]", "32,g"})),
                       facts);
    EXPECT_EQ((std::vector<std::string>{"CommandsList", "Data.GR"}), p.SectionsEntered());
    facts.language.clear();
    facts.machine = Machine({"[Hardware Detect]", "Product Name2=Box", "[Description]", "NorvikLanguage="});
    p = plan::MakePlan(Parse(Script({"[CommandsList]", "32,x"})), facts);
    EXPECT_EQ(plan::RunEnd::NotStarted, p.FinalEnd());
    EXPECT_TRUE(p.runs[0].commands.empty());
}

TEST(PlanWalk, QuestionBoxesTakeTheSilentAnswerOrTheOneGiven) {
    const std::initializer_list<std::string> script = {
        "[CommandsList]", "17,Ask,4,Yes,No,Cancel", "17,Missing,3,Yes,No", "[Ask.US]", "Message1=Go on?",
        "[Yes]", "32,y", "[No]", "32,n", "[Cancel]", "32,c"};
    plan::PlanFacts facts = Facts();
    EXPECT_EQ((std::vector<std::string>{"CommandsList", "Yes"}), plan::MakePlan(Parse(Script(script)), facts).SectionsEntered());
    facts.answer = plan::BoxAnswer::Cancel;
    plan::Plan p = plan::MakePlan(Parse(Script(script)), facts);
    EXPECT_EQ((std::vector<std::string>{"CommandsList", "Cancel"}), p.SectionsEntered());
    EXPECT_NE(std::string::npos, p.runs[0].commands[1].details.at(0).find("Missing the Message Section [Missing.US]"));
}

TEST(PlanMachine, TheBoardIdComesFromWhatTheInventoryWrites) {
    plan::MachineFacts m = Machine({"[Hardware Detect]", "Manufacture3=Talberg-Corp", "Product Name2=0A7Ch",
                                    "MachineID=0x0A7C"});
    EXPECT_EQ(plan::Fact::Yes, m.maker);
    EXPECT_EQ("0x0A7C", m.systemId);
    // The fallback keeps four characters: an 'h' among them settles it, else not.
    m = Machine({"[Hardware Detect]", "BIOSMfg=Acme", "MachineID=0A7h"});
    EXPECT_EQ(plan::MachineFacts::IdState::Written, m.idState);
    EXPECT_EQ("0x0A7h", m.systemId);
    m = Machine({"[Hardware Detect]", "BIOSMfg=Acme", "MachineID=0A7C"});
    EXPECT_EQ(plan::MachineFacts::IdState::Unknown, m.idState);
    EXPECT_EQ(plan::Fact::No, m.maker);
    m = Machine({"[Hardware Detect]", "BIOSMfg=Acme", "MachineID=0A7C", "[DATA]", "SYSID=0x0A7C"});
    EXPECT_EQ("0x0A7C", m.systemId);
    // An SMBIOS table without a board writes no SYSID: the script's own stays.
    m = Machine({"[Hardware Detect]", "SMBIOSVer=2.4", "Manufacture=Acme"});
    EXPECT_EQ(plan::MachineFacts::IdState::NotWritten, m.idState);
    plan::PlanFacts facts = Facts();
    facts.machine = m;
    plan::Plan p = plan::MakePlan(
        Parse(Script({"[Data]", "SYSID=0x08B4", "[CommandsList]", "25,L,Y,N", "[L]", "8b4", "[Y]", "32,y", "[N]", "32,n"})),
        facts);
    EXPECT_EQ((std::vector<std::string>{"CommandsList", "Y"}), p.SectionsEntered());

    std::string refusal;
    EXPECT_FALSE(plan::ReadMachineFile(Script({"[Data]", "x=1"}), "x", m, refusal));
    EXPECT_NE(std::string::npos, refusal.find("[Hardware Detect]"));
}

TEST(PlanRender, JsonAndTheMatrixCarryTheSameFacts) {
    const std::initializer_list<std::string> script = {"[CommandsList]", "18,Other,,,,,XP", "[XP]", "32,\"xp\"",
                                                       "20", "[Other]", "32,other"};
    std::vector<plan::Plan> plans = {plan::MakePlan(Parse(Script(script)), Facts("xp")),
                                     plan::MakePlan(Parse(Script(script)), Facts("win7"))};
    plans[0].machine = "a|b";
    const std::string json = plan::RenderJson(plans);
    EXPECT_NE(std::string::npos, json.find("\"log\": \"CMD0> CMD18_BranchOnOS: 18,Other,,,,,XP\""));
    EXPECT_NE(std::string::npos, json.find("\"decision\": {\"decided\": true, \"argument\": 5, \"section\": \"XP\""));
    EXPECT_NE(std::string::npos, json.find("\"end\": \"restart\""));
    EXPECT_NE(std::string::npos, json.find("32,\\\"xp\\\""));
    const std::string matrix = plan::RenderMatrix(plans);
    EXPECT_NE(std::string::npos, matrix.find("| Machine | Windows | CommandsList | XP | Other | Runs end |"));
    EXPECT_NE(std::string::npos, matrix.find("| a\\|b | Windows XP | yes | yes | - | restart -> DONE |"));
    EXPECT_NE(std::string::npos, matrix.find("| machine.ini | Windows 7 | yes | - | yes | DONE |"));
}

}  // namespace
