// Arguments of the running command, as the command section line gave them.
#pragma once
#include <cstddef>

// Argument k of the running command ([Commands] "CmdSection<cursor>.<k>") into
// the caller's buffer, cut to capacity - 1 characters like every profile read.
// An absent argument gives the fallback. Returns the number of characters read.
size_t ReadCommandArgument(int k, char *buffer, size_t capacity, const char *fallback = "");

template <size_t N> inline size_t ReadCommandArgument(int k, char (&buffer)[N], const char *fallback = "") {
    return ReadCommandArgument(k, buffer, N, fallback);
}

// Argument k read as a decimal integer, as the profile functions read numbers.
int ReadCommandArgumentInt(int k, int fallback);
