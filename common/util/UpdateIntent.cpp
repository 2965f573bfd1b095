#include "UpdateIntent.h"

#include <windows.h>

#include <cstdlib>
#include <sstream>

#include "FileUtils.h"

namespace intent {

const char kLockName[] = "external-update.lock";
const char kRecordName[] = "refresher.intent";
const char kPartialRecordName[] = "refresher-intent.tmp";
const char kDoneRecordName[] = "refresher-intent.done";
const char kResultName[] = "refresher.result";

namespace {

const char kRecordHeader[] = "refresher-intent 1";
const char kRecordEnd[] = "end";
const char kHadOld[] = "keep ";
const char kNoOld[] = "none ";
const char kScheduleKey[] = "Schedule-ID=";
const char kTaskKey[] = "Task-Sequence-ID=";
const char kExitKey[] = "Exit=";
const char kLineKey[] = "Line=";

// A field's text on one line of its own: line breaks would end it early.
std::string OneLine(std::string text) {
    for (char &c : text) {
        if (c == '\r' || c == '\n') c = ' ';
    }
    return text;
}

bool StartsWith(const std::string &text, const char *prefix, std::string &rest) {
    size_t length = std::char_traits<char>::length(prefix);
    if (text.compare(0, length, prefix) != 0) return false;
    rest = text.substr(length);
    return true;
}

std::vector<std::string> SplitLines(const std::string &text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

unsigned long LastError() { return GetLastError(); }

}  // namespace

std::string StagedName(const std::string &destination, size_t index) {
    return destination + ".refresher-new-" + std::to_string(index);
}

std::string OldCopyName(const std::string &destination, size_t index) {
    return destination + ".refresher-old-" + std::to_string(index);
}

std::string RecordText(const Record &record) {
    std::string text = std::string(kRecordHeader) + "\r\n";
    text += kScheduleKey + OneLine(record.scheduleId) + "\r\n";
    text += kTaskKey + OneLine(record.taskSequenceId) + "\r\n";
    for (const Entry &entry : record.entries)
        text += (entry.hadOld ? kHadOld : kNoOld) + OneLine(entry.destination) + "\r\n";
    return text + kRecordEnd + "\r\n";
}

bool ParseRecord(const std::string &text, Record &record) {
    record = Record();
    std::vector<std::string> lines = SplitLines(text);
    if (lines.size() < 4 || lines.front() != kRecordHeader || lines.back() != kRecordEnd) return false;
    if (!StartsWith(lines[1], kScheduleKey, record.scheduleId) || !StartsWith(lines[2], kTaskKey, record.taskSequenceId))
        return false;
    for (size_t i = 3; i + 1 < lines.size(); ++i) {
        Entry entry;
        if (StartsWith(lines[i], kHadOld, entry.destination))
            entry.hadOld = true;
        else if (!StartsWith(lines[i], kNoOld, entry.destination))
            return false;
        if (entry.destination.empty()) return false;
        record.entries.push_back(entry);
    }
    return true;
}

bool LockFailureMeansInProgress(unsigned long error, unsigned long attributes) {
    if (error == ERROR_SHARING_VIOLATION) return true;
    return error == ERROR_ACCESS_DENIED && attributes != INVALID_FILE_ATTRIBUTES &&
           (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) == 0;
}

std::string ResultText(const Result &result) {
    return kExitKey + std::to_string(result.exitCode) + "\r\n" + kLineKey + OneLine(result.closingLine) + "\r\n" +
           kScheduleKey + OneLine(result.scheduleId) + "\r\n" + kTaskKey + OneLine(result.taskSequenceId) + "\r\n";
}

bool ParseResult(const std::string &text, Result &result) {
    result = Result();
    bool haveExit = false;
    for (const std::string &line : SplitLines(text)) {
        std::string value;
        if (StartsWith(line, kExitKey, value)) {
            char *end = nullptr;
            long code = std::strtol(value.c_str(), &end, 10);
            haveExit = !value.empty() && *end == '\0';
            result.exitCode = static_cast<int>(code);
        } else if (StartsWith(line, kLineKey, value)) {
            result.closingLine = value;
        } else if (StartsWith(line, kScheduleKey, value)) {
            result.scheduleId = value;
        } else if (StartsWith(line, kTaskKey, value)) {
            result.taskSequenceId = value;
        }
    }
    return haveExit;
}

unsigned long WriteWhole(const std::string &path, const std::string &content) {
    util::ScopedHandle file(
        CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.Valid()) return LastError();
    DWORD written = 0;
    if (!WriteFile(file.Get(), content.data(), static_cast<DWORD>(content.size()), &written, nullptr))
        return LastError();
    if (written != content.size()) return ERROR_WRITE_FAULT;
    return FlushFileBuffers(file.Get()) ? 0 : LastError();
}

unsigned long CopyFlushed(const std::string &from, const std::string &to) {
    if (!CopyFileA(from.c_str(), to.c_str(), FALSE)) return LastError();
    util::ScopedHandle file(CreateFileA(to.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!file.Valid()) return LastError();
    return FlushFileBuffers(file.Get()) ? 0 : LastError();
}

unsigned long RenameOver(const std::string &from, const std::string &to) {
    return MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) ? 0
                                                                                                      : LastError();
}

unsigned long ReadWhole(const std::string &path, std::string &content) {
    content.clear();
    util::ScopedHandle file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                        OPEN_EXISTING, 0, nullptr));
    if (!file.Valid()) return LastError();
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(file.Get(), buffer, sizeof buffer, &got, nullptr) && got > 0) content.append(buffer, got);
    return 0;
}

