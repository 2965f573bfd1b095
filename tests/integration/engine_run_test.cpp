// kestrel.exe runs as a real process on scripts under C:\ and is judged by its
// install log and its working copy.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "script_run.h"
#include "test_support.h"

using namespace testing_support;

namespace {

class EngineRun : public ScriptRun {};

TEST_F(EngineRun, CleanStartLogsInTheDocumentedOrder) {
    WriteScript(Ini({"[CommandsList]", "32,first", "33", "32,second"}));
    ASSERT_EQ(0, Run(""));
    std::vector<std::string> expected = {
        " ",
        "*** Starting " + ProgramFolder() + "\\kestrel.exe Version: 2.00.10 *** ",
        "InitINIFile() system will be forcing a clean start.",
        "InitINIFile() To force a resume add [DATA]:ForceCleanStart=0 or use -resume in command line.",
        "InitINIFile() " + script_ + " has been copied to " + copy_,
        "InitINIFile() The INI file in use is " + copy_,
        "InitCommandSection()  starting from [CommandsList]",
        "**   Starting section >CommandsList<",
        "InitCommandSection()  initializtion complete.",
        "NOTICE: adjusting token privilege for : SE_SHUTDOWN_NAME",
        "NOTICE: adjusting token privilege for : SE_RESTORE_NAME",
        "NOTICE: adjusting token privilege for : SE_BACKUP_NAME",
        "Sleuth was unable to find SMBIOS.  Checking WMI",
        "CMD0> CMD32_LogMsg: 32,first ",
        " first",
        "CMD1> CMD33_: 33 ",
        "CMD2> CMD32_LogMsg: 32,second ",
        " second",
        "No More commands ",
        "DONE !",
    };
    EXPECT_EQ(expected, Texts());
    EXPECT_EQ("3", Copy("Commands", "CurrentCmd"));
    EXPECT_EQ("CommandsList", Copy("State", "CurrentSection"));
}

TEST_F(EngineRun, SectionLinesAreUnrolledIntoCommands) {
    WriteScript(Ini({"[CommandsList]", "33,CopyA", ";comment", "33,Wait,2", "33", "33,Next ; go on"}));
    ASSERT_EQ(0, Run());
    EXPECT_EQ("33", Copy("Commands", "Cmd0"));
    EXPECT_EQ(",CopyA", Copy("Commands", "FullCmdSection0"));
    EXPECT_EQ("CopyA", Copy("Commands", "CmdSection0.0"));
    EXPECT_EQ(",Wait,2", Copy("Commands", "FullCmdSection1"));
    EXPECT_EQ("Wait", Copy("Commands", "CmdSection1.0"));
    EXPECT_EQ("2", Copy("Commands", "CmdSection1.1"));
    EXPECT_EQ("", Copy("Commands", "FullCmdSection2"));
    EXPECT_EQ("<absent>", Copy("Commands", "CmdSection2.0"));
    EXPECT_EQ("Next", Copy("Commands", "CmdSection3.0"));
    EXPECT_EQ("4", Copy("Commands", "CurrentCmd"));
}

TEST_F(EngineRun, ZeroLineEndsTheSectionEarly) {
    WriteScript(Ini({"[CommandsList]", "32,before", "0", "32,after"}));
    ASSERT_EQ(0, Run());
    std::vector<std::string> texts = Texts();
    EXPECT_TRUE(ContainsText(texts, " before"));
    EXPECT_FALSE(ContainsText(texts, " after"));
    EXPECT_EQ("DONE !", texts.back());
    EXPECT_EQ("1", Copy("Commands", "CurrentCmd"));
}

TEST_F(EngineRun, UndefinedAndUnsupportedNumbersAreSkipped) {
    WriteScript(Ini({"[CommandsList]", "40,x", "22", "35", "-3", "32,last"}));
    ASSERT_EQ(0, Run());
    std::vector<std::string> texts = Texts();
    int undefined = FindText(texts, "CMD0> CMD_NotDefined: 40,x ");
    ASSERT_GE(undefined, 0);
    EXPECT_EQ("NOTICE:  CMD >40< not defined", texts[undefined + 1]);
    int unsupported = FindText(texts, "CMD1> CMD22_DisplayWindow: 22 ");
    ASSERT_GE(unsupported, 0);
    EXPECT_EQ("  Not Supported yet.", texts[unsupported + 1]);
    EXPECT_TRUE(ContainsText(texts, " last"));
    EXPECT_EQ("5", Copy("Commands", "CurrentCmd"));
}

TEST_F(EngineRun, SwitchesAreWrittenIntoTheWorkingCopy) {
    WriteScript(Ini({"[CommandsList]", "33"}));
    ASSERT_EQ(0, Run("-silent -noreboot"));
    EXPECT_EQ("1", Copy("DATA", "SilentMode"));
    EXPECT_EQ("1", Copy("DATA", "SuppressReboot"));
    std::vector<std::string> texts = Texts();
    EXPECT_EQ(2, FindText(texts, "InitINIFile() -noreboot given...will suppress reboots"));
    EXPECT_EQ(3, FindText(texts, "InitINIFile() -silent given...will run silent"));
    // The source script is never written.
    EXPECT_EQ(std::string::npos, ReadFile(script_).find("SilentMode"));
}

TEST_F(EngineRun, CleanStartRenewsTheCopyAndResumeReusesIt) {
    WriteScript(Ini({"[CommandsList]", "32,zero", "32,one", "32,two"}));
    ASSERT_EQ(0, Run());
    ASSERT_EQ("3", Copy("Commands", "CurrentCmd"));

    // As if the run had been cut off after command 0.
    EditCopy("Commands", "CurrentCmd", "1");
    DeleteTree(log_);
    ASSERT_EQ(0, Run("-resume"));
    std::vector<std::string> texts = Texts();
    EXPECT_TRUE(ContainsText(texts, "InitINIFile() -resume given...will force a resume."));
    EXPECT_TRUE(ContainsText(texts, "InitCommandSection()  continuing with [CommandsList]"));
    EXPECT_FALSE(ContainsText(texts, " zero"));
    EXPECT_TRUE(ContainsText(texts, " one"));
    EXPECT_TRUE(ContainsText(texts, " two"));
    EXPECT_EQ("3", Copy("Commands", "CurrentCmd"));

    // Without -resume the copy is renewed and the run starts over.
    EditCopy("Commands", "CurrentCmd", "1");
    DeleteTree(log_);
    ASSERT_EQ(0, Run());
    EXPECT_TRUE(ContainsText(Texts(), " zero"));
}

TEST_F(EngineRun, ForceCleanStartZeroResumes) {
    WriteScript(Ini({"[CommandsList]", "32,zero", "32,one"}), "ForceCleanStart=0\r\n");
    ASSERT_EQ(0, Run());
    EXPECT_TRUE(ContainsText(Texts(), "InitINIFile() system will resume and not force a clean start."));
    EXPECT_TRUE(ContainsText(Texts(), " zero")) << "no copy yet: it is made from the source";

    EditCopy("Commands", "CurrentCmd", "1");
    DeleteTree(log_);
    ASSERT_EQ(0, Run());
    std::vector<std::string> texts = Texts();
    EXPECT_FALSE(ContainsText(texts, " zero"));
    EXPECT_TRUE(ContainsText(texts, " one"));
    EXPECT_FALSE(ContainsText(texts, "InitINIFile() " + script_ + " has been copied to " + copy_));
}

TEST_F(EngineRun, ReadOnlySourceGivesAWritableCopy) {
    WriteScript(Ini({"[CommandsList]", "33"}));
    SetFileAttributesA(script_.c_str(), FILE_ATTRIBUTE_READONLY);
    ASSERT_EQ(0, Run());
    ASSERT_EQ(0, Run());  // a second clean start replaces the copy again
    DWORD attributes = GetFileAttributesA(copy_.c_str());
    ASSERT_NE(INVALID_FILE_ATTRIBUTES, attributes);
    EXPECT_FALSE(attributes & FILE_ATTRIBUTE_READONLY);
    EXPECT_EQ("1", Copy("Commands", "CurrentCmd"));
    SetFileAttributesA(script_.c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST_F(EngineRun, LoggingOffWritesNoLog) {
    WriteFile(script_, "[Data]\r\nLogging=0\r\nLogFile=" + log_ + "\r\n" + Ini({"[CommandsList]", "32,hello"}));
    ASSERT_EQ(0, Run());
    EXPECT_FALSE(Exists(log_));
    EXPECT_EQ("1", Copy("Commands", "CurrentCmd"));
}

TEST_F(EngineRun, MissingScriptEndsTheRunWithoutACopy) {
    ASSERT_EQ(0, RunKestrel(folder_ + "\\absent.ini -silent"));
    EXPECT_FALSE(Exists(WorkingCopyOf("absent.ini")));
    EXPECT_FALSE(Exists(log_));
}

TEST_F(EngineRun, MissingCommandsListCannotInitialize) {
    WriteScript(Ini({"[Other]", "33"}));
    ASSERT_EQ(0, Run());
    std::vector<std::string> texts = Texts();
    EXPECT_TRUE(ContainsText(texts, "ERROR-=-  section [CommandsList] is empty..cannot initialize"));
    EXPECT_EQ("ERROR -  Cannot initialize commands section", texts.back());
}

TEST_F(EngineRun, ScriptBesideTheProgramIsFoundWithoutAName) {
    std::string program = folder_ + "\\setup.exe";
    ASSERT_TRUE(CopyFileA(KestrelPath().c_str(), program.c_str(), FALSE));
    WriteFile(folder_ + "\\setup.INI", DataSection() + Ini({"[CommandsList]", "32,beside the program"}));
    DeleteTree(WorkingCopyOf("setup.INI"));
    ASSERT_EQ(0, RunProgram(program, ""));
    std::vector<std::string> texts = LogTexts(log_);
    EXPECT_TRUE(ContainsText(texts, " beside the program"));
    EXPECT_EQ("DONE !", texts.back());

    // A name without a drive is looked for beside the program too.
    WriteFile(folder_ + "\\named.ini", DataSection() + Ini({"[CommandsList]", "32,named"}));
    ASSERT_EQ(0, RunProgram(program, "named.ini -silent"));
    EXPECT_TRUE(ContainsText(LogTexts(log_), " named"));
}

TEST_F(EngineRun, ScriptPathWithAHyphenIsCutAndNotFound) {
    std::string hyphenFolder = FreshFolder("engine-hyphen");
    std::string script = hyphenFolder + "\\a.ini";
    WriteFile(script, DataSection() + Ini({"[CommandsList]", "33"}));
    ASSERT_EQ(0, RunKestrel(script + " -silent"));
    EXPECT_FALSE(Exists(log_));
}

TEST_F(EngineRun, EmptyLanguageInHardwareFileStopsBeforeAnyCommand) {
    const std::string hardwareFile = "C:\\system.sav\\util\\mira.ini";
    bool hadFile = Exists(hardwareFile);
    std::string saved = hadFile ? ReadFile(hardwareFile) : "";
    WriteFile(hardwareFile, "[Description]\r\nNorvikLanguage=\r\n");

    WriteScript(Ini({"[CommandsList]", "32,never"}));
    int exitCode = Run();

    if (hadFile)
        WriteFile(hardwareFile, saved);
    else
        DeleteTree(hardwareFile);

    ASSERT_EQ(0, exitCode);
    std::vector<std::string> texts = Texts();
    EXPECT_EQ("ERROR -  Cannont find MIRA.INI", texts.back());
    EXPECT_FALSE(ContainsText(texts, " never"));
    EXPECT_FALSE(ContainsText(texts, "DONE !"));
}

TEST_F(EngineRun, PendingSectionIsEnteredAtTheEndOfSectionMarker) {
    WriteScript(Ini({"[CommandsList]", "32,a0", "32,a1", "[Second]", "32,b0", "32,b1"}));
    ASSERT_EQ(0, Run());
    // A jump recorded by hand, as a branch command would, then the run resumed
    // at its end.
    EditCopy("State", "NextSection", "Second");
    DeleteTree(log_);
    ASSERT_EQ(0, Run("-resume"));
    std::vector<std::string> texts = Texts();
    int entered = FindText(texts, "InitCommandSection()  starting from [Second]");
    ASSERT_GE(entered, 0);
    EXPECT_EQ("**   Starting section >Second<", texts[entered + 1]);
    EXPECT_EQ(entered + 3, FindText(texts, "CMD2> CMD32_LogMsg: 32,b0 "));
    EXPECT_TRUE(ContainsText(texts, " b1"));
    EXPECT_EQ("DONE !", texts.back());
    EXPECT_EQ("4", Copy("Commands", "CurrentCmd"));
    EXPECT_EQ("Second", Copy("State", "CurrentSection"));
    EXPECT_EQ("", Copy("State", "NextSection"));
    // The earlier section's entries stay below the new ones.
    EXPECT_EQ("32", Copy("Commands", "Cmd0"));
    EXPECT_EQ("a1", Copy("Commands", "CmdSection1.0"));
    EXPECT_EQ("b1", Copy("Commands", "CmdSection3.0"));
}

TEST_F(EngineRun, ResumedRunWithAJumpPendingFinishesItsSectionFirst) {
    WriteScript(Ini({"[CommandsList]", "32,a0", "32,a1", "32,a2", "[Second]", "32,b0"}));
    ASSERT_EQ(0, Run());
    EditCopy("Commands", "CurrentCmd", "1");
    EditCopy("State", "NextSection", "Second");
    DeleteTree(log_);
    ASSERT_EQ(0, Run("-resume"));
    std::vector<std::string> texts = Texts();
    int a1 = FindText(texts, "CMD1> CMD32_LogMsg: 32,a1 ");
    int a2 = FindText(texts, "CMD2> CMD32_LogMsg: 32,a2 ");
    int b0 = FindText(texts, "CMD3> CMD32_LogMsg: 32,b0 ");
    ASSERT_GE(a1, 0);
    EXPECT_GT(a2, a1);
    EXPECT_GT(b0, a2);
    EXPECT_EQ("4", Copy("Commands", "CurrentCmd"));
}

TEST_F(EngineRun, ShorterSectionDoesNotRunCommandsLeftByALongerOne) {
    WriteScript(Ini({"[CommandsList]", "32,a0", "0", "32,stale1", "32,stale2", "[Second]", "32,b0"}));
    ASSERT_EQ(0, Run());
    EditCopy("State", "NextSection", "Second");
    DeleteTree(log_);
    ASSERT_EQ(0, Run("-resume"));
    std::vector<std::string> texts = Texts();
    EXPECT_TRUE(ContainsText(texts, " b0"));
    EXPECT_FALSE(ContainsText(texts, " stale2"));
    EXPECT_EQ("DONE !", texts.back());
}

TEST_F(EngineRun, ArgumentsOfAnEarlierCommandNeverReachALaterOne) {
    // Next is unrolled from number 1 on, over the 0 and the 32 of CommandsList.
    WriteScript(Ini({"[CommandsList]", "19,Next", "0", "32,OLD,older", "[Next]", "33", "32"}));
    ASSERT_EQ(0, Run());
    std::vector<std::string> texts = Texts();
    int bare = FindText(texts, "CMD2> CMD32_LogMsg: 32 ");
    ASSERT_GE(bare, 0);
    EXPECT_EQ(" ", texts[bare + 1]);
    EXPECT_FALSE(ContainsText(texts, " OLD"));
    EXPECT_EQ("<absent>", Copy("Commands", "CmdSection2.0"));
    EXPECT_EQ("<absent>", Copy("Commands", "CmdSection2.1"));
    EXPECT_EQ("DONE !", texts.back());
}

// The system's temporary folder for the programs this test starts.
class TemporaryFolderOverride {
public:
    explicit TemporaryFolderOverride(const std::string &folder) {
        for (const char *name : {"TMP", "TEMP"}) {
            char value[MAX_PATH] = "";
            DWORD length = GetEnvironmentVariableA(name, value, sizeof value);
            saved_.push_back({name, std::string(value, length < sizeof value ? length : 0), length != 0});
            SetEnvironmentVariableA(name, folder.c_str());
        }
    }
    ~TemporaryFolderOverride() {
        for (const Saved &s : saved_) SetEnvironmentVariableA(s.name, s.existed ? s.value.c_str() : nullptr);
    }

private:
    struct Saved {
        const char *name;
        std::string value;
        bool existed;
    };
    std::vector<Saved> saved_;
};

TEST_F(EngineRun, SourceScriptInTheTemporaryFolderIsNeverWritten) {
    // A kit unpacked into the temporary folder: the program and its script side by
    // side there, the folder named another way than the program sees its own.
    const std::string program = folder_ + "\\setup.exe", script = folder_ + "\\kit.ini";
    ASSERT_TRUE(CopyFileA(KestrelPath().c_str(), program.c_str(), FALSE));
    const std::string source = DataSection() + Ini({"[CommandsList]", "32,one", "32,two"});
    WriteFile(script, source);
    char shortForm[MAX_PATH];
    ASSERT_GT(GetShortPathNameA(folder_.c_str(), shortForm, sizeof shortForm), 0u);
    std::string spelled = shortForm;
    for (char &c : spelled) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    const std::string fallbackCopy = "c:\\temp\\kit.ini";

    struct Case {
        std::string temporaryFolder, program, arguments;
    };
    // The program in the temporary folder; then a script named by its path in a
    // temporary folder that the program does not live in.
    for (const Case &run : {Case{spelled + "\\", program, "kit.ini -silent"}, Case{folder_, KestrelPath(), script + " -silent"}}) {
        SCOPED_TRACE(run.temporaryFolder + " " + run.program);
        DeleteTree(fallbackCopy);
        TemporaryFolderOverride temporary(run.temporaryFolder);
        for (int start = 0; start < 2; ++start) {
            DeleteTree(log_);
            ASSERT_EQ(0, RunProgram(run.program, run.arguments));
            std::vector<std::string> texts = Texts();
            ASSERT_FALSE(texts.empty()) << start;
            EXPECT_TRUE(ContainsText(texts, " one")) << start;
            EXPECT_TRUE(ContainsText(texts, " two")) << start;
            EXPECT_TRUE(ContainsText(texts, "InitINIFile() The INI file in use is " + fallbackCopy)) << start;
            EXPECT_EQ("DONE !", texts.back());
            EXPECT_EQ(source, ReadFile(script));
        }
        EXPECT_EQ("2", ProfileString(fallbackCopy, "Commands", "CurrentCmd"));
    }
    DeleteTree(fallbackCopy);
}

TEST_F(EngineRun, HandWrittenStateWithoutCommandsEndsInsteadOfLooping) {
    WriteScript(Ini({"[State]", "CurrentSection=CommandsList", "NextSection=Other", "[CommandsList]", "32,a",
                     "[Other]", "32,o"}));
    ASSERT_EQ(0, RunKestrel(script_ + " -silent", 20000)) << "the run must end";
    std::vector<std::string> texts = Texts();
    EXPECT_TRUE(ContainsText(texts, "InitCommandSection()  continuing with [CommandsList]"));
    EXPECT_EQ("No More commands ", texts[texts.size() - 2]);
    EXPECT_EQ("DONE !", texts.back());
}

TEST_F(EngineRun, LogFileOptionSendsLinesThere) {
    std::string other = folder_ + "\\other.log";
    WriteFile(script_, "[Data]\r\nLogging=1\r\nLogFile=" + other + "\r\n" + Ini({"[CommandsList]", "32,x"}));
    ASSERT_EQ(0, Run());
    EXPECT_TRUE(ContainsText(LogTexts(other), " x"));
}

}  // namespace
