// The trust boundary's pure rules: the update's working names, the device names, and the
// judgement of a file's security on descriptors built here in memory (Wine keeps only
// the owner's and everyone's rights of a real file, so most forms exist only this way).
#include <windows.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include "UpdateRules.h"
#include "UpdateTrustRules.h"

namespace {

// The self-relative descriptor of an SDDL text, as the system builds it.
std::vector<uint8_t> Descriptor(const char *sddl) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ULONG size = 0;
    EXPECT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl, SDDL_REVISION_1, &descriptor, &size))
        << sddl;
    if (descriptor == nullptr) return {};
    const auto *bytes = static_cast<const uint8_t *>(descriptor);
    std::vector<uint8_t> copy(bytes, bytes + size);
    LocalFree(descriptor);
    return copy;
}

SidBytes Sid(const char *text) {
    PSID sid = nullptr;
    EXPECT_TRUE(ConvertStringSidToSidA(text, &sid)) << text;
    SidBytes bytes(static_cast<const char *>(sid), GetLengthSid(sid));
    LocalFree(sid);
    return bytes;
}

const char kAgentAccount[] = "S-1-5-21-7-8-9-1000";

void Put16(std::vector<uint8_t> &bytes, size_t at, size_t value) {
    bytes[at] = static_cast<uint8_t>(value);
    bytes[at + 1] = static_cast<uint8_t>(value >> 8);
}

// Forms the system's SDDL reader here does not make: a descriptor owned by SYSTEM with
// the given access list entries (raw bytes), or with no access list when nullAcl.
std::vector<uint8_t> Built(const std::vector<std::string> &entries, bool nullAcl = false) {
    std::vector<uint8_t> bytes(20, 0);
    bytes[0] = 1;
    Put16(bytes, 2, 0x8004);  // self-relative, access list present
    bytes[4] = 20;            // owner right after the header
    bytes.insert(bytes.end(), kSystemSid.begin(), kSystemSid.end());
    if (nullAcl) return bytes;
    const size_t aclAt = bytes.size();
    bytes[16] = static_cast<uint8_t>(aclAt);
    bytes.insert(bytes.end(), 8, 0);
    bytes[aclAt] = 4;
    for (const std::string &entry : entries) bytes.insert(bytes.end(), entry.begin(), entry.end());
    Put16(bytes, aclAt + 2, bytes.size() - aclAt);
    Put16(bytes, aclAt + 4, entries.size());
    return bytes;
}

// An allow entry for objects: the right to write data, an object type (and an inherited
// one) when flagged, then the account.
std::string ObjectEntry(uint32_t objectFlags, const SidBytes &account) {
    std::string entry(4, '\0');
    entry[0] = 0x5;
    entry += std::string("\x02\x00\x00\x00", 4);
    entry += std::string(reinterpret_cast<const char *>(&objectFlags), 4);
    if (objectFlags & 1) entry += std::string(16, '\x11');
    if (objectFlags & 2) entry += std::string(16, '\x22');
    entry += account;
    entry[2] = static_cast<char>(entry.size());
    return entry;
}

}  // namespace

TEST(WorkingNames, AreNeverANewFilesName) {
    for (const char *name : {"external-update.vbs", "UPDATELIST.TXT", "refresher.log", "external-update.lock",
                             "refresher-staging", "warden.status", "warden.status.partial", "requests",
                             "tool.exe.refresher-new", "tool.exe.refresher-new-3", "tool.exe.refresher-old-0",
                             "Tool.Exe.Refresher-Old-12", "refresher.intent", "refresher-intent.tmp",
                             "refresher-intent.done", "refresher.result", "refresher.result.tmp"})
        EXPECT_TRUE(IsWorkingName(name)) << name;
    for (const char *name : {"refresher.dll", "warden.exe", "updatelist.txt.bak", "refresher.log2", "tool.exe",
                             "old-0.refresher", "requests.txt"})
        EXPECT_FALSE(IsWorkingName(name)) << name;
}

TEST(WorkingNames, TheSuperscriptPortsAreDevices) {
    // Code page 1252 writes the superscripts one to three as B9, B2, B3; UTF-8 as C2 B9...
    for (const char *name : {"COM\xB9", "com\xB2.txt", "LPT\xB3.log", "COM\xC2\xB9.txt", "lpt\xC2\xB2", "COM0",
                             "LPT0.dat"})
        EXPECT_FALSE(IsPlainFileName(name)) << name;
    for (const char *name : {"COM\xB4.txt", "COM\xB9\xB9.txt", "COM10", "LPT\xC2\xB4", "xCOM\xB9"})
        EXPECT_TRUE(IsPlainFileName(name)) << name;
}

