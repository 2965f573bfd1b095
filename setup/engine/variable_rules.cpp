#include "variable_rules.h"

#include <cctype>
#include <cstdlib>
#include <cstring>

bool FindVariableToken(const char *textValue, size_t from, VariableToken &token) {
    size_t length = strlen(textValue);
    if (from >= length) return false;
    const char *start = strstr(textValue + from, "~%");
    if (!start) return false;
    token = VariableToken{};
    token.position = static_cast<size_t>(start - textValue);
    size_t available = length - token.position;
    token.length = available < 6 ? available : 6;
    token.complete = available >= 6;

    char letter = available >= 3 ? static_cast<char>(toupper(static_cast<unsigned char>(start[2]))) : '\0';
    token.kind = letter == 'C' ? TokenKind::Builtin : letter == 'V' ? TokenKind::Script : TokenKind::Invalid;

    // The number is converted from the three characters only, never beyond them.
    char digits[4] = {0, 0, 0, 0};
    for (size_t i = 0; i < 3 && 3 + i < available; ++i) digits[i] = start[3 + i];
    token.number = atoi(digits);
    return true;
}

namespace {
struct LanguageCode {
    unsigned primary;
    const char *code;
};
const LanguageCode kLanguageCodes[] = {
    {0x01, "AR"}, {0x02, "BU"}, {0x05, "CS"}, {0x06, "DK"}, {0x07, "GR"}, {0x08, "GK"}, {0x09, "US"},
    {0x0A, "SP"}, {0x0B, "FI"}, {0x0C, "FR"}, {0x0D, "IL"}, {0x0E, "HU"}, {0x10, "IT"}, {0x11, "JP"},
    {0x12, "KR"}, {0x13, "NL"}, {0x14, "NO"}, {0x15, "PL"}, {0x18, "RO"}, {0x19, "RU"}, {0x1B, "SK"},
    {0x1D, "SE"}, {0x1E, "TH"}, {0x1F, "TR"}, {0x21, "ID"}, {0x24, "SL"},
};
}  // namespace

const char *LanguageCodeFor(unsigned languageId) {
    unsigned primary = languageId & 0x2FF;
    unsigned sublanguage = languageId >> 10;
    if (primary == 0x04) {  // Chinese: simplified or traditional
        if (sublanguage == 2) return "CH";
        if (sublanguage == 1 || sublanguage == 3 || sublanguage == 4) return "TW";
        return nullptr;
    }
    if (primary == 0x16) return sublanguage == 1 ? "BR" : "PT";  // Portuguese
    for (const LanguageCode &entry : kLanguageCodes) {
        if (entry.primary == primary) return entry.code;
    }
    return nullptr;
}

std::string TemporaryFileName(unsigned long processId) {
    char name[9] = "TMPXXXXX";
    unsigned long digits = processId % 100000;
    for (int i = 7; i >= 3; --i) {
        name[i] = static_cast<char>('0' + digits % 10);
        digits /= 10;
    }
    return name;
}
