// The planner's walk: the command loop, the section set-up, the cursor moves and
// the branch decisions, over a model of the working copy instead of the file.
#include <algorithm>
#include <cstring>
#include <map>
#include <optional>
#include <unordered_map>

#include "command_rules.h"
#include "commands/flow_rules.h"
#include "commands/ini_edit_rules.h"
#include "commands/process_rules.h"
#include "engine/profile_number_rules.h"
#include "engine/text_rules.h"
#include "engine/variable_rules.h"
#include "findings.h"
#include "hardware/id_list_rules.h"
#include "plan.h"
#include "value_rules.h"

namespace plan {

namespace {

const char kUnknownOpen = '\x01';
const char kUnknownClose = '\x02';
const char kAbsent[] = "~x!x@x";  // what the section set-up reads for a missing key
const int kMaxReplacements = 100;  // the run's bound on one expansion

std::string Unknown(const std::string &label) { return std::string(1, kUnknownOpen) + label + kUnknownClose; }
bool IsKnown(const std::string &value) { return value.find(kUnknownOpen) == std::string::npos; }
bool Same(const std::string &a, const std::string &b) { return check::Folded(a) == check::Folded(b); }

std::string Cut(const std::string &value, size_t capacity) {
    return value.size() < capacity ? value : value.substr(0, capacity - 1);
}

// A command's line as the install log writes it: formatted into the loop's
// buffer, control bytes escaped.
std::string AsLogged(const std::string &text) {
    const std::string line = Cut(text, 512);
    std::vector<char> logged(line.size() * 4 + 1);
    OneLogLine(logged.data(), logged.size(), line.c_str());
    return logged.data();
}

std::string Key(const char *format, int number, int field = 0) {
    char key[64];
    snprintf(key, sizeof key, format, number, field);
    return key;
}

// The working copy as the profile functions see it: sections and keys matched
// without regard to case, the first of a name being the one read.
class WorkingCopy {
public:
    explicit WorkingCopy(const check::ScriptFile &script) {
        for (size_t i = 1; i < script.sections.size(); ++i) {
            const check::ScriptSection &section = script.sections[i];
            if (section.hidden || section.name.empty()) continue;
            Section &copy = Add(section.name);
            for (const check::ScriptLine &line : section.lines) Append(copy, {line.name, line.hasValue, line.value});
        }
    }

    // GetPrivateProfileStringA: the value cut to the buffer, or the fallback.
    std::string Get(const std::string &section, const std::string &key, const std::string &fallback,
                    size_t capacity) const {
        const Line *line = FindLine(section, key);
        return Cut(line && line->hasValue ? check::ValueAsRead(line->value) : fallback, capacity);
    }
    bool HasKey(const std::string &section, const std::string &key) const { return FindLine(section, key) != nullptr; }

    // GetPrivateProfileIntA; nothing when the value is known only on the PC.
    std::optional<int> GetInt(const std::string &section, const std::string &key, int fallback) const {
        const Line *line = FindLine(section, key);
        if (!line || !line->hasValue) return fallback;
        std::string value = check::ValueAsRead(line->value);
        if (value.empty()) return fallback;  // an empty value reads as the default too
        if (!IsKnown(value)) return std::nullopt;
        return static_cast<int>(ReadProfileNumberText(line->value, static_cast<unsigned>(fallback)).value);
    }

    // The lines a section read returns; empty for a missing section.
    std::vector<std::string> Lines(const std::string &section) const {
        std::vector<std::string> lines;
        if (const Section *found = Find(section))
            for (const Line &line : found->lines) lines.push_back(line.hasValue ? line.name + "=" + line.value : line.name);
        return lines;
    }
    bool HasLines(const std::string &section) const {
        const Section *found = Find(section);
        return found && !found->lines.empty();
    }

    // WritePrivateProfileStringA puts "key=value" on a line of its own, and a later
    // read finds that line as it finds any other: a field unrolled with the blank
    // after its comma reads back without it.
    void Write(const std::string &section, const std::string &key, const std::string &value) {
        const check::ScriptLine written = check::ReadKeyLine(key + "=" + value);
        Section *found = Find(section);
        if (!found) found = &Add(section);
        auto index = found->keys.find(check::Folded(written.name));
        if (index == found->keys.end()) {
            Append(*found, {written.name, true, written.value});
        } else {
            Line *at = &found->lines[index->second];
            if (at->hasValue && at->value == written.value) return;
            at->hasValue = true;
            at->value = written.value;
        }
        if (!Same(key, "CurrentCmd") && !Same(key, "RunCount")) ++revision_;
    }
    void DeleteSection(const std::string &section) {
        if (Section *found = Find(section)) {
            found->lines.clear();
            found->keys.clear();
            ++revision_;
        }
    }
    // Changes with every write that can change what the run does next.
    unsigned long Revision() const { return revision_; }

private:
    struct Line {
        std::string name;
        bool hasValue;
        std::string value;
    };
    struct Section {
        std::string name;
        std::vector<Line> lines;
        std::unordered_map<std::string, size_t> keys;  // folded name -> its first line
    };

