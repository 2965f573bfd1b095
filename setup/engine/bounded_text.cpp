#include "bounded_text.h"

#include <cctype>
#include <cstdio>
#include <cstring>

namespace text {

size_t CopyBounded(char *dst, size_t capacity, const char *src) {
    if (!dst || capacity == 0) return 0;
    size_t n = 0;
    if (src) {
        while (n + 1 < capacity && src[n] != '\0') {
            dst[n] = src[n];
            ++n;
        }
    }
    dst[n] = '\0';
    return n;
}

size_t FormatBoundedV(char *dst, size_t capacity, const char *format, va_list args) {
    if (!dst || capacity == 0) return 0;
    int full = vsnprintf(dst, capacity, format, args);
    dst[capacity - 1] = '\0';
    if (full < 0) {
        dst[0] = '\0';
        return 0;
    }
    return static_cast<size_t>(full);
}

size_t FormatBounded(char *dst, size_t capacity, const char *format, ...) {
    va_list args;
    va_start(args, format);
    size_t full = FormatBoundedV(dst, capacity, format, args);
    va_end(args);
    return full;
}

size_t AppendBounded(char *dst, size_t capacity, const char *src) {
    if (!dst || capacity == 0) return 0;
    size_t used = strnlen(dst, capacity - 1);
    dst[used] = '\0';
    return used + CopyBounded(dst + used, capacity - used, src);
}

bool EqualsNoCase(const char *a, const char *b) {
    if (!a || !b) return a == b;
    for (; *a && *b; ++a, ++b) {
        if (tolower(static_cast<unsigned char>(*a)) != tolower(static_cast<unsigned char>(*b))) return false;
    }
    return *a == *b;
}

bool StartsWithNoCase(const char *textValue, const char *prefix) {
    if (!textValue || !prefix) return false;
    for (; *prefix; ++textValue, ++prefix) {
        if (*textValue == '\0') return false;
        if (tolower(static_cast<unsigned char>(*textValue)) != tolower(static_cast<unsigned char>(*prefix)))
            return false;
    }
    return true;
}

}  // namespace text
