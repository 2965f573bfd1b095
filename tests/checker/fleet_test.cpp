// kestrel-check --plan for a fleet, run for real: machine files as a folder or a
// shell's list, both architectures, the summary's groups, sections, facts and
// matrix, and --against for what a change of the script moves.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "checker_test_support.h"

using namespace checker_test;

namespace {

// The boards of the hardware fixtures as hwinventory writes them, a second PC of
// the first model, and two more: a second model whose product reads as the same
// ID, and a board of no maker.
void WriteFleet(const std::string &folder) {
    WriteFile(folder + "kx200.ini", Script({"[Hardware Detect]", "SMBIOSVer=2.8", "Manufacture=Norvik",
                                            "Product Name=KX-200", "SerialNumber=SN123", "Manufacture2=Norvik",
                                            "Product Name2=0A7Ch", "MachineID=0x0A7C"}));
    WriteFile(folder + "kx200b.ini", Script({"[Hardware Detect]", "SMBIOSVer=2.8", "Manufacture=Norvik",
                                             "Product Name=KX-200", "SerialNumber=SN124", "Manufacture2=Norvik",
                                             "Product Name2=0A7Ch", "MachineID=0x0A7C"}));
    WriteFile(folder + "kx250.ini", Script({"[Hardware Detect]", "SMBIOSVer=2.8", "Manufacture=Norvik",
                                            "Product Name=KX-250", "Manufacture2=Norvik", "Product Name2=A7Ch"}));
    WriteFile(folder + "box.ini", Script({"[Hardware Detect]", "SMBIOSVer=2.8", "Manufacture=Acme", "Product Name=Box",
                                          "Manufacture2=TALBERG", "Product Name2=Main Board", "MachineID=Main"}));
    WriteFile(folder + "tower.ini", Script({"[Hardware Detect]", "SMBIOSVer=2.4", "Manufacture=Acme",
                                            "Product Name=Tower 7", "Manufacture2=Acme", "Product Name2=1234"}));
}

std::string Joined(const std::vector<std::string> &lines) {
    std::string all;
    for (const std::string &line : lines) all += line + "\n";
    return all;
}

// The lines after the one that starts with head, up to the next line that does
// not start with the indent.
std::vector<std::string> Block(const std::vector<std::string> &lines, const std::string &head,
                               const std::string &indent) {
    std::vector<std::string> block;
    auto at = std::find_if(lines.begin(), lines.end(), [&](const std::string &l) { return l.rfind(head, 0) == 0; });
    if (at == lines.end()) return block;
    for (++at; at != lines.end() && at->rfind(indent, 0) == 0; ++at) block.push_back(*at);
    return block;
}

TEST(Fleet, TheSummaryGroupsOutcomesAndNamesTheMachinesOfEachSection) {
#ifdef _WIN32
    const char *const separator = "\\";  // a folder is joined to its files as it is written
#else
    const char *const separator = "/";
#endif
    const std::string machines = FreshFolder("fleet_summary") + "machines", dir = machines + separator;
    std::filesystem::create_directories(machines);
    WriteFleet(dir);
    WriteFile(dir + "notes.txt", "not a machine file");
    const std::string script = ExamplesFolder() + "/unattended_setup.ini";

    // A folder, and --x86 with --wow64: both architectures, never silently one.
    ToolRun run =
        RunChecker({"--plan", "--machine", machines, "--os", "xp", "--os", "win7", "--x86", "--wow64", script});
    ASSERT_EQ(0, run.exitCode) << run.err;
    const std::string all = Joined(run.out);
    EXPECT_NE(std::string::npos, all.find(": 20 plans (5 machines x 2 releases x 2 architectures)")) << all;

    // Four paths: the maker's boards on each release are the majority, the others are marked.
    const std::vector<std::string> outcomes = Block(run.out, "Outcomes: 4 paths", "");
    auto count = [&](const std::string &line) { return std::count(outcomes.begin(), outcomes.end(), line); };
    EXPECT_EQ(2, count("  6 plans:")) << all;
    EXPECT_EQ(2, count("* 4 plans, differs from the majority:")) << all;

    // Only the two models of the maker's ID reach [SupportedBoard], on every plan of theirs.
    EXPECT_EQ((std::vector<std::string>{"    - KX-200 (" + dir + "kx200.ini): every plan of it",
                                        "    - KX-200 (" + dir + "kx200b.ini): every plan of it",
                                        "    - KX-250 (" + dir + "kx250.ini): every plan of it"}),
              Block(run.out, "  [SupportedBoard]: 12 of 20", "    - "));
    EXPECT_NE(std::string::npos, all.find("  by every plan: [CommandsList] [BoardCheck] [Restart] [AfterRestart]"));

    // The facts table and its warnings: an ID of 0, one ID from two products.
    EXPECT_NE(std::string::npos, all.find("| Box | " + dir + "box.ini | TALBERG | Main Board | Main | 0X0000 | - |"));
    EXPECT_NE(std::string::npos, all.find("warning: Box (" + dir + "box.ini): SYSID 'Main' reads as 0X0000"));
    EXPECT_NE(std::string::npos,
              all.find("warning: 0X0A7C is read from 2 different board products: '0A7Ch' (KX-200), 'A7Ch' (KX-250)"));

    // The matrix leaves out what every row shares, and says so.
    EXPECT_NE(std::string::npos, all.find("| Machine | Windows | Process | CurrentWindows | WindowsXP | SupportedBoard "
                                          "| GenericBoard | Runs end |"));
    EXPECT_NE(std::string::npos, all.find("| Tower 7 (" + dir + "tower.ini) | Windows 7 | WOW64 | yes | - | - | yes | "
                                          "restart -> exit |"));
    EXPECT_EQ(std::string::npos, all.find("Run 1: first start"));  // the plans in full only with --detail

    // A shell's list of files after one --machine, --arch, --detail and the JSON fields.
    ToolRun listed = RunChecker({"--plan", "--machine", dir + "box.ini", dir + "kx200.ini", "--os", "win2k", "--arch",
                                 "x86,wow64", "--detail", script});
    ASSERT_EQ(0, listed.exitCode) << listed.err;
    const std::string detail = Joined(listed.out);
    EXPECT_NE(std::string::npos, detail.find(": 2 plans (2 machines x 1 release x 1 architecture)")) << detail;
    EXPECT_NE(std::string::npos, detail.find("Plan: " + script + " on " + dir + "kx200.ini, Windows 2000, x86"));

    ToolRun json = RunChecker({"--plan", "--machine", machines, "--os", "xp", "--x86", "--format", "json", script});
    ASSERT_EQ(0, json.exitCode) << json.err;
    const std::string structured = Joined(json.out);
    EXPECT_NE(std::string::npos, structured.find("{\"count\": 3, \"differs\": false, \"path\": [{\"sections\": "
                                                 "[\"CommandsList\", \"WindowsXP\", \"BoardCheck\", \"SupportedBoard\""))
        << structured;
    EXPECT_NE(std::string::npos, structured.find("{\"count\": 2, \"differs\": true, \"path\""));
    EXPECT_NE(std::string::npos, structured.find("\"matrix\": {\"shared\": [\"CommandsList\", \"WindowsXP\", "
                                                 "\"BoardCheck\", \"Restart\", \"AfterRestart\"], \"columns\": "
                                                 "[\"SupportedBoard\", \"GenericBoard\"]"));
    EXPECT_NE(std::string::npos, structured.find("\"model\": \"KX-250\", \"makerMark\": \"Norvik\", \"boardProduct\": "
                                                 "\"A7Ch\", \"sysid\": \"0xA7Ch\", \"idRead\": 2684"));

    EXPECT_EQ(2, RunChecker({"--plan", "--arch", "arm", script}).exitCode);
    EXPECT_EQ(2, RunChecker({"--plan", "--machine", dir + "notes.txt", script}).exitCode);
}

TEST(Fleet, AgainstListsOnlyTheRowsAChangeMovesAndExitsOneForThem) {
    const std::string folder = FreshFolder("fleet_against"), scripts = FreshFolder("fleet_against_scripts");
    WriteFleet(folder);
    // Given without its trailing separator, which Windows would read as quoting the quote after it.
    const std::string machines = folder.substr(0, folder.size() - 1);
    const std::string old = ExamplesFolder() + "/unattended_setup.ini";
    ToolRun same = RunChecker({"--plan", "--machine", machines, "--os", "xp", "--x86", "--against", old, old});
    EXPECT_EQ(0, same.exitCode) << same.err;
    EXPECT_EQ((std::vector<std::string>{"0 of 5 rows moved between " + old + " and " + old}), same.out);

    // One more ID in the board list takes in the tower, whose board reads as 0X04D2.
    std::string text;
    for (const char *line : {"[CommandsList]", "25,Boards,Supported,Generic", "[Boards]", "0x0A7C", "[Supported]",
                             "32,supported", "[Generic]", "32,generic"})
        text += std::string(line) + "\r\n";
    const std::string before = scripts + "old.ini", after = scripts + "new.ini";
    WriteFile(before, text);
    WriteFile(after, "; the boards we support\r\n" + text);  // text that moves nothing
    EXPECT_EQ(0, RunChecker({"--plan", "--machine", machines, "--against", before, after}).exitCode);
    const size_t list = text.find("0x0A7C");
    WriteFile(after, text.substr(0, list) + "0x04D2\r\n" + text.substr(list));
    ToolRun moved = RunChecker({"--plan", "--machine", machines, "--against", before, after});
    EXPECT_EQ(1, moved.exitCode) << moved.err;
    EXPECT_EQ((std::vector<std::string>{
                  "1 of 5 rows moved between " + before + " and " + after, "",
                  "Tower 7 (" + folder + "tower.ini), unknown Windows, unknown process",
                  "  parts at CMD0> CMD25_BranchOnSystemID: 25,Boards,Supported,Generic (in [CommandsList])",
                  "    before: [Generic]: the ID 0X04D2 (board product '1234' (Product Name2)) is not in [Boards]",
                  "    after:  [Supported]: the ID 0X04D2 (board product '1234' (Product Name2)) matches the line "
                  "'0x04D2' of [Boards]",
                  "  sections before: [CommandsList] [Generic] -> DONE",
                  "  sections after:  [CommandsList] [Supported] -> DONE"}),
              moved.out);
}

}  // namespace