    static void Append(Section &section, Line line) {
        section.keys.emplace(check::Folded(line.name), section.lines.size());
        section.lines.push_back(std::move(line));
    }

    Section &Add(const std::string &name) {
        sections_.push_back({name, {}, {}});
        index_[check::Folded(name)] = sections_.size() - 1;
        return sections_.back();
    }
    Section *Find(const std::string &name) {
        auto found = index_.find(check::Folded(name));
        return found == index_.end() ? nullptr : &sections_[found->second];
    }
    const Section *Find(const std::string &name) const {
        auto found = index_.find(check::Folded(name));
        return found == index_.end() ? nullptr : &sections_[found->second];
    }
    const Line *FindLine(const std::string &section, const std::string &key) const {
        const Section *found = Find(section);
        if (!found) return nullptr;
        auto index = found->keys.find(check::Folded(key));
        return index == found->keys.end() ? nullptr : &found->lines[index->second];
    }

    std::vector<Section> sections_;
    std::unordered_map<std::string, size_t> index_;
    unsigned long revision_ = 0;
};

enum class After { Advance, AdvanceThenStop, StopAtOnce, Undecided };

const char *const kAnswerNames[] = {"", "OK", "Cancel", "", "", "", "Yes", "No"};

}  // namespace

const char *RunEndName(RunEnd end) {
    switch (end) {
    case RunEnd::Done: return "DONE";
    case RunEnd::Restart: return "restart";
    case RunEnd::Exit: return "exit";
    case RunEnd::Loop: return "loop";
    case RunEnd::Unknown: return "unknown";
    case RunEnd::NotStarted: return "not started";
    }
    return "";
}

std::string Shown(const std::string &value) {
    std::string shown = value;
    for (char &c : shown) {
        if (c == kUnknownOpen) c = '<';
        if (c == kUnknownClose) c = '>';
    }
    return shown;
}

std::vector<std::string> Plan::SectionsEntered() const {
    std::vector<std::string> sections;
    for (const PlannedRun &run : runs)
        for (const std::string &name : run.sectionsEntered)
            if (std::none_of(sections.begin(), sections.end(), [&](const std::string &s) { return Same(s, name); }))
                sections.push_back(name);
    return sections;
}

namespace {

class Walker {
public:
    Walker(const check::ScriptFile &script, const PlanFacts &facts) : facts_(facts), copy_(script) {}

    Plan Walk() {
        plan_.windows = facts_.windows ? facts_.windows->name : "unknown Windows";
        plan_.machine = facts_.machine.label;
        plan_.process = facts_.wow64 == Fact::Yes ? "WOW64" : facts_.wow64 == Fact::No ? "x86" : "unknown process";
        DescribeFacts();
        for (int start = 0; start < kRunBound; ++start) {
            plan_.runs.push_back(PlannedRun{});
            run_ = &plan_.runs.back();
            run_->resumed = start > 0;
            RunOnce();
            if (run_->end != RunEnd::Restart || !resumeAfterRestart_) return plan_;
        }
        run_->end = RunEnd::Loop;
        run_->endReason = "the script restarts the PC again after each of " + std::to_string(kRunBound) +
                          " starts: it would never end";
        return plan_;
    }

private:
    const PlanFacts &facts_;
    WorkingCopy copy_;
    Plan plan_;
    PlannedRun *run_ = nullptr;
    int cursor_ = 0;
    std::string argumentSection_;
    bool silent_ = true;
    bool suppressReboot_ = false;
    bool resumeAfterRestart_ = false;
    bool appended_ = false;  // a command 28 brought sections only the PC knows
    std::map<std::pair<int, unsigned long>, size_t> seen_;  // cursor and revision -> command index

    void DescribeFacts() {
        const MachineFacts &machine = facts_.machine;
        static const char *const kFactNames[] = {"no", "yes", "known only on the PC"};
        plan_.facts.push_back(std::string("a machine of the maker: ") + kFactNames[static_cast<int>(machine.maker)] +
                              " (" + machine.makerReason + ")");
        std::string id = machine.idState == MachineFacts::IdState::Written      ? "SYSID=" + machine.systemId + " from "
                         : machine.idState == MachineFacts::IdState::NotWritten ? "the script's own [DATA] SYSID: "
                                                                                 : "known only on the PC: ";
        plan_.facts.push_back("board ID: " + id + machine.idReason);
        const std::string language = Language();
        plan_.facts.push_back("language: " + (language.empty() ? std::string("known only on the PC") : language));
        plan_.facts.push_back(facts_.answer == BoxAnswer::Silent
                                  ? "a silent run (-silent): question boxes take their silent answer"
                                  : "question boxes are answered as --answer says");
    }

