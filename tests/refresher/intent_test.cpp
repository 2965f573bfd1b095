// The update record and the recovery that makes an update all old or all new: the record's
// text and the lock rule directly, the put-back on real files in every state an
// interruption can leave.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdarg>

#include "LogSink.h"
#include "UpdateIntent.h"
#include "refresher_support.h"
#include "test_support.h"

using testing_support::Exists;
using testing_support::ReadFile;
using testing_support::WriteFile;

namespace {

struct Lines : logging::ILogSink {
    std::vector<std::string> texts;
    void Log(int, const char *format, ...) override {
        va_list args;
        va_start(args, format);
        char text[1024];
        vsnprintf(text, sizeof text, format, args);
        va_end(args);
        texts.push_back(text);
    }
};

}  // namespace

TEST(UpdateRecord, ReadsBackWhatItWroteAndRefusesAnythingNotWhole) {
    intent::Record record;
    record.scheduleId = "s-1\r\nforged line";
    record.taskSequenceId = "";
    record.entries = {{"C:\\Agent\\warden.exe", true}, {"C:\\Agent\\new.dll", false}};
    const std::string text = intent::RecordText(record);
    intent::Record back;
    ASSERT_TRUE(intent::ParseRecord(text, back));
    EXPECT_EQ(back.scheduleId, "s-1  forged line");  // a field never makes a line of its own
    ASSERT_EQ(back.entries.size(), 2u);
    EXPECT_EQ(back.entries[0].destination, "C:\\Agent\\warden.exe");
    EXPECT_TRUE(back.entries[0].hadOld);
    EXPECT_FALSE(back.entries[1].hadOld);
    // Cut anywhere short of its closing line (a power cut before the flush), or with a
    // line not of ours, it is not a record.
    for (size_t cut = 0; cut + 5 < text.size(); cut += 7)
        EXPECT_FALSE(intent::ParseRecord(text.substr(0, cut), back)) << cut;
    EXPECT_FALSE(intent::ParseRecord(std::string(text.size(), '\0'), back));
    std::string other = text;
    other.replace(other.find("none "), 5, "what ");
    EXPECT_FALSE(intent::ParseRecord(other, back));

    intent::Result result{5, "Files mixed (exit 5)", "s-2", "t-2"};
    intent::Result read;
    ASSERT_TRUE(intent::ParseResult(intent::ResultText(result), read));
    EXPECT_EQ(read.exitCode, 5);
    EXPECT_EQ(read.closingLine, "Files mixed (exit 5)");
    EXPECT_EQ(read.taskSequenceId, "t-2");
    EXPECT_FALSE(intent::ParseResult("Line=no exit code\r\n", read));
}

TEST(UpdateLock, OnlyAnotherHolderMeansAnUpdateInProgress) {
    struct Case {
        unsigned long error, attributes;
        bool inProgress;
    } cases[] = {
        {ERROR_SHARING_VIOLATION, FILE_ATTRIBUTE_NORMAL, true},
        {ERROR_ACCESS_DENIED, FILE_ATTRIBUTE_ARCHIVE, true},  // delete pending
        {ERROR_ACCESS_DENIED, FILE_ATTRIBUTE_READONLY, false},
        {ERROR_ACCESS_DENIED, FILE_ATTRIBUTE_DIRECTORY, false},
        {ERROR_ACCESS_DENIED, INVALID_FILE_ATTRIBUTES, false},  // a folder we cannot write
        {ERROR_PATH_NOT_FOUND, INVALID_FILE_ATTRIBUTES, false},
    };
    for (const Case &c : cases)
        EXPECT_EQ(intent::LockFailureMeansInProgress(c.error, c.attributes), c.inProgress)
            << c.error << " " << c.attributes;
}

