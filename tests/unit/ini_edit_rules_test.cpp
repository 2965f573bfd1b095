#include <gtest/gtest.h>

#include <string>

#include "commands/ini_edit_rules.h"

namespace {

TEST(SetValueLine, ValueKeepsItsCommasAndFieldsAreTrimmed) {
    ListLineFields fields;
    ASSERT_EQ(ListLineVerdict::Write, SplitSetValueLine("MySection , Key1 , some value, with comma", fields));
    EXPECT_STREQ("MySection", fields.first);
    EXPECT_STREQ("Key1", fields.second);
    EXPECT_STREQ("some value, with comma", fields.third);
    EXPECT_FALSE(fields.cut);
}

TEST(SetValueLine, MalformedLinesNameWhatTheWarningShows) {
    ListLineFields fields;
    EXPECT_EQ(ListLineVerdict::Comment, SplitSetValueLine(";Sect,Key,Value", fields));
    EXPECT_EQ(ListLineVerdict::MissingComma, SplitSetValueLine("NoCommaAtAll", fields));
    EXPECT_STREQ("NoCommaAtAll", fields.first);
    EXPECT_EQ(ListLineVerdict::MissingSecondComma, SplitSetValueLine("Sect,KeyOnly", fields));
    EXPECT_STREQ("Sect", fields.first);
    EXPECT_EQ(ListLineVerdict::NoSection, SplitSetValueLine(",Key,Value", fields));
    EXPECT_STREQ("", fields.first);
    EXPECT_EQ(ListLineVerdict::NoKey, SplitSetValueLine("Sect,,Value", fields));
    EXPECT_STREQ("Sect", fields.first);
}

TEST(SetValueLine, FieldsOfBlanksNameNothing) {
    ListLineFields fields;
    EXPECT_EQ(ListLineVerdict::NoSection, SplitSetValueLine("   ,Key,Value", fields));
    EXPECT_EQ(ListLineVerdict::NoKey, SplitSetValueLine("Sect, \t ,Value", fields));
}

TEST(SetValueLine, EmptyValueIsWritten) {
    ListLineFields fields;
    ASSERT_EQ(ListLineVerdict::Write, SplitSetValueLine("Sect,Key,", fields));
    EXPECT_STREQ("", fields.third);
}

TEST(SetValueLine, OverlongFieldsAreCutInsideTheirBuffers) {
    std::string longKey(2000, 'k');
    std::string longValue(3000, 'v');
    ListLineFields fields;
    ASSERT_EQ(ListLineVerdict::Write, SplitSetValueLine(("S," + longKey + "," + longValue).c_str(), fields));
    EXPECT_TRUE(fields.cut);
    EXPECT_EQ(std::string(511, 'k'), fields.second);
    EXPECT_EQ(std::string(511, 'v'), fields.third);

    ListLineFields plain;
    ASSERT_EQ(ListLineVerdict::MissingComma, SplitSetValueLine(longValue.c_str(), plain));
    EXPECT_TRUE(plain.cut);
    EXPECT_EQ(511u, std::string(plain.first).size());
}

TEST(SetVariableLine, ValueIsEverythingAfterTheFirstComma) {
    ListLineFields fields;
    ASSERT_EQ(ListLineVerdict::Write, SplitSetVariableLine(" V010 , a, b ,c ", fields));
    EXPECT_STREQ("V010", fields.first);
    EXPECT_STREQ("a, b ,c", fields.second);
}

TEST(SetVariableLine, MalformedLines) {
    ListLineFields fields;
    EXPECT_EQ(ListLineVerdict::Comment, SplitSetVariableLine(";V001,x", fields));
    EXPECT_EQ(ListLineVerdict::MissingComma, SplitSetVariableLine("V001", fields));
    EXPECT_EQ(ListLineVerdict::NoKey, SplitSetVariableLine(",value", fields));
    EXPECT_EQ(ListLineVerdict::NoKey, SplitSetVariableLine("  ,value", fields));
    ASSERT_EQ(ListLineVerdict::Write, SplitSetVariableLine("V001,", fields));
    EXPECT_STREQ("", fields.second);
}

TEST(RebootChoice, OnlyTrueAsksAndSuppressionRefuses) {
    EXPECT_EQ(RebootDecision::Reboot, DecideReboot("true", false));
    EXPECT_EQ(RebootDecision::Reboot, DecideReboot("TRUE", false));
    EXPECT_EQ(RebootDecision::Refused, DecideReboot("True", true));
    EXPECT_EQ(RebootDecision::NotAsked, DecideReboot("FALSE", false));
    EXPECT_EQ(RebootDecision::NotAsked, DecideReboot("yes", false));
    EXPECT_EQ(RebootDecision::NotAsked, DecideReboot(" TRUE", false));
    EXPECT_EQ(RebootDecision::NotAsked, DecideReboot("", true));
}

}  // namespace
