// Arguments of the running command: [Commands] "CmdSection%d.%d" at the cursor.
#pragma once
#include <cstddef>
#include <string>

// Reads argument k of the running command into the buffer (default empty), cut
// to the buffer like every profile read.
void ReadCommandArgument(int k, char *buffer, size_t capacity);
// As above, with the fallback for an absent argument.
void ReadCommandArgument(int k, char *buffer, size_t capacity, const char *fallback);
// Argument k read as a decimal integer, as the profile functions read numbers.
int ReadCommandArgumentInt(int k, int fallback);

// Copies a value into the buffer and expands its variable tokens there.
void CopyAndExpand(const char *value, char *buffer, size_t capacity);

// The list form of the file and INI commands: argument 0 names a section.
bool ArgumentIsListSection();
