// What a change of the script moves: the same facts planned with the old and
// the new script, row by row.
#include "findings.h"
#include "fleet.h"

namespace plan {

namespace {

struct Step {
    size_t run;
    const PlannedCommand *command;  // null: the run ends here
};

std::vector<Step> Steps(const Plan &plan) {
    std::vector<Step> steps;
    for (size_t r = 0; r < plan.runs.size(); ++r) {
        for (const PlannedCommand &command : plan.runs[r].commands) steps.push_back({r, &command});
        steps.push_back({r, nullptr});
    }
    return steps;
}

std::string Chose(const Plan &plan, const Step &step) {
    if (!step.command) {
        const PlannedRun &run = plan.runs[step.run];
        return std::string("the run ends: ") + RunEndName(run.end) + " (" + run.endReason + ")";
    }
    const PlannedCommand &command = *step.command;
    if (!command.branches) return command.logLine;
    if (command.decision.argument < 0) return "undecided: " + command.decision.reason;
    return "[" + command.decision.target + "]: " + command.decision.reason;
}

bool SameStep(const Step &a, const Step &b) {
    if ((a.command == nullptr) != (b.command == nullptr) || a.run != b.run) return false;
    if (!a.command) return true;
    if (a.command->logLine != b.command->logLine || a.command->branches != b.command->branches) return false;
    return !a.command->branches || (a.command->decision.argument == b.command->decision.argument &&
                                    check::Folded(a.command->decision.target) ==
                                        check::Folded(b.command->decision.target));
}

}  // namespace

std::vector<MovedRow> CompareRows(const std::vector<Plan> &before, const std::vector<Plan> &after) {
    std::vector<MovedRow> moved;
    for (size_t i = 0; i < before.size() && i < after.size(); ++i) {
        MovedRow row;
        row.plan = i;
        row.pathBefore = PathOf(before[i]);
        row.pathAfter = PathOf(after[i]);
        if (row.pathBefore == row.pathAfter) continue;
        const std::vector<Step> old = Steps(before[i]), now = Steps(after[i]);
        size_t k = 0;
        while (k < old.size() && k < now.size() && SameStep(old[k], now[k])) ++k;
        if (k < old.size() && k < now.size()) {
            const Step &at = old[k].command ? old[k] : now[k];
            row.partsAt = at.command ? at.command->logLine + " (in [" + at.command->section + "])"
                                     : "the end of run " + std::to_string(at.run + 1);
            row.before = Chose(before[i], old[k]);
            row.after = Chose(after[i], now[k]);
        } else {
            row.partsAt = "the end of the plan";
            row.before = k < old.size() ? Chose(before[i], old[k]) : "nothing more";
            row.after = k < now.size() ? Chose(after[i], now[k]) : "nothing more";
        }
        moved.push_back(row);
    }
    return moved;
}

std::string RenderMovedText(const std::vector<MovedRow> &moved, const std::vector<Plan> &before,
                            const std::vector<Plan> &after) {
    std::string out = std::to_string(moved.size()) + " of " + std::to_string(after.size()) +
                      (after.size() == 1 ? " row" : " rows") + " moved between " +
                      (before.empty() ? std::string() : before.front().script) + " and " +
                      (after.empty() ? std::string() : after.front().script) + "\n";
    for (const MovedRow &row : moved) {
        out += "\n" + PlanLabel(after[row.plan]) + "\n";
        out += "  parts at " + row.partsAt + "\n";
        out += "    before: " + row.before + "\n";
        out += "    after:  " + row.after + "\n";
        out += "  sections before:";
        for (const std::string &run : row.pathBefore) out += " " + run + ";";
        out.back() = '\n';
        out += "  sections after: ";
        for (const std::string &run : row.pathAfter) out += " " + run + ";";
        out.back() = '\n';
    }
    return out;
}

std::string RenderMovedJson(const std::vector<MovedRow> &moved, const std::vector<Plan> &after) {
    auto list = [](const std::vector<std::string> &values) {
        std::string out = "[";
        for (size_t i = 0; i < values.size(); ++i) out += (i ? ", " : "") + check::JsonString(values[i]);
        return out + "]";
    };
    std::string out = "{\"rows\": " + std::to_string(after.size()) + ", \"moved\": [\n";
    for (size_t m = 0; m < moved.size(); ++m) {
        const MovedRow &row = moved[m];
        const Plan &plan = after[row.plan];
        out += "  {\"machine\": " + check::JsonString(plan.machine) + ", \"model\": " + check::JsonString(plan.model) +
               ", \"windows\": " + check::JsonString(plan.windows) + ", \"process\": " +
               check::JsonString(plan.process) + ",\n   \"partsAt\": " + check::JsonString(row.partsAt) +
               ", \"before\": " + check::JsonString(row.before) + ", \"after\": " + check::JsonString(row.after) +
               ",\n   \"pathBefore\": " + list(row.pathBefore) + ", \"pathAfter\": " + list(row.pathAfter) + "}" +
               (m + 1 < moved.size() ? "," : "") + "\n";
    }
    return out + "]}\n";
}

}  // namespace plan
