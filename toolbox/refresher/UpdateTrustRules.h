// Rules of the update's trust boundary that need no I/O: the names the update itself
// uses in the agent folder, and whether a file's security lets anyone but the trusted
// accounts change it. No Windows headers here: a security descriptor is read as the
// bytes of its self-relative form.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

// Every name the update works with in the agent folder. A request may never name one
// of them as its destination: a "new" updatelist.txt or tool.exe.refresher-old-0 would
// be overwritten or removed by the update itself. Add a name here, nowhere else.
namespace working_names {
inline constexpr char kUpdateScript[] = "external-update.vbs";
inline constexpr char kUpdateList[] = "updatelist.txt";
inline constexpr char kUpdateLog[] = "refresher.log";
inline constexpr char kUpdateLock[] = "external-update.lock";
inline constexpr char kStagingFolder[] = "refresher-staging";
// The update record (under its own name, while written, once committed) and the
// script's result (written under ".tmp", then renamed): their writer is UpdateIntent.
inline constexpr char kUpdateRecord[] = "refresher.intent";
inline constexpr char kUpdateRecordPartial[] = "refresher-intent.tmp";
inline constexpr char kUpdateRecordDone[] = "refresher-intent.done";
inline constexpr char kUpdateResult[] = "refresher.result";
inline constexpr char kUpdateResultPartial[] = "refresher.result.tmp";
// The host's own: its status file (written whole through ".partial") and request folder.
inline constexpr char kHostStatus[] = "warden.status";
inline constexpr char kHostRequests[] = "requests";
// Suffixes beside each replaced destination, each followed by the pair's number: the new
// file before the swap, the old one until the whole update is done.
inline constexpr char kStagedSuffix[] = ".refresher-new";
inline constexpr char kOldCopySuffix[] = ".refresher-old-";
inline constexpr char kPartialSuffix[] = ".partial";
}  // namespace working_names

// True for a name (no folder) that the update or its host uses, in any case: one of the
// names above, one of them followed by ".partial", or any name holding the new-file or
// the old-copy suffix.
bool IsWorkingName(const std::string &name);

// A security identifier in its binary form (revision, count, authority, sub-authorities).
using SidBytes = std::string;
inline const SidBytes kSystemSid("\x01\x01\x00\x00\x00\x00\x00\x05\x12\x00\x00\x00", 12);
inline const SidBytes kAdministratorsSid("\x01\x02\x00\x00\x00\x00\x00\x05\x20\x00\x00\x00\x20\x02\x00\x00", 16);

// "S-1-5-18" for the bytes of a SID; "(malformed)" when they are not one.
std::string SidText(const SidBytes &sid);

struct SecurityVerdict {
    enum Kind {
        kTrusted,          // owned by a trusted account, and only trusted accounts may change it
        kMalformed,        // the bytes are no self-relative security descriptor
        kNoOwner,          // it names no owner
        kOwnerNotTrusted,  // account: the owner
        kNoAccessList,     // no access list: everyone may do anything
        kOthersMayChange,  // account: one that may write, delete or change its security
    } kind;
    std::string account;  // SID text, where the kind names one
};

// Judges a file by its self-relative security descriptor (owner and access list): it
// can be trusted only when its owner is SYSTEM, Administrators or one of the extra
// trusted accounts, and no other account is allowed to write it, delete it, or change
// its access list or owner. Deny entries are not credited (they only ever narrow what
// an allow entry grants, so ignoring them errs on the side of refusing); entries that
// apply only to children are skipped; an allow entry of a kind this rule cannot read
// counts against the file.
SecurityVerdict JudgeFileSecurity(const std::vector<uint8_t> &descriptor, const std::vector<SidBytes> &extraTrusted);

// The access rights that let an account change a file or who may: write or append its
// data, delete it, change its access list or owner (and the generic rights that hold them).
inline constexpr uint32_t kChangingRights = 0x00000002u | 0x00000004u | 0x00010000u | 0x00040000u | 0x00080000u |
                                            0x02000000u | 0x10000000u | 0x40000000u;
