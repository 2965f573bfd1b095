#include "ini_commands.h"

#include <windows.h>

#include <cstring>
#include <memory>
#include <new>

#include "commands/file_commands.h"
#include "commands/ini_edit_rules.h"
#include "engine/bounded_text.h"
#include "engine/command_args.h"
#include "engine/install_log.h"
#include "engine/profile_utils.h"
#include "engine/run_state.h"
#include "engine/script_guard.h"
#include "engine/text_rules.h"
#include "engine/variable_rules.h"
#include "engine/variables.h"
#include "engine/win_owners.h"

namespace {

const char kVariablesSection[] = "Variables";
const char kMissingList[] = "Missing the Data section or an extra comma.";

void WriteScriptValue(const char *section, const char *key, const char *value) {
    WriteScriptString(section, key, value);
}

void ReportCutFields(const char *line) {
    LogLineFormat("WARNINIG-=-", "Field longer than %u characters cut >%s<",
                  static_cast<unsigned>(kListFieldSize - 1), line);
}

// The warning of a list line that is not written; false for a line to write.
bool ReportListLineFault(ListLineVerdict verdict, const ListLineFields &fields, const char *line) {
    switch (verdict) {
    case ListLineVerdict::Comment: return true;
    case ListLineVerdict::MissingComma: LogLineFormat("WARNINIG-=-", "Missing comma >%s<", line); return true;
    case ListLineVerdict::MissingSecondComma:
        LogLineFormat("WARNINIG-=-", "Missing comma >%s<", fields.first);
        return true;
    case ListLineVerdict::NoSection:
        LogLineFormat("WARNINIG-=-", "Invalid Parameters : no section >%s<", fields.first);
        return true;
    case ListLineVerdict::NoKey:
        LogLineFormat("WARNINIG-=-", "Invalid Parameters : no Key >%s<", fields.first);
        return true;
    case ListLineVerdict::Write: return false;
    }
    return true;
}

using LineSplitter = ListLineVerdict (*)(const char *, ListLineFields &);
using LineWriter = void (*)(ListLineFields &);

// The list form shared by SetValue and SetVariable: every line of the section
// named by argument 0, malformed ones logged and skipped.
int RunListForm(LineSplitter split, LineWriter write) {
    SectionText section = ReadProfileSection(g_run.argumentSection, g_run.scriptFile);
    if (!section) {
        LogLine("ERROR-=-", kMissingList);
        return 2;
    }
    // One set of buffers for the whole list: three 512-character fields.
    std::unique_ptr<ListLineFields> fields(new (std::nothrow) ListLineFields);
    if (!fields) {
        LogLine("ERROR-=-", "Cannot reserve memory for the list fields.");
        return 2;
    }
    ForEachSectionLine(section.get(), [&](const char *line) {
        ListLineVerdict verdict = split(line, *fields);
        if (fields->cut && verdict != ListLineVerdict::Comment) ReportCutFields(line);
        if (ReportListLineFault(verdict, *fields, line)) return;
        write(*fields);
    });
    section.reset();
    FlushProfile(g_run.scriptFile);
    return 0;
}

void WriteValueLine(ListLineFields &fields) {
    GetVariable(fields.first, sizeof fields.first);
    GetVariable(fields.second, sizeof fields.second);
    GetVariable(fields.third, sizeof fields.third);
    WriteScriptValue(fields.first, fields.second, fields.third);
}

void WriteVariableLine(ListLineFields &fields) {
    GetVariable(fields.first, sizeof fields.first);
    GetVariable(fields.second, sizeof fields.second);
    WriteScriptValue(kVariablesSection, fields.first, fields.second);
}

// Copies one open file into another in blocks of 128 bytes. False when a read or
// a write fails.
bool CopyFileContents(HANDLE from, HANDLE to) {
    char block[128];
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(from, block, sizeof block, &got, nullptr)) return false;
        if (got == 0) return true;
        DWORD written = 0;
        if (!WriteFile(to, block, got, &written, nullptr) || written != got) return false;
    }
}

void LogLastError(const char *what, const char *path) {
    char errorText[260];
    unsigned long code = DescribeLastError(errorText, sizeof errorText);
    LogLineFormat("Error-=-", "%s %s failed, (%lu)-%s", what, path, code, errorText);
}

}  // namespace

int CmdSetValue() {
    if (g_run.argumentSection[0] != '\0') return RunListForm(SplitSetValueLine, WriteValueLine);

    char section[512], key[512], value[512];
    ReadCommandArgument(1, section, sizeof section);
    ReadCommandArgument(2, key, sizeof key);
    ReadCommandArgument(3, value, sizeof value);
    GetVariable(section, sizeof section);
    GetVariable(key, sizeof key);
    GetVariable(value, sizeof value);
    LogLineFormat("Writing: ", "[%s]:%s=%s", section, key, value);
    // An empty name would put a key outside any section, or a line without a key,
    // into the script file.
    if (section[0] == '\0') {
        LogLineFormat("WARNINIG-=-", "Invalid Parameters : no section >%s<", section);
        return 2;
    }
    if (key[0] == '\0') {
        LogLineFormat("WARNINIG-=-", "Invalid Parameters : no Key >%s<", section);
        return 2;
    }
    WriteScriptValue(section, key, value);
    FlushProfile(g_run.scriptFile);
    return 0;
}

