// hwinventory.exe on captured QEMU + SeaBIOS machines, and kestrel.exe on the
// live (Wine) machine, where physical memory cannot be reached.
#include <gtest/gtest.h>
#include <windows.h>

#include <sstream>
#include <string>
#include <vector>

#include "test_support.h"

using namespace testing_support;

namespace {

std::string Fixture(const std::string &name) { return ProgramFolder() + "\\..\\fixtures\\hardware\\" + name; }
std::string Tool() { return ProgramFolder() + "\\hwinventory.exe"; }

std::string Quoted(const std::string &path) { return "\"" + path + "\""; }

unsigned SystemProcessors() {
    SYSTEM_INFO info{};
    GetSystemInfo(&info);
    return info.dwNumberOfProcessors;
}

// What the capture script set for the i440fx machine (see capture-qemu.sh).
std::vector<std::string> NorvikKeys() {
    return {
        "SMBIOSVer=2.8",
        "Table1=Start",
        "Manufacture=Norvik",
        "Product Name=KX-200",
        "Name=KX-200",
        "Version=1.0",
        "SerialNumber=SN123",
        // The UUID's first three fields are stored little-endian.
        "UUID=432165879abcdef10",
        "Wake Type #=06",
        "Wake Type=Power Switch",
        "Table2=Start",
        "Manufacture2=Norvik",
        "Product Name2=0A7Ch",
        "MachineID=0x0A7C",
        "SYSID=0x0A7C",
        "Version2=B1",
        "Serial Number2=BB42",
        "Table3=Start",
        "Manufacture3=Talberg-Corp",
        "IsPortable=0",
        "Chassis Type #=01",
        "Chassis Type=Other",
        "Chassis Lock=unknown",
        "Version3=C1",
        "Serial Number3=CH77",
        "AssetTag=AT9",
        "Boot-Up-State #=03",
        "Boot-Up-State=Safe",
        "Power Supply State #=03",
        "Power Supply State=Safe",
        "Thermal State #=03",
        "Thermal State=Safe",
        "Security Status #=Unknown",
        "OEM-Defined=00000000",
        "NumOfProcessor=1",
        "Tables=Finished",
        "LogicalProcessors=" + std::to_string(SystemProcessors()),
        "IsNorvik=1",
    };
}

class HwInventory : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ = FreshFolder("hwtool");
        ini_ = folder_ + "\\mira.ini";
        script_ = folder_ + "\\script.ini";
    }
    std::string Hardware(const std::string &key) { return ProfileString(ini_, "Hardware Detect", key, "<absent>"); }
    std::string folder_, ini_, script_;
};

TEST_F(HwInventory, ImageOfAnI440fxMachineGivesTheValuesSetForIt) {
    WriteFile(script_, Ini({"[DATA]", "Logging=1"}));
    Captured run = RunCaptured(Tool(), "--image " + Quoted(Fixture("norvik-i440fx.img")) + " --ini " +
                                           Quoted(ini_) + " --script " + Quoted(script_));
    ASSERT_EQ(0, run.status) << run.err;
    EXPECT_EQ(NorvikKeys(), run.OutLines());
    EXPECT_EQ("KX-200", Hardware("Product Name"));
    EXPECT_EQ("0x0A7C", Hardware("MachineID"));
    EXPECT_EQ("Talberg-Corp", Hardware("Manufacture3"));
    EXPECT_EQ("<absent>", Hardware("SYSID"));
    EXPECT_EQ("0x0A7C", ProfileString(script_, "DATA", "SYSID"));
    EXPECT_EQ("1", ProfileString(script_, "DATA", "IsNorvik"));
    EXPECT_EQ("1", ProfileString(script_, "DATA", "Logging"));
    EXPECT_NE(std::string::npos, run.err.find("(000F5A00)"));
    EXPECT_NE(std::string::npos, run.err.find("SYSID=0x0A7C: kestrel reads the board ID as 0X0A7C; list lines that "
                                              "match it: 0x0A7C, 0xA7C, A7C, 0A7C, 2684"))
        << run.err;
}

TEST_F(HwInventory, DumpOfTheSameMachineGivesTheSameKeys) {
    Captured run = RunCaptured(Tool(), "--dump " + Quoted(Fixture("norvik-i440fx.dump")) + " --ini " + Quoted(ini_));
    ASSERT_EQ(0, run.status) << run.err;
    std::vector<std::string> expected = NorvikKeys();
    // Without --script neither SYSID nor IsNorvik is written, so neither is shown.
    expected.erase(std::find(expected.begin(), expected.end(), "SYSID=0x0A7C"));
    expected.pop_back();
    EXPECT_EQ(expected, run.OutLines());
    EXPECT_EQ("Finished", Hardware("Tables"));
    // The machine file carries the board ID for a plan, script file or not.
    EXPECT_EQ("0x0A7C", ProfileString(ini_, "DATA", "SYSID"));
}

