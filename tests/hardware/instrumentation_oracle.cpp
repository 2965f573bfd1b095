#include "instrumentation_oracle.h"

#include <windows.h>

#include <cstdio>
#include <sstream>

#include "test_support.h"

using namespace testing_support;

namespace hwtest {

const std::vector<FallbackProperty> kSystemReads = {
    {"Win32_BIOS", "Caption", "BIOSCaption"},
    {"Win32_BIOS", "Description", "BIOSDesc"},
    {"Win32_BIOS", "Manufacturer", "BIOSMfg"},
    {"Win32_BIOS", "Name", "BIOSName"},
    {"Win32_BIOS", "SerialNumber", "BIOSSerNum"},
    {"Win32_BIOS", "SMBIOSVersion", "SMBIOSVersion"},
    {"Win32_BIOS", "Version", "BIOSVersion"},
    {"Win32_ComputerSystemProduct", "IdentifyingNumber", "SerialNumber"},
    {"Win32_ComputerSystemProduct", "Name", "Product Name"},
    {"Win32_ComputerSystemProduct", "UUID", "UUID"},
    {"Win32_ComputerSystemProduct", "Vendor", "Manufacture"},
    {"Win32_ComputerSystemProduct", "Version", "Version"},
    {"Win32_ComputerSystem", "BootupState", "Boot-up-State"},
    {"Win32_ComputerSystem", "ChassisBootupState", "Boot-up-State #"},
    {"Win32_ComputerSystem", "NumberOfProcessors", "NumOfProcessor"},
    {"Win32_ComputerSystem", "WakeUpType", "Wake Type #"},
    {"Win32_ComputerSystem", "Description", "SystemDescription"},
    {"Win32_ComputerSystem", "Manufacturer", "SystemManufacturer"},
    {"Win32_ComputerSystem", "Model", "SystemModel"},
    {"Win32_ComputerSystem", "PowerState", "Power State #"},
    {"Win32_ComputerSystem", "PowerSupplyState", "Power Supply State #"},
    {"Win32_ComputerSystem", "SystemType", "SystemType"},
    {"Win32_ComputerSystem", "ThermalState", "Thermal State #"},
    {"Win32_ComputerSystem", "TotalPhysicalMemory", "TotalPhysMem"},
    {"Win32_BaseBoard", "Manufacturer", "Manufacturer"},
};
const std::vector<FallbackProperty> kBoardReads = {
    {"Win32_BaseBoard", "SerialNumber", "Serial Number2"},
    {"Win32_BaseBoard", "Version", "Version2"},
};
const std::vector<FallbackProperty> kChassisReads = {
    {"CIM_Chassis", "LockPresent", "Chassis Lock"},
    {"CIM_Chassis", "Manufacturer", "Manufacture3"},
    {"CIM_Chassis", "SerialNumber", "Serial Number3"},
    {"CIM_Chassis", "SMBIOSAssetTag", "AssetTag"},
    {"CIM_Chassis", "Version", "Version3"},
};

namespace {

// A property the script host cannot read skips its whole line.
std::string OracleScript() {
    std::string script =
        "On Error Resume Next\r\n"
        "Set services = GetObject(\"winmgmts:\\\\.\\root\\cimv2\")\r\n"
        "Function FirstOf(className)\r\n"
        "  Set FirstOf = Nothing\r\n"
        "  For Each instance In services.ExecQuery(\"SELECT * FROM \" & className)\r\n"
        "    Set FirstOf = instance\r\n"
        "    Exit For\r\n"
        "  Next\r\n"
        "End Function\r\n"
        "Function AsText(value)\r\n"
        "  If VarType(value) = vbBoolean Then\r\n"
        "    AsText = UCase(CStr(value))\r\n"
        "  Else\r\n"
        "    AsText = \"\" & value\r\n"
        "  End If\r\n"
        "End Function\r\n";
    std::vector<std::string> classes = {"Win32_BIOS", "Win32_ComputerSystemProduct", "Win32_ComputerSystem",
                                        "Win32_BaseBoard", "Win32_SystemEnclosure"};
    for (const std::string &name : classes) script += "Set " + name + " = FirstOf(\"" + name + "\")\r\n";
    // The abstract chassis class has its instances under the system enclosure.
    script += "Set CIM_Chassis = FirstOf(\"CIM_Chassis\")\r\n"
              "If CIM_Chassis Is Nothing Then Set CIM_Chassis = Win32_SystemEnclosure\r\n";
    auto ask = [&script](const std::string &className, const std::string &propertyName) {
        script += "WScript.Echo \"" + className + "." + propertyName + "=\" & AsText(" + className + "." +
                  propertyName + ")\r\n";
    };
    ask("Win32_BIOS", "SMBIOSMajorVersion");
    ask("Win32_BIOS", "SMBIOSMinorVersion");
    ask("Win32_BaseBoard", "Product");
    for (const auto *reads : {&kSystemReads, &kBoardReads, &kChassisReads})
        for (const FallbackProperty &p : *reads) ask(p.className, p.propertyName);
    return script;
}

// The chassis type where the instrumentation takes it from: the first SMBIOS
// type 3 structure, as the firmware table interface hands the table over (the
// script host cannot read arrays of numbers everywhere). 0 when there is none.
unsigned FirmwareChassisType() {
    const DWORD signature = ('R' << 24) | ('S' << 16) | ('M' << 8) | 'B';
    UINT size = GetSystemFirmwareTable(signature, 0, nullptr, 0);
    std::vector<unsigned char> raw(size);
    if (size < 8 || GetSystemFirmwareTable(signature, 0, raw.data(), size) != size) return 0;
    const size_t end = raw.size();
    for (size_t at = 8; at + 4 <= end;) {  // after the 8-byte header
        const unsigned type = raw[at], length = raw[at + 1];
        if (length < 4 || at + length > end) return 0;
        if (type == 3) return length > 5 ? raw[at + 5] & 0x7Fu : 0;
        size_t strings = at + length;
        while (strings + 1 < end && (raw[strings] != 0 || raw[strings + 1] != 0)) ++strings;
        at = strings + 2;
        if (type == 127) break;
    }
    return 0;
}

}  // namespace

const Instrumentation &Instrumentation::Get() {
    static const Instrumentation answered = [] {
        Instrumentation instrumentation;
        const std::string folder = FreshFolder("oracle");
        const std::string script = folder + "\\ask.vbs";
        WriteFile(script, OracleScript());
        Captured run = RunCaptured("C:\\windows\\system32\\cscript.exe", "//nologo \"" + script + "\"", 120000);
        for (const std::string &line : run.OutLines()) {
            size_t equals = line.find('=');
            if (equals == std::string::npos) continue;
            std::string name = line.substr(0, equals), value = line.substr(equals + 1);
            instrumentation.values_[name] = value;
        }
        instrumentation.chassisType_ = FirmwareChassisType();
        return instrumentation;
    }();
    return answered;
}

std::string Instrumentation::Value(const std::string &className, const std::string &propertyName) const {
    auto found = values_.find(className + "." + propertyName);
    return found == values_.end() ? std::string() : found->second;
}

KeyValues ExpectedFallbackKeys(bool withScript) {
    const Instrumentation &wmi = Instrumentation::Get();
    KeyValues keys;
    keys.emplace_back("SMBIOSVer", wmi.Value("Win32_BIOS", "SMBIOSMajorVersion") + "." +
                                       wmi.Value("Win32_BIOS", "SMBIOSMinorVersion"));
    for (const FallbackProperty &p : kSystemReads) keys.emplace_back(p.key, wmi.Value(p.className, p.propertyName));
    const std::string product = wmi.Value("Win32_BaseBoard", "Product");
    if (withScript) {
        bool hexadecimal = product.find_first_of("hH") != std::string::npos;
        keys.emplace_back("SYSID", (hexadecimal ? "0x" : "") + product.substr(0, 4));
    }
    keys.emplace_back("MachineID", product.substr(0, 4));
    for (const FallbackProperty &p : kBoardReads) keys.emplace_back(p.key, wmi.Value(p.className, p.propertyName));
    const unsigned chassis = wmi.ChassisType() ? wmi.ChassisType() : 2;
    char chassisText[16];
    snprintf(chassisText, sizeof chassisText, "0%x", chassis);
    keys.emplace_back("Chassis Type #", chassisText);
    keys.emplace_back("IsPortable", chassis == 8 || chassis == 9 || chassis == 10 || chassis == 14 ? "1" : "0");
    for (const FallbackProperty &p : kChassisReads) keys.emplace_back(p.key, wmi.Value(p.className, p.propertyName));
    SYSTEM_INFO info{};
    GetSystemInfo(&info);
    keys.emplace_back("LogicalProcessors", std::to_string(info.dwNumberOfProcessors));
    return keys;
}

std::vector<std::string> AsLines(const KeyValues &keyValues) {
    std::vector<std::string> lines;
    for (const auto &kv : keyValues) lines.push_back(kv.first + "=" + kv.second);
    return lines;
}

}  // namespace hwtest
