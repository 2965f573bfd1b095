#include "text_rules.h"

#include <cctype>
#include <cstring>

#include "bounded_text.h"

bool IsWhiteSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool IsControlCharacter(char c) { return c != '\0' && static_cast<signed char>(c) < 32; }

static char *SkipLeading(char *textValue) {
    while (*textValue != '\0' && (IsWhiteSpace(*textValue) || IsControlCharacter(*textValue))) ++textValue;
    return textValue;
}

static void CutTrailingWhiteSpace(char *start) {
    size_t length = strlen(start);
    while (length > 0 && IsWhiteSpace(start[length - 1])) start[--length] = '\0';
}

char *StripCommentsInPlace(char *textValue) {
    char *start = SkipLeading(textValue);
    if (char *comment = strchr(start, ';')) *comment = '\0';
    CutTrailingWhiteSpace(start);
    return start;
}

char *TrimText(char *textValue) {
    char *start = SkipLeading(textValue);
    CutTrailingWhiteSpace(start);
    return start;
}

PathParts SplitPath(char *path) {
    char *lastSeparator = strrchr(path, '\\');
    if (!lastSeparator) return PathParts{path + strlen(path), path};
    *lastSeparator = '\0';
    return PathParts{path, lastSeparator + 1};
}

void ExtractScriptName(const char *commandLine, char *out, size_t capacity) {
    char line[260];
    text::Copy(line, commandLine);
    if (char *dash = strchr(line, '-')) *dash = '\0';
    text::CopyBounded(out, capacity, StripCommentsInPlace(line));
}

static void TrimTrailing(std::string &value) {
    while (!value.empty() && IsWhiteSpace(value.back())) value.pop_back();
}

bool UnrollCommandLine(const std::string &line, UnrolledCommand &out) {
    // The line keeps its leading blanks; only the comment and trailing blanks go.
    std::string buffer = line.substr(0, line.find('\0'));
    buffer.push_back('\0');
    StripCommentsInPlace(&buffer[0]);
    const std::string cleaned(buffer.c_str());
    // A line of blanks alone would otherwise be written as type 0 and end the
    // section in its middle.
    if (cleaned.find_first_not_of(" \t\r\n\v\f") == std::string::npos) return false;

    out = UnrolledCommand{};
    size_t comma = cleaned.find(',');
    out.typeText = cleaned.substr(0, comma).substr(0, 259);
    if (comma == std::string::npos) return true;

    out.fullSection = cleaned.substr(comma);
    size_t fieldStart = comma + 1;
    for (;;) {
        size_t next = cleaned.find(',', fieldStart);
        std::string field = cleaned.substr(fieldStart, next == std::string::npos ? std::string::npos : next - fieldStart);
        TrimTrailing(field);
        out.fields.push_back(field);
        if (next == std::string::npos) break;
        fieldStart = next + 1;
    }
    return true;
}

size_t OneLogLine(char *line, size_t capacity, const char *textValue) {
    if (!line || capacity == 0) return 0;
    static const char kHex[] = "0123456789abcdef";
    size_t length = 0;
    for (const char *p = textValue ? textValue : ""; *p; ++p) {
        unsigned char c = static_cast<unsigned char>(*p);
        if (c == '\r' || c == '\n') c = ' ';
        bool raw = c < 0x20 || c == 0x7F;
        size_t width = raw ? 4 : 1;
        if (length + width >= capacity) break;
        if (raw) {
            line[length++] = '\\';
            line[length++] = 'x';
            line[length++] = kHex[c >> 4];
            line[length++] = kHex[c & 0xF];
        } else {
            line[length++] = static_cast<char>(c);
        }
    }
    line[length] = '\0';
    return length;
}

namespace {
std::string TrimmedPart(const char *begin, const char *end) {
    while (begin < end && IsWhiteSpace(*begin)) ++begin;
    while (end > begin && IsWhiteSpace(end[-1])) --end;
    return std::string(begin, end);
}
bool SameNameNoCase(const std::string &a, const std::string &b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (tolower(static_cast<unsigned char>(a[i])) != tolower(static_cast<unsigned char>(b[i]))) return false;
    return true;
}
}  // namespace

std::vector<ProfileSectionLines> ReadProfileText(const char *bytes, size_t length) {
    std::vector<ProfileSectionLines> sections;
    ProfileSectionLines *current = nullptr;
    bool skipping = true;  // before the first section, or in a repeated one
    for (const char *line = bytes, *end = bytes + length; line < end;) {
        const char *next = static_cast<const char *>(memchr(line, '\n', static_cast<size_t>(end - line)));
        const char *lineEnd = next ? next : end;
        std::string textLine = TrimmedPart(line, lineEnd);
        line = next ? next + 1 : end;
        if (textLine.empty()) continue;
        size_t close = textLine[0] == '[' ? textLine.find(']') : std::string::npos;
        if (close != std::string::npos) {
            std::string name = TrimmedPart(textLine.c_str() + 1, textLine.c_str() + close);
            skipping = false;
            for (const ProfileSectionLines &seen : sections) skipping = skipping || SameNameNoCase(seen.name, name);
            if (!skipping) {
                sections.push_back(ProfileSectionLines{name, {}});
                current = &sections.back();
            }
            continue;
        }
        if (skipping || !current) continue;
        size_t equals = textLine.find('=');
        std::string key = TrimmedPart(textLine.c_str(), textLine.c_str() + (equals == std::string::npos ? textLine.size() : equals));
        if (!key.empty() && key[0] == ';') continue;
        if (equals != std::string::npos) key += "=" + TrimmedPart(textLine.c_str() + equals + 1, textLine.c_str() + textLine.size());
        current->entries.push_back(key);
    }
    return sections;
}
