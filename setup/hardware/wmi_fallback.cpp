#include "wmi_fallback.h"

#include <windows.h>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "../engine/bounded_text.h"
#include "../engine/install_log.h"
#include "hwquery/hw_board.h"
#include "hwquery_client.h"
#include "inventory.h"
#include "smbios_rules.h"

namespace {

struct PropertyKey {
    const wchar_t *className;
    const wchar_t *propertyName;
    const char *key;        // in [Hardware Detect]
    bool manufacturer;      // the maker test applies
};

// Read and written in this order, before the board identifier.
const PropertyKey kSystemProperties[] = {
    {L"Win32_BIOS", L"Caption", "BIOSCaption", false},
    {L"Win32_BIOS", L"Description", "BIOSDesc", false},
    {L"Win32_BIOS", L"Manufacturer", "BIOSMfg", true},
    {L"Win32_BIOS", L"Name", "BIOSName", false},
    {L"Win32_BIOS", L"SerialNumber", "BIOSSerNum", false},
    {L"Win32_BIOS", L"SMBIOSVersion", "SMBIOSVersion", false},
    {L"Win32_BIOS", L"Version", "BIOSVersion", false},
    {L"Win32_ComputerSystemProduct", L"IdentifyingNumber", "SerialNumber", false},
    {L"Win32_ComputerSystemProduct", L"Name", "Product Name", false},
    {L"Win32_ComputerSystemProduct", L"UUID", "UUID", false},
    {L"Win32_ComputerSystemProduct", L"Vendor", "Manufacture", true},
    {L"Win32_ComputerSystemProduct", L"Version", "Version", false},
    {L"Win32_ComputerSystem", L"BootupState", "Boot-up-State", false},
    {L"Win32_ComputerSystem", L"ChassisBootupState", "Boot-up-State #", false},
    {L"Win32_ComputerSystem", L"NumberOfProcessors", "NumOfProcessor", false},
    {L"Win32_ComputerSystem", L"WakeUpType", "Wake Type #", false},
    {L"Win32_ComputerSystem", L"Description", "SystemDescription", false},
    {L"Win32_ComputerSystem", L"Manufacturer", "SystemManufacturer", true},
    {L"Win32_ComputerSystem", L"Model", "SystemModel", false},
    {L"Win32_ComputerSystem", L"PowerState", "Power State #", false},
    {L"Win32_ComputerSystem", L"PowerSupplyState", "Power Supply State #", false},
    {L"Win32_ComputerSystem", L"SystemType", "SystemType", false},
    {L"Win32_ComputerSystem", L"ThermalState", "Thermal State #", false},
    {L"Win32_ComputerSystem", L"TotalPhysicalMemory", "TotalPhysMem", false},
    {L"Win32_BaseBoard", L"Manufacturer", "Manufacturer", true},
};

// After the board identifier.
const PropertyKey kBoardProperties[] = {
    {L"Win32_BaseBoard", L"SerialNumber", "Serial Number2", false},
    {L"Win32_BaseBoard", L"Version", "Version2", false},
};

// After the chassis type.
const PropertyKey kChassisProperties[] = {
    {L"CIM_Chassis", L"LockPresent", "Chassis Lock", false},
    {L"CIM_Chassis", L"Manufacturer", "Manufacture3", true},
    {L"CIM_Chassis", L"SerialNumber", "Serial Number3", false},
    {L"CIM_Chassis", L"SMBIOSAssetTag", "AssetTag", false},
    {L"CIM_Chassis", L"Version", "Version3", false},
};

// What the reading thread found, handed to the thread that writes it. Once the
// writer has stopped waiting, nothing more is taken.
class HandOver {
public:
    struct Write {
        enum Kind { HardwareValue, ScriptData, Manufacturer } kind;
        std::string key, value;
    };

