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

struct Captured {
    int status = -1;
    std::string out;
    std::string err;
    std::vector<std::string> OutLines() const {
        std::vector<std::string> lines;
        std::istringstream in(out);
        std::string line;
        while (std::getline(in, line)) {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            lines.push_back(line);
        }
        return lines;
    }
};

// Runs a program with its standard output and error sent to files.
Captured RunCaptured(const std::string &program, const std::string &arguments) {
    // One folder per test program and fresh names per run: emptying a folder right
    // after the last child let go of it is a race under Wine.
    static const std::string folder = FreshFolder("hwoutput");
    static int runs = 0;
    const std::string stem = folder + "\\run" + std::to_string(++runs);
    const std::string outPath = stem + ".out", errPath = stem + ".err";
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE out = CreateFileA(outPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, 0, nullptr);
    HANDLE err = CreateFileA(errPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, 0, nullptr);
    std::string commandLine = "\"" + program + "\" " + arguments;
    std::vector<char> buffer(commandLine.begin(), commandLine.end());
    buffer.push_back('\0');
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = out;
    startup.hStdError = err;
    PROCESS_INFORMATION process{};
    Captured result;
    if (CreateProcessA(program.c_str(), buffer.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                       &process)) {
        CloseHandle(process.hThread);
        if (WaitForSingleObject(process.hProcess, 60000) == WAIT_OBJECT_0) {
            DWORD code = 0;
            GetExitCodeProcess(process.hProcess, &code);
            result.status = static_cast<int>(code);
        } else {
            TerminateProcess(process.hProcess, 99);
        }
        CloseHandle(process.hProcess);
    }
    CloseHandle(out);
    CloseHandle(err);
    result.out = ReadFile(outPath);
    result.err = ReadFile(errPath);
    return result;
}

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

TEST_F(HwInventory, TheLiveMachineFallsBackWhenPhysicalMemoryIsClosed) {
    // Wine has no physical-memory section: the operating system is asked instead.
    Captured run = RunCaptured(Tool(), "--ini " + Quoted(ini_));
    EXPECT_EQ(0, run.status);
    EXPECT_NE(std::string::npos, run.err.find("ERROR: Could not open \\device\\physicalmemory!"));
    EXPECT_NE(std::string::npos, run.err.find("asking the operating system instead"));
}

// A copy of a program that Wine reports a given Windows version to.
class VersionedCopy {
public:
    VersionedCopy(const std::string &source, const std::string &folder, const std::string &name,
                  const char *version)
        : name_(name), path_(folder + "\\" + name) {
        CopyFileA(source.c_str(), path_.c_str(), FALSE);
        const std::string key = "Software\\Wine\\AppDefaults\\" + name_;
        HKEY handle = nullptr;
        if (RegCreateKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &handle,
                            nullptr) == ERROR_SUCCESS) {
            RegSetValueExA(handle, "Version", 0, REG_SZ, reinterpret_cast<const BYTE *>(version),
                           static_cast<DWORD>(strlen(version) + 1));
            RegCloseKey(handle);
        }
    }
    ~VersionedCopy() { RegDeleteKeyA(HKEY_CURRENT_USER, ("Software\\Wine\\AppDefaults\\" + name_).c_str()); }
    const std::string &Path() const { return path_; }

private:
    std::string name_, path_;
};

TEST_F(HwInventory, A9xVersionOnAnotherSystemFallsBackWithoutCrashing) {
    // The 9x path reads the first megabyte in place. Here that range is either
    // not mapped (and is then not read) or the process's own memory, which holds
    // no entry point; either way the operating system is asked.
    VersionedCopy tool(Tool(), folder_, "hwinventory98.exe", "win98");
    Captured run = RunCaptured(tool.Path(), "--ini " + Quoted(ini_));
    EXPECT_EQ(0, run.status) << run.err;
    EXPECT_EQ(std::string::npos, run.err.find(">> MapPhysicalMemory <<"));  // not the NT section
    EXPECT_NE(std::string::npos, run.err.find("asking the operating system instead"));
}

// kestrel itself, on a script under C:\ with its install log on.
class KestrelInventory : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ = FreshFolder("hwrun");
        script_ = folder_ + "\\hwrun.ini";
        log_ = folder_ + "\\install.log";
        WriteFile(script_, Ini({"[Data]", "Logging=1", "LogFile=" + log_, "[CommandsList]", "32,after"}));
        savedHardwareFile_ = Exists(kHardwareFile) ? ReadFile(kHardwareFile) : std::string();
        hadHardwareFile_ = Exists(kHardwareFile);
    }
    void TearDown() override {
        if (hadHardwareFile_)
            WriteFile(kHardwareFile, savedHardwareFile_);
        else
            DeleteTree(kHardwareFile);
    }
    // The log's texts from the end of the command set-up (and of the privilege
    // step, on NT) to the first command.
    std::vector<std::string> InventoryLines() {
        std::vector<std::string> texts = LogTexts(log_);
        int start = FindText(texts, "InitCommandSection()  initializtion complete.");
        int privileges = FindText(texts, "NOTICE: adjusting token privilege for : SE_BACKUP_NAME");
        if (privileges > start) start = privileges;
        int end = FindText(texts, "CMD0> CMD32_LogMsg: 32,after ");
        EXPECT_GE(start, 0);
        EXPECT_GT(end, start);
        if (start < 0 || end <= start) return {};
        return std::vector<std::string>(texts.begin() + start + 1, texts.begin() + end);
    }
    static constexpr const char *kHardwareFile = "C:\\system.sav\\util\\mira.ini";
    std::string folder_, script_, log_, savedHardwareFile_;
    bool hadHardwareFile_ = false;
};

TEST_F(KestrelInventory, WithoutPhysicalMemoryTheFallbackLineIsLoggedAndTheRunGoesOn) {
    ASSERT_EQ(0, RunKestrel(script_));
    std::vector<std::string> lines = InventoryLines();
    ASSERT_EQ(1u, lines.size());
    EXPECT_EQ("Sleuth was unable to find SMBIOS.  Checking WMI", lines[0]);
    std::vector<std::string> texts = LogTexts(log_);
    EXPECT_EQ(" after", texts[texts.size() - 3]);
    EXPECT_EQ("DONE !", texts.back());
}

TEST_F(KestrelInventory, UnderA9xVersionTheSameFallbackRuns) {
    VersionedCopy kestrel(KestrelPath(), folder_, "kestrel98.exe", "win98");
    ASSERT_EQ(0, RunProgram(kestrel.Path(), script_));
    std::vector<std::string> lines = InventoryLines();
    ASSERT_EQ(1u, lines.size());
    EXPECT_EQ("Sleuth was unable to find SMBIOS.  Checking WMI", lines[0]);
    EXPECT_EQ("DONE !", LogTexts(log_).back());
}

}  // namespace
