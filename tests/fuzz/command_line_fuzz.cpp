// kestrel's command line: the script name cut from it, and the comment cut, trim
// and path split that the engine applies to what it reads from scripts.
#include <string>

#include "engine/text_rules.h"
#include "fuzz_check.h"

namespace {

bool Blank(char c) { return IsWhiteSpace(c); }

void CheckScriptName(const char *commandLine, size_t capacity) {
    std::unique_ptr<char[]> out(new char[capacity]);
    ExtractScriptName(commandLine, out.get(), capacity);
    const size_t length = strnlen(out.get(), capacity);
    FUZZ_CHECK(length < capacity && length < 260);
    const std::string name(out.get(), length);
    FUZZ_CHECK(name.find('-') == std::string::npos && name.find(';') == std::string::npos);
    FUZZ_CHECK(name.empty() || (!Blank(name[0]) && !IsControlCharacter(name[0])));
    // A name cut to a small buffer may end in a blank; a whole one does not.
    if (capacity >= 260) FUZZ_CHECK(name.empty() || !Blank(name.back()));
    FUZZ_CHECK(strstr(commandLine, name.c_str()) != nullptr);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    size_t length = 0;
    std::unique_ptr<char[]> line = FuzzText(data, size, &length);

    CheckScriptName(line.get(), 260);
    CheckScriptName(line.get(), 1 + (size > 0 ? data[0] % 32 : 0));

    std::unique_ptr<char[]> copy = FuzzText(data, size);
    const char *kept = StripCommentsInPlace(copy.get());
    FUZZ_CHECK(kept >= copy.get() && kept <= copy.get() + length);
    const size_t keptLength = strlen(kept);
    FUZZ_CHECK(memchr(kept, ';', keptLength) == nullptr);
    FUZZ_CHECK(keptLength == 0 || (!Blank(kept[keptLength - 1]) && !IsControlCharacter(kept[0])));

    copy = FuzzText(data, size);
    const char *trimmed = TrimText(copy.get());
    const size_t trimmedLength = strlen(trimmed);
    FUZZ_CHECK(trimmed >= copy.get() && trimmed + trimmedLength <= copy.get() + length);
    FUZZ_CHECK(trimmedLength == 0 || (!Blank(trimmed[trimmedLength - 1]) && !Blank(trimmed[0])));
    // Trimming what is already trimmed changes nothing.
    FUZZ_CHECK(TrimText(const_cast<char *>(trimmed)) == trimmed && strlen(trimmed) == trimmedLength);

    copy = FuzzText(data, size);
    PathParts parts = SplitPath(copy.get());
    FUZZ_CHECK(parts.fileName >= copy.get() && parts.fileName <= copy.get() + length);
    FUZZ_CHECK(strchr(parts.fileName, '\\') == nullptr);
    FUZZ_CHECK(strlen(parts.directory) + strlen(parts.fileName) + (parts.fileName != copy.get() ? 1 : 0) ==
               length);
    return 0;
}
