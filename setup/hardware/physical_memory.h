// Physical memory of the live machine. On the Windows NT family through the
// native section object "\device\physicalmemory" (the native services are looked
// up at run time); on the Windows 9x family the first megabyte is addressable
// directly.
#pragma once
#include <memory>

#include "../engine/win_owners.h"
#include "memory_source.h"
#include "smbios_table.h"

// Looks up the five native services in ntdll.dll; false (and a line) when any is missing.
bool ResolveNativeServices();
// The read-only section handle, or INVALID_HANDLE_VALUE (and a line).
HANDLE OpenPhysicalMemory();
// "<text>: <system message for the status>".
void PrintStatusMessage(const char *textValue, long status);

class PhysicalMemory : public PhysicalMemorySource {
public:
    PhysicalMemory();
    ~PhysicalMemory() override;
    bool IsOpen() const { return section_.Valid(); }
    bool MapPhysicalMemory(uint32_t physical, uint32_t length, MemoryView &view) override;
    void UnmapPhysicalMemory(const MemoryView &view) override;

private:
    ScopedHandle section_{INVALID_HANDLE_VALUE};
};

// The Windows 9x first megabyte, read in place. A range is handed out only when
// it lies below 1 MB and can be read; elsewhere (a 9x version reported on another
// system) nothing is mapped.
class BiosAreaMemory : public PhysicalMemorySource {
public:
    bool MapPhysicalMemory(uint32_t physical, uint32_t length, MemoryView &view) override;
    void UnmapPhysicalMemory(const MemoryView &) override {}
};

// The source that fits the running system: the NT section or the 9x BIOS area.
std::unique_ptr<PhysicalMemorySource> OpenLiveMemory();
// The SMBIOS table of the live machine, as kestrel reads it at start-up.
std::unique_ptr<SmbiosTable> OpenLiveSmbiosTable();
