#include <gtest/gtest.h>
#include <windows.h>

#include <regex>
#include <string>

#include "engine/install_log.h"
#include "engine/run_state.h"
#include "engine/text_rules.h"
#include "test_support.h"

using namespace testing_support;

namespace {

class InstallLog : public ::testing::Test {
protected:
    void SetUp() override {
        ResetRunState();
        folder_ = FreshFolder("unit-log");
        log_ = folder_ + "\\install.log";
        ASSERT_TRUE(SetInstallLogPath(log_.c_str()));
        text_copy(g_run.programFileName, "setup.exe");
        g_run.logging = true;
    }
    void TearDown() override { ResetRunState(); }
    static void text_copy(char (&dst)[260], const char *src) { lstrcpynA(dst, src, sizeof dst); }
    std::string folder_, log_;
};

TEST_F(InstallLog, LineLayoutHasStampTwoBlanksProgramAndBothTexts) {
    LogLine("DONE", "!");
    LogLine("", "");
    LogMessage("found type 1 structure...");
    std::vector<std::string> lines = Lines(log_);
    ASSERT_EQ(3u, lines.size());
    std::regex stamp(R"(\[\d\d:\d\d:\d\d\.\d\d\d\]  )");
    EXPECT_TRUE(std::regex_match(lines[0], std::regex(R"(\[\d\d:\d\d:\d\d\.\d\d\d\]  setup\.exe> DONE !)"))) << lines[0];
    // Both texts empty: the line ends with the blank between them.
    EXPECT_TRUE(std::regex_match(lines[1], std::regex(R"(\[\d\d:\d\d:\d\d\.\d\d\d\]  setup\.exe>  )"))) << lines[1];
    EXPECT_TRUE(std::regex_match(lines[2], std::regex(R"(\[\d\d:\d\d:\d\d\.\d\d\d\]  found type 1 structure\.\.\.)")))
        << lines[2];
    // Every line ends with CR LF on disk.
    std::string raw = ReadFile(log_);
    EXPECT_EQ("\r\n", raw.substr(raw.size() - 2));
}

TEST_F(InstallLog, TimeStampPadsEveryField) {
    char stamp[32];
    FormatTimeStamp(stamp, sizeof stamp, 9, 5, 3, 7);
    EXPECT_STREQ("[09:05:03.007] ", stamp);
}

TEST_F(InstallLog, LoggingOffCreatesNoFile) {
    g_run.logging = false;
    LogLine("ERROR-=-", "something failed");
    LogMessage("text");
    EXPECT_FALSE(Exists(log_));
}

TEST_F(InstallLog, OverlongLineIsCutAt511Characters) {
    std::string longText(2000, 'x');
    LogLine("NOTICE: ", longText.c_str());
    LogLineFormat("NOTICE: ", "%s", longText.c_str());
    std::vector<std::string> lines = Lines(log_);
    ASSERT_EQ(2u, lines.size());
    EXPECT_EQ(511u, lines[0].size());
    EXPECT_EQ(511u, lines[1].size());
}

TEST_F(InstallLog, AnEntryIsOneLineAndRawBytesAreEscaped) {
    // A system message's line break and a format's "\n" stay inside the entry.
    LogLine("SBCopyFile -  Error=3, Path not found.\r\n", "\nfunction CopyFile() failed on src=a, dst=b");
    LogMessage("data \x03\x01\x7f\t end");
    std::vector<std::string> lines = Lines(log_);
    ASSERT_EQ(2u, lines.size()) << ReadFile(log_);
    EXPECT_NE(std::string::npos, lines[0].find("> SBCopyFile -  Error=3, Path not found.    function CopyFile() failed"))
        << lines[0];
    EXPECT_NE(std::string::npos, lines[1].find("  data \\x03\\x01\\x7f\\x09 end")) << lines[1];

    // Cut at the line's capacity, never inside an escape.
    char line[8];
    EXPECT_EQ(6u, OneLogLine(line, sizeof line, "ab\x01\x02"));
    EXPECT_STREQ("ab\\x01", line);
    EXPECT_EQ(0u, OneLogLine(line, 1, "abc"));
    EXPECT_STREQ("", line);
}

TEST_F(InstallLog, OverlongLogPathIsRefusedAndTheOldPathKept) {
    std::string longPath = "C:\\" + std::string(200, 'p') + ".log";
    EXPECT_FALSE(SetInstallLogPath(longPath.c_str()));
    EXPECT_EQ(log_, g_run.logPath);
}

TEST_F(InstallLog, LineIsDroppedWhenTheFolderIsMissing) {
    ASSERT_TRUE(SetInstallLogPath("C:\\ktests\\no-such-folder\\x.log"));
    LogLine("a", "b");  // nothing to check but that it returns
    EXPECT_FALSE(Exists("C:\\ktests\\no-such-folder\\x.log"));
}

TEST_F(InstallLog, DescribeLastErrorGivesOneLineAndTheCode) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    char buffer[260];
    EXPECT_EQ(static_cast<unsigned long>(ERROR_FILE_NOT_FOUND), DescribeLastError(buffer, sizeof buffer));
    std::string message = buffer;
    EXPECT_FALSE(message.empty());
    EXPECT_EQ(std::string::npos, message.find_first_of("\r\n"));

    char raw[260];
    EXPECT_EQ(static_cast<unsigned long>(ERROR_FILE_NOT_FOUND), DescribeError(raw, sizeof raw, ERROR_FILE_NOT_FOUND));
    EXPECT_NE(std::string::npos, std::string(raw).find('\n'));

    char tiny[8];
    SetLastError(ERROR_FILE_NOT_FOUND);
    DescribeLastError(tiny, sizeof tiny);
    EXPECT_EQ(7u, strlen(tiny));
}

}  // namespace
