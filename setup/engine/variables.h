// Variable tokens in command arguments: ~%Cnnn built-in values and ~%Vnnn script
// variables from [Variables].
#pragma once
#include <cstddef>

// Expands every token of the text in place; capacity is the size of the caller's
// buffer. Returns the number of tokens met, replaced or not (0 when the first
// token has an invalid kind letter). A replacement that would not fit the buffer
// is not made: the token stays, with an error line.
int GetVariable(char *textValue, size_t capacity);

// Most replacements one call makes: a variable that refers back to itself stops here.
inline constexpr int kMaxReplacementsPerCall = 100;
