#include "script_file.h"

#include <windows.h>

#include <cstring>

#include "bounded_text.h"
#include "install_log.h"
#include "profile_utils.h"
#include "run_state.h"
#include "script_guard.h"
#include "text_rules.h"

bool FileExists(const char *path) {
    DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// The source script from the name on the command line: a full path, a name
// beside the program, or, with no name, the program's own name with ".INI".
// A path that does not fit its buffer is refused, never cut: a cut path would
// name another file.
static bool LocateSourceScript(const char *scriptName, char *source, size_t capacity) {
    if (scriptName[0] != '\0' && strstr(scriptName, ":\\")) {
        return text::CopyBounded(source, capacity, scriptName) == strlen(scriptName);
    }
    if (scriptName[0] != '\0') {
        return text::FormatBounded(source, capacity, "%s\\%s", g_run.programDirectory, scriptName) < capacity;
    }
    char baseName[260];
    text::Copy(baseName, g_run.programFileName);
    if (char *dot = strrchr(baseName, '.')) *dot = '\0';
    return text::FormatBounded(source, capacity, "%s\\%s.INI", g_run.programDirectory, baseName) < capacity;
}

static void ApplySwitches(const char *commandLine) {
    if (strstr(commandLine, "-noreboot")) {
        g_run.suppressReboot = true;
        LogLine("InitINIFile()", "-noreboot given...will suppress reboots");
    }
    if (strstr(commandLine, "-silent")) {
        g_run.silentMode = true;
        LogLine("InitINIFile()", "-silent given...will run silent");
    }
}

static void SetUpInstallLog(const char *source) {
    SetInstallLogPath(kDefaultLogPath);
    if (GetPrivateProfileIntA("Data", "Logging", 0, source) != 0) g_run.logging = true;
    char logFile[260];
    DWORD length = GetPrivateProfileStringA("Data", "LogFile", kDefaultLogPath, logFile, sizeof logFile, source);
    bool refused = length > 0 && !SetInstallLogPath(logFile);

    LogLine("", "");
    char banner[512];
    text::FormatBounded(banner, sizeof banner, "*** Starting %s\\%s Version: %s ***", g_run.programDirectory,
                        g_run.programFileName, kVersionText);
    LogLine(banner, "");
    if (refused) LogLine("WARNING-=-", "[Data] LogFile is longer than 127 characters; the default log is used.");
}

// The folder the working copy goes to, with a trailing backslash.
static void ChooseTemporaryDirectory(char *tempDirectory, size_t capacity) {
    DWORD length = GetTempPathA(static_cast<DWORD>(capacity), tempDirectory);
    bool usable = length > 0 && length < capacity;
    // Some systems report a path too long for the buffer as a failure (0) rather
    // than by its length; both leave no usable temporary path.
    if (!usable) LogLine("ERROR-=-", "Need to remalloc for temp path...");
    if (!usable || text::EqualsNoCase(tempDirectory, g_run.programDirectory)) {
        CreateDirectoryA("c:\\temp\\", nullptr);  // may exist already
        text::CopyBounded(tempDirectory, capacity, "c:\\temp\\");
    }
}

int InitINIFile(const char *commandLine) {
    if (!commandLine) commandLine = "";
    char scriptName[260];
    ExtractScriptName(commandLine, scriptName, sizeof scriptName);

    char source[260];
    bool located = LocateSourceScript(scriptName, source, sizeof source);
    if (!located || !FileExists(source)) {
        if (scriptName[0] != '\0')
            LogLine("ERROR-=-", "Cannot find INI file to initialize.");
        else
            LogLine("ERROR-=-no INI file found to process with ", commandLine);
        return 0;
    }

    SetUpInstallLog(source);
    ApplySwitches(commandLine);

    int cleanStart = 0;
    const char *startText = "-resume given...will force a resume.";
    if (!strstr(commandLine, "-resume")) {
        cleanStart = static_cast<int>(GetPrivateProfileIntA("Data", "ForceCleanStart", 1, source));
        if (cleanStart != 0) {
            LogLine("InitINIFile()", "system will be forcing a clean start.");
            startText = "To force a resume add [DATA]:ForceCleanStart=0 or use -resume in command line.";
        } else {
            startText = "system will resume and not force a clean start.";
        }
    }
    LogLine("InitINIFile()", startText);

    char tempDirectory[260];
    ChooseTemporaryDirectory(tempDirectory, sizeof tempDirectory);

    char sourceCopy[260];
    text::Copy(sourceCopy, source);
    const char *sourceFileName = SplitPath(sourceCopy).fileName;
    char workingCopy[260];
    if (text::FormatBounded(workingCopy, sizeof workingCopy, "%s%s", tempDirectory, sourceFileName) >=
        sizeof workingCopy) {
        LogLineFormat("ERROR-=-", "working copy path %s%s is longer than 259 characters", tempDirectory,
                      sourceFileName);
        return 0;
    }

    if (!FileExists(workingCopy) || cleanStart != 0) {
        ForgetSavedState(workingCopy);
        // A read-only copy left by an earlier run must be replaceable; the copy is
        // made whole or not at all, so a resumed run never meets half of it.
        SetFileAttributesA(workingCopy, FILE_ATTRIBUTE_NORMAL);
        if (!ReplaceFileWhole(source, workingCopy)) {
            char errorText[260];
            unsigned long code = DescribeLastError(errorText, sizeof errorText);
            char first[512];
            text::FormatBounded(first, sizeof first, "InitINIandLogFiles() -  Error=%lu, %s", code, errorText);
            LogLineFormat(first, "ERROR-=-function CopyFile() failed on src=%s, dst=%s", source, workingCopy);
            return 0;
        }
        LogLineFormat("InitINIFile()", "%s has been copied to %s", source, workingCopy);
    } else {
        RestoreSavedState(workingCopy);
    }

    text::Copy(g_run.scriptFile, workingCopy);
    SetFileAttributesA(g_run.scriptFile, FILE_ATTRIBUTE_NORMAL);  // a read-only source gives a writable copy

    EnsureSavedState();  // before the first write
    if (g_run.suppressReboot) WritePrivateProfileStringA("DATA", "SuppressReboot", "1", g_run.scriptFile);
    if (g_run.silentMode) WritePrivateProfileStringA("DATA", "SilentMode", "1", g_run.scriptFile);
    FlushProfile(g_run.scriptFile);

    LogLineFormat("InitINIFile()", "The INI file in use is %s", g_run.scriptFile);

    if (GetPrivateProfileIntA("Data", "SuppressReboot", 0, g_run.scriptFile) != 0) g_run.suppressReboot = true;
    if (GetPrivateProfileIntA("Data", "SilentMode", 0, g_run.scriptFile) != 0) g_run.silentMode = true;
    return 1;
}
