// Registry: the single registry commands and the six-field action lines.
#include "script_checker_rules.h"

#include <algorithm>

#include "engine/profile_number_rules.h"

namespace check {
namespace rules {

namespace {

// The root keys of the single registry commands and of the action lines.
const char *const kRootNames[] = {"HKEY_CLASSES_ROOT",  "HKEY_CURRENT_CONFIG", "HKEY_CURRENT_USER",
                                  "HKEY_LOCAL_MACHINE", "HKEY_USERS",          "HKEY_PERFORMANCE_DATA",
                                  "HKEY_DYN_DATA"};

const char *const kRootAbbreviations[] = {"HKCR", "HKCC", "HKCU", "HKLM", "HKU", "HKPD", "HKDD"};

template <size_t N>
bool IsOneOf(const std::string &value, const char *const (&names)[N]) {
    for (const char *name : names)
        if (EqualsNoCase(value, name)) return true;
    return false;
}

}  // namespace

void ScriptChecker::CheckRegistry(const Command &c) {
    const ScriptSection *section = KeySectionOf(c, "the command has no key to work on");
    if (!section) return;
    CheckKeyValues(c, *section);
    const std::string prefix = std::string(c.rule->name) + ": " + Bracketed(section->name) + " ";
    std::string hive;
    const ScriptLine *where = nullptr;
    if (!ReadKey(section, "RegHive", hive, &where) || !IsOneOf(hive, kRootNames)) {
        findings_.Warning(where ? where->lineNumber : c.line,
                          prefix + "RegHive " + (where ? Quote(hive) + " is not a root key name" : "is missing") +
                              ": the run works on HKEY_LOCAL_MACHINE");
    }
    std::string key;
    if (!ReadKey(section, "RegKey", key) || key.empty())
        findings_.Warning(c.line, prefix + "has no RegKey: the command works on the root key itself");
    std::string type;
    if (ReadKey(section, "RegDataType", type, &where) && !Trim(type).empty()) {
        if (!ReadProfileNumber(where->value).isNumber)
            findings_.Warning(where->lineNumber, prefix + "RegDataType " + Quote(type) +
                                                     " is not a number: the value is written as REG_SZ");
        else if (!ProfileNumberSurprise(where->value).empty())
            findings_.Warning(where->lineNumber,
                              prefix + "RegDataType " + Quote(type) + " " + ProfileNumberSurprise(where->value));
    }
    ProfileNumber binaryOrNumber = ReadProfileNumber(type);
    if (c.number == 3 && binaryOrNumber.isNumber && (binaryOrNumber.value == 1 || binaryOrNumber.value == 2)) {
        std::string data;
        ReadKey(section, "RegData", data);
        std::string bytes = Plural(data.size(), "byte", "bytes");
        findings_.Warning(where->lineNumber,
                          prefix + "RegDataType " + std::to_string(binaryOrNumber.value) +
                              ": command 3 writes the characters of RegData " + Quote(data) + " as the " +
                              bytes + " of the value, not " +
                              (binaryOrNumber.value == 2 ? "a number (a 4-byte DWORD only for a 4-character "
                                                           "text; '3' gives a 1-byte DWORD)"
                                                         : "hexadecimal digit pairs") +
                              "; command 14 writes numbers and binary data");
    }
}

void ScriptChecker::CheckRegistryList(const Command &c) {
    if (!RequireSection(c, c.Argument(0), "action list", false,
                        "the run logs \"Missing the Data section\" and changes nothing"))
        return;
    static const char *const kMissingField[] = {
        "NOTICE:Root Key not defined in line ->", "NOTICE:Key not defined in line ->",
        "NOTICE:Value name not defined in line ->", "NOTICE:Data type not defined in line ->",
        "NOTICE:Data not defined in line ->"};
    const ScriptSection &section = *script_.Find(c.Argument(0));
    for (size_t i = 0; i < section.lines.size(); ++i) {
        const ScriptLine &line = section.lines[i];
        const int at = line.lineNumber;
        std::string text = line.Text();
        std::vector<std::string> fields;
        size_t start = 0;
        for (int comma = 0; comma < 5; ++comma) {
            size_t found = text.find(',', start);
            if (found == std::string::npos) break;
            fields.push_back(text.substr(start, found - start));
            start = found + 1;
        }
        if (fields.size() < 5) {
            size_t later = section.lines.size() - i - 1;
            std::string message = "action line needs six comma-separated fields: the run logs \"" +
                                  std::string(kMissingField[fields.size()]) + "\" and stops the command here";
            if (later > 0)
                message += ", so it does not carry out the " + Plural(later, "line", "lines") + " after it";
            findings_.Error(at, message);
            return;
        }
        fields.push_back(text.substr(start));
        for (std::string &field : fields) field = Trim(field);
        for (size_t f = 0; f < fields.size(); ++f) {
            size_t semicolon = fields[f].find(';');
            if (semicolon == std::string::npos) continue;
            findings_.Warning(at, "field " + std::to_string(f + 1) + " " + Quote(fields[f]) +
                                      " holds a ';': action lines have no comments, so it and the text after it "
                                      "are part of the " + (f == 5 ? "data" : "field"));
            break;
        }

        ProfileNumber action = ReadDecimalNumber(fields[0]);
        if (!action.isNumber || action.value < 1 || action.value > 4)
            findings_.Error(at, "action " + Quote(fields[0]) +
                                    " is not 1 to 4 (add, delete key, delete value, add if the key exists): the "
                                    "run logs \"ERROR:undefined action ->\" and does nothing");
        if (!IsOneOf(fields[1], kRootAbbreviations))
            findings_.Warning(at, "root " + Quote(fields[1]) +
                                      " is not HKCR, HKCC, HKCU, HKLM, HKU, HKPD or HKDD: the run works on "
                                      "HKEY_LOCAL_MACHINE");
        if (fields[2].empty()) findings_.Warning(at, "the key path is empty: the action works on the root key");
        NotExpanded(c, fields[2], at, "the key path");
        CheckFits(fields[3], 260, at, "the value name", findings_);
        Expanded(fields[3], at);
        CheckFits(fields[5], 260, at, "the data", findings_);
        Expanded(fields[5], at);
        CheckRegistryData(fields[4], fields[5], at);
    }
}

void ScriptChecker::CheckRegistryData(const std::string &typeText, const std::string &data, int at) {
    ProfileNumber type = ReadDecimalNumber(typeText);
    if (!typeText.empty() && !type.isNumber)
        findings_.Warning(at, "data type " + Quote(typeText) + " is not a number: the value is written as REG_SZ");
    if (!type.isNumber || (type.value != 1 && type.value != 2) || HoldsToken(data)) return;
    if (!std::all_of(data.begin(), data.end(), IsHex))
        findings_.Warning(at, "data " + Quote(data) + " of type " + std::to_string(type.value) +
                                  " holds characters other than hexadecimal digits: each counts as 0");
    if (type.value == 1 && data.size() % 2 != 0)
        findings_.Warning(at, "binary data " + Quote(data) +
                                  " has an odd number of digits: the bytes are digit pairs and the last digit "
                                  "is dropped");
    if (type.value == 2 && data.size() > 8)
        findings_.Warning(at, "number data " + Quote(data) +
                                  " has more than eight digits: only the last eight "
                                  "are kept");
}

}  // namespace rules
}  // namespace check