TEST(UpdateRecovery, PutsEveryOldFileBackFromAnyPointAndCanBeRepeated) {
    const std::string folder = testing_support::FreshFolder("refresher-intent") + "\\";
    // Three destinations as an interruption leaves them: alpha swapped (its new file in
    // place, the old one in its copy), beta staged but not swapped, gamma new and swapped;
    // delta named twice, swapped twice.
    const std::string alpha = folder + "alpha.dll", beta = folder + "beta.dll", gamma = folder + "gamma.dll",
                      delta = folder + "delta.dll";
    WriteFile(alpha, "new alpha");
    WriteFile(intent::OldCopyName(alpha, 0), "old alpha");
    WriteFile(beta, "old beta");
    WriteFile(intent::StagedName(beta, 1), "new be");  // cut short while staged
    WriteFile(intent::OldCopyName(beta, 1), "old b");
    WriteFile(gamma, "new gamma");
    WriteFile(delta, "newer delta");
    WriteFile(intent::OldCopyName(delta, 3), "old delta");
    WriteFile(intent::OldCopyName(delta, 4), "new delta");
    intent::Record record;
    record.scheduleId = "r-1";
    record.entries = {{alpha, true}, {beta, true}, {gamma, false}, {delta, true}, {delta, true}};
    WriteFile(folder + intent::kRecordName, intent::RecordText(record));
    WriteFile(folder + intent::kPartialRecordName, "refresher-intent 1\r\nSched");
    WriteFile(folder + intent::kLockName, "");  // left behind by a power cut

    Lines log;
    EXPECT_TRUE(intent::Recover(folder, log, "test"));
    EXPECT_EQ(ReadFile(alpha), "old alpha");
    EXPECT_EQ(ReadFile(beta), "old beta");
    EXPECT_FALSE(Exists(gamma));
    EXPECT_EQ(ReadFile(delta), "old delta");
    intent::Result result;
    ASSERT_TRUE(intent::ParseResult(ReadFile(folder + intent::kResultName), result));
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_EQ(result.scheduleId, "r-1");
    DeleteFileA((folder + intent::kResultName).c_str());
    EXPECT_EQ(refresher_testing::FolderFiles(folder),
              (std::vector<std::string>{"alpha.dll", "beta.dll", "delta.dll"}));
    EXPECT_NE(std::find_if(log.texts.begin(), log.texts.end(),
                           [](const std::string &text) {
                               return text.find("an update that did not finish was undone") != std::string::npos;
                           }),
              log.texts.end());

    // Interrupted again halfway through the put-back and run once more: the same end.
    WriteFile(folder + intent::kRecordName, intent::RecordText(record));
    EXPECT_TRUE(intent::Recover(folder, log, "test"));
    EXPECT_EQ(ReadFile(alpha), "old alpha");
    EXPECT_EQ(ReadFile(delta), "old delta");
    EXPECT_EQ(refresher_testing::FolderFiles(folder),
              (std::vector<std::string>{"alpha.dll", "beta.dll", "delta.dll", intent::kResultName}));

    // A committed update only loses its old copies.
    WriteFile(intent::OldCopyName(alpha, 0), "old alpha");
    WriteFile(alpha, "new alpha");
    DeleteFileA((folder + intent::kResultName).c_str());
    WriteFile(folder + intent::kDoneRecordName, intent::RecordText(record));
    EXPECT_TRUE(intent::Recover(folder, log, "test"));
    EXPECT_EQ(ReadFile(alpha), "new alpha");
    EXPECT_EQ(refresher_testing::FolderFiles(folder),
              (std::vector<std::string>{"alpha.dll", "beta.dll", "delta.dll", intent::kResultName}));
    testing_support::DeleteTree(folder.substr(0, folder.size() - 1));
}

TEST(UpdateRecovery, FinishesOnlyWhenTheRunningProgramWasSwappedIn) {
    const std::string folder = testing_support::FreshFolder("refresher-forward") + "\\";
    char self[MAX_PATH + 1] = "";
    GetModuleFileNameA(nullptr, self, sizeof self);
    const std::string plugin = folder + "plugin.dll";
    WriteFile(plugin, "old plugin");
    intent::Record record;
    record.entries = {{plugin, true}, {self, true}};
    // Cut short while the plug-in staged: half a new file beside the first destination,
    // nothing yet for this program. It must not be swapped in.
    WriteFile(intent::StagedName(plugin, 0), "new plu");
    WriteFile(folder + intent::kRecordName, intent::RecordText(record));
    Lines log;
    EXPECT_TRUE(intent::Recover(folder, log, "test"));
    EXPECT_EQ(ReadFile(plugin), "old plugin");
    EXPECT_FALSE(Exists(intent::StagedName(plugin, 0)));

    // This program swapped in (its new file gone from beside it, its old copy kept): it
    // cannot be put back from inside itself, so the update is finished.
    WriteFile(intent::StagedName(plugin, 0), "new plugin");
    WriteFile(intent::OldCopyName(plugin, 0), "old plugin");
    WriteFile(intent::OldCopyName(self, 1), "old program");
    WriteFile(folder + intent::kRecordName, intent::RecordText(record));
    EXPECT_TRUE(intent::Recover(folder, log, "test"));
    EXPECT_EQ(ReadFile(plugin), "new plugin");
    EXPECT_FALSE(Exists(intent::OldCopyName(self, 1)));
    intent::Result result;
    ASSERT_TRUE(intent::ParseResult(ReadFile(folder + intent::kResultName), result));
    EXPECT_EQ(result.exitCode, 0);
    testing_support::DeleteTree(folder.substr(0, folder.size() - 1));
}
