// Update requests carried out by the real plug-in in a copy of the agent: copy in place,
// the external update's files and its detached script, and every way a request fails.
#include <windows.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <regex>

#include "AgentHost.h"
#include "UpdateTrust.h"
#include "refresher_support.h"
#include "test_support.h"

using namespace refresher_testing;
using testing_support::Exists;
using testing_support::ReadFile;
using testing_support::WriteFile;

namespace {

struct Outcome {
    std::vector<Json> events;
    int64_t Result() const {
        auto results = EventsOf(events, "result");
        return results.size() == 1 ? results[0]["code"].Int() : -1;
    }
    std::vector<Json> Replies() const { return EventsOf(events, "reply"); }
    // Index of the first log text matching the pattern, or -1.
    int FindLog(const std::string &pattern, int from = 0) const {
        auto texts = LogTexts(events);
        for (int i = from; i < static_cast<int>(texts.size()); ++i) {
            if (std::regex_match(texts[i], std::regex(pattern))) return i;
        }
        return -1;
    }
    int CountLogs(const std::string &pattern) const {
        int count = 0;
        for (const std::string &text : LogTexts(events))
            count += std::regex_match(text, std::regex(pattern));
        return count;
    }
};

// A regular expression that matches the text as it is.
std::string Literally(const std::string &text) {
    return std::regex_replace(text, std::regex("[\\\\.^$|()\\[\\]{}*+?]"), "\\$&");
}

// The name part of a file's short (8.3) path.
std::string ShortNameOf(const std::string &path) {
    char shortPath[MAX_PATH] = "";
    DWORD length = GetShortPathNameA(path.c_str(), shortPath, sizeof shortPath);
    const std::string text(shortPath, length < sizeof shortPath ? length : 0);
    return text.substr(text.find_last_of('\\') + 1);
}

// An environment variable set for the programs a test starts, put back afterwards.
class EnvironmentValue {
public:
    EnvironmentValue(const char *name, const std::string &value) : name_(name) {
        char old[MAX_PATH] = "";
        DWORD length = GetEnvironmentVariableA(name, old, sizeof old);
        had_ = length > 0 && length < sizeof old;
        old_ = had_ ? old : "";
        SetEnvironmentVariableA(name, value.c_str());
    }
    ~EnvironmentValue() { SetEnvironmentVariableA(name_, had_ ? old_.c_str() : nullptr); }

private:
    const char *name_;
    bool had_;
    std::string old_;
};

// New files placed in the temp folder as the host would, removed again afterwards.
class UpdateTest : public ::testing::Test {
protected:
    UpdateTest() : agent("refresher-update") {}
    ~UpdateTest() override {
        for (const std::string &path : placed) {
            SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            DeleteFileA(path.c_str());
        }
    }

    // Places temp\<name> and returns the request value "temp:<name>".
    std::string Place(const std::string &name, const std::string &content) {
        std::string path = testing_support::TempFolder() + name;
        WriteFile(path, content);
        placed.push_back(path);
        return "temp:" + name;
    }
    std::string TempPath(const std::string &name) const { return testing_support::TempFolder() + name; }

    Outcome Update(const std::vector<std::string> &values, const std::string &extra = "") {
        std::string arguments =
            "send --type Request --name UpdateAgent --int FileCount=" + std::to_string(values.size()) + " " + extra;
        for (size_t i = 0; i < values.size(); ++i)
            arguments += " --str \"File" + std::to_string(i) + "=" + values[i] + "\"";
        Captured run = agent.Run(arguments);
        EXPECT_EQ(run.exitCode, 0) << run.err;
        return Outcome{Events(run.out)};
    }

    void ExpectFailureReply(const Outcome &outcome, int64_t code, const std::string &message, int value = 1) {
        EXPECT_EQ(outcome.Result(), 0);
        auto replies = outcome.Replies();
        ASSERT_EQ(replies.size(), 1u);
        EXPECT_EQ(replies[0]["type"].text, "Reply");
        EXPECT_EQ(replies[0]["name"].text, "UpdateAgent");
        const Json &fields = replies[0]["fields"];
        EXPECT_EQ(fields.members.size(), 4u);  // never the schedule fields
        EXPECT_EQ(fields["Status-Code"].Int(), code);
        EXPECT_EQ(fields["Status-Module"].text, "Win32");
        EXPECT_EQ(fields["Status-Message"].text, message);
        EXPECT_EQ(fields["Result"].text, "Failed");
        EXPECT_TRUE(EventsOf(outcome.events, "dispatch").empty());
        EXPECT_GE(
            outcome.FindLog("UpdateAgent:[0-9]+ - Refresher Failed, unhandled exception\n\tUpdateAgent:[0-9]+ - " +
                            std::regex_replace(message, std::regex("[().,]"), "\\$&") +
                            "\n\tValue = " + std::to_string(value) + ", System Error = " + std::to_string(code)),
            0);
    }

