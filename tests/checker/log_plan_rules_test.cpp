// Which machine file a log is held against: by the serial number in the log's
// path, by the name of the log or of its folder; never a guess between two.
#include <gtest/gtest.h>

#include "log_plan.h"

namespace {

plan::MachineFacts Machine(const std::string &label, const std::string &serial) {
    plan::MachineFacts machine = plan::UnknownMachine();
    machine.label = label;
    machine.serial = serial;
    return machine;
}

TEST(LogPlan, ALogFindsItsMachineBySerialOrNameAndNeverByGuess) {
    const std::vector<plan::MachineFacts> fleet = {Machine("machines/kx200.ini", "SN123"),
                                                   Machine("machines\\pc07.ini", ""),
                                                   Machine("machines/tower.ini", "T7-0042")};
    std::string note;
    auto match = [&](const std::string &log) {
        note.clear();
        const plan::MachineFacts *found = plan::MatchMachine(log, fleet, note);
        return found ? found->label : "none: " + note;
    };
    EXPECT_EQ("machines/kx200.ini", match("logs/install-sn123.log"));     // the serial, in any case
    EXPECT_EQ("machines/tower.ini", match("logs\\T7-0042\\install.log"));  // in the folder's name
    EXPECT_EQ("machines\\pc07.ini", match("logs/PC07.log"));              // the log's own name
    EXPECT_EQ("machines\\pc07.ini", match("logs/pc07/install.log"));      // its folder's name
    EXPECT_EQ("none: no machine file matches this log (by serial number or name)", match("logs/pc08.log"));
    EXPECT_EQ(0u, match("pc07/SN123.log").find("none: 2 machine files match this log"));
}

}  // namespace
