#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <string>

#include "engine/bounded_text.h"
#include "engine/install_log.h"
#include "engine/run_state.h"
#include "engine/variable_rules.h"
#include "engine/variables.h"
#include "test_support.h"

using namespace testing_support;

namespace {

class Variables : public ::testing::Test {
protected:
    void SetUp() override {
        ResetRunState();
        folder_ = FreshFolder("unit-variables");
        script_ = folder_ + "\\script.ini";
        log_ = folder_ + "\\install.log";
        WriteFile(script_, "[Variables]\r\nV003=D:\\kit\r\n");
        text::Copy(g_run.scriptFile, script_.c_str());
        text::Copy(g_run.programDirectory, "C:\\kit");
        text::Copy(g_run.programFileName, "kestrel.exe");
        SetInstallLogPath(log_.c_str());
        g_run.logging = true;
    }
    void TearDown() override { ResetRunState(); }

    void SetVariable(const char *key, const std::string &value) {
        WritePrivateProfileStringA("Variables", key, value.c_str(), script_.c_str());
    }
    int Expand(std::string &value, size_t capacity = 260) {
        std::string buffer(capacity + 16, '#');
        text::CopyBounded(&buffer[0], capacity, value.c_str());
        int count = GetVariable(&buffer[0], capacity);
        // Nothing is ever written past the caller's capacity.
        EXPECT_EQ(std::string(16, '#'), buffer.substr(capacity)) << "written past the buffer";
        value = buffer.c_str();
        return count;
    }
    static std::string WindowsFolder() {
        char folder[MAX_PATH];
        return std::string(folder, GetWindowsDirectoryA(folder, MAX_PATH));
    }
    static std::string SystemFolder() {
        char folder[MAX_PATH];
        return std::string(folder, GetSystemDirectoryA(folder, MAX_PATH));
    }
    std::string folder_, script_, log_;
};

TEST_F(Variables, BuiltinFolders) {
    std::string value = "~%C101\\system.ini";
    EXPECT_EQ(1, Expand(value));
    EXPECT_EQ(WindowsFolder() + "\\system.ini", value);

    value = "~%C102|~%C103|~%C104|~%C001";
    EXPECT_EQ(4, Expand(value));
    EXPECT_EQ(WindowsFolder() + "\\inf|" + SystemFolder() + "|" + SystemFolder() + "\\Drivers|C:\\kit", value);

    value = "~%c001\\x";  // the kind letter in either case
    EXPECT_EQ(1, Expand(value));
    EXPECT_EQ("C:\\kit\\x", value);
}

TEST_F(Variables, ScriptVariablesMissingOnesAreEmpty) {
    std::string value = "~%V003\\setup.exe";
    EXPECT_EQ(1, Expand(value));
    EXPECT_EQ("D:\\kit\\setup.exe", value);

    value = "[~%V004]";
    EXPECT_EQ(1, Expand(value));
    EXPECT_EQ("[]", value);

    // ~%v7ab and ~%V 07 both name number 7.
    SetVariable("V007", "seven");
    value = "~%v7ab ~%V 07";
    EXPECT_EQ(2, Expand(value));
    EXPECT_EQ("seven seven", value);
}

TEST_F(Variables, InsertedValuesAreScannedAgain) {
    SetVariable("V001", "~%C001\\tools");
    std::string value = "~%V001\\run.exe";
    EXPECT_EQ(2, Expand(value));
    EXPECT_EQ("C:\\kit\\tools\\run.exe", value);
}

TEST_F(Variables, TemporaryNameDropsTheRestAndIsSaved) {
    std::string value = "~%C000\\sub";
    EXPECT_EQ(1, Expand(value));
    std::string expected = TempFolder() + TemporaryFileName(GetCurrentProcessId());
    EXPECT_EQ(expected, value);
    EXPECT_EQ(expected, ProfileString(script_, "Variables", "V000"));
    EXPECT_TRUE(ContainsText(LogTexts(log_), " ** creating " + expected + " and will save in V000"));
}

TEST_F(Variables, InvalidKindLetterStopsWithTextUnchanged) {
    std::string value = "~%X001 and ~%C001";
    EXPECT_EQ(0, Expand(value));
    EXPECT_EQ("~%X001 and ~%C001", value);
    std::vector<std::string> texts = LogTexts(log_);
    ASSERT_EQ(2u, texts.size());
    EXPECT_EQ("ERROR-=-  variable token ~% found but leading character not valid", texts[0]);
    EXPECT_EQ("ERROR-=- ~%X001 and ~%C001", texts[1]);
}

TEST_F(Variables, UnknownBuiltinStaysAndTheNextIsReplaced) {
    std::string value = "~%C050 and ~%C001";
    EXPECT_EQ(2, Expand(value));
    EXPECT_EQ("~%C050 and C:\\kit", value);
    std::vector<std::string> texts = LogTexts(log_);
    EXPECT_EQ("GetVariable( ) variable not found for  ~%C050 and ~%C001", texts.at(0));
    EXPECT_EQ("ERROR-=-  variable token found but no replacement made.", texts.at(1));
    EXPECT_EQ("ERROR-=- ~%C050 and ~%C001", texts.at(2));
}

TEST_F(Variables, ScriptNumberOutOfRangeIsNotFound) {
    std::string value = "x~%V-01";
    EXPECT_EQ(1, Expand(value));
    EXPECT_EQ("x~%V-01", value);
}

TEST_F(Variables, TextEndingInsideATokenIsNotReadPastItsEnd) {
    for (const char *cut : {"abc~%V0", "abc~%V", "abc~%", "~%C1"}) {
        std::string value = cut;
        Expand(value);
        EXPECT_EQ(cut, value);
    }
}

TEST_F(Variables, SelfReferenceEnds) {
    SetVariable("V001", "~%V001");
    std::string value = "~%V001";
    int count = Expand(value);
    EXPECT_GT(count, 1);
    EXPECT_LE(count, kMaxReplacementsPerCall + 1);

    // A growing self reference stops at the buffer instead.
    SetVariable("V002", "a~%V002");
    value = "~%V002";
    Expand(value, 64);
    EXPECT_LE(value.size(), 63u);
}

TEST_F(Variables, OverlongReplacementIsRefusedNotOverrun) {
    SetVariable("V002", std::string(200, 'v'));
    std::string value = "~%V002\\~%V002";
    EXPECT_EQ(2, Expand(value, 260));
    EXPECT_EQ(std::string(200, 'v') + "\\~%V002", value);
    EXPECT_TRUE(ContainsText(LogTexts(log_), "ERROR-=- ~%V002"));

    value = "~%V002";
    EXPECT_EQ(1, Expand(value, 100));
    EXPECT_EQ("~%V002", value);
}

TEST_F(Variables, LanguageFromTheHardwareFile) {
    const std::string hardwareFile = "C:\\system.sav\\util\\mira.ini";
    bool hadFile = Exists(hardwareFile);
    std::string saved = hadFile ? ReadFile(hardwareFile) : "";
    WriteFile(hardwareFile, "[Description]\r\nNorvikLanguage=FR\r\n");
    std::string value = "lang=~%C105";
    int count = Expand(value);
    if (hadFile)
        WriteFile(hardwareFile, saved);
    else
        DeleteTree(hardwareFile);
    EXPECT_EQ(1, count);
    EXPECT_EQ("lang=FR", value);
}

TEST_F(Variables, LanguageFromTheInterfaceLanguage) {
    const std::string hardwareFile = "C:\\system.sav\\util\\mira.ini";
    if (Exists(hardwareFile) && !ProfileString(hardwareFile, "Description", "NorvikLanguage").empty())
        GTEST_SKIP() << "the hardware information file names a language";
    std::string value = "~%C105";
    Expand(value);
    const char *expected = LanguageCodeFor(GetUserDefaultUILanguage());
    ASSERT_NE(nullptr, expected) << "Wine's interface language has a code";
    EXPECT_EQ(expected, value);
}

TEST(VariableRules, LanguageCodes) {
    EXPECT_STREQ("US", LanguageCodeFor(0x0409));
    EXPECT_STREQ("US", LanguageCodeFor(0x0809));
    EXPECT_STREQ("GR", LanguageCodeFor(0x0407));
    EXPECT_STREQ("BR", LanguageCodeFor(0x0416));
    EXPECT_STREQ("PT", LanguageCodeFor(0x0816));
    EXPECT_STREQ("CH", LanguageCodeFor(0x0804));
    EXPECT_STREQ("TW", LanguageCodeFor(0x0404));
    EXPECT_STREQ("TW", LanguageCodeFor(0x0C04));
    EXPECT_STREQ("TW", LanguageCodeFor(0x1004));
    EXPECT_EQ(nullptr, LanguageCodeFor(0x1404));  // Chinese, Macao: none
    EXPECT_EQ(nullptr, LanguageCodeFor(0x0403));  // Catalan
    EXPECT_STREQ("SL", LanguageCodeFor(0x0424));
}

TEST(VariableRules, TemporaryNameUsesTheLastFiveDigits) {
    EXPECT_EQ("TMP00042", TemporaryFileName(42));
    EXPECT_EQ("TMP34567", TemporaryFileName(1234567));
}

TEST(VariableRules, TokenScan) {
    VariableToken token;
    ASSERT_TRUE(FindVariableToken("ab~%v012cd", 0, token));
    EXPECT_EQ(2u, token.position);
    EXPECT_EQ(TokenKind::Script, token.kind);
    EXPECT_EQ(12, token.number);
    EXPECT_TRUE(token.complete);
    EXPECT_FALSE(FindVariableToken("ab~%v012cd", 3, token));
    ASSERT_TRUE(FindVariableToken("~%Q", 0, token));
    EXPECT_EQ(TokenKind::Invalid, token.kind);
    ASSERT_TRUE(FindVariableToken("~%C1", 0, token));
    EXPECT_FALSE(token.complete);
    EXPECT_EQ(4u, token.length);
}

}  // namespace
