#include "smbios_rules.h"

#include <cstring>

#include "../engine/bounded_text.h"

bool MakerTest(const char *textValue) {
    if (!textValue) return false;
    return text::EqualsNoCase(textValue, "NORVIK") || text::StartsWithNoCase(textValue, "Talberg");
}

void SystemIdFromProduct(const char *product, char *systemId, size_t capacity) {
    if (!systemId || capacity == 0) return;
    char firstFour[5];
    text::CopyBounded(firstFour, sizeof firstFour, product);
    const bool marked = product && (strchr(product, 'h') || strchr(product, 'H'));
    text::FormatBounded(systemId, capacity, "%s%s", marked ? "0x" : "", firstFour);
}

void UuidText(const uint8_t bytes[16], char *out, size_t capacity) {
    char whole[40] = "";
    for (int i = 0; i < 16; ++i) {
        char digits[4];
        text::FormatBounded(digits, sizeof digits, "%x", bytes[i]);
        text::Append(whole, digits);
    }
    whole[17] = '\0';
    text::CopyBounded(out, capacity, whole);
}

template <size_t N> static const char *NameOf(const char *const (&names)[N], unsigned value) {
    return value < N ? names[value] : "Undefined";
}

static const char *const kWakeTypes[] = {"Reserved",   "Other",        "Unknown",  "APM Timer",        "Modem Ring",
                                         "LAN Remote", "Power Switch", "PCI PME#", "AC Power Restored"};

static const char *const kChassisTypes[] = {"Reserved",
                                            "Other",
                                            "Unknown",
                                            "Desktop",
                                            "Low Profile Desktop",
                                            "Pizza Box",
                                            "Mini Tower",
                                            "Tower",
                                            "Portable",
                                            "Laptop",
                                            "Notebook",
                                            "Hand Held",
                                            "Docking Station",
                                            "All in One",
                                            "Sub Notebook",
                                            "Space-saving",
                                            "Lunch Box",
                                            "Main Server Chassis",
                                            "Expansion Chassis",
                                            "Sub Chassis",
                                            "Bus Expansion Chassis",
                                            "Peripheral Chassis",
                                            "RAID Chassis",
                                            "Rack Mount Chassis",
                                            "Sealed-case PC"};

static const char *const kStates[] = {"Reserved?", "Other",    "Unknown",        "Safe",
                                      "Warning",   "Critical", "Non-recoverable"};

static const char *const kSecurityStatuses[] = {"Reserved?", "Other", "Unknown", "None",
                                                "External interface locked out", "External interface enabled"};

const char *WakeTypeName(unsigned value) { return NameOf(kWakeTypes, value); }
const char *ChassisTypeName(unsigned value) { return NameOf(kChassisTypes, value); }
bool ChassisIsPortable(unsigned value) { return value == 8 || value == 9 || value == 10 || value == 14; }
const char *StateName(unsigned value) { return NameOf(kStates, value); }
const char *SecurityStatusName(unsigned value) { return NameOf(kSecurityStatuses, value); }
