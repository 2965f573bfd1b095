// The inventory step: what the SMBIOS path writes, in which order, and the files
// it writes it to (real INI files under C:\ of the prefix).
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "engine/install_log.h"
#include "engine/run_state.h"
#include "hardware/inventory.h"
#include "hardware/smbios_inventory.h"
#include "instrumentation_oracle.h"
#include "synthetic_smbios.h"
#include "test_support.h"

using namespace hwtest;
using namespace testing_support;

namespace {

const uint32_t kTableAt = 0x000F8000;
using Pairs = std::vector<std::pair<std::string, std::string>>;

struct Collected {
    Pairs hardware;  // in write order
    Pairs script;
    std::vector<std::string> log;
    bool maker = false;

    std::map<std::string, std::string> Last() const {
        std::map<std::string, std::string> last;
        for (const auto &kv : hardware) last[kv.first] = kv.second;
        return last;
    }
    bool Has(const std::string &key) const { return Last().count(key) != 0; }
    std::string operator[](const std::string &key) const {
        auto last = Last();
        auto found = last.find(key);
        return found == last.end() ? "<absent>" : found->second;
    }
    std::vector<std::string> Keys() const {
        std::vector<std::string> keys;
        for (const auto &kv : hardware) keys.push_back(kv.first);
        return keys;
    }
};

Collected Collect(const Machine &machine, unsigned osProcessors = 4) {
    auto table = machine.Open();
    SmbiosInventory inventory = CollectSmbiosInventory(*table, osProcessors);
    Collected out;
    out.maker = inventory.makerMatched;
    for (const InventoryEntry &e : inventory.entries) {
        switch (e.action) {
        case InventoryAction::HardwareValue: out.hardware.emplace_back(e.key, e.value); break;
        case InventoryAction::ScriptData: out.script.emplace_back(e.key, e.value); break;
        case InventoryAction::LogLine: out.log.push_back(e.key + " " + e.value); break;
        case InventoryAction::LogMessage: out.log.push_back(e.value); break;
        }
    }
    return out;
}

Machine Desktop(uint8_t major, uint8_t minor, const DesktopTexts &texts = DesktopTexts()) {
    Machine machine;
    machine.PutSmbios(0x000F0000, major, minor, kTableAt, DesktopTable(texts));
    return machine;
}

TEST(SmbiosInventory, EveryKeyInItsOrderForSmbios23) {
    Collected c = Collect(Desktop(2, 3));
    const Pairs expected = {
        {"SMBIOSVer", "2.3"},
        {"Table1", "Start"},
        {"Manufacture", "Acme"},
        {"Product Name", "Box 9"},
        {"Name", "Box 9"},
        {"Version", "V1"},
        {"SerialNumber", "SYS-SERIAL"},
        {"UUID", "123456789abcdef10"},
        {"Wake Type #", "06"},
        {"Wake Type", "Power Switch"},
        {"Table2", "Start"},
        {"Manufacture2", "Acme"},
        {"Product Name2", "0A7Ch"},
        {"MachineID", "0x0A7C"},
        {"Version2", "B-REV"},
        {"Serial Number2", "B-SERIAL"},
        {"Table3", "Start"},
        {"Manufacture3", "Acme"},
        {"IsPortable", "0"},
        {"Chassis Type #", "03"},
        {"Chassis Type", "Desktop"},
        {"Chassis Lock", "unknown"},
        {"Version3", "C-VER"},
        {"Serial Number3", "C-SERIAL"},
        {"AssetTag", "ASSET-1"},
        {"Boot-Up-State #", "03"},
        {"Boot-Up-State", "Safe"},
        {"Power Supply State #", "04"},
        {"Power Supply State", "Warning"},
        {"Thermal State #", "05"},
        {"Thermal State", "Critical"},
        {"Security Status #", "External interface locked out"},
        {"OEM-Defined", "12345678"},
        {"NumOfProcessor", "1"},
        {"Tables", "Finished"},
        {"LogicalProcessors", "4"},
    };
    EXPECT_EQ(expected, c.hardware);
    EXPECT_EQ((Pairs{{"SYSID", "0x0A7C"}}), c.script);
    const std::vector<std::string> log = {"Found SMBIOS... ",
                                          "found type 1 structure...",
                                          "found type 2 structure...",
                                          "found type 3 structure...",
                                          "found type 4 structure...",
                                          "done counting physical processors...",
                                          "checking for locical processors..."};
    EXPECT_EQ(log, c.log);
    EXPECT_FALSE(c.maker);
}

TEST(SmbiosInventory, VersionGatesTheLaterFields) {
    const std::vector<std::string> since21 = {"UUID",          "Wake Type #",          "Wake Type",
                                              "Boot-Up-State #", "Boot-Up-State",      "Power Supply State #",
                                              "Power Supply State", "Thermal State #", "Thermal State",
                                              "Security Status #"};
    Collected v20 = Collect(Desktop(2, 0));
    EXPECT_EQ("2.0", v20["SMBIOSVer"]);
    for (const std::string &key : since21) EXPECT_FALSE(v20.Has(key)) << key;
    EXPECT_FALSE(v20.Has("OEM-Defined"));
    EXPECT_EQ("Box 9", v20["Name"]);

    for (uint8_t minor : {1, 2}) {
        Collected c = Collect(Desktop(2, minor));
        for (const std::string &key : since21) EXPECT_TRUE(c.Has(key)) << key;
        EXPECT_FALSE(c.Has("OEM-Defined"));
    }
    // A 3.x table carries every 2.x field, whatever its minor number.
    Collected v30 = Collect(Desktop(3, 0));
    EXPECT_EQ("3.0", v30["SMBIOSVer"]);
    for (const std::string &key : since21) EXPECT_TRUE(v30.Has(key)) << key;
    EXPECT_EQ("12345678", v30["OEM-Defined"]);
}

TEST(SmbiosInventory, ChassisTypeByteLockBitAndPortableTypes) {
    DesktopTexts texts;
    texts.chassisType = 0x89;
    Collected laptop = Collect(Desktop(2, 3, texts));
    EXPECT_EQ("09", laptop["Chassis Type #"]);
    EXPECT_EQ("Laptop", laptop["Chassis Type"]);
    EXPECT_EQ("1", laptop["IsPortable"]);
    EXPECT_EQ("present", laptop["Chassis Lock"]);
    // 0 first, then 1 after the type number.
    std::vector<std::string> keys = laptop.Keys();
    auto first = std::find(keys.begin(), keys.end(), "IsPortable");
    ASSERT_NE(keys.end(), first);
    EXPECT_EQ("Chassis Type #", *(first + 1));
    EXPECT_EQ("IsPortable", *(first + 2));

    texts.chassisType = 0x03;
    Collected desktop = Collect(Desktop(2, 3, texts));
    EXPECT_EQ("03", desktop["Chassis Type #"]);
    EXPECT_EQ("Desktop", desktop["Chassis Type"]);
    EXPECT_EQ("0", desktop["IsPortable"]);
    EXPECT_EQ("unknown", desktop["Chassis Lock"]);

    texts.chassisType = 0x1E;
    Collected undefined = Collect(Desktop(2, 3, texts));
    EXPECT_EQ("1E", undefined["Chassis Type #"]);
    EXPECT_EQ("Undefined", undefined["Chassis Type"]);
    EXPECT_EQ("0", undefined["IsPortable"]);
}

TEST(SmbiosInventory, BoardIdentifierAndMakerTest) {
    DesktopTexts texts;
    texts.boardProduct = "Main Board";
    Collected main = Collect(Desktop(2, 3, texts));
    EXPECT_EQ("Main", main["MachineID"]);
    EXPECT_EQ((Pairs{{"SYSID", "Main"}}), main.script);

    for (const char *maker : {"Norvik", "NORVIK", "Talberg-Corp"}) {
        DesktopTexts system, board, chassis;
        system.systemMaker = maker;
        board.boardMaker = maker;
        chassis.chassisMaker = maker;
        EXPECT_TRUE(Collect(Desktop(2, 3, system)).maker) << maker;
        EXPECT_TRUE(Collect(Desktop(2, 3, board)).maker) << maker;
        EXPECT_TRUE(Collect(Desktop(2, 3, chassis)).maker) << maker;
    }
    DesktopTexts nearMiss;
    nearMiss.systemMaker = "NORVIK Inc";
    nearMiss.boardMaker = "Talber";
    nearMiss.processorMaker = "Norvik";  // not a manufacturer the test looks at
    EXPECT_FALSE(Collect(Desktop(2, 3, nearMiss)).maker);
}

TEST(SmbiosInventory, AbsentTextsAreNotWritten) {
    // Product index 0 in the system, and a board whose product index points past its texts.
    Bytes system = {1, 0, 2, 0};
    Machine machine;
    machine.PutSmbios(0x000F0000, 2, 3, kTableAt,
                      Join({Structure(1, system, {"Maker", "V"}), Structure(2, {1, 5, 0, 0}, {"Board maker"})}));
    Collected c = Collect(machine);
    EXPECT_EQ("Maker", c["Manufacture"]);
    EXPECT_FALSE(c.Has("Product Name"));
    EXPECT_FALSE(c.Has("Name"));
    EXPECT_EQ("V", c["Version"]);
    EXPECT_FALSE(c.Has("SerialNumber"));
    // A 2.3 system structure too short for the UUID and the wake-up type.
    EXPECT_FALSE(c.Has("UUID"));
    EXPECT_FALSE(c.Has("Wake Type #"));
    EXPECT_EQ("Board maker", c["Manufacture2"]);
    EXPECT_FALSE(c.Has("Product Name2"));
    EXPECT_FALSE(c.Has("MachineID"));
    EXPECT_TRUE(c.script.empty());
    EXPECT_FALSE(c.Has("Table3"));
    EXPECT_EQ("0", c["NumOfProcessor"]);
}

TEST(SmbiosInventory, ProcessorCountAndTheIntelMark) {
    auto machineWith = [](std::vector<Bytes> processors) {
        Machine machine;
        processors.push_back(Structure(127, {}));
        machine.PutSmbios(0x000F0000, 2, 3, kTableAt, Join(processors));
        return machine;
    };
    // Intel and an empty socket.
    Collected intel = Collect(machineWith({Structure(4, {1, 3, 0x0B, 2}, {"CPU 0", "Intel"}),
                                           Structure(4, {1, 3, 0x0B, 0}, {"CPU 1"})}),
                              6);
    EXPECT_EQ("1", intel["NumOfProcessor"]);
    EXPECT_EQ("6", intel["LogicalProcessors"]);

    // Counted, but only the whole word Intel gives the operating system's count.
    Collected genuine = Collect(machineWith({Structure(4, {1, 3, 0x0B, 2}, {"CPU 0", "GenuineIntel"}),
                                             Structure(4, {1, 3, 0x0B, 2}, {"CPU 1", "GenuineIntel"})}),
                                6);
    EXPECT_EQ("2", genuine["NumOfProcessor"]);
    EXPECT_EQ("0", genuine["LogicalProcessors"]);
    EXPECT_EQ("not Intel assuming no locical processors...", genuine.log.back());

    // Family 2 (unknown) and an empty manufacturer text are not processors.
    Collected unknown = Collect(machineWith({Structure(4, {1, 3, 0x02, 2}, {"CPU 0", "Intel"}),
                                             Structure(4, {1, 3, 0x0B, 2}, {"CPU 1", ""})}));
    EXPECT_EQ("0", unknown["NumOfProcessor"]);

    Collected none = Collect(machineWith({}));
    EXPECT_EQ("0", none["NumOfProcessor"]);
    EXPECT_EQ("Finished", none["Tables"]);
    EXPECT_EQ("0", none["LogicalProcessors"]);
    EXPECT_EQ((std::vector<std::string>{"Found SMBIOS... ", "done counting physical processors...",
                                        "not Intel assuming no locical processors..."}),
              none.log);
}

TEST(SmbiosInventory, ABadChecksumStillCountsAsSmbiosWithoutStructures) {
    Machine machine = Desktop(2, 4);
    Bytes entry = EntryPoint(2, 4, kTableAt, static_cast<uint16_t>(DesktopTable().size()));
    entry[4] ^= 0x55;
    machine.Put(0x000F0000, entry);
    Collected c = Collect(machine);
    EXPECT_EQ((Pairs{{"SMBIOSVer", "2.4"},
                     {"NumOfProcessor", "0"},
                     {"Tables", "Finished"},
                     {"LogicalProcessors", "0"}}),
              c.hardware);
    EXPECT_TRUE(c.script.empty());
}

// Runs the whole step into files of a fresh folder, with the install log on.
class InventoryFiles : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ = FreshFolder("hwinventory");
        ini_ = folder_ + "\\mira.ini";
        script_ = folder_ + "\\script.ini";
        log_ = folder_ + "\\install.log";
        ResetRunState();
        g_run.logging = true;
        SetInstallLogPath(log_.c_str());
    }
    void TearDown() override { ResetRunState(); }

    InventoryOutcome Run(const Machine *machine) {
        std::unique_ptr<SmbiosTable> table = machine ? machine->Open() : std::make_unique<SmbiosTable>(nullptr);
        InventoryTarget target;
        target.hardwareFile = ini_.c_str();
        target.scriptFile = script_.c_str();
        return RunHardwareInventory(table.get(), target);
    }
    std::string Hardware(const std::string &key) { return ProfileString(ini_, "Hardware Detect", key, "<absent>"); }
    std::string Data(const std::string &key) { return ProfileString(script_, "DATA", key, "<absent>"); }

    std::string folder_, ini_, script_, log_;
};

