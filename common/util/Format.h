// printf into a string object of whatever length the text needs.
#pragma once
#include <cstdarg>
#include <string>

namespace util {

// A null format or an empty result gives the empty string.
std::string Format(const char *format, ...) __attribute__((format(gnu_printf, 1, 2)));
// The same over an argument list that the caller started (and ends). Named apart from
// Format so that a char * argument can never be taken for an argument list.
std::string FormatV(const char *format, va_list args) __attribute__((format(gnu_printf, 1, 0)));

}  // namespace util
