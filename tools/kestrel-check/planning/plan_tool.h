// kestrel-check --plan: the command line of the planner and its files.
#pragma once

namespace plan {

extern const char kPlanUsage[];

// True when the command line asks for a plan (--plan before any "--").
bool WantsPlan(int argc, char **argv);

// Exit status: 0 the plan was made, 2 a file could not be read or the command
// line is wrong.
int RunPlanTool(int argc, char **argv);

}  // namespace plan
