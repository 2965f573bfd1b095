#include "script_guard.h"

#include <windows.h>

#include <climits>
#include <cstdlib>
#include <cstring>

#include "bounded_text.h"
#include "install_log.h"
#include "profile_utils.h"
#include "run_state.h"
#include "win_owners.h"

namespace {

// The journal of the working copy named here, open for the run, and what its
// records say; slot -1 when no saved state has been made or restored.
struct SavedState {
    std::string workingCopy;
    ScopedHandle journal;
    int slot = -1;
    unsigned sequence = 0;
    int place = 1;       // of the last record written; the next goes to the other
    int olderSlot = -1;  // the slot the other place's record names
} g_saved;

int SlotInUse(const char *workingCopy) { return g_saved.workingCopy == workingCopy ? g_saved.slot : -1; }

bool Exists(const std::string &path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

void CloseJournal() { g_saved = SavedState{}; }

// A journal without a saved state behind it starts empty: a record left by an
// earlier run must never count for this one.
bool OpenJournal(const char *workingCopy) {
    if (g_saved.workingCopy != workingCopy) CloseJournal();
    if (g_saved.journal.Valid()) return true;
    DWORD disposition = g_saved.slot < 0 ? CREATE_ALWAYS : OPEN_ALWAYS;
    g_saved.workingCopy = workingCopy;
    g_saved.journal.Reset(CreateFileA(CursorJournalPath(workingCopy).c_str(), GENERIC_READ | GENERIC_WRITE,
                                      FILE_SHARE_READ, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr));
    return g_saved.journal.Valid();
}

// One write of one record into the place the last one did not use: a kill
// leaves the older record whole.
bool WriteRecord(const char *workingCopy, int slot, bool hasCursor, int cursor) {
    if (!OpenJournal(workingCopy)) return false;
    SavedStateRecord record;
    record.sequence = g_saved.sequence + 1;
    record.slot = slot;
    record.hasCursor = hasCursor;
    record.cursor = cursor;
    char bytes[kSavedStateRecordSize];
    if (!FormatSavedStateRecord(record, bytes)) return false;
    const int place = 1 - g_saved.place;
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(place * kSavedStateRecordSize);
    DWORD written = 0;
    if (!WriteFile(g_saved.journal.Get(), bytes, sizeof bytes, &written, &at) || written != sizeof bytes)
        return false;
    g_saved.olderSlot = g_saved.slot;
    g_saved.slot = slot;
    g_saved.sequence = record.sequence;
    g_saved.place = place;
    return true;
}

void WriteCursor(const char *workingCopy, int cursor) {
    WriteProfileInt("Commands", "CurrentCmd", cursor, workingCopy);
    FlushProfile(workingCopy);
}

unsigned RecordSum(const char *bytes, size_t length) {
    unsigned sum = 2166136261u;  // FNV-1a
    for (size_t i = 0; i < length; ++i) sum = (sum ^ static_cast<unsigned char>(bytes[i])) * 16777619u;
    return sum;
}

constexpr size_t kRecordBody = 50;  // "seq=... slot=... cursor=..." padded with blanks
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

}  // namespace

std::string SavedStatePath(const char *workingCopy, int slot) {
    return std::string(workingCopy) + (slot == 0 ? ".ksave0" : ".ksave1");
}
std::string CursorJournalPath(const char *workingCopy) { return std::string(workingCopy) + ".kjournal"; }

bool FormatSavedStateRecord(const SavedStateRecord &record, char (&out)[kSavedStateRecordSize]) {
    if (record.slot != 0 && record.slot != 1) return false;
    char body[kRecordBody + 1];
    if (record.hasCursor)
        text::FormatBounded(body, sizeof body, "seq=%08x slot=%d cursor=%d", record.sequence, record.slot,
                            record.cursor);
    else
        text::FormatBounded(body, sizeof body, "seq=%08x slot=%d cursor=none", record.sequence, record.slot);
    memset(out, ' ', kRecordBody);
    memcpy(out, body, strlen(body));
    char tail[kSavedStateRecordSize - kRecordBody + 1];
    text::FormatBounded(tail, sizeof tail, "%s%08x\r\n", kSum, RecordSum(out, kRecordBody));
    memcpy(out + kRecordBody, tail, sizeof tail - 1);
    return true;
}

bool ParseSavedStateRecord(const char *bytes, size_t length, SavedStateRecord &record) {
    if (!bytes || length < kSavedStateRecordSize) return false;
    const char *tail = bytes + kRecordBody;
    unsigned sum = 0;
    if (strncmp(tail, kSum, sizeof kSum - 1) != 0 || !ReadHex(tail + sizeof kSum - 1, sum) ||
        strncmp(bytes + kSavedStateRecordSize - 2, "\r\n", 2) != 0 || sum != RecordSum(bytes, kRecordBody))
        return false;
    char body[kRecordBody + 1];
    memcpy(body, bytes, kRecordBody);
    body[kRecordBody] = '\0';
    SavedStateRecord read;
    const char *at = body;
    if (!Skip(at, "seq=") || !ReadHex(at, read.sequence)) return false;
    at += 8;
    if (!Skip(at, " slot=") || (*at != '0' && *at != '1')) return false;
    read.slot = *at++ - '0';
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
        size_t offset = place * kSavedStateRecordSize;
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

bool RestoreSavedState(const char *workingCopy) {
    char bytes[2 * kSavedStateRecordSize];
    DWORD got = 0;
    {
        ScopedHandle journal(CreateFileA(CursorJournalPath(workingCopy).c_str(), GENERIC_READ,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                         FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!journal.Valid()) return false;
        if (!ReadFile(journal.Get(), bytes, sizeof bytes, &got, nullptr)) got = 0;
    }
    if (got == 0) {  // cut off before its first record: the file was whole then
        ForgetSavedState(workingCopy);
        return false;
    }
    JournalReading reading;
    bool readable = ReadJournalRecords(bytes, got, reading);
    std::string slot = SavedStatePath(workingCopy, reading.newest.slot);
    if (!readable || !ReplaceFileWhole(slot.c_str(), workingCopy)) {
        LogLineFormat("ERROR-=-", "%s was cut off and its saved state cannot be restored; it is used as it stands",
                      workingCopy);
        ForgetSavedState(workingCopy);
        return false;
    }
    if (reading.newest.hasCursor) WriteCursor(workingCopy, reading.newest.cursor);
    CloseJournal();
    g_saved.workingCopy = workingCopy;
    g_saved.slot = reading.newest.slot;
    g_saved.sequence = reading.newest.sequence;
    g_saved.place = reading.place;
    g_saved.olderSlot = reading.olderSlot;
    LogLineFormat("InitINIFile()", "%s was cut off; restored from %s, next command %d", workingCopy, slot.c_str(),
                  static_cast<int>(GetPrivateProfileIntA("Commands", "CurrentCmd", 0, workingCopy)));
    return true;
}

void EnsureSavedState() {
    if (SlotInUse(g_run.scriptFile) < 0) SaveWholeState();
}

void SaveWholeState() {
    const char *workingCopy = g_run.scriptFile;
    if (workingCopy[0] == '\0') return;
    if (!Exists(workingCopy)) {
        ForgetSavedState(workingCopy);
        return;
    }
    const int current = SlotInUse(workingCopy);
    const int slot = current == 0 ? 1 : 0;
    bool saved = true;
    // The older record must not name the slot about to be overwritten: it is what
    // counts if the newest is cut off.
    if (current >= 0 && g_saved.olderSlot == slot) saved = WriteRecord(workingCopy, current, false, 0);
    std::string copy = SavedStatePath(workingCopy, slot);
    SetFileAttributesA(copy.c_str(), FILE_ATTRIBUTE_NORMAL);
    saved = saved && CopyFileA(workingCopy, copy.c_str(), FALSE) && WriteRecord(workingCopy, slot, false, 0);
    if (saved) return;
    char errorText[260];
    unsigned long code = DescribeLastError(errorText, sizeof errorText);
    LogLineFormat("ERROR-=-", "cannot save the state of %s (%lu, %s); a run cut off now may find it torn",
                  workingCopy, code, errorText);
    // An older copy paired with a newer cursor would undo this step's changes.
    ForgetSavedState(workingCopy);
}

void SaveCommandCursor(bool wholeFileChanged) {
    const char *workingCopy = g_run.scriptFile;
    const int slot = SlotInUse(workingCopy);
    if (wholeFileChanged || slot < 0 || !WriteRecord(workingCopy, slot, true, g_run.commandCursor)) {
        WriteCursor(workingCopy, g_run.commandCursor);
        SaveWholeState();
        return;
    }
    WriteCursor(workingCopy, g_run.commandCursor);
}

void ForgetSavedState(const char *workingCopy) {
    if (g_saved.workingCopy == workingCopy) CloseJournal();
    // The journal first: without it the slots are never read.
    DeleteFileA(CursorJournalPath(workingCopy).c_str());
    DeleteFileA(SavedStatePath(workingCopy, 0).c_str());
    DeleteFileA(SavedStatePath(workingCopy, 1).c_str());
}
