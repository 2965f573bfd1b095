// How the profile functions turn a key's value into a number (GetPrivateProfileIntA),
// for tools that must read a script's numbers as kestrel will without calling
// Windows. No I/O and no Windows headers.
#pragma once
#include <cstddef>
#include <string>

// The number function reads the value into a buffer of this many characters:
// only the first kProfileNumberCapacity - 1 characters count.
inline constexpr size_t kProfileNumberCapacity = 30;

struct ProfileNumberReading {
    bool empty = false;     // no value: the caller's default was returned
    unsigned value = 0;     // what the function returns
    int base = 10;          // 2 after "0b", 8 after "0o", 16 after "0x" (lower case only)
    size_t digits = 0;      // digits taken; none reads as 0
    size_t end = 0;         // where reading stopped, in text
    bool wrapped = false;   // the digits overflowed 32 bits
    bool cut = false;       // the value is longer than the function's buffer
    std::string text;       // what the function reads: unquoted and cut
};

// The value is the key's text as it stands in the file (as a profile write put
// it there). Surrounding blanks and one pair of quotes go as the string read
// drops them, the rest is cut to the buffer. Leading characters up to the blank
// are skipped, one sign is taken, then the prefix; digits run up to
// the first character that is no digit of the base, letters counting as digits
// 10 to 35. The value wraps at 32 bits, a minus sign negates it.
ProfileNumberReading ReadProfileNumberText(const std::string &value, unsigned fallback = 0);

// Nothing follows the number but blanks or a ';' comment.
bool ReadsWhole(const ProfileNumberReading &reading);

// Empty when the value reads as it looks; otherwise what kestrel reads and why,
// to follow the value in a warning: "reads as 0: only a lower-case 0x ..." for
// 0X34, "reads as decimal 503 (0x01F7): ..." for 0503, "reads as 1: ..." for 1e3.
std::string ProfileNumberSurprise(const std::string &stored);

// The board ID as the branch on it reads [DATA] SYSID: its low 16 bits.
unsigned BoardIdFromText(const std::string &sysid);
