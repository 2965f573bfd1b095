#include "smbios_table.h"

#include <cstring>

#include "hardware_diagnostics.h"

static const uint32_t kSegmentF = 0x000F0000;
static const uint32_t kSegmentE = 0x000E0000;
static const uint32_t kSegmentLength = 0x00010000;
// The 2.x entry point's own size; one that does not fit in the view is not read.
static const size_t kEntryPointSize = 0x1F;

static uint16_t ReadWord(const uint8_t *p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
static uint32_t ReadDword(const uint8_t *p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
           (static_cast<uint32_t>(p[3]) << 24);
}
static uint8_t Sum(const uint8_t *p, size_t count) {
    uint8_t sum = 0;
    for (size_t i = 0; i < count; ++i) sum = static_cast<uint8_t>(sum + p[i]);
    return sum;
}

SmbiosTable::SmbiosTable(std::unique_ptr<PhysicalMemorySource> memory) : memory_(std::move(memory)) {
    if (!memory_) return;
    if (!memory_->MapPhysicalMemory(kWindowBase, kWindowLength, window_)) {
        window_ = MemoryView{};
        return;
    }
    entryPoint_ = FindEntryPoint();
    if (!entryPoint_) {
        PrintHardwareDiagnostic("ERROR: Failed to find an SMBIOS Entry Point!\n");
        return;
    }
    entryPointValid_ = CheckEntryPoint();
    if (!entryPointValid_) {
        PrintHardwareDiagnostic("ERROR: SMBIOS Entry Point checksum is incorrect!\n");
        return;
    }
    LocateStructureTable();
    if (!entryPoint_) return;
    PrintHardwareDiagnostic("%25s = %08llX (%08X)\n", "SMBIOS Entry Point",
                            static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(entryPoint_)),
                            EntryPointAddress());
    PrintHardwareDiagnostic("%25s = %08llX (%08X)\n", "SMBIOS Structure Table",
                            static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(table_)), tableAddress_);
    PrintHardwareDiagnostic("\n");
}

SmbiosTable::~SmbiosTable() {
    if (memory_) {
        if (tableView_.Mapped()) memory_->UnmapPhysicalMemory(tableView_);
        if (window_.Mapped()) memory_->UnmapPhysicalMemory(window_);
    }
    window_ = MemoryView{};
    tableView_ = MemoryView{};
    memory_.reset();
    entryPoint_ = nullptr;
    table_ = nullptr;
    entryPointValid_ = false;
}

const uint8_t *SmbiosTable::SearchSegment(uint32_t segment) const {
    // Anchors sit on paragraph boundaries; the last one tested is segment + FFF0h.
    for (uint64_t address = segment; address + 4 <= uint64_t{segment} + kSegmentLength; address += 16) {
        if (window_.Holds(address, 4) && memcmp(window_.At(address), "_SM_", 4) == 0) return window_.At(address);
    }
    return nullptr;
}

const uint8_t *SmbiosTable::FindEntryPoint() const {
    if (!window_.Mapped()) return nullptr;
    if (const uint8_t *found = SearchSegment(kSegmentF)) return found;
    PrintHardwareDiagnostic("WARNING: SMBIOS Entry Point is not found in the F000h segment!\n");
    return SearchSegment(kSegmentE);
}

uint32_t SmbiosTable::EntryPointAddress() const {
    if (!entryPoint_) return 0;
    return static_cast<uint32_t>(window_.physical + static_cast<uint64_t>(entryPoint_ - window_.bytes));
}

bool SmbiosTable::CheckEntryPoint() const {
    if (!entryPoint_) return false;
    const uint64_t available = window_.BytesFrom(EntryPointAddress());
    if (available < kEntryPointSize) return false;
    if (memcmp(entryPoint_, "_SM_", 4) != 0 || memcmp(entryPoint_ + 0x10, "_DMI_", 5) != 0) return false;
    const size_t length = entryPoint_[0x05];
    if (length > available) return false;
    if (length > 0 && Sum(entryPoint_, length) != 0) return false;
    if (length > 0x10 && Sum(entryPoint_ + 0x10, length - 0x10) != 0) return false;
    return true;
}

// An anchor found at the very end of what is mapped has no version bytes behind it:
// such an entry point reads as version 0.0.
uint8_t SmbiosTable::MajorVersion() const {
    return entryPoint_ && window_.Holds(EntryPointAddress(), 0x07) ? entryPoint_[0x06] : 0;
}
uint8_t SmbiosTable::MinorVersion() const {
    return entryPoint_ && window_.Holds(EntryPointAddress(), 0x08) ? entryPoint_[0x07] : 0;
}

bool SmbiosTable::VersionAtLeast(uint8_t major, uint8_t minor) const {
    return MajorVersion() > major || (MajorVersion() == major && MinorVersion() >= minor);
}

