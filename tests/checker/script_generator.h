// Random scripts for holding the planner against real runs: from a seed, the body
// of a script over the commands whose effect the planner claims to know, in the
// argument forms authors write (blanks, case, missing and empty sections, variable
// tokens, step widths in [Data] or set by 26, restarts with a jump pending). The
// same seed gives the same script on every build and compiler.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace plan_fuzz {

struct GeneratedCase {
    std::string machine;  // one of the driver's machines
    std::string release;  // a Windows release as --os names it
    // The lines after the driver's "[Data]" preamble: [Data] keys first, then
    // the sections.
    std::vector<std::string> body;
};

GeneratedCase GenerateCase(std::uint64_t seed);

}  // namespace plan_fuzz
