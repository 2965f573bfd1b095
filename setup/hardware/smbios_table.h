// The SMBIOS 2.x entry point ("_SM_") and structure table, read from a fixed
// window of physical memory below 1 MB. Every read is bounded by what is mapped.
// No Windows headers here.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>

#include "memory_source.h"

class SmbiosTable {
public:
    // The window that holds the D000h, E000h and F000h segments.
    static const uint32_t kWindowBase = 0x000D0000;
    static const uint32_t kWindowLength = 0x00030000;

    // Maps the window through the source, finds and checks the entry point and
    // locates the structure table. Never fails outright: what was not found stays
    // unset. A null source finds nothing.
    explicit SmbiosTable(std::unique_ptr<PhysicalMemorySource> memory);
    virtual ~SmbiosTable();
    SmbiosTable(const SmbiosTable &) = delete;
    SmbiosTable &operator=(const SmbiosTable &) = delete;

    // The first "_SM_" anchor in the F000h segment, else in the E000h segment.
    const uint8_t *FindEntryPoint() const;
    // Anchors and both checksums of the entry point found.
    bool CheckEntryPoint() const;

    // Set when SMBIOS was found (even when its checksum failed).
    const uint8_t *EntryPoint() const { return entryPoint_; }
    bool EntryPointValid() const { return entryPointValid_; }
    uint32_t EntryPointAddress() const;
    uint8_t MajorVersion() const;
    uint8_t MinorVersion() const;
    // True when the version is at least major.minor.
    bool VersionAtLeast(uint8_t major, uint8_t minor) const;

    // Set when the entry point named a table that no mapping could reach; the
    // entry point is then cleared, so that SMBIOS counts as not found.
    bool TableUnreachable() const { return tableUnreachable_; }
    uint32_t StructureTableAddress() const { return tableAddress_; }
    uint16_t StructureTableLength() const { return tableLength_; }
    // Bytes of the table that can be read (less than its length when cut short).
    size_t StructureTableBytes() const { return tableBytes_; }
    // A walk finds at least one whole structure in the table.
    bool HoldsStructures() const;

    // Size of a structure of the table: formatted area plus string set with its
    // two closing zero bytes. 0 for a structure that is not whole inside the
    // table (broken formatted length, string set running past the end).
    size_t StructureSize(const uint8_t *structure) const;

    // Walk of the table in order, bounded by its length; a structure that is not
    // whole ends the walk.
    const uint8_t *FindFirstStructure(uint8_t type);
    const uint8_t *FindNextStructure();

    // The index-th text (1-based) of a structure's string set, in place; null for
    // index 0, an index beyond the set, or a pointer that is no structure here.
    const char *GetStructureString(const uint8_t *structure, uint8_t index) const;

private:
    const uint8_t *SearchSegment(uint32_t segment) const;
    void LocateStructureTable();
    size_t OffsetOf(const uint8_t *structure) const;
    const uint8_t *FindFrom(size_t offset, uint8_t type) const;

    std::unique_ptr<PhysicalMemorySource> memory_;
    MemoryView window_;
    MemoryView tableView_;  // the table's own view when it lies outside the window
    const uint8_t *entryPoint_ = nullptr;
    bool entryPointValid_ = false;
    bool tableUnreachable_ = false;
    uint32_t tableAddress_ = 0;
    uint16_t tableLength_ = 0;
    const uint8_t *table_ = nullptr;
    size_t tableBytes_ = 0;
    static const size_t kNoCursor = static_cast<size_t>(-1);
    size_t cursor_ = kNoCursor;
    uint8_t iterationType_ = 0;
};

// A field of a structure's formatted area, read little-endian; false when the
// structure's formatted area is too short to hold it.
bool StructureByte(const uint8_t *structure, size_t offset, uint8_t &value);
bool StructureDword(const uint8_t *structure, size_t offset, uint32_t &value);
// The text that the index byte at offset names (null when absent).
const char *StructureText(const SmbiosTable &table, const uint8_t *structure, size_t offset);
