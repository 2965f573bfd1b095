#include "flow_commands.h"

#include <windows.h>

#include "engine/bounded_text.h"
#include "engine/command_sections.h"
#include "engine/install_log.h"
#include "engine/profile_utils.h"
#include "engine/run_state.h"
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
    WriteProfileInt(g_run.argumentSection, "RunCount", ReadDataInt("RunCount") + 1, g_run.scriptFile);
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
    WritePrivateProfileStringA("Commands", "CurrentCmd", "-1", g_run.scriptFile);
    text::Copy(g_run.currentSection, "CommandsList");
    WritePrivateProfileStringA("State", "CurrentSection", g_run.currentSection, g_run.scriptFile);
    WritePrivateProfileStringA("State", "NextSection", "", g_run.scriptFile);
    WritePrivateProfileSectionA("Commands", nullptr, g_run.scriptFile);
    WritePrivateProfileSectionA("State", nullptr, g_run.scriptFile);
    FlushProfile(g_run.scriptFile);
    return 1;
}

int CmdExit() { return 1; }

int CmdJumpToSection() {
    LogLine("  Setting next section to: ", g_run.argumentSection);
    GetVariable(g_run.argumentSection, sizeof g_run.argumentSection);
    if (SectionHasLines(g_run.argumentSection, g_run.scriptFile))
        WritePrivateProfileStringA("State", "NextSection", g_run.argumentSection, g_run.scriptFile);
    else
        ReportMissingSection(g_run.argumentSection);
    return 0;
}
