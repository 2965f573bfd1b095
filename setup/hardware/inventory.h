// The hardware inventory step: [Hardware Detect] in the hardware information
// file, [DATA] SYSID and IsNorvik in the script file. kestrel runs it once at
// start-up; the inventory tool runs the same step on the live machine or on a
// captured one.
#pragma once
#include <cstdio>
#include <memory>
#include <string>

#include "smbios_table.h"

struct InventoryTarget {
    const char *hardwareFile = nullptr;  // where [Hardware Detect] goes
    const char *scriptFile = nullptr;    // [DATA] SYSID and IsNorvik; null: not written
    FILE *echo = nullptr;                // every key written, as "key=value" lines; null: quiet
};

// Writes the step's keys and remembers the maker test's verdict.
class InventoryWriter {
public:
    explicit InventoryWriter(const InventoryTarget &target) : target_(target) {}

    // key=text into the section of the hardware information file; 0, or 1 (and
    // nothing written) when section, key or text is absent.
    int WriteHardwareValue(const char *section, const char *key, const char *textValue);
    int WriteHardwareNumber(const char *section, const char *key, int number);
    // [DATA] key=text into the script file, when there is one.
    void WriteScriptData(const char *key, const char *textValue);
    // The maker test on a manufacturer text; a match marks the machine.
    void NoteManufacturer(const char *textValue);

    bool MakerMatched() const { return makerMatched_; }
    // The [DATA] SYSID this run gave, whether or not a script file took it.
    bool SystemIdGiven() const { return systemIdGiven_; }
    const std::string &SystemId() const { return systemId_; }
    void SetMakerMatched() { makerMatched_ = true; }
    // The first write the system refused, with its reason (empty when none).
    const std::string &WriteFailure() const { return writeFailure_; }

private:
    void Write(const char *section, const char *key, const char *textValue, const char *file);
    InventoryTarget target_;
    bool makerMatched_ = false;
    bool systemIdGiven_ = false;
    std::string systemId_;
    std::string writeFailure_;
};

extern const char kHardwareSection[];  // "Hardware Detect"

// The number of processors the operating system reports.
unsigned OsProcessorCount();

struct InventoryOutcome {
    bool smbiosFound = false;
    bool fallbackUnavailable = false;  // no SMBIOS, and HwQuery.dll could not be loaded
    bool makerMatched = false;
    bool systemIdGiven = false;  // [DATA] SYSID was given (the board product gave one)
    std::string systemId;
    std::string writeFailure;
};

// The whole step: the SMBIOS path when the table holds an entry point, else the
// operating system's instrumentation; then the maker mark in the script file.
InventoryOutcome RunHardwareInventory(SmbiosTable *table, const InventoryTarget &target);

// kestrel's start-up step: reads the live machine into the hardware information
// file and the working copy and sets the IsNorvik flag. The returned table keeps
// its memory mapped until it is destroyed at the end of the run.
std::unique_ptr<SmbiosTable> TakeHardwareInventory();
