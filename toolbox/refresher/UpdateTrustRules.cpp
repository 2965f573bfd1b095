#include "UpdateTrustRules.h"

#include <cctype>

namespace {

std::string Lower(std::string text) {
    for (char &c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

bool EndsWith(const std::string &text, const std::string &tail) {
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// A bounded little-endian reader over the descriptor's bytes.
struct Bytes {
    const std::vector<uint8_t> &data;
    bool Has(size_t at, size_t length) const { return at <= data.size() && length <= data.size() - at; }
    uint32_t U8(size_t at) const { return data[at]; }
    uint32_t U16(size_t at) const { return data[at] | (data[at + 1] << 8); }
    uint32_t U32(size_t at) const { return U16(at) | (U16(at + 2) << 16); }
    // The SID at offset at, within limit; false when it does not fit.
    bool Sid(size_t at, size_t limit, SidBytes &sid) const {
        if (limit > data.size() || !Has(at, 8) || at + 8 > limit || U8(at) != 1) return false;
        const size_t length = 8 + 4 * U8(at + 1);
        if (at + length > limit) return false;
        sid.assign(reinterpret_cast<const char *>(data.data() + at), length);
        return true;
    }
};

// Control bits and entry kinds of the self-relative form.
const uint32_t kDaclPresent = 0x0004, kSelfRelative = 0x8000;
const uint32_t kInheritOnly = 0x08;
enum AceType : uint32_t {
    kAllowed = 0x0,
    kAllowedCompound = 0x4,
    kAllowedObject = 0x5,
    kAllowedCallback = 0x9,
    kAllowedCallbackObject = 0xB,
};

bool Trusted(const SidBytes &sid, const std::vector<SidBytes> &extraTrusted) {
    if (sid == kSystemSid || sid == kAdministratorsSid) return true;
    for (const SidBytes &trusted : extraTrusted) {
        if (sid == trusted) return true;
    }
    return false;
}

}  // namespace

bool IsWorkingName(const std::string &name) {
    using namespace working_names;
    static const char *const kNames[] = {kUpdateScript, kUpdateList,   kUpdateLog,     kUpdateLock,
                                         kStagingFolder, kHostStatus, kHostRequests,
                                         kUpdateRecord, kUpdateRecordPartial, kUpdateRecordDone,
                                         kUpdateResult, kUpdateResultPartial};
    const std::string lower = Lower(name);
    for (const char *working : kNames) {
        if (lower == working || lower == std::string(working) + kPartialSuffix) return true;
    }
    return lower.find(kStagedSuffix) != std::string::npos || lower.find(kOldCopySuffix) != std::string::npos;
}

std::string SidText(const SidBytes &sid) {
    const std::vector<uint8_t> bytes(sid.begin(), sid.end());
    Bytes view{bytes};
    SidBytes checked;
    if (!view.Sid(0, bytes.size(), checked) || checked.size() != bytes.size()) return "(malformed)";
    uint64_t authority = 0;
    for (size_t i = 2; i < 8; ++i) authority = (authority << 8) | bytes[i];
    std::string text = "S-1-" + std::to_string(authority);
    for (size_t at = 8; at < bytes.size(); at += 4) text += "-" + std::to_string(view.U32(at));
    return text;
}

SecurityVerdict JudgeFileSecurity(const std::vector<uint8_t> &descriptor, const std::vector<SidBytes> &extraTrusted) {
    const Bytes sd{descriptor};
    if (!sd.Has(0, 20) || sd.U8(0) != 1 || !(sd.U16(2) & kSelfRelative)) return {SecurityVerdict::kMalformed, ""};
    const uint32_t control = sd.U16(2), ownerAt = sd.U32(4), daclAt = sd.U32(16);

    if (ownerAt == 0) return {SecurityVerdict::kNoOwner, ""};
    SidBytes owner;
    if (!sd.Sid(ownerAt, descriptor.size(), owner)) return {SecurityVerdict::kMalformed, ""};
    if (!Trusted(owner, extraTrusted)) return {SecurityVerdict::kOwnerNotTrusted, SidText(owner)};

    if (!(control & kDaclPresent) || daclAt == 0) return {SecurityVerdict::kNoAccessList, ""};
    if (!sd.Has(daclAt, 8) || sd.U8(daclAt) < 2 || sd.U8(daclAt) > 4) return {SecurityVerdict::kMalformed, ""};
    const size_t aclEnd = daclAt + sd.U16(daclAt + 2);
    if (aclEnd > descriptor.size() || aclEnd < daclAt + 8) return {SecurityVerdict::kMalformed, ""};
    size_t at = daclAt + 8;
    for (uint32_t i = 0, count = sd.U16(daclAt + 4); i < count; ++i) {
        if (at + 4 > aclEnd) return {SecurityVerdict::kMalformed, ""};
        const uint32_t type = sd.U8(at), flags = sd.U8(at + 1), size = sd.U16(at + 2);
        const size_t end = at + size;
        if (size < 4 || end > aclEnd) return {SecurityVerdict::kMalformed, ""};
        const bool allows = type == kAllowed || type == kAllowedCompound || type == kAllowedObject ||
                            type == kAllowedCallback || type == kAllowedCallbackObject;
        if (allows && !(flags & kInheritOnly)) {
            if (end < at + 8) return {SecurityVerdict::kMalformed, ""};
            const uint32_t mask = sd.U32(at + 4);
            if (mask & kChangingRights) {
                size_t sidAt = at + 8;
                if (type == kAllowedObject || type == kAllowedCallbackObject) {
                    if (end < at + 12) return {SecurityVerdict::kMalformed, ""};
                    const uint32_t objectFlags = sd.U32(at + 8);
                    sidAt = at + 12 + ((objectFlags & 1) ? 16 : 0) + ((objectFlags & 2) ? 16 : 0);
                }
                SidBytes account;
                // A compound entry speaks for a server on a client's behalf: not read, refused.
                if (type == kAllowedCompound || !sd.Sid(sidAt, end, account))
                    return {SecurityVerdict::kOthersMayChange, "(unreadable entry)"};
                if (!Trusted(account, extraTrusted)) return {SecurityVerdict::kOthersMayChange, SidText(account)};
            }
        }
        at = end;
    }
    return {SecurityVerdict::kTrusted, ""};
}
