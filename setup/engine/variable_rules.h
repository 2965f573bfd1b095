// Plain rules of variable expansion: token scanning, the language code table and
// the temporary name. No I/O and no Windows headers.
#pragma once
#include <cstddef>
#include <string>

enum class TokenKind { Builtin, Script, Invalid };

// "~%" followed by a kind letter (C or V, either case) and three characters whose
// decimal conversion (blanks, sign, stop at the first non-digit) is the number.
struct VariableToken {
    size_t position = 0;  // of the "~"
    TokenKind kind = TokenKind::Invalid;
    int number = 0;
    size_t length = 0;      // 6, or fewer when the text ends inside the token
    bool complete = false;  // false when the text ends inside the token
};

// Finds the next "~%" at or after from. False when there is none.
bool FindVariableToken(const char *textValue, size_t from, VariableToken &token);

// The two-letter code for a user-interface language identifier, or null when the
// language has none.
const char *LanguageCodeFor(unsigned languageId);

// "TMP" and the last five decimal digits of the process id, most significant first.
std::string TemporaryFileName(unsigned long processId);
