// The board ID lists of BranchOnSystemID: what a line may hold for an ID, and the
// walk over a section text as the profile functions return it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "hardware/id_list_rules.h"

namespace {

std::vector<std::string> Texts(unsigned id) {
    IdRenderings r = RenderBoardId(id);
    return std::vector<std::string>(std::begin(r.text), std::end(r.text));
}

// Lines joined as a section text: each terminated, then an empty line.
std::string Section(std::initializer_list<std::string> lines) {
    std::string textValue;
    for (const std::string &line : lines) textValue += line + '\0';
    return textValue + '\0';
}

int Find(std::string section, unsigned id) { return FindIdInList(&section[0], id); }

TEST(IdRenderings, EightFormsInTheirOrder) {
    EXPECT_EQ((std::vector<std::string>{"0X0a7c", "0Xa7c", "0Xa7c", "a7c", "0a7c", "a7c", "a7c", "2684"}),
              Texts(0x0A7C));
    EXPECT_EQ((std::vector<std::string>{"0X0005", "0X005", "0X05", "5", "0005", "005", "05", "5"}), Texts(5));
    EXPECT_EQ((std::vector<std::string>{"0Xffff", "0Xffff", "0Xffff", "ffff", "ffff", "ffff", "ffff", "65535"}),
              Texts(0xFFFF));
    // Only the low 16 bits are an ID.
    EXPECT_EQ(Texts(0x0A7C), Texts(0x70A7C));
}

TEST(IdRenderings, EachDocumentedLineMatchesAndLookalikesDoNot) {
    IdRenderings r = RenderBoardId(0x0A7C);
    for (const char *line : {"0x0a7c", "0X0A7C", "0xa7c", "a7c", "A7C", "0a7c", "2684", "0XA7C"})
        EXPECT_TRUE(IdLineMatches(line, r)) << line;
    for (const char *line : {"0A7C=1", ";0x0A7C", "0x0A7C ", "x0a7c", "0x00a7c", "02684", "0A7Ch", "", "a7"})
        EXPECT_FALSE(IdLineMatches(line, r)) << line;
}

TEST(IdList, TheFirstMatchingLineCountsCommentsAreSkippedLinesAreTrimmed) {
    EXPECT_EQ(2, Find(Section({"0x08B4", "1234", "  0A7C\t", "a7c"}), 0x0A7C));
    EXPECT_EQ(-1, Find(Section({";0x0A7C", "0A7C=1", "; 0a7c"}), 0x0A7C));
    // A comment mark after leading blanks is no comment: the trimmed line is compared.
    EXPECT_EQ(-1, Find(Section({" ;0a7c"}), 0x0A7C));
    EXPECT_EQ(-1, Find(Section({}), 0x0A7C));
    EXPECT_EQ(-1, FindIdInList(nullptr, 0x0A7C));
}

TEST(IdList, TrimmingStaysWithinEachLine) {
    // Trailing blanks are cut in place; the walk still finds the lines after them.
    std::string section = Section({"abc   ", "   ", "0a7c"});
    EXPECT_EQ(2, FindIdInList(&section[0], 0x0A7C));
    EXPECT_EQ(std::string("abc"), std::string(section.c_str()));
}

}  // namespace
