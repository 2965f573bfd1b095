#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "engine/install_log.h"
#include "engine/profile_utils.h"
#include "engine/run_state.h"
#include "test_support.h"

using namespace testing_support;

namespace {

class ProfileFile : public ::testing::Test {
protected:
    void SetUp() override {
        ResetRunState();
        folder_ = FreshFolder("unit-profile");
        file_ = folder_ + "\\script.ini";
        log_ = folder_ + "\\install.log";
        SetInstallLogPath(log_.c_str());
        lstrcpynA(g_run.programFileName, "kestrel.exe", sizeof g_run.programFileName);
        g_run.logging = true;
    }
    void TearDown() override { ResetRunState(); }

    // A section of about `characters` characters of lines.
    std::string SectionOf(size_t characters) {
        std::string content = "[Big]\r\n";
        size_t written = 0;
        for (int i = 0; written < characters; ++i) {
            std::string line = "32,line number " + std::to_string(i) + " of a long section";
            content += line + "\r\n";
            written += line.size() + 1;
        }
        return content + "[After]\r\nKey=1\r\n";
    }
    std::string folder_, file_, log_;
};

TEST_F(ProfileFile, SectionAndKeyNamesMatchWithoutRegardToCase) {
    WritePrivateProfileStringA("DATA", "SilentMode", "1", file_.c_str());
    FlushProfile(file_.c_str());
    EXPECT_EQ(1u, GetPrivateProfileIntA("Data", "silentmode", 0, file_.c_str()));
    EXPECT_EQ(1u, GetPrivateProfileIntA("data", "SILENTMODE", 0, file_.c_str()));
}

TEST_F(ProfileFile, DefaultLengthIsReturnedForAnAbsentKey) {
    char value[16];
    EXPECT_EQ(2u, GetPrivateProfileStringA("Commands", "CMD0", "XX", value, sizeof value, file_.c_str()));
    EXPECT_STREQ("XX", value);
}

TEST_F(ProfileFile, LongValueIsCutToBufferMinusOne) {
    WritePrivateProfileStringA("S", "K", std::string(100, 'v').c_str(), file_.c_str());
    char value[10];
    EXPECT_EQ(9u, GetPrivateProfileStringA("S", "K", "", value, sizeof value, file_.c_str()));
    EXPECT_EQ(std::string(9, 'v'), value);
}

TEST_F(ProfileFile, FlushPutsEveryWriteOnDisk) {
    WritePrivateProfileStringA("Commands", "CurrentCmd", "7", file_.c_str());
    WriteProfileInt("Commands", "Cmd7", -3, file_.c_str());
    FlushProfile(file_.c_str());
    std::string onDisk = ReadFile(file_);
    EXPECT_NE(std::string::npos, onDisk.find("CurrentCmd=7"));
    EXPECT_NE(std::string::npos, onDisk.find("Cmd7=-3"));
}

TEST_F(ProfileFile, ReadProfileSectionGrowsUntilTheWholeSectionFits) {
    WriteFile(file_, SectionOf(600));
    SectionText section = ReadProfileSection("Big", file_.c_str());
    ASSERT_TRUE(section);
    int lines = 0;
    std::string last;
    ForEachSectionLine(section.get(), [&](const char *line) {
        ++lines;
        last = line;
    });
    EXPECT_GE(lines, 15);
    EXPECT_NE(std::string::npos, last.find("line number " + std::to_string(lines - 1)));
}

TEST_F(ProfileFile, LargeSectionIsReadWholeOnNt) {
    WriteFile(file_, SectionOf(40000));
    SectionText section = ReadProfileSection("Big", file_.c_str());
    ASSERT_TRUE(section);
    size_t length = 0;
    ForEachSectionLine(section.get(), [&](const char *line) { length += strlen(line) + 1; });
    EXPECT_GT(length, 40000u);
    EXPECT_FALSE(Exists(log_)) << "no warning on NT";
}

TEST_F(ProfileFile, MissingOrEmptySectionReadsAsNone) {
    WriteFile(file_, "[Empty]\r\n[Other]\r\nA=1\r\n");
    EXPECT_FALSE(ReadProfileSection("Empty", file_.c_str()));
    EXPECT_FALSE(ReadProfileSection("Missing", file_.c_str()));
    EXPECT_FALSE(ReadProfileSection("Other", (folder_ + "\\absent.ini").c_str()));
    EXPECT_EQ(0u, GetProfileSectionSize("Missing", file_.c_str()));
}

TEST_F(ProfileFile, SectionSizeIsCappedAt16640OnEverySystem) {
    WriteFile(file_, SectionOf(20000));
    EXPECT_EQ(16640u, GetProfileSectionSize("Big", file_.c_str()));
    std::vector<std::string> texts = LogTexts(log_);
    ASSERT_EQ(1u, texts.size());
    EXPECT_EQ("WARINING -=-Section Size is to large for Win9X", texts[0]);

    WriteFile(file_, "[Small]\r\nabc\r\nde\r\n");
    EXPECT_EQ(7u, GetProfileSectionSize("Small", file_.c_str()));
}

TEST_F(ProfileFile, StripCommentsAndEtcWarnsOnNull) {
    EXPECT_EQ(nullptr, StripCommentsAndEtc(nullptr));
    std::vector<std::string> lines = Lines(log_);
    ASSERT_EQ(1u, lines.size());
    EXPECT_NE(std::string::npos, lines[0].find("]  warning null pointer passed to StripCommentsAndEtc"));
}

}  // namespace
