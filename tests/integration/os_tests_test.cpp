// The OS tests in a real process whose reported Windows version Wine sets per
// program name (HKCU\Software\Wine\AppDefaults\<exe> "Version").
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "test_support.h"

using namespace testing_support;

namespace {

enum Answer { Win95 = 1, Win98 = 2, NT4 = 4, Win2000 = 8, XP = 16, Vista = 32, Wow64 = 64 };

const char kAppDefaults[] = "Software\\Wine\\AppDefaults\\";

// Runs a copy of the probe named for the version; returns its answers.
int AnswersUnder(const std::string &version) {
    const std::string folder = FreshFolder("os_tests");
    const std::string exe = "osprobe_" + version + ".exe";
    if (!CopyFileA((ProgramFolder() + "\\os_probe.exe").c_str(), (folder + "\\" + exe).c_str(), FALSE)) return -1;
    const std::string key = kAppDefaults + exe;
    HKEY handle;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &handle, nullptr) !=
        ERROR_SUCCESS)
        return -1;
    RegSetValueExA(handle, "Version", 0, REG_SZ, reinterpret_cast<const BYTE *>(version.c_str()),
                   static_cast<DWORD>(version.size() + 1));
    RegCloseKey(handle);
    int answers = RunProgram(folder + "\\" + exe, "");
    RegDeleteTreeA(HKEY_CURRENT_USER, key.c_str());
    return answers;
}

TEST(OsTests, EachVersionAnswersItsOwnTestOnly) {
    const struct {
        const char *version;
        int answers;
    } rows[] = {
        {"win95", Win95}, {"win98", Win98},  {"winme", 0},  {"nt40", NT4},    {"win2k", Win2000},
        {"winxp64", XP},  {"win2003", XP},   {"vista", Vista}, {"win7", 0},   {"win10", 0},
    };
    // Whatever version is reported, the WOW64 bit is that of the build under test.
    const int wow64 = kWow64Build ? Wow64 : 0;
    for (const auto &row : rows) EXPECT_EQ(row.answers | wow64, AnswersUnder(row.version)) << row.version;
}

}  // namespace