    void End(RunEnd end, const std::string &reason) {
        run_->end = end;
        run_->endReason = reason;
    }

    PlannedCommand &Current() { return run_->commands.back(); }
    void Detail(const std::string &text) {
        if (!run_->commands.empty()) Current().details.push_back(Shown(text));
    }

    // ---- start-up ------------------------------------------------------------

    void RunOnce() {
        cursor_ = 0;
        resumeAfterRestart_ = false;
        // A silent run unless the plan answers the boxes; the switch is saved in the copy.
        const bool answered = facts_.answer != BoxAnswer::Silent;
        if (!answered) copy_.Write("DATA", "SilentMode", "1");
        silent_ = !answered || copy_.GetInt("DATA", "SilentMode", 0).value_or(0) != 0;
        suppressReboot_ = copy_.GetInt("DATA", "SuppressReboot", 0).value_or(0) != 0;

        if (SetUpCommandSection(true) == SetUp::Failed) {
            End(RunEnd::NotStarted, "[" + copy_.Get("State", "CurrentSection", "", 128) +
                                        "] has no command lines: \"Cannot initialize commands section\"");
            return;
        }
        TakeInventory();
        if (facts_.machine.languageKnown && facts_.machine.language.empty()) {
            End(RunEnd::NotStarted, "[Description] NorvikLanguage is empty in the hardware information file: "
                                    "\"Cannont find MIRA.INI\", no command runs");
            return;
        }
        cursor_ = copy_.GetInt("Commands", "CurrentCmd", 0).value_or(0);
        seen_.clear();
        Loop();
    }

    void TakeInventory() {
        const MachineFacts &machine = facts_.machine;
        if (machine.idState == MachineFacts::IdState::Written)
            copy_.Write("DATA", "SYSID", machine.systemId);
        else if (machine.idState == MachineFacts::IdState::Unknown)
            copy_.Write("DATA", "SYSID", Unknown("board ID"));
        if (machine.maker == Fact::Yes)
            copy_.Write("DATA", "IsNorvik", "1");
        else if (machine.maker == Fact::Unknown && copy_.GetInt("DATA", "IsNorvik", 0) == 0)
            copy_.Write("DATA", "IsNorvik", Unknown("1 on a machine of the maker"));
    }

    enum class SetUp { Entered, Continued, Failed };

    SetUp SetUpCommandSection(bool atStartUp) {
        const std::string firstCommand = copy_.Get("Commands", "CMD0", "XX", 260);
        std::string current = copy_.Get("State", "CurrentSection", kAbsent, 128);
        const std::string next = copy_.Get("State", "NextSection", kAbsent, 128);
        std::vector<std::string> lines;
        if (Same(current, kAbsent)) {
            copy_.Write("State", "CurrentSection", "CommandsList");
            copy_.Write("State", "NextSection", "");
            lines = copy_.Lines("CommandsList");
        } else {
            const bool nothingPending = Same(next, current) || Same(firstCommand, "XX") || next.empty();
            // A run stopped with a jump pending carries on in its section first.
            const bool resumedWithJumpPending = atStartUp && !Same(next, kAbsent);
            if (nothingPending || resumedWithJumpPending) return SetUp::Continued;
            lines = copy_.Lines(next);
            copy_.Write("State", "CurrentSection", next);
            copy_.Write("State", "NextSection", "");
        }
        current = copy_.Get("State", "CurrentSection", "", 128);
        if (lines.empty()) return SetUp::Failed;
        run_->sectionsEntered.push_back(current);
        Unroll(lines);
        return SetUp::Entered;
    }

    void Unroll(const std::vector<std::string> &lines) {
        int number = cursor_;
        for (const std::string &line : lines) {
            UnrolledCommand command;
            if (!UnrollCommandLine(line, command)) continue;
            copy_.Write("Commands", Key("Cmd%d", number), command.typeText);
            copy_.Write("Commands", Key("FullCmdSection%d", number), command.fullSection);
            for (size_t k = 0; k < command.fields.size(); ++k)
                copy_.Write("Commands", Key("CmdSection%d.%d", number, static_cast<int>(k)), command.fields[k]);
            ++number;
        }
        // A longer section entered earlier left commands after these.
        if (copy_.HasKey("Commands", Key("Cmd%d", number))) copy_.Write("Commands", Key("Cmd%d", number), "0");
    }

    // ---- the loop --------------------------------------------------------------

