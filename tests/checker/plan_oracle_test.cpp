// The real run is the planner's oracle: for the shipped examples and a script
// made for the branch commands, the commands a plan lists for a machine and a
// Windows release are exactly those kestrel.exe logs there under Wine, across
// restarts. Machines come from the captured firmware images (read by
// hwinventory) or a hand-written file; kestrel sees the same board through the
// stand-in hardware library, and the release through Wine's per-program setting.
#include <gtest/gtest.h>
#include <windows.h>

#include <cctype>
#include <map>

#include "plan.h"
#include "test_support.h"

using namespace testing_support;

namespace {

std::string WinePath(std::string unixPath) {
    for (char &c : unixPath)
        if (c == '/') c = '\\';
    return "Z:" + unixPath;
}

struct Machine {
    const char *name;
    const char *image;     // a captured firmware image, read by hwinventory
    const char *written;   // else the [Hardware Detect] file itself
    const char *standIn;   // HwQuery.ini: the same board as the instrumentation reports it
};

const Machine kNorvik = {"norvik", "norvik-i440fx.img", nullptr,
                         "[Win32_BaseBoard]\r\nManufacturer=Norvik\r\nProduct=0A7Ch\r\n"
                         "[Win32_ComputerSystemProduct]\r\nVendor=Norvik\r\nName=KX-200\r\n"};
const Machine kAcme = {"acme", "acme-q35.img", nullptr,
                       "[Win32_BaseBoard]\r\nManufacturer=TALBERG\r\nProduct=Main Board\r\n"
                       "[Win32_ComputerSystemProduct]\r\nVendor=Acme\r\nName=Box\r\n"};
const Machine kPlain = {"plain", nullptr,
                        "[Hardware Detect]\r\nSMBIOSVer=2.4\r\nManufacture=Acme\r\nManufacture2=Acme\r\n"
                        "Product Name2=1234\r\nMachineID=1234\r\n",
                        "[Win32_BaseBoard]\r\nManufacturer=Acme\r\nProduct=1234\r\n"};
// Board IDs that read otherwise than they look: 0X34 as 0, 0b10 as 2.
const Machine kCapitalX = {"capitalx", nullptr,
                           "[Hardware Detect]\r\nSMBIOSVer=2.4\r\nManufacture2=Acme\r\nProduct Name2=0X3468\r\n",
                           "[Win32_BaseBoard]\r\nManufacturer=Acme\r\nProduct=0X3468\r\n"};
const Machine kBinary = {"binary", nullptr,
                         "[Hardware Detect]\r\nSMBIOSVer=2.4\r\nManufacture2=Acme\r\nProduct Name2=0b101\r\n",
                         "[Win32_BaseBoard]\r\nManufacturer=Acme\r\nProduct=0b101\r\n"};

// The planner's release and the name Wine gives it.
const std::map<std::string, const char *> kWineVersions = {
    {"win95", "win95"}, {"win98", "win98"}, {"nt4", "nt40"},   {"win2k", "win2k"},
    {"xp", "winxp"},    {"vista", "vista"}, {"win7", "win7"}, {"win10", "win10"}};

// "CMD<n>> " at the start: a command as the loop logs it.
bool IsCommandLine(const std::string &text) {
    if (text.compare(0, 3, "CMD") != 0) return false;
    size_t i = 3;
    while (i < text.size() && isdigit(static_cast<unsigned char>(text[i]))) ++i;
    return i > 3 && text.compare(i, 2, "> ") == 0;
}

std::string TrimmedRight(std::string text) {
    while (!text.empty() && text.back() == ' ') text.pop_back();
    return text;
}

class PlanOracle : public ::testing::Test {
protected:
    void SetUp() override { folder_ = FreshFolder("planoracle"); }

    std::string MachineFile(const Machine &machine) {
        const std::string path = folder_ + "\\" + machine.name + ".ini";
        if (Exists(path)) return path;
        if (machine.image) {
            const std::string image = WinePath(HARDWARE_FIXTURES_DIR) + "\\" + machine.image;
            Captured run = RunCaptured(ProgramFolder() + "\\hwinventory.exe", "--image " + image + " --ini " + path);
            EXPECT_EQ(0, run.status) << run.err;
        } else {
            WriteFile(path, machine.written);
        }
        return path;
    }

