// The inventory of a machine without reachable SMBIOS (every Wine machine): the
// instrumentation's keys through HwQuery.dll, written by kestrel.exe and by
// hwinventory.exe; a missing or broken library; stand-in libraries for the
// machines this one is not.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "hardware/wmi_fallback.h"
#include "instrumentation_oracle.h"
#include "test_support.h"

using namespace hwtest;
using namespace testing_support;

namespace {

std::string Quoted(const std::string &path) { return "\"" + path + "\""; }

// The [Hardware Detect] lines of an INI file, in file order.
std::vector<std::string> HardwareLines(const std::string &file) {
    std::vector<char> section(65536);
    DWORD length = GetPrivateProfileSectionA("Hardware Detect", section.data(), static_cast<DWORD>(section.size()),
                                             file.c_str());
    std::vector<std::string> lines;
    for (const char *line = section.data(); line < section.data() + length && *line; line += strlen(line) + 1)
        lines.push_back(line);
    return lines;
}

class Fallback : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ = FreshFolder(::testing::UnitTest::GetInstance()->current_test_info()->name());
        script_ = folder_ + "\\fallback.ini";
        log_ = folder_ + "\\install.log";
        DeleteTree(kHardwareInfoPath);
    }
    void WriteScript(const std::string &commands) {
        WriteFile(script_, Ini({"[Data]", "Logging=1", "LogFile=" + log_, "[CommandsList]"}) + commands);
    }
    // The log's texts from the end of the command set-up (and of the privilege
    // step, on NT) to the first command.
    std::vector<std::string> InventoryLines() {
        std::vector<std::string> texts = LogTexts(log_);
        int start = FindText(texts, "InitCommandSection()  initializtion complete.");
        start = std::max(start, FindText(texts, "NOTICE: adjusting token privilege for : SE_BACKUP_NAME"));
        int end = start;
        while (end >= 0 && end < static_cast<int>(texts.size()) && texts[end].rfind("CMD0> ", 0) != 0) ++end;
        if (start < 0 || end >= static_cast<int>(texts.size())) return {};
        return std::vector<std::string>(texts.begin() + start + 1, texts.begin() + end);
    }
    std::string Hardware(const std::string &key) {
        return ProfileString(kHardwareInfoPath, "Hardware Detect", key, "<absent>");
    }
    std::string CopyData(const std::string &key) {
        return ProfileString(WorkingCopyOf("fallback.ini"), "DATA", key, "<absent>");
    }
    // kestrel.exe alone in the test's folder, with the given library beside it (or none).
    std::string KestrelBeside(const std::string &library) {
        const std::string copy = folder_ + "\\kestrel.exe";
        CopyFileA(KestrelPath().c_str(), copy.c_str(), FALSE);
        if (!library.empty()) CopyFileA(library.c_str(), (folder_ + "\\HwQuery.dll").c_str(), FALSE);
        return copy;
    }
    static std::string StandIn() { return ProgramFolder() + "\\standin\\HwQuery.dll"; }

    SavedFile hardwareFile_{kHardwareInfoPath};
    std::string folder_, script_, log_;
};

TEST_F(Fallback, KestrelWritesWhatTheInstrumentationReports) {
    ASSERT_TRUE(Instrumentation::Get().Answered());
    WriteScript(Ini({"32,after"}));
    ASSERT_EQ(0, RunKestrel(script_));
    EXPECT_EQ((std::vector<std::string>{"Sleuth was unable to find SMBIOS.  Checking WMI"}), InventoryLines());
    KeyValues expected = ExpectedFallbackKeys(false);
    EXPECT_EQ(AsLines(expected), HardwareLines(kHardwareInfoPath));
    const std::string product = Instrumentation::Get().Value("Win32_BaseBoard", "Product");
    EXPECT_EQ(product.substr(0, 4), Hardware("MachineID"));
    EXPECT_EQ((product.find_first_of("hH") != std::string::npos ? "0x" : "") + product.substr(0, 4),
              CopyData("SYSID"));
    // Wine's machine is no machine of the maker.
    EXPECT_EQ("<absent>", CopyData("IsNorvik"));
    EXPECT_EQ("DONE !", LogTexts(log_).back());
}

