// The SMBIOS reader over a machine made of the input: the entry-point search and
// its checks, the walk of the structure table, the string fetch and the
// inventory's field reads.
//
// The input is the machine's F000h segment from its start (at most 64 KB); the
// rest of the window below 1 MB reads as zeros. The same bytes lie once more from
// physical 0, which is where a table address outside the window finds them: a
// dmidecode dump (entry point at 0, table at 20h) is thus a machine as it is.
#include <vector>

#include "fuzz_check.h"
#include "hardware/hardware_diagnostics.h"
#include "hardware/memory_source.h"
#include "hardware/smbios_inventory.h"
#include "hardware/smbios_table.h"

namespace {

const uint32_t kSegmentF = 0x000F0000;
const size_t kSegmentLength = 0x10000;

std::unique_ptr<ByteMemory> MachineOf(const uint8_t *data, size_t size) {
    auto memory = std::make_unique<ByteMemory>();
    // Blocks of exactly the input's size, so that a read past it is a finding.
    std::vector<uint8_t> window(kSegmentF - SmbiosTable::kWindowBase + size, 0);
    std::copy(data, data + size, window.begin() + (kSegmentF - SmbiosTable::kWindowBase));
    memory->Place(SmbiosTable::kWindowBase, std::move(window));
    memory->Place(0, std::vector<uint8_t>(data, data + size));
    return memory;
}

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
    SmbiosTable table(MachineOf(data, size));
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
