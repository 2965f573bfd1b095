// Script-level rules: the walk over the sections the run reaches, the sections commands
// name, [Data] and the sections that belong to the run, and the keys of argument sections.
#include "script_checker_rules.h"

#include <algorithm>

#include "engine/profile_number_rules.h"

namespace check {
namespace rules {

namespace {

// [Data] options read as numbers, from the script or from the working copy.
const char *const kNumericDataOptions[] = {"Logging",    "ForceCleanStart", "SuppressReboot", "SilentMode", "RunCount",
                                           "DecCommand", "IncCommand",      "IsNorvik",       "Debug",
                                           "SYSID"};

// Sections the run reads by name, whatever the commands say.
const char *const kRunSections[] = {"CommandsList", "Data", "Variables", "Commands", "State"};

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

}  // namespace

void ScriptChecker::Run() {
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

void ScriptChecker::EnterCommandSection(const std::string &name) {
    const ScriptSection *section = script_.Find(name);
    if (!section) return;
    used_.insert(Folded(name));
    if (entered_.insert(Folded(name)).second) pending_.push_back(section);
}

// Reports a section that a command needs and that is missing or has no lines.
// True when it is there with lines. A name holding a variable token is checked
// only where the run expands it, and then only at run time.
bool ScriptChecker::RequireSection(const Command &c, const std::string &name, const std::string &role,
                                   bool expanded, const std::string &consequence) {
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
const ScriptSection *ScriptChecker::NearestSection(const std::string &wanted) const {
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

void ScriptChecker::ReportMissingSections() {
    for (const MissingSection &m : missing_) {
        if (appendsFiles_)
            findings_.Warning(m.line, m.message + " (unless the file that command 28 appends brings it)");
        else
            findings_.Error(m.line, m.message);
    }
}

void ScriptChecker::ReportUnusedSections() {
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
void ScriptChecker::CheckKeySection(const ScriptSection &section) {
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

void ScriptChecker::CheckDataSection() {
    const ScriptSection *data = script_.Find("Data");
    if (!data) return;
    CheckKeySection(*data);
    for (const char *option : kNumericDataOptions) {
        std::string value;
        const ScriptLine *where = nullptr;
        if (!ReadKey(data, option, value, &where) || Trim(value).empty()) continue;
        ProfileNumber number = ReadProfileNumber(where->value);
        const std::string surprise = ProfileNumberSurprise(where->value);
        if (!number.isNumber) {
            findings_.Error(where->lineNumber, std::string("[Data] ") + option + " " + Quote(value) +
                                                   " is not a number: the run reads it as 0");
        } else if (!surprise.empty()) {
            findings_.Warning(where->lineNumber, std::string("[Data] ") + option + " " + Quote(value) + " " + surprise);
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

void ScriptChecker::CheckRunSections() {
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

void ScriptChecker::NotExpanded(const Command &c, const std::string &value, int line, const std::string &what) {
    if (HoldsToken(value))
        findings_.Warning(line, std::string(c.rule->name) + ": " + what +
                                    " is used as written: variable tokens in it are not replaced");
}

// Profile values have no comments: an author's "; note" becomes part of the value.
void ScriptChecker::NoComment(const std::string &value, int line, const std::string &what) {
    for (size_t i = 1; i < value.size(); ++i) {
        if (value[i] == ';' && IsBlank(value[i - 1])) {
            findings_.Warning(line, what + " holds " + Quote(value.substr(i)) +
                                        ": values have no comments, so it is part of the value");
            return;
        }
    }
}

void ScriptChecker::CheckEndOfSection(const Command &) {}

void ScriptChecker::CheckNoArguments(const Command &) {}

void ScriptChecker::CheckUnsupported(const Command &c) {
    findings_.Warning(c.line, "command " + std::to_string(c.number) + " (" + c.rule->name +
                                  ") is not supported: the run logs \" Not Supported yet.\" and does nothing");
}

void ScriptChecker::CheckFromData(const Command &c) {
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
const ScriptSection *ScriptChecker::KeySectionOf(const Command &c, const std::string &consequence) {
    if (!RequireSection(c, c.Argument(0), "argument section", false, consequence)) return nullptr;
    const ScriptSection *section = script_.Find(c.Argument(0));
    CheckKeySection(*section);
    return section;
}

// The keys of a section that the command reads: lengths and tokens.
void ScriptChecker::CheckKeyValues(const Command &c, const ScriptSection &section) {
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

// One check for every shape of the command table, in the order of its enum.
const ScriptChecker::ShapeCheck ScriptChecker::kShapeChecks[kShapeCount] = {
    &ScriptChecker::CheckEndOfSection,  &ScriptChecker::CheckNoArguments,  &ScriptChecker::CheckFromData,
    &ScriptChecker::CheckLinkFile,      &ScriptChecker::CheckRegistry,     &ScriptChecker::CheckSpawn,
    &ScriptChecker::CheckSleep,         &ScriptChecker::CheckRegistryList, &ScriptChecker::CheckFileCommand,
    &ScriptChecker::CheckMessageBox,    &ScriptChecker::CheckBranch,       &ScriptChecker::CheckSystemIdBranch,
    &ScriptChecker::CheckSetValue,      &ScriptChecker::CheckSetVariable,  &ScriptChecker::CheckAppendFile,
    &ScriptChecker::CheckExitAndDelete, &ScriptChecker::CheckLogMessage,   &ScriptChecker::CheckUnsupported,
};

}  // namespace rules

void CheckScript(const ScriptFile &script, Findings &findings) { rules::ScriptChecker(script, findings).Run(); }

bool CheckScriptBytes(const std::string &bytes, Findings &findings, std::string &refusal) {
    ScriptFile script;
    if (!ParseScript(bytes, script, findings, refusal)) return false;
    CheckScript(script, findings);
    return true;
}

}  // namespace check
