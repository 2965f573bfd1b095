#include "command_sections.h"

#include <windows.h>

#include "bounded_text.h"
#include "install_log.h"
#include "profile_utils.h"
#include "run_state.h"
#include "text_rules.h"

static const char kAbsent[] = "~x!x@x";

static void WriteCommandKey(const char *format, int number, int field, const char *value) {
    char key[64];
    text::FormatBounded(key, sizeof key, format, number, field);
    WritePrivateProfileStringA("Commands", key, value, g_run.scriptFile);
}

// Writes the section's lines as commands from the cursor on; returns the number
// after the last one.
static int UnrollSection(const char *sectionText) {
    int number = g_run.commandCursor;
    ForEachSectionLine(sectionText, [&number](const char *line) {
        UnrolledCommand command;
        if (!UnrollCommandLine(line, command)) return;
        WriteCommandKey("Cmd%d", number, 0, command.typeText.c_str());
        WriteCommandKey("FullCmdSection%d", number, 0, command.fullSection.c_str());
        for (size_t k = 0; k < command.fields.size(); ++k)
            WriteCommandKey("CmdSection%d.%d", number, static_cast<int>(k), command.fields[k].c_str());
        ++number;
    });
    return number;
}

// A command left at this number by an earlier, longer section would otherwise run
// after the new section's last command: mark the end explicitly.
static void MarkSectionEnd(int number) {
    char key[32], value[16];
    text::FormatBounded(key, sizeof key, "Cmd%d", number);
    if (GetPrivateProfileStringA("Commands", key, "", value, sizeof value, g_run.scriptFile) > 0)
        WritePrivateProfileStringA("Commands", key, "0", g_run.scriptFile);
}

SectionSetUp SetUpCommandSection(bool atStartUp) {
    const char *file = g_run.scriptFile;
    char firstCommand[260];
    GetPrivateProfileStringA("Commands", "CMD0", "XX", firstCommand, sizeof firstCommand, file);
    GetPrivateProfileStringA("State", "CurrentSection", kAbsent, g_run.currentSection, sizeof g_run.currentSection,
                             file);
    GetPrivateProfileStringA("State", "NextSection", kAbsent, g_run.nextSection, sizeof g_run.nextSection, file);

    SectionText section;
    if (text::EqualsNoCase(g_run.currentSection, kAbsent)) {
        text::Copy(g_run.currentSection, "CommandsList");
        WritePrivateProfileStringA("State", "CurrentSection", "CommandsList", file);
        WritePrivateProfileStringA("State", "NextSection", "", file);
        section = ReadProfileSection("CommandsList", file);
        LogLine("InitCommandSection()", " starting from [CommandsList]");
    } else {
        bool nothingPending = text::EqualsNoCase(g_run.nextSection, g_run.currentSection) ||
                              text::EqualsNoCase(firstCommand, "XX") || g_run.nextSection[0] == '\0';
        // A run stopped while a jump was pending (an exit or reboot after a branch)
        // resumes inside its current section; the loop enters the pending one at
        // that section's end, so the numbering follows the saved cursor.
        bool resumedWithJumpPending = atStartUp && !text::EqualsNoCase(g_run.nextSection, kAbsent);
        if (nothingPending || resumedWithJumpPending) {
            LogLineFormat("InitCommandSection()", " continuing with [%s]", g_run.currentSection);
            return SectionSetUp::Continued;
        }
        section = ReadProfileSection(g_run.nextSection, file);
        WritePrivateProfileStringA("State", "CurrentSection", g_run.nextSection, file);
        WritePrivateProfileStringA("State", "NextSection", "", file);
        LogLineFormat("InitCommandSection()", " starting from [%s]", g_run.nextSection);
    }

    GetPrivateProfileStringA("State", "CurrentSection", "", g_run.currentSection, sizeof g_run.currentSection, file);
    LogLineFormat("**", "  Starting section >%s<", g_run.currentSection);
    if (!section) {
        LogLineFormat("ERROR-=-", " section [%s] is empty..cannot initialize", g_run.currentSection);
        return SectionSetUp::Failed;
    }

    MarkSectionEnd(UnrollSection(section.get()));
    section.reset();
    FlushProfile(file);
    LogLine("InitCommandSection()", " initializtion complete.");
    return SectionSetUp::Entered;
}

int InitCommandSection() { return SetUpCommandSection(false) == SectionSetUp::Failed ? 0 : 1; }

bool SectionHasLines(const char *sectionName, const char *file) {
    return ReadProfileSection(sectionName, file) != nullptr;
}

void ReportMissingSection(const char *sectionName) {
    if (!g_run.silentMode) {
        MessageBoxA(nullptr,
                    "An internal error has occured and progress has been aborted.\n\nPlease reinstall installation.",
                    "Norvik SW Installer", MB_SYSTEMMODAL | MB_ICONERROR);
    }
    LogLineFormat("ERROR-=-", "Section [%s] is not found!", sectionName);
}

void SetNextSection(const char *sectionName) {
    if (SectionHasLines(sectionName, g_run.scriptFile)) {
        LogLine("  Setting next section to: ", sectionName);
        WritePrivateProfileStringA("State", "NextSection", sectionName, g_run.scriptFile);
    } else {
        ReportMissingSection(sectionName);
    }
}
