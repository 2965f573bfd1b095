// Fixed-size text, cut the way the profile functions cut: at most capacity - 1
// characters and always terminated. No Windows headers here.
#pragma once
#include <cstdarg>
#include <cstddef>

namespace text {

// Copies src into dst (capacity characters, terminator included), cutting it.
// Returns the number of characters copied. A null src copies the empty text.
size_t CopyBounded(char *dst, size_t capacity, const char *src);

// printf into dst, cut at capacity - 1. Returns the full length the text would
// have had, so callers can tell a cut text (result >= capacity) from a whole one.
size_t FormatBounded(char *dst, size_t capacity, const char *format, ...)
    __attribute__((format(gnu_printf, 3, 4)));
size_t FormatBoundedV(char *dst, size_t capacity, const char *format, va_list args);

// Appends src at the end of the text in dst, cutting it. Returns the new length.
size_t AppendBounded(char *dst, size_t capacity, const char *src);

// ASCII comparison without regard to case, as the profile functions match names.
bool EqualsNoCase(const char *a, const char *b);
bool StartsWithNoCase(const char *text, const char *prefix);

template <size_t N> inline size_t Copy(char (&dst)[N], const char *src) { return CopyBounded(dst, N, src); }
template <size_t N> inline size_t Append(char (&dst)[N], const char *src) { return AppendBounded(dst, N, src); }

}  // namespace text