    std::string PlaceScript(const std::string &name, const std::string &content) {
        const std::string path = folder_ + "\\" + name;
        WriteFile(path, content);
        return path;
    }
    std::string PlaceExample(const std::string &name) {
        return PlaceScript(name, ReadFile(WinePath(KESTREL_SOURCE_DIR "/examples/") + name));
    }

    plan::Plan MakePlan(const std::string &script, const Machine &machine, const char *release) {
        plan::PlanFacts facts;
        std::string refusal;
        EXPECT_TRUE(plan::ReadMachineFile(ReadFile(MachineFile(machine)), machine.name, facts.machine, refusal))
            << refusal;
        facts.windows = plan::FindWindowsRelease(release);
        // A 32-bit kestrel runs under WOW64 in the prefix; the 64-bit twin does not.
        facts.wow64 = sizeof(void *) == 4 && facts.windows->hasWow64 ? plan::Fact::Yes : plan::Fact::No;
        check::ScriptFile parsed;
        check::Findings ignored;
        EXPECT_TRUE(check::ParseScript(ReadFile(script), parsed, ignored, refusal)) << refusal;
        return plan::MakePlan(parsed, facts);
    }

    // Plans the script, runs it for real (again after each restart, resumed),
    // and compares the commands; returns the plan.
    plan::Plan Compare(const std::string &script, const Machine &machine, const char *release) {
        SCOPED_TRACE(script + " on " + machine.name + ", " + release);
        plan::Plan made = MakePlan(script, machine, release);
        EXPECT_TRUE(made.FinalEnd() != plan::RunEnd::Unknown && made.FinalEnd() != plan::RunEnd::Loop)
            << plan::RenderText(made);
        std::vector<std::string> planned;
        for (const plan::PlannedRun &run : made.runs)
            for (const plan::PlannedCommand &command : run.commands) planned.push_back(command.logLine);

        const std::string kestrelFolder = folder_ + "\\" + machine.name;
        CreateDirectoryA(kestrelFolder.c_str(), nullptr);
        CopyFileA((ProgramFolder() + "\\standin\\HwQuery.dll").c_str(), (kestrelFolder + "\\HwQuery.dll").c_str(),
                  FALSE);
        WriteFile(kestrelFolder + "\\HwQuery.ini", machine.standIn);
        VersionedCopy kestrel(KestrelPath(), kestrelFolder, std::string("kestrel") + release + ".exe",
                              kWineVersions.at(release));

        const std::string log = ProfileString(script, "Data", "LogFile", "C:\\system.sav\\util\\install.log");
        DeleteTree(log);
        DeleteTree(WorkingCopyOf(script.substr(script.find_last_of('\\') + 1)));
        for (size_t r = 0; r < made.runs.size(); ++r)
            EXPECT_EQ(0, RunProgram(kestrel.Path(), script + (r == 0 ? " -silent -noreboot" : " -resume"), 120000));

        std::vector<std::string> logged;
        size_t starts = 0;
        for (const std::string &text : LogTexts(log)) {
            if (IsCommandLine(text)) logged.push_back(TrimmedRight(text));
            if (text.find("*** Starting") != std::string::npos) ++starts;
        }
        EXPECT_EQ(planned, logged) << plan::RenderText(made);
        EXPECT_EQ(made.runs.size(), starts);
        return made;
    }

