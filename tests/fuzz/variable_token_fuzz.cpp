// The scanner of variable tokens ("~%C001", "~%V042") in a value, the language
// code table and the temporary file name.
#include <cctype>
#include <string>

#include "engine/variable_rules.h"
#include "fuzz_check.h"

namespace {

void CheckTokens(const char *textValue, size_t length) {
    VariableToken token;
    FUZZ_CHECK(!FindVariableToken(textValue, length, token));
    FUZZ_CHECK(!FindVariableToken(textValue, length + 100, token));
    size_t from = 0;
    while (FindVariableToken(textValue, from, token)) {
        FUZZ_CHECK(token.position >= from && token.position + 2 <= length);
        FUZZ_CHECK(textValue[token.position] == '~' && textValue[token.position + 1] == '%');
        FUZZ_CHECK(token.position + token.length <= length && token.length >= 2 && token.length <= 6);
        FUZZ_CHECK(token.complete == (token.length == 6));
        // Three characters give at most three digits and a sign.
        FUZZ_CHECK(token.number >= -99 && token.number <= 999);
        const char letter = token.length > 2 ? static_cast<char>(toupper(static_cast<unsigned char>(textValue[token.position + 2]))) : '\0';
        FUZZ_CHECK((token.kind == TokenKind::Builtin) == (letter == 'C'));
        FUZZ_CHECK((token.kind == TokenKind::Script) == (letter == 'V'));
        from = token.position + 1;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    size_t length = 0;
    std::unique_ptr<char[]> textValue = FuzzText(data, size, &length);
    CheckTokens(textValue.get(), length);

    unsigned long long number = 0;
    memcpy(&number, data, size < sizeof number ? size : sizeof number);
    if (const char *code = LanguageCodeFor(static_cast<unsigned>(number))) {
        FUZZ_CHECK(strlen(code) == 2 && isupper(static_cast<unsigned char>(code[0])) &&
                   isupper(static_cast<unsigned char>(code[1])));
    }
    const std::string name = TemporaryFileName(static_cast<unsigned long>(number));
    FUZZ_CHECK(name.size() == 8 && name.compare(0, 3, "TMP") == 0);
    FUZZ_CHECK(name.find_first_not_of("0123456789", 3) == std::string::npos);
    return 0;
}
