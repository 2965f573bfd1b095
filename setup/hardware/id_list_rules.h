// Board ID lists of BranchOnSystemID: the texts a list line may hold for an ID,
// and the walk over a list. No I/O, no Windows headers.
#pragma once
#include <cstddef>

inline constexpr int kIdRenderingCount = 8;

// The ID (its low 16 bits) as a list line may hold it, in the order lines are
// compared with them: "0X" and at least 4, 3 and 2 hexadecimal digits; the
// hexadecimal digits without leading zeros; at least 4, 3 and 2 hexadecimal
// digits without a prefix; the decimal number. 0A7Ch gives 0X0a7c, 0Xa7c,
// 0Xa7c, a7c, 0a7c, a7c, a7c and 2684.
struct IdRenderings {
    char text[kIdRenderingCount][16];
};
IdRenderings RenderBoardId(unsigned id);

// True when the line equals one of the renderings, without regard to case.
bool IdLineMatches(const char *line, const IdRenderings &renderings);

// Walks a section text (lines, each terminated, then an empty one): lines whose
// first character is ';' are comments; every other line is trimmed in place and
// compared. Returns the number (from 0) of the first line that matches, or -1.
// A null text holds no line.
int FindIdInList(char *sectionText, unsigned id);
