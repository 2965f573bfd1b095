#include "synthetic_smbios.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <stdexcept>

#include "hardware/hardware_diagnostics.h"
#include "test_support.h"

namespace hwtest {

namespace {
// The reader's lines stay out of the test output unless a test captures them.
class QuietDiagnostics : public ::testing::Environment {
public:
    void SetUp() override { SetHardwareDiagnostics(nullptr); }
};
::testing::Environment *const g_quiet = ::testing::AddGlobalTestEnvironment(new QuietDiagnostics);
}  // namespace

Bytes Structure(uint8_t type, const Bytes &fields, const std::vector<std::string> &strings) {
    Bytes out = {type, static_cast<uint8_t>(4 + fields.size()), 0x34, 0x12};
    for (uint8_t field : fields) out.push_back(field);
    for (const std::string &s : strings) {
        for (char c : s) out.push_back(static_cast<uint8_t>(c));
        out.push_back(0);
    }
    if (strings.empty()) out.push_back(0);
    out.push_back(0);
    return out;
}

void FixChecksums(Bytes &ep) {
    const size_t length = ep[5];
    ep[0x15] = 0;
    uint8_t sum = 0;
    for (size_t i = 0x10; i < length; ++i) sum = static_cast<uint8_t>(sum + ep[i]);
    ep[0x15] = static_cast<uint8_t>(-sum);
    ep[4] = 0;
    sum = 0;
    for (size_t i = 0; i < length; ++i) sum = static_cast<uint8_t>(sum + ep[i]);
    ep[4] = static_cast<uint8_t>(-sum);
}

Bytes EntryPoint(uint8_t major, uint8_t minor, uint32_t tableAddress, uint16_t tableLength) {
    Bytes ep(0x1F, 0);
    memcpy(ep.data(), "_SM_", 4);
    ep[5] = 0x1F;
    ep[6] = major;
    ep[7] = minor;
    ep[8] = 0x40;
    memcpy(ep.data() + 0x10, "_DMI_", 5);
    ep[0x16] = static_cast<uint8_t>(tableLength);
    ep[0x17] = static_cast<uint8_t>(tableLength >> 8);
    for (int i = 0; i < 4; ++i) ep[0x18 + i] = static_cast<uint8_t>(tableAddress >> (8 * i));
    ep[0x1C] = 4;
    ep[0x1E] = static_cast<uint8_t>(major << 4 | minor);
    FixChecksums(ep);
    return ep;
}

Bytes Join(const std::vector<Bytes> &parts) {
    Bytes out;
    for (const Bytes &part : parts) out.insert(out.end(), part.begin(), part.end());
    return out;
}

GuardedMemory::~GuardedMemory() {
    for (Block &block : blocks_) VirtualFree(block.reservation, 0, MEM_RELEASE);
}

void GuardedMemory::Place(uint32_t physical, const Bytes &bytes) {
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    const size_t page = info.dwPageSize;
    const size_t dataPages = bytes.size() / page + 1;
    const size_t total = (dataPages + 2) * page;
    auto *base = static_cast<uint8_t *>(VirtualAlloc(nullptr, total, MEM_RESERVE, PAGE_NOACCESS));
    if (!base) throw std::runtime_error("VirtualAlloc failed");
    // Commit only the data pages; the block ends exactly where the guard page begins.
    VirtualAlloc(base + page, dataPages * page, MEM_COMMIT, PAGE_READWRITE);
    uint8_t *end = base + page + dataPages * page;
    uint8_t *start = end - bytes.size();
    if (!bytes.empty()) memcpy(start, bytes.data(), bytes.size());
    DWORD old;
    VirtualProtect(base + page, dataPages * page, PAGE_READONLY, &old);
    blocks_.push_back(Block{physical, start, bytes.size(), base});
}

bool GuardedMemory::MapPhysicalMemory(uint32_t physical, uint32_t length, MemoryView &view) {
    for (const Block &block : blocks_) {
        MemoryView whole{block.bytes, block.physical, block.length};
        uint64_t available = whole.BytesFrom(physical);
        if (available == 0) continue;
        view.bytes = whole.At(physical);
        view.physical = physical;
        view.length = available < length ? available : length;
        ++openViews_;
        return true;
    }
    return false;
}

void GuardedMemory::UnmapPhysicalMemory(const MemoryView &) { --openViews_; }

void Machine::Put(uint32_t physical, const Bytes &bytes) {
    size_t offset = physical - SmbiosTable::kWindowBase;
    if (offset + bytes.size() > window_.size()) throw std::runtime_error("outside the window");
    memcpy(window_.data() + offset, bytes.data(), bytes.size());
}

void Machine::PutSmbios(uint32_t at, uint8_t major, uint8_t minor, uint32_t tableAt, const Bytes &table) {
    Put(at, EntryPoint(major, minor, tableAt, static_cast<uint16_t>(table.size())));
    Put(tableAt, table);
}

std::unique_ptr<GuardedMemory> Machine::Memory() const {
    auto memory = std::make_unique<GuardedMemory>();
    if (!window_.empty()) memory->Place(SmbiosTable::kWindowBase, window_);
    for (const auto &block : blocks_) memory->Place(block.first, block.second);
    return memory;
}

std::unique_ptr<SmbiosTable> Machine::Open() const { return std::make_unique<SmbiosTable>(Memory()); }

Bytes DesktopTable(const DesktopTexts &t) {
    Bytes uuid = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0A, 0x0B, 0x0C, 0x0D, 0x0E, 0x0F, 0x10};
    Bytes system = {1, 2, 3, 4};
    system.insert(system.end(), uuid.begin(), uuid.end());
    system.push_back(0x06);  // wake-up: power switch
    Bytes chassis = {1, t.chassisType, 2, 3, 4, 0x03, 0x04, 0x05, 0x04, 0x78, 0x56, 0x34, 0x12};
    return Join({
        Structure(0, {1, 2, 0, 0xE8, 3, 0}, {"BIOS Maker", "1.0", "01/01/2020"}),
        Structure(1, system, {t.systemMaker, t.product, "V1", "SYS-SERIAL"}),
        Structure(2, {1, 2, 3, 4}, {t.boardMaker, t.boardProduct, "B-REV", "B-SERIAL"}),
        Structure(3, chassis, {t.chassisMaker, "C-VER", "C-SERIAL", "ASSET-1"}),
        Structure(4, {1, 3, 0x0B, 2}, {"CPU 0", t.processorMaker}),
        Structure(127, {}),
    });
}

DiagnosticCapture::DiagnosticCapture() {
    path_ = testing_support::FreshFolder("hwdiagnostics") + "\\lines.txt";
    file_ = fopen(path_.c_str(), "w+b");
    SetHardwareDiagnostics(file_);
}

DiagnosticCapture::~DiagnosticCapture() {
    SetHardwareDiagnostics(nullptr);
    if (file_) fclose(file_);
}

std::string DiagnosticCapture::Text() {
    if (!file_) return "";
    fflush(file_);
    return testing_support::ReadFile(path_);
}

}  // namespace hwtest
