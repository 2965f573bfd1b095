// Install logs held against the plan of their script: the machine a log comes
// from (the hardware information file kestrel wrote beside it, or a machine
// file matched by serial number or name), planned with the Windows release and
// process the log saw, and the first place where the run left the plan.
#pragma once
#include <string>
#include <vector>

#include "log_summary.h"
#include "plan.h"

namespace plan {

// The machine file of a log among those given: the one whose serial number is
// part of the log's path, or whose name (without .ini) is the log's name
// (without its extension) or the name of the log's folder. Null when none or
// more than one fits; why is said in note.
const MachineFacts *MatchMachine(const std::string &logPath, const std::vector<MachineFacts> &machines,
                                 std::string &note);

// The machine of a log: the --machine file that matches it, else the hardware
// information file kestrel wrote beside the log on that PC (mira.ini), else a
// machine whose every fact is known only on the PC. note says which, or why none.
MachineFacts MachineOfLog(const std::string &logPath, const std::vector<MachineFacts> &machines, std::string &note);

// The plan's facts for a log: the machine's, and the release and process the
// log's branch commands saw where the command line gives none.
PlanFacts FactsOfLog(const logsum::LogSummary &log, const MachineFacts &machine, const PlanFacts &given);

// "as planned ...", or where the run left the plan:
// "planned [SupportedBoard], took [GenericBoard] at CMD10: the ID read was 0X0000".
// False when it left the plan.
bool HoldAgainstPlan(const logsum::LogSummary &log, const Plan &plan, std::string &verdict);

}  // namespace plan
