// The planner's answer for a fleet: many plans (machines x releases x
// architectures) read as one view. The outcomes grouped by their path, the
// plans that enter each section, the machines' facts with what looks wrong in
// them, and a matrix without the columns every row shares.
#pragma once
#include <string>
#include <vector>

#include "plan.h"

namespace plan {

// "KX-200 (machines/kx200.ini)": the model first when the file names one.
std::string MachineLabel(const Plan &plan);
std::string MachineLabel(const MachineFacts &machine);
// "KX-200 (machines/kx200.ini), Windows XP, x86".
std::string PlanLabel(const Plan &plan);

// A plan's path and endings, one text per run: "[CommandsList] [WinXP] -> restart".
std::vector<std::string> PathOf(const Plan &plan);

// Plans with the same path and endings, largest group first (ties in the order
// of their first plan); a group smaller than the first differs from the majority.
struct OutcomeGroup {
    std::vector<std::string> path;
    std::vector<size_t> plans;  // indexes into the plans given
};
std::vector<OutcomeGroup> GroupOutcomes(const std::vector<Plan> &plans);

// One row of the facts table and what looks wrong in the fleet's facts: an ID
// that reads as 0, and one ID read from different board products.
struct MachineRow {
    std::string file, model, makerMark, boardProduct, sysid, idRead, language;
    bool idKnown = false;
    unsigned id = 0;
};
std::vector<MachineRow> MachineRows(const std::vector<MachineFacts> &machines);
std::vector<std::string> FactWarnings(const std::vector<MachineRow> &rows);

std::string RenderFleetText(const std::vector<Plan> &plans, const std::vector<MachineFacts> &machines);
std::string RenderFleetMarkdown(const std::vector<Plan> &plans, const std::vector<MachineFacts> &machines);
// {"plans": [...], "outcomes": [...], "sections": [...], "matrix": {...}, "machines": [...], "warnings": [...]}
std::string RenderFleetJson(const std::vector<Plan> &plans, const std::vector<MachineFacts> &machines);

}  // namespace plan

namespace plan {

// A row (machine x release x architecture) whose path or ending differs between
// two versions of a script: where the two walks part, and the sections each
// enters.
struct MovedRow {
    size_t plan = 0;        // index into both plan lists: the same facts
    std::string partsAt;    // the first command where they part, as the log shows it
    std::string before, after;  // what each version does there
    std::vector<std::string> pathBefore, pathAfter;
};
std::vector<MovedRow> CompareRows(const std::vector<Plan> &before, const std::vector<Plan> &after);
std::string RenderMovedText(const std::vector<MovedRow> &moved, const std::vector<Plan> &before,
                            const std::vector<Plan> &after);
std::string RenderMovedJson(const std::vector<MovedRow> &moved, const std::vector<Plan> &after);

}  // namespace plan
