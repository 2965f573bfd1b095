// Flow and branches: command sections line by line, command numbers, the jumps and
// branches that choose the next section, and the ID lists of the board branch.
#include "script_checker_rules.h"

#include <algorithm>

#include "engine/profile_number_rules.h"
#include "engine/text_rules.h"

namespace check {
namespace rules {

namespace {

// An ID list line matches only when it is one of the renderings of an ID:
// hexadecimal digits with or without "0x", or a decimal number.
bool IsIdRendering(const std::string &line) {
    std::string digits = line;
    if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) digits = digits.substr(2);
    if (digits.empty()) return false;
    return std::all_of(digits.begin(), digits.end(), IsHex);
}

}  // namespace

void ScriptChecker::CheckCommandSection(const ScriptSection &section) {
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
bool ScriptChecker::ChoosesNext(const Command &c, const CommandRule &rule) {
    if (rule.shape == CommandShape::MessageBox) {
        ProfileNumber kind = ReadProfileNumber(c.Argument(1));
        return kind.isNumber && kind.value >= 2 && kind.value <= 4;
    }
    return rule.branch != nullptr;
}

// It names one whatever the outcome: every target is given (an empty one
// leaves the earlier choice), or it is a question box, which writes even an
// empty answer.
bool ScriptChecker::AlwaysChoosesNext(const Command &c, const CommandRule &rule) {
    if (!ChoosesNext(c, rule)) return false;
    if (!rule.branch) return true;
    for (size_t i = 0; i < rule.branch->count; ++i)
        if (!c.HasArgument(static_cast<size_t>(rule.branch->outcomes[i].argument))) return false;
    return true;
}

// Jumps wait for the end of the section: a later one that always chooses makes
// an earlier one of the same section void. A 0 ends the section; 8 and 29 end
// the run and its choices with it.
void ScriptChecker::ReportReplacedChoices(const std::vector<Command> &commands) {
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

int ScriptChecker::ReadCommandNumber(const std::string &typeText, const ScriptSection &section,
                                     const ScriptLine &scriptLine) {
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
    const std::string surprise = ProfileNumberSurprise(typeText);
    if (!surprise.empty()) findings_.Warning(line, "command number " + Quote(typeText) + " " + surprise);
    if (number.value < 0 || number.value > kLastCommandNumber) {
        findings_.Error(line, "command number " + std::to_string(number.value) +
                                  " is not defined (0 to 38): the run logs \"CMD >" + std::to_string(number.value) +
                                  "< not defined\" and skips the line");
    }
    return number.value;
}

// A command section that a branch or a jump names.
void ScriptChecker::CheckTarget(const Command &c, const std::string &target, const std::string &role,
                                bool expanded, const std::string &consequence) {
    if (!HoldsToken(target)) {
        CheckFits(target, kSectionNameCapacity, c.line,
                  std::string(c.rule->name) + ": the name of " + role + " " + Bracketed(target), findings_);
    }
    if (RequireSection(c, target, role, expanded, consequence)) EnterCommandSection(target);
}

void ScriptChecker::CheckBranch(const Command &c) {
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

void ScriptChecker::CheckSystemIdBranch(const Command &c) {
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

}  // namespace rules
}  // namespace check
