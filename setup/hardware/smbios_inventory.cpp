#include "smbios_inventory.h"

#include "../engine/bounded_text.h"
#include "smbios_rules.h"

namespace {

class Collector {
public:
    explicit Collector(SmbiosInventory &inventory) : inventory_(inventory) {}

    void Line(const char *first, const char *second) { Add(InventoryAction::LogLine, first, second); }
    void Message(const char *textValue) { Add(InventoryAction::LogMessage, "", textValue); }
    void Script(const char *key, const char *value) { Add(InventoryAction::ScriptData, key, value); }
    // An absent text writes nothing: the key keeps what an earlier run left.
    void Value(const char *key, const char *value) {
        if (value) Add(InventoryAction::HardwareValue, key, value);
    }
    void Number(const char *key, int number) {
        char value[64];
        text::FormatBounded(value, sizeof value, "%d", number);
        Value(key, value);
    }
    void Hex2(const char *key, unsigned number) {
        char value[64];
        text::FormatBounded(value, sizeof value, "%02X", number);
        Value(key, value);
    }
    void Maker(const char *textValue) {
        if (MakerTest(textValue)) inventory_.makerMatched = true;
    }

private:
    void Add(InventoryAction action, const char *key, const char *value) {
        inventory_.entries.push_back(InventoryEntry{action, key, value});
    }
    SmbiosInventory &inventory_;
};

void CollectSystem(SmbiosTable &table, Collector &out) {
    const uint8_t *system = table.FindFirstStructure(1);
    if (!system) return;
    out.Message("found type 1 structure...");
    out.Value("Table1", "Start");
    const char *manufacturer = StructureText(table, system, 0x04);
    out.Value("Manufacture", manufacturer);
    out.Maker(manufacturer);
    const char *product = StructureText(table, system, 0x05);
    out.Value("Product Name", product);
    out.Value("Name", product);
    out.Value("Version", StructureText(table, system, 0x06));
    out.Value("SerialNumber", StructureText(table, system, 0x07));
    if (!table.VersionAtLeast(2, 1)) return;
    if (system[1] >= 0x18) {
        char uuid[64];
        UuidText(system + 0x08, uuid, sizeof uuid);
        out.Value("UUID", uuid);
    }
    uint8_t wake = 0;
    if (StructureByte(system, 0x18, wake)) {
        out.Hex2("Wake Type #", wake);
        out.Value("Wake Type", WakeTypeName(wake));
    }
}

void CollectBaseboard(SmbiosTable &table, Collector &out) {
    const uint8_t *board = table.FindFirstStructure(2);
    if (!board) return;
    out.Message("found type 2 structure...");
    out.Value("Table2", "Start");
    const char *manufacturer = StructureText(table, board, 0x04);
    out.Value("Manufacture2", manufacturer);
    out.Maker(manufacturer);
    const char *product = StructureText(table, board, 0x05);
    out.Value("Product Name2", product);
    // Without a product text there is no board identifier to give: an earlier
    // value stays, and the branch on the ID reads 0 where none was ever written.
    if (product) {
        char systemId[32];
        SystemIdFromProduct(product, systemId, sizeof systemId);
        out.Value("MachineID", systemId);
        out.Script("SYSID", systemId);
    }
    out.Value("Version2", StructureText(table, board, 0x06));
    out.Value("Serial Number2", StructureText(table, board, 0x07));
}

void CollectStateField(const uint8_t *chassis, size_t offset, const char *numberKey, const char *nameKey,
                       Collector &out) {
    uint8_t state = 0;
    if (!StructureByte(chassis, offset, state)) return;
    out.Hex2(numberKey, state);
    out.Value(nameKey, StateName(state));
}

void CollectChassis(SmbiosTable &table, Collector &out) {
    const uint8_t *chassis = table.FindFirstStructure(3);
    if (!chassis) return;
    out.Message("found type 3 structure...");
    out.Value("Table3", "Start");
    const char *manufacturer = StructureText(table, chassis, 0x04);
    out.Value("Manufacture3", manufacturer);
    out.Maker(manufacturer);
    uint8_t typeByte = 0;
    if (StructureByte(chassis, 0x05, typeByte)) {
        const unsigned type = typeByte & 0x7Fu;
        out.Number("IsPortable", 0);
        out.Hex2("Chassis Type #", type);
        if (ChassisIsPortable(type)) out.Number("IsPortable", 1);
        out.Value("Chassis Type", ChassisTypeName(type));
        out.Value("Chassis Lock", (typeByte & 0x80u) ? "present" : "unknown");
    }
    out.Value("Version3", StructureText(table, chassis, 0x06));
    out.Value("Serial Number3", StructureText(table, chassis, 0x07));
    out.Value("AssetTag", StructureText(table, chassis, 0x08));
    if (table.VersionAtLeast(2, 1)) {
        CollectStateField(chassis, 0x09, "Boot-Up-State #", "Boot-Up-State", out);
        CollectStateField(chassis, 0x0A, "Power Supply State #", "Power Supply State", out);
        CollectStateField(chassis, 0x0B, "Thermal State #", "Thermal State", out);
        uint8_t security = 0;
        if (StructureByte(chassis, 0x0C, security)) out.Value("Security Status #", SecurityStatusName(security));
    }
    uint32_t oem = 0;
    if (table.VersionAtLeast(2, 3) && StructureDword(chassis, 0x0D, oem)) {
        char value[64];
        text::FormatBounded(value, sizeof value, "%08X", oem);
        out.Value("OEM-Defined", value);
    }
}

void CollectProcessors(SmbiosTable &table, unsigned osProcessorCount, Collector &out) {
    int count = 0;
    bool intel = false;
    const uint8_t *processor = table.FindFirstStructure(4);
    if (processor) out.Message("found type 4 structure...");
    for (; processor; processor = table.FindNextStructure()) {
        // An empty socket has no manufacturer; family 2 is "Unknown".
        const char *manufacturer = StructureText(table, processor, 0x07);
        uint8_t family = 0;
        if (!manufacturer || manufacturer[0] == '\0' || !StructureByte(processor, 0x06, family) || family == 2)
            continue;
        ++count;
        if (text::EqualsNoCase(manufacturer, "Intel")) intel = true;
    }
    out.Message("done counting physical processors...");
    out.Number("NumOfProcessor", count);
    out.Value("Tables", "Finished");
    if (intel) {
        out.Message("checking for locical processors...");
        out.Number("LogicalProcessors", static_cast<int>(osProcessorCount));
    } else {
        out.Message("not Intel assuming no locical processors...");
        out.Number("LogicalProcessors", 0);
    }
}

}  // namespace

SmbiosInventory CollectSmbiosInventory(SmbiosTable &table, unsigned osProcessorCount) {
    SmbiosInventory inventory;
    Collector out(inventory);
    out.Line("Found SMBIOS...", "");
    char version[64];
    text::FormatBounded(version, sizeof version, "%d.%d", table.MajorVersion(), table.MinorVersion());
    out.Value("SMBIOSVer", version);
    CollectSystem(table, out);
    CollectBaseboard(table, out);
    CollectChassis(table, out);
    CollectProcessors(table, osProcessorCount, out);
    return inventory;
}