    AgentCopy agent;
    std::vector<std::string> placed;
};

}  // namespace

TEST_F(UpdateTest, ARequestWithoutFilesFailsWithoutAReply) {
    for (const char *count : {"--int FileCount=0", "", "--int FileCount=-3", "--str FileCount=2"}) {
        SCOPED_TRACE(count);
        Captured run = agent.Run(std::string("send --type Request --name UpdateAgent --str Schedule-ID=s ") + count);
        Outcome outcome{Events(run.out)};
        EXPECT_EQ(outcome.Result(), 0);
        EXPECT_TRUE(outcome.Replies().empty());
        EXPECT_TRUE(EventsOf(outcome.events, "dispatch").empty());
        auto logs = EventsOf(outcome.events, "log");
        ASSERT_FALSE(logs.empty());
        EXPECT_EQ(logs.back()["level"].Int(), 0);
        EXPECT_TRUE(std::regex_match(logs.back()["text"].text,
                                     std::regex("UpdateAgent:[0-9]+ - caught\nUpdateAgent:[0-9]+ - FileCount=0\n"
                                                "E = 0, S = 0\n")))
            << logs.back()["text"].text;
    }
}

TEST_F(UpdateTest, AnEmptyEntryFailsAtTheParseStage) {
    Outcome outcome = Update({Place("tessaro-alpha-1.dll", "new alpha"), ""});
    EXPECT_EQ(outcome.Result(), 0);
    EXPECT_TRUE(outcome.Replies().empty());
    EXPECT_GE(outcome.FindLog("UpdateAgent:[0-9]+ File Count is incorrect, File1 is empty"), 0);
    EXPECT_GE(outcome.FindLog("UpdateAgent:[0-9]+ - caught\nUpdateAgent:[0-9]+ - FileCount is empty\nE = 0, S = 0\n"),
              0);
    EXPECT_FALSE(Exists(agent.Path("alpha.dll")));
    EXPECT_TRUE(Exists(TempPath("tessaro-alpha-1.dll")));
}

TEST_F(UpdateTest, AMissingSourceChangesNothingOnEitherPath) {
    WriteFile(agent.Path("alpha.dll"), "old alpha");
    const std::string wardenBefore = ReadFile(agent.Path("warden.exe"));
    struct Case {
        const char *missing;
        bool external;
    } cases[] = {{"tessaro-beta-1.dll", false}, {"tessaro-warden-7.exe", true}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.missing);
        Outcome outcome = Update({Place("tessaro-alpha-1.dll", "new alpha"), std::string("temp:") + c.missing},
                                 "--str Schedule-ID=s-9 --str Task-Sequence-ID=t-9");
        ExpectFailureReply(outcome, 2, "source file does not exist, refresher must abort");
        EXPECT_GE(
            outcome.FindLog("UpdateAgent:[0-9]+ - Source File " +
                            std::regex_replace(TempPath(c.missing), std::regex("[\\\\.]"), "\\$&") + " does not exist"),
            0);
        EXPECT_EQ(outcome.FindLog(".*trying file copy.*"), -1);
        EXPECT_EQ(ReadFile(agent.Path("alpha.dll")), "old alpha");
        EXPECT_TRUE(Exists(TempPath("tessaro-alpha-1.dll")));
        EXPECT_EQ(ReadFile(agent.Path("warden.exe")), wardenBefore);
        EXPECT_FALSE(Exists(agent.Path("external-update.vbs")));
        EXPECT_FALSE(Exists(agent.Path("updatelist.txt")));
    }
}

