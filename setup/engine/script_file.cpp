#include "script_file.h"

#include <windows.h>

#include <cstring>

#include "bounded_text.h"
#include "install_log.h"
#include "profile_utils.h"
#include "run_state.h"
#include "script_guard.h"
#include "text_rules.h"
#include "win_owners.h"

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

static const char kFallbackTemporaryDirectory[] = "c:\\temp\\";

// A folder as the file system names it: full, short form, no trailing backslash.
// Two spellings of one folder (case, short and long names, a trailing
// backslash) give one text; a path that cannot be resolved is taken as written.
static void CanonicalFolder(const char *folder, char *out, size_t capacity) {
    char withSeparator[262];
    size_t length = text::FormatBounded(withSeparator, sizeof withSeparator, "%s\\", folder);
    if (length >= 2 && length < sizeof withSeparator && withSeparator[length - 2] == '\\')
        withSeparator[length - 1] = '\0';
    char full[260];
    DWORD fullLength = GetFullPathNameA(withSeparator, sizeof full, full, nullptr);
    if (fullLength == 0 || fullLength >= sizeof full) text::Copy(full, withSeparator);
    DWORD shortLength = GetShortPathNameA(full, out, static_cast<DWORD>(capacity));
    if (shortLength == 0 || shortLength >= capacity) text::CopyBounded(out, capacity, full);
    for (size_t end = strlen(out); end > 0 && out[end - 1] == '\\';) out[--end] = '\0';
}

// A file's or folder's identity: its volume's serial and its index there. Two
// names of one file (a folder link, a drive letter mapped onto a folder, a
// "\\?\" name, short and long names) give one identity; names alone do not tell.
struct FileIdentity {
    bool known = false;
    DWORD volume = 0, indexHigh = 0, indexLow = 0;
};

static FileIdentity IdentityOf(const char *path) {
    FileIdentity identity;
    ScopedHandle file(CreateFileA(path, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    BY_HANDLE_FILE_INFORMATION information;
    if (!file.Valid() || !GetFileInformationByHandle(file.Get(), &information)) return identity;
    identity.known = true;
    identity.volume = information.dwVolumeSerialNumber;
    identity.indexHigh = information.nFileIndexHigh;
    identity.indexLow = information.nFileIndexLow;
    return identity;
}

static bool SameFile(const char *a, const char *b) {
    FileIdentity first = IdentityOf(a), second = IdentityOf(b);
    return first.known && second.known && first.volume == second.volume && first.indexHigh == second.indexHigh &&
           first.indexLow == second.indexLow;
}

// By identity; by name only where a folder cannot be opened.
static bool SameFolder(const char *a, const char *b) {
    if (IdentityOf(a).known && IdentityOf(b).known) return SameFile(a, b);
    char first[260], second[260];
    CanonicalFolder(a, first, sizeof first);
    CanonicalFolder(b, second, sizeof second);
    return text::EqualsNoCase(first, second);
}

// The folder the working copy goes to, with a trailing backslash. Never the
// program's folder nor the source script's: there the working copy would be the
// source script itself, written by the run and unrolled again by no clean start.
// False when even the fallback folder holds the source script.
static bool ChooseTemporaryDirectory(char *tempDirectory, size_t capacity, const char *sourceFolder) {
    DWORD length = GetTempPathA(static_cast<DWORD>(capacity), tempDirectory);
    bool usable = length > 0 && length < capacity;
    // Some systems report a path too long for the buffer as a failure (0) rather
    // than by its length; both leave no usable temporary path.
    if (!usable) LogLine("ERROR-=-", "Need to remalloc for temp path...");
    if (usable && !SameFolder(tempDirectory, g_run.programDirectory) && !SameFolder(tempDirectory, sourceFolder))
        return true;
    if (usable)
        LogLineFormat("InitINIFile()", "%s holds the program or the script; the working copy goes to %s",
                      tempDirectory, kFallbackTemporaryDirectory);
    CreateDirectoryA(kFallbackTemporaryDirectory, nullptr);  // may exist already
    text::CopyBounded(tempDirectory, capacity, kFallbackTemporaryDirectory);
    if (!SameFolder(tempDirectory, sourceFolder)) return true;
    LogLineFormat("ERROR-=-", "the script is in %s: its working copy there would be the script itself",
                  kFallbackTemporaryDirectory);
    return false;
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

    char sourceCopy[260];
    text::Copy(sourceCopy, source);
    const PathParts sourceParts = SplitPath(sourceCopy);
    const char *sourceFileName = sourceParts.fileName;
    char tempDirectory[260];
    if (!ChooseTemporaryDirectory(tempDirectory, sizeof tempDirectory, sourceParts.directory)) return 0;
    char workingCopy[260];
    if (text::FormatBounded(workingCopy, sizeof workingCopy, "%s%s", tempDirectory, sourceFileName) >=
        sizeof workingCopy) {
        LogLineFormat("ERROR-=-", "working copy path %s%s is longer than 259 characters", tempDirectory,
                      sourceFileName);
        return 0;
    }

    // However it is named, the working copy is never the source script itself.
    if (SameFile(workingCopy, source)) {
        LogLineFormat("ERROR-=-", "%s is the script itself: its working copy there would be the script", workingCopy);
        return 0;
    }
    const char *base = source;
    if (!FileExists(workingCopy) || cleanStart != 0) {
        if (!ForgetSavedState(workingCopy)) {
            ReportScriptFailure("cannot remove the saved state of", workingCopy);
            return 0;
        }
    } else {
        // A saved state that can neither be put back nor removed would undo this
        // run's steps at the next start: the run does not begin.
        if (RestoreSavedState(workingCopy) == RestoreResult::Failed) return 0;
        base = workingCopy;
    }
    // The switches go into the copy before it is put in place, so the first
    // saved state holds them: a start-up cut off resumes with them.
    DataValue switches[2];
    size_t switchCount = 0;
    if (g_run.suppressReboot) switches[switchCount++] = DataValue{"SuppressReboot", "1"};
    if (g_run.silentMode) switches[switchCount++] = DataValue{"SilentMode", "1"};
    if (!MakeWorkingCopy(base, workingCopy, switches, switchCount)) {
        if (base == source) {
            char errorText[260];
            unsigned long code = DescribeLastError(errorText, sizeof errorText);
            char first[512];
            text::FormatBounded(first, sizeof first, "InitINIandLogFiles() -  Error=%lu, %s", code, errorText);
            LogLineFormat(first, "ERROR-=-function CopyFile() failed on src=%s, dst=%s", source, workingCopy);
        }
        return 0;
    }
    if (base == source) LogLineFormat("InitINIFile()", "%s has been copied to %s", source, workingCopy);

    text::Copy(g_run.scriptFile, workingCopy);
    if (!SaveWholeState()) return 0;  // the first saved state: before any command

    LogLineFormat("InitINIFile()", "The INI file in use is %s", g_run.scriptFile);

    if (GetPrivateProfileIntA("Data", "SuppressReboot", 0, g_run.scriptFile) != 0) g_run.suppressReboot = true;
    if (GetPrivateProfileIntA("Data", "SilentMode", 0, g_run.scriptFile) != 0) g_run.silentMode = true;
    return 1;
}
