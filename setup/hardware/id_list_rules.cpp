#include "id_list_rules.h"

#include <cctype>
#include <cstdio>
#include <cstring>

#include "../engine/text_rules.h"

IdRenderings RenderBoardId(unsigned id) {
    id &= 0xFFFFu;
    IdRenderings renderings;
    struct HexForm {
        const char *prefix;
        int digits;
    };
    // A precision of 0 prints the digits without leading zeros.
    static const HexForm kHexForms[] = {{"0X", 4}, {"0X", 3}, {"0X", 2}, {"", 0}, {"", 4}, {"", 3}, {"", 2}};
    int i = 0;
    for (const HexForm &form : kHexForms) {
        snprintf(renderings.text[i++], sizeof renderings.text[0], "%s%*.*x", form.prefix, 0, form.digits, id);
    }
    snprintf(renderings.text[i], sizeof renderings.text[0], "%i", static_cast<int>(id));
    return renderings;
}

static bool EqualIgnoringCase(const char *a, const char *b) {
    for (; *a && *b; ++a, ++b) {
        if (tolower(static_cast<unsigned char>(*a)) != tolower(static_cast<unsigned char>(*b))) return false;
    }
    return *a == *b;
}

bool IdLineMatches(const char *line, const IdRenderings &renderings) {
    for (const char *rendering : renderings.text) {
        if (EqualIgnoringCase(line, rendering)) return true;
    }
    return false;
}

int FindIdInList(char *sectionText, unsigned id) {
    if (!sectionText) return -1;
    const IdRenderings renderings = RenderBoardId(id);
    int number = 0;
    for (char *line = sectionText; *line; ++number) {
        char *next = line + strlen(line) + 1;  // before trimming cuts the line short
        if (line[0] != ';' && IdLineMatches(TrimText(line), renderings)) return number;
        line = next;
    }
    return -1;
}