TEST_F(UpdateTest, ADestinationThatCannotBeReplacedFailsAfterThreeTriesAndPutsEveryFileBack) {
    WriteFile(agent.Path("alpha.dll"), "old alpha");
    // beta.dll is held open without sharing, as a running agent holds its files;
    // gamma.dll is a folder where the file should go.
    WriteFile(agent.Path("beta.dll"), "old beta");
    HANDLE held = CreateFileA(agent.Path("beta.dll").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    CreateDirectoryA(agent.Path("gamma.dll").c_str(), nullptr);
    const std::vector<std::string> agentFiles = FolderFiles(agent.folder);

    struct Case {
        const char *blocked;
        int64_t code;
    } cases[] = {{"beta", ERROR_SHARING_VIOLATION}, {"gamma", ERROR_ACCESS_DENIED}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.blocked);
        const std::string blocked = c.blocked;
        // epsilon.dll is new: putting it back means removing it.
        Outcome outcome =
            Update({Place("tessaro-alpha-2.dll", "new alpha"), Place("tessaro-epsilon-2.dll", "new epsilon"),
                    Place("tessaro-" + blocked + "-2.dll", "new blocked"), Place("tessaro-delta-2.dll", "new delta")});
        int copyLine = outcome.FindLog("UpdateAgent:[0-9]+ \n\t.*-TO- .*\\\\" + blocked + "\\.dll");
        ASSERT_GE(copyLine, 0);
        auto texts = LogTexts(outcome.events);
        int tries = 0;
        for (size_t i = copyLine; i < texts.size(); ++i)
            tries += std::regex_match(texts[i], std::regex(".* - trying file copy "));
        EXPECT_EQ(tries, 3);
        const std::string code = std::to_string(c.code);
        EXPECT_GE(outcome.FindLog("UpdateAgent:[0-9]+ - Copy File returned error " + code), 0);
        int failedLine = outcome.FindLog("UpdateAgent:[0-9]+ update failed\n\tUpdateAgent:[0-9]+ - Copy Error\n\t"
                                         "Value = 1, System Error = " +
                                         code);
        EXPECT_GE(failedLine, 0);
        EXPECT_GE(outcome.FindLog("UpdateAgent:[0-9]+ - removed the new .*\\\\epsilon\\.dll", failedLine),
                  failedLine);
        EXPECT_GE(outcome.FindLog("UpdateAgent:[0-9]+ - put back the old .*\\\\alpha\\.dll", failedLine),
                  failedLine);
        ExpectFailureReply(outcome, c.code, "Copy Error");
        // The agent folder is as it was, byte for byte, and every new file is back in
        // the temp folder for a later try.
        EXPECT_EQ(ReadFile(agent.Path("alpha.dll")), "old alpha");
        EXPECT_EQ(FolderFiles(agent.folder), agentFiles);
        for (const char *name : {"alpha", "epsilon", c.blocked, "delta"})
            EXPECT_TRUE(Exists(TempPath("tessaro-" + std::string(name) + "-2.dll"))) << name;
        EXPECT_EQ(ReadFile(TempPath("tessaro-alpha-2.dll")), "new alpha");
    }
    CloseHandle(held);
    EXPECT_EQ(ReadFile(agent.Path("beta.dll")), "old beta");
}

TEST_F(UpdateTest, CopyInPlaceHandsTheRequestBackThenReportsSuccess) {
    WriteFile(agent.Path("alpha.dll"), "old alpha");
    Outcome outcome = Update({Place("tessaro-alpha-3.dll", "new alpha"), Place("corvid-tool-3.0.exe", "new tool")},
                             "--str Schedule-ID=sched-7 --str Task-Sequence-ID=task-8 --str Extra=x");
    EXPECT_EQ(outcome.Result(), 1);
    EXPECT_GE(outcome.FindLog("UpdateAgent:[0-9]+ FileList will be updated using 'copy in place'"), 0);

    int dispatchAt = -1, replyAt = -1;
    for (size_t i = 0; i < outcome.events.size(); ++i) {
        if (outcome.events[i]["event"].text == "dispatch" && dispatchAt < 0) dispatchAt = static_cast<int>(i);
        if (outcome.events[i]["event"].text == "reply" && replyAt < 0) replyAt = static_cast<int>(i);
    }
    ASSERT_GE(dispatchAt, 0);
    ASSERT_GT(replyAt, dispatchAt);
    EXPECT_EQ(EventsOf(outcome.events, "dispatch").size(), 1u);
    const Json &dispatched = outcome.events[dispatchAt];
    EXPECT_EQ(dispatched["type"].text, "Internal");
    EXPECT_EQ(dispatched["name"].text, "CloseSession");
    EXPECT_EQ(dispatched["fields"]["Schedule-ID"].text, "sched-7");

    auto replies = outcome.Replies();
    ASSERT_EQ(replies.size(), 1u);
    const Json &fields = replies[0]["fields"];
    EXPECT_EQ(fields.members.size(), 5u);
    EXPECT_EQ(fields["Schedule-ID"].text, "sched-7");
    EXPECT_EQ(fields["Task-Sequence-ID"].text, "task-8");
    EXPECT_EQ(fields["Status-Code"].Int(), 0);
    EXPECT_EQ(fields["Status-Module"].text, "Corvid");
    EXPECT_EQ(fields["Result"].text, "Success");

    EXPECT_EQ(ReadFile(agent.Path("alpha.dll")), "new alpha");
    EXPECT_EQ(ReadFile(agent.Path("tool.exe")), "new tool");
    // Nothing but the new files is left beside them.
    EXPECT_EQ(FolderFiles(agent.folder),
              (std::vector<std::string>{"alpha.dll", "refresher.dll", "tool.exe", "warden.exe"}));
    EXPECT_FALSE(Exists(TempPath("tessaro-alpha-3.dll")));
    EXPECT_FALSE(Exists(TempPath("corvid-tool-3.0.exe")));

    // Empty schedule fields are not copied into the reply.
    outcome = Update({Place("tessaro-alpha-4.dll", "newer alpha")}, "--str Schedule-ID=only");
    ASSERT_EQ(outcome.Replies().size(), 1u);
    EXPECT_FALSE(outcome.Replies()[0]["fields"].Has("Task-Sequence-ID"));
    EXPECT_EQ(outcome.Replies()[0]["fields"]["Schedule-ID"].text, "only");
}

