#include "script_reader.h"

#include <cctype>

namespace check {

namespace {

// The profile functions' blanks: white space and the end-of-file mark Ctrl-Z.
bool IsProfileBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r' || c == '\x1A';
}

std::string Trimmed(const std::string &textValue) {
    size_t begin = 0, end = textValue.size();
    while (begin < end && IsProfileBlank(textValue[begin])) ++begin;
    while (end > begin && IsProfileBlank(textValue[end - 1])) --end;
    return textValue.substr(begin, end - begin);
}

std::string TrimmedRight(const std::string &textValue) {
    size_t end = textValue.size();
    while (end > 0 && IsProfileBlank(textValue[end - 1])) --end;
    return textValue.substr(0, end);
}

std::string TrimmedLeft(const std::string &textValue) {
    size_t begin = 0;
    while (begin < textValue.size() && IsProfileBlank(textValue[begin])) ++begin;
    return textValue.substr(begin);
}

// UTF-16 files (with their byte-order mark) are read as text by the profile
// functions too; characters beyond Latin-1 cannot matter to a check and become '?'.
std::string FromUtf16(const std::string &bytes, bool bigEndian) {
    std::string out;
    out.reserve(bytes.size() / 2);
    for (size_t i = 2; i + 1 < bytes.size(); i += 2) {
        unsigned high = static_cast<unsigned char>(bytes[bigEndian ? i : i + 1]);
        unsigned low = static_cast<unsigned char>(bytes[bigEndian ? i + 1 : i]);
        unsigned code = high << 8 | low;
        out.push_back(code < 0x100 ? static_cast<char>(code) : '?');
    }
    return out;
}

std::string DecodeText(const std::string &bytes) {
    if (bytes.size() >= 2 && bytes[0] == '\xFF' && bytes[1] == '\xFE') return FromUtf16(bytes, false);
    if (bytes.size() >= 2 && bytes[0] == '\xFE' && bytes[1] == '\xFF') return FromUtf16(bytes, true);
    if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) return bytes.substr(3);
    return bytes;
}

}  // namespace

std::string Folded(const std::string &name) {
    std::string folded = name;
    for (char &c : folded) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    return folded;
}

void ScriptFile::Index() {
    byName_.clear();
    for (size_t i = 0; i < sections.size(); ++i) {
        auto inserted = byName_.emplace(Folded(sections[i].name), i);
        sections[i].hidden = !inserted.second;
    }
}

const ScriptSection *ScriptFile::Find(const std::string &name) const {
    auto found = byName_.find(Folded(name));
    return found == byName_.end() ? nullptr : &sections[found->second];
}

bool ScriptFile::HasLines(const std::string &name) const {
    const ScriptSection *section = Find(name);
    return section && !section->lines.empty();
}

const ScriptLine *FindKey(const ScriptSection &section, const std::string &key) {
    std::string folded = Folded(key);
    for (const ScriptLine &line : section.lines) {
        if (line.name.size() == folded.size() && Folded(line.name) == folded) return &line;
    }
    return nullptr;
}

ScriptLine ReadKeyLine(const std::string &text) {
    const std::string line = Trimmed(text);
    ScriptLine entry;
    size_t equals = line.find('=');
    if (equals == std::string::npos) {
        entry.name = line;
    } else {
        entry.name = TrimmedRight(line.substr(0, equals));
        entry.hasValue = true;
        entry.value = TrimmedLeft(line.substr(equals + 1));
    }
    return entry;
}

std::string ValueAsRead(const std::string &stored) {
    if (stored.size() >= 2 && (stored[0] == '"' || stored[0] == '\'') && stored.back() == stored[0])
        return stored.substr(1, stored.size() - 2);
    return stored;
}

bool ReadKey(const ScriptSection *section, const std::string &key, std::string &value, const ScriptLine **where) {
    if (where) *where = nullptr;
    if (!section) return false;
    const ScriptLine *line = FindKey(*section, key);
    if (!line || !line->hasValue) return false;
    value = ValueAsRead(line->value);
    if (where) *where = line;
    return true;
}

bool ParseScript(const std::string &bytes, ScriptFile &script, Findings &findings, std::string &refusal) {
    std::string content = DecodeText(bytes);
    if (content.find('\0') != std::string::npos) {
        refusal = "holds NUL bytes: not a text file";
        return false;
    }

    script.sections.clear();
    script.sections.push_back(ScriptSection{});
    int lineNumber = 0;
    size_t position = 0;
    while (position < content.size()) {
        size_t end = content.find_first_of("\r\n", position);
        if (end == std::string::npos) end = content.size();
        std::string raw = content.substr(position, end - position);
        ++lineNumber;
        // "\r\n" ends one line; any other CR or LF ends one line of its own. The
        // profile functions skip the empty lines between them, which are blank.
        position = end;
        if (position < content.size()) {
            if (content[position] == '\r' && position + 1 < content.size() && content[position + 1] == '\n')
                position += 2;
            else
                position += 1;
        }

        std::string line = Trimmed(raw);
        if (line.empty()) continue;

        if (line[0] == '[') {
            size_t close = line.rfind(']');
            if (close != std::string::npos) {
                ScriptSection section;
                section.name = Trimmed(line.substr(1, close - 1));
                section.headerLine = lineNumber;
                size_t firstClose = line.find(']');
                if (firstClose != close) {
                    findings.Warning(lineNumber,
                                     "the section name is read up to the last ']' on the line: " + Quote(section.name));
                }
                script.sections.push_back(std::move(section));
                continue;
            }
            findings.Warning(lineNumber, "section header " + Quote(line) +
                                             " has no closing ']': it is read as a line of the section before it");
        }

        if (line[0] == ';') continue;  // a comment: no section read returns it

        ScriptLine entry = ReadKeyLine(line);
        entry.lineNumber = lineNumber;
        if (script.sections.size() == 1) {
            findings.Warning(lineNumber, "line " + Quote(entry.Text()) +
                                             " comes before the first section header: no command reads it");
        }
        script.sections.back().lines.push_back(std::move(entry));
    }

    script.Index();
    for (size_t i = 1; i < script.sections.size(); ++i) {
        const ScriptSection &section = script.sections[i];
        if (!section.hidden) continue;
        if (section.name.empty()) {
            findings.Warning(section.headerLine, "a section without a name is never read");
            continue;
        }
        const ScriptSection *first = script.Find(section.name);
        std::string where = first->headerLine > 0 ? " (line " + std::to_string(first->headerLine) + ")" : "";
        findings.Warning(section.headerLine, "section " + Bracketed(section.name) +
                                                 " appears again: the profile functions read only the first " +
                                                 Bracketed(first->name) + where + ", so nothing here is ever read");
    }
    return true;
}

}  // namespace check