TEST_F(InventoryFiles, KeysGoToTheHardwareFileAndTheBoardToTheScript) {
    WriteFile(ini_, Ini({"[Hardware Detect]", "Product Name=from an earlier run", "NorvikLanguage=EN",
                         "[Description]", "NorvikLanguage=EN"}));
    WriteFile(script_, Ini({"[DATA]", "Logging=1", "IsNorvik=7"}));
    Machine machine;
    Bytes system = {1, 0, 2, 3};
    machine.PutSmbios(0x000F0000, 2, 3, kTableAt,
                      Join({Structure(1, system, {"Norvik", "V1", "SN"}), Structure(2, {1, 2, 3, 4},
                                                                                    {"B", "0A7Ch", "R", "S"})}));
    InventoryOutcome outcome = Run(&machine);
    EXPECT_TRUE(outcome.smbiosFound);
    EXPECT_TRUE(outcome.makerMatched);
    EXPECT_TRUE(outcome.writeFailure.empty());
    EXPECT_EQ("2.3", Hardware("SMBIOSVer"));
    EXPECT_EQ("Norvik", Hardware("Manufacture"));
    EXPECT_EQ("from an earlier run", Hardware("Product Name"));  // absent text: left alone
    EXPECT_EQ("0x0A7C", Hardware("MachineID"));
    EXPECT_EQ("EN", ProfileString(ini_, "Description", "NorvikLanguage"));
    EXPECT_EQ("0x0A7C", Data("SYSID"));
    EXPECT_EQ("1", Data("IsNorvik"));
    EXPECT_EQ("1", Data("Logging"));

    std::vector<std::string> texts2 = LogTexts(log_);
    ASSERT_FALSE(texts2.empty());
    EXPECT_EQ("Found SMBIOS... ", texts2[0]);
}

