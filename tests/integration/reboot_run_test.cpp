// The reboot request and the start-up privileges, in real runs.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "script_run.h"
#include "test_support.h"

using namespace testing_support;

namespace {

using RebootRun = ScriptRun;

std::vector<std::string> LastTexts(const std::vector<std::string> &texts, size_t count) {
    if (texts.size() < count) return texts;
    return std::vector<std::string>(texts.end() - static_cast<long>(count), texts.end());
}

TEST_F(RebootRun, ExitRebootSystemRequestsTheRestartAtTheEnd) {
    WriteScript(Ini({"[CommandsList]", "32,before", "20", "32,never"}));
    ASSERT_EQ(0, Run());
    std::vector<std::string> expected = {"CMD1> CMD20_ExitRebootSystem: 20 ", "Setting to reboot system... ",
                                         "DONE  Shutting down system."};
    EXPECT_EQ(expected, LastTexts(Texts(), 3));
    // A run resumed after the restart carries on after the command.
    EXPECT_EQ("2", Copy("Commands", "CurrentCmd"));
}

TEST_F(RebootRun, ExitRebootSystemIsRefusedWithNoreboot) {
    WriteScript(Ini({"[CommandsList]", "20", "32,never"}));
    ASSERT_EQ(0, Run("-silent -noreboot"));
    std::vector<std::string> expected = {"CMD0> CMD20_ExitRebootSystem: 20 ",
                                         "Not setting to reboot system since SuppressReboot is set ", "DONE !"};
    EXPECT_EQ(expected, LastTexts(Texts(), 3));
    EXPECT_EQ("1", Copy("Commands", "CurrentCmd"));
}


const char *const kPrivilegeLines[] = {
    "NOTICE: adjusting token privilege for : SE_SHUTDOWN_NAME",
    "NOTICE: adjusting token privilege for : SE_RESTORE_NAME",
    "NOTICE: adjusting token privilege for : SE_BACKUP_NAME",
};

TEST_F(RebootRun, PrivilegesAreEnabledAfterTheSectionSetUpOnNt) {
    WriteScript(Ini({"[CommandsList]", "32,first"}));
    ASSERT_EQ(0, Run());
    std::vector<std::string> texts = Texts();
    int setUp = FindText(texts, "InitCommandSection()  initializtion complete.");
    ASSERT_GE(setUp, 0);
    ASSERT_GE(texts.size(), static_cast<size_t>(setUp) + 5);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(kPrivilegeLines[i], texts[setUp + 1 + i]);
    // Hardware detection follows the privileges, before the first command.
    EXPECT_LT(setUp + 4, FindText(texts, "CMD0> CMD32_LogMsg: 32,first "));
    for (const std::string &t : texts) EXPECT_EQ(std::string::npos, t.find("ERROR: adjusting")) << t;
}

// Makes Wine report another Windows version to kestrel.exe alone while it lives.
class ReportedVersion {
public:
    explicit ReportedVersion(const char *version) {
        HKEY key = nullptr;
        if (RegCreateKeyExA(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr) ==
            ERROR_SUCCESS) {
            RegSetValueExA(key, "Version", 0, REG_SZ, reinterpret_cast<const BYTE *>(version),
                           static_cast<DWORD>(strlen(version) + 1));
            RegCloseKey(key);
        }
    }
    ~ReportedVersion() { RegDeleteKeyA(HKEY_CURRENT_USER, kKey); }

private:
    static constexpr const char *kKey = "Software\\Wine\\AppDefaults\\kestrel.exe";
};

TEST_F(RebootRun, NoPrivilegeIsTouchedOffTheNtPlatform) {
    WriteScript(Ini({"[CommandsList]", "32,first"}));
    {
        ReportedVersion win98("win98");
        ASSERT_EQ(0, Run());
    }
    std::vector<std::string> texts = Texts();
    ASSERT_TRUE(ContainsText(texts, " first"));
    for (const std::string &t : texts) EXPECT_EQ(std::string::npos, t.find("token privilege")) << t;
}

}  // namespace
