// SMBIOS machines built byte by byte for the tests, held in guarded memory: every
// block ends where an inaccessible page begins, so a read past what is mapped
// crashes the test instead of passing unseen.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "hardware/memory_source.h"
#include "hardware/smbios_table.h"

namespace hwtest {

using Bytes = std::vector<uint8_t>;

// A structure: the 4-byte header, the fields after it, then the string set
// (two zero bytes when it has no strings).
Bytes Structure(uint8_t type, const Bytes &fields, const std::vector<std::string> &strings = {});

// A 2.x entry point (1Fh bytes) with correct checksums.
Bytes EntryPoint(uint8_t major, uint8_t minor, uint32_t tableAddress, uint16_t tableLength);
// Fixes both checksums of an entry point after a change.
void FixChecksums(Bytes &entryPoint);

Bytes Join(const std::vector<Bytes> &parts);

// Physical memory in guarded blocks.
class GuardedMemory : public PhysicalMemorySource {
public:
    ~GuardedMemory() override;
    void Place(uint32_t physical, const Bytes &bytes);
    bool MapPhysicalMemory(uint32_t physical, uint32_t length, MemoryView &view) override;
    void UnmapPhysicalMemory(const MemoryView &view) override;
    int OpenViews() const { return openViews_; }

private:
    struct Block {
        uint32_t physical;
        uint8_t *bytes;
        size_t length;
        void *reservation;
    };
    std::vector<Block> blocks_;
    int openViews_ = 0;
};

// A machine: the D0000h-FFFFFh window (zero-filled) plus blocks above it.
class Machine {
public:
    explicit Machine(uint32_t windowLength = SmbiosTable::kWindowLength) : window_(windowLength, 0) {}
    // Writes bytes at a physical address inside the window.
    void Put(uint32_t physical, const Bytes &bytes);
    // A block of its own anywhere outside the window.
    void PutBlock(uint32_t physical, const Bytes &bytes) { blocks_.push_back({physical, bytes}); }
    // An entry point at `at` for a table placed inside the window at tableAt.
    void PutSmbios(uint32_t at, uint8_t major, uint8_t minor, uint32_t tableAt, const Bytes &table);
    std::unique_ptr<GuardedMemory> Memory() const;
    std::unique_ptr<SmbiosTable> Open() const;

private:
    Bytes window_;
    std::vector<std::pair<uint32_t, Bytes>> blocks_;
};

// The usual four structures of a desktop: system, baseboard, chassis, processor.
struct DesktopTexts {
    std::string systemMaker = "Acme";
    std::string product = "Box 9";
    std::string boardMaker = "Acme";
    std::string boardProduct = "0A7Ch";
    std::string chassisMaker = "Acme";
    std::string processorMaker = "Intel";
    uint8_t chassisType = 0x03;
};
Bytes DesktopTable(const DesktopTexts &texts = DesktopTexts());

// Diagnostics of the reader captured into a file for the duration of a test.
class DiagnosticCapture {
public:
    DiagnosticCapture();
    ~DiagnosticCapture();
    std::string Text();

private:
    std::string path_;
    FILE *file_ = nullptr;
};

}  // namespace hwtest
