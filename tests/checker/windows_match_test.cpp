// The checker against the real thing: its reader against the profile functions
// of Windows (Wine here), and its command table against the engine's.
#include <gtest/gtest.h>
#include <windows.h>

#include <set>

#include "checker_test_support.h"
#include "command_rules.h"
#include "engine/command_table.h"
#include "engine/profile_number_rules.h"
#include "script_reader.h"
#include "value_rules.h"

using namespace checker_test;

namespace {

TEST(CommandTable, TheCheckerKnowsTheEnginesCommandsByTheirNames) {
    for (int number = -1; number <= check::kLastCommandNumber + 1; ++number) {
        SCOPED_TRACE(number);
        const CommandRow *row = FindCommand(number);
        const check::CommandRule *rule = check::FindCommandRule(number);
        ASSERT_EQ(row == nullptr, rule == nullptr);
        if (!row) continue;
        EXPECT_STREQ(row->name, rule->name);
        EXPECT_STREQ(CommandDisplayName(number), rule->name);
        EXPECT_EQ(row->handler == CmdNotSupported, rule->shape == check::CommandShape::Unsupported);
        EXPECT_EQ(row->argumentsFromData, rule->shape == check::CommandShape::FromData);
        EXPECT_EQ(row->after == AfterCommand::EndOfSection, rule->shape == check::CommandShape::EndOfSection);
    }
}

// A file full of what the profile functions read in their own way.
const char kTrickyScript[] =
    "top=1\r\n"
    "[A]\r\n"
    "  k1  =  v1  \r\n"
    "; comment line\r\n"
    "   ;indented comment\r\n"
    "plain line , with comma ; and semi\r\n"
    "k1=second\r\n"
    "q=\"quoted value\"\r\n"
    "h='x\r\n"
    "=novalue\r\n"
    "a;b=c\r\n"
    "Program\r\n"
    "Program=hidden by the line above\r\n"
    "[B\r\n"
    "after=bad header\r\n"
    "[a]\r\n"
    "dup=in the second A\r\n"
    "[C] trailing\r\n"
    "c=1\r\n"
    "[A2] ; see [D]\r\n"
    "d=1\r\n"
    "[N]\r\n"
    "hex=0x10\r\n"
    "junk=12abc\r\n"
    "word=abc\r\n"
    "neg=-5\r\n"
    "empty=\r\n"
    "spaced=  7 ; c\r\n"
    "big=4294967311\r\n"
    "lone\r\r"
    "cr=after a lone CR\n"
    "lf=after a lone LF\x1A\r\n"
    "[Empty]\r\n"
    "\r\n"
    "[ F ]\r\n"
    "f=1\r\n";

std::vector<std::string> ApiSectionLines(const std::string &section, const std::string &file) {
    std::vector<char> buffer(65536);
    DWORD length =
        GetPrivateProfileSectionA(section.c_str(), buffer.data(), static_cast<DWORD>(buffer.size()), file.c_str());
    std::vector<std::string> lines;
    for (const char *line = buffer.data(); length > 0 && *line; line += strlen(line) + 1) lines.push_back(line);
    return lines;
}

TEST(ProfileMatch, SectionsAndKeysReadAsTheProfileFunctionsReadThem) {
    std::string file = FreshFolder("profile_match") + "tricky.ini";
    WriteFile(file, kTrickyScript);
    check::ScriptFile script;
    check::Findings findings;
    std::string refusal;
    ASSERT_TRUE(check::ParseScript(kTrickyScript, script, findings, refusal));

    std::set<std::string> names = {"A", "a",     "B", "C",   "C] trailing", "A2", "A2] ; see [D",
                                   "N", "Empty", "F", " F ", "Missing"};
    for (const check::ScriptSection &section : script.sections) names.insert(section.name);
    for (const std::string &name : names) {
        SCOPED_TRACE("[" + name + "]");
        if (name.empty()) continue;  // the lines before the first header: no command reads them
        std::vector<std::string> expected = ApiSectionLines(name, file);
        std::vector<std::string> read;
        const check::ScriptSection *section = script.Find(name);
        if (section)
            for (const check::ScriptLine &line : section->lines) read.push_back(line.Text());
        EXPECT_EQ(expected, read);

        std::set<std::string> keys = {"dup", "Program", "missing"};
        if (section)
            for (const check::ScriptLine &line : section->lines) keys.insert(line.name);
        for (const std::string &key : keys) {
            SCOPED_TRACE(key);
            char buffer[512];
            GetPrivateProfileStringA(name.c_str(), key.c_str(), "<absent>", buffer, sizeof buffer, file.c_str());
            std::string value;
            EXPECT_EQ(std::string(buffer), check::ReadKey(section, key, value) ? value : std::string("<absent>"));

            if (!check::ReadKey(section, key, value) || value.empty()) continue;
            check::ProfileNumber number = check::ReadProfileNumber(value);
            int real = static_cast<int>(GetPrivateProfileIntA(name.c_str(), key.c_str(), 0, file.c_str()));
            EXPECT_EQ(real, number.isNumber ? number.value : 0) << value;
        }
    }
}

// Texts that numbers are made of, and what people write where they mean one:
// prefixes in either case, signs, digits beyond the base, overflow, quotes,
// bytes above 7Fh, values longer than the function's own buffer.
const char *const kNumberTexts[] = {
    "0x10", "0X34", "0x34", "0xA7C", "0x0a7c", "0b101", "0B101", "0o17", "0O17", "0o8", "0b2", "0x", "0xg", "0",
    "0503", "08B4", "0A7C", "04F8", "Main", "1e3", "12abc", "1.5", "1 2", "-5", "+5", "- 5", "--5", "-0x10",
    "+0b11", "7 ; c", "\"12\"", "'0x1f'", "\"0X34\"", "4294967295", "4294967296", "4294967311", "99999999999",
    "-2147483648", "2147483648", "0x7FFFFFFF", "0xFFFFFFFF", "0x100000000", "0z5", "zz", "\xB2", "1\xA0", "\x7F" "5",
    "000000000000000000000000000012", "0x0000000000000000000000000001F", "123456789012345678901234567890123",
    "\"00000000000000000000000000001\"", "\"0000000000000000000000000000001\"", "\"\"", "'7", "  8  ", "",
};

TEST(ProfileMatch, NumbersReadAsTheProfileIntFunctionReadsThem) {
    const std::string file = FreshFolder("profile_numbers") + "numbers.ini";
    std::string content = "[N]\r\n";
    for (size_t i = 0; i < sizeof kNumberTexts / sizeof kNumberTexts[0]; ++i)
        content += "k" + std::to_string(i) + "=" + kNumberTexts[i] + "\r\n";
    WriteFile(file, content);
    const unsigned kDefault = 4242;
    for (size_t i = 0; i < sizeof kNumberTexts / sizeof kNumberTexts[0]; ++i) {
        const std::string key = "k" + std::to_string(i);
        SCOPED_TRACE(key + "=" + kNumberTexts[i]);
        EXPECT_EQ(GetPrivateProfileIntA("N", key.c_str(), kDefault, file.c_str()),
                  ReadProfileNumberText(kNumberTexts[i], kDefault).value);
    }
    EXPECT_EQ(kDefault, GetPrivateProfileIntA("N", "missing", kDefault, file.c_str()));
}

}  // namespace
