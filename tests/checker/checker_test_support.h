// Helpers of the checker's tests: scripts written as lines, their findings
// looked up by line and severity, and the kestrel-check program run for real.
#pragma once
#include <initializer_list>
#include <string>
#include <vector>

#include "findings.h"

namespace checker_test {

// Joins script lines with CR LF, as scripts written on Windows are.
std::string Script(std::initializer_list<std::string> lines);

struct Checked {
    std::vector<check::Finding> findings;
    bool refused = false;

    // A finding of that severity on that line whose message holds the text.
    bool Has(int line, check::Severity severity, const std::string &part = "") const;
    bool HasAnywhere(check::Severity severity, const std::string &part) const;
    size_t Count(check::Severity severity) const;
    std::string Dump() const;  // every finding, for failure messages
};

Checked CheckText(const std::string &content);
inline Checked Check(std::initializer_list<std::string> lines) { return CheckText(Script(lines)); }

constexpr check::Severity kError = check::Severity::Error;
constexpr check::Severity kWarning = check::Severity::Warning;
constexpr check::Severity kNote = check::Severity::Note;

// A fresh folder for one test's files, with a trailing separator.
std::string FreshFolder(const std::string &name);
void WriteFile(const std::string &path, const std::string &content);

struct ToolRun {
    int exitCode = -1;
    std::vector<std::string> out;  // standard output, line by line, line ends removed
    std::string err;
};
// Runs kestrel-check (the one built beside the test program) with arguments.
ToolRun RunChecker(const std::vector<std::string> &arguments);

// The repository's examples folder, as this platform names it.
std::string ExamplesFolder();
std::vector<std::string> ExampleScripts();

}  // namespace checker_test
