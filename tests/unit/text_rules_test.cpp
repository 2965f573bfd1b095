#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "engine/bounded_text.h"
#include "engine/text_rules.h"

namespace {

std::string Strip(std::string value) {
    std::string buffer = value;
    buffer.push_back('\0');
    return StripCommentsInPlace(&buffer[0]);
}

std::string Trim(std::string value) {
    std::string buffer = value;
    buffer.push_back('\0');
    return TrimText(&buffer[0]);
}

TEST(TextRules, StripCutsCommentAndBlanksOnBothSides) {
    EXPECT_EQ("C:\\kit\\a.exe", Strip("  C:\\kit\\a.exe ; run it  "));
    EXPECT_EQ("", Strip(";all comment"));
    EXPECT_EQ("", Strip("   "));
    EXPECT_EQ("a", Strip("\t\r\na\r\n"));
}

TEST(TextRules, HighCharactersCountAsControlCharactersAtTheStartOnly) {
    EXPECT_EQ("abc", Strip("\xC8" "abc"));
    EXPECT_EQ("abc", Trim("\xC8\x01 abc"));
    // Control characters at the end are not white space and stay.
    EXPECT_EQ("abc\x01", Strip("abc\x01"));
    EXPECT_EQ("abc\xC8", Trim("abc\xC8  "));
}

TEST(TextRules, StripKeepsTheBufferInPlace) {
    char buffer[] = "  value ; comment";
    char *start = StripCommentsInPlace(buffer);
    EXPECT_EQ(buffer + 2, start);
    // A caller that ignores the start keeps the leading blanks.
    EXPECT_STREQ("  value", buffer);
}

TEST(TextRules, TrimKeepsSemicolons) {
    EXPECT_EQ("D:\\data", Trim(" D:\\data  "));
    EXPECT_EQ("a;b", Trim("a;b"));
}

TEST(TextRules, SplitPathAtTheLastBackslash) {
    char path[] = "D:\\kit\\setup.exe";
    PathParts parts = SplitPath(path);
    EXPECT_STREQ("D:\\kit", parts.directory);
    EXPECT_STREQ("setup.exe", parts.fileName);

    char root[] = "C:\\setup.exe";
    parts = SplitPath(root);
    EXPECT_STREQ("C:", parts.directory);
    EXPECT_STREQ("setup.exe", parts.fileName);

    char bare[] = "setup.exe";
    parts = SplitPath(bare);
    EXPECT_STREQ("", parts.directory);
    EXPECT_STREQ("setup.exe", parts.fileName);
}

std::string ScriptName(const std::string &commandLine) {
    char name[260];
    ExtractScriptName(commandLine.c_str(), name, sizeof name);
    return name;
}

TEST(TextRules, ScriptNameIsTheTextBeforeTheFirstHyphen) {
    EXPECT_EQ("myscript.ini", ScriptName("myscript.ini -silent"));
    EXPECT_EQ("C:\\my", ScriptName("C:\\my-kit\\a.ini"));
    EXPECT_EQ("", ScriptName("-silent -resume"));
    EXPECT_EQ("\"C:\\a b\\x.ini\"", ScriptName("  \"C:\\a b\\x.ini\" -noreboot"));
    EXPECT_EQ("a.ini", ScriptName("a.ini ; note -silent"));
}

TEST(TextRules, OverlongCommandLineIsCutNotOverrun) {
    std::string longName(5000, 'x');
    std::string name = ScriptName(longName + " -silent");
    EXPECT_EQ(std::string(259, 'x'), name);

    char small[8];
    ExtractScriptName("abcdefghijkl", small, sizeof small);
    EXPECT_STREQ("abcdefg", small);
}

TEST(TextRules, UnrollCommandLines) {
    UnrolledCommand command;
    ASSERT_TRUE(UnrollCommandLine("15,CopyA", command));
    EXPECT_EQ("15", command.typeText);
    EXPECT_EQ(",CopyA", command.fullSection);
    ASSERT_EQ(1u, command.fields.size());
    EXPECT_EQ("CopyA", command.fields[0]);

    ASSERT_TRUE(UnrollCommandLine("13,Wait,2", command));
    EXPECT_EQ(",Wait,2", command.fullSection);
    ASSERT_EQ(2u, command.fields.size());
    EXPECT_EQ("Wait", command.fields[0]);
    EXPECT_EQ("2", command.fields[1]);

    ASSERT_TRUE(UnrollCommandLine("32", command));
    EXPECT_EQ("32", command.typeText);
    EXPECT_EQ("", command.fullSection);
    EXPECT_TRUE(command.fields.empty());

    ASSERT_TRUE(UnrollCommandLine("19,Next ; go on", command));
    EXPECT_EQ(",Next", command.fullSection);
    EXPECT_EQ("Next", command.fields.at(0));

    ASSERT_TRUE(UnrollCommandLine("14,a,,b ,", command));
    ASSERT_EQ(4u, command.fields.size());
    EXPECT_EQ("", command.fields[1]);
    EXPECT_EQ("b", command.fields[2]);
    EXPECT_EQ("", command.fields[3]);

    EXPECT_FALSE(UnrollCommandLine(";comment", command));
    EXPECT_FALSE(UnrollCommandLine("", command));
    EXPECT_FALSE(UnrollCommandLine("   ; blank before a comment", command));
}

TEST(TextRules, OverlongTypeTextIsCutTo259) {
    UnrolledCommand command;
    ASSERT_TRUE(UnrollCommandLine(std::string(400, '7') + ",x", command));
    EXPECT_EQ(259u, command.typeText.size());
    EXPECT_EQ(",x", command.fullSection);
}

TEST(BoundedText, CutsLikeTheProfileFunctions) {
    char buffer[6];
    EXPECT_EQ(5u, text::Copy(buffer, "abcdefgh"));
    EXPECT_STREQ("abcde", buffer);
    EXPECT_EQ(11u, text::FormatBounded(buffer, sizeof buffer, "%s-%d", "abcdef", 1234));
    EXPECT_STREQ("abcde", buffer);
    text::Copy(buffer, "ab");
    EXPECT_EQ(5u, text::Append(buffer, "cdefg"));
    EXPECT_STREQ("abcde", buffer);
    EXPECT_TRUE(text::EqualsNoCase("DATA", "data"));
    EXPECT_FALSE(text::EqualsNoCase("DATA", "dat"));
}

}  // namespace