    void WriteHardwareValue(const char *key, const char *value) { Put({Write::HardwareValue, key, value}); }
    void WriteScriptData(const char *key, const char *value) { Put({Write::ScriptData, key, value}); }
    void NoteManufacturer(const char *value) { Put({Write::Manufacturer, "", value}); }
    void Finish() {
        std::lock_guard<std::mutex> lock(mutex_);
        finished_ = true;
        changed_.notify_all();
    }

    // Waits until the deadline for what comes; false when the reading did not end
    // by then. Everything handed over until then is applied, in order.
    template <typename Apply> bool Drain(std::chrono::steady_clock::time_point deadline, Apply apply) {
        std::unique_lock<std::mutex> lock(mutex_);
        for (;;) {
            bool ready = changed_.wait_until(lock, deadline, [this] { return finished_ || !writes_.empty(); });
            std::vector<Write> taken;
            taken.swap(writes_);
            bool finished = finished_;
            if (!ready) abandoned_ = true;
            lock.unlock();
            for (const Write &write : taken) apply(write);
            if (finished) return true;
            if (!ready) return false;
            lock.lock();
        }
    }

private:
    void Put(Write write) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (abandoned_) return;
        writes_.push_back(std::move(write));
        changed_.notify_all();
    }
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<Write> writes_;
    bool finished_ = false;
    bool abandoned_ = false;
};

// The buffers of one inventory: emptied once, before the first read. A read the
// library cannot answer leaves what the buffer held.
class Reader {
public:
    Reader(HwBoardClient &board, HandOver &writer) : board_(board), writer_(writer) {}

    // Reads into the wide buffer and converts it; returns the ANSI text.
    const char *Read(const wchar_t *className, const wchar_t *propertyName, wchar_t *wide, size_t wideCapacity,
                     char *ansi, size_t ansiCapacity) {
        board_.GetBoardProperty(className, propertyName, wide);
        wide[wideCapacity - 1] = L'\0';
        WideToAnsi(wide, ansi, ansiCapacity);
        return ansi;
    }
    const char *Read(const wchar_t *className, const wchar_t *propertyName) {
        return Read(className, propertyName, wideText_, kBoardTextCapacity, ansiText_, sizeof ansiText_);
    }

    void ReadAndWrite(const PropertyKey &property) {
        const char *value = Read(property.className, property.propertyName);
        writer_.WriteHardwareValue(property.key, value);
        if (property.manufacturer) writer_.NoteManufacturer(value);
    }
    template <size_t N> void ReadAndWrite(const PropertyKey (&properties)[N]) {
        for (const PropertyKey &property : properties) ReadAndWrite(property);
    }

    void WriteVersion() {
        const char *major = Read(L"Win32_BIOS", L"SMBIOSMajorVersion", wideMajor_, kBoardMajorVersionCapacity,
                                 ansiMajor_, sizeof ansiMajor_);
        const char *minor = Read(L"Win32_BIOS", L"SMBIOSMinorVersion", wideMinor_, kBoardMinorVersionCapacity,
                                 ansiMinor_, sizeof ansiMinor_);
        char version[sizeof ansiMajor_ + sizeof ansiMinor_];
        text::FormatBounded(version, sizeof version, "%s.%s", major, minor);
        writer_.WriteHardwareValue("SMBIOSVer", version);
    }

    // SYSID always, even empty; MachineID is the product's first four characters
    // without the "0x" that makes SYSID readable as a number.
    void WriteBoardIdentifier() {
        const char *product = Read(L"Win32_BaseBoard", L"Product");
        char systemId[32];
        SystemIdFromProduct(product, systemId, sizeof systemId);
        writer_.WriteScriptData("SYSID", systemId);
        char machineId[5];
        text::Copy(machineId, product);
        writer_.WriteHardwareValue("MachineID", machineId);
    }

