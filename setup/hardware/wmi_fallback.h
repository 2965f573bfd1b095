// The inventory of a machine whose SMBIOS table cannot be reached: asked of the
// operating system's management instrumentation through HwQuery.dll.
#pragma once

class InventoryWriter;

// Writes the instrumentation's keys. False, with nothing written, when the
// hardware-query library cannot be loaded.
bool RunWmiFallback(InventoryWriter &writer);