    void Loop() {
        for (;;) {
            // Only commands count: a section end either enters a section with
            // command lines or ends the run.
            if (run_->commands.size() >= static_cast<size_t>(kCommandBound)) {
                End(RunEnd::Loop, "the run does not end within " + std::to_string(kCommandBound) +
                                      " commands: a loop that changes something on every pass");
                return;
            }
            const int number = cursor_;
            const std::string section = copy_.Get("State", "CurrentSection", "", 128);
            if (LoopsBack(number)) return;

            std::optional<int> type = copy_.GetInt("Commands", Key("Cmd%d", number), 0);
            if (!type) {
                End(RunEnd::Unknown, "the command number at " + std::to_string(number) + " is known only on the PC");
                return;
            }
            argumentSection_ = copy_.Get("Commands", Key("CmdSection%d.%d", number), "", check::kArgumentCapacity);
            const check::CommandRule *rule = check::FindCommandRule(*type);
            if (*type != 0) {
                PlannedCommand command;
                command.number = number;
                command.type = *type;
                command.name = rule ? rule->name : "CMD_NotDefined";
                command.logLine = AsLogged("CMD" + std::to_string(number) + "> " + command.name + ": " +
                                           std::to_string(*type) +
                                           copy_.Get("Commands", Key("FullCmdSection%d", number), "", 260));
                command.section = section;
                run_->commands.push_back(std::move(command));
            }
            if (!rule) {
                Detail("CMD >" + std::to_string(*type) + "< not defined: skipped");
                Advance();
                continue;
            }
            if (rule->shape == check::CommandShape::EndOfSection) {
                if (EnterNextSectionOrStop()) return;
                continue;
            }
            if (rule->shape == check::CommandShape::FromData) argumentSection_ = "DATA";
            After after = Handle(*type, *rule);
            if (after == After::Undecided) return;
            if (after != After::StopAtOnce) Advance();
            if (after != After::Advance) return;
        }
    }

    // The same cursor with nothing changed since it was last reached: the run
    // goes round these commands for ever.
    bool LoopsBack(int number) {
        auto key = std::make_pair(number, copy_.Revision());
        auto found = seen_.find(key);
        if (found == seen_.end()) {
            seen_.emplace(key, run_->commands.size());
            return false;
        }
        for (size_t i = found->second; i < run_->commands.size(); ++i) run_->loop.push_back(run_->commands[i].logLine);
        End(RunEnd::Loop, "the run comes back to command " + std::to_string(number) +
                              " with nothing changed: it repeats these commands for ever");
        return true;
    }

    void Advance() {
        ++cursor_;
        copy_.Write("Commands", "CurrentCmd", std::to_string(cursor_));
    }

    bool EnterNextSectionOrStop() {
        const std::string current = copy_.Get("State", "CurrentSection", "", 128);
        const std::string next = copy_.Get("State", "NextSection", "", 128);
        if (next.empty() || Same(next, current)) {
            End(RunEnd::Done, next.empty() ? "[" + current + "] ends and no section is to follow"
                                           : "[" + current + "] ends and names itself to follow");
            return true;
        }
        if (!copy_.HasLines(next) && appended_) {
            End(RunEnd::Unknown, "[" + next + "] is not in the script: the file that command 28 appended may bring it");
            return true;
        }
        if (SetUpCommandSection(false) != SetUp::Entered) {
            End(RunEnd::Done, "[" + next + "] cannot be entered: it has no command lines");
            return true;
        }
        return false;
    }

    // ---- variables -------------------------------------------------------------

    std::string Language() const {
        if (!facts_.language.empty()) return facts_.language;
        if (facts_.machine.languageKnown && !facts_.machine.language.empty()) {
            std::vector<char> text(facts_.machine.language.begin(), facts_.machine.language.end());
            text.push_back('\0');
            StripCommentsInPlace(text.data());
            return text.data();
        }
        return "";
    }

    bool BuiltinValue(int number, std::string &value, bool &valueAlone) {
        valueAlone = false;
        switch (number) {
        case 0:
            value = Unknown("temporary file path");
            valueAlone = true;
            copy_.Write("Variables", "V000", value);
            return true;
        case 1: value = Unknown("kestrel's folder"); return true;
        case 101: value = Unknown("Windows folder"); return true;
        case 102: value = Unknown("Windows folder") + "\\inf"; return true;
        case 103: value = Unknown("system folder"); return true;
        case 104: value = Unknown("system folder") + "\\Drivers"; return true;
        case 105: {
            const std::string language = Language();
            value = language.empty() ? Unknown("language") : language;
            return true;
        }
        default: return false;
        }
    }

