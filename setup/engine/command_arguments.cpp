#include "command_arguments.h"

#include <windows.h>

#include "bounded_text.h"
#include "run_state.h"

size_t ReadCommandArgument(int k, char *buffer, size_t capacity, const char *fallback) {
    if (!buffer || capacity == 0) return 0;
    char key[64];
    text::FormatBounded(key, sizeof key, "CmdSection%d.%d", g_run.commandCursor, k);
    // The profile functions take a DWORD size; no buffer here comes near it.
    return GetPrivateProfileStringA("Commands", key, fallback ? fallback : "", buffer, static_cast<DWORD>(capacity),
                                    g_run.scriptFile);
}

int ReadCommandArgumentInt(int k, int fallback) {
    char key[64];
    text::FormatBounded(key, sizeof key, "CmdSection%d.%d", g_run.commandCursor, k);
    return static_cast<int>(GetPrivateProfileIntA("Commands", key, fallback, g_run.scriptFile));
}
