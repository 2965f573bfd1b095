// The planner's facts: Windows releases and what a hardware information file
// tells about its machine.
#include <cstring>

#include "findings.h"
#include "hardware/smbios_rules.h"
#include "plan.h"

namespace plan {

namespace {

const WindowsRelease kReleases[] = {
    {"win95", "Windows 95", 1, 4, 0, false},
    {"win98", "Windows 98", 1, 4, 10, false},
    {"winme", "Windows Me", 1, 4, 90, false},
    {"nt4", "Windows NT 4.0", 2, 4, 0, false},
    {"win2k", "Windows 2000", 2, 5, 0, false},
    {"xp", "Windows XP", 2, 5, 1, true},
    {"win2003", "Windows Server 2003", 2, 5, 2, true},
    {"vista", "Windows Vista", 2, 6, 0, true},
    {"win7", "Windows 7", 2, 6, 1, true},
    {"win8", "Windows 8", 2, 6, 2, true},
    {"win10", "Windows 10", 2, 10, 0, true},
};

// The keys whose texts the inventory puts through the maker test: the SMBIOS
// path's three manufacturers and the fallback's five.
const char *const kMakerKeys[] = {"Manufacture",  "Manufacture2",       "Manufacture3",
                                  "BIOSMfg",      "SystemManufacturer", "Manufacturer"};

bool Has(const check::ScriptSection *section, const char *key) {
    std::string ignored;
    return check::ReadKey(section, key, ignored);
}

std::string IdFromProduct(const std::string &product) {
    char systemId[32];
    SystemIdFromProduct(product.c_str(), systemId, sizeof systemId);
    return systemId;
}

void ReadBoardId(const check::ScriptSection *hardware, const check::ScriptSection *data, MachineFacts &facts) {
    using IdState = MachineFacts::IdState;
    std::string value;
    if (check::ReadKey(data, "SYSID", value)) {
        facts.idState = IdState::Written;
        facts.systemId = value;
        facts.idReason = "[DATA] SYSID " + check::Quote(value);
        return;
    }
    if (check::ReadKey(hardware, "Product Name2", value)) {
        facts.idState = IdState::Written;
        facts.systemId = IdFromProduct(value);
        facts.idReason = "board product " + check::Quote(value) + " (Product Name2)";
        return;
    }
    const bool fromFallback = Has(hardware, "BIOSMfg") || Has(hardware, "SMBIOSVersion");
    if (fromFallback && check::ReadKey(hardware, "MachineID", value)) {
        // The fallback keeps four characters of the board's product; the ID is
        // hexadecimal when the whole text holds an 'h', which may lie beyond them.
        if (value.size() < 4 || value.find_first_of("hH") != std::string::npos) {
            facts.idState = IdState::Written;
            facts.systemId = IdFromProduct(value);
            facts.idReason = "board product " + check::Quote(value) + " (MachineID)";
        } else {
            facts.idReason = "MachineID " + check::Quote(value) +
                             " keeps only four characters of the board's product text, and whether the whole "
                             "text holds an 'h' (which makes the ID hexadecimal) is not in the file: add [DATA] "
                             "SYSID (hwinventory --ini writes it)";
        }
        return;
    }
    if (!fromFallback && Has(hardware, "SMBIOSVer")) {
        facts.idState = IdState::NotWritten;
        facts.idReason = "the SMBIOS table has no board product: the inventory writes no SYSID";
        return;
    }
    facts.idReason = "the file holds no board product";
}

}  // namespace

const WindowsRelease *FindWindowsRelease(const std::string &option) {
    for (const WindowsRelease &release : kReleases)
        if (check::Folded(option) == release.option) return &release;
    return nullptr;
}

std::string WindowsReleaseOptions() {
    std::string options;
    for (const WindowsRelease &release : kReleases) options += (options.empty() ? "" : "|") + std::string(release.option);
    return options;
}

MachineFacts UnknownMachine() {
    MachineFacts facts;
    facts.label = "any machine";
    facts.makerReason = "no machine file";
    facts.idReason = "no machine file";
    return facts;
}

bool ReadMachineFile(const std::string &bytes, const std::string &label, MachineFacts &facts, std::string &refusal) {
    check::ScriptFile file;
    check::Findings ignored;
    if (!check::ParseScript(bytes, file, ignored, refusal)) return false;
    const check::ScriptSection *hardware = file.Find("Hardware Detect");
    if (!hardware) {
        refusal = "no [Hardware Detect] section: not a hardware information file";
        return false;
    }
    facts = MachineFacts{};
    facts.label = label;

    facts.maker = Fact::No;
    facts.makerReason = "no manufacturer text of the file is the maker's";
    for (const char *key : kMakerKeys) {
        std::string value;
        if (check::ReadKey(hardware, key, value) && MakerTest(value.c_str())) {
            facts.maker = Fact::Yes;
            facts.makerReason = std::string(key) + " " + check::Quote(value);
            break;
        }
    }
    ReadBoardId(hardware, file.Find("DATA"), facts);

    std::string language;
    if (check::ReadKey(file.Find("Description"), "NorvikLanguage", language)) {
        facts.languageKnown = true;
        facts.language = language;
    }
    return true;
}

}  // namespace plan
