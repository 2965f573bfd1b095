// The plain rules of the registry commands: root names, type codes, the two data
// conversions, the action-line split and the display text.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "commands/registry_rules.h"

namespace {

using Bytes = std::vector<unsigned char>;

Bytes TextBytes(const std::string &textValue, bool terminator) {
    Bytes bytes(textValue.begin(), textValue.end());
    if (terminator) bytes.push_back(0);
    return bytes;
}

TEST(RegistryRootKeys, EachCommandKnowsOnlyItsOwnFormOfTheName) {
    RootKey key = RootKey::ClassesRoot;
    EXPECT_TRUE(RootKeyFromName("hkey_current_config", key));
    EXPECT_EQ(RootKey::CurrentConfig, key);
    EXPECT_TRUE(RootKeyFromAbbreviation("HkU", key));
    EXPECT_EQ(RootKey::Users, key);
    EXPECT_TRUE(RootKeyFromAbbreviation("HKDD", key));
    EXPECT_EQ(RootKey::DynData, key);
    for (const char *other : {"", "HKLM ", "HKEY_LOCAL", "HKEY_LOCAL_MACHINE\\", "HK"}) {
        EXPECT_FALSE(RootKeyFromName(other, key)) << other;
        EXPECT_FALSE(RootKeyFromAbbreviation(other, key)) << other;
    }
    EXPECT_FALSE(RootKeyFromName("HKCU", key));
    EXPECT_FALSE(RootKeyFromAbbreviation("HKEY_CURRENT_USER", key));
    EXPECT_FALSE(RootKeyFromName(nullptr, key));
}

TEST(RegistryData, SingleCommandWritesTheCharactersThemselves) {
    RegistryData dword = SingleCommandData(2, "1234");
    EXPECT_EQ(kRegDword, dword.type);
    EXPECT_EQ(TextBytes("1234", false), dword.bytes);
    RegistryData binary = SingleCommandData(1, "0A0B0C");
    EXPECT_EQ(kRegBinary, binary.type);
    EXPECT_EQ(TextBytes("0A0B0C", false), binary.bytes);
    EXPECT_TRUE(SingleCommandData(1, "").bytes.empty());
    EXPECT_EQ(TextBytes("%TEMP%\\x", true), SingleCommandData(3, "%TEMP%\\x").bytes);
    // A multi-string gets one terminator only: the single string as written.
    RegistryData multi = SingleCommandData(4, "one");
    EXPECT_EQ(kRegMultiSz, multi.type);
    EXPECT_EQ(TextBytes("one", true), multi.bytes);
    EXPECT_EQ(TextBytes("", true), SingleCommandData(0, nullptr).bytes);
    for (int code : {5, -1, 2147483647}) EXPECT_EQ(kRegSz, SingleCommandData(code, "x").type) << code;
}

TEST(RegistryData, ListCommandReadsDwordsAsHexadecimal) {
    HexNotes notes;
    char upper[] = "0000000F";
    EXPECT_EQ((Bytes{15, 0, 0, 0}), ListCommandData(2, upper, notes).bytes);
    char lower[] = "0f";
    RegistryData dword = ListCommandData(2, lower, notes);
    EXPECT_EQ(kRegDword, dword.type);
    EXPECT_EQ((Bytes{15, 0, 0, 0}), dword.bytes);
    EXPECT_STREQ("0F", lower);  // upper-cased in place
    EXPECT_FALSE(notes.oddDigit || notes.notHexDigit || notes.digitsDropped);

    char single[] = "f";  // digit by digit: an odd count is a whole number
    EXPECT_EQ((Bytes{15, 0, 0, 0}), ListCommandData(2, single, notes).bytes);
    EXPECT_FALSE(notes.oddDigit);

    char nine[] = "123456789";
    EXPECT_EQ((Bytes{0x89, 0x67, 0x45, 0x23}), ListCommandData(2, nine, notes).bytes);
    EXPECT_TRUE(notes.digitsDropped);

    char prefixed[] = "0x1G";
    EXPECT_EQ((Bytes{0x10, 0, 0, 0}), ListCommandData(2, prefixed, notes).bytes);
    EXPECT_TRUE(notes.notHexDigit);

    char empty[] = "";
    EXPECT_EQ((Bytes{0, 0, 0, 0}), ListCommandData(2, empty, notes).bytes);
}

TEST(RegistryData, ListCommandReadsBinaryAsDigitPairs) {
    HexNotes notes;
    char three[] = "0a0B0c";
    RegistryData binary = ListCommandData(1, three, notes);
    EXPECT_EQ(kRegBinary, binary.type);
    EXPECT_EQ((Bytes{0x0A, 0x0B, 0x0C}), binary.bytes);
    EXPECT_FALSE(notes.oddDigit);

    // The last single digit has no partner: left out, reported, and the
    // terminator after it is never read as a digit.
    char odd[] = "ABCDE";
    EXPECT_EQ((Bytes{0xAB, 0xCD}), ListCommandData(1, odd, notes).bytes);
    EXPECT_TRUE(notes.oddDigit);
    char one[] = "7";
    EXPECT_TRUE(ListCommandData(1, one, notes).bytes.empty());
    EXPECT_TRUE(notes.oddDigit);

    char spaced[] = "0A 0B";
    EXPECT_EQ((Bytes{0x0A, 0x00}), ListCommandData(1, spaced, notes).bytes);
    EXPECT_TRUE(notes.notHexDigit && notes.oddDigit);
}

TEST(RegistryData, SizeLineShowsConvertedBytesUpToTheFirstZero) {
    HexNotes notes;
    char binary[] = "410A4200";
    RegistryData converted = ListCommandData(1, binary, notes);
    EXPECT_EQ("A B", DataShownAsText(1, converted, binary));  // a line feed would split the log line
    EXPECT_EQ(0u, UnreadDataLength(1, binary));

    char stops[] = "41004200";
    converted = ListCommandData(1, stops, notes);
    EXPECT_EQ("A", DataShownAsText(1, converted, stops));

    char dword[] = "00004241";
    converted = ListCommandData(2, dword, notes);
    EXPECT_EQ("AB", DataShownAsText(2, converted, dword));
    EXPECT_EQ(0u, UnreadDataLength(2, dword));

    char textValue[] = "hello";
    converted = ListCommandData(0, textValue, notes);
    EXPECT_EQ("hello", DataShownAsText(0, converted, textValue));
    EXPECT_EQ(5u, UnreadDataLength(0, textValue));
}

TEST(RegistryDisplayText, IsCutInsideItsBuffer) {
    char display[512];
    EXPECT_EQ(std::strlen("HKEY_CURRENT_USER\\Software\\X\\Name:<1234>"),
              BuildRegistryDisplayText(display, sizeof display, "HKEY_CURRENT_USER", "Software\\X", "Name", "1234"));
    EXPECT_STREQ("HKEY_CURRENT_USER\\Software\\X\\Name:<1234>", display);

    // Four parts of 511 characters each, as the single command may read them.
    const std::string part(511, 'p');
    char guarded[512 + 16];
    std::memset(guarded, '#', sizeof guarded);
    size_t full = BuildRegistryDisplayText(guarded, 512, part.c_str(), part.c_str(), part.c_str(), part.c_str());
    EXPECT_EQ(4 * 511 + 5u, full);
    EXPECT_EQ(511u, std::strlen(guarded));
    for (size_t i = 512; i < sizeof guarded; ++i) EXPECT_EQ('#', guarded[i]) << i;
}

TEST(ActionLines, SixFieldsAreCutAndTrimmed) {
    char line[] = "1, HKLM , SOFTWARE\\X ,\tFlag , 2 , a,b, c ";
    ActionLine fields;
    ASSERT_EQ(MissingField::None, SplitActionLine(line, fields));
    EXPECT_EQ(1, fields.action);
    EXPECT_STREQ("1", fields.actionText);
    EXPECT_STREQ("HKLM", fields.root);
    EXPECT_STREQ("SOFTWARE\\X", fields.key);
    EXPECT_STREQ("Flag", fields.valueName);
    EXPECT_EQ(2, fields.dataTypeCode);
    EXPECT_STREQ("a,b, c", fields.data);  // the data keeps its commas

    char empty[] = "2,HKCU,Software\\Old,,0,";
    ASSERT_EQ(MissingField::None, SplitActionLine(empty, fields));
    EXPECT_EQ(2, fields.action);
    EXPECT_STREQ("", fields.valueName);
    EXPECT_STREQ("", fields.data);

    char numbers[] = " 3x,HKCU,K,V,type,d";
    ASSERT_EQ(MissingField::None, SplitActionLine(numbers, fields));
    EXPECT_EQ(3, fields.action);
    EXPECT_EQ(0, fields.dataTypeCode);

    char huge[] = "99999999999,HKCU,K,V,-99999999999,d";
    ASSERT_EQ(MissingField::None, SplitActionLine(huge, fields));
    EXPECT_EQ(2147483647, fields.action);
    EXPECT_EQ(-2147483647 - 1, fields.dataTypeCode);
}

TEST(ActionLines, TheFirstMissingFieldNamesTheNotice) {
    const struct {
        const char *line;
        MissingField missing;
        const char *notice;
    } rows[] = {
        {"1", MissingField::Root, "NOTICE:Root Key not defined in line ->"},
        {"", MissingField::Root, "NOTICE:Root Key not defined in line ->"},
        {"1,HKLM", MissingField::Key, "NOTICE:Key not defined in line ->"},
        {"1,HKLM,Key", MissingField::ValueName, "NOTICE:Value name not defined in line ->"},
        {"1,HKLM,Key,Name", MissingField::DataType, "NOTICE:Data type not defined in line ->"},
        {"1,HKLM,Key,Name,2", MissingField::Data, "NOTICE:Data not defined in line ->"},
    };
    for (const auto &row : rows) {
        std::string copy = row.line;
        ActionLine fields;
        EXPECT_EQ(row.missing, SplitActionLine(&copy[0], fields)) << row.line;
        EXPECT_STREQ(row.notice, MissingFieldNotice(row.missing)) << row.line;
    }
    EXPECT_EQ(nullptr, MissingFieldNotice(MissingField::None));
}

}  // namespace
