// The entry point search and check, the structure walk and the string fetch, on
// machines built byte by byte in guarded memory.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>

#include "hardware/smbios_table.h"
#include "synthetic_smbios.h"

using namespace hwtest;

namespace {

const uint32_t kTableAt = 0x000F8000;

Machine DesktopAt(uint32_t entryPointAt) {
    Machine machine;
    machine.PutSmbios(entryPointAt, 2, 3, kTableAt, DesktopTable());
    return machine;
}

TEST(EntryPointSearch, FindsTheFirstAndTheLastParagraphOfTheF000hSegment) {
    DiagnosticCapture lines;
    auto first = DesktopAt(0x000F0000).Open();
    EXPECT_EQ(0x000F0000u, first->EntryPointAddress());
    EXPECT_TRUE(first->EntryPointValid());
    EXPECT_EQ(std::string::npos, lines.Text().find("WARNING"));

    // The last paragraph: found, but its 1Fh bytes run past the end of the
    // first megabyte, so it cannot be valid and nothing past it is read.
    Machine last;
    last.Put(0x000F0000 + 0xFFF0, Bytes{'_', 'S', 'M', '_', 0, 0x1F, 2, 3});
    auto table = last.Open();
    EXPECT_EQ(0x000FFFF0u, table->EntryPointAddress());
    EXPECT_FALSE(table->EntryPointValid());
    EXPECT_NE(std::string::npos, lines.Text().find("ERROR: SMBIOS Entry Point checksum is incorrect!\n"));
}

TEST(EntryPointSearch, TheE000hSegmentIsSearchedOnlyAfterTheWarning) {
    DiagnosticCapture lines;
    auto table = DesktopAt(0x000E0010).Open();
    EXPECT_EQ(0x000E0010u, table->EntryPointAddress());
    EXPECT_TRUE(table->EntryPointValid());
    EXPECT_EQ(0u, lines.Text().find("WARNING: SMBIOS Entry Point is not found in the F000h segment!\n"));

    // Both segments hold one: F000h wins.
    Machine both = DesktopAt(0x000E0010);
    both.Put(0x000F4000, EntryPoint(2, 4, kTableAt, static_cast<uint16_t>(DesktopTable().size())));
    EXPECT_EQ(0x000F4000u, both.Open()->EntryPointAddress());
}

TEST(EntryPointSearch, TheD000hSegmentAndUnalignedAnchorsAreNotSearched) {
    DiagnosticCapture lines;
    EXPECT_EQ(nullptr, DesktopAt(0x000D0000).Open()->EntryPoint());
    EXPECT_EQ(nullptr, DesktopAt(0x000F0008).Open()->EntryPoint());
    EXPECT_NE(std::string::npos, lines.Text().find("ERROR: Failed to find an SMBIOS Entry Point!\n"));
    EXPECT_EQ(nullptr, SmbiosTable(nullptr).EntryPoint());
}

TEST(EntryPointSearch, AWindowShorterThanMappedIsSearchedOnlyWhereMapped) {
    // Windows cut at several places, down to one that ends inside an anchor or
    // just behind it: the guard page after each makes any read beyond it fail
    // the test. Version bytes that are not mapped read as 0.
    for (uint32_t length : {0x10000u, 0x20000u, 0x20002u, 0x20003u, 0x20004u, 0x20006u, 0x20007u, 0x20010u,
                            0x2001Fu}) {
        Machine machine(length);
        const Bytes start = {'_', 'S', 'M', '_', 0, 0x1F, 2, 3};
        const size_t fits = length > 0x20000 ? std::min<size_t>(start.size(), length - 0x20000) : 0;
        if (fits) machine.Put(0x000F0000, Bytes(start.begin(), start.begin() + fits));
        auto table = machine.Open();
        if (length >= 0x20004u) {
            EXPECT_EQ(0x000F0000u, table->EntryPointAddress()) << std::hex << length;
            EXPECT_FALSE(table->EntryPointValid()) << std::hex << length;
            EXPECT_EQ(fits >= 7 ? 2 : 0, table->MajorVersion()) << std::hex << length;
            EXPECT_EQ(fits >= 8 ? 3 : 0, table->MinorVersion()) << std::hex << length;
        } else {
            EXPECT_EQ(nullptr, table->EntryPoint()) << std::hex << length;
        }
    }
}

TEST(EntryPointCheck, WrongIntermediateAnchorOrChecksumLeavesTheEntryPointWithoutATable) {
    DiagnosticCapture lines;
    const Bytes good = EntryPoint(2, 3, kTableAt, static_cast<uint16_t>(DesktopTable().size()));
    Bytes wrongAnchor = good;
    wrongAnchor[0x14] = 'X';
    FixChecksums(wrongAnchor);
    Bytes badSum = good;
    badSum[4] ^= 1;
    // A changed byte in 10h-1Eh with only the first sum mended still fails.
    Bytes badIntermediate = good;
    badIntermediate[0x1D] = static_cast<uint8_t>(badIntermediate[0x1D] + 1);
    badIntermediate[4] = static_cast<uint8_t>(badIntermediate[4] - 1);

    for (const Bytes &entry : {wrongAnchor, badSum, badIntermediate}) {
        Machine machine;
        machine.Put(0x000F0000, entry);
        machine.Put(kTableAt, DesktopTable());
        auto table = machine.Open();
        EXPECT_EQ(0x000F0000u, table->EntryPointAddress());
        EXPECT_FALSE(table->EntryPointValid());
        EXPECT_EQ(0u, table->StructureTableBytes());
        EXPECT_EQ(nullptr, table->FindFirstStructure(1));
        EXPECT_EQ(nullptr, table->FindNextStructure());
    }
    EXPECT_NE(std::string::npos, lines.Text().find("ERROR: SMBIOS Entry Point checksum is incorrect!\n"));

    Machine sound;
    sound.Put(0x000F0000, good);
    sound.Put(kTableAt, DesktopTable());
    EXPECT_TRUE(sound.Open()->CheckEntryPoint());
}

TEST(StructureTable, ATableAboveTheWindowIsReadThroughAViewOfItsOwn) {
    DiagnosticCapture lines;
    const uint32_t high = 0x7FFF0000;
    const Bytes tableBytes = DesktopTable();
    Machine machine;
    machine.Put(0x000F0000, EntryPoint(2, 3, high, static_cast<uint16_t>(tableBytes.size())));
    machine.PutBlock(high, tableBytes);
    auto memory = machine.Memory();
    GuardedMemory *views = memory.get();
    {
        SmbiosTable table(std::move(memory));
        EXPECT_EQ(2, views->OpenViews());
        const uint8_t *board = table.FindFirstStructure(2);
        ASSERT_NE(nullptr, board);
        EXPECT_STREQ("0A7Ch", table.GetStructureString(board, 2));
        EXPECT_NE(std::string::npos, lines.Text().find("SMBIOS Structure Table = "));
        EXPECT_NE(std::string::npos, lines.Text().find("(7FFF0000)\n"));
    }
}

TEST(StructureTable, ATableOutOfReachCountsAsNoSmbios) {
    DiagnosticCapture lines;
    Machine machine;
    machine.Put(0x000F0000, EntryPoint(2, 3, 0x7FFF0000, 0x200));
    auto table = machine.Open();
    EXPECT_EQ(nullptr, table->EntryPoint());
    EXPECT_TRUE(table->TableUnreachable());
    EXPECT_NE(std::string::npos,
              lines.Text().find("ERROR: Could not read the SMBIOS Structure Table at 7FFF0000 length 0200!\n"));

    // Partly inside the window is not inside it: the table's own view is asked
    // for, and here the memory ends at 1 MB, so the table is cut short there.
    Machine straddling;
    straddling.Put(0x000F0000, EntryPoint(2, 3, 0x000FFF00, 0x200));
    auto cut = straddling.Open();
    EXPECT_FALSE(cut->TableUnreachable());
    EXPECT_EQ(0x100u, cut->StructureTableBytes());
}

TEST(StructureTable, ATableCutShortEndsTheWalkWhereTheMemoryEnds) {
    DiagnosticCapture lines;
    const uint32_t high = 0x00FF0000;
    const Bytes tableBytes = DesktopTable();
    // The memory ends inside the chassis structure.
    Machine machine;
    machine.Put(0x000F0000, EntryPoint(2, 3, high, static_cast<uint16_t>(tableBytes.size())));
    const uint8_t *scan = tableBytes.data();
    size_t cut = 0;
    while (scan[cut] != 3) {  // walk to the chassis by the headers of the well-formed table
        size_t i = cut + scan[cut + 1];
        while (scan[i] || scan[i + 1]) ++i;
        cut = i + 2;
    }
    machine.PutBlock(high, Bytes(tableBytes.begin(), tableBytes.begin() + cut + 10));
    auto table = machine.Open();
    EXPECT_EQ(cut + 10, table->StructureTableBytes());
    EXPECT_NE(nullptr, table->FindFirstStructure(2));
    EXPECT_EQ(nullptr, table->FindFirstStructure(3));
    EXPECT_EQ(nullptr, table->FindFirstStructure(4));
    EXPECT_NE(std::string::npos, lines.Text().find("WARNING: SMBIOS Structure Table is cut short"));
}

TEST(StructureWalk, SizesStringsAndIteration) {
    const Bytes bare = Structure(9, {1, 2, 3});
    const Bytes twoTexts = Structure(11, {2}, {"first", "second"});
    Machine machine;
    machine.PutSmbios(0x000F0000, 2, 3, kTableAt,
                      Join({bare, twoTexts, Structure(4, {0, 0, 0, 0}), Structure(127, {}), Structure(4, {1, 0, 0, 0}),
                            Structure(4, {2, 0, 0, 0})}));
    auto table = machine.Open();

    const uint8_t *noTexts = table->FindFirstStructure(9);
    ASSERT_NE(nullptr, noTexts);
    EXPECT_EQ(7u + 2u, table->StructureSize(noTexts));
    for (int index : {0, 1, 2, 255}) EXPECT_EQ(nullptr, table->GetStructureString(noTexts, index));

    const uint8_t *texts = table->FindFirstStructure(11);
    ASSERT_NE(nullptr, texts);
    EXPECT_EQ(5u + 6u + 7u + 1u, table->StructureSize(texts));
    EXPECT_EQ(nullptr, table->GetStructureString(texts, 0));
    EXPECT_STREQ("first", table->GetStructureString(texts, 1));
    EXPECT_STREQ("second", table->GetStructureString(texts, 2));
    EXPECT_EQ(nullptr, table->GetStructureString(texts, 3));

    // Every type 4 in table order, past the end-of-table structure (the walk is
    // bounded by the table length alone), then none, and none again.
    std::vector<int> seen;
    for (const uint8_t *s = table->FindFirstStructure(4); s; s = table->FindNextStructure()) seen.push_back(s[4]);
    EXPECT_EQ((std::vector<int>{0, 1, 2}), seen);
    EXPECT_EQ(nullptr, table->FindNextStructure());

    EXPECT_EQ(nullptr, table->FindFirstStructure(17));
    EXPECT_EQ(nullptr, table->FindNextStructure());

    // Pointers that are not structures of this table.
    const uint8_t foreign[8] = {1, 4, 0, 0, 'a', 0, 0, 0};
    EXPECT_EQ(0u, table->StructureSize(foreign));
    EXPECT_EQ(nullptr, table->GetStructureString(foreign, 1));
    EXPECT_EQ(nullptr, table->GetStructureString(nullptr, 1));
}

TEST(StructureWalk, BrokenStructuresEndTheWalkInsideTheTable) {
    const Bytes before = Structure(1, {1}, {"kept"});
    const Bytes after = Structure(2, {}, {"never"});
    struct Case {
        const char *what;
        Bytes broken;
    };
    const std::vector<Case> cases = {
        {"formatted length 0", {5, 0, 0, 0, 0, 0}},
        {"formatted length 1", {5, 1, 0, 0, 0, 0}},
        {"formatted length 3", {5, 3, 0, 0, 0, 0}},
        {"formatted length past the table", {5, 0xFF, 0, 0, 0, 0}},
    };
    for (const Case &c : cases) {
        Machine machine;
        machine.PutSmbios(0x000F0000, 2, 3, kTableAt, Join({before, c.broken, after}));
        auto table = machine.Open();
        EXPECT_NE(nullptr, table->FindFirstStructure(1)) << c.what;
        EXPECT_EQ(nullptr, table->FindFirstStructure(5)) << c.what;
        EXPECT_EQ(nullptr, table->FindFirstStructure(2)) << c.what;
    }

    // The table's last structure lacks its closing zeros: it is not whole, and
    // its texts are not read.
    const uint32_t high = 0x00FF0000;
    Bytes unterminated = {7, 5, 0, 0, 1, 'a', 'b', 'c'};
    Bytes tableBytes = Join({before, unterminated});
    Machine machine;
    machine.Put(0x000F0000, EntryPoint(2, 3, high, static_cast<uint16_t>(tableBytes.size())));
    machine.PutBlock(high, tableBytes);
    auto table = machine.Open();
    EXPECT_NE(nullptr, table->FindFirstStructure(1));
    EXPECT_EQ(nullptr, table->FindFirstStructure(7));
}

TEST(StructureWalk, RandomTablesNeverReadOutsideTheirMemory) {
    // Random bytes at the very end of guarded memory: every look-up and every
    // text fetch must stay inside, whatever the bytes say.
    std::mt19937 random(20240607);
    const uint32_t high = 0x00FF0000;
    for (int round = 0; round < 200; ++round) {
        const size_t length = 1 + random() % 600;
        Bytes bytes(length);
        for (uint8_t &b : bytes) b = static_cast<uint8_t>(random() % 4 == 0 ? 0 : random());
        // Small formatted lengths and types make long walks likely.
        for (size_t i = 0; i + 1 < length; i += 1 + random() % 40) {
            bytes[i] = static_cast<uint8_t>(random() % 6);
            bytes[i + 1] = static_cast<uint8_t>(random() % 12);
        }
        Machine machine;
        const uint16_t declared = static_cast<uint16_t>(length + (round % 3 == 0 ? random() % 100 : 0));
        machine.Put(0x000F0000, EntryPoint(2, 3, high, declared));
        machine.PutBlock(high, bytes);
        auto table = machine.Open();
        for (int type = 0; type < 6; ++type) {
            for (const uint8_t *s = table->FindFirstStructure(static_cast<uint8_t>(type)); s;
                 s = table->FindNextStructure()) {
                ASSERT_GE(table->StructureSize(s), 4u);
                for (int index = 1; index < 8; ++index) {
                    if (const char *t = table->GetStructureString(s, static_cast<uint8_t>(index))) (void)strlen(t);
                }
                uint32_t field = 0;
                StructureDword(s, 0x0D, field);
            }
        }
    }
}

TEST(StructureFields, FieldsBeyondTheFormattedAreaAreAbsent) {
    Machine machine;
    machine.PutSmbios(0x000F0000, 2, 3, kTableAt, Structure(3, {1, 0x89}, {"Maker", "more text here"}));
    auto table = machine.Open();
    const uint8_t *chassis = table->FindFirstStructure(3);
    ASSERT_NE(nullptr, chassis);
    uint8_t value = 0;
    EXPECT_TRUE(StructureByte(chassis, 0x05, value));
    EXPECT_EQ(0x89, value);
    EXPECT_FALSE(StructureByte(chassis, 0x06, value));
    uint32_t dword = 0;
    EXPECT_FALSE(StructureDword(chassis, 0x03, dword));
    EXPECT_STREQ("Maker", StructureText(*table, chassis, 0x04));
    EXPECT_EQ(nullptr, StructureText(*table, chassis, 0x06));
}

}  // namespace
