// kestrel-check --log read against the logs of real runs that go wrong: a missing
// source, a tree copied into a folder that does not exist, a registry key that
// cannot be opened, a program that cannot start, a run killed before DONE.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "script_run.h"
#include "test_support.h"

using namespace testing_support;

namespace {

class LogSummaryRun : public ScriptRun {
protected:
    Captured Summary(const std::string &arguments) {
        return RunCaptured(ProgramFolder() + "\\kestrel-check.exe", "--log " + arguments);
    }
    bool LogHolds(const std::string &textValue) { return ReadFile(log_).find(textValue) != std::string::npos; }
};

TEST_F(LogSummaryRun, EveryFailedCommandIsNamedWithItsFailureLines) {
    CreateDirectoryA((folder_ + "\\tree").c_str(), nullptr);
    WriteFile(folder_ + "\\tree\\a.txt", "a");
    WriteScript(Ini({"[CommandsList]", "15,Copies", "3,Deep", "11,,C:\\ktests_none\\none.exe,TRUE", "32,end",
                     "[Copies]", folder_ + "\\missing.txt, " + folder_ + "\\x.txt",
                     folder_ + "\\tree, C:\\ktests_no_such_folder\\sub", "[Deep]", "RegHive=HKEY_CURRENT_USER",
                     "RegKey=Software\\" + std::string(300, 'k'), "RegValue=v", "RegData=1"}));
    ASSERT_EQ(0, Run());

    // The failed file copy's system message and its second line are one entry.
    std::vector<std::string> lines = Lines(log_);
    for (const std::string &line : lines) EXPECT_EQ(0u, line.find('[')) << line;
    EXPECT_TRUE(LogHolds("SBCopyFile -  Error=3, ")) << ReadFile(log_);

    Captured text = Summary(log_);
    EXPECT_EQ(1, text.status) << text.err;
    std::string out = text.out;
    auto failed = [&out](const std::string &command) {
        size_t at = out.find("FAILED   line ");
        for (; at != std::string::npos; at = out.find("FAILED   line ", at + 1)) {
            size_t end = out.find('\n', at);
            if (out.substr(at, end - at).find(command) != std::string::npos) return at;
        }
        return std::string::npos;
    };
    size_t copy = failed("CMD0> CMD15_CopyFile: 15,Copies");
    size_t reg = failed("CMD1> CMD03_Add single Reg Value: 3,Deep");
    size_t spawn = failed("CMD2> CMD11_SpawnProgram: 11,,C:\\ktests_none\\none.exe,TRUE");
    ASSERT_NE(std::string::npos, copy) << out;
    ASSERT_NE(std::string::npos, reg) << out;
    ASSERT_NE(std::string::npos, spawn) << out;
    std::string copyLines = out.substr(copy, reg - copy);
    EXPECT_NE(std::string::npos, copyLines.find("does not Exist")) << copyLines;
    EXPECT_NE(std::string::npos, copyLines.find("SBCopyFile -  Error=3, ")) << copyLines;
    EXPECT_NE(std::string::npos, out.find("ERROR opening key: ", reg)) << out;
    EXPECT_NE(std::string::npos, out.find("FAIL - Failure with CreateProcess( )", spawn)) << out;
    EXPECT_EQ(std::string::npos, out.find("CMD3>")) << out;  // 32 went well
    EXPECT_NE(std::string::npos, out.find("  end:      DONE !")) << out;
    EXPECT_NE(std::string::npos, out.find("  switches: -silent")) << out;
    EXPECT_NE(std::string::npos, out.find("  sections: [CommandsList]")) << out;
}

TEST_F(LogSummaryRun, ARunKilledBeforeDoneFailsTheSummary) {
    WriteScript(Ini({"[CommandsList]", "32,started", "13,60000", "32,never"}));
    std::string commandLine = "\"" + KestrelPath() + "\" " + script_ + " -silent";
    std::vector<char> buffer(commandLine.begin(), commandLine.end());
    buffer.push_back('\0');
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    ASSERT_TRUE(CreateProcessA(nullptr, buffer.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process));
    CloseHandle(process.hThread);
    for (int tries = 0; tries < 600 && !LogHolds("CMD13_Sleep"); ++tries) Sleep(50);
    bool sleeping = LogHolds("CMD13_Sleep");
    TerminateProcess(process.hProcess, 9);
    WaitForSingleObject(process.hProcess, INFINITE);
    CloseHandle(process.hProcess);
    ASSERT_TRUE(sleeping) << ReadFile(log_);

    Captured text = Summary(log_);
    EXPECT_EQ(1, text.status) << text.err;
    EXPECT_NE(std::string::npos, text.out.find("NO DONE")) << text.out;

    // The same log once more, as a fleet table: one row a log.
    Captured markdown = Summary("--format markdown " + log_ + " " + log_);
    EXPECT_EQ(1, markdown.status);
    std::vector<std::string> rows = markdown.OutLines();
    ASSERT_EQ(4u, rows.size()) << markdown.out;
    EXPECT_NE(std::string::npos, rows[2].find("| **FAILED** | ")) << rows[2];
    EXPECT_NE(std::string::npos, rows[2].find(" | no (1) | ")) << rows[2];
}

}  // namespace
