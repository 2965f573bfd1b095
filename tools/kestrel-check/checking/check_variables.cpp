// Variables: [Variables], the tokens that read them, the commands that set them
// (26 into [Variables], 27), and values that refer back to themselves.
#include "script_checker_rules.h"

#include <algorithm>
#include <functional>

namespace check {
namespace rules {

void ScriptChecker::CheckVariablesSection() {
    const ScriptSection *variables = script_.Find("Variables");
    if (!variables) return;
    CheckKeySection(*variables);
    std::map<int, std::vector<int>> refersTo;
    std::set<std::string> seen;
    for (const ScriptLine &line : variables->lines) {
        if (!line.hasValue || !seen.insert(Folded(line.name)).second) continue;
        int number = VariableNumberOfKey(line.name);
        if (number < 0) {
            findings_.Warning(line.lineNumber, "[Variables] key " + Quote(line.name) +
                                                   " is not V000 to V999: no ~%V token can read it");
            continue;
        }
        variablesSet_.set(static_cast<size_t>(number));
        std::string value = ValueAsRead(line.value);
        CheckFits(value, 260, line.lineNumber, "[Variables] " + line.name, findings_);
        NoComment(value, line.lineNumber, "[Variables] " + line.name);
        std::vector<VariableUse> uses;
        CheckVariableTokens(value, line.lineNumber, findings_, &uses);
        for (const VariableUse &use : uses)
            if (!use.sets) refersTo[number].push_back(use.number);
        variableUses_.insert(variableUses_.end(), uses.begin(), uses.end());
    }
    ReportVariableCycles(*variables, refersTo);
}

// A value that refers back to itself, directly or through others, would be
// expanded without end.
void ScriptChecker::ReportVariableCycles(const ScriptSection &variables,
                                         const std::map<int, std::vector<int>> &refersTo) {
    std::map<int, int> state;  // 1 visiting, 2 done
    std::set<int> reported;
    std::vector<int> path;
    std::function<void(int)> visit = [&](int number) {
        state[number] = 1;
        path.push_back(number);
        auto next = refersTo.find(number);
        if (next != refersTo.end()) {
            for (int target : next->second) {
                if (state[target] == 1 && reported.insert(target).second) {
                    std::string chain;
                    auto from = std::find(path.begin(), path.end(), target);
                    for (auto it = from; it != path.end(); ++it) chain += VariableKey(*it) + " -> ";
                    chain += VariableKey(target);
                    const ScriptLine *line = FindKey(variables, VariableKey(target));
                    findings_.Error(line ? line->lineNumber : variables.headerLine,
                                    "[Variables] " + chain +
                                        " refers back to itself: its expansion never ends, and the run stops "
                                        "expanding that text");
                } else if (state[target] == 0) {
                    visit(target);
                }
            }
        }
        path.pop_back();
        state[number] = 2;
    };
    for (const auto &entry : refersTo)
        if (state[entry.first] == 0) visit(entry.first);
}

void ScriptChecker::ReportVariableUses() {
    for (const VariableUse &use : variableUses_)
        if (use.sets) variablesSet_.set(static_cast<size_t>(use.number));
    std::set<int> reported;
    for (const VariableUse &use : variableUses_) {
        if (use.sets) continue;
        if (variablesSet_.test(static_cast<size_t>(use.number)) || variablesSetDynamically_) continue;
        if (!reported.insert(use.number).second) continue;
        std::string key = VariableKey(use.number);
        findings_.Note(use.line, key + " is set nowhere in this script ([Variables] or a command 27): ~%" + key +
                                     " expands to the empty text unless it is set before the run gets here");
    }
}

void ScriptChecker::Expanded(const std::string &value, int line) {
    CheckVariableTokens(value, line, findings_, &variableUses_);
}

void ScriptChecker::NoteVariableSet(const std::string &name, int line) {
    if (HoldsToken(name)) {
        variablesSetDynamically_ = true;
        return;
    }
    int number = VariableNumberOfKey(name);
    if (number < 0) {
        findings_.Warning(line, "variable name " + Quote(name) + " is not V000 to V999: no ~%V token reads it");
        return;
    }
    variablesSet_.set(static_cast<size_t>(number));
}

void ScriptChecker::CheckSetValue(const Command &c) {
    const std::string prefix = std::string(c.rule->name) + ": ";
    if (!c.HasArgument(0)) {
        static const char *const kWhat[] = {"", "argument 1 (the section)", "argument 2 (the key)",
                                            "argument 3 (the value)"};
        for (size_t k = 1; k <= 3; ++k) {
            CheckFits(c.Argument(k), 512, c.line, prefix + kWhat[k], findings_);
            Expanded(c.Argument(k), c.line);
        }
        if (!c.HasArgument(1) || !c.HasArgument(2))
            findings_.Error(c.line, prefix + (c.HasArgument(1) ? kWhat[2] : kWhat[1]) +
                                        " is empty: the value is not written where it should be");
        NoteWrite(c.Argument(1), c.Argument(2), c.line);
        return;
    }
    if (!RequireSection(c, c.Argument(0), "list section", false,
                        "the run logs \"Missing the Data section or an extra comma.\" and writes nothing"))
        return;
    for (const ScriptLine &line : script_.Find(c.Argument(0))->lines) {
        const std::string text = line.Text();
        const int at = line.lineNumber;
        size_t first = text.find(',');
        size_t second = first == std::string::npos ? first : text.find(',', first + 1);
        if (second == std::string::npos) {
            findings_.Error(at,
                            "a SetValue line is section,key,value with two commas: the run logs "
                            "\"Missing comma\" and skips it");
            continue;
        }
        if (first == 0 || second == first + 1) {
            findings_.Error(
                at, std::string("the ") + (first == 0 ? "section" : "key") + " is empty: the run skips this line");
            continue;
        }
        const std::string fields[3] = {Trim(text.substr(0, first)),
                                       Trim(text.substr(first + 1, second - first - 1)),
                                       Trim(text.substr(second + 1))};
        static const char *const kWhat[] = {"the section", "the key", "the value"};
        for (int k = 0; k < 3; ++k) {
            CheckFits(fields[k], 512, at, kWhat[k], findings_);
            Expanded(fields[k], at);
        }
        NoteWrite(fields[0], fields[1], at);
    }
}

// A value that command 26 writes: into [Variables] it sets a variable, and the
// section it writes is in use.
void ScriptChecker::NoteWrite(const std::string &section, const std::string &key, int line) {
    if (HoldsToken(section)) {
        variablesSetDynamically_ = true;
        return;
    }
    used_.insert(Folded(section));
    if (EqualsNoCase(section, "Variables")) NoteVariableSet(key, line);
}

void ScriptChecker::CheckSetVariable(const Command &c) {
    const std::string prefix = std::string(c.rule->name) + ": ";
    if (!c.HasArgument(0)) {
        if (!c.HasArgument(1)) {
            findings_.Error(c.line, prefix + "argument 1 (the variable name) is empty: nothing is set");
            return;
        }
        CheckFits(c.Argument(1), 512, c.line, prefix + "argument 1 (the name)", findings_);
        CheckFits(c.Argument(2), 512, c.line, prefix + "argument 2 (the value)", findings_);
        if (HoldsToken(c.Argument(1)))
            findings_.Warning(c.line, prefix +
                                          "the single form takes the name as written: variable tokens in "
                                          "it are not replaced");
        else
            NoteVariableSet(c.Argument(1), c.line);
        Expanded(c.Argument(2), c.line);
        return;
    }
    if (!RequireSection(c, c.Argument(0), "list section", false,
                        "the run logs \"Missing the Data section or an extra comma.\" and sets nothing"))
        return;
    for (const ScriptLine &line : script_.Find(c.Argument(0))->lines) {
        const std::string text = line.Text();
        const int at = line.lineNumber;
        size_t comma = text.find(',');
        if (comma == std::string::npos) {
            findings_.Error(at, "a SetVariable line is name,value: the run logs \"Missing comma\" and skips it");
            continue;
        }
        if (comma == 0) {
            findings_.Error(at, "the variable name is empty: the run skips this line");
            continue;
        }
        const std::string name = Trim(text.substr(0, comma));
        const std::string value = Trim(text.substr(comma + 1));
        CheckFits(name, 512, at, "the name", findings_);
        CheckFits(value, 512, at, "the value", findings_);
        Expanded(name, at);
        Expanded(value, at);
        NoteVariableSet(name, at);
    }
}

}  // namespace rules
}  // namespace check
