// The checker of one script, shared by its rule families: each family of rules is a
// file of its own (script_checker.cpp for the script level, check_*.cpp for the
// others), all working on the state of this one walk.
#pragma once
#include <bitset>
#include <cctype>
#include <deque>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "command_rules.h"
#include "script_checker.h"
#include "value_rules.h"

namespace check {
namespace rules {

inline bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

inline std::string Trim(const std::string &textValue) {
    size_t begin = 0, end = textValue.size();
    while (begin < end && IsBlank(textValue[begin])) ++begin;
    while (end > begin && IsBlank(textValue[end - 1])) --end;
    return textValue.substr(begin, end - begin);
}

inline bool EqualsNoCase(const std::string &a, const std::string &b) { return Folded(a) == Folded(b); }

inline std::string Plural(size_t count, const char *one, const char *many) {
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

// A command line of a command section, unrolled as the run unrolls it. Each
// argument is what the run reads back from [Commands]: trimmed, quotes removed.
struct Command {
    int number = 0;
    const CommandRule *rule = nullptr;
    int line = 0;
    std::vector<std::string> arguments;

    std::string Argument(size_t k) const { return k < arguments.size() ? arguments[k] : std::string(); }
    bool HasArgument(size_t k) const { return !Argument(k).empty(); }
};

inline bool IsHex(char c) { return isxdigit(static_cast<unsigned char>(c)) != 0; }

class ScriptChecker {
public:
    ScriptChecker(const ScriptFile &script, Findings &findings) : script_(script), findings_(findings) {}

    void Run();

private:
    using ShapeCheck = void (ScriptChecker::*)(const Command &);
    static const ShapeCheck kShapeChecks[kShapeCount];

    const ScriptFile &script_;
    Findings &findings_;

    std::set<std::string> used_;     // folded names of sections something reads
    std::set<std::string> entered_;  // folded names of command sections reached
    std::deque<const ScriptSection *> pending_;
    std::set<const ScriptSection *> keySectionsChecked_;

    struct MissingSection {
        int line;
        std::string message;
    };
    std::vector<MissingSection> missing_;
    bool appendsFiles_ = false;    // a command 28 brings sections at run time
    bool dynamicTargets_ = false;  // a jump target is known only at run time

    std::set<int> endsReported_;  // lines whose number already reads as the section's end

    std::vector<VariableUse> variableUses_;
    std::bitset<1000> variablesSet_;
    bool variablesSetDynamically_ = false;  // a variable name held in a variable

    // ---- script level (script_checker.cpp) ------------------------------
    void EnterCommandSection(const std::string &name);
    bool RequireSection(const Command &c, const std::string &name, const std::string &role, bool expanded,
                        const std::string &consequence);
    const ScriptSection *NearestSection(const std::string &wanted) const;
    void ReportMissingSections();
    void ReportUnusedSections();
    void CheckKeySection(const ScriptSection &section);
    void CheckDataSection();
    void CheckRunSections();
    void NotExpanded(const Command &c, const std::string &value, int line, const std::string &what);
    void NoComment(const std::string &value, int line, const std::string &what);
    void CheckEndOfSection(const Command &);
    void CheckNoArguments(const Command &);
    void CheckUnsupported(const Command &c);
    void CheckFromData(const Command &c);
    const ScriptSection *KeySectionOf(const Command &c, const std::string &consequence);
    void CheckKeyValues(const Command &c, const ScriptSection &section);

    // ---- flow and branches (check_flow.cpp) -----------------------------
    void CheckCommandSection(const ScriptSection &section);
    static bool ChoosesNext(const Command &c, const CommandRule &rule);
    static bool AlwaysChoosesNext(const Command &c, const CommandRule &rule);
    void ReportReplacedChoices(const std::vector<Command> &commands);
    int ReadCommandNumber(const std::string &typeText, const ScriptSection &section, const ScriptLine &scriptLine);
    void CheckTarget(const Command &c, const std::string &target, const std::string &role, bool expanded,
                     const std::string &consequence);
    void CheckBranch(const Command &c);
    void CheckSystemIdBranch(const Command &c);

    // ---- variables (check_variables.cpp) --------------------------------
    void CheckVariablesSection();
    void ReportVariableCycles(const ScriptSection &variables, const std::map<int, std::vector<int>> &refersTo);
    void ReportVariableUses();
    void Expanded(const std::string &value, int line);
    void NoteVariableSet(const std::string &name, int line);
    void CheckSetValue(const Command &c);
    void NoteWrite(const std::string &section, const std::string &key, int line);
    void CheckSetVariable(const Command &c);

    // ---- files (check_files.cpp) ----------------------------------------
    void CheckLinkFile(const Command &c);
    void CheckFileCommand(const Command &c);
    void CheckPathLine(const Command &c, const FileRule &rule, const ScriptLine &line);
    void CheckPairLine(const FileRule &rule, const ScriptLine &line);
    void CheckAppendFile(const Command &c);
    void CheckExitAndDelete(const Command &c);

    // ---- registry (check_registry.cpp) ----------------------------------
    void CheckRegistry(const Command &c);
    void CheckRegistryList(const Command &c);
    void CheckRegistryData(const std::string &typeText, const std::string &data, int at);

    // ---- programs and boxes (check_programs.cpp) ------------------------
    void CheckWaitChoice(const Command &c, const std::string &choice, int line, const char *what);
    void CheckSpawn(const Command &c);
    void CheckSleep(const Command &c);
    void CheckMessageBox(const Command &c);
    void CheckMessageSection(const Command &c, const ScriptSection &section);
    void CheckLogMessage(const Command &c);
};

}  // namespace rules
}  // namespace check
