// Programs and boxes: starting programs, pauses, message boxes and their answers, and
// log lines.
#include "script_checker_rules.h"

namespace check {
namespace rules {

void ScriptChecker::CheckWaitChoice(const Command &c, const std::string &choice, int line, const char *what) {
    if (!choice.empty() && !EqualsNoCase(choice, "TRUE") && !EqualsNoCase(choice, "FALSE"))
        findings_.Warning(line, std::string(c.rule->name) + ": " + what + " " + Quote(choice) +
                                    " is neither TRUE nor FALSE: only TRUE counts, so the run reads it as FALSE");
}

void ScriptChecker::CheckSpawn(const Command &c) {
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

void ScriptChecker::CheckSleep(const Command &c) {
    const std::string prefix = std::string(c.rule->name) + ": ";
    const std::string time = c.Argument(0);
    if (time.empty()) {
        findings_.Warning(c.line, prefix +
                                      "no time given: the run logs \"..time not defined to sleep\" and "
                                      "does not pause");
        return;
    }
    NotExpanded(c, time, c.line, "the time");
    ProfileNumber number = ReadDecimalNumber(time);
    if (!number.isNumber || !number.whole) {
        findings_.Warning(c.line, prefix + "time " + Quote(time) + " reads as " +
                                      std::to_string(number.isNumber ? number.value : 0) + " milliseconds");
    } else if (number.value < 0) {
        findings_.Warning(c.line, prefix + "a negative time is no pause the run can make");
    }
}

void ScriptChecker::CheckMessageBox(const Command &c) {
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

void ScriptChecker::CheckMessageSection(const Command &c, const ScriptSection &section) {
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

void ScriptChecker::CheckLogMessage(const Command &c) {
    const std::string prefix = std::string(c.rule->name) + ": ";
    NotExpanded(c, c.Argument(0), c.line, "the message");
    if (c.arguments.size() > 1) {
        std::string rest;
        for (size_t k = 1; k < c.arguments.size(); ++k) rest += "," + c.arguments[k];
        findings_.Warning(
            c.line, prefix + "only argument 0 is logged: the text after its comma " + Quote(rest) + " is not");
    }
}

}  // namespace rules
}  // namespace check
