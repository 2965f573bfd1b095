#include "install_log.h"

#include <windows.h>

#include <cstdarg>
#include <cstring>

#include "bounded_text.h"
#include "run_state.h"
#include "text_rules.h"
#include "win_owners.h"

void FormatTimeStamp(char *buffer, size_t capacity, int hour, int minute, int second, int millisecond) {
    text::FormatBounded(buffer, capacity, "[%02d:%02d:%02d.%03d] ", hour, minute, second, millisecond);
}

static void WriteLogLine(const char *line) {
    // Opened and closed for every line: nothing is held between lines, and another
    // program may read the log while the run goes on. A log that cannot be opened
    // has no other channel: the line is dropped.
    ScopedHandle file(CreateFileA(g_run.logPath, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.Valid()) return;
    char buffer[514];
    size_t length = OneLogLine(buffer, 512, line);
    buffer[length++] = '\r';
    buffer[length++] = '\n';
    DWORD written = 0;
    WriteFile(file.Get(), buffer, static_cast<DWORD>(length), &written, nullptr);
}

static void CurrentTimeStamp(char *stamp, size_t capacity) {
    SYSTEMTIME now;
    GetLocalTime(&now);
    FormatTimeStamp(stamp, capacity, now.wHour, now.wMinute, now.wSecond, now.wMilliseconds);
}

void LogLine(const char *first, const char *second) {
    if (!g_run.logging) return;
    char stamp[32];
    CurrentTimeStamp(stamp, sizeof stamp);
    char line[512];
    text::FormatBounded(line, sizeof line, "%s %s> %s %s", stamp, g_run.programFileName, first ? first : "",
                        second ? second : "");
    WriteLogLine(line);
}

void LogLineFormat(const char *first, const char *format, ...) {
    if (!g_run.logging) return;
    char second[512];
    va_list args;
    va_start(args, format);
    text::FormatBoundedV(second, sizeof second, format, args);
    va_end(args);
    LogLine(first, second);
}

void LogMessage(const char *textValue) {
    if (!g_run.logging) return;
    char stamp[32];
    CurrentTimeStamp(stamp, sizeof stamp);
    char line[512];
    text::FormatBounded(line, sizeof line, "%s %s", stamp, textValue ? textValue : "");
    WriteLogLine(line);
}

static void SystemMessage(char *buffer, size_t capacity, DWORD code) {
    if (!buffer || capacity == 0) return;
    buffer[0] = '\0';
    char *message = nullptr;
    DWORD length = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                      FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, code, 0x400, reinterpret_cast<LPSTR>(&message), 0, nullptr);
    if (length > 0 && message) text::CopyBounded(buffer, capacity, message);
    if (message) LocalFree(message);
}

unsigned long DescribeLastError(char *buffer, size_t capacity) {
    DWORD code = GetLastError();
    SystemMessage(buffer, capacity, code);
    if (buffer) {
        for (char *p = buffer; *p; ++p) {
            if (*p == '\r' || *p == '\n') *p = ' ';
        }
    }
    return code;
}

unsigned long DescribeError(char *buffer, size_t capacity, unsigned long code) {
    SystemMessage(buffer, capacity, code);
    return code;
}

bool SetInstallLogPath(const char *path) {
    if (!path || strlen(path) >= sizeof g_run.logPath) return false;
    text::Copy(g_run.logPath, path);
    return true;
}
