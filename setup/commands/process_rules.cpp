#include "process_rules.h"

#include <climits>
#include <cstring>

#include "engine/bounded_text.h"
#include "engine/text_rules.h"

bool DeriveWorkingDirectory(const char *commandText, char *out, size_t capacity) {
    if (!commandText || !out || capacity == 0) return false;
    out[0] = '\0';
    const char *start = commandText;
    const char *end;
    if (*start == '"') {
        // A quoted program path may hold blanks: it ends at its closing quote.
        ++start;
        end = strchr(start, '"');
        if (!end) end = start + strlen(start);
    } else {
        end = strchr(start, ' ');
        if (!end) end = start + strlen(start);
    }
    const char *lastSeparator = nullptr;
    for (const char *p = start; p < end; ++p) {
        if (*p == '\\') lastSeparator = p;
    }
    if (!lastSeparator) return false;
    size_t length = static_cast<size_t>(lastSeparator - start);
    bool driveAlone = length == 2 && start[1] == ':';
    size_t needed = length + (driveAlone ? 1 : 0);
    if (needed >= capacity) return false;
    memcpy(out, start, length);
    if (driveAlone) out[length++] = '\\';
    out[length] = '\0';
    return true;
}

PauseLength ReadPauseLength(const char *textValue) {
    PauseLength pause;
    if (!textValue) return pause;
    const char *p = textValue;
    while (IsWhiteSpace(*p)) ++p;
    bool minus = false;
    if (*p == '+' || *p == '-') minus = *p++ == '-';
    unsigned long value = 0;
    bool digits = false;
    for (; *p >= '0' && *p <= '9'; ++p) {
        digits = true;
        value = value * 10 + static_cast<unsigned long>(*p - '0');
        if (value > static_cast<unsigned long>(INT_MAX)) value = INT_MAX;
    }
    if (minus && digits && value != 0) {
        pause.negative = true;
        return pause;
    }
    pause.milliseconds = value;
    return pause;
}

namespace {

// MessageBoxA styles: 0x1000 system-modal; buttons in the low bits, icon above.
const BoxKind kPlainBox = {0x1000, false, 0, 0, 0};
struct KindRow {
    int kind;
    BoxKind box;
};
const KindRow kBoxKinds[] = {
    {2, {0x1001, true, kAnswerOk, kAnswerOk, 0}},            // OK and Cancel
    {3, {0x1004, true, kAnswerYes, kAnswerYes, 0}},          // Yes and No
    {4, {0x1003, true, kAnswerYes, kAnswerYes, kAnswerNo}},  // Yes, No and Cancel
    {5, {0x1030, false, 0, 0, 0}},                           // warning icon, OK
    {6, {0x1010, false, 0, 0, 0}},                           // error icon, OK
};

}  // namespace

const BoxKind &BoxKindFor(int kind) {
    for (const KindRow &row : kBoxKinds) {
        if (row.kind == kind) return row.box;
    }
    return kPlainBox;
}

int BranchArgumentFor(const BoxKind &box, int answer) {
    if (answer == box.firstAnswer) return 2;
    if (box.secondAnswer == 0 || answer == box.secondAnswer) return 3;
    return 4;
}

MessageLine ClassifyMessageLine(const char *value) {
    if (!value || value[0] == '\0' || text::EqualsNoCase(value, "NO TEXT")) return MessageLine::End;
    if (value[0] == ';') return MessageLine::Empty;
    return MessageLine::Text;
}
