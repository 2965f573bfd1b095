// What the checker reports: a line of the script, how serious, and why.
#pragma once
#include <string>
#include <vector>

namespace check {

enum class Severity { Note, Warning, Error };

struct Finding {
    int line = 0;  // 1-based line of the script file
    Severity severity = Severity::Note;
    std::string message;
};

class Findings {
public:
    void Add(int line, Severity severity, std::string message);
    void Error(int line, std::string message) { Add(line, Severity::Error, std::move(message)); }
    void Warning(int line, std::string message) { Add(line, Severity::Warning, std::move(message)); }
    void Note(int line, std::string message) { Add(line, Severity::Note, std::move(message)); }

    // In line order; findings of one line keep the order they were found in.
    std::vector<Finding> Sorted() const;
    const std::vector<Finding> &All() const { return items_; }
    size_t Count(Severity severity) const;

private:
    std::vector<Finding> items_;
};

const char *SeverityName(Severity severity);

// "FILE:LINE: error: message", the compilers' convention that editors and CI
// annotators understand.
std::string FormatFinding(const std::string &file, const Finding &finding);

// A text quoted inside a message: control characters shown as \xNN and long
// texts shortened, so one finding stays one readable line.
std::string Quote(const std::string &textValue, size_t limit = 60);
// A section name in brackets, shortened the same way.
std::string Bracketed(const std::string &name);

// A JSON string of a text read from a script or a log. Their bytes are the PC's
// code page, not UTF-8: every byte outside printable ASCII is written as \u00XX.
std::string JsonString(const std::string &textValue);

}  // namespace check
