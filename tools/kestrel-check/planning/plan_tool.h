// kestrel-check --plan: the command line of the planner and its files.
#pragma once
#include <string>
#include <vector>

#include "plan.h"

namespace plan {

extern const char kPlanUsage[];

// True when the command line asks for a plan (--plan before any "--").
bool WantsPlan(int argc, char **argv);

// Exit status: 0 the plan was made, 2 a file could not be read or the command
// line is wrong.
int RunPlanTool(int argc, char **argv);

// Reads the machine files named (files, or folders of *.ini files). False, the
// reason said on standard error, when one cannot be read or is none.
bool LoadMachines(const std::vector<std::string> &given, std::vector<MachineFacts> &machines);

// A plan's script read for planning; false, the reason said, when it cannot be.
bool ReadScript(const std::string &path, check::ScriptFile &script);

}  // namespace plan
