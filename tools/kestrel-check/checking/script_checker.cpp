#include "script_checker.h"

#include <algorithm>
#include <bitset>
#include <cctype>
#include <deque>
#include <functional>
#include <map>
#include <set>
#include <vector>

#include "command_rules.h"
#include "engine/text_rules.h"
#include "value_rules.h"

namespace check {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

std::string Trim(const std::string &textValue) {
    size_t begin = 0, end = textValue.size();
    while (begin < end && IsBlank(textValue[begin])) ++begin;
    while (end > begin && IsBlank(textValue[end - 1])) --end;
    return textValue.substr(begin, end - begin);
}

bool EqualsNoCase(const std::string &a, const std::string &b) { return Folded(a) == Folded(b); }

std::string Plural(size_t count, const char *one, const char *many) {
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

// [Data] options read as numbers, from the script or from the working copy.
const char *const kNumericDataOptions[] = {"Logging",    "ForceCleanStart", "SuppressReboot", "SilentMode", "RunCount",
                                           "DecCommand", "IncCommand",      "IsNorvik",       "Debug"};

// Sections the run reads by name, whatever the commands say.
const char *const kRunSections[] = {"CommandsList", "Data", "Variables", "Commands", "State"};

bool IsHex(char c) { return isxdigit(static_cast<unsigned char>(c)) != 0; }

// Letters to insert, delete or change to turn one name into the other, without
// regard to case; stops counting past limit.
size_t NameDistance(const std::string &a, const std::string &b, size_t limit) {
    const std::string x = Folded(a), y = Folded(b);
    if ((x.size() > y.size() ? x.size() - y.size() : y.size() - x.size()) > limit) return limit + 1;
    std::vector<size_t> row(y.size() + 1);
    for (size_t j = 0; j <= y.size(); ++j) row[j] = j;
    for (size_t i = 1; i <= x.size(); ++i) {
        size_t diagonal = row[0];
        row[0] = i;
        for (size_t j = 1; j <= y.size(); ++j) {
            size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (x[i - 1] == y[j - 1] ? 0 : 1)});
            diagonal = above;
        }
    }
    return row[y.size()];
}

// A name one letter away from a wanted one (two for longer names) is taken for
// a misspelling of it; short names are too close to everything to tell.
bool IsNearMiss(const std::string &wanted, const std::string &found) {
    if (wanted.size() < 3 || EqualsNoCase(wanted, found)) return false;
    return NameDistance(wanted, found, 2) <= (wanted.size() >= 5 ? 2u : 1u);
}

// An ID list line matches only when it is one of the renderings of an ID:
// hexadecimal digits with or without "0x", or a decimal number.
bool IsIdRendering(const std::string &line) {
    std::string digits = line;
    if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) digits = digits.substr(2);
    if (digits.empty()) return false;
    return std::all_of(digits.begin(), digits.end(), IsHex);
}

class ScriptChecker {
public:
    ScriptChecker(const ScriptFile &script, Findings &findings) : script_(script), findings_(findings) {}

    void Run() {
        CheckDataSection();
        CheckVariablesSection();
        CheckRunSections();
        for (const char *name : kRunSections) used_.insert(Folded(name));

        const ScriptSection *start = script_.Find("CommandsList");
        const ScriptSection *nearMiss = start ? nullptr : NearestSection("CommandsList");
        if (nearMiss) {
            findings_.Error(nearMiss->headerLine,
                            "no [CommandsList]: " + Bracketed(nearMiss->name) +
                                " here is not its name, so the run stops at once with \"Cannot initialize commands "
                                "section\"; name it [CommandsList]");
            used_.insert(Folded(nearMiss->name));
        } else if (!start || start->lines.empty()) {
            findings_.Error(start ? start->headerLine : 1,
                            "no [CommandsList] with command lines: the run stops at once with \"Cannot initialize "
                            "commands section\"");
        } else {
            EnterCommandSection("CommandsList");
        }
        while (!pending_.empty()) {
            const ScriptSection *section = pending_.front();
            pending_.pop_front();
            CheckCommandSection(*section);
        }

        ReportMissingSections();
        ReportVariableUses();
        ReportUnusedSections();
    }

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

    // ---- sections --------------------------------------------------------------

    void EnterCommandSection(const std::string &name) {
        const ScriptSection *section = script_.Find(name);
        if (!section) return;
        used_.insert(Folded(name));
        if (entered_.insert(Folded(name)).second) pending_.push_back(section);
    }

