// Values far beyond their buffers, fed to a real kestrel.exe: each is cut where it
// is read or refused, the run goes on or ends cleanly, nothing is overrun.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "script_run.h"
#include "test_support.h"

using namespace testing_support;

namespace {

class OverlongInput : public ScriptRun {
protected:
    // Every line of the log fits the 511-character line buffer.
    void ExpectLogLinesFit() {
        for (const std::string &line : Lines(log_)) EXPECT_LE(line.size(), 511u) << line.substr(0, 80);
    }
};

// Runs kestrel with TMP and TEMP set for it alone.
int RunWithTemp(const std::string &arguments, const std::string &temp) {
    std::string environment;
    for (const char *name : {"TMP", "TEMP"}) environment += std::string(name) + "=" + temp + '\0';
    char *block = GetEnvironmentStringsA();
    for (const char *entry = block; *entry; entry += strlen(entry) + 1) {
        if (_strnicmp(entry, "TMP=", 4) != 0 && _strnicmp(entry, "TEMP=", 5) != 0) environment += std::string(entry) + '\0';
    }
    FreeEnvironmentStringsA(block);
    environment += '\0';
    std::string commandLine = "\"" + KestrelPath() + "\" " + arguments;
    std::vector<char> buffer(commandLine.begin(), commandLine.end());
    buffer.push_back('\0');
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(KestrelPath().c_str(), buffer.data(), nullptr, nullptr, FALSE, 0, &environment[0], nullptr,
                        &startup, &process))
        return -1;
    CloseHandle(process.hThread);
    DWORD code = 1;
    if (WaitForSingleObject(process.hProcess, 60000) == WAIT_OBJECT_0) GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hProcess);
    return static_cast<int>(code);
}

TEST_F(OverlongInput, CommandLineAndScriptPathBeyondTheirBuffers) {
    // A name of 5,000 characters: cut to 259 where it is copied, then not found.
    EXPECT_EQ(0, RunKestrel(std::string(5000, 'n') + ".ini -silent"));
    // A full path that does not fit 259 characters is refused, not cut into another.
    std::string longPath = folder_ + "\\" + std::string(300, 'p') + ".ini";
    EXPECT_EQ(0, RunKestrel(longPath + " -silent"));
    EXPECT_FALSE(Exists(log_));
}

TEST_F(OverlongInput, TemporaryPathBeyond259CharactersFallsBackToCTemp) {
    WriteScript(Ini({"[CommandsList]", "32,ran"}));
    std::string longTemp = "C:\\" + std::string(300, 't');
    ASSERT_EQ(0, RunWithTemp(script_ + " -silent", longTemp));
    std::vector<std::string> texts = Texts();
    EXPECT_TRUE(ContainsText(texts, "ERROR-=- Need to remalloc for temp path..."));
    EXPECT_TRUE(ContainsText(texts, "InitINIFile() The INI file in use is c:\\temp\\" + name_ + ".ini"));
    EXPECT_TRUE(ContainsText(texts, " ran"));
    DeleteTree("c:\\temp\\" + name_ + ".ini");
}

TEST_F(OverlongInput, LogFileValueBeyond127CharactersKeepsTheDefaultLog) {
    const std::string defaultLog = "C:\\system.sav\\util\\install.log";
    std::string marker = "overlong log path marker " + std::to_string(GetTickCount());
    std::string longLog = folder_ + "\\" + std::string(150, 'l') + ".log";
    WriteFile(script_, "[Data]\r\nLogging=1\r\nLogFile=" + longLog + "\r\n" + Ini({"[CommandsList]", "32," + marker}));
    ASSERT_EQ(0, Run());
    std::vector<std::string> texts = LogTexts(defaultLog);
    EXPECT_TRUE(ContainsText(texts, " " + marker));
    EXPECT_TRUE(ContainsText(texts, "WARNING-=- [Data] LogFile is longer than 127 characters; the default log is used."));
}

TEST_F(OverlongInput, LongArgumentsListLinesAndPathsAreCut) {
    std::string huge(3000, 'x');
    WriteScript(Ini({"[CommandsList]", "32," + huge, "16,Paths", "15,Pairs", "21,Dirs", "31,Renames",
                     "15,," + huge + "," + huge, "16,," + huge, "31,," + huge + "," + huge, "32,still running",
                     "[Paths]", "C:\\" + huge, "[Pairs]", "C:\\" + huge + ",C:\\" + huge, "[Dirs]", "C:\\" + huge,
                     "[Renames]", "C:\\" + huge + ",C:\\" + huge}));
    ASSERT_EQ(0, Run());
    std::vector<std::string> texts = Texts();
    // Argument 0 is read into 255 characters.
    EXPECT_TRUE(ContainsText(texts, " " + std::string(255, 'x')));
    EXPECT_TRUE(ContainsText(texts, " still running"));
    EXPECT_EQ("DONE !", texts.back());
    ExpectLogLinesFit();
}

TEST_F(OverlongInput, VariableValuesAndExpansionsBeyondTheirBuffers) {
    std::string long259(259, 'v');
    WriteScript(Ini({"[CommandsList]", "16,,~%V001\\~%V001", "21,,~%V001~%V002", "19,~%V003", "32,still running",
                     "[Variables]", "V001=" + long259, "V002=" + std::string(1000, 'w'), "V003=~%V003~%V003"}));
    ASSERT_EQ(0, RunKestrel(script_ + " -silent", 60000));
    std::vector<std::string> texts = Texts();
    bool refused = false;
    for (const std::string &text : texts)
        if (text.find("variable value too long for its buffer") != std::string::npos) refused = true;
    EXPECT_TRUE(refused);
    EXPECT_TRUE(ContainsText(texts, " still running"));
    ExpectLogLinesFit();
}

TEST_F(OverlongInput, RegistryPathsAndDataBeyondTheirBuffers) {
    std::string longKey = "Software\\KestrelTests\\" + std::string(1000, 'k');
    std::string longName(600, 'n');
    WriteScript(Ini({"[CommandsList]", "3,Single", "14,Actions", "32,still running", "[Single]",
                     "RegHive=HKEY_CURRENT_USER", "RegKey=" + longKey, "RegValue=" + longName,
                     "RegData=" + std::string(2000, 'd'), "[Actions]",
                     "1,HKCU," + longKey + "," + longName + ",1," + std::string(3000, 'A'),
                     "1,HKCU,Software\\KestrelTests\\Overlong,Data,0," + std::string(3000, 'z')}));
    ASSERT_EQ(0, Run());
    std::vector<std::string> texts = Texts();
    EXPECT_TRUE(ContainsText(texts, " still running"));
    EXPECT_EQ("DONE !", texts.back());
    ExpectLogLinesFit();
    // The list line is read whole from the section: its data arrives as written or cut, never past a buffer.
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\KestrelTests\\Overlong", 0, KEY_READ, &key) == ERROR_SUCCESS) {
        char value[4096];
        DWORD size = sizeof value;
        EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExA(key, "Data", nullptr, nullptr, reinterpret_cast<BYTE *>(value), &size));
        RegCloseKey(key);
        RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\KestrelTests\\Overlong");
    }
}

}  // namespace
