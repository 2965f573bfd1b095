#include "flow_commands.h"

#include <windows.h>

#include "engine/bounded_text.h"
#include "engine/command_sections.h"
#include "engine/install_log.h"
#include "engine/profile_utils.h"
#include "engine/run_state.h"
#include "engine/script_guard.h"
#include "engine/variables.h"
#include "flow_rules.h"

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
    const int step = ReadDataInt("DecCommand");
    const CursorMove move = MoveCommandCursor(true, g_run.commandCursor, step);
    if (move.refused) LogLineFormat("ERROR-=-", "ERROR cannot decrement the CurrentCmd by %d", step);
    g_run.commandCursor = move.cursor;  // saved by the loop with its advance
    LogCursorLine(6);
    return 0;
}

int CmdIncCommand() {
    const int step = ReadDataInt("IncCommand");
    const CursorMove move = MoveCommandCursor(false, g_run.commandCursor, step);
    if (move.refused) LogLineFormat("ERROR-=-", "ERROR cannot increment the CurrentCmd by %d", step);
    g_run.commandCursor = move.cursor;  // saved by the loop with its advance
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
