// The hardware and OS branch commands through real runs: the section each takes
// and the lines each logs, under Windows versions that Wine reports per program.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "script_run.h"
#include "test_support.h"

using namespace testing_support;

namespace {

class BranchRun : public ScriptRun {
protected:
    // kestrel.exe under another name in the test's folder, seen by its inventory
    // as a machine without HwQuery.dll: nothing overwrites the script's [DATA] SYSID.
    std::string KestrelAlone() {
        const std::string copy = folder_ + "\\kestrelalone.exe";
        CopyFileA(KestrelPath().c_str(), copy.c_str(), FALSE);
        return copy;
    }
    int RunProgramOn(const std::string &program) { return RunProgram(program, script_ + " -silent"); }
    // The lines a command logged: from the one after its "CMD<n>> " line to the next command.
    std::vector<std::string> LinesOf(int commandNumber) {
        std::vector<std::string> texts = Texts(), lines;
        const std::string head = "CMD" + std::to_string(commandNumber) + "> ";
        bool inside = false;
        for (const std::string &t : texts) {
            const bool next = t.rfind("CMD", 0) == 0 || t.rfind("InitCommandSection()", 0) == 0;
            if (inside && (next || t == "No More commands ")) break;
            if (inside) lines.push_back(t);
            if (t.rfind(head, 0) == 0) inside = true;
        }
        return lines;
    }
    static std::string Sections(std::initializer_list<const char *> names) {
        std::string body;
        for (const char *name : names) body += Ini({std::string("[") + name + "]", std::string("32,in ") + name});
        return body;
    }
};

// HKLM\ENUM\ACPI, present for the guard's lifetime; what the test made is removed again.
class AcpiKey {
public:
    AcpiKey() {
        createdEnum_ = !Opens("ENUM");
        createdAcpi_ = !Opens("ENUM\\ACPI");
        HKEY key = nullptr;
        if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, "ENUM\\ACPI", 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) ==
            ERROR_SUCCESS)
            RegCloseKey(key);
    }
    ~AcpiKey() {
        if (createdAcpi_) RegDeleteKeyA(HKEY_LOCAL_MACHINE, "ENUM\\ACPI");
        if (createdEnum_) RegDeleteKeyA(HKEY_LOCAL_MACHINE, "ENUM");
    }
    static bool Opens(const char *path) {
        HKEY key = nullptr;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
        RegCloseKey(key);
        return true;
    }

private:
    bool createdEnum_ = false, createdAcpi_ = false;
};

TEST_F(BranchRun, IsNorvikTakesTheMakersArgumentOnlyWithTheDebugOverride) {
    const std::string body = Ini({"[CommandsList]", "9,Maker,Other"}) + Sections({"Maker", "Other"});
    struct Case {
        const char *data;
        std::vector<std::string> lines;
        const char *section;
    };
    const Case cases[] = {
        {"", {"  This is not a Norvik.", "  Setting next section to:  Other"}, "Other"},
        {"IsNorvik=1\r\nDebug=1\r\n", {"**** DEBUG OVERRIDE ***** ", "  Setting next section to:  Maker"}, "Maker"},
        {"IsNorvik=1\r\nDebug=0\r\n", {"  This is not a Norvik.", "  Setting next section to:  Other"}, "Other"},
        {"Debug=1\r\n", {"  This is not a Norvik.", "  Setting next section to:  Other"}, "Other"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.data);
        DeleteTree(log_);
        WriteScript(body, c.data);
        ASSERT_EQ(0, Run());
        EXPECT_EQ(c.lines, LinesOf(0));
        EXPECT_EQ(c.section, Copy("State", "CurrentSection"));
    }
    // A machine of the maker (the in-memory flag) is run through a stand-in
    // hardware library in the hardware tests.
}

TEST_F(BranchRun, OsTakesTheArgumentOfTheRunningWindows) {
    WriteScript(Ini({"[CommandsList]", "18,S0,S1,S2,S3,S4,S5,S6"}) +
                Sections({"S0", "S1", "S2", "S3", "S4", "S5", "S6"}));
    struct Case {
        const char *version;
        const char *section;
    };
    const Case cases[] = {{"win95", "S1"},   {"win98", "S2"}, {"nt40", "S3"},  {"win2k", "S4"}, {"winxp64", "S5"},
                          {"win2003", "S5"}, {"vista", "S6"}, {"win2008", "S6"}, {"winme", "S0"}, {"win7", "S0"},
                          {"win10", "S0"}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.version);
        DeleteTree(log_);
        DeleteTree(copy_);
        VersionedCopy kestrel(KestrelPath(), folder_, std::string("kestrel") + c.version + ".exe", c.version);
        ASSERT_EQ(0, RunProgramOn(kestrel.Path()));
        // Nothing is logged about the system found.
        EXPECT_EQ((std::vector<std::string>{std::string("  Setting next section to:  ") + c.section}), LinesOf(0));
        EXPECT_EQ(c.section, Copy("State", "CurrentSection"));
        EXPECT_TRUE(ContainsText(Texts(), std::string(" in ") + c.section));
    }
}

