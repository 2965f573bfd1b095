// The inventory of a machine whose SMBIOS table cannot be reached: asked of the
// operating system's management instrumentation.
#pragma once

class InventoryWriter;

void RunWmiFallback(InventoryWriter &writer);
