// Diagnostic lines of the physical-memory and SMBIOS readers. kestrel is a GUI
// program, so they normally go nowhere; the inventory tool sends them to its
// error stream. No Windows headers here.
#pragma once
#include <cstdio>

// Where the lines go (standard output until changed; null: nowhere).
void SetHardwareDiagnostics(FILE *stream);
void PrintHardwareDiagnostic(const char *format, ...) __attribute__((format(gnu_printf, 1, 2)));