void SmbiosTable::LocateStructureTable() {
    tableLength_ = ReadWord(entryPoint_ + 0x16);
    tableAddress_ = ReadDword(entryPoint_ + 0x18);
    if (window_.Holds(tableAddress_, tableLength_)) {
        table_ = window_.At(tableAddress_);
        tableBytes_ = tableLength_;
        return;
    }
    // Many boards keep the table above 1 MB: it gets a view of its own, and is
    // never read through the window it does not lie in.
    if (tableLength_ > 0 && memory_->MapPhysicalMemory(tableAddress_, tableLength_, tableView_) &&
        tableView_.BytesFrom(tableAddress_) > 0) {
        table_ = tableView_.At(tableAddress_);
        uint64_t available = tableView_.BytesFrom(tableAddress_);
        tableBytes_ = available < tableLength_ ? static_cast<size_t>(available) : tableLength_;
        if (tableBytes_ < tableLength_) {
            PrintHardwareDiagnostic("WARNING: SMBIOS Structure Table is cut short: %u of %u bytes readable!\n",
                                    static_cast<unsigned>(tableBytes_), static_cast<unsigned>(tableLength_));
        }
        return;
    }
    if (tableView_.Mapped()) memory_->UnmapPhysicalMemory(tableView_);
    tableView_ = MemoryView{};
    if (tableLength_ == 0) return;  // an empty table: nothing to walk
    // A table out of reach is no SMBIOS at all: the inventory then asks the
    // operating system instead of finding nothing.
    PrintHardwareDiagnostic("ERROR: Could not read the SMBIOS Structure Table at %08X length %04X!\n",
                            tableAddress_, tableLength_);
    tableUnreachable_ = true;
    entryPoint_ = nullptr;
    entryPointValid_ = false;
}

// Size of the structure at offset when it lies whole inside [0, bound), else 0.
static size_t WholeStructureSize(const uint8_t *table, size_t bound, size_t offset) {
    if (!table || offset >= bound || bound - offset < 4) return 0;
    const size_t formatted = table[offset + 1];
    if (formatted < 4 || formatted > bound - offset) return 0;
    for (size_t i = offset + formatted; i + 1 < bound; ++i) {
        if (table[i] == 0 && table[i + 1] == 0) return i + 2 - offset;
    }
    return 0;
}

bool SmbiosTable::HoldsStructures() const { return WholeStructureSize(table_, tableBytes_, 0) > 0; }

size_t SmbiosTable::OffsetOf(const uint8_t *structure) const {
    if (!table_ || !structure || structure < table_ || structure >= table_ + tableBytes_) return kNoCursor;
    return static_cast<size_t>(structure - table_);
}

size_t SmbiosTable::StructureSize(const uint8_t *structure) const {
    size_t offset = OffsetOf(structure);
    return offset == kNoCursor ? 0 : WholeStructureSize(table_, tableBytes_, offset);
}

const uint8_t *SmbiosTable::FindFrom(size_t offset, uint8_t type) const {
    while (offset < tableBytes_) {
        size_t size = WholeStructureSize(table_, tableBytes_, offset);
        if (size == 0) return nullptr;
        if (table_[offset] == type) return table_ + offset;
        offset += size;
    }
    return nullptr;
}

const uint8_t *SmbiosTable::FindFirstStructure(uint8_t type) {
    const uint8_t *found = FindFrom(0, type);
    if (found) {
        iterationType_ = type;
        cursor_ = OffsetOf(found) + StructureSize(found);
    } else {
        cursor_ = kNoCursor;
    }
    return found;
}

const uint8_t *SmbiosTable::FindNextStructure() {
    if (cursor_ == kNoCursor) return nullptr;
    const uint8_t *found = FindFrom(cursor_, iterationType_);
    cursor_ = found ? OffsetOf(found) + StructureSize(found) : kNoCursor;
    return found;
}

const char *SmbiosTable::GetStructureString(const uint8_t *structure, uint8_t index) const {
    if (index == 0) return nullptr;
    const size_t size = StructureSize(structure);
    if (size == 0) return nullptr;
    const uint8_t *end = structure + size;  // the string set ends in two zeros before here
    const uint8_t *p = structure + structure[1];
    while (p < end && *p != 0) {
        if (--index == 0) return reinterpret_cast<const char *>(p);
        while (p < end && *p != 0) ++p;
        if (p == end) break;
        ++p;
    }
    return nullptr;
}

bool StructureByte(const uint8_t *structure, size_t offset, uint8_t &value) {
    if (!structure || offset + 1 > structure[1]) return false;
    value = structure[offset];
    return true;
}

bool StructureDword(const uint8_t *structure, size_t offset, uint32_t &value) {
    if (!structure || offset + 4 > structure[1]) return false;
    value = ReadDword(structure + offset);
    return true;
}

const char *StructureText(const SmbiosTable &table, const uint8_t *structure, size_t offset) {
    uint8_t index = 0;
    if (!StructureByte(structure, offset, index)) return nullptr;
    return table.GetStructureString(structure, index);
}
