// The reader sees a script file as the profile functions see it.
#include <gtest/gtest.h>

#include "checker_test_support.h"
#include "script_reader.h"

using namespace checker_test;
using check::ScriptFile;

namespace {

ScriptFile Read(const std::string &content, check::Findings *findings = nullptr) {
    ScriptFile script;
    check::Findings local;
    std::string refusal;
    EXPECT_TRUE(check::ParseScript(content, script, findings ? *findings : local, refusal)) << refusal;
    return script;
}

std::vector<std::string> LinesOf(const ScriptFile &script, const std::string &section) {
    std::vector<std::string> lines;
    if (const check::ScriptSection *found = script.Find(section))
        for (const check::ScriptLine &line : found->lines) lines.push_back(line.Text());
    return lines;
}

TEST(Reader, SectionLinesAreWhatASectionReadReturns) {
    ScriptFile script = Read(Script({"[A]", "  k1  =  v1  ", "; comment", "   ;indented comment",
                                     "plain line , with comma ; and semi", "", "a;b=c", "=novalue"}));
    EXPECT_EQ((std::vector<std::string>{"k1=v1", "plain line , with comma ; and semi", "a;b=c", "=novalue"}),
              LinesOf(script, "A"));
    EXPECT_EQ(2, script.Find("a")->lines[0].lineNumber);
    EXPECT_EQ(5, script.Find("a")->lines[1].lineNumber);
}

TEST(Reader, NamesMatchWithoutCaseAndTheFirstDuplicateWins) {
    check::Findings findings;
    ScriptFile script = Read(Script({"[Data]", "Logging=1", "LOGGING=2", "[DATA]", "Other=3"}), &findings);
    std::string value;
    ASSERT_TRUE(check::ReadKey(script.Find("data"), "logging", value));
    EXPECT_EQ("1", value);
    // The second [DATA] is never read: its key is not found.
    EXPECT_FALSE(check::ReadKey(script.Find("Data"), "Other", value));
    ASSERT_EQ(1u, findings.All().size());
    EXPECT_EQ(4, findings.All()[0].line);
    EXPECT_NE(std::string::npos, findings.All()[0].message.find("read only the first [Data] (line 1)"));
}

TEST(Reader, AKeyLineWithoutEqualsSignHidesTheKey) {
    ScriptFile script = Read(Script({"[S]", "Program", "Program=setup.exe"}));
    std::string value;
    EXPECT_FALSE(check::ReadKey(script.Find("S"), "Program", value));
}

TEST(Reader, QuotesAroundAValueAreRemovedAsAReadRemovesThem) {
    ScriptFile script = Read(Script({"[S]", "q=\"quoted value\"", "h='x", "e=\"\""}));
    std::string value;
    ASSERT_TRUE(check::ReadKey(script.Find("S"), "q", value));
    EXPECT_EQ("quoted value", value);
    ASSERT_TRUE(check::ReadKey(script.Find("S"), "h", value));
    EXPECT_EQ("'x", value);
    ASSERT_TRUE(check::ReadKey(script.Find("S"), "e", value));
    EXPECT_EQ("", value);
}

TEST(Reader, HeadersAreReadToTheLastBracketAndTrimmed) {
    check::Findings findings;
    ScriptFile script = Read(Script({"[C] trailing", "c=1", "[ F ]", "f=1", "[A] ; see [B]", "a=1"}), &findings);
    EXPECT_TRUE(script.HasLines("C"));
    EXPECT_TRUE(script.HasLines("F"));
    EXPECT_TRUE(script.HasLines("A] ; see [B"));
    EXPECT_FALSE(script.HasLines("A"));
    ASSERT_EQ(1u, findings.All().size());
    EXPECT_EQ(5, findings.All()[0].line);
}

TEST(Reader, AHeaderWithoutClosingBracketIsALineOfTheSectionBefore) {
    check::Findings findings;
    ScriptFile script = Read(Script({"[A]", "a=1", "[B", "b=2"}), &findings);
    EXPECT_EQ((std::vector<std::string>{"a=1", "[B", "b=2"}), LinesOf(script, "A"));
    EXPECT_EQ(nullptr, script.Find("B"));
    ASSERT_EQ(1u, findings.All().size());
    EXPECT_EQ(3, findings.All()[0].line);
}

TEST(Reader, LinesBeforeTheFirstHeaderAreReported) {
    check::Findings findings;
    Read(Script({"; a comment is fine", "stray=1", "[A]", "a=1"}), &findings);
    ASSERT_EQ(1u, findings.All().size());
    EXPECT_EQ(2, findings.All()[0].line);
    EXPECT_EQ(check::Severity::Warning, findings.All()[0].severity);
}

TEST(Reader, LineNumbersCountEveryKindOfLineEnd) {
    // LF, CR LF and a lone CR each end one line; Ctrl-Z counts as a blank.
    ScriptFile script = Read("[A]\na=1\r\n\r\nb=2\rc=3\x1A\n[B]\r\nd=4");
    const check::ScriptSection *a = script.Find("A");
    ASSERT_EQ(3u, a->lines.size());
    EXPECT_EQ(2, a->lines[0].lineNumber);
    EXPECT_EQ(4, a->lines[1].lineNumber);
    EXPECT_EQ(5, a->lines[2].lineNumber);
    EXPECT_EQ("c=3", a->lines[2].Text());
    EXPECT_EQ(7, script.Find("B")->lines[0].lineNumber);
}

TEST(Reader, ByteOrderMarksAreReadAndNulBytesRefused) {
    ScriptFile utf8 = Read("\xEF\xBB\xBF[A]\r\na=1\r\n");
    EXPECT_TRUE(utf8.HasLines("A"));

    std::string wide = "\xFF\xFE";
    for (char c : std::string("[A]\r\na=1\r\n")) {
        wide.push_back(c);
        wide.push_back('\0');
    }
    ScriptFile utf16 = Read(wide);
    EXPECT_TRUE(utf16.HasLines("A"));

    ScriptFile script;
    check::Findings findings;
    std::string refusal;
    EXPECT_FALSE(check::ParseScript(std::string("[A]\r\na=\0\x01\x02", 9), script, findings, refusal));
    EXPECT_NE(std::string::npos, refusal.find("NUL"));
}

}  // namespace
