// The error record the plug-in side raises and catches. It holds only static texts and
// numbers, so raising and copying it never allocates.
#pragma once
#include <cstdint>

namespace err {

struct CGeneralError {
    const char *file;     // source unit that raised it
    const char *message;  // fixed text
    int32_t line;         // source line of the raise
    int32_t value;        // printed as "Value" or "E"
    int32_t systemError;  // printed as "System Error", "S" or "error"

    CGeneralError(const char *file_, int32_t line_, const char *message_, int32_t value_ = 0,
                  int32_t systemError_ = 0) noexcept
        : file(file_), message(message_), line(line_), value(value_), systemError(systemError_) {}
};

}  // namespace err
