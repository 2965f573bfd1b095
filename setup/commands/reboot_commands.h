// The reboot request, the command that asks for it, and the privileges taken at
// start-up so that the run may restart the machine and use backup rights.
#pragma once

int CmdExitRebootSystem();  // 20

// Start-up: enables the shutdown, restore and backup privileges of the process
// token, on the NT platform only.
void EnablePrivileges();