TEST_F(BranchRun, OsReportsAMissingSectionByItsNumberAndKeepsTheEarlierJump) {
    WriteScript(Ini({"[CommandsList]", "19,Later", "18,S0", "18", "[Later]", "32,in later"}));
    ASSERT_EQ(0, Run());
    EXPECT_EQ((std::vector<std::string>{"ERROR-=- Section number 0 [S0] is not found!"}), LinesOf(1));
    EXPECT_EQ((std::vector<std::string>{"ERROR-=- Section number 0 [] is not found!"}), LinesOf(2));
    EXPECT_EQ("Later", Copy("State", "CurrentSection"));
    EXPECT_TRUE(ContainsText(Texts(), " in later"));
}

TEST_F(BranchRun, SystemIdMatchesEveryRenderingOfTheBoardId) {
    // One command per list; each names the section of its outcome.
    const std::vector<std::vector<std::string>> lists = {
        {"0x0a7c"}, {"0X0A7C"}, {"0xa7c"}, {"a7c"}, {"A7C"}, {"0a7c"}, {"2684"},
        {"0x08B4", "1234", "  0A7C  "},  // further down, trimmed
        // A comment line never matches (Wine's profile functions drop it before we see it).
        {";0x0A7C", "1234"}, {"0A7C=1"}, {"; 0a7c", "0A7Ch", "x0a7c"},
    };
    const size_t matching = 8;
    std::string commands = "[CommandsList]\r\n", sections;
    for (size_t i = 0; i < lists.size(); ++i) {
        commands += "25,List" + std::to_string(i) + ",Yes,No\r\n";
        sections += "[List" + std::to_string(i) + "]\r\n";
        for (const std::string &line : lists[i]) sections += line + "\r\n";
    }
    commands += "25,NoSuchList,Yes,No\r\n";
    WriteScript(commands + sections + Sections({"Yes", "No"}), "SYSID=0x0A7C\r\n");
    ASSERT_EQ(0, RunProgramOn(KestrelAlone()));
    const std::vector<std::string> found = {"  This is a Norvik with ID  0X0A7C", "  Setting next section to:  Yes"};
    const std::vector<std::string> notFound = {"This is not a supported Norvik  The ID 0X0A7C was not found in list.",
                                               "  Setting next section to:  No"};
    for (size_t i = 0; i < lists.size(); ++i)
        EXPECT_EQ(i < matching ? found : notFound, LinesOf(static_cast<int>(i))) << lists[i][0];
    std::vector<std::string> missing = {"ERROR-=- Missing the Data section"};
    missing.insert(missing.end(), notFound.begin(), notFound.end());
    EXPECT_EQ(missing, LinesOf(static_cast<int>(lists.size())));
    EXPECT_EQ("No", Copy("State", "CurrentSection"));
}

TEST_F(BranchRun, SystemIdReadsAsTheProfileFunctionsReadNumbers) {
    const std::string body = Ini({"[CommandsList]", "25,Boards,Yes,No", "[Boards]", "0a7c", "8"}) +
                             Sections({"Yes", "No"});
    struct Case {
        const char *data;
        std::vector<std::string> lines;
    };
    const std::vector<std::string> idZero = {"This is not a supported Norvik  The ID read is 0X0000.",
                                             "  Setting next section to:  No"};
    const Case cases[] = {
        // Without "0x" the text is decimal up to its first other character.
        {"SYSID=0A7C\r\n", idZero},
        {"", idZero},
        {"SYSID=08B4\r\n", {"  This is a Norvik with ID  0X0008", "  Setting next section to:  Yes"}},
        {"SYSID=0x10A7C\r\n", {"  This is a Norvik with ID  0X0A7C", "  Setting next section to:  Yes"}},
        // The debug override wins over the list, after the list's verdict is logged.
        {"SYSID=0x0BBB\r\nIsNorvik=1\r\nDebug=1\r\n",
         {"This is not a supported Norvik  The ID 0X0BBB was not found in list.", "**** DEBUG OVERRIDE ***** ",
          "  Setting next section to:  Yes"}},
    };
    const std::string kestrel = KestrelAlone();
    for (const Case &c : cases) {
        SCOPED_TRACE(c.data);
        DeleteTree(log_);
        DeleteTree(copy_);
        WriteScript(body, c.data);
        ASSERT_EQ(0, RunProgramOn(kestrel));
        EXPECT_EQ(c.lines, LinesOf(0));
    }
}

TEST_F(BranchRun, SystemIdExpandsTheChosenArgument) {
    WriteScript(Ini({"[CommandsList]", "25,Boards,~%V001,No", "[Boards]", "0a7c", "[Variables]", "V001=Yes"}) +
                    Sections({"Yes", "No"}),
                "SYSID=0x0A7C\r\n");
    ASSERT_EQ(0, RunProgramOn(KestrelAlone()));
    EXPECT_EQ("  Setting next section to:  Yes", LinesOf(0).back());
    EXPECT_EQ("Yes", Copy("State", "CurrentSection"));
}

