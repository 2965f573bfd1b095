// The maker test, the system ID, the UUID text and the code-name tables.
#include <gtest/gtest.h>

#include <string>

#include "hardware/smbios_rules.h"

namespace {

TEST(MakerTest, NorvikWholeAndTalbergAsFirstWord) {
    for (const char *yes : {"Norvik", "NORVIK", "norvik", "Talberg-Corp", "TALBERG", "talberg", "Talberg Systems"})
        EXPECT_TRUE(MakerTest(yes)) << yes;
    for (const char *no : {"NORVIK Inc", "Norvi", " Norvik", "Talber", "The Talberg", "", "Acme"})
        EXPECT_FALSE(MakerTest(no)) << no;
    EXPECT_FALSE(MakerTest(nullptr));
}

std::string SystemId(const char *product, size_t capacity = 32) {
    char id[32] = "unchanged";
    SystemIdFromProduct(product, id, capacity);
    return id;
}

TEST(SystemIdRule, AnHAnywhereMarksTheFirstFourCharactersAsHexadecimal) {
    EXPECT_EQ("0x0A7C", SystemId("0A7Ch"));
    EXPECT_EQ("0x0A7C", SystemId("0A7CH"));
    EXPECT_EQ("08B4", SystemId("08B4"));
    EXPECT_EQ("0xhx48", SystemId("hx4800"));
    EXPECT_EQ("Main", SystemId("Main Board"));
    EXPECT_EQ("0xAh", SystemId("Ah"));
    EXPECT_EQ("AB", SystemId("AB"));
    EXPECT_EQ("", SystemId(""));
    EXPECT_EQ("", SystemId(nullptr));
    // Cut to the buffer, never past it.
    EXPECT_EQ("0x0", SystemId("0A7Ch", 4));
}

std::string Uuid(std::initializer_list<uint8_t> bytes) {
    uint8_t raw[16] = {};
    size_t i = 0;
    for (uint8_t b : bytes) raw[i++] = b;
    char out[32];
    UuidText(raw, out, sizeof out);
    return out;
}

TEST(UuidRule, BytesWithoutLeadingZerosCutToSeventeenCharacters) {
    EXPECT_EQ("0000000000000000", Uuid({}));
    EXPECT_EQ("123456789abcdef10", Uuid({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16}));
    EXPECT_EQ(std::string(17, 'f'), Uuid({0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
                                          0xFF, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ("000000000000000ff", Uuid({0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF}));
    char small[5];
    uint8_t raw[16] = {0xAB, 0xCD, 0xEF};
    UuidText(raw, small, sizeof small);
    EXPECT_STREQ("abcd", small);
}

TEST(CodeNames, TheEndsOfEachTable) {
    EXPECT_STREQ("AC Power Restored", WakeTypeName(8));
    EXPECT_STREQ("Undefined", WakeTypeName(9));
    EXPECT_STREQ("Reserved", ChassisTypeName(0));
    EXPECT_STREQ("Sealed-case PC", ChassisTypeName(24));
    EXPECT_STREQ("Undefined", ChassisTypeName(25));
    EXPECT_STREQ("Undefined", ChassisTypeName(127));
    EXPECT_STREQ("Reserved?", StateName(0));
    EXPECT_STREQ("Non-recoverable", StateName(6));
    EXPECT_STREQ("Undefined", StateName(7));
    EXPECT_STREQ("External interface enabled", SecurityStatusName(5));
    EXPECT_STREQ("Undefined", SecurityStatusName(6));
}

}  // namespace
