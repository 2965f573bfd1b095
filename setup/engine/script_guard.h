// Keeps the working copy whole when the run is killed in the middle of a write.
//
// The profile functions rewrite the whole file for every write, so a process
// killed during one (a reboot forced by a spawned program, power loss, a task
// manager) leaves a torn file that a resumed run cannot use. Before each step
// that writes the file, its last consistent state is saved beside it and a mark
// says a write is under way; the mark goes when the step is done. A resumed run
// that finds the mark puts the saved state back, so the step runs again from
// where it began.
#pragma once
#include <string>

std::string ScriptBackupPath(const char *workingCopy);
std::string ScriptWriteMarkPath(const char *workingCopy);

class ScriptWriteGuard {
public:
    ScriptWriteGuard();  // guards g_run.scriptFile
    ~ScriptWriteGuard();
    ScriptWriteGuard(const ScriptWriteGuard &) = delete;
    ScriptWriteGuard &operator=(const ScriptWriteGuard &) = delete;

private:
    std::string file_;
    bool armed_ = false;
};

// At start-up, when an existing working copy is reused: puts back the state saved
// before an interrupted write. Returns true when it did.
bool RecoverInterruptedWrite(const char *workingCopy);

// A clean start discards whatever an earlier run saved.
void ForgetSavedState(const char *workingCopy);

// Replaces target with a copy of source in one step: a kill leaves either the old
// file or the new one, never a part of it.
bool ReplaceFileWhole(const char *source, const char *target);