    // Reports a section that a command needs and that is missing or has no lines.
    // True when it is there with lines. A name holding a variable token is checked
    // only where the run expands it, and then only at run time.
    bool RequireSection(const Command &c, const std::string &name, const std::string &role, bool expanded,
                        const std::string &consequence) {
        const std::string prefix = std::string(c.rule->name) + ": ";
        if (name.empty()) {
            findings_.Error(c.line, prefix + role + " is not given: " + consequence);
            return false;
        }
        if (HoldsToken(name)) {
            if (expanded) {
                CheckVariableTokens(name, c.line, findings_, &variableUses_);
                findings_.Note(c.line, prefix + role + " " + Quote(name) +
                                           " holds a variable token: the section is known only at run time");
                dynamicTargets_ = true;
            } else {
                findings_.Error(c.line, prefix + "variable tokens are not expanded in " + role +
                                            ": the run looks for a section literally named " + Bracketed(name));
            }
            return false;
        }
        const ScriptSection *section = script_.Find(name);
        if (section) used_.insert(Folded(name));
        if (!section) {
            std::string message = prefix + role + " " + Bracketed(name) + " does not exist: " + consequence;
            if (const ScriptSection *near = NearestSection(name))
                message += "; did you mean " + Bracketed(near->name) + " (line " + std::to_string(near->headerLine) + ")?";
            missing_.push_back({c.line, message});
            return false;
        }
        if (section->lines.empty()) {
            missing_.push_back({c.line, prefix + role + " " + Bracketed(name) + " (line " +
                                            std::to_string(section->headerLine) + ") has no lines: " + consequence});
            return false;
        }
        return true;
    }

    // The section whose name is a near miss of the wanted one, the closest first.
    const ScriptSection *NearestSection(const std::string &wanted) const {
        const ScriptSection *nearest = nullptr;
        size_t best = 3;
        for (const ScriptSection &section : script_.sections) {
            if (section.hidden || section.name.empty() || !IsNearMiss(wanted, section.name)) continue;
            size_t distance = NameDistance(wanted, section.name, 2);
            if (distance < best) {
                best = distance;
                nearest = &section;
            }
        }
        return nearest;
    }

    void ReportMissingSections() {
        for (const MissingSection &m : missing_) {
            if (appendsFiles_)
                findings_.Warning(m.line, m.message + " (unless the file that command 28 appends brings it)");
            else
                findings_.Error(m.line, m.message);
        }
    }

    void ReportUnusedSections() {
        for (size_t i = 1; i < script_.sections.size(); ++i) {
            const ScriptSection &section = script_.sections[i];
            if (section.hidden || section.name.empty()) continue;
            std::string folded = Folded(section.name);
            if (used_.count(folded) || folded.compare(0, 5, "data.") == 0) continue;
            std::string message = "section " + Bracketed(section.name) +
                                  " is never used: no command of a section the run reaches names it";
            if (dynamicTargets_) message += " (a target held in a variable may still reach it)";
            findings_.Note(section.headerLine, message);
        }
    }

    // Sections read key by key: the first of duplicate keys is the one read, and a
    // line without '=' is no key at all.
    void CheckKeySection(const ScriptSection &section) {
        if (!keySectionsChecked_.insert(&section).second) return;
        std::map<std::string, int> firstLine;
        for (const ScriptLine &line : section.lines) {
            if (!line.hasValue) {
                if (line.name[0] == '[') continue;  // a broken header, reported where it is read
                findings_.Warning(line.lineNumber, Bracketed(section.name) + " line " + Quote(line.name) +
                                                       " has no '=': no key of that name can be read from it");
                continue;
            }
            auto inserted = firstLine.emplace(Folded(line.name), line.lineNumber);
            if (!inserted.second) {
                findings_.Warning(line.lineNumber, Bracketed(section.name) + " key " + Quote(line.name) +
                                                       " appears again: the first, at line " +
                                                       std::to_string(inserted.first->second) +
                                                       ", is the one the run reads");
            }
        }
    }

    // ---- [Data], [Variables], [Commands], [State] ------------------------------

