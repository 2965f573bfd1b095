#include "value_rules.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>

#include "engine/profile_number_rules.h"
#include "engine/variable_rules.h"

namespace check {

namespace {
bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

}  // namespace

ProfileNumber ReadProfileNumber(const std::string &textValue) {
    const ProfileNumberReading reading = ReadProfileNumberText(textValue);
    ProfileNumber result;
    result.isNumber = reading.digits > 0 || reading.base != 10;  // "0x" alone starts with a digit too
    result.whole = ReadsWhole(reading);
    result.value = static_cast<int>(reading.value);
    return result;
}

ProfileNumber ReadDecimalNumber(const std::string &textValue) {
    ProfileNumber result;
    size_t i = 0;
    while (i < textValue.size() && IsBlank(textValue[i])) ++i;
    bool negative = false;
    if (i < textValue.size() && (textValue[i] == '+' || textValue[i] == '-')) negative = textValue[i++] == '-';
    int64_t value = 0;
    size_t digits = 0;
    for (; i < textValue.size() && isdigit(static_cast<unsigned char>(textValue[i])); ++i, ++digits)
        value = std::min<int64_t>(value * 10 + (textValue[i] - '0'), int64_t{INT32_MAX} + 1);
    if (digits == 0) return result;
    result.isNumber = true;
    result.value =
        static_cast<int>(std::max<int64_t>(std::min<int64_t>(negative ? -value : value, INT32_MAX), INT32_MIN));
    while (i < textValue.size() && IsBlank(textValue[i])) ++i;
    result.whole = i == textValue.size() || textValue[i] == ';';
    return result;
}

bool CheckFits(const std::string &value, size_t capacity, int line, const std::string &what, Findings &findings) {
    if (value.size() < capacity) return true;
    findings.Error(line, what + " is " + std::to_string(value.size()) + " characters long: the run reads at most " +
                             std::to_string(capacity - 1) + " and cuts the rest");
    return false;
}

bool IsBuiltinVariable(int number) { return number == 0 || number == 1 || (number >= 101 && number <= 105); }

bool HoldsToken(const std::string &textValue) { return textValue.find("~%") != std::string::npos; }

std::string VariableKey(int number) {
    char key[8];
    snprintf(key, sizeof key, "V%03d", number);
    return key;
}

int VariableNumberOfKey(const std::string &key) {
    if (key.size() != 4 || (key[0] != 'V' && key[0] != 'v')) return -1;
    int number = 0;
    for (size_t i = 1; i < 4; ++i) {
        if (!isdigit(static_cast<unsigned char>(key[i]))) return -1;
        number = number * 10 + (key[i] - '0');
    }
    return number;
}

void CheckVariableTokens(const std::string &textValue, int line, Findings &findings, std::vector<VariableUse> *uses) {
    VariableToken token;
    size_t scan = 0;
    while (FindVariableToken(textValue.c_str(), scan, token)) {
        std::string shown = textValue.substr(token.position, token.length);
        scan = token.position + (token.length > 0 ? token.length : 2);
        if (token.kind == TokenKind::Invalid) {
            findings.Error(line, "variable token " + Quote(shown) +
                                     " has a kind letter other than C or V: expansion stops there, and it and "
                                     "every later token stay in the text");
            return;
        }
        if (!token.complete) {
            findings.Error(line, "the text ends inside the variable token " + Quote(shown) +
                                     ": a token is ~% with C or V and a three-digit number, and this one is never "
                                     "replaced");
            return;
        }
        std::string digits = shown.substr(3);
        if (token.kind == TokenKind::Builtin && !IsBuiltinVariable(token.number)) {
            findings.Error(line, "~%C" + digits +
                                     " is not a built-in variable (000, 001, 101 to 105): the token is "
                                     "not replaced and stays in the text");
            continue;
        }
        if (token.kind == TokenKind::Script && (token.number < 0 || token.number > 999)) {
            findings.Error(line, "variable token " + Quote(shown) +
                                     " is outside V000 to V999: it is not replaced and stays in the text");
            continue;
        }
        bool plainDigits = true;
        for (char c : digits) plainDigits = plainDigits && isdigit(static_cast<unsigned char>(c));
        if (!plainDigits) {
            findings.Warning(line, "variable token " + Quote(shown) + " reads as number " +
                                       std::to_string(token.number) + ": the three characters after " +
                                       shown.substr(0, 3) + " all belong to the token, so " + Quote(digits) +
                                       " is not kept in the text; write the number with three digits");
        }
        if (token.kind == TokenKind::Builtin) {
            if (token.number == 0) {
                if (uses) uses->push_back(VariableUse{0, line, true});
                if (scan < textValue.size())
                    findings.Warning(line, "~%C000 replaces the whole rest of the text: " +
                                               Quote(textValue.substr(scan)) + " after it is dropped");
            }
            continue;
        }
        if (uses) uses->push_back(VariableUse{token.number, line});
    }
}

}  // namespace check
