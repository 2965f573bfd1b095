#include "profile_number_rules.h"

#include <cstdint>

#include "bounded_text.h"

namespace {

// The function works on wide characters: every byte of 80h and above becomes a
// character above the blank, so only 01h-20h count as blanks.
bool IsProfileBlank(char c) { return static_cast<unsigned char>(c) <= ' '; }

int DigitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'Z') return c - 'A' + 10;
    if (c >= 'a' && c <= 'z') return c - 'a' + 10;
    return -1;
}

struct Prefix {
    char letter;
    int base;
};
const Prefix kPrefixes[] = {{'b', 2}, {'o', 8}, {'x', 16}};

bool IsStoredBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f' || c == '\x1A';
}

std::string Trimmed(const std::string &text) {
    size_t begin = 0, end = text.size();
    while (begin < end && IsStoredBlank(text[begin])) ++begin;
    while (end > begin && IsStoredBlank(text[end - 1])) --end;
    return text.substr(begin, end - begin);
}

// What the string read hands the number function: one pair of quotes around the
// whole value is dropped, the rest cut to the buffer. The closing quote is taken
// off the cut text as if it had fit, so a quoted value of exactly the buffer's
// length loses its last character as well.
std::string TextInNumberBuffer(const std::string &stored, bool &cut) {
    const bool quoted = stored.size() >= 2 && (stored[0] == '"' || stored[0] == '\'') && stored.back() == stored[0];
    const std::string inner = quoted ? stored.substr(1) : stored;
    std::string text = inner.substr(0, kProfileNumberCapacity - 1);
    if (quoted && inner.size() <= kProfileNumberCapacity) text.pop_back();
    cut = inner.size() - (quoted ? 1 : 0) > text.size();
    return text;
}

std::string Decimal(unsigned value) { return std::to_string(static_cast<int>(value)); }

std::string Hex(unsigned value) {
    char text[16];
    text::FormatBounded(text, sizeof text, "0x%04X", value);
    return text;
}

}  // namespace

ProfileNumberReading ReadProfileNumberText(const std::string &stored, unsigned fallback) {
    ProfileNumberReading reading;
    reading.text = TextInNumberBuffer(Trimmed(stored), reading.cut);
    const std::string &text = reading.text;
    if (text.empty()) {
        reading.empty = true;
        reading.value = fallback;
        return reading;
    }
    size_t i = 0;
    while (i < text.size() && IsProfileBlank(text[i])) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    if (i + 2 <= text.size() && text[i] == '0') {
        for (const Prefix &prefix : kPrefixes) {
            if (text[i + 1] != prefix.letter) continue;
            reading.base = prefix.base;
            i += 2;
            break;
        }
    }
    uint64_t total = 0;
    for (; i < text.size(); ++i, ++reading.digits) {
        const int digit = DigitValue(text[i]);
        if (digit < 0 || digit >= reading.base) break;
        total = total * static_cast<unsigned>(reading.base) + static_cast<unsigned>(digit);
        if (total > UINT32_MAX) {
            reading.wrapped = true;
            total &= UINT32_MAX;
        }
    }
    reading.end = i;
    const unsigned magnitude = static_cast<unsigned>(total);
    reading.value = negative ? 0u - magnitude : magnitude;
    return reading;
}

bool ReadsWhole(const ProfileNumberReading &reading) {
    if (reading.empty || reading.digits == 0 || reading.cut) return false;
    const std::string &text = reading.text;
    size_t i = reading.end;
    while (i < text.size() && IsProfileBlank(text[i])) ++i;
    return i == text.size() || text[i] == ';';
}

std::string ProfileNumberSurprise(const std::string &stored) {
    const ProfileNumberReading reading = ReadProfileNumberText(stored);
    if (reading.empty) return "";
    const std::string &text = reading.text;
    const std::string readsAs = "reads as " + Decimal(reading.value);
    size_t start = 0;
    while (start < text.size() && IsProfileBlank(text[start])) ++start;
    if (start < text.size() && (text[start] == '+' || text[start] == '-')) ++start;
    const std::string number = text.substr(start);
    const struct {
        char letter;
        const char *base;
    } kCapitalPrefixes[] = {{'X', "hexadecimal"}, {'B', "binary"}, {'O', "octal"}};
    for (const auto &prefix : kCapitalPrefixes) {
        if (number.size() <= 2 || number[0] != '0' || number[1] != prefix.letter) continue;
        const std::string lower = "0" + std::string(1, static_cast<char>(prefix.letter - 'A' + 'a'));
        return readsAs + ": only a lower-case " + lower + " starts a " + prefix.base + " number; write " +
               text.substr(0, start) + lower + number.substr(2);
    }
    if (reading.cut)
        return readsAs + ": only its first " + std::to_string(kProfileNumberCapacity - 1) + " characters are read";
    if (reading.digits == 0 && reading.base != 10)
        return readsAs + ": no digit of base " + std::to_string(reading.base) + " follows the prefix";
    if (reading.digits == 0) return readsAs + ": it does not start with a digit";
    if (!ReadsWhole(reading)) {
        const std::string rest = text.substr(reading.end);
        const int next = DigitValue(rest[0]);
        return readsAs + ": the number ends before '" + rest + "'" +
               (reading.base == 10 && next >= 10 && next < 16 ? "; a hexadecimal number starts with 0x" : "");
    }
    if (reading.wrapped) return readsAs + ": the number is beyond 32 bits and wraps";
    // 01 to 09 read the same in every base; 010 and up do not.
    if (reading.base == 10 && number[0] == '0' && reading.value >= 10)
        return "reads as decimal " + Decimal(reading.value) + " (" + Hex(reading.value) +
               "): a leading 0 makes no hexadecimal or octal number; a hexadecimal number starts with 0x";
    return "";
}

unsigned BoardIdFromText(const std::string &sysid) { return ReadProfileNumberText(sysid).value & 0xFFFFu; }
