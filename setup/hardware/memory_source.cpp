#include "memory_source.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <new>

void ByteMemory::Place(uint32_t physical, std::vector<uint8_t> bytes) {
    blocks_.push_back(Block{physical, std::move(bytes)});
}

bool ByteMemory::MapPhysicalMemory(uint32_t physical, uint32_t length, MemoryView &view) {
    for (const Block &block : blocks_) {
        MemoryView whole{block.bytes.data(), block.physical, block.bytes.size()};
        uint64_t available = whole.BytesFrom(physical);
        if (available == 0) continue;
        view.bytes = whole.At(physical);
        view.physical = physical;
        view.length = std::min<uint64_t>(available, length);
        return true;
    }
    const Block *first = nullptr;
    for (const Block &block : blocks_) {
        const bool inside = !block.bytes.empty() && block.physical > physical &&
                            block.physical - uint64_t{physical} < length;
        if (inside && (!first || block.physical < first->physical)) first = &block;
    }
    if (!first) return false;
    view.bytes = first->bytes.data();
    view.physical = first->physical;
    view.length = std::min<uint64_t>(first->bytes.size(), uint64_t{physical} + length - first->physical);
    return true;
}

static std::string OpenFailure(const std::string &path) {
    int code = errno;
    return "cannot read " + path + ": " + (code ? strerror(code) : "unknown error");
}

bool ImageFileMemory::Open(std::string &reason) {
    errno = 0;
    std::ifstream in(path_, std::ios::binary | std::ios::ate);
    if (!in) {
        reason = OpenFailure(path_);
        return false;
    }
    std::streamoff end = in.tellg();
    if (end < 0) {
        reason = "cannot read " + path_ + ": its size is unknown";
        return false;
    }
    size_ = static_cast<uint64_t>(end);
    return true;
}

bool ImageFileMemory::MapPhysicalMemory(uint32_t physical, uint32_t length, MemoryView &view) {
    if (physical >= size_ || length == 0) return false;
    uint64_t count = std::min<uint64_t>(length, size_ - physical);
    std::unique_ptr<uint8_t[]> buffer(new (std::nothrow) uint8_t[count]);
    if (!buffer) return false;
    std::ifstream in(path_, std::ios::binary);
    in.seekg(static_cast<std::streamoff>(physical));
    in.read(reinterpret_cast<char *>(buffer.get()), static_cast<std::streamsize>(count));
    std::streamsize got = in.gcount();
    if (got <= 0) return false;
    view.bytes = buffer.get();
    view.physical = physical;
    view.length = static_cast<uint64_t>(got);
    views_.push_back(std::move(buffer));
    return true;
}

void ImageFileMemory::UnmapPhysicalMemory(const MemoryView &view) {
    auto held = std::find_if(views_.begin(), views_.end(),
                             [&](const std::unique_ptr<uint8_t[]> &buffer) { return buffer.get() == view.bytes; });
    if (held != views_.end()) views_.erase(held);
}

// The 2.x entry point and its table: 20h bytes of header and at most a 16-bit
// table length. Anything past that in the file is never looked at.
static const uint64_t kLargestDump = 0x20 + 0x10000;
static const uint32_t kDumpEntryPointAddress = 0x000F0000;
static const size_t kDumpEntryPointLength = 0x20;

std::unique_ptr<ByteMemory> LoadDumpMemory(const std::string &path, std::string &reason) {
    errno = 0;
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        reason = OpenFailure(path);
        return nullptr;
    }
    std::vector<uint8_t> content(kLargestDump);
    in.read(reinterpret_cast<char *>(content.data()), static_cast<std::streamsize>(content.size()));
    std::streamsize got = in.gcount();
    if (in.bad() || got < 0) {
        reason = "cannot read " + path;
        return nullptr;
    }
    content.resize(static_cast<size_t>(got));

    // Only the entry point is placed in the BIOS area: a table address that
    // points anywhere but into the file finds nothing there, not zeros.
    auto memory = std::make_unique<ByteMemory>();
    if (content.empty()) return memory;
    memory->Place(kDumpEntryPointAddress,
                  std::vector<uint8_t>(content.begin(),
                                       content.begin() + std::min(content.size(), kDumpEntryPointLength)));
    memory->Place(0, std::move(content));
    return memory;
}
