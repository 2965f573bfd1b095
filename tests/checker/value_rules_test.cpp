// Numbers as the profile functions read them, buffer limits, variable tokens.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdlib>

#include "checker_test_support.h"
#include "value_rules.h"

using namespace checker_test;
using check::ReadProfileNumber;

namespace {

TEST(ProfileNumbers, ReadLikeGetPrivateProfileInt) {
    EXPECT_EQ(16, ReadProfileNumber("0x10").value);
    EXPECT_EQ(12, ReadProfileNumber("12abc").value);
    EXPECT_FALSE(ReadProfileNumber("12abc").whole);
    EXPECT_TRUE(ReadProfileNumber("  7 ; comment").whole);
    EXPECT_EQ(-5, ReadProfileNumber("-5").value);
    EXPECT_EQ(15, ReadProfileNumber("4294967311").value);  // wraps at 32 bits
    EXPECT_FALSE(ReadProfileNumber("abc").isNumber);
    EXPECT_FALSE(ReadProfileNumber("").isNumber);
    EXPECT_FALSE(ReadProfileNumber("-").isNumber);
    EXPECT_EQ(0, ReadProfileNumber("0x").value);
}

// Fields that kestrel cuts out of a line itself go through strtol, base 10.
TEST(ProfileNumbers, LineFieldsReadAsStrtolReadsThem) {
    for (const char *text : {"2", " +3", "-4", "0x2", "0b1", "2abc", "99999999999", "-99999999999", "x"}) {
        const long long read = strtol(text, nullptr, 10);
        const int expected = static_cast<int>(std::max<long long>(std::min<long long>(read, INT_MAX), INT_MIN));
        EXPECT_EQ(expected, check::ReadDecimalNumber(text).value) << text;
    }
    EXPECT_FALSE(check::ReadDecimalNumber("x").isNumber);
}

TEST(BufferLimits, AValueOneLongerThanItsBufferHoldsIsReportedWithTheLimit) {
    check::Findings findings;
    EXPECT_TRUE(check::CheckFits(std::string(259, 'a'), 260, 3, "the path", findings));
    EXPECT_FALSE(check::CheckFits(std::string(260, 'a'), 260, 4, "the path", findings));
    ASSERT_EQ(1u, findings.All().size());
    EXPECT_EQ(4, findings.All()[0].line);
    EXPECT_EQ("the path is 260 characters long: the run reads at most 259 and cuts the rest",
              findings.All()[0].message);
}

struct TokenCase {
    const char *text;
    check::Severity severity;
    const char *part;
};

TEST(VariableTokens, EachMistakeIsReported) {
    const TokenCase cases[] = {
        {"~%X001\\a", kError, "kind letter other than C or V"},
        {"~%C050\\a", kError, "~%C050 is not a built-in variable"},
        {"~%V-01", kError, "outside V000 to V999"},
        {"C:\\~%V0", kError, "ends inside the variable token"},
        {"~%V1 rest", kWarning, "reads as number 1"},
        {"~%C000\\sub", kWarning, "'\\sub' after it is dropped"},
    };
    for (const TokenCase &c : cases) {
        SCOPED_TRACE(c.text);
        check::Findings findings;
        check::CheckVariableTokens(c.text, 9, findings, nullptr);
        ASSERT_EQ(1u, findings.All().size());
        EXPECT_EQ(c.severity, findings.All()[0].severity);
        EXPECT_NE(std::string::npos, findings.All()[0].message.find(c.part)) << findings.All()[0].message;
    }
}

TEST(VariableTokens, GoodTokensPassAndScriptVariablesAreCollected) {
    check::Findings findings;
    std::vector<check::VariableUse> uses;
    check::CheckVariableTokens("~%C101\\system.ini ~%c001 ~%V003 ~%v999 ~%C000", 2, findings, &uses);
    EXPECT_TRUE(findings.All().empty());
    // ~%C000 stores its value in V000: it counts as setting it.
    ASSERT_EQ(3u, uses.size());
    EXPECT_EQ(3, uses[0].number);
    EXPECT_EQ(999, uses[1].number);
    EXPECT_FALSE(uses[1].sets);
    EXPECT_EQ(0, uses[2].number);
    EXPECT_TRUE(uses[2].sets);
}

TEST(VariableTokens, ABadKindLetterStopsTheScanLikeTheRun) {
    // The run stops expanding at the bad token, so the one after it is not seen.
    check::Findings findings;
    check::CheckVariableTokens("~%Q001 ~%C050", 1, findings, nullptr);
    EXPECT_EQ(1u, findings.All().size());
}

TEST(VariableKeys, OnlyVAndThreeDigitsIsAVariableKey) {
    EXPECT_EQ(7, check::VariableNumberOfKey("V007"));
    EXPECT_EQ(7, check::VariableNumberOfKey("v007"));
    EXPECT_EQ(-1, check::VariableNumberOfKey("V7"));
    EXPECT_EQ(-1, check::VariableNumberOfKey("MyVar"));
    EXPECT_EQ("V042", check::VariableKey(42));
}

}  // namespace