int CmdSetVariable() {
    if (g_run.argumentSection[0] != '\0') return RunListForm(SplitSetVariableLine, WriteVariableLine);

    char name[512], value[512];
    ReadCommandArgument(1, name, sizeof name);  // taken literally in the single form
    ReadCommandArgument(2, value, sizeof value);
    GetVariable(value, sizeof value);
    LogLineFormat("Writing: ", "[%s]:%s=%s", kVariablesSection, name, value);
    if (name[0] == '\0') {
        LogLineFormat("WARNINIG-=-", "Invalid Parameters : no Key >%s<", name);
        return 2;
    }
    WriteScriptValue(kVariablesSection, name, value);
    FlushProfile(g_run.scriptFile);
    return 0;
}

bool AppendTemporaryPath(const char *scriptFile, unsigned long processId, char *out, size_t capacity) {
    char directory[260];
    if (text::Copy(directory, scriptFile) != strlen(scriptFile)) return false;
    SplitPath(directory);
    std::string name = TemporaryFileName(processId);
    return text::FormatBounded(out, capacity, "%s\\%s.INI", directory, name.c_str()) < capacity;
}

int CmdAppendINIFile() {
    GetVariable(g_run.argumentSection, sizeof g_run.argumentSection);
    const char *appendPath = g_run.argumentSection;

    char tempPath[260];
    if (!AppendTemporaryPath(g_run.scriptFile, GetCurrentProcessId(), tempPath, sizeof tempPath)) {
        LogLineFormat("Error-=-", " temp file path beside %s is longer than 259 characters", g_run.scriptFile);
        return 2;
    }
    LogLine(" creating temp file: ", tempPath);

    // Everything the profile functions hold must be on disk before the bytes are
    // read; the pause gives the rewritten file a newer time than the last write,
    // so the profile functions read it afresh.
    FlushProfile(g_run.scriptFile);
    FlushProfile(g_run.scriptFile);
    Sleep(500);

    ScopedHandle temp;
    {
        ScopedHandle script(CreateFileA(g_run.scriptFile, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!script.Valid()) {
            LogLastError("opening", g_run.scriptFile);
            return 2;
        }
        temp.Reset(CreateFileA(tempPath, GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!temp.Valid()) {
            LogLastError("creating", tempPath);
            return 2;
        }
        bool copied = CopyFileContents(script.Get(), temp.Get());
        LogLine(" coping contents of ", g_run.scriptFile);
        if (!copied) {
            LogLastError("copying", g_run.scriptFile);
            temp.Reset();
            DeleteFileA(tempPath);
            return 2;
        }
    }

    ScopedHandle second(CreateFileA(appendPath, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!second.Valid()) {
        temp.Reset();
        DeleteFileA(tempPath);  // nothing of it is used
        LogLine("Error-=-", " cound not open second file...");
        return 2;
    }
    LogLine(" coping contents of ", appendPath);
    bool appended = CopyFileContents(second.Get(), temp.Get());
    second.Reset();
    temp.Reset();
    if (!appended) {
        LogLastError("copying", appendPath);
        DeleteFileA(tempPath);
        return 2;
    }

    // The joined file replaces the script file in one step: a failed copy leaves
    // the script file as it was instead of deleting it first.
    MarkScriptChanged();
    if (!ReplaceFileWhole(tempPath, g_run.scriptFile)) {
        LogLastError("replacing", g_run.scriptFile);
        DeleteFileA(tempPath);
        return 2;
    }
    DeleteFileA(tempPath);
    LogLineFormat(" ", "renaming %s to %s", tempPath, g_run.scriptFile);
    return 0;
}

int CmdExitAndDeleteINIFile() {
    LogLine("", "attempting to delete files....");
    CmdDeleteFileOrDir();

    char choice[64];
    ReadCommandArgument(2, choice, sizeof choice, "FALSE");
    switch (DecideReboot(choice, g_run.suppressReboot)) {
    case RebootDecision::NotAsked: LogLine("", "will NOT issue a system reboot."); break;
    case RebootDecision::Refused:
        LogLine("", "Not setting to reboot system since SuppressReboot is set");
        g_run.rebootRequested = false;
        break;
    case RebootDecision::Reboot:
        g_run.rebootRequested = true;
        LogLine("", "will issue a system reboot.");
        break;
    }

    LogLine("will delete :", g_run.scriptFile);
    SetFileAttributesA(g_run.scriptFile, FILE_ATTRIBUTE_NORMAL);
    DeleteFileA(g_run.scriptFile);
    return 1;
}