    // The run's expansion of a text read into a buffer of capacity characters.
    std::string Expand(const std::string &input, size_t capacity) {
        std::string textValue = Cut(input, capacity);
        size_t scan = 0;
        int replacements = 0;
        VariableToken token;
        while (FindVariableToken(textValue.c_str(), scan, token)) {
            if (token.kind == TokenKind::Invalid) return textValue;
            std::string value;
            bool found = false, valueAlone = false;
            if (!token.complete) {
            } else if (token.kind == TokenKind::Builtin) {
                found = BuiltinValue(token.number, value, valueAlone);
            } else if (token.number >= 0 && token.number <= 999) {
                value = copy_.Get("Variables", Key("V%03d", token.number), "", 260);
                found = true;
            }
            if (!found) {
                scan = token.position + token.length;
                continue;
            }
            std::string replacement = value;
            if (!valueAlone) replacement += textValue.substr(token.position + token.length);
            if (token.position + replacement.size() >= capacity) {
                scan = token.position + token.length;
                continue;
            }
            if (++replacements > kMaxReplacements) return textValue;
            textValue = textValue.substr(0, token.position) + replacement;
            scan = token.position;
        }
        return textValue;
    }

    std::string Argument(int k, size_t capacity = check::kArgumentCapacity) {
        return copy_.Get("Commands", Key("CmdSection%d.%d", cursor_, k), "", capacity);
    }

    // ---- decisions -------------------------------------------------------------

    void Decide(int argument, const std::string &target, const std::string &reason) {
        PlannedCommand &command = Current();
        command.branches = true;
        command.decision.argument = argument;
        command.decision.target = Shown(target);
        command.decision.reason = Shown(reason);
    }

    After Undecided(const std::string &reason) {
        Current().branches = true;
        Current().decision.reason = reason;
        End(RunEnd::Unknown, reason);
        return After::Undecided;
    }

    // The section jump; false when the target is known only on the PC.
    bool Jump(int argument, const std::string &target, const std::string &reason) {
        Decide(argument, target, reason);
        if (!IsKnown(target)) return false;
        if (copy_.HasLines(target)) {
            copy_.Write("State", "NextSection", target);
        } else if (appended_) {
            return false;
        } else {
            Detail("[" + target + "] is missing or empty: " +
                   std::string(silent_ ? "" : "an error box waits for a click, ") +
                   "\"Section [...] is not found!\"; the next section stays as it was");
        }
        return true;
    }

    After JumpOrUndecided(int argument, const std::string &target, const std::string &reason) {
        if (Jump(argument, target, reason)) return After::Advance;
        End(RunEnd::Unknown, IsKnown(target) ? "[" + target + "] is not in the script: the file that command 28 "
                                                              "appended may bring it"
                                             : "the section for argument " + std::to_string(argument) + " (" +
                                                   Shown(target) + ") is known only on the PC");
        return After::Undecided;
    }

    std::optional<bool> DebugOverride() const {
        std::optional<int> isNorvik = copy_.GetInt("DATA", "IsNorvik", 0);
        if (isNorvik && *isNorvik == 0) return false;
        std::optional<int> debug = copy_.GetInt("DATA", "Debug", 0);
        if (debug && *debug == 0) return false;
        if (!isNorvik || !debug) return std::nullopt;
        return true;
    }

    After BranchOnMaker() {
        const Fact maker = facts_.machine.maker;
        std::optional<bool> debug = DebugOverride();
        if (maker == Fact::Yes)
            return JumpOrUndecided(0, Argument(0), "a machine of the maker: " + facts_.machine.makerReason);
        if (debug && *debug)
            return JumpOrUndecided(0, Argument(0), "[DATA] IsNorvik and Debug are set: the debug override");
        if (maker == Fact::No && debug)
            return JumpOrUndecided(1, Argument(1), "not a machine of the maker: " + facts_.machine.makerReason);
        return Undecided("whether this is a machine of the maker is known only on the PC (" +
                         facts_.machine.makerReason + ")");
    }

    int OsOutcome(const WindowsRelease &windows) const {
        struct Row {
            int platform, major, minor, minorToo;
        };
        static const Row kTests[] = {{1, 4, 0, 0}, {1, 4, 10, 10}, {2, 4, 0, 0}, {2, 5, 0, 0}, {2, 5, 1, 2}, {2, 6, 0, 0}};
        for (int i = 0; i < 6; ++i) {
            const Row &row = kTests[i];
            if (windows.platform == row.platform && windows.major == row.major &&
                (windows.minor == row.minor || windows.minor == row.minorToo))
                return i + 1;
        }
        return 0;
    }

