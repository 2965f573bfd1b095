// Where the SMBIOS reader gets physical memory from: the live machine (see
// physical_memory.h), a raw memory image, or a dmidecode dump. The reader sees
// only bounded views. No Windows headers here.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// A mapped range: bytes[0 .. length) hold physical memory from `physical` on.
struct MemoryView {
    const uint8_t *bytes = nullptr;
    uint64_t physical = 0;
    uint64_t length = 0;

    bool Mapped() const { return bytes != nullptr; }
    // True when [address, address + count) lies wholly inside the view.
    bool Holds(uint64_t address, uint64_t count) const {
        return bytes && address >= physical && address - physical <= length &&
               count <= length - (address - physical);
    }
    // Bytes readable from address on (0 when the address is outside).
    uint64_t BytesFrom(uint64_t address) const {
        return Holds(address, 0) ? length - (address - physical) : 0;
    }
    const uint8_t *At(uint64_t address) const { return bytes + (address - physical); }
};

class PhysicalMemorySource {
public:
    virtual ~PhysicalMemorySource() = default;
    // Maps [physical, physical + length). The view may start below the address
    // asked for (mapping granularity), above it where a capture holds only part
    // of the range, and may be shorter than asked where the memory ends; false
    // when nothing of the range can be read.
    virtual bool MapPhysicalMemory(uint32_t physical, uint32_t length, MemoryView &view) = 0;
    virtual void UnmapPhysicalMemory(const MemoryView &view) = 0;
};

// Physical memory held as byte blocks placed at physical addresses. A range is
// read from the block that holds its start, else from the first block that
// starts inside it: what no block holds is never made up.
class ByteMemory : public PhysicalMemorySource {
public:
    // Places bytes at a physical address; blocks must not overlap.
    void Place(uint32_t physical, std::vector<uint8_t> bytes);
    bool MapPhysicalMemory(uint32_t physical, uint32_t length, MemoryView &view) override;
    void UnmapPhysicalMemory(const MemoryView &) override {}

private:
    struct Block {
        uint32_t physical;
        std::vector<uint8_t> bytes;
    };
    std::vector<Block> blocks_;
};

// A raw physical-memory image: the file offset is the physical address (as a
// hypervisor's "save guest memory from 0" writes it). Ranges are read on demand,
// so large images cost only what is mapped.
class ImageFileMemory : public PhysicalMemorySource {
public:
    explicit ImageFileMemory(std::string path) : path_(std::move(path)) {}
    // False with the reason when the file cannot be read.
    bool Open(std::string &reason);
    bool MapPhysicalMemory(uint32_t physical, uint32_t length, MemoryView &view) override;
    void UnmapPhysicalMemory(const MemoryView &view) override;

private:
    std::string path_;
    uint64_t size_ = 0;
    std::vector<std::unique_ptr<uint8_t[]>> views_;
};

// A `dmidecode --dump-bin` file: the entry point at offset 0, the table at 20h
// (the entry point's table address says so). It is presented as a machine whose
// entry point sits at the start of the F000h segment and whose table lies at
// physical 20h, so that the reader handles it like any other memory; nothing
// else of that memory is there. Null with the reason when the file cannot be read.
std::unique_ptr<ByteMemory> LoadDumpMemory(const std::string &path, std::string &reason);