// The entry point of a dump with its table address moved, its checksums kept.
std::string DumpWithTableAt(std::string dump, uint32_t address) {
    for (int i = 0; i < 4; ++i) dump[0x18 + i] = static_cast<char>(address >> (8 * i));
    for (int checksum : {0x15, 0x04}) {
        dump[checksum] = 0;
        uint8_t sum = 0;
        for (int i = checksum == 0x15 ? 0x10 : 0; i < 0x1F; ++i) sum = static_cast<uint8_t>(sum + dump[i]);
        dump[checksum] = static_cast<char>(-sum);
    }
    return dump;
}

TEST_F(HwInventory, ADumpWhoseTableIsNotInItGivesNoInventory) {
    const std::string dump = ReadFile(Fixture("norvik-i440fx.dump"));
    const std::string moved = folder_ + "\\moved.dump";
    // In the BIOS area, where a dump holds nothing but its entry point.
    WriteFile(moved, DumpWithTableAt(dump, 0x000F1000));
    Captured run = RunCaptured(Tool(), "--dump " + Quoted(moved) + " --ini " + Quoted(ini_));
    EXPECT_EQ(2, run.status);
    EXPECT_NE(std::string::npos, run.err.find("the SMBIOS structure table at 000F1000 (")) << run.err;
    EXPECT_NE(std::string::npos, run.err.find("lies outside"));
    EXPECT_EQ("", run.out);
    EXPECT_FALSE(Exists(ini_));

    // In the file, but nothing there is a structure.
    WriteFile(moved, DumpWithTableAt(dump, 0x20).substr(0, 0x20) + std::string(dump.size() - 0x20, '\0'));
    run = RunCaptured(Tool(), "--dump " + Quoted(moved) + " --ini " + Quoted(ini_));
    EXPECT_EQ(2, run.status);
    EXPECT_NE(std::string::npos, run.err.find("the SMBIOS structure table at 00000020 ("))
        << run.err;
    EXPECT_NE(std::string::npos, run.err.find("holds no structure"));
    EXPECT_FALSE(Exists(ini_));
}

TEST_F(HwInventory, ATableAboveOneMegabyteIsReadFromTheImage) {
    Captured run = RunCaptured(Tool(), "--image " + Quoted(Fixture("acme-q35.img")) + " --ini " + Quoted(ini_) +
                                           " --script " + Quoted(script_));
    ASSERT_EQ(0, run.status) << run.err;
    EXPECT_NE(std::string::npos, run.err.find("(00FFDEB0)"));
    EXPECT_EQ("Acme", Hardware("Manufacture"));
    EXPECT_EQ("Box", Hardware("Name"));
    EXPECT_EQ("000000000000000ff", Hardware("UUID"));
    EXPECT_EQ("TALBERG", Hardware("Manufacture2"));
    EXPECT_EQ("Main Board", Hardware("Product Name2"));
    EXPECT_EQ("Main", Hardware("MachineID"));
    EXPECT_EQ("AT2", Hardware("AssetTag"));
    EXPECT_EQ("2", Hardware("NumOfProcessor"));
    EXPECT_EQ("0", Hardware("LogicalProcessors"));  // GenuineIntel is not the word Intel
    EXPECT_EQ("Main", ProfileString(script_, "DATA", "SYSID"));
    EXPECT_NE(std::string::npos, run.err.find("WARNING: SYSID=Main: kestrel reads the board ID as 0X0000, which no ID "
                                              "list matches"));
    EXPECT_EQ("1", ProfileString(script_, "DATA", "IsNorvik"));  // TALBERG board
}

