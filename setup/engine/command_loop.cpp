#include "command_loop.h"

#include <windows.h>

#include <new>

#include "../hardware/branch_commands.h"
#include "../hardware/inventory.h"
#include "bounded_text.h"
#include "command_sections.h"
#include "command_table.h"
#include "commands/reboot_commands.h"
#include "install_log.h"
#include "profile_utils.h"
#include "run_state.h"
#include "script_file.h"
#include "script_guard.h"
#include "text_rules.h"

static const char kUsageText[] =
    "Usage:  <module.exe> <INI_FILE> -silent -noreboot -resume\n\n"
    "INI_FILE is either full path or just name if in same dir as EXE.\n"
    "-silent will  suppress all GUI prompts\n"
    "-noreboot will suppress reboots\n"
    "-resume will force a resume of the INI file processing\n\n";

void ShowStartUpBox(const char *message) {
    if (g_run.silentMode) return;
    text::FormatBounded(g_run.boxTitle, sizeof g_run.boxTitle, "Ardent Setup Utility - %s", g_run.programFileName);
    text::Copy(g_run.boxText, message);
    MessageBoxA(nullptr, g_run.boxText, g_run.boxTitle, MB_SYSTEMMODAL | MB_ICONERROR);
}

static void SplitProgramPath() {
    GetModuleFileNameA(nullptr, g_run.scratch, sizeof g_run.scratch);
    g_run.scratch[sizeof g_run.scratch - 1] = '\0';
    PathParts parts = SplitPath(g_run.scratch);
    text::Copy(g_run.programDirectory, parts.directory);
    text::Copy(g_run.programFileName, parts.fileName);
}

// The language of the hardware information file chooses the section that the
// Startup-folder commands read. An empty value means the file is unusable.
static bool ReadLanguage() {
    GetPrivateProfileStringA("Description", "NorvikLanguage", "XX", g_run.scratch, sizeof g_run.scratch,
                             kHardwareInfoFile);
    if (g_run.scratch[0] == '\0') {
        LogLine("ERROR - ", "Cannont find MIRA.INI");
        return false;
    }
    StripCommentsAndEtc(g_run.scratch);
    text::FormatBounded(g_run.languageDataSection, sizeof g_run.languageDataSection, "%s.%s", "Data",
                        g_run.scratch);
    return true;
}

// The end-of-section marker: enter the pending section at this number, or end.
static bool EnterNextSectionOrStop() {
    char current[128], next[128];
    GetPrivateProfileStringA("State", "CurrentSection", "", current, sizeof current, g_run.scriptFile);
    GetPrivateProfileStringA("State", "NextSection", "", next, sizeof next, g_run.scriptFile);
    bool stop = next[0] == '\0' || text::EqualsNoCase(next, current);
    // Only an entered section moves the run on; anything else would meet this
    // marker again at the same number and repeat without end.
    if (!stop) stop = SetUpCommandSection(false) != SectionSetUp::Entered;
    if (stop) LogLine("No More commands", "");
    return stop;
}

// Runs a handler. A failed allocation inside it (a container growing as well as
// a buffer) ends that command, not the run: false, after the line that says so.
static bool RunHandler(const CommandRow &row, int &result) {
    try {
        result = row.handler();
        return true;
    } catch (const std::bad_alloc &) {
        LogLine("ERROR-=-", "malloc returned a NULL pointer");
        result = 0;
        return false;
    }
}

void RunCommandLoop() {
    bool stop = false;
    while (!stop) {
        const int number = g_run.commandCursor;
        char key[64];
        text::FormatBounded(key, sizeof key, "Cmd%d", number);
        g_run.commandType = static_cast<int>(GetPrivateProfileIntA("Commands", key, 0, g_run.scriptFile));
        text::FormatBounded(key, sizeof key, "CmdSection%d.%d", number, 0);
        GetPrivateProfileStringA("Commands", key, "", g_run.argumentSection, sizeof g_run.argumentSection,
                                 g_run.scriptFile);

        const int type = g_run.commandType;
        if (type != 0) {
            char fullSection[260];
            text::FormatBounded(key, sizeof key, "FullCmdSection%d", number);
            GetPrivateProfileStringA("Commands", key, "", fullSection, sizeof fullSection, g_run.scriptFile);
            char line[512];
            text::FormatBounded(line, sizeof line, "CMD%d> %s: %d%s", number, CommandDisplayName(type), type,
                                fullSection);
            LogLine(line, "");
        }

        const CommandRow *row = FindCommand(type);
        if (!row) {
            LogLineFormat("NOTICE: ", "CMD >%d< not defined", type);
            ++g_run.commandCursor;
            stop = !SaveCommandCursor();
            continue;
        }
        if (row->after == AfterCommand::EndOfSection) {
            try {
                stop = EnterNextSectionOrStop();
            } catch (const std::bad_alloc &) {
                LogLine("ERROR-=-", "malloc returned a NULL pointer");
                LogLine("No More commands", "");
                stop = true;
            }
            if (!stop) stop = !SaveWholeState();  // the entered section's commands are in the file
            continue;
        }

        if (row->argumentsFromData) text::Copy(g_run.argumentSection, "DATA");
        int result = 0;
        // A command cut short by memory moves on like any other: run again, it
        // would most likely fail again.
        const bool completed = RunHandler(*row, result);

        // A save that failed ends the run here: the state saved before it is what
        // a resume goes on from.
        bool saved = true;
        if (row->after != AfterCommand::StopAtOnce || !completed) {
            ++g_run.commandCursor;
            saved = SaveCommandCursor(row->mayWriteScript);
        } else {
            saved = SaveWholeState();
        }
        if (!saved || (row->after != AfterCommand::Advance && result != 0)) stop = true;
    }
}

int KestrelMain(const char *commandLine) {
    SplitProgramPath();

    if (!InitINIFile(commandLine)) {
        LogLine("ERROR - ", "cannot initialize");
        ShowStartUpBox(kUsageText);
        return 0;
    }
    // A start-up cut off before its end goes back to the state saved before it.
    if (SetUpCommandSection(true) == SectionSetUp::Failed) {
        LogLine("ERROR - ", "Cannot initialize commands section");
        ShowStartUpBox("Cannot initialize commands section...check log file...");
        return 0;
    }

    EnablePrivileges();

    // The SMBIOS window stays mapped until the run ends; leaving this function
    // on any path releases it.
    std::unique_ptr<SmbiosTable> smbios = TakeHardwareInventory();
    ReapplyWow64Redirection();  // a run-wide setting of a run cut off
    if (!SaveWholeState()) return 0;  // the unroll and the inventory wrote the script file

    if (!ReadLanguage()) return 0;

    g_run.commandCursor = static_cast<int>(GetPrivateProfileIntA("Commands", "CurrentCmd", 0, g_run.scriptFile));
    RunCommandLoop();
    // A run whose state could not be saved ends without DONE: its saved state
    // stays, and a resume after the cause is removed goes on from it.
    if (!FinishSavedState()) return 0;

    if (g_run.rebootRequested) {
        LogLine("DONE", " Shutting down system.");
        ExitWindowsEx(EWX_REBOOT, 0);
    } else {
        LogLine("DONE", "!");
    }
    smbios.reset();
    return 0;
}
