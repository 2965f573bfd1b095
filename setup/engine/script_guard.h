// Keeps the working copy usable when the run is killed at any point.
//
// The profile functions rewrite the whole file for every write, so a process
// killed during one (a reboot forced by a spawned program, power loss, a task
// manager) leaves a torn file that a resumed run cannot use. Beside the working
// copy lie its last consistent state: a whole copy of the file (two slots, used
// in turn, so the one in use is never overwritten) and a small journal that
// names the slot in use and the cursor saved since it was made. The journal
// holds two fixed-size records, written in turn, each by one write and checked
// by its own sum; the newest whole one counts, so a record cut off leaves the one
// before it. (Creating and renaming a file per command cost as much as the
// profile write itself.) Steps that change more than the cursor (start-up,
// entering a section, commands that write the script) end with a new whole copy;
// every other command records only its cursor before writing it to the file. A
// resumed run that finds the journal puts the slot back and the cursor into it:
// it goes on at the command after the last one recorded, and a command cut off
// before that runs again.
#pragma once
#include <cstddef>
#include <string>

std::string SavedStatePath(const char *workingCopy, int slot);
std::string CursorJournalPath(const char *workingCopy);

// One journal record: its sequence number, the slot with the whole copy and,
// when a cursor was saved after that copy was made, the cursor.
struct SavedStateRecord {
    unsigned sequence = 0;
    int slot = 0;
    bool hasCursor = false;
    int cursor = 0;
};
inline constexpr size_t kSavedStateRecordSize = 64;
// The record's fixed-size text (ends in CR LF); false for a slot other than 0 or 1.
bool FormatSavedStateRecord(const SavedStateRecord &record, char (&out)[kSavedStateRecordSize]);
// False for anything that is not a whole record with a matching sum.
bool ParseSavedStateRecord(const char *bytes, size_t length, SavedStateRecord &record);
// The newest whole record of the journal's two places, the place it is in (0 or
// 1) and the slot the other place's record names (-1 when that one is not whole).
// False when no record is whole.
struct JournalReading {
    SavedStateRecord newest;
    int place = 0;
    int olderSlot = -1;
};
bool ReadJournalRecords(const char *bytes, size_t length, JournalReading &reading);

// At start-up, when an existing working copy is reused: a run that was cut off
// left its journal; the saved state is put back. True when it was.
bool RestoreSavedState(const char *workingCopy);

// Before the first write of a start-up: the working copy as it stands becomes
// the saved state, unless a restored one already stands for it.
void EnsureSavedState();

// After a step that may have changed more than the cursor: the working copy as it
// stands (g_run.scriptFile) becomes the saved state. A script the step deleted
// leaves nothing behind.
void SaveWholeState();

// Saves g_run.commandCursor as the next command: recorded in the journal, then
// written to [Commands] CurrentCmd and flushed. After a command that may have
// written more than the cursor (wholeFileChanged), the whole file is saved instead.
void SaveCommandCursor(bool wholeFileChanged = false);

// A clean start, or a run that ended: nothing saved is kept.
void ForgetSavedState(const char *workingCopy);

// Replaces target with a copy of source in one step: a kill leaves either the old
// file or the new one, never a part of it.
bool ReplaceFileWhole(const char *source, const char *target);
