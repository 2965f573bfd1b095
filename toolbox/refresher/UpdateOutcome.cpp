#include "UpdateOutcome.h"

#include <windows.h>

#include "FileUtils.h"
#include "Format.h"
#include "LogSink.h"
#include "UpdateIntent.h"
#include "UpdateRules.h"

namespace {

const char kUnit[] = "UpdateOutcome";

// Forwards finished lines to the host's log unchanged.
class HostSink : public logging::ILogSink {
public:
    explicit HostSink(IToolboxHost *host) : host_(host) {}
    void Log(int level, const char *format, ...) override __attribute__((format(gnu_printf, 3, 4))) {
        va_list args;
        va_start(args, format);
        std::string text = util::FormatV(format, args);
        va_end(args);
        host_->Log(level, "%s", text.c_str());
    }

private:
    IToolboxHost *host_;
};

void SetIfNotEmpty(IToolboxMessage *message, const char *key, const std::string &value) {
    if (!value.empty()) message->SetString(key, value.c_str());
}

}  // namespace

void ResumeUpdateWork(IToolboxHost *host) {
    char buffer[520] = "";
    DWORD length = GetModuleFileNameA(nullptr, buffer, sizeof buffer);
    if (length == 0 || length >= sizeof buffer) return;
    std::string folder = FolderOf(std::string(buffer, length));
    util::EnsureTrailingSeparator(folder);

    HostSink sink(host);
    intent::Recover(folder, sink, kUnit);

    const std::string path = folder + intent::kResultName;
    std::string text;
    intent::Result result;
    if (!util::FileExists(path) || intent::ReadWhole(path, text) != 0) return;
    if (!intent::ParseResult(text, result)) {
        // Written whole under another name first, so this is no result of ours.
        host->Log(logging::kError, "%s:%d - %s holds no update result; it is left alone", kUnit, __LINE__,
                  path.c_str());
        return;
    }
    host->Log(result.exitCode == 0 ? logging::kInfo : logging::kError, "%s:%d - the last update ended: %s", kUnit,
              __LINE__, result.closingLine.c_str());
    IToolboxMessage *report = host->NewMessage();
    if (report == nullptr) return;  // kept for the next call
    report->SetTypeAndName("Reply", "UpdateAgent");
    SetIfNotEmpty(report, "Schedule-ID", result.scheduleId);
    SetIfNotEmpty(report, "Task-Sequence-ID", result.taskSequenceId);
    report->SetInt("Status-Code", result.exitCode);
    report->SetString("Status-Module", "Corvid");
    report->SetString("Status-Message", result.closingLine.c_str());
    report->SetString("Result", result.exitCode == 0 ? "Success" : "Failed");
    host->SendReply(report);
    DeleteFileA(path.c_str());
}
