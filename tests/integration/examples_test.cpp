// Every shipped example runs to its end under kestrel, as a newcomer would run it.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "test_support.h"

using namespace testing_support;

namespace {

// The repository as Wine sees it: Z: is the Linux root.
std::string ExamplesFolder() {
    std::string folder = "Z:" + std::string(KESTREL_SOURCE_DIR) + "/examples";
    for (char &c : folder)
        if (c == '/') c = '\\';
    return folder;
}

std::vector<std::string> ExampleScripts() {
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((ExamplesFolder() + "\\*.ini").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do names.push_back(found.cFileName);
    while (FindNextFileA(search, &found));
    FindClose(search);
    return names;
}

std::string LogFileOf(const std::string &script) {
    return ProfileString(script, "Data", "LogFile", "C:\\system.sav\\util\\install.log");
}

TEST(Examples, EveryExampleRunsToItsEnd) {
    std::vector<std::string> scripts = ExampleScripts();
    ASSERT_FALSE(scripts.empty()) << ExamplesFolder();
    SavedFile hardwareFile(kHardwareInfoPath);
    std::string folder = FreshFolder("examples");
    for (const std::string &name : scripts) {
        SCOPED_TRACE(name);
        std::string script = folder + "\\" + name;
        ASSERT_TRUE(CopyFileA((ExamplesFolder() + "\\" + name).c_str(), script.c_str(), FALSE));
        std::string log = LogFileOf(script);
        DeleteTree(log);
        DeleteTree(WorkingCopyOf(name));
        ASSERT_EQ(0, RunKestrel(script + " -silent -noreboot", 120000));
        std::vector<std::string> texts = LogTexts(log);
        ASSERT_FALSE(texts.empty());
        EXPECT_TRUE(texts.back() == "DONE !" || texts.back() == "DONE  Shutting down system.") << texts.back();
    }
}

// The unattended set-up: a first start that ends at its restart, and a second
// start with -resume that goes on after it, as the PC's start-up would run it.
class UnattendedSetup : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ = FreshFolder("setup");
        script_ = folder_ + "\\unattended_setup.ini";
        ASSERT_TRUE(CopyFileA((ExamplesFolder() + "\\unattended_setup.ini").c_str(), script_.c_str(), FALSE));
        log_ = LogFileOf(script_);
        // Every run rewrites the hardware information file: it is put back afterwards.
        hadHardwareFile_ = Exists(kHardwareFile);
        if (hadHardwareFile_) hardwareFile_ = ReadFile(kHardwareFile);
        Clean();
    }
    void TearDown() override {
        Clean();
        if (hadHardwareFile_)
            WriteFile(kHardwareFile, hardwareFile_);
        else
            DeleteTree(kHardwareFile);
    }

    void Clean() {
        DeleteTree(log_);
        for (const char *suffix : {"", ".kjournal", ".ksave0", ".ksave1"}) DeleteTree(WorkingCopy() + suffix);
        DeleteTree(kProduct);
        RegDeleteTreeA(HKEY_CURRENT_USER, kSettings);
    }

    std::string WorkingCopy() const { return WorkingCopyOf("unattended_setup.ini"); }

    // A value under HKCU\Software\KestrelSetup as text (a DWORD as its decimal number);
    // empty when it is not there.
    static std::string Setting(const char *name) {
        char data[512] = "";
        DWORD size = sizeof data, type = 0;
        if (RegGetValueA(HKEY_CURRENT_USER, kSettings, name, RRF_RT_ANY, &type, data, &size) != ERROR_SUCCESS)
            return "";
        if (type == REG_DWORD) return std::to_string(*reinterpret_cast<DWORD *>(data));
        return data;
    }

    // The log texts from the last banner on: the lines of the latest run.
    std::vector<std::string> LatestRun() const {
        std::vector<std::string> texts = LogTexts(log_);
        auto banner = std::find_if(texts.rbegin(), texts.rend(),
                                   [](const std::string &t) { return t.rfind("*** Starting ", 0) == 0; });
        if (banner == texts.rend()) return texts;
        return std::vector<std::string>(banner.base() - 1, texts.end());
    }

    static int CountStarting(const std::vector<std::string> &texts, const std::string &prefix) {
        return static_cast<int>(std::count_if(texts.begin(), texts.end(),
                                              [&](const std::string &t) { return t.rfind(prefix, 0) == 0; }));
    }

