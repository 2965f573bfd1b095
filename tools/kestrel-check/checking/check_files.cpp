// Files: links, the single and list forms of the file commands, appended files and
// the delete before the end of the run.
#include "script_checker_rules.h"

#include "engine/text_rules.h"

namespace check {
namespace rules {

void ScriptChecker::CheckLinkFile(const Command &c) {
    const ScriptSection *section = KeySectionOf(c, "the command has no file to work on");
    if (!section) return;
    CheckKeyValues(c, *section);
    std::string value;
    if (!ReadKey(section, c.rule->keys[0].key, value) || value.empty()) {
        findings_.Error(c.line, std::string(c.rule->name) + ": " + Bracketed(section->name) + " has no " +
                                    c.rule->keys[0].key + ": the command has no file to work on");
    }
}

void ScriptChecker::CheckFileCommand(const Command &c) {
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

void ScriptChecker::CheckPathLine(const Command &c, const FileRule &rule, const ScriptLine &line) {
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

void ScriptChecker::CheckPairLine(const FileRule &rule, const ScriptLine &line) {
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

void ScriptChecker::CheckAppendFile(const Command &c) {
    appendsFiles_ = true;
    if (!c.HasArgument(0)) {
        findings_.Error(c.line, std::string(c.rule->name) +
                                    ": argument 0 (the file to append) is empty: the "
                                    "run logs \" cound not open second file...\"");
        return;
    }
    Expanded(c.Argument(0), c.line);
}

void ScriptChecker::CheckExitAndDelete(const Command &c) {
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

}  // namespace rules
}  // namespace check
