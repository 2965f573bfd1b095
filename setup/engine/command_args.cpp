#include "command_args.h"

#include <windows.h>

#include "bounded_text.h"
#include "run_state.h"
#include "variables.h"

void ReadCommandArgument(int k, char *buffer, size_t capacity) { ReadCommandArgument(k, buffer, capacity, ""); }

void ReadCommandArgument(int k, char *buffer, size_t capacity, const char *fallback) {
    char key[64];
    text::FormatBounded(key, sizeof key, "CmdSection%d.%d", g_run.commandCursor, k);
    GetPrivateProfileStringA("Commands", key, fallback, buffer, static_cast<DWORD>(capacity), g_run.scriptFile);
}

int ReadCommandArgumentInt(int k, int fallback) {
    char key[64];
    text::FormatBounded(key, sizeof key, "CmdSection%d.%d", g_run.commandCursor, k);
    return static_cast<int>(GetPrivateProfileIntA("Commands", key, fallback, g_run.scriptFile));
}

void CopyAndExpand(const char *value, char *buffer, size_t capacity) {
    text::CopyBounded(buffer, capacity, value);
    GetVariable(buffer, capacity);
}

bool ArgumentIsListSection() { return !text::EqualsNoCase(g_run.argumentSection, ""); }