    static constexpr const char *kProduct = "C:\\kestrel_setup";
    static constexpr const char *kSettings = "Software\\KestrelSetup";
    static constexpr const char *kHardwareFile = "C:\\system.sav\\util\\mira.ini";
    std::string folder_, script_, log_;
    bool hadHardwareFile_ = false;
    std::string hardwareFile_;
};

TEST_F(UnattendedSetup, FirstStartEndsAtTheRestartAndTheSecondGoesOnAfterIt) {
    ASSERT_EQ(0, RunKestrel(script_ + " -silent -noreboot", 120000));

    std::vector<std::string> first = LatestRun();
    ASSERT_FALSE(first.empty());
    EXPECT_TRUE(ContainsText(first, "Not setting to reboot system since SuppressReboot is set "));
    EXPECT_EQ("DONE !", first.back());
    // Phase 1 is done and phase 2 waits: the kit's files, the settings, the staged file.
    EXPECT_TRUE(Exists(std::string(kProduct) + "\\config\\win.ini"));
    EXPECT_TRUE(Exists(std::string(kProduct) + "\\config\\defaults.ini"));
    EXPECT_TRUE(Exists(std::string(kProduct) + "\\staging\\driver.ini"));
    EXPECT_FALSE(Exists(std::string(kProduct) + "\\bin\\driver.ini"));
    EXPECT_EQ(kProduct, Setting("InstallDir"));
    EXPECT_EQ("3", Setting("Retries"));
    EXPECT_EQ("1", Setting("Phase"));
    EXPECT_EQ("", Setting("Complete"));
    // Whichever Windows and board this is, the run went through one section of each.
    EXPECT_FALSE(Setting("Windows").empty());
    std::string board = Setting("Board");
    EXPECT_TRUE(board == "supported" || board == "generic") << board;
    // The working copy remembers where to go on: after the restart command, into
    // [AfterRestart], with the switches of the first start.
    std::string copy = WorkingCopy();
    ASSERT_TRUE(Exists(copy));
    EXPECT_EQ("Restart", ProfileString(copy, "State", "CurrentSection"));
    EXPECT_EQ("AfterRestart", ProfileString(copy, "State", "NextSection"));
    std::string cursor = ProfileString(copy, "Commands", "CurrentCmd");
    std::string previous = std::to_string(std::stoi(cursor) - 1);
    EXPECT_EQ("20", ProfileString(copy, "Commands", "Cmd" + previous));
    EXPECT_EQ("1", ProfileString(copy, "DATA", "SilentMode"));
    EXPECT_EQ("1", ProfileString(copy, "DATA", "SuppressReboot"));

    // The second start names neither -silent nor -noreboot: the working copy keeps them.
    ASSERT_EQ(0, RunKestrel(script_ + " -resume", 120000));

    std::vector<std::string> second = LatestRun();
    ASSERT_FALSE(second.empty());
    EXPECT_TRUE(ContainsText(second, "InitINIFile() -resume given...will force a resume."));
    EXPECT_TRUE(ContainsText(second, "InitCommandSection()  continuing with [Restart]"));
    EXPECT_TRUE(ContainsText(second, "InitCommandSection()  starting from [AfterRestart]"));
    // Nothing of phase 1 runs again and no fresh copy of the script is made.
    EXPECT_EQ(0, CountStarting(second, "InitINIFile() C:\\"));
    EXPECT_FALSE(ContainsText(second, " Phase 1 done: restarting the PC"));
    EXPECT_EQ(0, CountStarting(second, "CMD0> "));
    EXPECT_EQ(1, CountStarting(second, "CMD" + cursor + "> CMD32_LogMsg: 32,Phase 2: after the restart"));
    EXPECT_EQ("DONE !", second.back());

    EXPECT_TRUE(Exists(std::string(kProduct) + "\\bin\\driver.ini"));
    EXPECT_FALSE(Exists(std::string(kProduct) + "\\staging"));
    EXPECT_EQ("2", Setting("Phase"));
    EXPECT_EQ("yes", Setting("Complete"));
    // The set-up is finished: no working copy and nothing saved beside it, so a
    // later start begins afresh.
    EXPECT_FALSE(Exists(copy));
    for (const char *suffix : {".kjournal", ".ksave0", ".ksave1"}) EXPECT_FALSE(Exists(copy + suffix)) << suffix;
}

}  // namespace
