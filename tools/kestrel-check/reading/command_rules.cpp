#include "command_rules.h"

namespace check {

namespace {

constexpr CommandShape S_None = CommandShape::NoArguments;

const KeyRule kAddLinkKeys[] = {{"AddLinkFile", 512, false}};
const KeyRule kDeleteLinkKeys[] = {{"DeleteLinkFile", 512, false}};
const KeyRule kRegistryKeys[] = {
    {"RegHive", 512, false}, {"RegKey", 512, false},      {"RegValue", 512, false},
    {"RegData", 512, true},  {"RegDataType", 512, false},
};
const KeyRule kSpawnKeys[] = {{"Program", 260, true}, {"WaitToExit", 32, false}};

const Outcome kMakerOutcomes[] = {{0, "a machine of the maker"}, {1, "any other machine"}};
const Outcome kOsOutcomes[] = {
    {0, "a system not listed"},
    {1, "Windows 95"},
    {2, "Windows 98"},
    {3, "Windows NT 4.0"},
    {4, "Windows 2000"},
    {5, "Windows XP or Server 2003"},
    {6, "Windows Vista or Server 2008"},
};
const Outcome kJumpOutcomes[] = {{0, "the jump"}};
const Outcome kSystemIdOutcomes[] = {{1, "an ID in the list"}, {2, "an ID not in the list"}};
const Outcome kPowerOutcomes[] = {
    {0, "a system other than Windows 98"}, {1, "Windows 98 with APM"}, {2, "Windows 98 with ACPI"}};
const Outcome kWow64Outcomes[] = {{0, "a process not under WOW64"}, {1, "a 32-bit process under WOW64"}};

const BranchRule kMakerBranch = {kMakerOutcomes, 2, false};
const BranchRule kOsBranch = {kOsOutcomes, 7, false};
const BranchRule kJump = {kJumpOutcomes, 1, true};
const BranchRule kSystemIdBranch = {kSystemIdOutcomes, 2, true};
const BranchRule kPowerBranch = {kPowerOutcomes, 3, false};
const BranchRule kWow64Branch = {kWow64Outcomes, 2, false};

const FileRule kCopyFile = {2, {512, 512}, ListLine::Pair, {260, 512}, true, false};
const FileRule kDeleteFile = {1, {260, 0}, ListLine::Path, {260, 0}, true, true};
const FileRule kMakeDir = {1, {256, 0}, ListLine::Path, {260, 0}, false, true};
const FileRule kRenameFile = {2, {260, 260}, ListLine::Pair, {260, 260}, true, false};

CommandRule Keys(const char *name, CommandShape shape, const KeyRule *keys, size_t count) {
    CommandRule rule{name, shape};
    rule.keys = keys;
    rule.keyCount = count;
    return rule;
}
CommandRule Branches(const char *name, CommandShape shape, const BranchRule &branch) {
    CommandRule rule{name, shape};
    rule.branch = &branch;
    return rule;
}
CommandRule Files(const char *name, const FileRule &file) {
    CommandRule rule{name, CommandShape::FileCommand};
    rule.file = &file;
    return rule;
}
CommandRule Data(const char *name, const char *key) {
    CommandRule rule{name, CommandShape::FromData};
    rule.dataKey = key;
    return rule;
}

// Indexed by command number.
const CommandRule kRules[kLastCommandNumber + 1] = {
    /*  0 */ {"CMD00", CommandShape::EndOfSection},
    /*  1 */ Keys("CMD01_Copy_Lnk2StartF_W2000", CommandShape::LinkFile, kAddLinkKeys, 1),
    /*  2 */ Keys("CMD02_DEL_LnkInStartF_W2000", CommandShape::LinkFile, kDeleteLinkKeys, 1),
    /*  3 */ Keys("CMD03_Add single Reg Value", CommandShape::Registry, kRegistryKeys, 5),
    /*  4 */ Keys("CMD04_Remove single Reg Value", CommandShape::Registry, kRegistryKeys, 5),
    /*  5 */ Data("CMD05_IncRunningCounter", "RunCount"),
    /*  6 */ Data("CMD06_DecCmdIndex", "DecCommand"),
    /*  7 */ Data("CMD07_IncCmdIndex", "IncCommand"),
    /*  8 */ {"CMD08_ResetCmdIndex", S_None},
    /*  9 */ Branches("CMD09_BranchOnIsNorvik", CommandShape::Branch, kMakerBranch),
    /* 10 */ {"CMD10_Exit", S_None},
    /* 11 */ Keys("CMD11_SpawnProgram", CommandShape::Spawn, kSpawnKeys, 2),
    /* 12 */ Keys("CMD12_RemoveSingleRegKey", CommandShape::Registry, kRegistryKeys, 5),
    /* 13 */ {"CMD13_Sleep", CommandShape::Sleep},
    /* 14 */ {"CMD14_MultiRegEdit", CommandShape::RegistryList},
    /* 15 */ Files("CMD15_CopyFile", kCopyFile),
    /* 16 */ Files("CMD16_DeleteFileOrDir", kDeleteFile),
    /* 17 */ {"CMD17_DisplayMessageBox", CommandShape::MessageBox},
    /* 18 */ Branches("CMD18_BranchOnOS", CommandShape::Branch, kOsBranch),
    /* 19 */ Branches("CMD19_JumpToNextSection", CommandShape::Branch, kJump),
    /* 20 */ {"CMD20_ExitRebootSystem", S_None},
    /* 21 */ Files("CMD21_MakeDir", kMakeDir),
    /* 22 */ {"CMD22_DisplayWindow", CommandShape::Unsupported},
    /* 23 */ {"CMD23_MergeINIFile", CommandShape::Unsupported},
    /* 24 */ {"CMD24_ControlOsShutdown", CommandShape::Unsupported},
    /* 25 */ Branches("CMD25_BranchOnSystemID", CommandShape::SystemIdBranch, kSystemIdBranch),
    /* 26 */ {"CMD26_SetValue", CommandShape::SetValue},
    /* 27 */ {"CMD27_SetVariable", CommandShape::SetVariable},
    /* 28 */ {"CMD28_AppendINIFile", CommandShape::AppendFile},
    /* 29 */ {"CMD29_ExitAndDeleteINIFile", CommandShape::ExitAndDelete},
    /* 30 */ Branches("CMD30_BranchOnPowerManagement", CommandShape::Branch, kPowerBranch),
    /* 31 */ Files("CMD31_RenameFile", kRenameFile),
    /* 32 */ {"CMD32_LogMsg", CommandShape::LogMessage},
    /* 33 */ {"CMD33_", S_None},
    /* 34 */ {"CMD34_", CommandShape::Unsupported},
    /* 35 */ {"CMD35_", CommandShape::Unsupported},
    /* 36 */ {"CMD36_Wow64FsRedirectionOn", S_None},
    /* 37 */ {"CMD37_Wow64FsRedirectionOff", S_None},
    /* 38 */ Branches("CMD38_BranchOnWow64", CommandShape::Branch, kWow64Branch),
};

}  // namespace

const CommandRule *FindCommandRule(int number) {
    if (number < 0 || number > kLastCommandNumber) return nullptr;
    return &kRules[number];
}

}  // namespace check
