// Commands that choose the next command section from facts about the machine:
// the maker mark, the Windows version, the board ID, the power management and
// WOW64; and the two that switch WOW64 file-system redirection.
#pragma once

int CmdBranchOnIsNorvik();
int CmdBranchOnOS();
int CmdBranchOnSystemID();
// 3 when its work buffer cannot be had, else 0.
int CmdBranchOnPowerManagement();
int CmdBranchOnWow64();

// 1 when the system switched redirection, -1 when it refused, 0 when nothing was
// done (not a WOW64 process, or no such switch). The setting holds for the rest
// of the run.
int CmdEnableWow64FSRedirection(int enable);
// A run cut off after 37 switched redirection off: the resumed run switches it
// off again before its first command ([State] Wow64FsRedirection=0).
void ReapplyWow64Redirection();
int CmdWow64FsRedirectionOn();
int CmdWow64FsRedirectionOff();
