// What the SMBIOS path of the hardware inventory writes and logs, in order, as a
// plain list computed from the table. No I/O, no Windows headers.
#pragma once
#include <string>
#include <vector>

#include "smbios_table.h"

enum class InventoryAction {
    LogLine,        // key: first text, value: second text
    LogMessage,     // value: the text
    HardwareValue,  // [Hardware Detect] key = value in the hardware information file
    ScriptData,     // [DATA] key = value in the script file
};

struct InventoryEntry {
    InventoryAction action;
    std::string key;
    std::string value;
};

struct SmbiosInventory {
    std::vector<InventoryEntry> entries;
    bool makerMatched = false;  // a manufacturer text passed the maker test
};

// The SMBIOS path for a table whose entry point was found. osProcessorCount is
// what the operating system reports (written for an Intel processor).
SmbiosInventory CollectSmbiosInventory(SmbiosTable &table, unsigned osProcessorCount);
