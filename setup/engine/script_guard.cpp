#include "script_guard.h"

#include <windows.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "bounded_text.h"
#include "install_log.h"
#include "profile_utils.h"
#include "run_state.h"
#include "text_rules.h"
#include "win_owners.h"

namespace {

// The journal of the working copy named here, open for the run, and what its
// records say; slot -1 when no saved state has been made or restored.
struct SavedState {
    std::string workingCopy;
    ScopedHandle journal;
    int slot = -1;
    unsigned slotSize = 0, slotSum = 0;  // of the slot in use
    bool hasCursor = false;              // the cursor of the newest record
    int cursor = 0;
    unsigned sequence = 0;
    int place = 1;       // of the last record written; the next goes to the other
    int olderSlot = -1;  // the slot the other place's record names
} g_saved;

// What kestrel knows of the working copy between its own writes.
struct FileStamp {
    bool valid = false;
    unsigned long long size = 0;
    FILETIME written{};
};
struct ScriptState {
    bool changed = false;  // written since the last whole copy
    bool failed = false;   // a write or save failed: nothing more is saved
    FileStamp stamp;       // as kestrel's own last write left the file
    std::string cursorText;  // [Commands] CurrentCmd as kestrel last wrote it, when known
} g_script;

int SlotInUse(const char *workingCopy) { return g_saved.workingCopy == workingCopy ? g_saved.slot : -1; }

bool Exists(const std::string &path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

void CloseJournal() { g_saved = SavedState{}; }

FileStamp Stamp(const char *path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    FileStamp stamp;
    if (!GetFileAttributesExA(path, GetFileExInfoStandard, &data)) return stamp;
    stamp.valid = true;
    stamp.size = (static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    stamp.written = data.ftLastWriteTime;
    return stamp;
}

bool SameStamp(const FileStamp &a, const FileStamp &b) {
    return a.valid && b.valid && a.size == b.size && CompareFileTime(&a.written, &b.written) == 0;
}

// The durable primitives: each names the file and the error when it fails.
bool WriteAll(HANDLE file, const char *bytes, size_t length, const char *name) {
    while (length > 0) {
        DWORD chunk = length > (1u << 20) ? (1u << 20) : static_cast<DWORD>(length), written = 0;
        if (!WriteFile(file, bytes, chunk, &written, nullptr) || written != chunk) {
            if (GetLastError() == ERROR_SUCCESS) SetLastError(ERROR_DISK_FULL);  // a short write
            ReportScriptFailure("cannot write", name);
            return false;
        }
        bytes += chunk;
        length -= chunk;
    }
    return true;
}

bool FlushFile(HANDLE file, const char *name) {
    if (FlushFileBuffers(file)) return true;
    ReportScriptFailure("cannot flush", name);
    return false;
}

// A whole small file into memory. False (not logged) when it cannot be read.
bool ReadWhole(const char *path, std::string &bytes) {
    ScopedHandle file(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size;
    if (!file.Valid() || !GetFileSizeEx(file.Get(), &size)) return false;
    if (size.QuadPart > (256 << 20)) {
        SetLastError(ERROR_FILE_TOO_LARGE);
        return false;
    }
    bytes.assign(static_cast<size_t>(size.QuadPart), '\0');
    size_t got = 0;
    while (got < bytes.size()) {
        DWORD read = 0;
        if (!ReadFile(file.Get(), &bytes[got], static_cast<DWORD>(bytes.size() - got), &read, nullptr)) return false;
        if (read == 0) break;
        got += read;
    }
    bytes.resize(got);
    return true;
}

// The bytes as a new file's whole content, flushed.
bool WriteFileDurably(const char *path, const std::string &bytes) {
    SetFileAttributesA(path, FILE_ATTRIBUTE_NORMAL);
    ScopedHandle file(CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                  nullptr));
    if (!file.Valid()) {
        ReportScriptFailure("cannot create", path);
        return false;
    }
    return WriteAll(file.Get(), bytes.data(), bytes.size(), path) && FlushFile(file.Get(), path);
}

bool FlushExisting(const char *path) {
    ScopedHandle file(CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.Valid()) {
        ReportScriptFailure("cannot open to flush", path);
        return false;
    }
    return FlushFile(file.Get(), path);
}

bool SameNames(const std::string &a, const std::string &b) { return text::EqualsNoCase(a.c_str(), b.c_str()); }

// True when the file's bytes hold what the profile functions hold for it: a
// write cut short by a full volume reports success and leaves a shorter file.
bool ReadsBackWhole(const char *file, const std::string &bytes) {
    if (bytes.size() >= 2 && ((bytes[0] == '\xff' && bytes[1] == '\xfe') || (bytes[0] == '\xef' && bytes[1] == '\xbb')))
        return true;  // another encoding: the profile functions convert it
    std::vector<ProfileSectionLines> onDisk = ReadProfileText(bytes.data(), bytes.size());
    std::vector<char> names(4096);
    for (;;) {
        DWORD length = GetPrivateProfileSectionNamesA(names.data(), static_cast<DWORD>(names.size()), file);
        if (length < names.size() - 2) break;
        if (names.size() > (64u << 20)) return false;
        names.resize(names.size() * 2);
    }
    std::vector<std::string> seen;
    for (const char *name = names.data(); *name; name += strlen(name) + 1) {
        bool repeated = false;
        for (const std::string &earlier : seen) repeated = repeated || SameNames(earlier, name);
        if (repeated) continue;
        seen.push_back(name);
        std::vector<std::string> held;
        SectionText section = ReadProfileSection(name, file);
        ForEachSectionLine(section.get(), [&held](const char *line) { held.push_back(line); });
        const ProfileSectionLines *found = nullptr;
        for (const ProfileSectionLines &candidate : onDisk)
            if (!found && SameNames(candidate.name, name)) found = &candidate;
        if (found ? found->entries != held : !held.empty()) return false;
    }
    return true;
}

// A journal without a saved state behind it starts empty: a record left by an
// earlier run must never count for this one.
bool OpenJournal(const char *workingCopy) {
    if (g_saved.workingCopy != workingCopy) CloseJournal();
    if (g_saved.journal.Valid()) return true;
    DWORD disposition = g_saved.slot < 0 ? CREATE_ALWAYS : OPEN_ALWAYS;
    g_saved.workingCopy = workingCopy;
    std::string path = CursorJournalPath(workingCopy);
    g_saved.journal.Reset(CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                      disposition, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!g_saved.journal.Valid()) ReportScriptFailure("cannot open the journal", path.c_str());
    return g_saved.journal.Valid();
}

// One write of one record into the place the last one did not use, flushed
// before the caller goes on: a kill or a power cut leaves the older record whole.
bool WriteRecord(const char *workingCopy, int slot, bool hasCursor, int cursor, unsigned slotSize,
                 unsigned slotSum) {
    if (!OpenJournal(workingCopy)) return false;
    SavedStateRecord record;
    record.sequence = g_saved.sequence + 1;
    record.slot = slot;
    record.hasCursor = hasCursor;
    record.cursor = cursor;
    record.slotSize = slotSize;
    record.slotSum = slotSum;
    char bytes[kSavedStateRecordSize];
    if (!FormatSavedStateRecord(record, bytes)) return false;
    const int place = 1 - g_saved.place;
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(place * kJournalPlaceDistance);
    DWORD written = 0;
    const std::string path = CursorJournalPath(workingCopy);
    if (!WriteFile(g_saved.journal.Get(), bytes, sizeof bytes, &written, &at) || written != sizeof bytes) {
        if (GetLastError() == ERROR_SUCCESS) SetLastError(ERROR_DISK_FULL);
        ReportScriptFailure("cannot write the journal", path.c_str());
        return false;
    }
    if (!FlushFile(g_saved.journal.Get(), path.c_str())) return false;
    g_saved.olderSlot = g_saved.slot;
    g_saved.slot = slot;
    g_saved.slotSize = slotSize;
    g_saved.slotSum = slotSum;
    g_saved.hasCursor = hasCursor;
    g_saved.cursor = cursor;
    g_saved.sequence = record.sequence;
    g_saved.place = place;
    return true;
}

// [Commands] CurrentCmd, checked.
bool WriteCursor(const char *workingCopy, const char *cursorText) {
    if (WritePrivateProfileStringA("Commands", "CurrentCmd", cursorText, workingCopy)) return true;
    ReportScriptFailure("cannot write the cursor to", workingCopy);
    return false;
}

unsigned RecordSum(const char *bytes, size_t length) { return ContentSum(bytes, length); }

constexpr size_t kRecordBody = kSavedStateRecordSize - 15;  // the fields padded with blanks; " sum=%08x\r\n" follows
const char kSum[] = "sum=";

bool ReadHex(const char *at, unsigned &value) {
    value = 0;
    for (int i = 0; i < 8; ++i) {
        char c = at[i];
        int digit = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
        if (digit < 0) return false;
        value = value * 16 + static_cast<unsigned>(digit);
    }
    return true;
}

bool Skip(const char *&at, const char *expected) {
    size_t length = strlen(expected);
    if (strncmp(at, expected, length) != 0) return false;
    at += length;
    return true;
}

bool SkipHex(const char *&at, const char *expected, unsigned &value) {
    if (!Skip(at, expected) || !ReadHex(at, value)) return false;
    at += 8;
    return true;
}

}  // namespace

unsigned ContentSum(const char *bytes, size_t length) {
    unsigned sum = 2166136261u;  // FNV-1a
    for (size_t i = 0; i < length; ++i) sum = (sum ^ static_cast<unsigned char>(bytes[i])) * 16777619u;
    return sum;
}

std::string SavedStatePath(const char *workingCopy, int slot) {
    return std::string(workingCopy) + (slot == 0 ? ".ksave0" : ".ksave1");
}
std::string CursorJournalPath(const char *workingCopy) { return std::string(workingCopy) + ".kjournal"; }

bool FormatSavedStateRecord(const SavedStateRecord &record, char (&out)[kSavedStateRecordSize]) {
    if (record.slot != 0 && record.slot != 1) return false;
    char body[kRecordBody + 1], cursor[16];
    if (record.hasCursor)
        text::FormatBounded(cursor, sizeof cursor, "%d", record.cursor);
    else
        text::Copy(cursor, "none");
    text::FormatBounded(body, sizeof body, "seq=%08x slot=%d size=%08x crc=%08x cursor=%s", record.sequence,
                        record.slot, record.slotSize, record.slotSum, cursor);
    memset(out, ' ', kRecordBody);
    memcpy(out, body, strlen(body));
    char tail[kSavedStateRecordSize - kRecordBody + 1];
    text::FormatBounded(tail, sizeof tail, " %s%08x\r\n", kSum, RecordSum(out, kRecordBody));
    memcpy(out + kRecordBody, tail, sizeof tail - 1);
    return true;
}

bool ParseSavedStateRecord(const char *bytes, size_t length, SavedStateRecord &record) {
    if (!bytes || length < kSavedStateRecordSize) return false;
    const char *tail = bytes + kRecordBody + 1;
    unsigned sum = 0;
    if (bytes[kRecordBody] != ' ' || strncmp(tail, kSum, sizeof kSum - 1) != 0 ||
        !ReadHex(tail + sizeof kSum - 1, sum) || strncmp(bytes + kSavedStateRecordSize - 2, "\r\n", 2) != 0 ||
        sum != RecordSum(bytes, kRecordBody))
        return false;
    char body[kRecordBody + 1];
    memcpy(body, bytes, kRecordBody);
    body[kRecordBody] = '\0';
    SavedStateRecord read;
    const char *at = body;
    if (!SkipHex(at, "seq=", read.sequence)) return false;
    if (!Skip(at, " slot=") || (*at != '0' && *at != '1')) return false;
    read.slot = *at++ - '0';
    if (!SkipHex(at, " size=", read.slotSize) || !SkipHex(at, " crc=", read.slotSum)) return false;
    if (!Skip(at, " cursor=")) return false;
    if (!Skip(at, "none")) {
        char *end = nullptr;
        long long value = strtoll(at, &end, 10);
        if (end == at || value < INT_MIN || value > INT_MAX) return false;
        read.hasCursor = true;
        read.cursor = static_cast<int>(value);
        at = end;
    }
    while (*at == ' ') ++at;
    if (*at != '\0') return false;
    record = read;
    return true;
}

bool ReadJournalRecords(const char *bytes, size_t length, JournalReading &reading) {
    SavedStateRecord records[2];
    bool whole[2];
    for (int place = 0; place < 2; ++place) {
        size_t offset = place * kJournalPlaceDistance;
        whole[place] = length >= offset && ParseSavedStateRecord(bytes + offset, length - offset, records[place]);
    }
    if (!whole[0] && !whole[1]) return false;
    // Sequence numbers are compared as a difference, so their wrap-around is harmless.
    int newest = !whole[1] || (whole[0] && static_cast<int>(records[0].sequence - records[1].sequence) > 0) ? 0 : 1;
    reading.newest = records[newest];
    reading.place = newest;
    reading.olderSlot = whole[1 - newest] ? records[1 - newest].slot : -1;
    return true;
}

void ReportScriptFailure(const char *what, const char *file) {
    char errorText[260];
    unsigned long code = DescribeLastError(errorText, sizeof errorText);
    LogLineFormat("ERROR-=-", "%s %s (%lu, %s); the state saved before stays for a resume", what, file, code,
                  errorText);
    g_script.failed = true;
}

bool ScriptStateFailed() { return g_script.failed; }

void MarkScriptChanged() { g_script.changed = true; }

bool WriteScriptString(const char *section, const char *key, const char *value) {
    g_script.changed = true;
    if (WritePrivateProfileStringA(section, key, value, g_run.scriptFile)) return true;
    ReportScriptFailure("cannot write", g_run.scriptFile);
    return false;
}

bool WriteScriptInt(const char *section, const char *key, int value) {
    char number[16];
    text::FormatBounded(number, sizeof number, "%d", value);
    return WriteScriptString(section, key, number);
}

bool WriteScriptSection(const char *section, const char *content) {
    g_script.changed = true;
    if (WritePrivateProfileSectionA(section, content, g_run.scriptFile)) return true;
    ReportScriptFailure("cannot write", g_run.scriptFile);
    return false;
}

bool ReplaceFileWhole(const char *source, const char *target) {
    std::string staging = std::string(target) + ".knew", bytes;
    if (!ReadWhole(source, bytes)) return false;
    if (!WriteFileDurably(staging.c_str(), bytes)) {
        DWORD error = GetLastError();
        DeleteFileA(staging.c_str());
        SetLastError(error);
        return false;
    }
    SetFileAttributesA(target, FILE_ATTRIBUTE_NORMAL);
    if (MoveFileExA(staging.c_str(), target, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) return true;
    DWORD error = GetLastError();
    DeleteFileA(staging.c_str());
    SetLastError(error);
    return false;
}

bool MakeWorkingCopy(const char *base, const char *workingCopy, const DataValue *values, size_t count) {
    std::string staging = std::string(workingCopy) + ".kstart", bytes;
    if (!ReadWhole(base, bytes)) {
        ReportScriptFailure("cannot read", base);
        return false;
    }
    bool made = WriteFileDurably(staging.c_str(), bytes);
    for (size_t i = 0; made && i < count; ++i) {
        made = WritePrivateProfileStringA("DATA", values[i].key, values[i].value, staging.c_str()) != FALSE;
        if (!made) ReportScriptFailure("cannot write", staging.c_str());
    }
    if (made && count > 0) {
        std::string written;
        made = ReadWhole(staging.c_str(), written) && ReadsBackWhole(staging.c_str(), written);
        if (!made) {
            LogLineFormat("ERROR-=-", "%s does not hold what was written to it (is its volume full?)", staging.c_str());
            g_script.failed = true;
        }
        made = made && FlushExisting(staging.c_str());
    }
    SetFileAttributesA(workingCopy, FILE_ATTRIBUTE_NORMAL);
    if (made && !MoveFileExA(staging.c_str(), workingCopy, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        ReportScriptFailure("cannot put in place", workingCopy);
        made = false;
    }
    if (!made) DeleteFileA(staging.c_str());
    return made;
}

RestoreResult RestoreSavedState(const char *workingCopy) {
    std::vector<char> bytes(kJournalPlaceDistance + kSavedStateRecordSize);
    DWORD got = 0;
    {
        ScopedHandle journal(CreateFileA(CursorJournalPath(workingCopy).c_str(), GENERIC_READ,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                         FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!journal.Valid()) return RestoreResult::NothingSaved;
        if (!ReadFile(journal.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr)) got = 0;
    }
    JournalReading reading;
    bool readable = ReadJournalRecords(bytes.data(), got, reading);
    // Empty or zeros (a power cut before its first record reached the disk): the
    // file, made whole and flushed before the journal was made, stands as it was.
    if (std::all_of(bytes.begin(), bytes.begin() + got, [](char c) { return c == '\0'; })) {
        if (!ForgetSavedState(workingCopy)) return RestoreResult::Failed;
        return RestoreResult::NothingSaved;
    }
    std::string slot = SavedStatePath(workingCopy, reading.newest.slot), saved;
    bool usable = readable && ReadWhole(slot.c_str(), saved) && saved.size() == reading.newest.slotSize &&
                  ContentSum(saved.data(), saved.size()) == reading.newest.slotSum;
    if (usable) {
        if (!ReplaceFileWhole(slot.c_str(), workingCopy)) {
            ReportScriptFailure("cannot put the saved state back into", workingCopy);
            return RestoreResult::Failed;
        }
        char cursorText[16];
        text::FormatBounded(cursorText, sizeof cursorText, "%d", reading.newest.cursor);
        if (reading.newest.hasCursor && !WriteCursor(workingCopy, cursorText)) return RestoreResult::Failed;
        CloseJournal();
        g_saved.workingCopy = workingCopy;
        g_saved.slot = reading.newest.slot;
        g_saved.slotSize = reading.newest.slotSize;
        g_saved.slotSum = reading.newest.slotSum;
        g_saved.hasCursor = reading.newest.hasCursor;
        g_saved.cursor = reading.newest.cursor;
        g_saved.sequence = reading.newest.sequence;
        g_saved.place = reading.place;
        g_saved.olderSlot = reading.olderSlot;
        LogLineFormat("InitINIFile()", "%s was cut off; restored from %s, next command %d", workingCopy,
                      slot.c_str(), static_cast<int>(GetPrivateProfileIntA("Commands", "CurrentCmd", 0, workingCopy)));
        return RestoreResult::Restored;
    }
    LogLineFormat("ERROR-=-", "%s was cut off and its saved state cannot be restored; it is used as it stands",
                  workingCopy);
    if (!ForgetSavedState(workingCopy)) return RestoreResult::Failed;
    return RestoreResult::Unusable;
}

static bool SaveWholeStateUnguarded() {
    if (g_script.failed) return false;
    const char *workingCopy = g_run.scriptFile;
    if (workingCopy[0] == '\0') return true;
    if (!Exists(workingCopy)) return ForgetSavedState(workingCopy);  // the script deleted itself
    std::string bytes;
    if (!ReadWhole(workingCopy, bytes)) {
        ReportScriptFailure("cannot read", workingCopy);
        return false;
    }
    if (!ReadsBackWhole(workingCopy, bytes)) {
        LogLineFormat("ERROR-=-", "%s does not hold what was written to it (is its volume full?); the state saved "
                      "before stays for a resume", workingCopy);
        g_script.failed = true;
        return false;
    }
    const int current = SlotInUse(workingCopy);
    const int slot = current == 0 ? 1 : 0;
    // The older record must not name the slot about to be overwritten: it is what
    // counts if the newest is cut off.
    if (current >= 0 && g_saved.olderSlot == slot &&
        !WriteRecord(workingCopy, current, g_saved.hasCursor, g_saved.cursor, g_saved.slotSize, g_saved.slotSum))
        return false;
    std::string copy = SavedStatePath(workingCopy, slot);
    // The copy's data on the disk before the record that names it.
    if (!WriteFileDurably(copy.c_str(), bytes)) return false;
    if (!WriteRecord(workingCopy, slot, false, 0, static_cast<unsigned>(bytes.size()),
                     ContentSum(bytes.data(), bytes.size())))
        return false;
    g_script.changed = false;
    g_script.stamp = Stamp(workingCopy);
    // The cursor the copy holds: the next cursor write changes only its digits.
    char cursorText[16];
    GetPrivateProfileStringA("Commands", "CurrentCmd", "", cursorText, sizeof cursorText, workingCopy);
    g_script.cursorText = cursorText;
    return true;
}

static bool SaveCommandCursorUnguarded(bool wholeFileChanged) {
    if (g_script.failed) return false;
    const char *workingCopy = g_run.scriptFile;
    if (!Exists(workingCopy)) return ForgetSavedState(workingCopy);
    char cursorText[16];
    text::FormatBounded(cursorText, sizeof cursorText, "%d", g_run.commandCursor);
    const int slot = SlotInUse(workingCopy);
    // A change not made through kestrel's routines shows in the file's size or time.
    const bool whole = wholeFileChanged || g_script.changed || slot < 0 ||
                       !SameStamp(g_script.stamp, Stamp(workingCopy));
    if (whole) {
        if (!WriteCursor(workingCopy, cursorText) || !SaveWholeStateUnguarded()) return false;
        g_script.cursorText = cursorText;
        return true;
    }
    // The record first, flushed: it is what a resumed run goes by.
    if (!WriteRecord(workingCopy, slot, true, g_run.commandCursor, g_saved.slotSize, g_saved.slotSum) ||
        !WriteCursor(workingCopy, cursorText))
        return false;
    // Only the cursor's digits changed: any other size is a write cut short.
    FileStamp after = Stamp(workingCopy);
    const bool expected = !g_script.cursorText.empty() && after.valid &&
                          after.size == g_script.stamp.size - g_script.cursorText.size() + strlen(cursorText);
    std::string bytes;
    if (!expected && (!ReadWhole(workingCopy, bytes) || !ReadsBackWhole(workingCopy, bytes))) {
        LogLineFormat("ERROR-=-", "%s does not hold what was written to it (is its volume full?); the state saved "
                      "before stays for a resume", workingCopy);
        g_script.failed = true;
        return false;
    }
    g_script.stamp = after;
    g_script.cursorText = cursorText;
    return true;
}

static bool FinishSavedStateUnguarded() {
    if (g_script.failed) return false;
    const char *workingCopy = g_run.scriptFile;
    if (workingCopy[0] == '\0') return true;
    if (!Exists(workingCopy)) return ForgetSavedState(workingCopy);
    std::string bytes;
    if (!ReadWhole(workingCopy, bytes) || !ReadsBackWhole(workingCopy, bytes)) {
        LogLineFormat("ERROR-=-", "%s does not hold what was written to it (is its volume full?); the state saved "
                      "before stays for a resume", workingCopy);
        g_script.failed = true;
        return false;
    }
    // The file on the disk before the state that could replace it goes.
    if (!FlushExisting(workingCopy)) return false;
    if (!ForgetSavedState(workingCopy))  // the file is whole: a resume would put back the same state
        LogLineFormat("WARNING-=-", "cannot remove the saved state of %s", workingCopy);
    return true;
}

// A save that runs out of memory fails like any other: the run stops, the state
// saved before stays.
template <typename Save> static bool Guarded(Save save) {
    try {
        return save();
    } catch (const std::bad_alloc &) {
        LogLine("ERROR-=-", "malloc returned a NULL pointer");
        g_script.failed = true;
        return false;
    }
}

bool SaveWholeState() { return Guarded([] { return SaveWholeStateUnguarded(); }); }
bool SaveCommandCursor(bool wholeFileChanged) {
    return Guarded([wholeFileChanged] { return SaveCommandCursorUnguarded(wholeFileChanged); });
}
bool FinishSavedState() { return Guarded([] { return FinishSavedStateUnguarded(); }); }

void ResetSavedState() {
    CloseJournal();
    g_script = ScriptState{};
}

bool ForgetSavedState(const char *workingCopy) {
    if (g_saved.workingCopy == workingCopy) CloseJournal();
    g_script.changed = false;
    g_script.stamp = FileStamp{};
    g_script.cursorText.clear();
    // The journal first: without it the slots are never read.
    bool removed = true;
    for (const std::string &path : {CursorJournalPath(workingCopy), SavedStatePath(workingCopy, 0),
                                    SavedStatePath(workingCopy, 1)}) {
        if (DeleteFileA(path.c_str())) continue;
        DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) continue;
        removed = false;
    }
    return removed;
}