TEST_F(UpdateTest, TheAgentItselfIsUpdatedByTheDetachedScript) {
    // The script would stop an installed agent service and update that one instead.
    ASSERT_EQ(AgentServiceState(), 0u) << "an agent service is installed in the prefix";
    // Remnants of an earlier, failed update are replaced, not appended to.
    WriteFile(agent.Path("external-update.vbs"), "remnant script\r\n");
    WriteFile(agent.Path("updatelist.txt"), "remnant list\r\n");
    const std::string wardenBefore = ReadFile(agent.Path("warden.exe"));
    // A script host in the agent folder (copy in place can put one there) is never the one
    // that runs: this one would answer with its usage text and write no update log.
    ASSERT_TRUE(CopyFileA(agent.Path("warden.exe").c_str(), agent.Path("cscript.exe").c_str(), FALSE));
    const std::vector<std::string> agentFiles = FolderFiles(agent.folder);

    Outcome outcome = Update({Place("tessaro-warden-7.0.1.exe", "new agent"), Place("tessaro-beta-5.dll", "new beta")},
                             "--str Schedule-ID=ext-1");
    EXPECT_TRUE(EventsOf(outcome.events, "dispatch").empty());
    EXPECT_GE(outcome.FindLog("UpdateAgent:[0-9]+ FileList has special case requirements \\(agent or refrsher\\)"), 0);
    EXPECT_GE(outcome.FindLog(".* - UpdateScript already exists\\.\\.\\. Is this a remnant from a failed refresher\\?"),
              0);
    EXPECT_GE(outcome.FindLog(".* - FileList already exists\\.\\.\\. Is this a remnant from a failed refresher\\?"), 0);
    const std::string script = agent.Path("external-update.vbs");
    const std::string list = agent.Path("updatelist.txt");
    // Batch mode, no logo and a time limit; a script host that knows no time limit (Wine's)
    // ends at once without running the script, and the script is started again without it.
    const std::string arguments = "\"" + script + "\" \"" + list + "\" \"refresher.log\"";
    EXPECT_GE(outcome.FindLog("UpdateAgent:[0-9]+ - " + std::regex_replace("cscript //B //Nologo //T:3600 " + arguments,
                                                                         std::regex("[\\\\.]"), "\\$&")),
              0);
    EXPECT_GE(
        outcome.FindLog("UpdateAgent:[0-9]+ called createprocess for refresher  bResult = 1, GetLastError = [0-9]+"),
        0);
    EXPECT_EQ(ReadFile(script), UpdateScriptOnDisk());
    // The list names copies in the agent's staging folder, never the temp folder's files.
    const std::string staged = agent.Path("refresher-staging\\");
    EXPECT_EQ(ReadFile(list), staged + "tessaro-warden-7.0.1.exe, " + agent.Path("warden.exe") + "\r\n" + staged +
                                  "tessaro-beta-5.dll, " + agent.Path("beta.dll") + "\r\n" +
                                  "Schedule-ID=ext-1\r\n\r\n");
    EXPECT_EQ(ReadFile(staged + "tessaro-warden-7.0.1.exe"), "new agent");
    // Only the system and Administrators may change the staging folder (Wine shows no
    // owner and of the access list only everyone's rights).
    const std::string access = AccessOf(agent.Path("refresher-staging"));
    EXPECT_NE(access.find(";;;SY)"), std::string::npos) << access;
    EXPECT_EQ(access.find(";;;WD)"), std::string::npos) << access;

    // The system's script host really started the script, detached, in the agent folder;
    // with no agent service installed here it ends at once after looking for it, and the
    // request waits long enough to see that: the reply says the update failed.
    ExpectFailureReply(outcome, 4, "update script failed", 4);
    EXPECT_GE(outcome.FindLog("UpdateAgent:[0-9]+ - the update script ended: No agent service, nothing copied "
                              "\\(exit 4\\)"),
              0);
    EXPECT_EQ(testing_support::Lines(agent.Path("refresher.log")),
              (std::vector<std::string>{"In Update Script, some log corruption may exist", "Checking for update list",
                                        "UpdateList exists", "Finding Service",
                                        "No agent service, nothing copied (exit 4)"}));
    // Nothing of the agent changed: what was staged beside its files, the update record
    // and the result are gone with the lock; the new files stay in the temp folder.
    EXPECT_EQ(ReadFile(agent.Path("warden.exe")), wardenBefore);
    EXPECT_TRUE(Exists(TempPath("tessaro-warden-7.0.1.exe")));
    std::vector<std::string> expected = agentFiles;
    expected.push_back("refresher.log");
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(FolderFiles(agent.folder), expected);
}

