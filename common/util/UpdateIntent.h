// The intent record of an update of the agent's files, and the recovery that makes an
// update all old or all new across a crash or a power cut. Shared by the plug-in (both
// update paths) and its host, which recovers before it loads the plug-in.
//
// The protocol, in the agent folder:
//  1. the update lock is taken ("external-update.lock", held open while the update runs);
//  2. the record naming every destination is written whole and made durable
//     ("refresher.intent": flushed as "refresher-intent.tmp", then renamed);
//  3. per destination n: the new file is copied beside it ("<dest>.refresher-new-<n>")
//     and flushed; the old file, where there is one, is copied to "<dest>.refresher-old-<n>"
//     and flushed; then the new file is renamed over the destination (one rename, so the
//     destination is always whole). The copy in place path swaps each pair right after
//     staging it; the external path stages every pair, then its script swaps them;
//  4. commit: the record is renamed "refresher-intent.done"; then the old copies and the
//     record go.
// A record still named "refresher.intent" means the update did not commit: recovery puts
// every old file back. A pair whose new file is still beside it was not swapped (the swap
// consumes it), so its destination is untouched. "refresher-intent.done" means the update
// committed: recovery only removes what is left of it.
#pragma once
#include <string>
#include <vector>

#include "LogSink.h"
#include "WinOwners.h"

namespace intent {

extern const char kLockName[];
extern const char kRecordName[];
extern const char kPartialRecordName[];
extern const char kDoneRecordName[];
extern const char kResultName[];

// One destination of the update and whether a file stood there before it.
struct Entry {
    std::string destination;
    bool hadOld = false;
};

struct Record {
    std::string scheduleId, taskSequenceId;  // of the request, for the outcome report
    std::vector<Entry> entries;
};

// Pure rules (no I/O).
std::string StagedName(const std::string &destination, size_t index);   // "<dest>.refresher-new-<n>"
std::string OldCopyName(const std::string &destination, size_t index);  // "<dest>.refresher-old-<n>"
std::string RecordText(const Record &record);
// False for a record that is not whole (no closing line) or not one of ours.
bool ParseRecord(const std::string &text, Record &record);
// True when a failure to open the lock file means that another update holds it: a
// sharing violation, or access denied on a plain file that exists (a lock whose holder is
// closing it: delete pending). attributes: of the lock path, INVALID_FILE_ATTRIBUTES
// (0xFFFFFFFF) when they cannot be read.
bool LockFailureMeansInProgress(unsigned long error, unsigned long attributes);

// The outcome of an update as the update script or the recovery writes it.
struct Result {
    int exitCode = -1;
    std::string closingLine, scheduleId, taskSequenceId;
};
std::string ResultText(const Result &result);
bool ParseResult(const std::string &text, Result &result);

// Durable primitives: each names the file and returns the system error (0 on success).
// Content reaches the disk before the call returns; a rename is made write-through.
unsigned long WriteWhole(const std::string &path, const std::string &content);
unsigned long CopyFlushed(const std::string &from, const std::string &to);
unsigned long RenameOver(const std::string &from, const std::string &to);
unsigned long ReadWhole(const std::string &path, std::string &content);

// Takes the update lock of the folder. 0 on success; otherwise the error, and inProgress
// tells whether another update holds it.
unsigned long TakeLock(const std::string &folder, util::ScopedHandle &lock, bool &inProgress);

// What putting back one destination did.
struct PutBackStep {
    std::string destination;
    enum Action { kUntouched, kRestored, kRemoved, kFailed } action = kUntouched;
    unsigned long error = 0;
};
// Puts every destination of the record back as it was (latest first) and removes what
// the update left beside them. Safe to repeat after an interruption. True when every
// destination is back; the steps say what was done.
bool PutBack(const Record &record, std::vector<PutBackStep> &steps);
// Removes the old copies and new files left beside the destinations of a committed update.
void RemoveLeftovers(const Record &record);

// Called with the lock held: finishes or undoes an update that did not end, logs what it
// did through sink (lines begin with unit), and writes the outcome as the result file
// when it changed anything. True when nothing unfinished is left.
bool RecoverUnderLock(const std::string &folder, logging::ILogSink &sink, const char *unit);
// Takes the lock and recovers; does nothing while another update holds the lock.
bool Recover(const std::string &folder, logging::ILogSink &sink, const char *unit);

}  // namespace intent
