// kestrel-check's reader of script files, the lookups the checks make through
// it, and the whole check of what it read.
#include <string>

#include "findings.h"
#include "fuzz_check.h"
#include "script_checker.h"
#include "script_reader.h"

namespace {

void CheckLookups(const check::ScriptFile &script) {
    int lastHeader = 0;
    for (size_t i = 0; i < script.sections.size(); ++i) {
        const check::ScriptSection &section = script.sections[i];
        if (i > 0) {
            FUZZ_CHECK(section.headerLine > lastHeader);
            lastHeader = section.headerLine;
        }
        const check::ScriptSection *found = script.Find(section.name);
        FUZZ_CHECK(found && check::Folded(found->name) == check::Folded(section.name));
        FUZZ_CHECK(section.hidden == (found != &section));
        int lastLine = section.headerLine;
        for (const check::ScriptLine &line : section.lines) {
            FUZZ_CHECK(line.lineNumber > lastLine);
            lastLine = line.lineNumber;
            FUZZ_CHECK(!line.name.empty() || line.hasValue);
            const check::ScriptLine *first = check::FindKey(section, line.name);
            FUZZ_CHECK(first && first->lineNumber <= line.lineNumber);
            std::string value;
            const check::ScriptLine *where = nullptr;
            if (check::ReadKey(&section, line.name, value, &where)) {
                FUZZ_CHECK(where == first && first->hasValue && value.size() <= first->value.size());
            }
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const std::string bytes(reinterpret_cast<const char *>(data), size);
    check::ScriptFile script;
    check::Findings readFindings;
    std::string refusal;
    const bool read = check::ParseScript(bytes, script, readFindings, refusal);
    FUZZ_CHECK(read == refusal.empty());
    if (read) CheckLookups(script);

    check::Findings findings;
    std::string checkRefusal;
    FUZZ_CHECK(check::CheckScriptBytes(bytes, findings, checkRefusal) == read);
    for (const check::Finding &finding : findings.Sorted()) {
        const std::string line = check::FormatFinding("fuzz.ini", finding);
        // One finding is one line of the report.
        FUZZ_CHECK(line.find_first_of("\r\n") == std::string::npos);
    }
    return 0;
}
