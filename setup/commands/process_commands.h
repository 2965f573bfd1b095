// Commands that start programs, pause the run and ask the user with message boxes.
#pragma once

int CmdSpawnProgram();       // 11
int CmdSleep();              // 13
int CmdDisplayMessageBox();  // 17