TEST_F(UpdateTest, AnEntryNamesOnlyAPlainFileOfTheTempFolder) {
    // The victim lies outside the temp folder; each refused form would reach it or
    // another file than the one the host placed.
    const std::string victimFolder = testing_support::FreshFolder("refresher-victim") + "\\";
    const std::string victim = victimFolder + "x-y-z.txt";
    WriteFile(victim, "victim");
    std::string up;
    for (int i = 0; i < 12; ++i) up += "..\\";
    const std::string fromRoot = up + victim.substr(3);  // past "C:\"
    Place("tessaro-kappa-1.txt", "new kappa");
    Place("tessaro-warden-9.exe", "new agent");
    const std::vector<std::string> agentFiles = FolderFiles(agent.folder);
    const std::string forms[] = {
        "temp:" + fromRoot,  // ".." steps
        "temp:" + std::regex_replace(fromRoot, std::regex("\\\\"), "/"),
        "temp:sub\\tessaro-kappa-1.txt",  // a second folder
        "temp:" + victim,                  // a drive
        "temp:tessaro-kappa-1.txt:stream",  // a stream
        "temp:\\\\localhost\\C$" + victim.substr(2),  // UNC
        "temp:\\\\.\\" + victim,                   // device prefixes
        "temp:\\\\?\\" + victim,
        "temp:tessaro-kap\tpa-1.txt",  // a control character
        "temp:",                        // no name at all
        "temp:..",
        "temp:tessaro-NUL.txt",        // a device as destination
        "temp:tessaro-kappa-1.txt.",   // the system would drop the dot
        "temp:tessaro-COM\xB9.txt",    // the superscript ports (code page 1252) are devices too
        "temp:tessaro-lpt\xB3",
    };
    for (const std::string &form : forms) {
        for (bool external : {false, true}) {
            SCOPED_TRACE(form + (external ? " (external)" : " (copy in place)"));
            std::vector<std::string> values{"temp:tessaro-kappa-1.txt", form};
            if (external) values.insert(values.begin(), "temp:tessaro-warden-9.exe");
            Outcome outcome = Update(values);
            const int entry = external ? 2 : 1;
            ExpectFailureReply(outcome, ERROR_INVALID_NAME, "file is not a plain name in the temp folder", entry);
            EXPECT_GE(outcome.FindLog("UpdateAgent:[0-9]+ - File" + std::to_string(entry) +
                                      " is refused, it names no plain file of the temp folder: .*"),
                      0);
            EXPECT_EQ(ReadFile(victim), "victim");
            EXPECT_EQ(ReadFile(TempPath("tessaro-kappa-1.txt")), "new kappa");
            EXPECT_EQ(FolderFiles(agent.folder), agentFiles);
        }
    }
    testing_support::DeleteTree(victimFolder.substr(0, victimFolder.size() - 1));
}

TEST_F(UpdateTest, WithoutAReplyNothingIsUpdatedAndNothingClaimed) {
    WriteFile(agent.Path("alpha.dll"), "old alpha");
    Outcome outcome = Update({Place("tessaro-alpha-6.dll", "new alpha")}, "--null-reply");
    EXPECT_EQ(outcome.Result(), 0);
    EXPECT_TRUE(outcome.Replies().empty());
    EXPECT_TRUE(EventsOf(outcome.events, "dispatch").empty());
    EXPECT_GE(outcome.FindLog("UpdateAgent:[0-9]+ - the host gave no message for the reply; nothing was updated"), 0);
    EXPECT_EQ(ReadFile(agent.Path("alpha.dll")), "old alpha");
    EXPECT_TRUE(Exists(TempPath("tessaro-alpha-6.dll")));
}