TEST_F(Fallback, HwInventoryOnTheLiveMachineWritesTheSameKeys) {
    const std::string ini = folder_ + "\\mira.ini", script = folder_ + "\\script.ini";
    WriteFile(script, Ini({"[DATA]", "Logging=1"}));
    Captured run = RunCaptured(ProgramFolder() + "\\hwinventory.exe", "--ini " + Quoted(ini) + " --script " +
                                                                          Quoted(script));
    ASSERT_EQ(0, run.status) << run.err;
    // Wine has no physical-memory section: the operating system is asked instead.
    EXPECT_NE(std::string::npos, run.err.find("ERROR: Could not open \\device\\physicalmemory!"));
    EXPECT_NE(std::string::npos, run.err.find("asking the operating system instead"));
    EXPECT_EQ(AsLines(ExpectedFallbackKeys(true)), run.OutLines());
    EXPECT_EQ(AsLines(ExpectedFallbackKeys(false)), HardwareLines(ini));
    EXPECT_FALSE(Exists(kHardwareInfoPath));
}

TEST_F(Fallback, WithoutTheLibraryNothingIsWrittenAndTheRunGoesOn) {
    const std::string earlier = Ini({"[Hardware Detect]", "SMBIOSVer=2.3", "[Description]", "NorvikLanguage=EN"});
    WriteFile(kHardwareInfoPath, earlier);
    WriteScript(Ini({"32,after"}));
    const std::vector<std::string> failure = {"Sleuth was unable to find SMBIOS.  Checking WMI",
                                              "Sleuth was unable to load Hw Query DLL"};

    ASSERT_EQ(0, RunProgram(KestrelBeside(""), script_));
    EXPECT_EQ(failure, InventoryLines());
    EXPECT_EQ(earlier, ReadFile(kHardwareInfoPath));
    EXPECT_EQ("<absent>", CopyData("SYSID"));
    std::vector<std::string> texts = LogTexts(log_);
    EXPECT_TRUE(ContainsText(texts, " after"));
    EXPECT_EQ("DONE !", texts.back());

    // A file of that name that is no library, and a library without CHwBoard.
    const std::string withoutBoard = ReadFile(ProgramFolder() + "\\plain_library.dll");
    ASSERT_FALSE(withoutBoard.empty());
    for (const std::string &broken : {std::string("not a library"), withoutBoard}) {
        DeleteTree(log_);
        WriteFile(folder_ + "\\HwQuery.dll", broken);
        ASSERT_EQ(0, RunProgram(folder_ + "\\kestrel.exe", script_));
        EXPECT_EQ(failure, InventoryLines());
        EXPECT_EQ(earlier, ReadFile(kHardwareInfoPath));
        EXPECT_EQ("DONE !", LogTexts(log_).back());
    }
}

TEST_F(Fallback, HwInventoryWithoutTheLibrarySaysSo) {
    const std::string tool = folder_ + "\\hwinventory.exe", ini = folder_ + "\\mira.ini";
    CopyFileA((ProgramFolder() + "\\hwinventory.exe").c_str(), tool.c_str(), FALSE);
    Captured run = RunCaptured(tool, "--ini " + Quoted(ini));
    EXPECT_EQ(1, run.status);
    EXPECT_NE(std::string::npos, run.err.find("cannot load HwQuery.dll"));
    EXPECT_EQ("", run.out);
    EXPECT_FALSE(Exists(ini));
}

