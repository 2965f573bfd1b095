// The install log: the only record of an unattended run. Every line is on disk
// before the run takes its next step.
#pragma once
#include <cstddef>

// "[hh:mm:ss.mmm]  <program>> first second", when logging is on.
void LogLine(const char *first, const char *second);
// As LogLine, with the second text formatted printf-style (cut at 511 characters).
void LogLineFormat(const char *first, const char *format, ...) __attribute__((format(gnu_printf, 2, 3)));
// "[hh:mm:ss.mmm]  text", without the program name.
void LogMessage(const char *textValue);

// The system's text for the calling thread's last error, on one line (line breaks
// become blanks), cut to the buffer. Returns the error code.
unsigned long DescribeLastError(char *buffer, size_t capacity);
// The system's text for the code, unchanged (its line break stays), cut to the buffer.
unsigned long DescribeError(char *buffer, size_t capacity, unsigned long code);

// Sets the install log path; a path that does not fit the 127-character buffer is
// refused (a cut path would name another file). Returns false when refused.
bool SetInstallLogPath(const char *path);

// The time stamp as it starts every line: "[hh:mm:ss.mmm] ".
void FormatTimeStamp(char *buffer, size_t capacity, int hour, int minute, int second, int millisecond);
