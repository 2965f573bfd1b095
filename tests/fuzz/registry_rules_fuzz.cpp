// The registry rules on arbitrary action lines and data texts: no read or write
// outside the text, and the results stay consistent with the input.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "commands/registry_rules.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    // An exact-size copy, so any read past the terminator is caught.
    std::string input(reinterpret_cast<const char *>(data), size);
    input = input.substr(0, input.find('\0'));

    char *line = static_cast<char *>(malloc(input.size() + 1));
    memcpy(line, input.c_str(), input.size() + 1);
    ActionLine fields;
    MissingField missing = SplitActionLine(line, fields);
    if (missing == MissingField::None) {
        HexNotes notes;
        RegistryData converted = ListCommandData(fields.dataTypeCode, fields.data, notes);
        size_t length = strlen(fields.data);
        if (fields.dataTypeCode == 1 && converted.bytes.size() != length / 2) abort();
        if (fields.dataTypeCode == 2 && converted.bytes.size() != 4) abort();
        if (!IsHexadecimalCode(fields.dataTypeCode) && converted.bytes.size() != length + 1) abort();
        DataShownAsText(fields.dataTypeCode, converted, fields.data);
        RootKey key;
        RootKeyFromAbbreviation(fields.root, key);
    } else if (!MissingFieldNotice(missing)) {
        abort();
    }
    free(line);

    for (int code = 0; code <= 4; ++code) {
        char *textValue = static_cast<char *>(malloc(input.size() + 1));
        memcpy(textValue, input.c_str(), input.size() + 1);
        HexNotes notes;
        ListCommandData(code, textValue, notes);
        SingleCommandData(code, textValue);
        free(textValue);
    }

    char display[512];
    std::string half = input.substr(0, input.size() / 2);
    BuildRegistryDisplayText(display, sizeof display, half.c_str(), input.c_str(), half.c_str(), input.c_str());
    if (strlen(display) > 511) abort();
    return 0;
}
