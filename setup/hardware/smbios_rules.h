// The inventory's plain rules: the maker test, the system ID, the UUID text and
// the SMBIOS code names. No I/O, no Windows headers.
#pragma once
#include <cstddef>
#include <cstdint>

// "NORVIK" (any case), or a text that begins with "Talberg" (any case). Null: false.
bool MakerTest(const char *textValue);

// The four-character board identifier from the baseboard product text: "0x" and
// its first four characters when it holds an h or H anywhere (0A7Ch gives
// 0x0A7C), else its first four characters. Cut to the buffer.
void SystemIdFromProduct(const char *product, char *systemId, size_t capacity);

// The 16 UUID bytes in storage order, each as lower-case hexadecimal without a
// leading zero, the whole cut to 17 characters.
void UuidText(const uint8_t bytes[16], char *out, size_t capacity);

// Code names; values outside each table give "Undefined".
const char *WakeTypeName(unsigned value);
const char *ChassisTypeName(unsigned value);
bool ChassisIsPortable(unsigned value);
const char *StateName(unsigned value);
const char *SecurityStatusName(unsigned value);
