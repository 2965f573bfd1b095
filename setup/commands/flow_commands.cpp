#include "flow_commands.h"

#include <windows.h>

#include <climits>

#include "engine/bounded_text.h"
#include "engine/command_sections.h"
#include "engine/install_log.h"
#include "engine/profile_utils.h"
#include "engine/run_state.h"
#include "engine/script_guard.h"
#include "engine/variables.h"

// The loop has put "DATA" into the argument section for 5, 6 and 7, so these
// keys always come from [DATA], whatever the command line named.
static int ReadDataInt(const char *key) {
    return static_cast<int>(GetPrivateProfileIntA(g_run.argumentSection, key, 0, g_run.scriptFile));
}

static void LogCursorLine(int commandNumber) {
    char line[64];
    text::FormatBounded(line, sizeof line, "CMD%d=%d", g_run.commandCursor, commandNumber);
    LogLine(line, line);
}

int CmdRunCount() {
    WriteScriptInt(g_run.argumentSection, "RunCount", ReadDataInt("RunCount") + 1);
    return 0;
}

int CmdDecCommand() {
    int step = ReadDataInt("DecCommand");
    if (step > 0) {
        // The loop adds one afterwards, so the earliest command reachable is 0.
        if (step > g_run.commandCursor) {
            LogLineFormat("ERROR-=-", "ERROR cannot decrement the CurrentCmd by %d", step);
        } else {
            g_run.commandCursor -= step + 1;  // saved by the loop with its advance
        }
    }
    LogCursorLine(6);
    return 0;
}

int CmdIncCommand() {
    int step = ReadDataInt("IncCommand");
    if (step > 0) {
        if (g_run.commandCursor > INT_MAX - 1 - step) {
            LogLineFormat("ERROR-=-", "ERROR cannot increment the CurrentCmd by %d", step);
        } else {
            g_run.commandCursor += step;  // saved by the loop with its advance
        }
    }
    LogCursorLine(7);
    return 0;
}

int CmdResetRunState() {
    g_run.commandCursor = -1;
    WriteScriptString("Commands", "CurrentCmd", "-1");
    text::Copy(g_run.currentSection, "CommandsList");
    WriteScriptString("State", "CurrentSection", g_run.currentSection);
    WriteScriptString("State", "NextSection", "");
    WriteScriptSection("Commands", nullptr);
    WriteScriptSection("State", nullptr);
    FlushProfile(g_run.scriptFile);
    return 1;
}

int CmdExit() { return 1; }

int CmdJumpToSection() {
    LogLine("  Setting next section to: ", g_run.argumentSection);
    GetVariable(g_run.argumentSection, sizeof g_run.argumentSection);
    if (SectionHasLines(g_run.argumentSection, g_run.scriptFile))
        WriteScriptString("State", "NextSection", g_run.argumentSection);
    else
        ReportMissingSection(g_run.argumentSection);
    return 0;
}
