// kestrel-check's planner on any script: every walk ends within its bounds, on
// a known machine and on one whose every fact is left to the PC, and every
// rendering of it holds.
#include <string>

#include "fuzz_check.h"
#include "plan.h"

namespace {

void CheckPlan(const plan::Plan &made) {
    FUZZ_CHECK(!made.runs.empty() && made.runs.size() <= static_cast<size_t>(plan::kRunBound));
    for (size_t r = 0; r < made.runs.size(); ++r) {
        const plan::PlannedRun &run = made.runs[r];
        FUZZ_CHECK(run.commands.size() <= static_cast<size_t>(plan::kCommandBound));
        // Only the last run ends otherwise than with a restart.
        FUZZ_CHECK((r + 1 < made.runs.size()) == (run.end == plan::RunEnd::Restart && r + 1 < made.runs.size()));
        FUZZ_CHECK(!run.endReason.empty());
        for (const plan::PlannedCommand &command : run.commands) {
            const std::string head = "CMD" + std::to_string(command.number) + "> " + command.name + ": ";
            FUZZ_CHECK(command.logLine.compare(0, head.size(), head) == 0);
            FUZZ_CHECK(command.type != 0);
        }
    }
    const std::string json = plan::RenderJson({made});
    for (char c : json) FUZZ_CHECK(static_cast<unsigned char>(c) >= 0x20 || c == '\n');
    plan::RenderText(made);
    plan::RenderMarkdown({made, made});
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const std::string bytes(reinterpret_cast<const char *>(data), size);
    check::ScriptFile script;
    check::Findings ignored;
    std::string refusal;
    if (!check::ParseScript(bytes, script, ignored, refusal)) return 0;

    plan::PlanFacts known;
    std::string machine = "[Hardware Detect]\nManufacture2=Norvik\nProduct Name2=0A7Ch\n[Description]\nNorvikLanguage=US\n";
    FUZZ_CHECK(plan::ReadMachineFile(machine, "machine", known.machine, refusal));
    known.windows = plan::FindWindowsRelease("xp");
    known.wow64 = plan::Fact::No;
    CheckPlan(plan::MakePlan(script, known));

    // The script itself as a machine file: any bytes are read or refused.
    plan::PlanFacts unknown;
    unknown.answer = plan::BoxAnswer::Cancel;
    if (plan::ReadMachineFile(bytes, "script", unknown.machine, refusal)) FUZZ_CHECK(!unknown.machine.label.empty());
    CheckPlan(plan::MakePlan(script, unknown));
    return 0;
}