TEST_F(BranchRun, PowerManagementAsksTheRegistryOnlyOnWindows98) {
    WriteScript(Ini({"[CommandsList]", "30,P0,P1,P2"}) + Sections({"P0", "P1", "P2"}));
    const bool acpiBefore = AcpiKey::Opens("ENUM\\ACPI");
    {
        VersionedCopy kestrel(KestrelPath(), folder_, "kestrelpm98.exe", "win98");
        if (!acpiBefore) {
            ASSERT_EQ(0, RunProgramOn(kestrel.Path()));
            EXPECT_EQ((std::vector<std::string>{"  This OS is APM", "  Setting next section to:  P1"}), LinesOf(0));
            EXPECT_EQ("P1", Copy("State", "CurrentSection"));
        }
        AcpiKey acpi;
        DeleteTree(log_);
        DeleteTree(copy_);
        ASSERT_EQ(0, RunProgramOn(kestrel.Path()));
        EXPECT_EQ((std::vector<std::string>{"  This OS is ACPI", "  Setting next section to:  P2"}), LinesOf(0));
        EXPECT_EQ("P2", Copy("State", "CurrentSection"));

        // Any other system takes argument 0, whatever the registry holds.
        DeleteTree(log_);
        DeleteTree(copy_);
        ASSERT_EQ(0, Run());
        EXPECT_EQ((std::vector<std::string>{" ...not running Win98", "  Setting next section to:  P0"}), LinesOf(0));
        EXPECT_EQ("P0", Copy("State", "CurrentSection"));
    }
    EXPECT_EQ(acpiBefore, AcpiKey::Opens("ENUM\\ACPI"));
}

// A file of one name in the 64-bit system folder and in the 32-bit one, written
// past the test's own redirection; removed again when the guard ends.
class SystemFolderMarkers {
public:
    static constexpr const char *kName = "kestrel_wow64_marker.txt";
    SystemFolderMarkers() {
        WriteFile(SixtyFour(), "64-bit system folder");
        WriteFile(ThirtyTwo(), "32-bit system folder");
    }
    ~SystemFolderMarkers() {
        DeleteTree(SixtyFour());
        DeleteTree(ThirtyTwo());
    }

private:
    // A WOW64 process reaches the 64-bit folder by its alias only.
    static std::string SixtyFour() {
        return std::string(kWow64Build ? "C:\\windows\\sysnative\\" : "C:\\windows\\system32\\") + kName;
    }
    static std::string ThirtyTwo() { return std::string("C:\\windows\\syswow64\\") + kName; }
};

TEST_F(BranchRun, Wow64CommandsActOnlyInAWow64Process) {
    SystemFolderMarkers markers;
    const std::string marker = std::string("C:\\windows\\system32\\") + SystemFolderMarkers::kName;
    WriteScript(Ini({"[CommandsList]", "38,Native,Wow", "37", "15,," + marker + "," + folder_ + "\\off.txt", "36",
                     "15,," + marker + "," + folder_ + "\\on.txt"}) +
                Sections({"Native", "Wow"}));
    ASSERT_EQ(0, Run());
    const std::string who = "CmdEnableWow64FSRedirection() -> ";
    const std::vector<std::string> switched = {who + "Entering", who + "Success", who + "Exiting"};
    const std::vector<std::string> nothingDone = {who + "Entering", who + "KESTREL is not running as a Wow64 Process",
                                                  who + "Exiting"};
    if (kWow64Build) {
        EXPECT_EQ((std::vector<std::string>{"  KESTREL running as WOW64 process.", "  Setting next section to:  Wow"}),
                  LinesOf(0));
        EXPECT_EQ(switched, LinesOf(1));
        EXPECT_EQ(switched, LinesOf(3));
        EXPECT_EQ("Wow", Copy("State", "CurrentSection"));
    } else {
        EXPECT_EQ((std::vector<std::string>{"  KESTREL running as x86 process.", "  Setting next section to:  Native"}),
                  LinesOf(0));
        EXPECT_EQ(nothingDone, LinesOf(1));
        EXPECT_EQ(nothingDone, LinesOf(3));
        EXPECT_EQ("Native", Copy("State", "CurrentSection"));
    }
    // With redirection off the system folder is the 64-bit one; back on, a WOW64
    // process sees the 32-bit one under that name again.
    EXPECT_EQ("64-bit system folder", ReadFile(folder_ + "\\off.txt"));
    EXPECT_EQ(kWow64Build ? "32-bit system folder" : "64-bit system folder", ReadFile(folder_ + "\\on.txt"));
    EXPECT_EQ("DONE !", Texts().back());
}

}  // namespace