TEST_F(HwInventory, CutImagesEndTheWalkOrLoseTheTable) {
    const std::string whole = ReadFile(Fixture("acme-q35.img"));
    ASSERT_EQ(0x1000000u, whole.size());
    // Memory ends a little into the table (at FFDEB0h): the structures that are
    // whole are read, the walk ends at the cut.
    const std::string cut = folder_ + "\\cut.img";
    WriteFile(cut, whole.substr(0, 0xFFDEB0 + 0x60));
    Captured run = RunCaptured(Tool(), "--image " + Quoted(cut) + " --ini " + Quoted(ini_));
    ASSERT_EQ(0, run.status) << run.err;
    EXPECT_NE(std::string::npos, run.err.find("WARNING: SMBIOS Structure Table is cut short: 96 of"));
    EXPECT_EQ("0", Hardware("NumOfProcessor"));
    EXPECT_EQ("Finished", Hardware("Tables"));

    // Memory ends before the table: no table, no inventory.
    const std::string before = folder_ + "\\before.img";
    WriteFile(before, whole.substr(0, 0xFFD000));
    DeleteTree(ini_);
    run = RunCaptured(Tool(), "--image " + Quoted(before) + " --ini " + Quoted(ini_));
    EXPECT_EQ(2, run.status);
    EXPECT_NE(std::string::npos, run.err.find("the SMBIOS structure table at 00FFDEB0"));
    EXPECT_FALSE(Exists(ini_));
}

TEST_F(HwInventory, FilesWithoutSmbiosOrThatCannotBeReadOrWritten) {
    const std::string zeros = folder_ + "\\zeros.img";
    WriteFile(zeros, std::string(0x100000, '\0'));
    Captured run = RunCaptured(Tool(), "--image " + Quoted(zeros) + " --ini " + Quoted(ini_));
    EXPECT_EQ(2, run.status);
    EXPECT_NE(std::string::npos, run.err.find("holds no SMBIOS 2.x entry point"));
    EXPECT_EQ("", run.out);
    EXPECT_FALSE(Exists(ini_));

    // A bare anchor, and a dump that is really an image.
    WriteFile(zeros, "_SM_");
    run = RunCaptured(Tool(), "--dump " + Quoted(zeros) + " --ini " + Quoted(ini_));
    EXPECT_EQ(2, run.status);
    EXPECT_NE(std::string::npos, run.err.find("the SMBIOS anchor at 000F0000 fails its checks"));
    EXPECT_EQ(2, RunCaptured(Tool(), "--image " + Quoted(zeros) + " --ini " + Quoted(ini_)).status);
    EXPECT_EQ(2, RunCaptured(Tool(), "--dump " + Quoted(Fixture("norvik-i440fx.img")) + " --ini " + Quoted(ini_))
                     .status);
    EXPECT_FALSE(Exists(ini_));

    run = RunCaptured(Tool(), "--image " + Quoted(folder_ + "\\missing.img"));
    EXPECT_EQ(1, run.status);
    EXPECT_NE(std::string::npos, run.err.find("cannot read "));
    EXPECT_NE(std::string::npos, run.err.find("missing.img: "));

    run = RunCaptured(Tool(), "--dump " + Quoted(Fixture("norvik-i440fx.dump")) + " --ini " +
                                  Quoted(folder_ + "\\no folder\\mira.ini"));
    EXPECT_EQ(1, run.status);
    EXPECT_NE(std::string::npos, run.err.find("cannot write "));
}

TEST_F(HwInventory, BadCommandLines) {
    for (const char *arguments : {"--bogus", "--image", "--image a --dump b", "--ini a --ini b", "extra"}) {
        Captured run = RunCaptured(Tool(), arguments);
        EXPECT_EQ(3, run.status) << arguments;
        EXPECT_NE(std::string::npos, run.err.find("Usage: hwinventory")) << arguments;
    }
    Captured help = RunCaptured(Tool(), "--help");
    EXPECT_EQ(0, help.status);
    EXPECT_NE(std::string::npos, help.out.find("--dump FILE"));
}

TEST_F(HwInventory, A9xVersionOnAnotherSystemFallsBackWithoutCrashing) {
    // The 9x path reads the first megabyte in place. Here that range is either
    // not mapped (and is then not read) or the process's own memory, which holds
    // no entry point; either way the operating system is asked.
    VersionedCopy tool(Tool(), folder_, "hwinventory98.exe", "win98");
    CopyFileA((ProgramFolder() + "\\HwQuery.dll").c_str(), (folder_ + "\\HwQuery.dll").c_str(), FALSE);
    Captured run = RunCaptured(tool.Path(), "--ini " + Quoted(ini_));
    EXPECT_EQ(0, run.status) << run.err;
    EXPECT_EQ(std::string::npos, run.err.find(">> MapPhysicalMemory <<"));  // not the NT section
    EXPECT_NE(std::string::npos, run.err.find("asking the operating system instead"));
    // The instrumentation's keys, without the SMBIOS path's markers.
    EXPECT_NE("<absent>", Hardware("SMBIOSVer"));
    EXPECT_EQ("<absent>", Hardware("Tables"));
    EXPECT_NE("<absent>", ProfileString(ini_, "DATA", "SYSID", "<absent>"));  // the fallback's, for a plan
}

}  // namespace