TEST_F(Fallback, AMakersPortableBoardFromAStandInLibrary) {
    const std::string kestrel = KestrelBeside(StandIn());
    WriteFile(folder_ + "\\HwQuery.ini",
              Ini({"[Win32_BIOS]", "SMBIOSMajorVersion=2", "SMBIOSMinorVersion=7", "Manufacturer=Acme BIOS",
                   "[Win32_ComputerSystem]", "Manufacturer=NORVIK", "TotalPhysicalMemory=17179869184",
                   "[Win32_BaseBoard]", "Manufacturer=Foreign", "Product=0A7Ch", "[CIM_Chassis]",
                   "Manufacturer=Other", "LockPresent=TRUE", "[Chassis]", "Type=14"}));
    WriteScript(Ini({"9,Maker,Other", "25,Boards,Known,Unknown", "[Boards]", "0a7c", "[Maker]", "33", "[Known]",
                     "33"}));
    ASSERT_EQ(0, RunProgram(kestrel, script_));
    EXPECT_EQ("2.7", Hardware("SMBIOSVer"));
    EXPECT_EQ("NORVIK", Hardware("SystemManufacturer"));
    EXPECT_EQ("17179869184", Hardware("TotalPhysMem"));
    EXPECT_EQ("0A7C", Hardware("MachineID"));
    EXPECT_EQ("0e", Hardware("Chassis Type #"));
    EXPECT_EQ("1", Hardware("IsPortable"));
    EXPECT_EQ("TRUE", Hardware("Chassis Lock"));
    EXPECT_EQ("", Hardware("BIOSCaption"));
    EXPECT_EQ("0x0A7C", CopyData("SYSID"));
    EXPECT_EQ("1", CopyData("IsNorvik"));

    // The flag set by the inventory: the maker's branch, nothing logged about it.
    std::vector<std::string> texts = LogTexts(log_);
    EXPECT_FALSE(ContainsText(texts, "  This is not a Norvik."));
    EXPECT_TRUE(ContainsText(texts, "  This is a Norvik with ID  0X0A7C"));
    EXPECT_EQ("Known", ProfileString(WorkingCopyOf("fallback.ini"), "State", "CurrentSection"));

    // One object, every read in the documented order, then its end.
    std::vector<std::string> calls = {"construct", "Win32_BIOS.SMBIOSMajorVersion", "Win32_BIOS.SMBIOSMinorVersion"};
    for (const FallbackProperty &p : kSystemReads) calls.push_back(std::string(p.className) + "." + p.propertyName);
    calls.push_back("Win32_BaseBoard.Product");
    for (const FallbackProperty &p : kBoardReads) calls.push_back(std::string(p.className) + "." + p.propertyName);
    calls.push_back("chassis");
    for (const FallbackProperty &p : kChassisReads) calls.push_back(std::string(p.className) + "." + p.propertyName);
    calls.push_back("destroy");
    EXPECT_EQ(calls, Lines(folder_ + "\\HwQuery.calls"));
}

TEST_F(Fallback, ALibraryThatKnowsNothingWritesEveryKeyEmpty) {
    WriteFile(kHardwareInfoPath, Ini({"[Hardware Detect]", "Table1=Start", "Boot-Up-State=Safe", "UUID=1234"}));
    WriteScript(Ini({"25,Boards,Known,Unknown", "[Boards]", "0", "[Unknown]", "33"}));
    ASSERT_EQ(0, RunProgram(KestrelBeside(StandIn()), script_));
    EXPECT_EQ(".", Hardware("SMBIOSVer"));
    for (const auto *reads : {&kSystemReads, &kBoardReads, &kChassisReads})
        for (const FallbackProperty &p : *reads) EXPECT_EQ("", Hardware(p.key)) << p.key;
    EXPECT_EQ("", Hardware("MachineID"));
    EXPECT_EQ("02", Hardware("Chassis Type #"));
    EXPECT_EQ("0", Hardware("IsPortable"));
    EXPECT_EQ("Start", Hardware("Table1"));  // not a key of this path: left alone
    EXPECT_EQ("", CopyData("SYSID"));
    EXPECT_EQ("<absent>", CopyData("IsNorvik"));
    std::vector<std::string> texts = LogTexts(log_);
    EXPECT_TRUE(ContainsText(texts, "This is not a supported Norvik  The ID read is 0X0000."));
    EXPECT_EQ("Unknown", ProfileString(WorkingCopyOf("fallback.ini"), "State", "CurrentSection"));
}

