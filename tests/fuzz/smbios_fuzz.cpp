// The SMBIOS reader over a machine made of the input: the entry-point search and
// its checks, the walk of the structure table, the string fetch and the
// inventory's field reads.
//
// The input is the machine's F000h segment from its start (at most 64 KB); the
// rest of the window below 1 MB reads as zeros. The same bytes lie once more from
// physical 0, which is where a table address outside the window finds them: a
// dmidecode dump (entry point at 0, table at 20h) is thus a machine as it is.
#include <algorithm>

#include "fuzz_check.h"
#include "hardware/hardware_diagnostics.h"
#include "hardware/memory_source.h"
#include "hardware/smbios_inventory.h"
#include "hardware/smbios_table.h"

#if defined(__SANITIZE_ADDRESS__)
#define KESTREL_FUZZ_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KESTREL_FUZZ_ASAN 1
#endif
#endif
#ifdef KESTREL_FUZZ_ASAN
#include <sanitizer/asan_interface.h>
#else
#define ASAN_POISON_MEMORY_REGION(address, size) ((void)(address), (void)(size))
#define ASAN_UNPOISON_MEMORY_REGION(address, size) ((void)(address), (void)(size))
#endif

namespace {

const uint32_t kSegmentF = 0x000F0000;
const size_t kSegmentLength = 0x10000;
const size_t kSegmentFOffset = kSegmentF - SmbiosTable::kWindowBase;

// The machine's memory ends where the input does: in the window right after the
// F000h segment's copy of it, and at physical 0 with the input's own bytes. The
// window's buffer is kept from run to run (a fresh 192 KB block each run costs
// more than the reading); the part of it past the input is poisoned, so that a
// read beyond what is mapped stays a finding of the sanitizer.
class FuzzMachine : public PhysicalMemorySource {
public:
    FuzzMachine(const uint8_t *data, size_t size) : data_(data), size_(size) {
        std::copy(data, data + size, Window() + kSegmentFOffset);
        ASAN_POISON_MEMORY_REGION(Window() + kSegmentFOffset + size, kSegmentLength - size);
    }
    ~FuzzMachine() override {
        ASAN_UNPOISON_MEMORY_REGION(Window() + kSegmentFOffset, kSegmentLength);
        std::fill(Window() + kSegmentFOffset, Window() + kSegmentFOffset + size_, 0);
    }

    bool MapPhysicalMemory(uint32_t physical, uint32_t length, MemoryView &view) override {
        const MemoryView blocks[] = {{Window(), SmbiosTable::kWindowBase, kSegmentFOffset + size_},
                                     {data_, 0, size_}};
        for (const MemoryView &block : blocks) {
            const uint64_t available = block.BytesFrom(physical);
            if (available == 0) continue;
            view = MemoryView{block.At(physical), physical, std::min<uint64_t>(available, length)};
            return true;
        }
        return false;
    }
    void UnmapPhysicalMemory(const MemoryView &) override {}

private:
    static uint8_t *Window() {
        static const std::unique_ptr<uint8_t[]> window(new uint8_t[SmbiosTable::kWindowLength]());
        return window.get();
    }
    const uint8_t *data_;
    size_t size_;
};

// The text lies inside the structure and ends there.
void CheckString(const uint8_t *structure, size_t size, const char *textValue) {
    const uint8_t *p = reinterpret_cast<const uint8_t *>(textValue);
    FUZZ_CHECK(p >= structure + structure[1] && p < structure + size);
    FUZZ_CHECK(memchr(p, 0, static_cast<size_t>(structure + size - p)) != nullptr);
}

void WalkType(SmbiosTable &table, uint8_t type) {
    for (const uint8_t *structure = table.FindFirstStructure(type); structure;
         structure = table.FindNextStructure()) {
        FUZZ_CHECK(structure[0] == type);
        const size_t size = table.StructureSize(structure);
        FUZZ_CHECK(size >= 6 && size >= structure[1] + 2u);
        FUZZ_CHECK(table.GetStructureString(structure, 0) == nullptr);
        for (unsigned index = 1; index <= 255; ++index) {
            const char *textValue = table.GetStructureString(structure, static_cast<uint8_t>(index));
            if (!textValue) break;
            CheckString(structure, size, textValue);
        }
        // Fields up to just past the formatted area: beyond it every read is refused alike.
        for (size_t offset = 0; offset < structure[1] + 5u; ++offset) {
            uint8_t byte = 0;
            uint32_t dword = 0;
            FUZZ_CHECK(StructureByte(structure, offset, byte) == (offset < structure[1]));
            FUZZ_CHECK(StructureDword(structure, offset, dword) == (offset + 4 <= structure[1]));
            if (const char *textValue = StructureText(table, structure, offset)) CheckString(structure, size, textValue);
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size > kSegmentLength) return -1;  // the segment holds no more
    SetHardwareDiagnostics(nullptr);
    SmbiosTable table(std::make_unique<FuzzMachine>(data, size));
    if (!table.EntryPoint()) {
        FUZZ_CHECK(table.FindFirstStructure(1) == nullptr);
        return 0;
    }
    // A found entry point counts as SMBIOS even when its checksum failed; its
    // table is then never read.
    if (!table.EntryPointValid()) FUZZ_CHECK(table.StructureTableBytes() == 0);
    const uint32_t address = table.EntryPointAddress();
    FUZZ_CHECK(address >= 0x000E0000 && address % 16 == 0 && address - kSegmentF < size);
    FUZZ_CHECK(table.StructureTableBytes() <= table.StructureTableLength());

    // The inventory's own types, the end-of-table mark and a type of its own.
    for (uint8_t type : {0, 1, 2, 3, 4, 11, 127, 200}) WalkType(table, type);

    SmbiosInventory inventory = CollectSmbiosInventory(table, 4);
    FUZZ_CHECK(!inventory.entries.empty());
    return 0;
}
