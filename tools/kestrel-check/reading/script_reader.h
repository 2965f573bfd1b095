// Reads a script file the way the Windows profile functions do, keeping the line
// number of every section header and line, which the profile functions forget.
#pragma once
#include <string>
#include <unordered_map>
#include <vector>

#include "findings.h"

namespace check {

struct ScriptLine {
    int lineNumber = 0;
    std::string name;  // the key name, or the whole line when it holds no '='
    bool hasValue = false;
    std::string value;  // after the first '=', leading blanks removed

    // The line as GetPrivateProfileSectionA hands it over: "name=value" with the
    // blanks around the '=' gone, or the name alone.
    std::string Text() const { return hasValue ? name + "=" + value : name; }
};

struct ScriptSection {
    std::string name;
    int headerLine = 0;  // 0 for the lines before the first header
    // Every line a section read returns, in file order. Lines that begin with ';'
    // are not among them: the profile functions drop them.
    std::vector<ScriptLine> lines;
    bool hidden = false;  // an earlier section of the same name is the one read
};

class ScriptFile {
public:
    // In file order; the first is the unnamed part before the first header.
    std::vector<ScriptSection> sections;

    // The section a profile read finds: the first of that name, without regard
    // to case. Null when there is none.
    const ScriptSection *Find(const std::string &name) const;
    // The section exists and a section read returns at least one line from it.
    bool HasLines(const std::string &name) const;

    void Index();

private:
    std::unordered_map<std::string, size_t> byName_;
};

// The first line of the section whose key name matches, without regard to case,
// with or without a value (a line without '=' hides later lines of that name).
const ScriptLine *FindKey(const ScriptSection &section, const std::string &key);

// GetPrivateProfileStringA: the value of the key, or false when the section,
// the key or its '=' is missing. Quotes around the whole value are removed, as
// the profile functions remove them; the text is not cut here.
bool ReadKey(const ScriptSection *section, const std::string &key, std::string &value,
             const ScriptLine **where = nullptr);

// A line of a section as the profile functions read it: blanks around the line
// removed, the key name before the first '=' (blanks before the '=' removed), the
// value after it with its leading blanks removed. A line that a profile write
// put into a file reads back the same way.
ScriptLine ReadKeyLine(const std::string &text);

// A stored value as a profile read returns it: matching quotes around it removed.
std::string ValueAsRead(const std::string &stored);

// Lower-case ASCII copy: section and key names are compared this way.
std::string Folded(const std::string &name);

// Parses the bytes of a file. False (with the reason) for bytes that are no
// text script at all; otherwise fills script and reports what the layout hides
// from a reader (duplicate sections, broken headers, lines outside sections).
bool ParseScript(const std::string &bytes, ScriptFile &script, Findings &findings, std::string &refusal);

}  // namespace check
