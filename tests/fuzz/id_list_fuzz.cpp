// The board ID lists of BranchOnSystemID: the renderings of an ID, the match of a
// line with them, and the walk over a section text. The input's first two bytes
// are the ID (low byte first); the rest is the section text, whose lines end at
// NUL bytes, closed with the empty line the profile functions end it with.
#include <string>
#include <vector>

#include "engine/text_rules.h"
#include "fuzz_check.h"
#include "hardware/id_list_rules.h"

namespace {

std::vector<std::string> LinesOf(const std::string &section) {
    std::vector<std::string> lines;
    for (size_t start = 0; start < section.size() && section[start] != '\0';) {
        const size_t end = section.find('\0', start);
        lines.push_back(section.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

// The line as the walk compares it: trimmed by the engine's own rule.
bool LineMatches(const std::string &line, const IdRenderings &renderings) {
    std::unique_ptr<char[]> copy = FuzzText(reinterpret_cast<const uint8_t *>(line.data()), line.size());
    return line[0] != ';' && IdLineMatches(TrimText(copy.get()), renderings);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 2) return -1;
    const unsigned id = data[0] | (data[1] << 8);
    const IdRenderings renderings = RenderBoardId(id);
    for (const char *rendering : renderings.text) {
        FUZZ_CHECK(strnlen(rendering, sizeof renderings.text[0]) < sizeof renderings.text[0]);
        FUZZ_CHECK(IdLineMatches(rendering, renderings));
    }
    // Only the low 16 bits are the ID.
    const IdRenderings high = RenderBoardId(id | 0x30000u);
    for (int i = 0; i < kIdRenderingCount; ++i) FUZZ_CHECK(strcmp(high.text[i], renderings.text[i]) == 0);

    // The section in a buffer of exactly its size: any read past the closing
    // empty line is a finding.
    std::string section(reinterpret_cast<const char *>(data + 2), size - 2);
    section.append(2, '\0');
    std::unique_ptr<char[]> text(new char[section.size()]);
    memcpy(text.get(), section.data(), section.size());
    const int found = FindIdInList(text.get(), id);

    const std::vector<std::string> lines = LinesOf(section);
    FUZZ_CHECK(found >= -1 && found < static_cast<int>(lines.size()));
    const size_t checked = found < 0 ? lines.size() : static_cast<size_t>(found) + 1;
    for (size_t i = 0; i < checked; ++i) {
        FUZZ_CHECK(LineMatches(lines[i], renderings) == (static_cast<int>(i) == found));
    }
    return 0;
}