    After BranchOnOs() {
        if (!facts_.windows) return Undecided("the Windows release is known only on the PC (no --os)");
        const WindowsRelease &windows = *facts_.windows;
        const int k = OsOutcome(windows);
        const std::string target = Argument(k);
        const std::string reason = std::string(windows.name) + " reports " +
                                   (windows.platform == 1 ? "9x " : "NT ") + std::to_string(windows.major) + "." +
                                   std::to_string(windows.minor) + ": argument " + std::to_string(k) + " is " +
                                   check::FindCommandRule(18)->branch->outcomes[k].when;
        Decide(k, target, reason);
        if (copy_.HasLines(target)) {
            copy_.Write("State", "NextSection", target);
        } else if (appended_) {
            End(RunEnd::Unknown, "[" + target + "] may come from the file that command 28 appended");
            return After::Undecided;
        } else {
            Detail("\"Section number " + std::to_string(k) + " [" + target +
                   "] is not found!\": the next section stays as it was");
        }
        return After::Advance;
    }

    After BranchOnSystemId() {
        std::optional<int> read = copy_.GetInt("DATA", "SYSID", 0);
        std::optional<bool> debug = DebugOverride();
        int k = 0;
        std::string reason;
        if (debug && *debug) {
            k = 1;
            reason = "[DATA] IsNorvik and Debug are set: the debug override";
        } else if (!read) {
            return Undecided("the board ID is known only on the PC (" + facts_.machine.idReason + ")");
        } else {
            const unsigned id = static_cast<unsigned>(*read) & 0xFFFFu;
            char shown[16];
            snprintf(shown, sizeof shown, "0X%.4X", id);
            const std::string source = " (" + (facts_.machine.idState == MachineFacts::IdState::Written
                                                   ? facts_.machine.idReason
                                                   : "[DATA] SYSID of the script") + ")";
            int line = -1;
            std::string matched;
            if (id != 0) {
                const IdRenderings renderings = RenderBoardId(id);
                for (const std::string &text : copy_.Lines(argumentSection_)) {
                    if (text.empty() || text[0] == ';') continue;
                    std::vector<char> trimmed(text.begin(), text.end());
                    trimmed.push_back('\0');
                    ++line;
                    if (IdLineMatches(TrimText(trimmed.data()), renderings)) {
                        matched = text;
                        break;
                    }
                }
                if (matched.empty()) line = -1;
            }
            if (id == 0) {
                k = 2;
                reason = "SYSID " + check::Quote(copy_.Get("DATA", "SYSID", "", 260)) + " reads as 0X0000" + source;
            } else if (line >= 0) {
                k = 1;
                reason = "the ID " + std::string(shown) + source + " matches the line " + check::Quote(matched) +
                         " of [" + argumentSection_ + "]";
            } else {
                k = 2;
                reason = "the ID " + std::string(shown) + source + " is not in [" + argumentSection_ + "]";
            }
            if (!debug && k == 2)
                return Undecided("whether the debug override ([DATA] IsNorvik and Debug) holds is known only on the PC");
        }
        return JumpOrUndecided(k, Expand(Argument(k), check::kArgumentCapacity), reason);
    }

    After BranchOnPower() {
        if (!facts_.windows) return Undecided("the Windows release is known only on the PC (no --os)");
        if (facts_.windows->platform != 1 || facts_.windows->minor != 10)
            return JumpOrUndecided(0, Argument(0), std::string(facts_.windows->name) + " is not Windows 98");
        return Undecided("Windows 98 with ACPI or APM: whether HKLM\\ENUM\\ACPI exists is known only on the PC");
    }

    After BranchOnWow64() {
        if (facts_.wow64 == Fact::Unknown)
            return Undecided("whether kestrel runs under WOW64 is known only on the PC (--wow64 or --x86)");
        const bool wow64 = facts_.wow64 == Fact::Yes;
        return JumpOrUndecided(wow64 ? 1 : 0, Argument(wow64 ? 1 : 0),
                               wow64 ? "kestrel runs as a WOW64 process" : "kestrel runs as an x86 process");
    }

    After JumpToSection() {
        const std::string target = Expand(argumentSection_, check::kArgumentCapacity);
        return JumpOrUndecided(0, target, "the jump");
    }

    int AnswerFor(const BoxKind &box, int kind) const {
        const BoxAnswer answer = facts_.answer;
        const bool positive = answer == BoxAnswer::Yes || answer == BoxAnswer::Ok;
        if (kind == 2) return positive ? kAnswerOk : kAnswerCancel;
        if (kind == 3) return positive ? kAnswerYes : kAnswerNo;
        (void)box;
        return positive ? kAnswerYes : answer == BoxAnswer::No ? kAnswerNo : kAnswerCancel;
    }

