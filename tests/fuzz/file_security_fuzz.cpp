// The refresher's judgement of a new file's security: the input is taken as the bytes
// of a self-relative security descriptor, read with no trusted account beyond SYSTEM
// and Administrators, then with the input's opening bytes as one more.
#include <string>
#include <vector>

#include "UpdateTrustRules.h"
#include "fuzz_check.h"

namespace {

bool NamesAnAccount(SecurityVerdict::Kind kind) {
    return kind == SecurityVerdict::kOwnerNotTrusted || kind == SecurityVerdict::kOthersMayChange;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const std::vector<uint8_t> descriptor(data, data + size);
    const SecurityVerdict plain = JudgeFileSecurity(descriptor, {});
    FUZZ_CHECK(NamesAnAccount(plain.kind) == !plain.account.empty());

    // Trusting one more account never makes a trusted file untrusted.
    const SidBytes extra(reinterpret_cast<const char *>(data), size < 28 ? size : 28);
    const SecurityVerdict wider = JudgeFileSecurity(descriptor, {extra});
    FUZZ_CHECK(NamesAnAccount(wider.kind) == !wider.account.empty());
    if (plain.kind == SecurityVerdict::kTrusted) FUZZ_CHECK(wider.kind == SecurityVerdict::kTrusted);
    if (plain.kind == SecurityVerdict::kMalformed) FUZZ_CHECK(wider.kind != SecurityVerdict::kTrusted);
    SidText(extra);
    return 0;
}