    void WriteChassisType() {
        unsigned long chassisType = 2;  // stands when the library stores nothing
        board_.GetBoardChassisType(&chassisType);
        char value[32];
        text::FormatBounded(value, sizeof value, "0%lx", chassisType);
        writer_.WriteHardwareValue("Chassis Type #", value);
        const bool portable = ChassisIsPortable(static_cast<unsigned>(chassisType));
        writer_.WriteHardwareValue("IsPortable", portable ? "1" : "0");
    }

private:
    HwBoardClient &board_;
    HandOver &writer_;
    wchar_t wideText_[kBoardTextCapacity] = L"";
    char ansiText_[512] = "";
    wchar_t wideMajor_[kBoardMajorVersionCapacity] = L"";
    char ansiMajor_[64] = "";
    wchar_t wideMinor_[kBoardMinorVersionCapacity] = L"";
    char ansiMinor_[128] = "";
};

}  // namespace

void WideToAnsi(const wchar_t *wide, char *ansi, size_t capacity) {
    if (WideCharToMultiByte(CP_ACP, 0, wide, -1, ansi, static_cast<int>(capacity), nullptr, nullptr) > 0) return;
    // Too long for the buffer: converted whole, then cut.
    int needed = WideCharToMultiByte(CP_ACP, 0, wide, -1, nullptr, 0, nullptr, nullptr);
    std::string whole(needed > 0 ? static_cast<size_t>(needed) : 1, '\0');
    if (needed > 0) WideCharToMultiByte(CP_ACP, 0, wide, -1, &whole[0], needed, nullptr, nullptr);
    text::CopyBounded(ansi, capacity, whole.c_str());
}

// The reading thread: builds the object (the library connects here), reads
// everything in order, and lets the object and the library go when done.
static void ReadEverything(std::unique_ptr<HwBoardClient> board, std::shared_ptr<HandOver> handOver) {
    if (board->Construct()) {
        Reader reader(*board, *handOver);
        reader.WriteVersion();
        reader.ReadAndWrite(kSystemProperties);
        reader.WriteBoardIdentifier();
        reader.ReadAndWrite(kBoardProperties);
        reader.WriteChassisType();
        reader.ReadAndWrite(kChassisProperties);
    }
    board.reset();
    handOver->Finish();
}

bool RunWmiFallback(InventoryWriter &writer, unsigned long boundMs) {
    LogMessage("Sleuth was unable to find SMBIOS.  Checking WMI");
    std::string failure;
    std::unique_ptr<HwBoardClient> board = HwBoardClient::Load(failure);
    if (!board) {
        if (!failure.empty()) LogMessage(("Sleuth: " + failure).c_str());
        LogMessage("Sleuth was unable to load Hw Query DLL");
        return false;
    }
    // The library may wait on a service that never answers, in its connection or
    // in any read: it runs on a thread of its own, and the run waits for it one
    // bounded time in all. A thread still waiting then is left behind, with the
    // object and the library it uses; what it finds later is not taken.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(boundMs);
    auto handOver = std::make_shared<HandOver>();
    std::thread(ReadEverything, std::move(board), handOver).detach();
    bool answered = handOver->Drain(deadline, [&writer](const HandOver::Write &write) {
        switch (write.kind) {
        case HandOver::Write::HardwareValue:
            writer.WriteHardwareValue(kHardwareSection, write.key.c_str(), write.value.c_str());
            break;
        case HandOver::Write::ScriptData: writer.WriteScriptData(write.key.c_str(), write.value.c_str()); break;
        case HandOver::Write::Manufacturer: writer.NoteManufacturer(write.value.c_str()); break;
        }
    });
    if (!answered) {
        char line[160];
        text::FormatBounded(line, sizeof line,
                            "Sleuth: WMI did not answer within %lu seconds; the keys read so far are kept",
                            (boundMs + 999) / 1000);
        LogMessage(line);
    }
    writer.WriteHardwareNumber(kHardwareSection, "LogicalProcessors", static_cast<int>(OsProcessorCount()));
    return true;
}
