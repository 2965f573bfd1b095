// The planner's output: text for people, JSON for pipelines, a markdown matrix
// for comparing machines.
#include <algorithm>
#include <cstdio>

#include "findings.h"
#include "plan.h"
#include "script_reader.h"

namespace plan {

using check::JsonString;

namespace {

std::string Title(const Plan &plan) {
    return plan.script + " on " + plan.machine + ", " + plan.windows + ", " + plan.process;
}

std::string RunTitle(const PlannedRun &run, size_t index) {
    return "Run " + std::to_string(index + 1) + (run.resumed ? ": after the restart (resumed)" : ": first start");
}

std::string Ends(const Plan &plan) {
    std::string ends;
    for (const PlannedRun &run : plan.runs) ends += (ends.empty() ? "" : " -> ") + std::string(RunEndName(run.end));
    return ends;
}

std::string JsonList(const std::vector<std::string> &values) {
    std::string out = "[";
    for (size_t i = 0; i < values.size(); ++i) out += (i ? ", " : "") + JsonString(values[i]);
    return out + "]";
}

std::string MarkdownCell(const std::string &value) {
    std::string out;
    for (char c : value) out += c == '|' ? std::string("\\|") : std::string(1, c);
    return out;
}

}  // namespace

std::string RenderText(const Plan &plan) {
    std::string out = "Plan: " + Title(plan) + "\n";
    for (const std::string &fact : plan.facts) out += "  " + fact + "\n";
    for (size_t r = 0; r < plan.runs.size(); ++r) {
        const PlannedRun &run = plan.runs[r];
        out += RunTitle(run, r) + "\n";
        std::string section;
        for (const PlannedCommand &command : run.commands) {
            if (command.section != section) {
                section = command.section;
                out += "  [" + section + "]\n";
            }
            out += "    " + command.logLine + "\n";
            for (const std::string &detail : command.details) out += "        " + detail + "\n";
            if (command.branches) {
                if (command.decision.argument >= 0)
                    out += "        -> argument " + std::to_string(command.decision.argument) + " [" +
                           command.decision.target + "]: " + command.decision.reason + "\n";
                else
                    out += "        -> undecided: " + command.decision.reason + "\n";
            }
        }
        out += "  ends: " + std::string(RunEndName(run.end)) + " (" + run.endReason + ")\n";
        if (!run.loop.empty()) {
            out += "  the loop:\n";
            for (const std::string &line : run.loop) out += "    " + line + "\n";
        }
    }
    return out;
}

std::string RenderJson(const std::vector<Plan> &plans) {
    std::string out = "[\n";
    for (size_t p = 0; p < plans.size(); ++p) {
        const Plan &plan = plans[p];
        out += "  {\"script\": " + JsonString(plan.script) + ", \"machine\": " + JsonString(plan.machine) +
               ", \"windows\": " + JsonString(plan.windows) + ", \"process\": " + JsonString(plan.process) +
               ",\n   \"facts\": " + JsonList(plan.facts) + ",\n   \"sections\": " + JsonList(plan.SectionsEntered()) +
               ",\n   \"runs\": [\n";
        for (size_t r = 0; r < plan.runs.size(); ++r) {
            const PlannedRun &run = plan.runs[r];
            out += "    {\"resumed\": " + std::string(run.resumed ? "true" : "false") +
                   ", \"end\": " + JsonString(RunEndName(run.end)) + ", \"endReason\": " + JsonString(run.endReason) +
                   ",\n     \"sections\": " + JsonList(run.sectionsEntered) + ", \"loop\": " + JsonList(run.loop) +
                   ",\n     \"commands\": [\n";
            for (size_t c = 0; c < run.commands.size(); ++c) {
                const PlannedCommand &command = run.commands[c];
                out += "      {\"number\": " + std::to_string(command.number) +
                       ", \"type\": " + std::to_string(command.type) + ", \"name\": " + JsonString(command.name) +
                       ", \"section\": " + JsonString(command.section) + ", \"log\": " + JsonString(command.logLine) +
                       ", \"details\": " + JsonList(command.details);
                if (command.branches) {
                    out += ", \"decision\": {\"decided\": " +
                           std::string(command.decision.argument >= 0 ? "true" : "false");
                    if (command.decision.argument >= 0)
                        out += ", \"argument\": " + std::to_string(command.decision.argument) +
                               ", \"section\": " + JsonString(command.decision.target);
                    out += ", \"reason\": " + JsonString(command.decision.reason) + "}";
                }
                out += std::string("}") + (c + 1 < run.commands.size() ? "," : "") + "\n";
            }
            out += std::string("     ]}") + (r + 1 < plan.runs.size() ? "," : "") + "\n";
        }
        out += std::string("   ]}") + (p + 1 < plans.size() ? "," : "") + "\n";
    }
    return out + "]\n";
}

std::string RenderMatrix(const std::vector<Plan> &plans) {
    std::vector<std::string> columns;
    for (const Plan &plan : plans)
        for (const std::string &name : plan.SectionsEntered())
            if (std::find(columns.begin(), columns.end(), name) == columns.end()) columns.push_back(name);
    // In the script's order, which is how its author reads it.
    if (!plans.empty()) {
        const std::vector<std::string> &order = plans.front().scriptSections;
        auto place = [&](const std::string &name) {
            return std::find(order.begin(), order.end(), check::Folded(name)) - order.begin();
        };
        std::stable_sort(columns.begin(), columns.end(),
                         [&](const std::string &a, const std::string &b) { return place(a) < place(b); });
    }
    std::string out = "| Machine | Windows |";
    std::string rule = "|---|---|";
    for (const std::string &name : columns) {
        out += " " + MarkdownCell(name) + " |";
        rule += ":-:|";
    }
    out += " Runs end |\n" + rule + "---|\n";
    for (const Plan &plan : plans) {
        const std::vector<std::string> entered = plan.SectionsEntered();
        out += "| " + MarkdownCell(plan.machine) + " | " + MarkdownCell(plan.windows) + " |";
        for (const std::string &name : columns)
            out += std::find(entered.begin(), entered.end(), name) != entered.end() ? " yes |" : " - |";
        out += " " + Ends(plan) + " |\n";
    }
    return out;
}

std::string RenderMarkdown(const std::vector<Plan> &plans) {
    std::string out;
    for (const Plan &plan : plans) out += "```\n" + RenderText(plan) + "```\n\n";
    return out + RenderMatrix(plans);
}

}  // namespace plan
