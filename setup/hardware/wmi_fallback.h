// The inventory of a machine whose SMBIOS table cannot be reached: asked of the
// operating system's management instrumentation through HwQuery.dll.
#pragma once
#include <cstddef>

class InventoryWriter;

// How long the whole fallback may take, connection included: a service that
// does not answer must not keep an unattended run from its first command.
inline constexpr unsigned long kWmiFallbackBoundMs = 60000;

// Writes the instrumentation's keys. False, with nothing written, when the
// hardware-query library cannot be loaded. When the library has not answered
// everything within the bound, the keys read so far stay, a line says so, and
// the rest is not waited for.
bool RunWmiFallback(InventoryWriter &writer, unsigned long boundMs = kWmiFallbackBoundMs);

// The wide text in the ANSI code page, cut to the buffer when it does not fit.
void WideToAnsi(const wchar_t *wide, char *ansi, size_t capacity);