    After MessageBox() {
        const std::string messageSection = Cut(argumentSection_ + ".US", 260);
        if (!copy_.HasLines(messageSection)) {
            Detail("\"Missing the Message Section [" + messageSection + "]\": no box, no branch");
            return After::Advance;
        }
        const int kind = copy_.GetInt("Commands", Key("CmdSection%d.%d", cursor_, 1), 1).value_or(1);
        const BoxKind &box = BoxKindFor(kind);
        if (!box.question) {
            Detail(std::string("box [") + messageSection + "]" + (silent_ ? ": not shown in a silent run" : ""));
            return After::Advance;
        }
        const int answer = silent_ ? box.silentAnswer : AnswerFor(box, kind);
        const int k = BranchArgumentFor(box, answer);
        const std::string target = Argument(k);
        Decide(k, target,
               std::string(silent_ ? "a silent run answers " : "answered ") + kAnswerNames[answer] + " (box kind " +
                   std::to_string(kind) + ")");
        // The answer's section is taken as it stands: no check, an empty name ends the run.
        copy_.Write("State", "NextSection", target);
        return After::Advance;
    }

    // ---- commands that change the working copy or end the run -----------------

    void WriteValue(const std::string &section, const std::string &key, const std::string &value) {
        Detail("writes [" + section + "] " + key + "=" + value);
        if (!IsKnown(section) || !IsKnown(key)) return;
        copy_.Write(section, key, value);
    }

    After SetValue() {
        if (argumentSection_.empty()) {
            const std::string section = Expand(Argument(1, 512), 512), key = Expand(Argument(2, 512), 512),
                              value = Expand(Argument(3, 512), 512);
            if (section.empty() || key.empty())
                Detail("no section or key: nothing written");
            else
                WriteValue(section, key, value);
            return After::Advance;
        }
        if (!copy_.HasLines(argumentSection_)) {
            Detail("\"Missing the Data section or an extra comma.\": nothing written");
            return After::Advance;
        }
        for (const std::string &line : copy_.Lines(argumentSection_)) {
            ListLineFields fields;
            if (SplitSetValueLine(line.c_str(), fields) != ListLineVerdict::Write) continue;
            WriteValue(Expand(fields.first, kListFieldSize), Expand(fields.second, kListFieldSize),
                       Expand(fields.third, kListFieldSize));
        }
        return After::Advance;
    }

    After SetVariable() {
        if (argumentSection_.empty()) {
            const std::string name = Argument(1, 512);  // taken as written
            if (name.empty())
                Detail("no variable name: nothing set");
            else
                WriteValue("Variables", name, Expand(Argument(2, 512), 512));
            return After::Advance;
        }
        if (!copy_.HasLines(argumentSection_)) {
            Detail("\"Missing the Data section or an extra comma.\": nothing set");
            return After::Advance;
        }
        for (const std::string &line : copy_.Lines(argumentSection_)) {
            ListLineFields fields;
            if (SplitSetVariableLine(line.c_str(), fields) != ListLineVerdict::Write) continue;
            WriteValue("Variables", Expand(fields.first, kListFieldSize), Expand(fields.second, kListFieldSize));
        }
        return After::Advance;
    }

    After MoveCursor(int type) {
        const char *key = type == 6 ? "DecCommand" : "IncCommand";
        std::optional<int> step = copy_.GetInt("DATA", key, 0);
        if (!step) return Undecided(std::string("[DATA] ") + key + " is known only on the PC");
        const CursorMove move = MoveCommandCursor(type == 6, cursor_, *step);
        if (move.refused)
            Detail(std::string("\"ERROR cannot ") + (type == 6 ? "decrement" : "increment") + " the CurrentCmd by " +
                   std::to_string(*step) + "\": the cursor stays");
        if (move.cursor != cursor_) {
            cursor_ = move.cursor;
            copy_.Write("Commands", "CurrentCmd", std::to_string(cursor_));
        }
        Detail("CMD" + std::to_string(cursor_) + "=" + std::to_string(type) + ": the next command is " +
               std::to_string(cursor_ + 1));
        return After::Advance;
    }

    After Restart() {
        if (suppressReboot_) {
            Detail("restarts are suppressed ([DATA] SuppressReboot): the run ends");
            End(RunEnd::Exit, "command 20 with restarts suppressed");
        } else {
            Detail("the PC restarts when the run ends");
            End(RunEnd::Restart,
                "command 20 restarts the PC; started again with -resume (or [Data] ForceCleanStart=0), the run "
                "goes on after it");
            resumeAfterRestart_ = true;
        }
        return After::AdvanceThenStop;
    }

    After ExitAndDelete() {
        DescribeFileCommand(*check::FindCommandRule(16), "deletes");
        const std::string choice = Argument(2, 64);
        const RebootDecision reboot = DecideReboot(choice.empty() ? "FALSE" : choice.c_str(), suppressReboot_);
        Detail("deletes the working copy: a later start begins afresh");
        if (reboot == RebootDecision::Reboot)
            End(RunEnd::Restart, "command 29 deletes the working copy and restarts the PC");
        else
            End(RunEnd::Exit, "command 29 deletes the working copy");
        return After::StopAtOnce;
    }

