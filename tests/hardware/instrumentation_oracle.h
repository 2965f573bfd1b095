// What the management instrumentation of the machine reports, asked through the
// script host (cscript): a second client, not ours, for the expected values.
#pragma once
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace hwtest {

// One property of the fallback and the key it fills.
struct FallbackProperty {
    const char *className;
    const char *propertyName;
    const char *key;
};
// The fallback's reads in their order, in three runs: before the board ID, the
// board's serial number and version, the chassis.
extern const std::vector<FallbackProperty> kSystemReads, kBoardReads, kChassisReads;

class Instrumentation {
public:
    // Asks the script host once; every property it cannot read is the empty text.
    static const Instrumentation &Get();
    std::string Value(const std::string &className, const std::string &propertyName) const;
    // The first chassis type of the system enclosure, from the SMBIOS table the
    // system hands out; 0 when it has none.
    unsigned ChassisType() const { return chassisType_; }
    bool Answered() const { return !values_.empty(); }

private:
    std::map<std::string, std::string> values_;  // "Class.Property" -> text
    unsigned chassisType_ = 0;
};

using KeyValues = std::vector<std::pair<std::string, std::string>>;

// Every key the fallback writes, in its order, as the instrumentation's values
// give them. withScript: the [DATA] SYSID write is among them.
KeyValues ExpectedFallbackKeys(bool withScript);

std::vector<std::string> AsLines(const KeyValues &keyValues);

}  // namespace hwtest
