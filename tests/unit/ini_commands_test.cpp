// The INI-editing handlers called in-process on real script files.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "commands/ini_commands.h"
#include "engine/bounded_text.h"
#include "engine/install_log.h"
#include "engine/profile_utils.h"
#include "engine/run_state.h"
#include "test_support.h"

using namespace testing_support;

namespace {

class IniCommand : public ::testing::Test {
protected:
    void SetUp() override {
        ResetRunState();
        folder_ = FreshFolder("unit_ini_commands");
        script_ = folder_ + "\\script.ini";
        log_ = folder_ + "\\install.log";
        SetInstallLogPath(log_.c_str());
        text::Copy(g_run.programFileName, "kestrel.exe");
        text::Copy(g_run.scriptFile, script_.c_str());
        g_run.logging = true;
        g_run.commandCursor = 4;
    }
    void TearDown() override { ResetRunState(); }

    // The script with the running command's arguments at number 4, argument 0 in
    // the current argument section as the loop loads it.
    void WriteScript(const std::vector<std::string> &arguments, const std::string &rest = "") {
        std::string content = "[Commands]\r\n";
        for (size_t k = 0; k < arguments.size(); ++k)
            content += "CmdSection4." + std::to_string(k) + "=" + arguments[k] + "\r\n";
        WriteFile(script_, content + rest);
        text::Copy(g_run.argumentSection, arguments.empty() ? "" : arguments[0].c_str());
    }
    std::string Value(const std::string &section, const std::string &key) {
        return ProfileString(script_, section, key, "<absent>");
    }
    std::vector<std::string> Texts() { return LogTexts(log_); }

