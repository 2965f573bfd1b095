#include "script_guard.h"

#include <windows.h>

#include "install_log.h"
#include "run_state.h"
#include "win_owners.h"

std::string ScriptBackupPath(const char *workingCopy) { return std::string(workingCopy) + ".kbak"; }
std::string ScriptWriteMarkPath(const char *workingCopy) { return std::string(workingCopy) + ".kwrite"; }

static bool Exists(const std::string &path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

bool ReplaceFileWhole(const char *source, const char *target) {
    std::string staging = std::string(target) + ".knew";
    SetFileAttributesA(staging.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (!CopyFileA(source, staging.c_str(), FALSE)) return false;
    SetFileAttributesA(staging.c_str(), FILE_ATTRIBUTE_NORMAL);
    SetFileAttributesA(target, FILE_ATTRIBUTE_NORMAL);
    if (MoveFileExA(staging.c_str(), target, MOVEFILE_REPLACE_EXISTING)) return true;
    DWORD error = GetLastError();
    DeleteFileA(staging.c_str());
    SetLastError(error);
    return false;
}

ScriptWriteGuard::ScriptWriteGuard() : file_(g_run.scriptFile) {
    if (file_.empty() || !Exists(file_)) return;
    // Save first, mark second: a kill between the two leaves an unmarked file
    // that nothing has written yet.
    if (!ReplaceFileWhole(file_.c_str(), ScriptBackupPath(file_.c_str()).c_str())) return;
    ScopedHandle mark(CreateFileA(ScriptWriteMarkPath(file_.c_str()).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    armed_ = mark.Valid();
}

ScriptWriteGuard::~ScriptWriteGuard() {
    if (!armed_) return;
    DeleteFileA(ScriptWriteMarkPath(file_.c_str()).c_str());
    // The step deleted the script itself (exit and delete): nothing to keep.
    if (!Exists(file_)) DeleteFileA(ScriptBackupPath(file_.c_str()).c_str());
}

bool RecoverInterruptedWrite(const char *workingCopy) {
    std::string mark = ScriptWriteMarkPath(workingCopy);
    if (!Exists(mark)) return false;
    std::string backup = ScriptBackupPath(workingCopy);
    bool restored = Exists(backup) && ReplaceFileWhole(backup.c_str(), workingCopy);
    if (restored) {
        LogLineFormat("InitINIFile()", "%s was cut off while being written; restored from %s", workingCopy,
                      backup.c_str());
        DeleteFileA(mark.c_str());
    } else {
        LogLineFormat("ERROR-=-", "%s was cut off while being written and no saved copy could be restored",
                      workingCopy);
    }
    return restored;
}

void ForgetSavedState(const char *workingCopy) {
    DeleteFileA(ScriptWriteMarkPath(workingCopy).c_str());
    DeleteFileA(ScriptBackupPath(workingCopy).c_str());
}
