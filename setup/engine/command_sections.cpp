#include "command_sections.h"

#include <windows.h>

#include <cctype>
#include <cstring>
#include <string>
#include <unordered_map>
#include <vector>

#include "bounded_text.h"
#include "install_log.h"
#include "profile_utils.h"
#include "run_state.h"
#include "script_guard.h"
#include "text_rules.h"

static const char kAbsent[] = "~x!x@x";

namespace {

// [Commands] gathered in memory and written back in one call: the profile
// functions rewrite the whole file for every single key, which made unrolling a
// long section quadratic. Keys keep their place; new keys are appended.
class CommandsSection {
public:
    explicit CommandsSection(const char *file) : file_(file) {
        SectionText existing = ReadProfileSection("Commands", file);
        ForEachSectionLine(existing.get(), [this](const char *line) {
            const char *equals = strchr(line, '=');
            std::string key = equals ? std::string(line, equals) : std::string(line);
            lines_.push_back(Line{key, equals ? std::string(equals + 1) : std::string(), equals != nullptr});
            index_.emplace(Lower(key), lines_.size() - 1);
        });
    }

    void Set(const std::string &key, const std::string &value) {
        auto found = index_.find(Lower(key));
        if (found != index_.end()) {
            lines_[found->second].value = value;
            lines_[found->second].hasValue = true;
            return;
        }
        lines_.push_back(Line{key, value, true});
        index_.emplace(Lower(key), lines_.size() - 1);
    }

    bool Has(const std::string &key) const { return index_.count(Lower(key)) != 0; }

    void Remove(const std::string &key) {
        auto found = index_.find(Lower(key));
        if (found == index_.end()) return;
        lines_[found->second].removed = true;
        index_.erase(found);
    }

    void Write() const {
        std::string content;
        for (const Line &line : lines_) {
            if (line.removed) continue;
            content += line.key;
            if (line.hasValue) content += "=" + line.value;
            content.push_back('\0');
        }
        content.push_back('\0');
        WriteScriptSection("Commands", content.c_str());
    }

private:
    struct Line {
        std::string key, value;
        bool hasValue;
        bool removed = false;
    };
    static std::string Lower(std::string textValue) {
        for (char &c : textValue) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
        return textValue;
    }
    const char *file_;
    std::vector<Line> lines_;
    std::unordered_map<std::string, size_t> index_;
};

std::string NumberedKey(const char *format, int number, int field = 0) {
    char key[64];
    text::FormatBounded(key, sizeof key, format, number, field);
    return key;
}

// Writes one command at a number. An argument that an earlier command of this
// number had beyond the new one's last is removed: a command without it would
// read the old one (a bare 32 logging an old text, a 16 deleting an old path).
void WriteCommand(CommandsSection &commands, int number, const UnrolledCommand &command) {
    commands.Set(NumberedKey("Cmd%d", number), command.typeText);
    commands.Set(NumberedKey("FullCmdSection%d", number), command.fullSection);
    int k = 0;
    for (const std::string &field : command.fields) commands.Set(NumberedKey("CmdSection%d.%d", number, k++), field);
    for (std::string stale = NumberedKey("CmdSection%d.%d", number, k); commands.Has(stale);
         stale = NumberedKey("CmdSection%d.%d", number, ++k))
        commands.Remove(stale);
}

// Writes the section's lines as commands from the cursor on. A command left just
// after them by an earlier, longer section would otherwise run after the new
// section's last command, so the end is marked explicitly there.
void UnrollSection(const char *sectionText) {
    CommandsSection commands(g_run.scriptFile);
    int number = g_run.commandCursor;
    ForEachSectionLine(sectionText, [&](const char *line) {
        UnrolledCommand command;
        if (!UnrollCommandLine(line, command)) return;
        WriteCommand(commands, number++, command);
    });
    if (commands.Has(NumberedKey("Cmd%d", number))) WriteCommand(commands, number, UnrolledCommand{"0", "", {}});
    commands.Write();
}

}  // namespace

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
        WriteScriptString("State", "CurrentSection", "CommandsList");
        WriteScriptString("State", "NextSection", "");
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
        WriteScriptString("State", "CurrentSection", g_run.nextSection);
        WriteScriptString("State", "NextSection", "");
        LogLineFormat("InitCommandSection()", " starting from [%s]", g_run.nextSection);
    }

    GetPrivateProfileStringA("State", "CurrentSection", "", g_run.currentSection, sizeof g_run.currentSection, file);
    LogLineFormat("**", "  Starting section >%s<", g_run.currentSection);
    if (!section) {
        LogLineFormat("ERROR-=-", " section [%s] is empty..cannot initialize", g_run.currentSection);
        return SectionSetUp::Failed;
    }

    UnrollSection(section.get());
    section.reset();
    FlushProfile(file);
    LogLine("InitCommandSection()", " initializtion complete.");
    return SectionSetUp::Entered;
}

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
        WriteScriptString("State", "NextSection", sectionName);
    } else {
        ReportMissingSection(sectionName);
    }
}
