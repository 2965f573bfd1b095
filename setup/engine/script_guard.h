// Keeps the working copy usable when the run is killed or the power is cut at
// any point, and keeps every write kestrel makes to it.
//
// The profile functions rewrite the whole file for every write, so a process
// killed during one leaves a torn file, and a full volume leaves one cut short
// while the write reports success. Beside the working copy lie its last
// consistent state: a whole copy of the file (two slots, used in turn, so the one
// in use is never overwritten) and a small journal that names the slot in use,
// its size and sum, and the cursor saved since it was made. The journal holds two
// fixed-size records 4 KiB apart (never in one sector), written in turn, each by
// one write and checked by its own sum; the newest whole one counts, so a record
// cut off leaves the one before it.
//
// Every write kestrel makes to the working copy goes through WriteScriptString /
// WriteScriptSection / MarkScriptChanged: each is checked and marks the state
// changed. After a command the loop takes a whole copy when the state changed or
// when the file's size or time differs from what kestrel's own last write left
// (a program started by a command, a copy or rename onto the working copy);
// otherwise it records only the cursor. A whole copy is taken only from a file
// that reads back as the profile functions hold it (never from one cut short).
//
// Ordering against a power cut, where writes not yet flushed are lost while a
// new file, its size or a rename may survive:
//   1. A slot's data is flushed before the record that names it is written, and
//      the record carries the slot's size and sum: a record on the disk always
//      names a whole copy, and a restore checks it.
//   2. Before a slot is overwritten, the record that does not count names the
//      slot in use, flushed: neither record can name a slot being written.
//   3. Every record is flushed before the command it names runs: a resumed run
//      never repeats a finished command nor skips one. The working copy's own
//      cursor is not flushed per command: the restore writes it from the record.
//   4. At the end the working copy is checked and flushed before the journal is
//      deleted: once nothing is saved, the file alone must be whole.
//   5. A whole-file replace writes a staging file, flushes it and renames it
//      write-through: the target is the old file or the whole new one.
//   6. At start-up the working copy is made with the run's switches in it and
//      put in place so (5) before the journal is made: a journal that is empty
//      or zeros (cut before its first record reached the disk) leaves a file that
//      stands whole, and the first saved state holds the switches.
// One flush per ordinary command (its record); a whole copy two (the copy, its
// record), three when it follows another whole copy (step 2).
#pragma once
#include <cstddef>
#include <string>

std::string SavedStatePath(const char *workingCopy, int slot);
std::string CursorJournalPath(const char *workingCopy);

// One journal record: its sequence number, the slot with the whole copy, the
// copy's size and sum and, when a cursor was saved after that copy was made, the
// cursor.
struct SavedStateRecord {
    unsigned sequence = 0;
    int slot = 0;
    bool hasCursor = false;
    int cursor = 0;
    unsigned slotSize = 0;
    unsigned slotSum = 0;
};
inline constexpr size_t kSavedStateRecordSize = 96;
// Where the journal's second record lies: another sector than the first.
inline constexpr size_t kJournalPlaceDistance = 4096;
// The record's fixed-size text (ends in CR LF); false for a slot other than 0 or 1.
bool FormatSavedStateRecord(const SavedStateRecord &record, char (&out)[kSavedStateRecordSize]);
// False for anything that is not a whole record with a matching sum.
bool ParseSavedStateRecord(const char *bytes, size_t length, SavedStateRecord &record);
// The newest whole record of the journal's two places (at 0 and
// kJournalPlaceDistance), the place it is in (0 or 1) and the slot the other
// place's record names (-1 when that one is not whole). False when no record is
// whole.
struct JournalReading {
    SavedStateRecord newest;
    int place = 0;
    int olderSlot = -1;
};
bool ReadJournalRecords(const char *bytes, size_t length, JournalReading &reading);
// The sum a record keeps of its slot's bytes (FNV-1a).
unsigned ContentSum(const char *bytes, size_t length);

// Writes to the working copy (g_run.scriptFile). Each marks the state changed;
// a failed one logs an ERROR line with the system's error and marks the run
// failed: the loop then stops without saving and without DONE.
bool WriteScriptString(const char *section, const char *key, const char *value);
bool WriteScriptInt(const char *section, const char *key, int value);
bool WriteScriptSection(const char *section, const char *content);
// A change made to the working copy other than through the profile functions.
void MarkScriptChanged();
// Logs "ERROR-=-" with what failed on which file and the last error; marks the run failed.
void ReportScriptFailure(const char *what, const char *file);
// True once a write or save of the working copy or its saved state has failed.
bool ScriptStateFailed();

// At start-up, when an existing working copy is reused: a run that was cut off
// left its journal; the saved state is put back.
enum class RestoreResult {
    NothingSaved,  // no journal: the file is used as it stands
    Restored,
    Unusable,      // the saved state was unreadable and is removed; the file is used as it stands
    Failed,        // it could neither be restored nor removed: the run must not start
};
RestoreResult RestoreSavedState(const char *workingCopy);

// The working copy as it stands (g_run.scriptFile) becomes the saved state, once
// it is checked to read back whole. A script the step deleted leaves nothing
// behind. False (logged) when it could not be saved: the last saved state stays.
bool SaveWholeState();

// After a command: saves g_run.commandCursor as the next command. The cursor is
// recorded in the journal, flushed, then written to [Commands] CurrentCmd. When
// the state changed (wholeFileChanged, a write through the routines above, or a
// change of the file from outside) the whole file is saved instead. False
// (logged) when anything failed.
bool SaveCommandCursor(bool wholeFileChanged = false);

// The run ended: the working copy is checked whole and flushed, then nothing
// saved is kept. False (logged) when it is not whole or cannot be flushed: the
// saved state stays for a resume.
bool FinishSavedState();

// Forgets what this process knew of a saved state (tests run several start-ups
// in one process).
void ResetSavedState();

// A clean start: nothing saved is kept. False when something could not be removed.
bool ForgetSavedState(const char *workingCopy);

// The working copy made from base (the source script, or the working copy a
// resumed run reuses) with the [DATA] values given written into it, flushed and
// put in place in one step: a first save taken right after holds the switches,
// and a cut at any point leaves the old file or the whole new one.
struct DataValue {
    const char *key;
    const char *value;
};
bool MakeWorkingCopy(const char *base, const char *workingCopy, const DataValue *values, size_t count);

// Replaces target with a copy of source in one step, flushed: a kill or a power
// cut leaves either the old file or the whole new one.
bool ReplaceFileWhole(const char *source, const char *target);
