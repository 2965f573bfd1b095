// Where log lines go. Levels: 0 error, 1 info, 2 detail; filtering is the receiver's.
#pragma once

namespace logging {

enum Level { kError = 0, kInfo = 1, kDetail = 2 };

class ILogSink {
public:
    constexpr ILogSink() noexcept = default;
    virtual ~ILogSink() = default;
    virtual void Log(int level, const char *format, ...) __attribute__((format(gnu_printf, 3, 4))) = 0;
};

// Swallows everything; each unit keeps one as the sink of last resort.
class NullLogSink : public ILogSink {
public:
    constexpr NullLogSink() noexcept = default;
    void Log(int, const char *, ...) override {}
};

}  // namespace logging