    void CheckDataSection() {
        const ScriptSection *data = script_.Find("Data");
        if (!data) return;
        CheckKeySection(*data);
        for (const char *option : kNumericDataOptions) {
            std::string value;
            const ScriptLine *where = nullptr;
            if (!ReadKey(data, option, value, &where) || Trim(value).empty()) continue;
            ProfileNumber number = ReadProfileNumber(value);
            if (!number.isNumber) {
                findings_.Error(where->lineNumber, std::string("[Data] ") + option + " " + Quote(value) +
                                                       " is not a number: the run reads it as 0");
            } else if (!number.whole) {
                findings_.Warning(where->lineNumber, std::string("[Data] ") + option + " " + Quote(value) +
                                                         " reads as " + std::to_string(number.value) +
                                                         ": the text after the number is ignored");
            }
        }
        std::string logFile;
        const ScriptLine *where = nullptr;
        if (ReadKey(data, "LogFile", logFile, &where) && !logFile.empty()) {
            if (logFile.find(';') != std::string::npos) {
                findings_.Warning(where->lineNumber,
                                  "[Data] LogFile holds a ';': values have no comments, so the install log path is "
                                  "the whole text " +
                                      Quote(logFile, 80));
            }
            size_t badCharacter = logFile.find_first_of("<>\"|?*");
            size_t colon = logFile.find(':', 2);
            if (badCharacter != std::string::npos || colon != std::string::npos) {
                findings_.Error(
                    where->lineNumber,
                    "[Data] LogFile " + Quote(logFile, 80) + " is no valid file path (" +
                        Quote(std::string(1, logFile[badCharacter != std::string::npos ? badCharacter : colon])) +
                        "): the install log cannot be opened and every log line is lost");
            }
            if (logFile.size() > 127) {
                findings_.Error(where->lineNumber, "[Data] LogFile is " + std::to_string(logFile.size()) +
                                                       " characters long: the install log path holds at most 127, "
                                                       "so the run does not log where this says");
            }
        }
    }

