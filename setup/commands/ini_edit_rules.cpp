#include "ini_edit_rules.h"

#include <cstring>

#include "engine/bounded_text.h"
#include "engine/text_rules.h"

namespace {

// Copies length characters of a field into its buffer, cutting what does not fit.
void CopyField(char (&dst)[kListFieldSize], const char *start, size_t length, bool &cut) {
    if (length >= kListFieldSize) {
        length = kListFieldSize - 1;
        cut = true;
    }
    memcpy(dst, start, length);
    dst[length] = '\0';
}

// Trims a field in place and moves what is left to the buffer's start.
void TrimField(char (&field)[kListFieldSize]) {
    char *start = TrimText(field);
    if (start != field) memmove(field, start, strlen(start) + 1);
}

bool OnlyBlanks(const char *field) {
    char copy[kListFieldSize];
    text::Copy(copy, field);
    return *TrimText(copy) == '\0';
}

}  // namespace

ListLineVerdict SplitSetValueLine(const char *line, ListLineFields &out) {
    out = ListLineFields{};
    if (!line || line[0] == ';') return ListLineVerdict::Comment;
    const char *firstComma = strchr(line, ',');
    if (!firstComma) {
        CopyField(out.first, line, strlen(line), out.cut);
        return ListLineVerdict::MissingComma;
    }
    CopyField(out.first, line, static_cast<size_t>(firstComma - line), out.cut);
    const char *keyStart = firstComma + 1;
    const char *secondComma = strchr(keyStart, ',');
    if (!secondComma) return ListLineVerdict::MissingSecondComma;
    // A field of blanks names nothing either: written, it would put a key outside
    // any section or a line without a key into the script file.
    if (OnlyBlanks(out.first)) return ListLineVerdict::NoSection;
    CopyField(out.second, keyStart, static_cast<size_t>(secondComma - keyStart), out.cut);
    if (OnlyBlanks(out.second)) {
        out.second[0] = '\0';
        return ListLineVerdict::NoKey;
    }
    CopyField(out.third, secondComma + 1, strlen(secondComma + 1), out.cut);
    TrimField(out.first);
    TrimField(out.second);
    TrimField(out.third);
    return ListLineVerdict::Write;
}

ListLineVerdict SplitSetVariableLine(const char *line, ListLineFields &out) {
    out = ListLineFields{};
    if (!line || line[0] == ';') return ListLineVerdict::Comment;
    const char *comma = strchr(line, ',');
    if (!comma) {
        CopyField(out.first, line, strlen(line), out.cut);
        return ListLineVerdict::MissingComma;
    }
    CopyField(out.first, line, static_cast<size_t>(comma - line), out.cut);
    if (OnlyBlanks(out.first)) return ListLineVerdict::NoKey;
    CopyField(out.second, comma + 1, strlen(comma + 1), out.cut);
    TrimField(out.first);
    TrimField(out.second);
    return ListLineVerdict::Write;
}

RebootDecision DecideReboot(const char *choice, bool suppressReboot) {
    if (!text::EqualsNoCase(choice ? choice : "", "TRUE")) return RebootDecision::NotAsked;
    return suppressReboot ? RebootDecision::Refused : RebootDecision::Reboot;
}
