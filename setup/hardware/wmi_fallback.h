// The inventory of a machine whose SMBIOS table cannot be reached: asked of the
// operating system's management instrumentation through HwQuery.dll.
#pragma once
#include <cstddef>

class InventoryWriter;

// Writes the instrumentation's keys. False, with nothing written, when the
// hardware-query library cannot be loaded.
bool RunWmiFallback(InventoryWriter &writer);

// The wide text in the ANSI code page, cut to the buffer when it does not fit.
void WideToAnsi(const wchar_t *wide, char *ansi, size_t capacity);
