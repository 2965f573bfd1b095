// Rules over single values: profile numbers, buffer limits and variable tokens.
#pragma once
#include <string>
#include <vector>

#include "findings.h"

namespace check {

// How GetPrivateProfileIntA reads a value as it stands in the file (the engine's
// profile number rules): a text that starts with no digit reads as 0.
struct ProfileNumber {
    bool isNumber = false;  // starts with a number
    bool whole = false;     // nothing follows it but blanks or a ';' comment
    int value = 0;
};
ProfileNumber ReadProfileNumber(const std::string &textValue);

// The fields kestrel splits out of a line itself and reads as decimal numbers
// (strtol): blanks, a sign, decimal digits; no prefix is a base.
ProfileNumber ReadDecimalNumber(const std::string &textValue);

// A value read into a buffer of capacity characters keeps capacity - 1 of them.
// Reports an error naming what is cut; true when the value fits.
bool CheckFits(const std::string &value, size_t capacity, int line, const std::string &what, Findings &findings);

// A use of a script variable (~%Vnnn) and where it was met.
struct VariableUse {
    int number = 0;
    int line = 0;
    bool sets = false;  // ~%C000 stores its value in V000
};

// The built-in values of ~%C tokens.
bool IsBuiltinVariable(int number);

// Checks the tokens of a text that the run expands. Script variables used are
// added to uses when it is given.
void CheckVariableTokens(const std::string &textValue, int line, Findings &findings, std::vector<VariableUse> *uses);

// True when the text holds "~%": a token, or something meant as one.
bool HoldsToken(const std::string &textValue);

// The [Variables] key a ~%V token of this number reads ("V007"); -1 from
// VariableNumberOfKey for a key no token can read.
std::string VariableKey(int number);
int VariableNumberOfKey(const std::string &key);

}  // namespace check
