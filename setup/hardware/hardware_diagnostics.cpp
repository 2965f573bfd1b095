#include "hardware_diagnostics.h"

#include <cstdarg>

static FILE *g_diagnostics = stdout;

void SetHardwareDiagnostics(FILE *stream) { g_diagnostics = stream; }

void PrintHardwareDiagnostic(const char *format, ...) {
    if (!g_diagnostics) return;
    va_list args;
    va_start(args, format);
    vfprintf(g_diagnostics, format, args);
    va_end(args);
    fflush(g_diagnostics);
}
