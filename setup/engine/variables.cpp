#include "variables.h"

#include <windows.h>

#include <cstring>
#include <string>

#include "bounded_text.h"
#include "install_log.h"
#include "run_state.h"
#include "script_guard.h"
#include "variable_rules.h"

namespace {

bool TemporaryPathValue(std::string &value) {
    std::string name = TemporaryFileName(GetCurrentProcessId());
    char tempPath[261];
    DWORD length = GetTempPathA(sizeof tempPath, tempPath);
    if (length > 0 && length <= 259)
        value = std::string(tempPath, length) + name;
    else
        value = "c:\\" + name;
    LogLineFormat("", "** creating %s and will save in V000", value.c_str());
    WriteScriptString("Variables", "V000", value.c_str());
    return true;
}

bool LanguageValue(std::string &value) {
    char code[16];
    GetPrivateProfileStringA("Description", "NorvikLanguage", "", code, sizeof code, "C:\\SYSTEM.SAV\\UTIL\\MIRA.INI");
    if (code[0] != '\0') {
        value = code;
        return true;
    }
    const char *derived = LanguageCodeFor(GetUserDefaultUILanguage());
    if (!derived) return false;
    value = derived;
    return true;
}

bool SystemFolderValue(bool windowsFolder, const char *suffix, std::string &value) {
    char folder[MAX_PATH + 1];
    UINT length = windowsFolder ? GetWindowsDirectoryA(folder, sizeof folder) : GetSystemDirectoryA(folder, sizeof folder);
    if (length == 0 || length >= sizeof folder) return false;
    value = std::string(folder, length) + suffix;
    return true;
}

// Returns true with the value of a built-in number; false when it has none.
bool BuiltinValue(int number, std::string &value) {
    switch (number) {
    case 0: return TemporaryPathValue(value);
    case 1: value = g_run.programDirectory; return true;
    case 101: return SystemFolderValue(true, "", value);
    case 102: return SystemFolderValue(true, "\\inf", value);
    case 103: return SystemFolderValue(false, "", value);
    case 104: return SystemFolderValue(false, "\\Drivers", value);
    case 105: return LanguageValue(value);
    default: return false;
    }
}

bool IsBuiltinNumber(int number) { return number == 0 || number == 1 || (number >= 101 && number <= 105); }

bool ScriptVariableValue(int number, std::string &value) {
    if (number < 0 || number > 999) return false;
    char key[8];
    text::FormatBounded(key, sizeof key, "V%03d", number);
    char stored[260];
    GetPrivateProfileStringA("Variables", key, "", stored, sizeof stored, g_run.scriptFile);
    value = stored;
    return true;
}

}  // namespace

int GetVariable(char *textValue, size_t capacity) {
    if (!textValue || capacity == 0) return 0;
    int count = 0;
    int replacements = 0;
    size_t scan = 0;
    VariableToken token;
    while (FindVariableToken(textValue, scan, token)) {
        if (token.kind == TokenKind::Invalid) {
            LogLine("ERROR-=-", " variable token ~% found but leading character not valid");
            LogLine("ERROR-=-", textValue + scan);
            return count;
        }
        ++count;

        std::string value;
        bool found = false;
        if (!token.complete) {
            // The text ends inside the token: it has no number, so no value.
        } else if (token.kind == TokenKind::Builtin) {
            found = BuiltinValue(token.number, value);
            if (!found && !IsBuiltinNumber(token.number))
                LogLine("GetVariable( ) variable not found for ", textValue + scan);
        } else {
            found = ScriptVariableValue(token.number, value);
            if (!found) LogLine("GetVariable( ) variable not found for ", textValue);
        }

        if (found) {
            const bool valueAlone = token.kind == TokenKind::Builtin && token.number == 0;
            std::string replacement = value;
            if (!valueAlone) replacement += textValue + token.position + token.length;
            if (token.position + replacement.size() >= capacity) {
                LogLineFormat("ERROR-=-", " variable value too long for its buffer (%u characters), token left in place.",
                              static_cast<unsigned>(capacity - 1));
                LogLine("ERROR-=-", textValue + token.position);
                scan = token.position + token.length;
                continue;
            }
            if (++replacements > kMaxReplacementsPerCall) {
                LogLine("ERROR-=-", " too many variable replacements (a variable that refers to itself?), expansion stopped.");
                return count;
            }
            LogLine("", "replaced variable in string.");
            memcpy(textValue + token.position, replacement.c_str(), replacement.size() + 1);
            LogLineFormat("", "full string now is: %s", textValue);
            scan = token.position;  // the inserted value is scanned too
        } else {
            LogLine("ERROR-=-", " variable token found but no replacement made.");
            LogLine("ERROR-=-", textValue + token.position);
            scan = token.position + token.length;
        }
    }
    return count;
}