unsigned long TakeLock(const std::string &folder, util::ScopedHandle &lock, bool &inProgress) {
    // Held without sharing and gone with its last handle: while an update runs (this
    // process or the update script it started), nobody else may open it.
    const std::string path = folder + kLockName;
    lock.Reset(CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, 0, nullptr, OPEN_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
    inProgress = false;
    if (lock.Valid()) return 0;
    unsigned long error = LastError();
    inProgress = LockFailureMeansInProgress(error, GetFileAttributesA(path.c_str()));
    return error;
}

bool PutBack(const Record &record, std::vector<PutBackStep> &steps) {
    bool whole = true;
    steps.clear();
    // Latest first: a destination named twice ends as it was before the first.
    for (size_t n = record.entries.size(); n-- > 0;) {
        const Entry &entry = record.entries[n];
        const std::string staged = StagedName(entry.destination, n);
        const std::string oldCopy = OldCopyName(entry.destination, n);
        PutBackStep step;
        step.destination = entry.destination;
        if (util::FileExists(staged)) {
            // Never swapped: the destination is as it was.
            if (!DeleteFileA(staged.c_str())) step.error = LastError();
            if (util::FileExists(oldCopy) && !DeleteFileA(oldCopy.c_str())) step.error = LastError();
        } else if (entry.hadOld) {
            // A missing old copy was put back already (or never made: not swapped).
            if (util::FileExists(oldCopy)) {
                step.error = RenameOver(oldCopy, entry.destination);
                step.action = step.error ? PutBackStep::kFailed : PutBackStep::kRestored;
            }
        } else if (util::FileExists(entry.destination)) {
            step.action = DeleteFileA(entry.destination.c_str()) ? PutBackStep::kRemoved : PutBackStep::kFailed;
            if (step.action == PutBackStep::kFailed) step.error = LastError();
        }
        if (step.action == PutBackStep::kFailed) whole = false;
        steps.push_back(step);
    }
    return whole;
}

void RemoveLeftovers(const Record &record) {
    for (size_t n = 0; n < record.entries.size(); ++n) {
        for (const std::string &path : {StagedName(record.entries[n].destination, n),
                                        OldCopyName(record.entries[n].destination, n)}) {
            if (util::FileExists(path)) DeleteFileA(path.c_str());
        }
    }
}

namespace {

void WriteResult(const std::string &folder, const Record &record, int exitCode, const std::string &line,
                 bool keepExisting) {
    const std::string path = folder + kResultName;
    if (keepExisting && util::FileExists(path)) return;
    Result result{exitCode, line, record.scheduleId, record.taskSequenceId};
    const std::string partial = path + ".tmp";
    if (WriteWhole(partial, ResultText(result)) == 0) RenameOver(partial, path);
}

// True when this process runs a program the record's update has already swapped in (the
// new agent, started after a swap that was then cut short).
bool RunsSwappedProgram(const Record &record) {
    char program[MAX_PATH + 1] = "";
    DWORD length = GetModuleFileNameA(nullptr, program, sizeof program);
    if (length == 0 || length >= sizeof program) return false;
    for (size_t n = 0; n < record.entries.size(); ++n) {
        // Swapped: its new file was staged, its old one copied after it, and the new one
        // is gone from beside it. (Not staged yet: neither is there.)
        const Entry &entry = record.entries[n];
        if (_stricmp(entry.destination.c_str(), program) == 0)
            return entry.hadOld && !util::FileExists(StagedName(entry.destination, n)) &&
                   util::FileExists(OldCopyName(entry.destination, n));
    }
    return false;
}

// Swaps in every new file still beside its destination.
bool FinishForward(const Record &record) {
    bool whole = true;
    for (size_t n = 0; n < record.entries.size(); ++n) {
        const std::string staged = StagedName(record.entries[n].destination, n);
        if (util::FileExists(staged) && RenameOver(staged, record.entries[n].destination) != 0) whole = false;
    }
    return whole;
}

}  // namespace

bool RecoverUnderLock(const std::string &folder, logging::ILogSink &sink, const char *unit) {
    const std::string partial = folder + kPartialRecordName;
    const std::string active = folder + kRecordName;
    const std::string done = folder + kDoneRecordName;
    // A record that never became whole: nothing was staged or swapped after it.
    if (util::FileExists(partial)) {
        DeleteFileA(partial.c_str());
        sink.Log(logging::kInfo, "%s:%d - removed %s, an update record that was never finished", unit, __LINE__,
                 partial.c_str());
    }
    bool clean = true;
    std::string text;
    Record record;
    if (util::FileExists(done)) {
        if (ReadWhole(done, text) != 0 || !ParseRecord(text, record)) {
            sink.Log(logging::kError, "%s:%d - %s cannot be read; it is left for an operator", unit, __LINE__,
                     done.c_str());
            return false;
        }
        // Committed: every new file was in place and (on the external path) had run
        // through its health window; only the old copies are left to remove.
        RemoveLeftovers(record);
        DeleteFileA(done.c_str());
        sink.Log(logging::kInfo, "%s:%d - finished an update that had committed: its old copies are removed", unit,
                 __LINE__);
        WriteResult(folder, record, 0, "Files updated, finished at the next start (exit 0)", true);
    }
    if (util::FileExists(active)) {
        if (ReadWhole(active, text) != 0 || !ParseRecord(text, record)) {
            sink.Log(logging::kError, "%s:%d - %s cannot be read; it is left for an operator", unit, __LINE__,
                     active.c_str());
            return false;
        }
        if (RunsSwappedProgram(record)) {
            // This process is the new program of an update that did not commit: it cannot
            // be put back from inside itself. Every new file was made durable before the
            // first swap (the script only renames), so the update is finished instead.
            clean = FinishForward(record);
            if (clean && RenameOver(active, done) == 0) {
                RemoveLeftovers(record);
                DeleteFileA(done.c_str());
                sink.Log(logging::kInfo,
                         "%s:%d - finished an update that did not end: its new program was already running and "
                         "every new file was on the disk",
                         unit, __LINE__);
                WriteResult(folder, record, 0, "Files updated, finished at the next start (exit 0)", false);
            } else {
                clean = false;
                sink.Log(logging::kError, "%s:%d - an update that did not end could not be finished; %s is kept",
                         unit, __LINE__, active.c_str());
            }
            return clean;
        }
        // Not committed: the new files have not proven themselves (and the request was
        // never answered with success), so every old file goes back.
        std::vector<PutBackStep> steps;
        clean = PutBack(record, steps);
        for (const PutBackStep &step : steps) {
            if (step.action == PutBackStep::kRestored)
                sink.Log(logging::kInfo, "%s:%d - put back the old %s", unit, __LINE__, step.destination.c_str());
            else if (step.action == PutBackStep::kRemoved)
                sink.Log(logging::kInfo, "%s:%d - removed the new %s", unit, __LINE__, step.destination.c_str());
            else if (step.action == PutBackStep::kFailed)
                sink.Log(logging::kError, "%s:%d - could not put back the old %s, error %lu", unit, __LINE__,
                         step.destination.c_str(), step.error);
        }
        if (clean) {
            DeleteFileA(active.c_str());
            sink.Log(logging::kInfo, "%s:%d - an update that did not finish was undone: the old files are back",
                     unit, __LINE__);
            WriteResult(folder, record, 2, "Old files back after an interrupted update (exit 2)", false);
        } else {
            sink.Log(logging::kError, "%s:%d - an update that did not finish could not be undone; %s is kept", unit,
                     __LINE__, active.c_str());
            WriteResult(folder, record, 5, "Files mixed: put-back failed, old copies kept (exit 5)", false);
        }
    }
    return clean;
}

bool Recover(const std::string &folder, logging::ILogSink &sink, const char *unit) {
    if (!util::FileExists(folder + kRecordName) && !util::FileExists(folder + kDoneRecordName) &&
        !util::FileExists(folder + kPartialRecordName))
        return true;
    util::ScopedHandle lock;
    bool inProgress = false;
    if (TakeLock(folder, lock, inProgress) != 0) return false;
    return RecoverUnderLock(folder, sink, unit);
}

}  // namespace intent