TEST(JudgeFileSecurity, TrustsOnlyWhatNobodyElseCanChange) {
    struct Case {
        const char *sddl;
        SecurityVerdict::Kind kind;
        const char *account;
    } cases[] = {
        // As the agent's service leaves its new files, and as Windows protects its own.
        {"O:SYD:(A;;FA;;;SY)(A;;FA;;;BA)(A;;0x1200a9;;;BU)", SecurityVerdict::kTrusted, ""},
        {"O:BAD:PAI(A;ID;FA;;;SY)(A;ID;FA;;;BA)", SecurityVerdict::kTrusted, ""},
        {"O:S-1-5-21-7-8-9-1000D:(A;;FA;;;S-1-5-21-7-8-9-1000)", SecurityVerdict::kTrusted, ""},
        // Others may read, run, or change attributes and extended attributes.
        {"O:SYD:(A;;0x1201b9;;;WD)", SecurityVerdict::kTrusted, ""},
        // Entries for children only, and deny entries, grant nothing here.
        {"O:SYD:(A;OIIO;FA;;;WD)(D;;FA;;;AU)", SecurityVerdict::kTrusted, ""},
        // The owner.
        {"O:BUD:(A;;FA;;;SY)", SecurityVerdict::kOwnerNotTrusted, "S-1-5-32-545"},
        {"O:S-1-5-21-7-8-9-1001D:(A;;FA;;;SY)", SecurityVerdict::kOwnerNotTrusted, "S-1-5-21-7-8-9-1001"},
        {"D:(A;;FA;;;SY)", SecurityVerdict::kNoOwner, ""},
        // Each right that changes the file or who may: write, append, delete, access
        // list, owner, and the generic rights holding them.
        {"O:SYD:(A;;0x2;;;AU)", SecurityVerdict::kOthersMayChange, "S-1-5-11"},
        {"O:SYD:(A;;0x4;;;AU)", SecurityVerdict::kOthersMayChange, "S-1-5-11"},
        {"O:SYD:(A;;SD;;;WD)", SecurityVerdict::kOthersMayChange, "S-1-1-0"},
        {"O:SYD:(A;;WD;;;WD)", SecurityVerdict::kOthersMayChange, "S-1-1-0"},
        {"O:SYD:(A;;WO;;;WD)", SecurityVerdict::kOthersMayChange, "S-1-1-0"},
        {"O:SYD:(A;;GW;;;BU)", SecurityVerdict::kOthersMayChange, "S-1-5-32-545"},
        {"O:SYD:(A;;GA;;;BU)", SecurityVerdict::kOthersMayChange, "S-1-5-32-545"},
        {"O:SYD:(A;;FA;;;SY)(A;OICIID;0x1301bf;;;AU)", SecurityVerdict::kOthersMayChange, "S-1-5-11"},
        // The creator-owner placeholder and the agent's account on another machine are others too.
        {"O:SYD:(A;;FA;;;CO)", SecurityVerdict::kOthersMayChange, "S-1-3-0"},
        {"O:SYD:(A;;FA;;;S-1-5-21-7-8-10-1000)", SecurityVerdict::kOthersMayChange, "S-1-5-21-7-8-10-1000"},
        // No access list at all lets everyone do anything.
        {"O:SY", SecurityVerdict::kNoAccessList, ""},
    };
    const std::vector<SidBytes> agent{Sid(kAgentAccount)};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.sddl);
        const SecurityVerdict verdict = JudgeFileSecurity(Descriptor(c.sddl), agent);
        EXPECT_EQ(verdict.kind, c.kind);
        EXPECT_EQ(verdict.account, c.account);
    }
    // An object entry, with no, one or two object types before its account; a null
    // access list.
    for (uint32_t flags : {0u, 1u, 2u, 3u}) {
        SCOPED_TRACE(flags);
        const SecurityVerdict verdict = JudgeFileSecurity(Built({ObjectEntry(flags, Sid("S-1-5-11"))}), agent);
        EXPECT_EQ(verdict.kind, SecurityVerdict::kOthersMayChange);
        EXPECT_EQ(verdict.account, "S-1-5-11");
        EXPECT_EQ(JudgeFileSecurity(Built({ObjectEntry(flags, kAdministratorsSid)}), agent).kind,
                  SecurityVerdict::kTrusted);
    }
    EXPECT_EQ(JudgeFileSecurity(Built({}, true), agent).kind, SecurityVerdict::kNoAccessList);
    EXPECT_EQ(JudgeFileSecurity(Built({}), agent).kind, SecurityVerdict::kTrusted);
    // The agent's account is trusted only as the account the agent runs as.
    EXPECT_EQ(JudgeFileSecurity(Descriptor("O:S-1-5-21-7-8-9-1000D:(A;;FA;;;SY)"), {}).kind,
              SecurityVerdict::kOwnerNotTrusted);
    EXPECT_EQ(SidText(kSystemSid), "S-1-5-18");
    EXPECT_EQ(SidText(kAdministratorsSid), "S-1-5-32-544");
}

TEST(JudgeFileSecurity, RefusesBytesThatAreNoDescriptor) {
    const std::vector<uint8_t> good = Descriptor("O:SYD:(A;;FA;;;SY)(A;;0x1200a9;;;WD)");
    ASSERT_EQ(JudgeFileSecurity(good, {}).kind, SecurityVerdict::kTrusted);
    // Every shortened form, and the absolute form (no self-relative mark).
    for (size_t size = 0; size < good.size(); ++size) {
        const std::vector<uint8_t> cut(good.begin(), good.begin() + size);
        EXPECT_NE(JudgeFileSecurity(cut, {}).kind, SecurityVerdict::kTrusted) << size;
    }
    std::vector<uint8_t> absolute = good;
    absolute[3] &= 0x7f;
    EXPECT_EQ(JudgeFileSecurity(absolute, {}).kind, SecurityVerdict::kMalformed);
    // An entry count or size that runs past the access list.
    for (size_t at : {size_t{4}, size_t{16}}) {
        std::vector<uint8_t> bad = good;
        bad[at] = 0xf0;
        EXPECT_NE(JudgeFileSecurity(bad, {}).kind, SecurityVerdict::kTrusted) << at;
    }
    EXPECT_EQ(SidText(SidBytes("\x01\x05\x00", 3)), "(malformed)");
}