TEST_F(UpdateTest, APathWithACommaIsRefusedBeforeTheScriptCouldSplitIt) {
    Outcome outcome = Update({Place("tessaro-warden-8.exe", "new agent"), Place("tessaro-a,b-8.dll", "new ab")});
    ExpectFailureReply(outcome, ERROR_INVALID_NAME, "file list path holds a comma");
    EXPECT_FALSE(Exists(agent.Path("external-update.vbs")));
    EXPECT_FALSE(Exists(agent.Path("updatelist.txt")));
}

TEST_F(UpdateTest, TheAgentFolderAsTempFolderAndASourceThatIsItsOwnDestinationAreRefused) {
    // "Copied" over itself and then deleted as a source, the agent's file would be lost.
    WriteFile(agent.Path("foo.txt"), "agent foo");
    {
        EnvironmentValue tmp("TMP", agent.folder), temp("TEMP", agent.folder);
        Outcome outcome = Update({"temp:foo.txt"});
        ExpectFailureReply(outcome, ERROR_INVALID_PARAMETER, "temp folder is the agent folder", 0);
        EXPECT_GE(outcome.FindLog("UpdateAgent:[0-9]+ - the temp folder " + Literally(agent.folder) +
                                  " is the agent folder .*; nothing is updated from it"),
                  0);
    }
    EXPECT_EQ(ReadFile(agent.Path("foo.txt")), "agent foo");

    // The same file under a name in each folder (a second link to it).
    WriteFile(agent.Path("zeta.txt"), "agent zeta");
    ASSERT_TRUE(CreateHardLinkA(TempPath("tessaro-zeta-1.txt").c_str(), agent.Path("zeta.txt").c_str(), nullptr));
    placed.push_back(TempPath("tessaro-zeta-1.txt"));
    Outcome outcome = Update({Place("tessaro-alpha-7.dll", "new alpha"), "temp:tessaro-zeta-1.txt"});
    ExpectFailureReply(outcome, ERROR_INVALID_PARAMETER, "source and destination are the same file", 1);
    EXPECT_GE(outcome.FindLog("UpdateAgent:[0-9]+ - File1 is refused, " + Literally(TempPath("tessaro-zeta-1.txt")) +
                              " and " + Literally(agent.Path("zeta.txt")) + " are the same file"),
              0);
    EXPECT_EQ(ReadFile(agent.Path("zeta.txt")), "agent zeta");
    EXPECT_TRUE(Exists(TempPath("tessaro-alpha-7.dll")));
    EXPECT_FALSE(Exists(agent.Path("alpha.dll")));
}

TEST_F(UpdateTest, ADestinationIsNeverOneOfTheUpdatesWorkingFiles) {
    WriteFile(agent.Path("tool.exe"), "old tool");
    WriteFile(agent.Path("updatelist.txt"), "remnant list");
    WriteFile(agent.Path("external-update.vbs"), "remnant script");
    // external-update.vbs can be named only by its short name: a "-" never reaches a stem.
    const std::string scriptShortName = ShortNameOf(agent.Path("external-update.vbs"));
    ASSERT_EQ(scriptShortName.find('-'), std::string::npos) << scriptShortName;
    Place("tessaro-kappa-2.txt", "new kappa");
    Place("tessaro-warden-9.exe", "new agent");
    const std::vector<std::string> agentFiles = FolderFiles(agent.folder);
    const std::string forms[] = {
        "temp:b-tool.exe.refresher-old-0",  // removed by the final clean-up
        "temp:b-tool.exe.refresher-new",    // overwritten by the copy itself
        "temp:x-updatelist.txt",
        "temp:x-REFRESHER.LOG",
        "temp:x-warden.status",
        "temp:x-" + scriptShortName,
    };
    for (const std::string &form : forms) {
        for (bool external : {false, true}) {
            SCOPED_TRACE(form + (external ? " (external)" : " (copy in place)"));
            std::vector<std::string> values{"temp:tessaro-kappa-2.txt", form};
            if (external) values.insert(values.begin(), "temp:tessaro-warden-9.exe");
            Outcome outcome = Update(values);
            const int entry = external ? 2 : 1;
            ExpectFailureReply(outcome, ERROR_INVALID_NAME, "destination is a working file of the update", entry);
            EXPECT_GE(outcome.FindLog("UpdateAgent:[0-9]+ - File" + std::to_string(entry) + " is refused, " +
                                      Literally(agent.folder) + ".* is a working file of the update"),
                      0);
            EXPECT_EQ(FolderFiles(agent.folder), agentFiles);
            EXPECT_EQ(ReadFile(agent.Path("updatelist.txt")), "remnant list");
            EXPECT_EQ(ReadFile(agent.Path("external-update.vbs")), "remnant script");
            EXPECT_EQ(ReadFile(TempPath("tessaro-kappa-2.txt")), "new kappa");
        }
    }
}

