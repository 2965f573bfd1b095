#include "process_commands.h"

#include <windows.h>

#include <cstring>
#include <memory>
#include <new>

#include "commands/process_rules.h"
#include "engine/bounded_text.h"
#include "engine/command_args.h"
#include "engine/install_log.h"
#include "engine/profile_utils.h"
#include "engine/run_state.h"
#include "engine/script_guard.h"
#include "engine/variables.h"
#include "engine/win_owners.h"

namespace {

// The command text and wait choice of SpawnProgram, from the arguments or from
// the section that argument 0 names.
void ReadSpawnOperands(char (&commandText)[260], char (&waitChoice)[32]) {
    if (g_run.argumentSection[0] == '\0') {
        ReadCommandArgument(1, commandText, sizeof commandText);
        GetVariable(commandText, sizeof commandText);
        ReadCommandArgument(2, waitChoice, sizeof waitChoice);
        return;
    }
    GetPrivateProfileStringA(g_run.argumentSection, "Program", "", commandText, sizeof commandText,
                             g_run.scriptFile);
    // Twice, so that a variable whose value holds another token is resolved too.
    GetVariable(commandText, sizeof commandText);
    GetVariable(commandText, sizeof commandText);
    GetPrivateProfileStringA(g_run.argumentSection, "WaitToExit", "FALSE", waitChoice, sizeof waitChoice,
                             g_run.scriptFile);
}

void WaitForEnd(HANDLE process) {
    DWORD waited;
    do {
        waited = WaitForSingleObject(process, 50);
    } while (waited == WAIT_TIMEOUT);
    // A program that starts another one and ends gets a moment for it to settle.
    Sleep(1000);
}

}  // namespace

int CmdSpawnProgram() {
    char commandText[260], waitChoice[32];
    ReadSpawnOperands(commandText, waitChoice);

    char workingDirectory[260];
    if (!DeriveWorkingDirectory(commandText, workingDirectory, sizeof workingDirectory)) {
        DWORD length = GetCurrentDirectoryA(sizeof workingDirectory, workingDirectory);
        if (length == 0 || length >= sizeof workingDirectory) workingDirectory[0] = '\0';
    }

    LogLineFormat("...Spawning ", "<%s>", commandText);
    LogLineFormat("...Setting CWD to ", "<%s>", workingDirectory);
    LogLine("...WaitToFinish:", waitChoice);

    SECURITY_ATTRIBUTES security{};
    security.nLength = sizeof security;
    security.bInheritHandle = TRUE;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USEPOSITION;
    PROCESS_INFORMATION process{};
    BOOL started = CreateProcessA(nullptr, commandText, &security, &security, FALSE, NORMAL_PRIORITY_CLASS, nullptr,
                                  workingDirectory[0] ? workingDirectory : nullptr, &startup, &process);
    if (!started) {
        char errorText[260];
        unsigned long code = DescribeLastError(errorText, sizeof errorText);
        LogLineFormat("FAIL - Failure with CreateProcess( )", "%lu - %s", code, errorText);
    } else {
        ScopedHandle processHandle(process.hProcess);
        ScopedHandle threadHandle(process.hThread);
        if (text::EqualsNoCase(waitChoice, "TRUE")) {
            LogLine("...waiting.....", "");
            WaitForEnd(processHandle.Get());
        } else {
            LogLine("...not waiting", "");
        }
    }
    LogLine("...Spawn Complete", "");
    return 0;
}

int CmdSleep() {
    if (g_run.argumentSection[0] == '\0') {
        LogLine("..time not defined to sleep", "");
        return 0;
    }
    LogLine("..sleeping ", g_run.argumentSection);
    PauseLength pause = ReadPauseLength(g_run.argumentSection);
    if (pause.negative) {
        // The system would take it as a pause of some 49 days: the run would hang.
        LogLineFormat("WARNING-=-", "negative sleep time >%s< refused, not sleeping", g_run.argumentSection);
        return 0;
    }
    Sleep(pause.milliseconds);
    return 0;
}

namespace {

// The box text: "Message1", "Message2", ... each followed by a line break, in a
// buffer as large as the section, so it cannot be longer than what it is built of.
std::unique_ptr<char[]> BuildBoxText(const char *messageSection, size_t &capacity) {
    capacity = GetProfileSectionSize(messageSection, g_run.scriptFile) + 1;
    std::unique_ptr<char[]> boxText(new (std::nothrow) char[capacity]());
    if (!boxText) return nullptr;
    for (int k = 1;; ++k) {
        char key[32], value[128];
        text::FormatBounded(key, sizeof key, "Message%d", k);
        GetPrivateProfileStringA(messageSection, key, "NO TEXT", value, sizeof value, g_run.scriptFile);
        MessageLine line = ClassifyMessageLine(value);
        if (line == MessageLine::End) break;
        if (line == MessageLine::Text) text::AppendBounded(boxText.get(), capacity, value);
        text::AppendBounded(boxText.get(), capacity, "\n");
    }
    return boxText;
}

// The user's answer. A box that cannot be shown (no desktop) gives 0 or -1,
// which no question takes as OK or Yes.
int ShowBox(const char *boxText, const char *caption, unsigned style) {
    int answer = MessageBoxA(nullptr, boxText, caption, style);
    if (answer <= 0) {
        char errorText[260];
        unsigned long code = DescribeLastError(errorText, sizeof errorText);
        LogLineFormat("ERROR-=-", "MessageBox() failed, (%lu)-%s", code, errorText);
    }
    return answer;
}

}  // namespace

int CmdDisplayMessageBox() {
    // The message section has a text of its own: the language data section that the
    // Startup-folder commands read stays as start-up set it.
    char messageSection[260];
    text::FormatBounded(messageSection, sizeof messageSection, "%s.%s", g_run.argumentSection, "US");
    char caption[128];
    GetPrivateProfileStringA(messageSection, "Title", "Norvik Setup", caption, sizeof caption, g_run.scriptFile);

    if (!ReadProfileSection(messageSection, g_run.scriptFile)) {
        LogLineFormat("ERROR-=-", "Missing the Message Section [%s]", messageSection);
        return 2;
    }
    size_t capacity = 0;
    std::unique_ptr<char[]> boxText = BuildBoxText(messageSection, capacity);
    if (!boxText) {
        LogLine("ERROR-=-", "Cannot reserve memory for the message box text.");
        return 2;
    }

    const BoxKind &box = BoxKindFor(ReadCommandArgumentInt(1, 1));
    if (!box.question) {
        if (!g_run.silentMode) ShowBox(boxText.get(), caption, box.style);
        return 0;
    }
    int answer = g_run.silentMode ? box.silentAnswer : ShowBox(boxText.get(), caption, box.style);
    ReadCommandArgument(BranchArgumentFor(box, answer), g_run.argumentSection, sizeof g_run.argumentSection);
    LogLine("  Setting next section to: ", g_run.argumentSection);
    WriteScriptString("State", "NextSection", g_run.argumentSection);
    return 0;
}