TEST_F(Fallback, AServiceThatNeverAnswersHoldsTheStartForOneBoundedTimeOnly) {
    const std::string kestrel = KestrelBeside(StandIn());
    WriteFile(folder_ + "\\HwQuery.ini", Ini({"[Win32_BIOS]", "Manufacturer=Acme BIOS", "[Win32_ComputerSystem]",
                                              "Manufacturer=NORVIK", "[Win32_BaseBoard]", "Product=0A7Ch", "[Hang]",
                                              "At=Win32_ComputerSystem.Model"}));
    WriteScript(Ini({"32,after"}));
    // The stand-in's read never returns: only the bound ends the wait (a minute).
    ASSERT_EQ(0, RunProgram(kestrel, script_, 180000));
    EXPECT_EQ((std::vector<std::string>{"Sleuth was unable to find SMBIOS.  Checking WMI",
                                        "Sleuth: WMI did not answer within 60 seconds; the keys read so far are kept"}),
              InventoryLines());
    // What was read before the silent read stays, the maker test included; nothing after it is written.
    EXPECT_EQ("Acme BIOS", Hardware("BIOSMfg"));
    EXPECT_EQ("NORVIK", Hardware("SystemManufacturer"));
    EXPECT_EQ("<absent>", Hardware("SystemModel"));
    EXPECT_EQ("<absent>", Hardware("MachineID"));
    EXPECT_EQ("<absent>", CopyData("SYSID"));
    EXPECT_EQ("1", CopyData("IsNorvik"));
    std::vector<std::string> texts = LogTexts(log_);
    EXPECT_TRUE(ContainsText(texts, " after"));
    EXPECT_EQ("DONE !", texts.back());
}

TEST_F(Fallback, LongTextsAreCutToTheirBuffers) {
    const std::string kestrel = KestrelBeside(StandIn());
    // A UTF-16 file, so the stand-in reads the texts as the instrumentation hands them over.
    std::wstring wide = L"\xFEFF[Win32_BIOS]\r\nSMBIOSMajorVersion=" + std::wstring(100, L'7') +
                        L"\r\nSMBIOSMinorVersion=" + std::wstring(200, L'8') + L"\r\nCaption=" +
                        std::wstring(300, L'\x00E9') + std::wstring(300, L'c') + L"\r\n[Win32_BaseBoard]\r\nProduct=" +
                        std::wstring(600, L'h') + L"\r\n";
    WriteFile(folder_ + "\\HwQuery.ini", std::string(reinterpret_cast<const char *>(wide.data()), wide.size() * 2));
    WriteScript(Ini({"33"}));
    ASSERT_EQ(0, RunProgram(kestrel, script_));
    EXPECT_EQ(std::string(63, '7') + "." + std::string(127, '8'), Hardware("SMBIOSVer"));
    EXPECT_EQ(std::string(300, '\xE9') + std::string(211, 'c'), Hardware("BIOSCaption"));
    EXPECT_EQ("hhhh", Hardware("MachineID"));
    EXPECT_EQ("0xhhhh", CopyData("SYSID"));
}

TEST(WideToAnsi, ConvertsWholeOrCutsToTheBuffer) {
    char buffer[8];
    WideToAnsi(L"Wine", buffer, sizeof buffer);
    EXPECT_STREQ("Wine", buffer);
    char guarded[6] = {'x', 'x', 'x', 'x', '!', '!'};
    WideToAnsi(L"abcdefgh", guarded, 4);
    EXPECT_STREQ("abc", guarded);
    EXPECT_EQ('!', guarded[4]);
    WideToAnsi(L"", buffer, sizeof buffer);
    EXPECT_STREQ("", buffer);
}

}  // namespace
