#include "findings.h"

#include <algorithm>
#include <cstdio>

namespace check {

void Findings::Add(int line, Severity severity, std::string message) {
    // Every quoted text is shortened already; this only keeps a finding one line.
    const size_t kLongest = 1000;
    if (message.size() > kLongest) message = message.substr(0, kLongest - 3) + "...";
    items_.push_back(Finding{line, severity, std::move(message)});
}

std::vector<Finding> Findings::Sorted() const {
    std::vector<Finding> sorted = items_;
    std::stable_sort(sorted.begin(), sorted.end(), [](const Finding &a, const Finding &b) { return a.line < b.line; });
    return sorted;
}

size_t Findings::Count(Severity severity) const {
    return static_cast<size_t>(
        std::count_if(items_.begin(), items_.end(), [severity](const Finding &f) { return f.severity == severity; }));
}

const char *SeverityName(Severity severity) {
    static const char *const kNames[] = {"note", "warning", "error"};
    return kNames[static_cast<int>(severity)];
}

std::string FormatFinding(const std::string &file, const Finding &finding) {
    return file + ":" + std::to_string(finding.line) + ": " + SeverityName(finding.severity) + ": " + finding.message;
}

static std::string Shown(const std::string &textValue, size_t limit) {
    std::string shown;
    for (size_t i = 0; i < textValue.size() && i < limit; ++i) {
        unsigned char c = static_cast<unsigned char>(textValue[i]);
        if (c < 32 || c == 127) {
            char escaped[8];
            snprintf(escaped, sizeof escaped, "\\x%02X", c);
            shown += escaped;
        } else {
            shown.push_back(static_cast<char>(c));
        }
    }
    if (textValue.size() > limit) shown += "...";
    return shown;
}

std::string Quote(const std::string &textValue, size_t limit) { return "'" + Shown(textValue, limit) + "'"; }

std::string Bracketed(const std::string &name) { return "[" + Shown(name, 80) + "]"; }

std::string JsonString(const std::string &textValue) {
    std::string out = "\"";
    for (char ch : textValue) {
        unsigned char c = static_cast<unsigned char>(ch);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += ch;
        } else if (c < 0x20 || c >= 0x80) {
            char escaped[8];
            snprintf(escaped, sizeof escaped, "\\u%04x", c);
            out += escaped;
        } else {
            out += ch;
        }
    }
    return out + "\"";
}

}  // namespace check