TEST_F(UpdateTest, TheAgentAndThePluginAreKnownByTheFileNotByTheNameAsWritten) {
    ASSERT_EQ(AgentServiceState(), 0u) << "an agent service is installed in the prefix";
    const std::string pluginBefore = ReadFile(agent.Path("refresher.dll"));
    ASSERT_TRUE(CreateHardLinkA(agent.Path("pluginlink.dll").c_str(), agent.Path("refresher.dll").c_str(), nullptr));
    const std::string shortName = ShortNameOf(agent.Path("refresher.dll"));
    ASSERT_EQ(shortName.find('-'), std::string::npos) << shortName;
    ASSERT_NE(shortName, "refresher.dll");
    // The plug-in's short name, and another link to it.
    for (const std::string &name : {"tessaro-" + shortName, std::string("tessaro-pluginlink-1.dll")}) {
        SCOPED_TRACE(name);
        Outcome outcome = Update({Place(name, "new plugin")});
        // The script ran and, with no agent service here, failed at once: the reply says so.
        ExpectFailureReply(outcome, 4, "update script failed", 4);
        EXPECT_GE(outcome.FindLog("UpdateAgent:[0-9]+ FileList has special case requirements.*"), 0);
        EXPECT_TRUE(EventsOf(outcome.events, "dispatch").empty());
        EXPECT_TRUE(WaitFor([&] { return !Exists(agent.Path("external-update.lock")); }, 30000));
    }
    EXPECT_EQ(ReadFile(agent.Path("refresher.dll")), pluginBefore);
}

TEST_F(UpdateTest, OnlySourcesNobodyElseCanChangeAreTaken) {
    WriteFile(agent.Path("alpha.dll"), "old alpha");
    const std::string wardenBefore = ReadFile(agent.Path("warden.exe"));
    Place("tessaro-alpha-8.dll", "new alpha");
    Place("tessaro-warden-8.exe", "new agent");
    // Everyone may write it (of an access list, Wine keeps everyone's rights).
    Place("tessaro-beta-8.dll", "new beta");
    PSECURITY_DESCRIPTOR everyone = nullptr;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorA("D:(A;;FA;;;WD)", SDDL_REVISION_1, &everyone,
                                                                     nullptr));
    ASSERT_TRUE(SetFileSecurityA(TempPath("tessaro-beta-8.dll").c_str(), DACL_SECURITY_INFORMATION, everyone));
    LocalFree(everyone);
    // Another process has it open for writing.
    Place("tessaro-gamma-8.dll", "new gamma");
    HANDLE writer = CreateFileA(TempPath("tessaro-gamma-8.dll").c_str(), GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(writer, INVALID_HANDLE_VALUE);
    // It has a second name, which may lie anywhere.
    Place("tessaro-delta-8.dll", "new delta");
    ASSERT_TRUE(CreateHardLinkA(TempPath("delta-second.dll").c_str(), TempPath("tessaro-delta-8.dll").c_str(),
                                nullptr));
    placed.push_back(TempPath("delta-second.dll"));

    struct Case {
        const char *name;
        int64_t code;
        const char *reason;
    } cases[] = {{"tessaro-beta-8.dll", ERROR_ACCESS_DENIED, "S-1-1-0 may change it"},
                 {"tessaro-gamma-8.dll", ERROR_SHARING_VIOLATION, "another process has it open"},
                 {"tessaro-delta-8.dll", ERROR_ACCESS_DENIED, "it has 2 names"}};
    for (const Case &c : cases) {
        for (bool external : {false, true}) {
            SCOPED_TRACE(std::string(c.name) + (external ? " (external)" : " (copy in place)"));
            std::vector<std::string> values{"temp:tessaro-alpha-8.dll", std::string("temp:") + c.name};
            if (external) values.insert(values.begin(), "temp:tessaro-warden-8.exe");
            Outcome outcome = Update(values);
            const int entry = external ? 2 : 1;
            ExpectFailureReply(outcome, c.code, "source file is not trusted", entry);
            EXPECT_GE(outcome.FindLog("UpdateAgent:[0-9]+ - File" + std::to_string(entry) + " is refused, " +
                                      c.reason + ": " + Literally(TempPath(c.name))),
                      0);
            EXPECT_EQ(ReadFile(agent.Path("alpha.dll")), "old alpha");
            EXPECT_EQ(ReadFile(agent.Path("warden.exe")), wardenBefore);
            EXPECT_EQ(ReadFile(TempPath("tessaro-alpha-8.dll")), "new alpha");
            for (const char *file : {"external-update.vbs", "updatelist.txt", "refresher-staging"})
                EXPECT_FALSE(Exists(agent.Path(file))) << file;
        }
    }
    CloseHandle(writer);
}

