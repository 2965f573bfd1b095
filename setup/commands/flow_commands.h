// Commands that steer the loop: run counter, cursor moves, reset, exit, jump.
#pragma once

int CmdRunCount();        // 5
int CmdDecCommand();      // 6
int CmdIncCommand();      // 7
int CmdResetRunState();   // 8
int CmdExit();            // 10
int CmdJumpToSection();   // 19
