#include "command_table.h"

#include "commands/file_commands.h"
#include "commands/flow_commands.h"
#include "commands/ini_commands.h"
#include "commands/process_commands.h"
#include "commands/reboot_commands.h"
#include "commands/registry_commands.h"
#include "hardware/branch_commands.h"
#include "install_log.h"
#include "run_state.h"

int CmdNotSupported() {
    LogLine("", " Not Supported yet.");
    return 0;
}

int CmdLogMessage() {
    LogLine("", g_run.argumentSection);
    return 0;
}

int CmdDoNothing() { return 0; }

namespace {
constexpr AfterCommand A = AfterCommand::Advance;
constexpr bool kWritesScript = true;

// Indexed by command number. Numbers 36 to 38 have handlers but no name of their
// own in the table; the log shows the names below for them. kestrel's own writes
// to the working copy mark it changed; a program started by 11 may edit it too,
// within the time stamp's grain, so 11 always counts as writing it.
const CommandRow kCommandTable[kLastCommandNumber + 1] = {
    /*  0 */ {"CMD00", nullptr, false, AfterCommand::EndOfSection},
    /*  1 */ {"CMD01_Copy_Lnk2StartF_W2000", CmdAddLinkFile, false, A},
    /*  2 */ {"CMD02_DEL_LnkInStartF_W2000", CmdDeleteLinkFile, false, A},
    /*  3 */ {"CMD03_Add single Reg Value", CmdSingleRegistryEdit, false, A},
    /*  4 */ {"CMD04_Remove single Reg Value", CmdSingleRegistryEdit, false, A},
    /*  5 */ {"CMD05_IncRunningCounter", CmdRunCount, true, A},
    /*  6 */ {"CMD06_DecCmdIndex", CmdDecCommand, true, A},
    /*  7 */ {"CMD07_IncCmdIndex", CmdIncCommand, true, A},
    /*  8 */ {"CMD08_ResetCmdIndex", CmdResetRunState, false, AfterCommand::StopAtOnce},
    /*  9 */ {"CMD09_BranchOnIsNorvik", CmdBranchOnIsNorvik, false, A},
    /* 10 */ {"CMD10_Exit", CmdExit, false, AfterCommand::AdvanceThenStop},
    /* 11 */ {"CMD11_SpawnProgram", CmdSpawnProgram, false, A, kWritesScript},
    /* 12 */ {"CMD12_RemoveSingleRegKey", CmdSingleRegistryEdit, false, A},
    /* 13 */ {"CMD13_Sleep", CmdSleep, false, A},
    /* 14 */ {"CMD14_MultiRegEdit", CmdMultiRegEdit, false, A},
    /* 15 */ {"CMD15_CopyFile", CmdCopyFile, false, A},
    /* 16 */ {"CMD16_DeleteFileOrDir", CmdDeleteFileOrDir, false, A},
    /* 17 */ {"CMD17_DisplayMessageBox", CmdDisplayMessageBox, false, A},
    /* 18 */ {"CMD18_BranchOnOS", CmdBranchOnOS, false, A},
    /* 19 */ {"CMD19_JumpToNextSection", CmdJumpToSection, false, A},
    /* 20 */ {"CMD20_ExitRebootSystem", CmdExitRebootSystem, false, AfterCommand::AdvanceThenStop},
    /* 21 */ {"CMD21_MakeDir", CmdMakeDir, false, A},
    /* 22 */ {"CMD22_DisplayWindow", CmdNotSupported, false, A},
    /* 23 */ {"CMD23_MergeINIFile", CmdNotSupported, false, A},
    /* 24 */ {"CMD24_ControlOsShutdown", CmdNotSupported, false, A},
    /* 25 */ {"CMD25_BranchOnSystemID", CmdBranchOnSystemID, false, A},
    /* 26 */ {"CMD26_SetValue", CmdSetValue, false, A},
    /* 27 */ {"CMD27_SetVariable", CmdSetVariable, false, A},
    /* 28 */ {"CMD28_AppendINIFile", CmdAppendINIFile, false, A},
    /* 29 */ {"CMD29_ExitAndDeleteINIFile", CmdExitAndDeleteINIFile, false, AfterCommand::StopAtOnce},
    /* 30 */ {"CMD30_BranchOnPowerManagement", CmdBranchOnPowerManagement, false, A},
    /* 31 */ {"CMD31_RenameFile", CmdRenameFile, false, A},
    /* 32 */ {"CMD32_LogMsg", CmdLogMessage, false, A},
    /* 33 */ {"CMD33_", CmdDoNothing, false, A},
    /* 34 */ {"CMD34_", CmdNotSupported, false, A},
    /* 35 */ {"CMD35_", CmdNotSupported, false, A},
    /* 36 */ {"CMD36_Wow64FsRedirectionOn", CmdWow64FsRedirectionOn, false, A},
    /* 37 */ {"CMD37_Wow64FsRedirectionOff", CmdWow64FsRedirectionOff, false, A},
    /* 38 */ {"CMD38_BranchOnWow64", CmdBranchOnWow64, false, A},
};
}  // namespace

const CommandRow *FindCommand(int number) {
    if (number < 0 || number > kLastCommandNumber) return nullptr;
    return &kCommandTable[number];
}

const char *CommandDisplayName(int number) {
    const CommandRow *row = FindCommand(number);
    return row ? row->name : "CMD_NotDefined";
}