    SavedFile hardwareFile_{kHardwareInfoPath};
    std::string folder_;
};

TEST_F(PlanOracle, EveryShippedExampleRunsAsPlanned) {
    for (const char *example : {"hello.ini", "registry.ini", "files_and_sections.ini", "program_and_question.ini",
                                "os_and_board.ini", "unattended_setup.ini"})
        Compare(PlaceExample(example), kAcme, "win7");
}

TEST_F(PlanOracle, BoardsAndReleasesChooseTheSectionsThePlanSays) {
    const std::string osAndBoard = PlaceExample("os_and_board.ini");
    EXPECT_EQ((std::vector<std::string>{"CommandsList", "Win98", "BoardCheck", "OurBoard"}),
              Compare(osAndBoard, kNorvik, "win98").SectionsEntered());
    EXPECT_EQ((std::vector<std::string>{"CommandsList", "WinXP", "BoardCheck", "OtherBoard"}),
              Compare(osAndBoard, kPlain, "xp").SectionsEntered());
    Compare(osAndBoard, kAcme, "vista");
    Compare(osAndBoard, kNorvik, "win2k");

    // The worked example of the documentation: two machines, two releases, a
    // restart and the run resumed after it.
    const std::string unattended = PlaceExample("unattended_setup.ini");
    for (const Machine *machine : {&kNorvik, &kAcme}) {
        for (const char *release : {"xp", "win7"}) {
            plan::Plan made = Compare(unattended, *machine, release);
            ASSERT_EQ(2u, made.runs.size());
            EXPECT_EQ(plan::RunEnd::Restart, made.runs[0].end);
            EXPECT_EQ(plan::RunEnd::Exit, made.runs[1].end);
        }
    }
}

TEST_F(PlanOracle, TheBranchCommandsAndCursorMovesRunAsPlanned) {
    const std::string script = PlaceScript(
        "branches.ini",
        Ini({"[Data]", "Logging=1", "LogFile=" + folder_ + "\\branches.log", "IncCommand=1", "[Variables]", "V001=2",
             "[CommandsList]", "32,branch commands", "7", "32,skipped by 7", "26,,DATA,DecCommand,~%V001",
             "27,,V001,0", "6", "5", "9,Maker,NotMaker",
             "[Maker]", "25,Boards,Listed,Unlisted", "[NotMaker]", "25,Boards,Listed,Unlisted",
             "[Boards]", "0x0A7C", "0x04D2",
             "[Listed]", "18,S0,S1,S2,S3,S4,S5,S6", "[Unlisted]", "18,S0,S1,S2,S3,S4,S5,S6",
             "[S0]", "30,P0,P1,P2", "38,X86,Wow", "[S1]", "32,other", "[S2]", "32,windows 98", "17,Ask,3,Yes,No",
             "[S3]", "32,other", "[S4]", "30,P0,P1,P2", "[S5]", "30,P0,P1,P2", "38,X86,Wow", "[S6]", "32,other",
             "[X86]", "17,Ask,3,Yes,No", "[Wow]", "17,Ask,3,Yes,No", "[P0]", "17,Ask,3,Yes,No",
             "[Ask.US]", "Title=Question", "Message1=Go on?",
             "[Yes]", "19,AfterRestart", "20", "[No]", "32,no",
             "[AfterRestart]", "32,after the restart", "10", "32,never"}));
    EXPECT_EQ((std::vector<std::string>{"CommandsList", "Maker", "Listed", "S5", sizeof(void *) == 4 ? "Wow" : "X86",
                                        "Yes", "AfterRestart"}),
              Compare(script, kNorvik, "xp").SectionsEntered());
    EXPECT_EQ((std::vector<std::string>{"CommandsList", "Maker", "Unlisted", "S0", sizeof(void *) == 4 ? "Wow" : "X86",
                                        "Yes", "AfterRestart"}),
              Compare(script, kAcme, "win7").SectionsEntered());
    EXPECT_EQ((std::vector<std::string>{"CommandsList", "NotMaker", "Listed", "S2", "Yes", "AfterRestart"}),
              Compare(script, kPlain, "win98").SectionsEntered());
    EXPECT_EQ((std::vector<std::string>{"CommandsList", "NotMaker", "Listed", "S4", "P0", "Yes", "AfterRestart"}),
              Compare(script, kPlain, "win2k").SectionsEntered());
}

TEST_F(PlanOracle, BoardIdsReadAsKestrelReadsThem) {
    const std::string script = PlaceScript(
        "ids.ini", Ini({"[Data]", "Logging=1", "LogFile=" + folder_ + "\\ids.log", "[CommandsList]",
                        "25,Boards,Listed,Unlisted", "[Boards]", "0X34", "2", "[Listed]", "32,listed", "[Unlisted]",
                        "32,unlisted"}));
    EXPECT_EQ((std::vector<std::string>{"CommandsList", "Unlisted"}),
              Compare(script, kCapitalX, "xp").SectionsEntered());
    EXPECT_EQ((std::vector<std::string>{"CommandsList", "Listed"}), Compare(script, kBinary, "xp").SectionsEntered());
}

}  // namespace
