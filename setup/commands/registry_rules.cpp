#include "registry_rules.h"

#include <cctype>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "engine/bounded_text.h"
#include "engine/text_rules.h"

namespace {

struct RootKeyNames {
    const char *fullName;
    const char *abbreviation;
};

// Indexed by RootKey.
const RootKeyNames kRootKeyNames[kRootKeyCount] = {
    {"HKEY_CLASSES_ROOT", "HKCR"},     {"HKEY_CURRENT_CONFIG", "HKCC"},     {"HKEY_CURRENT_USER", "HKCU"},
    {"HKEY_LOCAL_MACHINE", "HKLM"},    {"HKEY_USERS", "HKU"},               {"HKEY_PERFORMANCE_DATA", "HKPD"},
    {"HKEY_DYN_DATA", "HKDD"},
};

// Indexed by data type code; codes outside the table are plain strings.
const unsigned long kTypeForCode[] = {kRegSz, kRegBinary, kRegDword, kRegExpandSz, kRegMultiSz};
const int kTypeCodeCount = static_cast<int>(sizeof kTypeForCode / sizeof kTypeForCode[0]);

// Indexed by MissingField.
const char *const kMissingFieldNotices[] = {
    nullptr,
    "NOTICE:Root Key not defined in line ->",
    "NOTICE:Key not defined in line ->",
    "NOTICE:Value name not defined in line ->",
    "NOTICE:Data type not defined in line ->",
    "NOTICE:Data not defined in line ->",
};

bool FindRootKey(const char *textValue, bool abbreviation, RootKey &key) {
    if (!textValue) return false;
    for (int i = 0; i < kRootKeyCount; ++i) {
        const char *name = abbreviation ? kRootKeyNames[i].abbreviation : kRootKeyNames[i].fullName;
        if (text::EqualsNoCase(textValue, name)) {
            key = static_cast<RootKey>(i);
            return true;
        }
    }
    return false;
}

// '0'-'9' and 'A'-'F' (the text is upper-cased first); anything else counts 0.
unsigned HexDigitValue(char c, HexNotes &notes) {
    if (c >= '0' && c <= '9') return static_cast<unsigned>(c - '0');
    if (c >= 'A' && c <= 'F') return static_cast<unsigned>(c - 'A' + 10);
    notes.notHexDigit = true;
    return 0;
}

void UpperCaseInPlace(char *textValue) {
    for (char *p = textValue; *p; ++p) *p = static_cast<char>(toupper(static_cast<unsigned char>(*p)));
}

RegistryData TextWithTerminator(unsigned long type, const char *data) {
    RegistryData result;
    result.type = type;
    size_t length = strlen(data);
    result.bytes.assign(data, data + length);
    result.bytes.push_back(0);
    return result;
}

// Cuts the field that starts at *cursor at its comma. False when it has none.
bool CutAtComma(char *&cursor, char *&field) {
    field = cursor;
    char *comma = strchr(cursor, ',');
    if (!comma) return false;
    *comma = '\0';
    cursor = comma + 1;
    return true;
}

}  // namespace

bool RootKeyFromName(const char *textValue, RootKey &key) { return FindRootKey(textValue, false, key); }
bool RootKeyFromAbbreviation(const char *textValue, RootKey &key) { return FindRootKey(textValue, true, key); }

const char *RootKeyFullName(RootKey key) {
    int index = static_cast<int>(key);
    if (index < 0 || index >= kRootKeyCount) return "";
    return kRootKeyNames[index].fullName;
}

unsigned long RegistryTypeForCode(int code) {
    if (code < 0 || code >= kTypeCodeCount) return kRegSz;
    return kTypeForCode[code];
}

bool IsHexadecimalCode(int code) { return code == 1 || code == 2; }