    // ---- what the other commands work on ---------------------------------------

    void DescribeKeys(const check::CommandRule &rule) {
        if (!copy_.HasLines(argumentSection_)) {
            Detail("[" + argumentSection_ + "] is missing: the command has nothing to work on");
            return;
        }
        for (size_t i = 0; i < rule.keyCount; ++i) {
            const check::KeyRule &key = rule.keys[i];
            if (!copy_.HasKey(argumentSection_, key.key)) continue;
            std::string value = copy_.Get(argumentSection_, key.key, "", key.capacity);
            if (key.expanded) value = Expand(value, key.capacity);
            Detail(std::string(key.key) + "=" + value);
        }
    }

    void DescribeListLines(size_t capacity, bool expanded, const char *verb) {
        if (!copy_.HasLines(argumentSection_)) {
            Detail("\"Missing the Data section\": [" + argumentSection_ + "] is missing");
            return;
        }
        for (const std::string &line : copy_.Lines(argumentSection_))
            Detail(std::string(verb) + " " + (expanded ? Expand(line, capacity) : line));
    }

    void DescribeFileCommand(const check::CommandRule &rule, const char *verb) {
        if (!argumentSection_.empty()) {
            DescribeListLines(rule.file->listCapacity[0] + rule.file->listCapacity[1], true, verb);
            return;
        }
        std::string operands = std::string(verb) + " ";
        for (int k = 1; k <= rule.file->singleOperands; ++k)
            operands += (k > 1 ? ", " : "") + Expand(Argument(k, rule.file->singleCapacity[k - 1]),
                                                     rule.file->singleCapacity[k - 1]);
        Detail(operands);
    }

    static const char *FileVerb(int type) {
        switch (type) {
        case 15: return "copies";
        case 16: return "deletes";
        case 21: return "makes";
        default: return "renames";
        }
    }

    void Describe(int type, const check::CommandRule &rule) {
        using Shape = check::CommandShape;
        switch (rule.shape) {
        case Shape::LinkFile:
        case Shape::Registry: DescribeKeys(rule); break;
        case Shape::Spawn:
            if (argumentSection_.empty())
                Detail("starts " + Expand(Argument(1, 260), 260) + ", WaitToExit " + Argument(2, 32));
            else
                DescribeKeys(rule);
            break;
        case Shape::Sleep: Detail("pauses " + argumentSection_ + " ms"); break;
        case Shape::RegistryList: DescribeListLines(512, false, "registry:"); break;
        case Shape::FileCommand: DescribeFileCommand(rule, FileVerb(type)); break;
        case Shape::LogMessage: Detail("logs: " + argumentSection_); break;
        case Shape::Unsupported: Detail("\" Not Supported yet.\""); break;
        default: break;
        }
        if (type == 36 || type == 37) {
            if (facts_.wow64 == Fact::No)
                Detail("\"KESTREL is not running as a Wow64 Process\": nothing changes");
            else
                Detail(std::string("file-system redirection ") + (type == 36 ? "on" : "off") +
                       (facts_.wow64 == Fact::Unknown ? " under WOW64" : ""));
        }
    }

    After Handle(int type, const check::CommandRule &rule) {
        switch (type) {
        case 5: {
            std::optional<int> count = copy_.GetInt("DATA", "RunCount", 0);
            if (count) copy_.Write("DATA", "RunCount", std::to_string(*count + 1));
            return After::Advance;
        }
        case 6:
        case 7: return MoveCursor(type);
        case 8:
            Detail("the run state is wiped: the next start begins afresh");
            copy_.DeleteSection("Commands");
            copy_.DeleteSection("State");
            End(RunEnd::Exit, "command 8 resets the run state");
            return After::StopAtOnce;
        case 9: return BranchOnMaker();
        case 10: End(RunEnd::Exit, "command 10 ends the run"); return After::AdvanceThenStop;
        case 17: return MessageBox();
        case 18: return BranchOnOs();
        case 19: return JumpToSection();
        case 20: return Restart();
        case 25: return BranchOnSystemId();
        case 26: return SetValue();
        case 27: return SetVariable();
        case 28:
            appended_ = true;
            Detail("appends " + Expand(argumentSection_, check::kArgumentCapacity) +
                   ": what it brings is known only on the PC");
            return After::Advance;
        case 29: return ExitAndDelete();
        case 30: return BranchOnPower();
        case 38: return BranchOnWow64();
        default: Describe(type, rule); return After::Advance;
        }
    }
};

}  // namespace

Plan MakePlan(const check::ScriptFile &script, const PlanFacts &facts) {
    Plan made = Walker(script, facts).Walk();
    for (const check::ScriptSection &section : script.sections) made.scriptSections.push_back(check::Folded(section.name));
    return made;
}

}  // namespace plan
