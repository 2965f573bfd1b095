#include "inventory.h"

#include <windows.h>

#include "../engine/bounded_text.h"
#include "../engine/install_log.h"
#include "../engine/run_state.h"
#include "physical_memory.h"
#include "smbios_inventory.h"
#include "smbios_rules.h"
#include "wmi_fallback.h"

const char kHardwareSection[] = "Hardware Detect";

void InventoryWriter::Write(const char *section, const char *key, const char *textValue, const char *file) {
    if (!WritePrivateProfileStringA(section, key, textValue, file) && writeFailure_.empty()) {
        char reason[512];
        DescribeLastError(reason, sizeof reason);
        writeFailure_ = std::string("cannot write ") + file + ": " + reason;
    }
    if (target_.echo) fprintf(target_.echo, "%s=%s\n", key, textValue);
}

int InventoryWriter::WriteHardwareValue(const char *section, const char *key, const char *textValue) {
    if (!section || !key || !textValue) return 1;
    Write(section, key, textValue, target_.hardwareFile);
    return 0;
}

int InventoryWriter::WriteHardwareNumber(const char *section, const char *key, int number) {
    char value[64];
    text::FormatBounded(value, sizeof value, "%d", number);
    return WriteHardwareValue(section, key, value);
}

void InventoryWriter::WriteScriptData(const char *key, const char *textValue) {
    if (key && textValue && lstrcmpiA(key, "SYSID") == 0) {
        systemIdGiven_ = true;
        systemId_ = textValue;
    }
    if (!target_.scriptFile || !key || !textValue) return;
    Write("DATA", key, textValue, target_.scriptFile);
}

void InventoryWriter::NoteManufacturer(const char *textValue) {
    if (MakerTest(textValue)) makerMatched_ = true;
}

unsigned OsProcessorCount() {
    SYSTEM_INFO info{};
    GetSystemInfo(&info);
    return info.dwNumberOfProcessors;
}

static void RunSmbiosPath(SmbiosTable &table, InventoryWriter &writer) {
    SmbiosInventory inventory = CollectSmbiosInventory(table, OsProcessorCount());
    for (const InventoryEntry &entry : inventory.entries) {
        switch (entry.action) {
        case InventoryAction::LogLine: LogLine(entry.key.c_str(), entry.value.c_str()); break;
        case InventoryAction::LogMessage: LogMessage(entry.value.c_str()); break;
        case InventoryAction::HardwareValue:
            writer.WriteHardwareValue(kHardwareSection, entry.key.c_str(), entry.value.c_str());
            break;
        case InventoryAction::ScriptData: writer.WriteScriptData(entry.key.c_str(), entry.value.c_str()); break;
        }
    }
    if (inventory.makerMatched) writer.SetMakerMatched();
}

InventoryOutcome RunHardwareInventory(SmbiosTable *table, const InventoryTarget &target) {
    InventoryWriter writer(target);
    InventoryOutcome outcome;
    outcome.smbiosFound = table && table->EntryPoint();
    if (outcome.smbiosFound)
        RunSmbiosPath(*table, writer);
    else
        outcome.fallbackUnavailable = !RunWmiFallback(writer);
    if (writer.MakerMatched()) writer.WriteScriptData("IsNorvik", "1");
    outcome.makerMatched = writer.MakerMatched();
    outcome.systemIdGiven = writer.SystemIdGiven();
    outcome.systemId = writer.SystemId();
    outcome.writeFailure = writer.WriteFailure();
    return outcome;
}

std::unique_ptr<SmbiosTable> TakeHardwareInventory() {
    std::unique_ptr<SmbiosTable> table = OpenLiveSmbiosTable();
    InventoryTarget target;
    target.hardwareFile = kHardwareInfoFile;
    target.scriptFile = g_run.scriptFile;
    if (RunHardwareInventory(table.get(), target).makerMatched) g_run.isNorvik = true;
    return table;
}
