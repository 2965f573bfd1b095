// A line of a command section unrolled into its type and fields, as the engine
// writes it into [Commands].
#include <string>

#include "engine/text_rules.h"
#include "fuzz_check.h"

namespace {

bool Blank(const std::string &textValue) {
    return textValue.find_first_not_of(" \t\r\n\v\f") == std::string::npos;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const std::string line(reinterpret_cast<const char *>(data), size);
    UnrolledCommand command;
    command.typeText = "left from before";
    if (!UnrollCommandLine(line, command)) {
        // Only a line that is blank up to its comment takes no number.
        const std::string text = line.substr(0, line.find('\0'));
        FUZZ_CHECK(Blank(text.substr(0, text.find(';'))));
        return 0;
    }
    const std::string &type = command.typeText;
    FUZZ_CHECK(type.size() <= 259);
    FUZZ_CHECK(type.find_first_of(",;", 0) == std::string::npos && type.find('\0') == std::string::npos);
    if (command.fullSection.empty()) {
        FUZZ_CHECK(command.fields.empty());
        return 0;
    }
    const std::string &section = command.fullSection;
    FUZZ_CHECK(section[0] == ',' && section.find_first_of(";", 0) == std::string::npos);
    FUZZ_CHECK(section.find('\0') == std::string::npos && !IsWhiteSpace(section.back()));
    size_t commas = 0;
    for (char c : section) commas += c == ',';
    FUZZ_CHECK(command.fields.size() == commas);
    for (const std::string &field : command.fields) {
        FUZZ_CHECK(field.find(',') == std::string::npos && section.find(field) != std::string::npos);
        FUZZ_CHECK(field.empty() || !IsWhiteSpace(field.back()));
    }
    return 0;
}