    std::string folder_, script_, log_;
};

TEST_F(IniCommand, SetValueSingleFormWritesAndFlushes) {
    WriteScript({"", "DATA", "DecCommand", "2"});
    EXPECT_EQ(0, CmdSetValue());
    EXPECT_EQ(std::vector<std::string>{"Writing:  [DATA]:DecCommand=2"}, Texts());
    // On disk, not only in the profile functions' memory.
    EXPECT_NE(std::string::npos, ReadFile(script_).find("DecCommand=2"));
}

TEST_F(IniCommand, SetValueSingleFormExpandsAllThree) {
    WriteScript({"", "~%V001", "~%V002", "~%V003\\x"}, "[Variables]\r\nV001=Paths\r\nV002=Kit\r\nV003=D:\\kit\r\n");
    EXPECT_EQ(0, CmdSetValue());
    EXPECT_EQ("D:\\kit\\x", Value("Paths", "Kit"));
    EXPECT_TRUE(ContainsText(Texts(), "Writing:  [Paths]:Kit=D:\\kit\\x"));
}

TEST_F(IniCommand, SetValueSingleFormRefusesAnEmptyName) {
    WriteScript({"", "DATA", "", "2"});
    EXPECT_EQ(2, CmdSetValue());
    WriteScript({"", "", "Key", "2"});
    EXPECT_EQ(2, CmdSetValue());
    std::string content = ReadFile(script_);
    EXPECT_EQ(std::string::npos, content.find("\r\n=2")) << content;
    EXPECT_EQ(std::string::npos, content.find("Key=2")) << content;
    std::vector<std::string> texts = Texts();
    EXPECT_TRUE(ContainsText(texts, "WARNINIG-=- Invalid Parameters : no Key >DATA<"));
    EXPECT_TRUE(ContainsText(texts, "WARNINIG-=- Invalid Parameters : no section ><"));
}

TEST_F(IniCommand, SetValueListWritesGoodLinesAndWarnsOfTheRest) {
    WriteScript({"Values"}, Ini({"[Variables]", "V005=expanded", "[Values]", "MySection , Key1 , some value, with comma",
                                 "Sect,KeyOnly", "NoCommaHere", ",Key,Value", "Sect,,Value", "Sect,   ,Value",
                                 "~%V005,Key2,~%V005 too"}));
    EXPECT_EQ(0, CmdSetValue());
    EXPECT_EQ("some value, with comma", Value("MySection", "Key1"));
    EXPECT_EQ("expanded too", Value("expanded", "Key2"));
    EXPECT_EQ("<absent>", Value("Sect", "KeyOnly"));
    std::vector<std::string> expected = {
        "WARNINIG-=- Missing comma >Sect<",
        "WARNINIG-=- Missing comma >NoCommaHere<",
        "WARNINIG-=- Invalid Parameters : no section ><",
        "WARNINIG-=- Invalid Parameters : no Key >Sect<",
        "WARNINIG-=- Invalid Parameters : no Key >Sect<",
    };
    std::vector<std::string> warnings;
    for (const std::string &t : Texts())
        if (t.rfind("WARNINIG", 0) == 0) warnings.push_back(t);
    EXPECT_EQ(expected, warnings);
    // Nothing outside a section, no line without a key.
    EXPECT_EQ(std::string::npos, ReadFile(script_).find("\r\n=")) << ReadFile(script_);
}

TEST_F(IniCommand, SetValueListOfAMissingSectionFails) {
    WriteScript({"NoSuchList"});
    EXPECT_EQ(2, CmdSetValue());
    EXPECT_EQ(std::vector<std::string>{"ERROR-=- Missing the Data section or an extra comma."}, Texts());
}

TEST_F(IniCommand, OverlongListFieldIsCutAndSaid) {
    std::string longValue(700, 'v');
    WriteScript({"Values"}, Ini({"[Values]", "Sect,Key," + longValue}));
    EXPECT_EQ(0, CmdSetValue());
    EXPECT_EQ(std::string(511, 'v'), Value("Sect", "Key"));
    std::vector<std::string> texts = Texts();
    ASSERT_FALSE(texts.empty());
    EXPECT_EQ(0u, texts[0].rfind("WARNINIG-=- Field longer than 511 characters cut >", 0)) << texts[0];
}

TEST_F(IniCommand, SetVariableSingleFormTakesTheNameLiterally) {
    WriteScript({"", "~%V009", "~%V001 and more"}, Ini({"[Variables]", "V001=one", "V009=Other"}));
    EXPECT_EQ(0, CmdSetVariable());
    EXPECT_EQ("one and more", Value("Variables", "~%V009"));
    EXPECT_EQ("<absent>", Value("Variables", "Other"));
    EXPECT_TRUE(ContainsText(Texts(), "Writing:  [Variables]:~%V009=one and more"));
}

TEST_F(IniCommand, SetVariableListExpandsNameAndValue) {
    WriteScript({"Vars"}, Ini({"[Variables]", "V001=one", "V009=V020", "[Vars]", " ~%V009 , ~%V001, two ",
                               "V021,plain", "NoComma", ",orphan"}));
    EXPECT_EQ(0, CmdSetVariable());
    EXPECT_EQ("one, two", Value("Variables", "V020"));
    EXPECT_EQ("plain", Value("Variables", "V021"));
    std::vector<std::string> texts = Texts();
    EXPECT_TRUE(ContainsText(texts, "WARNINIG-=- Missing comma >NoComma<"));
    EXPECT_TRUE(ContainsText(texts, "WARNINIG-=- Invalid Parameters : no Key ><"));
    EXPECT_EQ("<absent>", Value("Variables", ""));
}


TEST_F(IniCommand, AppendJoinsTheBytesAsTheyAre) {
    std::string extra = folder_ + "\\extra.ini";
    // The script's last line has no line break: the appended file's first line joins it.
    WriteScript({extra}, "[Joined]\r\nKey=start");
    WriteFile(extra, "-tail\r\n[Extra]\r\nA=1\r\nB=last");
    EXPECT_EQ(0, CmdAppendINIFile());
    std::string before = "[Commands]\r\nCmdSection4.0=" + extra + "\r\n[Joined]\r\nKey=start";
    EXPECT_EQ(before + "-tail\r\n[Extra]\r\nA=1\r\nB=last", ReadFile(script_));
    EXPECT_EQ("start-tail", Value("Joined", "Key"));
    EXPECT_EQ("last", Value("Extra", "B"));

    char temp[260];
    ASSERT_TRUE(AppendTemporaryPath(script_.c_str(), GetCurrentProcessId(), temp, sizeof temp));
    EXPECT_FALSE(Exists(temp));
    std::vector<std::string> texts = Texts();
    ASSERT_EQ(4u, texts.size());
    EXPECT_EQ(std::string(" creating temp file:  ") + temp, texts[0]);
    EXPECT_EQ(" coping contents of  " + script_, texts[1]);
    EXPECT_EQ(" coping contents of  " + extra, texts[2]);
    EXPECT_EQ(std::string("  renaming ") + temp + " to " + script_, texts[3]);
}

TEST_F(IniCommand, AppendSeesValuesWrittenJustBefore) {
    std::string extra = folder_ + "\\extra.ini";
    WriteScript({extra}, Ini({"[Data]", "Logging=1"}));
    WriteFile(extra, Ini({"[Extra]", "A=1"}));
    WritePrivateProfileStringA("Data", "Fresh", "yes", script_.c_str());  // pending in the profile functions
    EXPECT_EQ(0, CmdAppendINIFile());
    EXPECT_EQ("yes", Value("Data", "Fresh"));
    EXPECT_EQ("1", Value("Extra", "A"));
    // Writing after the append keeps the appended sections.
    WritePrivateProfileStringA("Commands", "CurrentCmd", "5", script_.c_str());
    FlushProfile(script_.c_str());
    EXPECT_EQ("1", Value("Extra", "A"));
    EXPECT_EQ("5", Value("Commands", "CurrentCmd"));
}

TEST_F(IniCommand, AppendOfAMissingFileLeavesTheScriptUntouched) {
    std::string missing = folder_ + "\\absent.ini";
    WriteScript({missing}, Ini({"[Data]", "Keep=1"}));
    std::string before = ReadFile(script_);
    EXPECT_EQ(2, CmdAppendINIFile());
    EXPECT_EQ(before, ReadFile(script_));
    char temp[260];
    ASSERT_TRUE(AppendTemporaryPath(script_.c_str(), GetCurrentProcessId(), temp, sizeof temp));
    EXPECT_FALSE(Exists(temp));
    std::vector<std::string> texts = Texts();
    ASSERT_FALSE(texts.empty());
    EXPECT_EQ("Error-=-  cound not open second file...", texts.back());
}


TEST_F(IniCommand, TemporaryPathIsBesideTheScript) {
    char temp[260];
    ASSERT_TRUE(AppendTemporaryPath("C:\\temp\\a.ini", 1234567, temp, sizeof temp));
    EXPECT_STREQ("C:\\temp\\TMP34567.INI", temp);
    std::string deep = "C:\\" + std::string(250, 'd') + "\\a.ini";
    EXPECT_FALSE(AppendTemporaryPath(deep.c_str(), 1, temp, sizeof temp));
}

}  // namespace