RegistryData SingleCommandData(int code, const char *data) {
    if (!data) data = "";
    unsigned long type = RegistryTypeForCode(code);
    if (!IsHexadecimalCode(code)) return TextWithTerminator(type, data);
    RegistryData result;
    result.type = type;
    result.bytes.assign(data, data + strlen(data));
    return result;
}

RegistryData ListCommandData(int code, char *data, HexNotes &notes) {
    notes = HexNotes{};
    if (!data) return TextWithTerminator(RegistryTypeForCode(code), "");
    unsigned long type = RegistryTypeForCode(code);
    if (!IsHexadecimalCode(code)) return TextWithTerminator(type, data);

    UpperCaseInPlace(data);
    const size_t length = strlen(data);
    RegistryData result;
    result.type = type;
    if (code == 1) {
        const size_t count = length / 2;
        result.bytes.reserve(count);
        for (size_t i = 0; i < count; ++i) {
            unsigned high = HexDigitValue(data[2 * i], notes);
            unsigned low = HexDigitValue(data[2 * i + 1], notes);
            result.bytes.push_back(static_cast<unsigned char>((high << 4) | low));
        }
        // A last single digit has no partner; it is left out rather than paired
        // with whatever follows the text.
        notes.oddDigit = (length % 2) != 0;
        return result;
    }
    unsigned long value = 0;
    for (size_t i = 0; i < length; ++i) value = ((value << 4) | HexDigitValue(data[i], notes)) & 0xFFFFFFFFul;
    notes.digitsDropped = length > 8;
    for (int shift = 0; shift < 32; shift += 8) result.bytes.push_back(static_cast<unsigned char>(value >> shift));
    return result;
}

std::string DataShownAsText(int code, const RegistryData &converted, const char *data) {
    if (!IsHexadecimalCode(code)) return data ? data : "";
    std::string shown;
    for (unsigned char byte : converted.bytes) {
        if (byte == 0) break;
        shown.push_back(byte == '\r' || byte == '\n' ? ' ' : static_cast<char>(byte));
    }
    return shown;
}

size_t UnreadDataLength(int code, const char *data) {
    if (IsHexadecimalCode(code) || !data) return 0;
    return strlen(data);
}

size_t BuildRegistryDisplayText(char *out, size_t capacity, const char *root, const char *key,
                                const char *valueName, const char *data) {
    return text::FormatBounded(out, capacity, "%s\\%s\\%s:<%s>", root ? root : "", key ? key : "",
                               valueName ? valueName : "", data ? data : "");
}

MissingField SplitActionLine(char *line, ActionLine &fields) {
    fields = ActionLine{};
    if (!line) return MissingField::Root;
    char *cursor = line;
    char *dataTypeText = nullptr;
    if (!CutAtComma(cursor, fields.actionText)) return MissingField::Root;
    fields.action = DecimalValue(fields.actionText);
    if (!CutAtComma(cursor, fields.root)) return MissingField::Key;
    fields.root = TrimText(fields.root);
    if (!CutAtComma(cursor, fields.key)) return MissingField::ValueName;
    fields.key = TrimText(fields.key);
    if (!CutAtComma(cursor, fields.valueName)) return MissingField::DataType;
    fields.valueName = TrimText(fields.valueName);
    if (!CutAtComma(cursor, dataTypeText)) return MissingField::Data;
    fields.dataTypeCode = DecimalValue(TrimText(dataTypeText));
    fields.data = TrimText(cursor);
    return MissingField::None;
}

const char *MissingFieldNotice(MissingField missing) {
    int index = static_cast<int>(missing);
    const int count = static_cast<int>(sizeof kMissingFieldNotices / sizeof kMissingFieldNotices[0]);
    if (index < 0 || index >= count) return nullptr;
    return kMissingFieldNotices[index];
}

int DecimalValue(const char *textValue) {
    if (!textValue) return 0;
    long value = strtol(textValue, nullptr, 10);
    if (value > INT_MAX) return INT_MAX;
    if (value < INT_MIN) return INT_MIN;
    return static_cast<int>(value);
}