    void CheckVariablesSection() {
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
    void ReportVariableCycles(const ScriptSection &variables, const std::map<int, std::vector<int>> &refersTo) {
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

    void CheckRunSections() {
        static const struct {
            const char *name;
            const char *why;
        } kOwnSections[] = {
            {"Commands",
             "the run writes its unrolled commands there, and a script that brings its own can make "
             "the run carry on from them instead of starting at [CommandsList]"},
            {"State",
             "the run keeps its section state there, and a script that brings its own does not start at "
             "[CommandsList]"},
        };
        for (const auto &own : kOwnSections) {
            const ScriptSection *section = script_.Find(own.name);
            if (section && !section->lines.empty())
                findings_.Warning(section->headerLine, Bracketed(section->name) + " belongs to the run: " + own.why);
        }
    }

    void ReportVariableUses() {
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

    // ---- command sections ------------------------------------------------------

    void CheckCommandSection(const ScriptSection &section) {
        std::vector<Command> commands;
        for (const ScriptLine &line : section.lines) {
            UnrolledCommand unrolled;
            if (!UnrollCommandLine(line.Text(), unrolled)) continue;
            Command c;
            c.line = line.lineNumber;
            for (const std::string &field : unrolled.fields) c.arguments.push_back(ValueAsRead(Trim(field)));
            c.number = ReadCommandNumber(ValueAsRead(Trim(unrolled.typeText)), section, line);
            commands.push_back(std::move(c));
        }

        ReportReplacedChoices(commands);
        for (size_t i = 0; i < commands.size(); ++i) {
            Command &c = commands[i];
            if (c.number == 0) {
                size_t after = commands.size() - i - 1;
                if (after > 0 && !endsReported_.count(c.line)) {
                    findings_.Warning(c.line, "command 0 ends the section here: the " +
                                                  Plural(after, "command line", "command lines") +
                                                  " after it never run (unless command 7 moves the cursor past it)");
                }
            }
            c.rule = FindCommandRule(c.number);
            if (!c.rule) continue;
            CheckFits(c.Argument(0), kArgumentCapacity, c.line, std::string(c.rule->name) + ": argument 0", findings_);
            (this->*kShapeChecks[static_cast<int>(c.rule->shape)])(c);
        }
    }

    // A jump, a branch or a question box: it names the next section.
    static bool ChoosesNext(const Command &c, const CommandRule &rule) {
        if (rule.shape == CommandShape::MessageBox) {
            ProfileNumber kind = ReadProfileNumber(c.Argument(1));
            return kind.isNumber && kind.value >= 2 && kind.value <= 4;
        }
        return rule.branch != nullptr;
    }

    // It names one whatever the outcome: every target is given (an empty one
    // leaves the earlier choice), or it is a question box, which writes even an
    // empty answer.
    static bool AlwaysChoosesNext(const Command &c, const CommandRule &rule) {
        if (!ChoosesNext(c, rule)) return false;
        if (!rule.branch) return true;
        for (size_t i = 0; i < rule.branch->count; ++i)
            if (!c.HasArgument(static_cast<size_t>(rule.branch->outcomes[i].argument))) return false;
        return true;
    }

    // Jumps wait for the end of the section: a later one that always chooses makes
    // an earlier one of the same section void. A 0 ends the section; 8 and 29 end
    // the run and its choices with it.
    void ReportReplacedChoices(const std::vector<Command> &commands) {
        const Command *pending = nullptr;
        for (const Command &c : commands) {
            const CommandRule *rule = FindCommandRule(c.number);
            if (!rule || c.number == 0 || c.number == 8 || c.number == 29) {
                pending = nullptr;
                continue;
            }
            if (!ChoosesNext(c, *rule)) continue;
            if (pending && AlwaysChoosesNext(c, *rule)) {
                findings_.Warning(pending->line, std::string(FindCommandRule(pending->number)->name) +
                                                     ": the next section it names is replaced by line " +
                                                     std::to_string(c.line) + " (" + rule->name +
                                                     ") before this section ends, so it never takes effect");
            }
            pending = &c;
        }
    }

    int ReadCommandNumber(const std::string &typeText, const ScriptSection &section, const ScriptLine &scriptLine) {
        const int line = scriptLine.lineNumber;
        ProfileNumber number = ReadProfileNumber(typeText);
        if (!number.isNumber) {
            size_t after = 0;
            bool counting = false;
            for (const ScriptLine &other : section.lines) {
                if (&other == &scriptLine) {
                    counting = true;
                } else if (counting) {
                    UnrolledCommand ignored;
                    if (UnrollCommandLine(other.Text(), ignored)) ++after;
                }
            }
            std::string message = "command number " + Quote(typeText) +
                                  " is not a number: the run reads it as 0, which ends the section here";
            if (after > 0) message += ", and the " + Plural(after, "line", "lines") + " after it never run";
            findings_.Error(line, message);
            endsReported_.insert(line);
            return 0;
        }
        if (!number.whole) {
            findings_.Warning(line, "command number " + Quote(typeText) + " reads as " + std::to_string(number.value) +
                                        ": the text after the number is ignored");
        }
        if (number.value < 0 || number.value > kLastCommandNumber) {
            findings_.Error(line, "command number " + std::to_string(number.value) +
                                      " is not defined (0 to 38): the run logs \"CMD >" + std::to_string(number.value) +
                                      "< not defined\" and skips the line");
        }
        return number.value;
    }

    // ---- shapes ----------------------------------------------------------------

    void NotExpanded(const Command &c, const std::string &value, int line, const std::string &what) {
        if (HoldsToken(value))
            findings_.Warning(line, std::string(c.rule->name) + ": " + what +
                                        " is used as written: variable tokens in it are not replaced");
    }

    // Profile values have no comments: an author's "; note" becomes part of the value.
    void NoComment(const std::string &value, int line, const std::string &what) {
        for (size_t i = 1; i < value.size(); ++i) {
            if (value[i] == ';' && IsBlank(value[i - 1])) {
                findings_.Warning(line, what + " holds " + Quote(value.substr(i)) +
                                            ": values have no comments, so it is part of the value");
                return;
            }
        }
    }

    void Expanded(const std::string &value, int line) { CheckVariableTokens(value, line, findings_, &variableUses_); }

    void CheckEndOfSection(const Command &) {}
    void CheckNoArguments(const Command &) {}

    void CheckUnsupported(const Command &c) {
        findings_.Warning(c.line, "command " + std::to_string(c.number) + " (" + c.rule->name +
                                      ") is not supported: the run logs \" Not Supported yet.\" and does nothing");
    }

    void CheckFromData(const Command &c) {
        if (c.HasArgument(0)) {
            findings_.Warning(c.line, std::string(c.rule->name) + ": reads " + c.rule->dataKey +
                                          " from [DATA] always; the argument section " + Quote(c.Argument(0)) +
                                          " is ignored");
        }
        if (c.number == 5) return;
        std::string value;
        if (!ReadKey(script_.Find("Data"), c.rule->dataKey, value)) {
            findings_.Note(c.line, std::string(c.rule->name) + ": [Data] has no " + c.rule->dataKey +
                                       ", so the command moves nothing unless a command 26 writes it first");
        }
    }

    // An argument section read key by key; returns it, or null when missing.
    const ScriptSection *KeySectionOf(const Command &c, const std::string &consequence) {
        if (!RequireSection(c, c.Argument(0), "argument section", false, consequence)) return nullptr;
        const ScriptSection *section = script_.Find(c.Argument(0));
        CheckKeySection(*section);
        return section;
    }

    // The keys of a section that the command reads: lengths and tokens.
    void CheckKeyValues(const Command &c, const ScriptSection &section) {
        for (size_t i = 0; i < c.rule->keyCount; ++i) {
            const KeyRule &key = c.rule->keys[i];
            std::string value;
            const ScriptLine *where = nullptr;
            if (!ReadKey(&section, key.key, value, &where)) continue;
            const std::string what = std::string(c.rule->name) + ": " + Bracketed(section.name) + " " + key.key;
            CheckFits(value, key.capacity, where->lineNumber, what, findings_);
            NoComment(value, where->lineNumber, what);
            if (key.expanded)
                Expanded(value, where->lineNumber);
            else
                NotExpanded(c, value, where->lineNumber, Bracketed(section.name) + " " + key.key);
        }
    }

    void CheckLinkFile(const Command &c) {
        const ScriptSection *section = KeySectionOf(c, "the command has no file to work on");
        if (!section) return;
        CheckKeyValues(c, *section);
        std::string value;
        if (!ReadKey(section, c.rule->keys[0].key, value) || value.empty()) {
            findings_.Error(c.line, std::string(c.rule->name) + ": " + Bracketed(section->name) + " has no " +
                                        c.rule->keys[0].key + ": the command has no file to work on");
        }
    }

    void CheckRegistry(const Command &c) {
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
        if (ReadKey(section, "RegDataType", type, &where) && !Trim(type).empty() && !ReadProfileNumber(type).isNumber)
            findings_.Warning(where->lineNumber, prefix + "RegDataType " + Quote(type) +
                                                     " is not a number: the value is written as REG_SZ");
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

    void CheckWaitChoice(const Command &c, const std::string &choice, int line, const char *what) {
        if (!choice.empty() && !EqualsNoCase(choice, "TRUE") && !EqualsNoCase(choice, "FALSE"))
            findings_.Warning(line, std::string(c.rule->name) + ": " + what + " " + Quote(choice) +
                                        " is neither TRUE nor FALSE: only TRUE counts, so the run reads it as FALSE");
    }

    void CheckSpawn(const Command &c) {
        const std::string prefix = std::string(c.rule->name) + ": ";
        if (!c.HasArgument(0)) {
            if (!c.HasArgument(1)) {
                findings_.Error(c.line, prefix + "argument 1 (the program to start) is empty: the start fails");
                return;
            }
            CheckFits(c.Argument(1), 260, c.line, prefix + "argument 1 (the program)", findings_);
            Expanded(c.Argument(1), c.line);
            CheckFits(c.Argument(2), 32, c.line, prefix + "argument 2 (the wait choice)", findings_);
            CheckWaitChoice(c, c.Argument(2), c.line, "wait choice");
            return;
        }
        const ScriptSection *section = KeySectionOf(c, "there is no program to start");
        if (!section) return;
        CheckKeyValues(c, *section);
        std::string program, wait;
        if (!ReadKey(section, "Program", program) || program.empty())
            findings_.Error(c.line, prefix + Bracketed(section->name) + " has no Program: there is nothing to start");
        const ScriptLine *where = nullptr;
        if (ReadKey(section, "WaitToExit", wait, &where)) CheckWaitChoice(c, wait, where->lineNumber, "WaitToExit");
    }

    void CheckSleep(const Command &c) {
        const std::string prefix = std::string(c.rule->name) + ": ";
        const std::string time = c.Argument(0);
        if (time.empty()) {
            findings_.Warning(c.line, prefix +
                                          "no time given: the run logs \"..time not defined to sleep\" and "
                                          "does not pause");
            return;
        }
        NotExpanded(c, time, c.line, "the time");
        ProfileNumber number = ReadProfileNumber(time);
        if (!number.isNumber || !number.whole) {
            findings_.Warning(c.line, prefix + "time " + Quote(time) + " reads as " +
                                          std::to_string(number.isNumber ? number.value : 0) + " milliseconds");
        } else if (number.value < 0) {
            findings_.Warning(c.line, prefix + "a negative time is no pause the run can make");
        }
    }

    void CheckRegistryList(const Command &c) {
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

            ProfileNumber action = ReadProfileNumber(fields[0]);
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

    void CheckRegistryData(const std::string &typeText, const std::string &data, int at) {
        ProfileNumber type = ReadProfileNumber(typeText);
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

    void CheckFileCommand(const Command &c) {
        const FileRule &rule = *c.rule->file;
        const std::string prefix = std::string(c.rule->name) + ": ";
        static const char *const kOperandNames[2][2] = {{"the path", ""}, {"the source", "the destination"}};
        const bool pair = rule.singleOperands == 2;
        if (!c.HasArgument(0)) {
            for (int k = 0; k < rule.singleOperands; ++k) {
                const std::string operand = c.Argument(static_cast<size_t>(k) + 1);
                std::string what = "argument " + std::to_string(k + 1) + " (" + kOperandNames[pair][k] + ")";
                if (operand.empty()) {
                    findings_.Error(c.line, prefix + what + " is empty: the command fails");
                    continue;
                }
                CheckFits(operand, rule.singleCapacity[k], c.line, prefix + what, findings_);
                Expanded(operand, c.line);
            }
            return;
        }

        std::string consequence = "the command does nothing";
        const std::string list = c.Argument(0);
        if (list.find('\\') != std::string::npos || list.find(':') != std::string::npos)
            consequence += " (for the single form leave argument 0 empty: " + std::to_string(c.number) + ",," +
                           (pair ? "source,destination" : "path") + ")";
        for (size_t k = 1; k < c.arguments.size(); ++k) {
            if (!c.HasArgument(k)) continue;
            findings_.Warning(c.line, prefix +
                                          "argument 0 names a list section, so the arguments after it are "
                                          "ignored");
            break;
        }
        if (!RequireSection(c, list, "list section", false, consequence)) return;
        const ScriptSection &section = *script_.Find(list);
        for (const ScriptLine &line : section.lines) {
            if (rule.lineKind == ListLine::Pair)
                CheckPairLine(rule, line);
            else
                CheckPathLine(c, rule, line);
        }
    }

    void CheckPathLine(const Command &c, const FileRule &rule, const ScriptLine &line) {
        const std::string path = line.Text();
        const int at = line.lineNumber;
        if (rule.sourceWildcardSkips && path.find('*') != std::string::npos) {
            findings_.Error(at,
                            "wildcards are not supported: the run logs \"Wild Card syntax not supported\" and "
                            "skips this line");
            return;
        }
        if (rule.semicolonIsPath && path.find(';') != std::string::npos)
            findings_.Warning(at, std::string(c.rule->name) +
                                      " takes a list line whole: the ';' starts no comment, "
                                      "so the path is " +
                                      Quote(path, 80));
        CheckFits(path, rule.listCapacity[0], at, "the path", findings_);
        Expanded(path, at);
    }

    void CheckPairLine(const FileRule &rule, const ScriptLine &line) {
        const std::string text = line.Text();
        const int at = line.lineNumber;
        size_t comma = text.find(',');
        if (comma == std::string::npos) {
            findings_.Error(at,
                            "no comma between source and destination: the run logs \"Missing comma\" and skips "
                            "this line");
            return;
        }
        std::string source = Trim(text.substr(0, comma));
        std::string destinationBuffer = Trim(text.substr(comma + 1));
        destinationBuffer.push_back('\0');
        std::string destination = StripCommentsInPlace(&destinationBuffer[0]);
        if (!source.empty() && source[0] == ';') return;  // the run takes it as a comment
        if (source.empty() || destination.empty()) {
            findings_.Error(at, std::string("the ") + (source.empty() ? "source" : "destination") +
                                    " is missing: the run skips this line");
            return;
        }
        if (rule.sourceWildcardSkips && source.find('*') != std::string::npos) {
            findings_.Error(at,
                            "wildcards are not supported: the run logs \"Wild Cards not supported yet.\" and "
                            "skips this line");
            return;
        }
        if (source.find('?') != std::string::npos)
            findings_.Warning(at, "'?' is no wildcard here: the source " + Quote(source) + " is looked up as written");
        CheckFits(source, rule.listCapacity[0], at, "the source", findings_);
        CheckFits(destination, rule.listCapacity[1], at, "the destination", findings_);
        Expanded(source, at);
        Expanded(destination, at);
    }

    void CheckMessageBox(const Command &c) {
        const std::string prefix = std::string(c.rule->name) + ": ";
        const std::string base = c.Argument(0);
        const std::string name = base + ".US";
        if (base.empty()) {
            findings_.Error(c.line, prefix + "argument 0 (the message) is empty: the run looks for section [.US]");
        } else if (RequireSection(c, name, "message section", false,
                                  "the run logs \"Missing the Message Section\", shows no box and does not branch")) {
            CheckMessageSection(c, *script_.Find(name));
        }

        int kind = 1;
        if (c.HasArgument(1)) {
            ProfileNumber number = ReadProfileNumber(c.Argument(1));
            kind = number.isNumber ? number.value : 0;
            if (!number.isNumber || !number.whole)
                findings_.Warning(c.line,
                                  prefix + "box kind " + Quote(c.Argument(1)) + " reads as " + std::to_string(kind));
        }
        static const int kAnswersOfKind[] = {0, 0, 2, 2, 3};  // kinds 2 and 3: two answers; 4: three
        int answers = kind >= 0 && kind <= 4 ? kAnswersOfKind[kind] : 0;
        if (answers == 0) {
            for (size_t k = 2; k < c.arguments.size(); ++k) {
                if (c.HasArgument(k)) {
                    findings_.Warning(c.line, prefix + "box kind " + std::to_string(kind) +
                                                  " asks no question: the sections named from argument 2 on are "
                                                  "never chosen");
                    break;
                }
            }
            return;
        }
        static const char *const kAnswerNames[3][3] = {
            {"OK", "Cancel", ""}, {"Yes", "No", ""}, {"Yes", "No", "Cancel"}};
        const int row = kind - 2;
        for (int k = 0; k < answers; ++k) {
            const std::string target = c.Argument(static_cast<size_t>(k) + 2);
            const std::string answer = kAnswerNames[row][k];
            if (target.empty()) {
                findings_.Note(c.line, prefix + "the answer " + answer +
                                           " names no section: choosing it ends the run "
                                           "when this section ends");
                continue;
            }
            CheckTarget(c, target, "the section for the answer " + answer, false,
                        "choosing it ends the run at the end of this section");
        }
    }

    void CheckMessageSection(const Command &c, const ScriptSection &section) {
        CheckKeySection(section);
        const std::string prefix = std::string(c.rule->name) + ": " + Bracketed(section.name) + " ";
        std::string title;
        const ScriptLine *where = nullptr;
        if (ReadKey(&section, "Title", title, &where)) {
            CheckFits(title, 128, where->lineNumber, prefix + "Title", findings_);
            NoComment(title, where->lineNumber, prefix + "Title");
            NotExpanded(c, title, where->lineNumber, "the title");
        }
        int shown = 0;
        for (int k = 1;; ++k) {
            std::string value;
            const std::string key = "Message" + std::to_string(k);
            if (!ReadKey(&section, key, value, &where) || value.empty() || EqualsNoCase(value, "NO TEXT")) break;
            shown = k;
            CheckFits(value, 128, where->lineNumber, prefix + key, findings_);
            NoComment(value, where->lineNumber, prefix + key);
            NotExpanded(c, value, where->lineNumber, key);
        }
        for (const ScriptLine &line : section.lines) {
            const std::string folded = Folded(line.name);
            if (folded.compare(0, 7, "message") != 0 || folded.size() == 7) continue;
            ProfileNumber number = ReadProfileNumber(folded.substr(7));
            if (number.isNumber && number.whole && number.value > shown + 1 && line.hasValue) {
                findings_.Warning(line.lineNumber,
                                  prefix + Quote(line.name) + " is never shown: the box text stops at " + "Message" +
                                      std::to_string(shown + 1) + ", the first that is missing or empty");
            }
        }
        if (shown == 0) findings_.Warning(c.line, prefix + "has no Message1: the box is shown without text");
    }

    // A command section that a branch or a jump names.
    void CheckTarget(const Command &c, const std::string &target, const std::string &role, bool expanded,
                     const std::string &consequence) {
        if (!HoldsToken(target)) {
            CheckFits(target, kSectionNameCapacity, c.line,
                      std::string(c.rule->name) + ": the name of " + role + " " + Bracketed(target), findings_);
        }
        if (RequireSection(c, target, role, expanded, consequence)) EnterCommandSection(target);
    }

    void CheckBranch(const Command &c) {
        const BranchRule &branch = *c.rule->branch;
        const std::string consequence =
            "the run shows the \"internal error\" box (unless silent), logs \"Section [...] is not found!\" and "
            "stays in this section";
        std::string notGiven;
        for (size_t i = 0; i < branch.count; ++i) {
            const Outcome &outcome = branch.outcomes[i];
            const std::string target = c.Argument(static_cast<size_t>(outcome.argument));
            const std::string role = branch.count == 1 ? std::string("the section to jump to")
                                                       : "the section for " + std::string(outcome.when) +
                                                             " (argument " + std::to_string(outcome.argument) + ")";
            if (target.empty()) {
                notGiven += (notGiven.empty() ? "" : ", ") + std::string(outcome.when) +
                            (branch.count == 1 ? "" : " (argument " + std::to_string(outcome.argument) + ")");
                continue;
            }
            CheckTarget(c, target, role, branch.expandsTargets, consequence);
        }
        if (!notGiven.empty()) {
            findings_.Warning(
                c.line, std::string(c.rule->name) + ": no section is given for " + notGiven + ": there " + consequence);
        }
    }

    void CheckSystemIdBranch(const Command &c) {
        if (RequireSection(c, c.Argument(0), "ID list", false,
                           "the run logs \"Missing the Data section\" and takes the not-supported branch")) {
            for (const ScriptLine &line : script_.Find(c.Argument(0))->lines) {
                std::string text = Trim(line.Text());
                if (!IsIdRendering(text))
                    findings_.Warning(line.lineNumber, "ID list line " + Quote(text) +
                                                           " never matches: a line is compared whole with the ID in "
                                                           "hexadecimal (with or without 0x) or in decimal");
            }
        }
        CheckBranch(c);
    }

    void NoteVariableSet(const std::string &name, int line) {
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

    void CheckSetValue(const Command &c) {
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
    void NoteWrite(const std::string &section, const std::string &key, int line) {
        if (HoldsToken(section)) {
            variablesSetDynamically_ = true;
            return;
        }
        used_.insert(Folded(section));
        if (EqualsNoCase(section, "Variables")) NoteVariableSet(key, line);
    }

    void CheckSetVariable(const Command &c) {
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

    void CheckAppendFile(const Command &c) {
        appendsFiles_ = true;
        if (!c.HasArgument(0)) {
            findings_.Error(c.line, std::string(c.rule->name) +
                                        ": argument 0 (the file to append) is empty: the "
                                        "run logs \" cound not open second file...\"");
            return;
        }
        Expanded(c.Argument(0), c.line);
    }

    void CheckExitAndDelete(const Command &c) {
        const std::string prefix = std::string(c.rule->name) + ": ";
        if (c.HasArgument(0)) {
            if (RequireSection(c, c.Argument(0), "list section", false,
                               "the run logs \"Missing the Data section\" and deletes nothing")) {
                const FileRule &rule = *FindCommandRule(16)->file;
                for (const ScriptLine &line : script_.Find(c.Argument(0))->lines) CheckPathLine(c, rule, line);
            }
        } else if (!c.HasArgument(1)) {
            findings_.Note(c.line, prefix +
                                       "no path to delete: the run logs \"Cannot find >< to delete\" before it "
                                       "ends");
        } else {
            CheckFits(c.Argument(1), 260, c.line, prefix + "argument 1 (the path)", findings_);
            Expanded(c.Argument(1), c.line);
        }
        CheckFits(c.Argument(2), 64, c.line, prefix + "argument 2 (the reboot choice)", findings_);
        CheckWaitChoice(c, c.Argument(2), c.line, "reboot choice");
    }

    void CheckLogMessage(const Command &c) {
        const std::string prefix = std::string(c.rule->name) + ": ";
        NotExpanded(c, c.Argument(0), c.line, "the message");
        if (c.arguments.size() > 1) {
            std::string rest;
            for (size_t k = 1; k < c.arguments.size(); ++k) rest += "," + c.arguments[k];
            findings_.Warning(
                c.line, prefix + "only argument 0 is logged: the text after its comma " + Quote(rest) + " is not");
        }
    }
};

const ScriptChecker::ShapeCheck ScriptChecker::kShapeChecks[kShapeCount] = {
    &ScriptChecker::CheckEndOfSection,  &ScriptChecker::CheckNoArguments,  &ScriptChecker::CheckFromData,
    &ScriptChecker::CheckLinkFile,      &ScriptChecker::CheckRegistry,     &ScriptChecker::CheckSpawn,
    &ScriptChecker::CheckSleep,         &ScriptChecker::CheckRegistryList, &ScriptChecker::CheckFileCommand,
    &ScriptChecker::CheckMessageBox,    &ScriptChecker::CheckBranch,       &ScriptChecker::CheckSystemIdBranch,
    &ScriptChecker::CheckSetValue,      &ScriptChecker::CheckSetVariable,  &ScriptChecker::CheckAppendFile,
    &ScriptChecker::CheckExitAndDelete, &ScriptChecker::CheckLogMessage,   &ScriptChecker::CheckUnsupported,
};

}  // namespace

void CheckScript(const ScriptFile &script, Findings &findings) { ScriptChecker(script, findings).Run(); }

bool CheckScriptBytes(const std::string &bytes, Findings &findings, std::string &refusal) {
    ScriptFile script;
    if (!ParseScript(bytes, script, findings, refusal)) return false;
    CheckScript(script, findings);
    return true;
}

}  // namespace check