TEST_F(InventoryFiles, AForeignMachineLeavesTheMakerMarkAlone) {
    WriteFile(script_, Ini({"[DATA]", "IsNorvik=1"}));
    Machine machine = Desktop(2, 3);
    InventoryOutcome outcome = Run(&machine);
    EXPECT_FALSE(outcome.makerMatched);
    EXPECT_EQ("1", Data("IsNorvik"));  // a value already there stays
    EXPECT_EQ("Finished", Hardware("Tables"));

    WriteFile(script_, Ini({"[DATA]", "Logging=1"}));
    Run(&machine);
    EXPECT_EQ("<absent>", Data("IsNorvik"));
}

TEST_F(InventoryFiles, WithoutSmbiosTheInstrumentationIsAskedAndAnnounced) {
    InventoryOutcome outcome = Run(nullptr);
    EXPECT_FALSE(outcome.smbiosFound);
    EXPECT_FALSE(outcome.fallbackUnavailable);
    EXPECT_EQ(ExpectedFallbackKeys(false).front().second, Hardware("SMBIOSVer"));
    EXPECT_NE("<absent>", Data("SYSID"));
    std::vector<std::string> lines = Lines(log_);
    ASSERT_EQ(1u, lines.size());
    // A message line: the stamp, two blanks, the text; no program name.
    EXPECT_EQ(16u, lines[0].find("Sleuth was unable to find SMBIOS.  Checking WMI"));
    EXPECT_EQ(lines[0].size(), 16 + std::string("Sleuth was unable to find SMBIOS.  Checking WMI").size());
}

}  // namespace
