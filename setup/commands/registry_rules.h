// Plain rules of the registry commands: root key names, data type codes and the
// conversions of data text into value bytes, the action-line split and the display
// text. No I/O and no Windows headers, so they are tested and fuzzed directly.
#pragma once
#include <cstddef>
#include <string>
#include <vector>

enum class RootKey { ClassesRoot, CurrentConfig, CurrentUser, LocalMachine, Users, PerformanceData, DynData };
inline constexpr int kRootKeyCount = 7;

// The single commands name a root by its full name ("HKEY_CURRENT_USER"), the list
// command by its abbreviation ("HKCU"); both matched without regard to case. False
// for any other text (callers fall back to the local machine).
bool RootKeyFromName(const char *textValue, RootKey &key);
bool RootKeyFromAbbreviation(const char *textValue, RootKey &key);
const char *RootKeyFullName(RootKey key);

// Value types as the registry numbers them.
inline constexpr unsigned long kRegSz = 1;
inline constexpr unsigned long kRegExpandSz = 2;
inline constexpr unsigned long kRegBinary = 3;
inline constexpr unsigned long kRegDword = 4;
inline constexpr unsigned long kRegMultiSz = 7;

// Script data type code: 1 binary, 2 double word, 3 expandable string, 4 multi
// string; anything else a plain string.
unsigned long RegistryTypeForCode(int code);
// True for the codes whose data the list command reads as hexadecimal (1 and 2).
bool IsHexadecimalCode(int code);

struct RegistryData {
    unsigned long type = kRegSz;
    std::vector<unsigned char> bytes;
};

// The single command writes the data text's own characters for codes 1 and 2 (no
// terminator) and the text with one terminator for every other code.
RegistryData SingleCommandData(int code, const char *data);

// What a hexadecimal conversion met that the script author should hear about.
struct HexNotes {
    bool oddDigit = false;       // code 1: a last single digit, not converted
    bool notHexDigit = false;    // a character other than 0-9, A-F, counted as 0
    bool digitsDropped = false;  // code 2: more than eight digits, only the last eight kept
};

// The list command: codes 1 and 2 first upper-case the text in place, then read it
// as hexadecimal (code 1: digit pairs, one byte each, first pair first; code 2: a
// 32-bit number stored in little-endian order). Every other code: text and one
// terminator, the text unchanged. Never reads past the text's terminator.
RegistryData ListCommandData(int code, char *data, HexNotes &notes);

// The middle part of the list command's size line: for codes 1 and 2 the converted
// bytes up to the first zero byte (line breaks shown as blanks, so the log line
// stays one line); otherwise the data text.
std::string DataShownAsText(int code, const RegistryData &converted, const char *data);
// The length of the data text the conversion left unread: 0 for codes 1 and 2, the
// whole text otherwise.
size_t UnreadDataLength(int code, const char *data);

// "root\key\value:<data>" cut to the buffer; returns the full length it would have had.
size_t BuildRegistryDisplayText(char *out, size_t capacity, const char *root, const char *key,
                                const char *valueName, const char *data);

// One line of the list command: six fields cut at the first five commas.
enum class MissingField { None, Root, Key, ValueName, DataType, Data };

struct ActionLine {
    int action = 0;
    char *actionText = nullptr;
    char *root = nullptr;       // trimmed
    char *key = nullptr;        // trimmed
    char *valueName = nullptr;  // trimmed
    int dataTypeCode = 0;
    char *data = nullptr;  // everything after the fifth comma, trimmed
};

// Cuts the line in place (each comma overwritten by a terminator). Returns the
// first field whose comma is missing; the fields before it are filled.
MissingField SplitActionLine(char *line, ActionLine &fields);
// The notice logged, with the line's text, for a missing field; null for None.
const char *MissingFieldNotice(MissingField missing);

// The standard decimal text-to-integer conversion (blanks, sign, stop at the first
// non-digit), held to the int range.
int DecimalValue(const char *textValue);
