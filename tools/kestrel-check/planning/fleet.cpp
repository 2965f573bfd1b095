#include "fleet.h"

#include <algorithm>
#include <map>

#include "findings.h"
#include "script_reader.h"

namespace plan {

using check::JsonString;

namespace {

std::string JsonList(const std::vector<std::string> &values) {
    std::string out = "[";
    for (size_t i = 0; i < values.size(); ++i) out += (i ? ", " : "") + JsonString(values[i]);
    return out + "]";
}

std::string Cell(const std::string &value) {
    std::string out;
    for (char c : value) out += c == '|' ? std::string("\\|") : std::string(1, c);
    return out.empty() ? "-" : out;
}

std::string Plural(size_t count, const char *one, const char *many) {
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

bool Enters(const Plan &plan, const std::string &section) {
    for (const std::string &name : plan.SectionsEntered())
        if (check::Folded(name) == check::Folded(section)) return true;
    return false;
}

// Every section some plan enters, in the script's order.
std::vector<std::string> SectionsOfAll(const std::vector<Plan> &plans) {
    std::vector<std::string> sections;
    for (const Plan &plan : plans)
        for (const std::string &name : plan.SectionsEntered())
            if (std::none_of(sections.begin(), sections.end(),
                             [&](const std::string &s) { return check::Folded(s) == check::Folded(name); }))
                sections.push_back(name);
    if (!plans.empty()) {
        const std::vector<std::string> &order = plans.front().scriptSections;
        auto place = [&](const std::string &name) {
            return std::find(order.begin(), order.end(), check::Folded(name)) - order.begin();
        };
        std::stable_sort(sections.begin(), sections.end(),
                         [&](const std::string &a, const std::string &b) { return place(a) < place(b); });
    }
    return sections;
}

// The sections split into those every plan enters and those only some do.
struct Columns {
    std::vector<std::string> shared, varying;
};
Columns SplitColumns(const std::vector<Plan> &plans) {
    Columns columns;
    for (const std::string &section : SectionsOfAll(plans)) {
        const bool all = std::all_of(plans.begin(), plans.end(), [&](const Plan &p) { return Enters(p, section); });
        (all ? columns.shared : columns.varying).push_back(section);
    }
    return columns;
}

std::string Ends(const Plan &plan) {
    std::string ends;
    for (const PlannedRun &run : plan.runs) ends += (ends.empty() ? "" : " -> ") + std::string(RunEndName(run.end));
    return ends;
}

std::string Joined(const std::vector<std::string> &items, const std::string &between) {
    std::string out;
    for (const std::string &item : items) out += (out.empty() ? "" : between) + item;
    return out;
}

std::string Bracketed(const std::vector<std::string> &sections) {
    std::vector<std::string> shown;
    for (const std::string &name : sections) shown.push_back("[" + name + "]");
    return Joined(shown, " ");
}

std::string Title(const std::vector<Plan> &plans) {
    std::vector<std::string> releases, processes, machineLabels;
    for (const Plan &plan : plans) {
        if (std::find(machineLabels.begin(), machineLabels.end(), plan.machine) == machineLabels.end())
            machineLabels.push_back(plan.machine);
        if (std::find(releases.begin(), releases.end(), plan.windows) == releases.end())
            releases.push_back(plan.windows);
        if (std::find(processes.begin(), processes.end(), plan.process) == processes.end())
            processes.push_back(plan.process);
    }
    return (plans.empty() ? std::string() : plans.front().script) + ": " + Plural(plans.size(), "plan", "plans") +
           " (" + Plural(machineLabels.size(), "machine", "machines") + " x " +
           Plural(releases.size(), "release", "releases") + " x " +
           Plural(processes.size(), "architecture", "architectures") + ")";
}

// The plans of a list, one line a machine: "Box (box.ini): Windows XP (x86, WOW64)",
// or "every plan" when the list holds all of that machine's plans.
std::vector<std::string> MemberLines(const std::vector<Plan> &plans, const std::vector<size_t> &members) {
    std::vector<std::string> machines, lines;
    for (size_t i : members)
        if (std::find(machines.begin(), machines.end(), plans[i].machine) == machines.end())
            machines.push_back(plans[i].machine);
    for (const std::string &machine : machines) {
        size_t all = 0, listed = 0;
        for (const Plan &plan : plans) all += plan.machine == machine;
        std::vector<std::pair<std::string, std::string>> releases;  // release, its processes
        std::string label;
        for (size_t i : members) {
            if (plans[i].machine != machine) continue;
            ++listed;
            label = MachineLabel(plans[i]);
            auto found = std::find_if(releases.begin(), releases.end(), [&](const auto &r) {
                return r.first == plans[i].windows;
            });
            if (found == releases.end())
                releases.push_back({plans[i].windows, plans[i].process});
            else
                found->second += ", " + plans[i].process;
        }
        std::string line = label + ": ";
        if (listed == all && all > 1) {
            line += "every plan of it";
        } else {
            for (size_t r = 0; r < releases.size(); ++r)
                line += (r ? ", " : "") + releases[r].first + " (" + releases[r].second + ")";
        }
        lines.push_back(line);
    }
    return lines;
}

}  // namespace

std::string MachineLabel(const Plan &plan) {
    return plan.model.empty() ? plan.machine : plan.model + " (" + plan.machine + ")";
}

std::string MachineLabel(const MachineFacts &machine) {
    return machine.model.empty() ? machine.label : machine.model + " (" + machine.label + ")";
}

std::string PlanLabel(const Plan &plan) { return MachineLabel(plan) + ", " + plan.windows + ", " + plan.process; }

std::vector<std::string> PathOf(const Plan &plan) {
    std::vector<std::string> path;
    for (const PlannedRun &run : plan.runs)
        path.push_back((run.sectionsEntered.empty() ? std::string("(no section)") : Bracketed(run.sectionsEntered)) +
                       " -> " + RunEndName(run.end));
    if (path.empty()) path.push_back("not started");
    return path;
}

std::vector<OutcomeGroup> GroupOutcomes(const std::vector<Plan> &plans) {
    std::vector<OutcomeGroup> groups;
    for (size_t i = 0; i < plans.size(); ++i) {
        const std::vector<std::string> path = PathOf(plans[i]);
        auto found = std::find_if(groups.begin(), groups.end(), [&](const OutcomeGroup &g) { return g.path == path; });
        if (found == groups.end()) {
            groups.push_back({path, {i}});
        } else {
            found->plans.push_back(i);
        }
    }
    std::stable_sort(groups.begin(), groups.end(),
                     [](const OutcomeGroup &a, const OutcomeGroup &b) { return a.plans.size() > b.plans.size(); });
    return groups;
}

std::vector<MachineRow> MachineRows(const std::vector<MachineFacts> &machines) {
    using IdState = MachineFacts::IdState;
    std::vector<MachineRow> rows;
    for (const MachineFacts &machine : machines) {
        MachineRow row;
        row.file = machine.label;
        row.model = machine.model;
        row.makerMark = machine.maker == Fact::Yes ? machine.makerMark : machine.maker == Fact::No ? "no" : "";
        row.boardProduct = machine.boardProduct;
        row.language = machine.languageKnown ? machine.language : "";
        if (machine.idState == IdState::Written) {
            row.sysid = machine.systemId;
            row.idKnown = true;
            row.id = BoardIdAsRead(machine.systemId);
            row.idRead = ShownBoardId(row.id);
        } else if (machine.idState == IdState::NotWritten) {
            row.sysid = "(none written)";
            row.idRead = "the script's own";
        } else {
            row.idRead = "known only on the PC";
        }
        rows.push_back(row);
    }
    return rows;
}

std::vector<std::string> FactWarnings(const std::vector<MachineRow> &rows) {
    std::vector<std::string> warnings;
    std::map<unsigned, std::vector<const MachineRow *>> byId;
    for (const MachineRow &row : rows) {
        if (!row.idKnown) continue;
        const std::string label = row.model.empty() ? row.file : row.model + " (" + row.file + ")";
        if (row.id == 0)
            warnings.push_back(label + ": SYSID " + check::Quote(row.sysid) +
                               " reads as 0X0000: the board-ID branch takes its not-supported outcome whatever "
                               "the list holds");
        else
            byId[row.id].push_back(&row);
    }
    for (const auto &entry : byId) {
        std::vector<std::pair<std::string, std::vector<std::string>>> products;  // product, its models
        for (const MachineRow *row : entry.second) {
            auto found = std::find_if(products.begin(), products.end(), [&](const auto &p) {
                return p.first == row->boardProduct;
            });
            if (found == products.end()) found = products.insert(products.end(), {row->boardProduct, {}});
            const std::string model = row->model.empty() ? row->file : row->model;
            if (std::find(found->second.begin(), found->second.end(), model) == found->second.end())
                found->second.push_back(model);
        }
        if (products.size() < 2) continue;
        std::string from;
        for (const auto &product : products)
            from += (from.empty() ? "" : ", ") + check::Quote(product.first) + " (" + Joined(product.second, ", ") +
                    ")";
        warnings.push_back(ShownBoardId(entry.first) + " is read from " + std::to_string(products.size()) +
                           " different board products: " + from +
                           ": an ID list that takes one of them takes them all");
    }
    return warnings;
}

std::string RenderFleetText(const std::vector<Plan> &plans, const std::vector<MachineFacts> &machines) {
    std::string out = "Fleet: " + Title(plans) + "\n\n";
    const std::vector<OutcomeGroup> groups = GroupOutcomes(plans);
    out += "Outcomes: " + Plural(groups.size(), "path", "paths") + "\n";
    for (size_t g = 0; g < groups.size(); ++g) {
        const OutcomeGroup &group = groups[g];
        const bool differs = group.plans.size() < groups.front().plans.size();
        out += std::string(differs ? "* " : "  ") + Plural(group.plans.size(), "plan", "plans") +
               (differs ? ", differs from the majority" : "") + ":\n";
        for (const std::string &run : group.path) out += "      " + run + "\n";
        for (const std::string &line : MemberLines(plans, group.plans)) out += "    - " + line + "\n";
    }

    const Columns columns = SplitColumns(plans);
    out += "\nSections entered\n";
    if (!columns.shared.empty()) out += "  by every plan: " + Bracketed(columns.shared) + "\n";
    for (const std::string &section : columns.varying) {
        std::vector<size_t> entering;
        for (size_t i = 0; i < plans.size(); ++i)
            if (Enters(plans[i], section)) entering.push_back(i);
        out += "  [" + section + "]: " + std::to_string(entering.size()) + " of " + std::to_string(plans.size()) +
               "\n";
        for (const std::string &line : MemberLines(plans, entering)) out += "    - " + line + "\n";
    }

    const std::vector<MachineRow> rows = MachineRows(machines);
    if (!rows.empty())
        out += "\nMachines\n  | Model | File | Maker mark | Board product | SYSID | ID read | Language |\n";
    for (const MachineRow &row : rows)
        out += "  | " + Cell(row.model) + " | " + Cell(row.file) + " | " + Cell(row.makerMark) + " | " +
               Cell(row.boardProduct) + " | " + Cell(row.sysid) + " | " + Cell(row.idRead) + " | " +
               Cell(row.language) + " |\n";
    for (const std::string &warning : FactWarnings(rows)) out += "  warning: " + warning + "\n";

    out += "\nMatrix";
    if (!columns.shared.empty()) out += " (without the sections every plan enters: " + Bracketed(columns.shared) + ")";
    out += "\n";
    std::string header = "  | Machine | Windows | Process |";
    for (const std::string &name : columns.varying) header += " " + Cell(name) + " |";
    out += header + " Runs end |\n";
    for (const Plan &plan : plans) {
        out += "  | " + Cell(MachineLabel(plan)) + " | " + Cell(plan.windows) + " | " + Cell(plan.process) + " |";
        for (const std::string &name : columns.varying) out += Enters(plan, name) ? " yes |" : " - |";
        out += " " + Ends(plan) + " |\n";
    }
    return out;
}

std::string RenderFleetMarkdown(const std::vector<Plan> &plans, const std::vector<MachineFacts> &machines) {
    std::string out = "## Fleet: " + Title(plans) + "\n\n### Outcomes\n\n";
    const std::vector<OutcomeGroup> groups = GroupOutcomes(plans);
    for (size_t g = 0; g < groups.size(); ++g) {
        const OutcomeGroup &group = groups[g];
        const bool differs = group.plans.size() < groups.front().plans.size();
        out += std::string("- ") + (differs ? "**differs from the majority:** " : "") +
               Plural(group.plans.size(), "plan", "plans") + ": " + Joined(group.path, "; ") + "\n";
        for (const std::string &line : MemberLines(plans, group.plans)) out += "  - " + line + "\n";
    }
    const Columns columns = SplitColumns(plans);
    out += "\n### Sections entered\n\n";
    if (!columns.shared.empty()) out += "- by every plan: " + Bracketed(columns.shared) + "\n";
    for (const std::string &section : columns.varying) {
        std::vector<size_t> entering;
        for (size_t i = 0; i < plans.size(); ++i)
            if (Enters(plans[i], section)) entering.push_back(i);
        out += "- [" + section + "]: " + std::to_string(entering.size()) + " of " + std::to_string(plans.size()) +
               ": " + Joined(MemberLines(plans, entering), "; ") + "\n";
    }
    const std::vector<MachineRow> rows = MachineRows(machines);
    if (!rows.empty())
        out += "\n### Machines\n\n| Model | File | Maker mark | Board product | SYSID | ID read | Language |\n"
               "|---|---|---|---|---|---|---|\n";
    for (const MachineRow &row : rows)
        out += "| " + Cell(row.model) + " | " + Cell(row.file) + " | " + Cell(row.makerMark) + " | " +
               Cell(row.boardProduct) + " | " + Cell(row.sysid) + " | " + Cell(row.idRead) + " | " +
               Cell(row.language) + " |\n";
    const std::vector<std::string> warnings = FactWarnings(rows);
    if (!warnings.empty()) out += "\n";
    for (const std::string &warning : warnings) out += "- **warning:** " + warning + "\n";

    out += "\n### Matrix\n\n";
    if (!columns.shared.empty())
        out += "Every plan enters " + Bracketed(columns.shared) + "; those columns are left out.\n\n";
    std::string header = "| Machine | Windows | Process |", rule = "|---|---|---|";
    for (const std::string &name : columns.varying) {
        header += " " + Cell(name) + " |";
        rule += ":-:|";
    }
    out += header + " Runs end |\n" + rule + "---|\n";
    for (const Plan &plan : plans) {
        out += "| " + Cell(MachineLabel(plan)) + " | " + Cell(plan.windows) + " | " + Cell(plan.process) + " |";
        for (const std::string &name : columns.varying) out += Enters(plan, name) ? " yes |" : " - |";
        out += " " + Ends(plan) + " |\n";
    }
    return out;
}

std::string RenderFleetJson(const std::vector<Plan> &plans, const std::vector<MachineFacts> &machines) {
    auto planRef = [&](size_t i) {
        const Plan &plan = plans[i];
        return "{\"plan\": " + std::to_string(i) + ", \"machine\": " + JsonString(plan.machine) +
               ", \"model\": " + JsonString(plan.model) + ", \"windows\": " + JsonString(plan.windows) +
               ", \"process\": " + JsonString(plan.process) + "}";
    };
    std::string out = "{\"script\": " + JsonString(plans.empty() ? std::string() : plans.front().script) +
                      ",\n \"outcomes\": [\n";
    const std::vector<OutcomeGroup> groups = GroupOutcomes(plans);
    for (size_t g = 0; g < groups.size(); ++g) {
        out += "  {\"count\": " + std::to_string(groups[g].plans.size()) +
               ", \"differs\": " + (groups[g].plans.size() < groups.front().plans.size() ? "true" : "false") +
               ", \"path\": [";
        const Plan &first = plans[groups[g].plans.front()];
        for (size_t r = 0; r < first.runs.size(); ++r)
            out += std::string(r ? ", " : "") + "{\"sections\": " + JsonList(first.runs[r].sectionsEntered) +
                   ", \"end\": " + JsonString(RunEndName(first.runs[r].end)) + "}";
        out += "],\n   \"plans\": [";
        for (size_t k = 0; k < groups[g].plans.size(); ++k) out += (k ? ", " : "") + planRef(groups[g].plans[k]);
        out += std::string("]}") + (g + 1 < groups.size() ? "," : "") + "\n";
    }
    const Columns columns = SplitColumns(plans);
    out += " ],\n \"sections\": [\n";
    const std::vector<std::string> all = SectionsOfAll(plans);
    for (size_t s = 0; s < all.size(); ++s) {
        std::string entering;
        for (size_t i = 0; i < plans.size(); ++i)
            if (Enters(plans[i], all[s])) entering += (entering.empty() ? "" : ", ") + std::to_string(i);
        out += "  {\"section\": " + JsonString(all[s]) + ", \"plans\": [" + entering + "]}" +
               (s + 1 < all.size() ? "," : "") + "\n";
    }
    out += " ],\n \"matrix\": {\"shared\": " + JsonList(columns.shared) + ", \"columns\": " +
           JsonList(columns.varying) + ", \"rows\": [\n";
    for (size_t i = 0; i < plans.size(); ++i) {
        std::vector<std::string> ends;
        for (const PlannedRun &run : plans[i].runs) ends.push_back(RunEndName(run.end));
        std::string cells;
        for (const std::string &name : columns.varying)
            cells += std::string(cells.empty() ? "" : ", ") + (Enters(plans[i], name) ? "true" : "false");
        out += "  {\"plan\": " + std::to_string(i) + ", \"entered\": [" + cells + "], \"ends\": " + JsonList(ends) +
               "}" + (i + 1 < plans.size() ? "," : "") + "\n";
    }
    out += " ]},\n \"machines\": [\n";
    const std::vector<MachineRow> rows = MachineRows(machines);
    for (size_t m = 0; m < rows.size(); ++m) {
        const MachineRow &row = rows[m];
        out += "  {\"file\": " + JsonString(row.file) + ", \"model\": " + JsonString(row.model) +
               ", \"makerMark\": " + JsonString(row.makerMark) + ", \"boardProduct\": " +
               JsonString(row.boardProduct) + ", \"sysid\": " + JsonString(row.sysid) + ", \"idRead\": " +
               (row.idKnown ? std::to_string(row.id) : std::string("null")) + ", \"idReadText\": " +
               JsonString(row.idRead) + ", \"language\": " + JsonString(row.language) + "}" +
               (m + 1 < rows.size() ? "," : "") + "\n";
    }
    out += " ],\n \"warnings\": " + JsonList(FactWarnings(rows)) + ",\n \"plans\": " + RenderJson(plans) + "}\n";
    return out;
}

}  // namespace plan
