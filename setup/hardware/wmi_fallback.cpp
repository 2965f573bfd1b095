#include "wmi_fallback.h"

#include "../engine/install_log.h"
#include "inventory.h"

void RunWmiFallback(InventoryWriter &) {
    // Only the announcement so far: the instrumentation client comes with the
    // hardware-query library.
    LogMessage("Sleuth was unable to find SMBIOS.  Checking WMI");
}