TEST_F(UpdateTest, TheStagingFolderIsNeverALink) {
    ASSERT_EQ(AgentServiceState(), 0u) << "an agent service is installed in the prefix";
    // The victim folder is never empty: removing a link of the host's file system could
    // take an empty folder it leads to along.
    const std::string victimFolder = testing_support::FreshFolder("refresher-staging-victim") + "\\";
    WriteFile(victimFolder + "keep.txt", "victim");
    ASSERT_TRUE(testing_support::MakeFolderLink(agent.Path("refresher-staging"),
                                                victimFolder.substr(0, victimFolder.size() - 1)));
    const std::string wardenBefore = ReadFile(agent.Path("warden.exe"));
    Outcome outcome = Update({Place("tessaro-warden-9.1.exe", "new agent")});
    ExpectFailureReply(outcome, ERROR_ACCESS_DENIED, "update files could not be staged");
    EXPECT_GE(outcome.FindLog("UpdateAgent:[0-9]+ - the staging folder .* cannot be made or restricted: it is a "
                              "reparse point .*"),
              0);
    EXPECT_EQ(FolderFiles(victimFolder), std::vector<std::string>{"keep.txt"});
    EXPECT_FALSE(Exists(agent.Path("external-update.vbs")));
    EXPECT_EQ(ReadFile(agent.Path("warden.exe")), wardenBefore);
    testing_support::RemoveFolderLink(agent.Path("refresher-staging"));
    testing_support::DeleteTree(victimFolder.substr(0, victimFolder.size() - 1));
}

TEST(HeldSources, NobodyCanChangeRenameOrDeleteASourceUntilItIsReleased) {
    const std::string source = testing_support::TempFolder() + "tessaro-held-1.dll";
    const std::string other = testing_support::TempFolder() + "tessaro-held-other.dll";
    WriteFile(source, "new held");
    WriteFile(other, "other");
    std::vector<std::string> events;
    AgentHost host([&events](const std::string &line) { events.push_back(line); });
    {
        HeldSources held;
        held.HoldAndCheck(&host, {{source, "C:\\nowhere\\held.dll"}});
        HANDLE writer = CreateFileA(source.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE |
                                    FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0, nullptr);
        EXPECT_EQ(writer, INVALID_HANDLE_VALUE);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
        EXPECT_FALSE(DeleteFileA(source.c_str()));
        EXPECT_FALSE(MoveFileExA(source.c_str(), (source + ".moved").c_str(), 0));
        EXPECT_FALSE(MoveFileExA(other.c_str(), source.c_str(), MOVEFILE_REPLACE_EXISTING));
        EXPECT_EQ(ReadFile(source), "new held");  // still readable, as the copy reads it
        held.Release(source);
        EXPECT_TRUE(DeleteFileA(source.c_str())) << GetLastError();
    }
    DeleteFileA(other.c_str());
}

TEST_F(UpdateTest, ALockThatCannotBeTakenForAnotherReasonIsReportedAsWhatItIs) {
    // A folder of the lock's name. (A read-only lock file or an agent folder the process
    // cannot write fail the same way on Windows; Wine's processes here run as root and
    // may write anything.)
    WriteFile(agent.Path("alpha.dll"), "old alpha");
    const std::string lock = agent.Path("external-update.lock");
    ASSERT_TRUE(CreateDirectoryA(lock.c_str(), nullptr));
    const std::vector<std::string> agentFiles = FolderFiles(agent.folder);
    // Both paths take the same lock.
    for (const char *name : {"tessaro-alpha-7.dll", "tessaro-warden-7.exe"}) {
        SCOPED_TRACE(name);
        Outcome outcome = Update({Place(name, "new")});
        ExpectFailureReply(outcome, ERROR_ACCESS_DENIED, "update lock could not be created");
        EXPECT_GE(outcome.FindLog("UpdateAgent:[0-9]+ - cannot take the update lock .*: a folder has its name, "
                                  "error 5"),
                  0);
        EXPECT_EQ(FolderFiles(agent.folder), agentFiles);
    }
    EXPECT_EQ(ReadFile(agent.Path("alpha.dll")), "old alpha");
    RemoveDirectoryA(lock.c_str());
}
