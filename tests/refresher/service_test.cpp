// warden.exe as the real agent service in the prefix, and the update script run by the
// real script host against it: stop, copy, start again.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <regex>

#include "refresher_support.h"
#include "test_support.h"

using namespace refresher_testing;
using testing_support::Exists;
using testing_support::Lines;
using testing_support::ReadFile;
using testing_support::WriteFile;

namespace {

const char kServiceName[] = "Tessaro Deployment Agent";
const unsigned kServiceWaitMs = 60000;
// A whole external update: a stop, the health window of 30 s, and a start on either side.
const unsigned kUpdateWaitMs = 240000;

DWORD ServiceState() { return AgentServiceState(); }

bool StartService() {
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
    if (manager == nullptr) return false;
    SC_HANDLE service = OpenServiceA(manager, kServiceName, SERVICE_START);
    bool started = service != nullptr && StartServiceA(service, 0, nullptr);
    if (service != nullptr) CloseServiceHandle(service);
    CloseServiceHandle(manager);
    return started;
}

std::map<std::string, std::string> Status(const std::string &path) {
    std::map<std::string, std::string> values;
    for (const std::string &line : Lines(path)) {
        size_t equals = line.find('=');
        if (equals != std::string::npos) values[line.substr(0, equals)] = line.substr(equals + 1);
    }
    return values;
}

// The checksum the agent reports for its files (64-bit FNV-1a).
std::string Checksum(const std::string &content) {
    uint64_t hash = 1469598103934665603ull;
    for (char c : content) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 1099511628211ull;
    }
    char text[17];
    snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash));
    return text;
}

Captured RunScript(const std::string &script, const std::string &arguments) {
    return RunCaptured("C:\\windows\\system32\\cscript.exe", "//nologo \"" + script + "\" " + arguments, 120000);
}

}  // namespace

// The script on its own, with no agent service installed.
class UpdateScriptTest : public ::testing::Test {
protected:
    UpdateScriptTest() : folder(testing_support::FreshFolder("refresher-script") + "\\") {
        script = folder + "external-update.vbs";
        WriteFile(script, UpdateScriptOnDisk());
        updateLog = folder + "refresher.log";
    }
    ~UpdateScriptTest() override { testing_support::DeleteTree(folder.substr(0, folder.size() - 1)); }
    void SetUp() override { ASSERT_EQ(ServiceState(), 0u) << "an agent service is installed in the prefix"; }

    std::string folder, script, updateLog;
};

TEST_F(UpdateScriptTest, NeedsTheListAndTheLogArguments) {
    EXPECT_EQ(RunScript(script, "").exitCode, 1);
    EXPECT_EQ(RunScript(script, "\"" + folder + "list.txt\"").exitCode, 1);
    EXPECT_FALSE(Exists(updateLog));
}

TEST_F(UpdateScriptTest, AMissingListEndsTheRunAfterTheOpeningLines) {
    Captured run = RunScript(script, "\"" + folder + "no-list.txt\" \"" + updateLog + "\"");
    EXPECT_EQ(run.exitCode, 1) << run.out << run.err;
    EXPECT_EQ(Lines(updateLog),
              (std::vector<std::string>{"In Update Script, some log corruption may exist", "Checking for update list",
                                        "Update list not found, nothing done (exit 1)"}));
}

TEST_F(UpdateScriptTest, WithoutTheServiceNothingIsCopiedAndRunsAppendToOneLog) {
    WriteFile(folder + "new.dll", "new");
    WriteFile(folder + "updatelist.txt",
              folder + "new.dll, " + folder + "old.dll\r\n" + folder + "new.dll, " + folder + "other.dll\r\n\r\n");
    // Blanks around the arguments are trimmed.
    for (int run = 0; run < 2; ++run) {
        Captured result = RunScript(script, "\" " + folder + "updatelist.txt \" \"" + updateLog + " \"");
        EXPECT_EQ(result.exitCode, 4) << result.out << result.err;
    }
    const std::vector<std::string> once{"In Update Script, some log corruption may exist", "Checking for update list",
                                        "UpdateList exists", "Finding Service",
                                        "No agent service, nothing copied (exit 4)"};
    std::vector<std::string> twice = once;
    twice.insert(twice.end(), once.begin(), once.end());
    EXPECT_EQ(Lines(updateLog), twice);
    EXPECT_FALSE(Exists(folder + "old.dll"));
    EXPECT_FALSE(Exists(folder + "other.dll"));
}

TEST_F(UpdateScriptTest, AnUnreadableListEndsTheRunWithItsClosingLineAndResult) {
    const std::string list = folder + "updatelist.txt";
    WriteFile(list, folder + "new.dll, " + folder + "old.dll\r\nSchedule-ID=s-5\r\n\r\n");
    // Held without sharing: the script can see the list but not open it.
    HANDLE held = CreateFileA(list.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    Captured run = RunScript(script, "\"" + list + "\" \"" + updateLog + "\"");
    CloseHandle(held);
    EXPECT_EQ(run.exitCode, 1) << run.out << run.err;
    auto lines = Lines(updateLog);
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[2], "UpdateList exists");
    EXPECT_EQ(lines[3].rfind("Update list could not be read: ", 0), 0u) << lines[3];
    EXPECT_EQ(lines[4], "Update list unreadable, nothing done (exit 1)");
    // The outcome waits for the plug-in beside the list.
    EXPECT_EQ(Lines(folder + "refresher.result"),
              (std::vector<std::string>{"Exit=1", "Line=Update list unreadable, nothing done (exit 1)", "Schedule-ID=",
                                        "Task-Sequence-ID="}));
}

// A copy of the agent installed and started as the service.
class AgentServiceTest : public ::testing::Test {
protected:
    AgentServiceTest() : agent("refresher-service") {}

    void SetUp() override {
        if (ServiceState() != 0) agent.Run("uninstall");
        ASSERT_TRUE(WaitFor([] { return ServiceState() == 0; }, kServiceWaitMs));
        Captured install = agent.Run("install " + installOptions);
        ASSERT_EQ(install.exitCode, 0) << install.err;
        EXPECT_NE(install.out.find("installed the service \"Tessaro Deployment Agent\""), std::string::npos);
        ASSERT_TRUE(StartService()) << GetLastError();
        ASSERT_TRUE(
            WaitFor([this] { return ServiceState() == SERVICE_RUNNING && !Status()["pid"].empty(); }, kServiceWaitMs));
    }

    void TearDown() override {
        Captured removed = agent.Run("uninstall");
        EXPECT_TRUE(removed.exitCode == 0 || ServiceState() == 0) << removed.err;
        EXPECT_TRUE(WaitFor([] { return ServiceState() == 0; }, kServiceWaitMs));
        for (const std::string &path : placed)
            DeleteFileA(path.c_str());
    }

    std::map<std::string, std::string> Status() { return ::Status(agent.Path("warden.status")); }

    // Drops a request file and waits for the running agent's answer.
    std::vector<Json> Ask(const std::string &name, const std::string &request) {
        const std::string reply = agent.Path("requests\\" + name + ".reply");
        WriteFile(agent.Path("requests\\" + name + ".req"), request);
        // The agent writes the answer first and removes the request after it.
        const std::string requestFile = agent.Path("requests\\" + name + ".req");
        EXPECT_TRUE(WaitFor([&] { return Exists(reply) && !Exists(requestFile); }, kServiceWaitMs)) << name;
        return Events(ReadFile(reply));
    }

    std::string Place(const std::string &folder, const std::string &name, const std::string &content) {
        WriteFile(folder + name, content);
        placed.push_back(folder + name);
        return folder + name;
    }

    // What the plug-in stages before it starts the script: the new file of pair n beside
    // its destination, and a copy of the old one where there is one.
    void Stage(const std::string &destination, int n, const std::string &content) {
        const std::string suffix = "-" + std::to_string(n);
        WriteFile(destination + ".refresher-new" + suffix, content);
        if (Exists(destination)) WriteFile(destination + ".refresher-old" + suffix, ReadFile(destination));
    }

    // Files of the agent folder that an update leaves beside the agent's own.
    std::vector<std::string> Leftovers() {
        std::vector<std::string> left;
        for (const std::string &name : FolderFiles(agent.folder)) {
            if (name.find(".refresher-") != std::string::npos || name.rfind("refresher-intent", 0) == 0 ||
                name == "refresher.intent" || name == "external-update.lock")
                left.push_back(name);
        }
        return left;
    }

    // Runs the script the way the plug-in does, with a health window of its own.
    Captured RunUpdate(const std::string &list, const std::string &window) {
        return RunScript(agent.Path("external-update.vbs"),
                         "\"" + list + "\" \"" + agent.Path("refresher.log") + "\" " + window);
    }

    AgentCopy agent;
    std::string installOptions;
    std::vector<std::string> placed;
};

// An agent that takes longer than a minute to stop.
class SlowStoppingAgentTest : public AgentServiceTest {
protected:
    static const unsigned kStopDelayMs = 70000;
    SlowStoppingAgentTest() { installOptions = "--stop-delay-ms " + std::to_string(kStopDelayMs); }
};

TEST_F(AgentServiceTest, IsInstalledOnceAndAnswersDroppedRequests) {
    Captured again = agent.Run("install");
    EXPECT_EQ(again.exitCode, 1);
    EXPECT_NE(again.err.find("cannot install the service"), std::string::npos) << again.err;
    // Requests run with the service's rights: only Administrators and SYSTEM may drop them.
    // (Wine shows the folder's owner for Administrators and keeps no "protected" mark,
    // but a folder open to everyone reads back with Everyone's entry.)
    const std::string access = AccessOf(agent.Path("requests"));
    EXPECT_NE(access.find(";;;SY)"), std::string::npos) << access;
    for (const char *everyone : {";;;WD)", ";;;BU)", ";;;AU)"})
        EXPECT_EQ(access.find(everyone), std::string::npos) << access;
    // The agent folder itself, made open to everyone's reading by the test, is the
    // agent's own after the install (of the rest Wine shows nothing: no owner, no
    // "protected" mark, no entry for Users).
    const std::string agentAccess = AccessOf(agent.folder.substr(0, agent.folder.size() - 1));
    EXPECT_NE(agentAccess.find(";;;SY)"), std::string::npos) << agentAccess;
    EXPECT_EQ(agentAccess.find(";;;WD)"), std::string::npos) << agentAccess;

    auto events = Ask("info", "# what this plug-in updates\r\n--type Internal\r\n--name UpdateInfo\r\n");
    auto results = EventsOf(events, "result");
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results[0]["code"].Int(), 2);
    EXPECT_EQ(EventsOf(events, "message")[0]["fields"]["Auto-Update-Current0"].text,
              "tessaro-refresher-6.8.282.X64.dll");

    events = Ask("bad", "--type Request\r\n--int FileCount=many\r\n");
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0]["event"].text, "error");
    EXPECT_NE(events[0]["text"].text.find("FileCount"), std::string::npos);
}

TEST_F(SlowStoppingAgentTest, UpdatesItselfOnceStoppedAndComesBackRunningTheNewFiles) {
    auto before = Status();
    const std::string temp = before["temp"];
    ASSERT_FALSE(temp.empty());
    // New builds: the current files with a mark appended, so that each is told apart.
    const std::string newAgent = ReadFile(agent.Path("warden.exe")) + "agent build 7.0.1";
    const std::string newPlugin = ReadFile(agent.Path("refresher.dll")) + "plugin build 6.8.283";
    Place(temp, "tessaro-warden-7.0.1.exe", newAgent);
    Place(temp, "tessaro-refresher-6.8.283.X64.dll", newPlugin);

    auto events = Ask("update",
                      "--type Request\r\n--name UpdateAgent\r\n--int FileCount=2\r\n"
                      "--str File0=temp:tessaro-warden-7.0.1.exe\r\n"
                      "--str File1=temp:tessaro-refresher-6.8.283.X64.dll\r\n"
                      "--str Schedule-ID=e2e-1\r\n");
    auto replies = EventsOf(events, "reply");
    ASSERT_EQ(replies.size(), 1u);
    EXPECT_EQ(replies[0]["fields"]["Result"].text, "Success");
    EXPECT_EQ(replies[0]["fields"]["Schedule-ID"].text, "e2e-1");
    EXPECT_EQ(EventsOf(events, "result")[0]["code"].Int(), 1);

    // While the script waits for the agent to stop, a second external update must leave
    // the running script's files alone, and a copy in place must not touch the agent's
    // files. (The script keeps its log to itself while it runs.)
    const std::string updateLog = agent.Path("refresher.log");
    ASSERT_TRUE(WaitFor([&] { return ServiceState() == SERVICE_STOP_PENDING; }, kServiceWaitMs));
    const std::string script = ReadFile(agent.Path("external-update.vbs"));
    const std::string list = ReadFile(agent.Path("updatelist.txt"));
    Place(testing_support::TempFolder(), "tessaro-warden-7.0.2.exe", "second agent");
    Place(testing_support::TempFolder(), "tessaro-beta-3.dll", "beta 3");
    for (const char *file : {"tessaro-warden-7.0.2.exe", "tessaro-beta-3.dll"}) {
        SCOPED_TRACE(file);
        Captured second = agent.Run(std::string("send --type Request --name UpdateAgent --int FileCount=1 "
                                                "--str File0=temp:") +
                                    file);
        auto secondReplies = EventsOf(Events(second.out), "reply");
        ASSERT_EQ(secondReplies.size(), 1u) << second.out;
        EXPECT_EQ(secondReplies[0]["fields"]["Result"].text, "Failed");
        EXPECT_EQ(secondReplies[0]["fields"]["Status-Message"].text, "update already in progress");
    }
    EXPECT_EQ(ReadFile(agent.Path("external-update.vbs")), script);
    EXPECT_EQ(ReadFile(agent.Path("updatelist.txt")), list);
    EXPECT_FALSE(Exists(agent.Path("beta.dll")));
    EXPECT_TRUE(Exists(testing_support::TempFolder() + "tessaro-beta-3.dll"));

    // The script waits out the slow stop, swaps the files in, starts the agent again and
    // watches it through the health window.
    EXPECT_TRUE(WaitFor(
        [&] {
            auto lines = Lines(updateLog);
            return !lines.empty() && lines.back().find("(exit ") != std::string::npos;
        },
        kUpdateWaitMs));
    auto after = Status();
    EXPECT_NE(after["pid"], before["pid"]);
    EXPECT_EQ(ServiceState(), static_cast<DWORD>(SERVICE_RUNNING));
    EXPECT_EQ(after["exe-checksum"], Checksum(newAgent));
    EXPECT_EQ(after["plugin-checksum"], Checksum(newPlugin));
    EXPECT_EQ(ReadFile(agent.Path("warden.exe")), newAgent);
    EXPECT_EQ(ReadFile(agent.Path("refresher.dll")), newPlugin);
    auto lines = Lines(updateLog);
    ASSERT_EQ(lines.size(), 17u);
    const std::vector<std::string> opening{"In Update Script, some log corruption may exist",
                                           "Checking for update list", "UpdateList exists", "Finding Service",
                                           "Stopping Service", "StopService returned 0",
                                           "Service still stopping after 30 s, state: Stop Pending",
                                           "Service still stopping after 60 s, state: Stop Pending"};
    EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + 8), opening);
    int waited = -1;
    EXPECT_EQ(sscanf(lines[8].c_str(), "Service stopped after %d s", &waited), 1) << lines[8];
    EXPECT_GE(waited * 1000 + 1000, static_cast<int>(kStopDelayMs)) << lines[8];
    // The script swapped in the agent's staged copies, not the files in the temp folder.
    const std::string staged = agent.Path("refresher-staging\\");
    EXPECT_EQ(lines[9], "Copying " + staged + "tessaro-warden-7.0.1.exe To " + agent.Path("warden.exe"));
    EXPECT_EQ(lines[10],
              "Copying " + staged + "tessaro-refresher-6.8.283.X64.dll To " + agent.Path("refresher.dll"));
    EXPECT_EQ(lines[11], "Starting Service");
    EXPECT_EQ(lines[12], "StartService returned 0");
    EXPECT_EQ(lines[13].rfind("Service running after ", 0), 0u) << lines[13];
    EXPECT_EQ(lines[14], "Watching the service for 30 s");
    EXPECT_EQ(lines[15], "Service held Running for 30 s");
    EXPECT_EQ(lines[16], "Files updated, service running (exit 0)");
    // The old copies were kept only until the new files had run through the window;
    // nothing of the update is left beside the agent's files.
    for (const std::string &name : FolderFiles(agent.folder))
        EXPECT_EQ(name.find(".refresher-"), std::string::npos) << name;
    EXPECT_FALSE(Exists(agent.Path("refresher.intent")));

    // The updated agent serves requests with the updated plug-in, and its first call
    // reports how the update ended, with the request's IDs.
    events = Ask("after", "--type Internal\r\n--name UpdateInfo\r\n");
    ASSERT_FALSE(EventsOf(events, "result").empty());
    EXPECT_EQ(EventsOf(events, "result")[0]["code"].Int(), 2);
    auto reports = EventsOf(events, "reply");
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0]["fields"]["Result"].text, "Success");
    EXPECT_EQ(reports[0]["fields"]["Status-Code"].Int(), 0);
    EXPECT_EQ(reports[0]["fields"]["Status-Message"].text, "Files updated, service running (exit 0)");
    EXPECT_EQ(reports[0]["fields"]["Schedule-ID"].text, "e2e-1");
    EXPECT_FALSE(Exists(agent.Path("refresher.result")));
}

TEST_F(AgentServiceTest, AFailedCopyPutsTheOldFilesBackAndStartsTheServiceAgain) {
    const std::string folder = agent.folder;
    Place(folder, "external-update.vbs", UpdateScriptOnDisk());
    Place(folder, "a.dll", "old a");
    Place(folder, "b.dll", "old b");
    // Pair 1 has nothing staged: its swap fails after pair 0 was swapped.
    Stage(folder + "a.dll", 0, "new a");
    Stage(folder + "b.dll", 2, "new b");
    WriteFile(folder + "refresher.intent", "stands for the plug-in's record\r\n");
    const std::string a = folder + "a-new.dll", b = folder + "b-new.dll";
    // Blanks around the paths are trimmed and a third part is ignored.
    const std::string list = Place(folder, "updatelist.txt",
                                   "   " + a + "   ,   " + folder + "a.dll   , ignored part\r\n" + folder +
                                       "missing.dll, " + folder + "x.dll\r\n" + b + ", " + folder + "b.dll\r\n\r\n");
    const std::string before = Status()["pid"];
    Captured run = RunUpdate(list, "5");
    EXPECT_EQ(run.exitCode, 2) << run.out << run.err;

    auto lines = Lines(folder + "refresher.log");
    ASSERT_EQ(lines.size(), 15u);
    EXPECT_EQ(lines[4], "Stopping Service");
    EXPECT_EQ(lines[5], "StopService returned 0");
    EXPECT_EQ(lines[6].rfind("Service stopped after ", 0), 0u) << lines[6];
    EXPECT_EQ(lines[7], "Copying " + a + " To " + folder + "a.dll");
    EXPECT_EQ(lines[8], "Copying " + folder + "missing.dll To " + folder + "x.dll");
    EXPECT_EQ(lines[9], "Copy failed: " + folder + "x.dll.refresher-new-1 does not exist");
    EXPECT_EQ(lines[10], "Put back " + folder + "a.dll");
    EXPECT_EQ(lines[11], "Starting Service");
    EXPECT_EQ(lines[12], "StartService returned 0");
    EXPECT_EQ(lines[13].rfind("Service running after ", 0), 0u) << lines[13];
    EXPECT_EQ(lines[14], "Old files back, service running (exit 2)");
    EXPECT_EQ(ReadFile(folder + "a.dll"), "old a");
    EXPECT_EQ(ReadFile(folder + "b.dll"), "old b");
    EXPECT_FALSE(Exists(folder + "x.dll"));
    // What was staged and the record go with the put-back.
    EXPECT_EQ(Leftovers(), std::vector<std::string>{});
    EXPECT_TRUE(
        WaitFor([&] { return ServiceState() == SERVICE_RUNNING && Status()["pid"] != before; }, kServiceWaitMs));
}

TEST_F(AgentServiceTest, ANewAgentThatDoesNotStartIsReplacedByTheOldOne) {
    const std::string folder = agent.folder;
    const std::string oldAgent = ReadFile(agent.Path("warden.exe"));
    Place(folder, "external-update.vbs", UpdateScriptOnDisk());
    Stage(agent.Path("warden.exe"), 0, "not a program");
    const std::string broken = folder + "warden-new.exe";
    const std::string list = Place(folder, "updatelist.txt", broken + ", " + agent.Path("warden.exe") + "\r\n\r\n");
    const std::string before = Status()["pid"];
    Captured run = RunUpdate(list, "5");
    EXPECT_EQ(run.exitCode, 2) << run.out << run.err;

    auto lines = Lines(folder + "refresher.log");
    ASSERT_GE(lines.size(), 12u);
    EXPECT_EQ(lines[7], "Copying " + broken + " To " + agent.Path("warden.exe"));
    EXPECT_EQ(lines[8], "Starting Service");
    // A start that fails is tried again before the old agent comes back.
    const int putBack = testing_support::FindText(lines, "Put back " + agent.Path("warden.exe"), 9);
    ASSERT_GT(putBack, 9);
    EXPECT_GE(std::count(lines.begin(), lines.begin() + putBack, std::string("Starting Service")), 3);
    EXPECT_EQ(lines[putBack + 1], "Starting Service");
    EXPECT_EQ(lines[putBack + 2], "StartService returned 0");
    EXPECT_EQ(lines.back(), "Old files back, service running (exit 2)");
    EXPECT_EQ(ReadFile(agent.Path("warden.exe")), oldAgent);
    EXPECT_EQ(Leftovers(), std::vector<std::string>{});
    EXPECT_TRUE(
        WaitFor([&] { return ServiceState() == SERVICE_RUNNING && Status()["pid"] != before; }, kServiceWaitMs));
}

// An agent folder or requests folder that is a junction or link would hand its access to
// another folder: the install refuses it and installs nothing.
TEST(WardenInstall, NeverTakesAFolderThatIsAReparsePoint) {
    ASSERT_EQ(AgentServiceState(), 0u) << "an agent service is installed in the prefix";
    // Never empty: removing a link of the host's file system could take an empty folder
    // it leads to along.
    const std::string victim = testing_support::FreshFolder("refresher-install-victim");
    WriteFile(victim + "\\keep.txt", "victim");
    const std::string victimAccess = AccessOf(victim);

    AgentCopy real("refresher-install-real");
    const std::string linkParent = testing_support::FreshFolder("refresher-install-link");
    const std::string linkedAgent = linkParent + "\\agent";
    ASSERT_TRUE(testing_support::MakeFolderLink(linkedAgent, real.folder.substr(0, real.folder.size() - 1)));
    AgentCopy withLinkedRequests("refresher-install-requests");
    ASSERT_TRUE(testing_support::MakeFolderLink(withLinkedRequests.Path("requests"), victim));

    struct Case {
        std::string warden, folder;
    } cases[] = {{linkedAgent + "\\warden.exe", "agent folder " + linkedAgent},
                 {withLinkedRequests.Path("warden.exe"), "requests folder " + withLinkedRequests.Path("requests")}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.warden);
        Captured install = RunCaptured(c.warden, "install");
        EXPECT_EQ(install.exitCode, 1);
        EXPECT_NE(install.err.find("refusing to install: the " + c.folder + " is a reparse point"), std::string::npos)
            << install.err;
        EXPECT_EQ(AgentServiceState(), 0u);
    }
    EXPECT_EQ(AccessOf(victim), victimAccess);
    EXPECT_EQ(ReadFile(victim + "\\keep.txt"), "victim");
    if (AgentServiceState() != 0) real.Run("uninstall");
    testing_support::RemoveFolderLink(linkedAgent);
    testing_support::RemoveFolderLink(withLinkedRequests.Path("requests"));
    testing_support::DeleteTree(linkParent);
    testing_support::DeleteTree(victim);
}

TEST_F(AgentServiceTest, ANewAgentThatStopsAfterReportingRunningIsReplacedByTheOldOne) {
    auto before = Status();
    const std::string oldAgent = ReadFile(agent.Path("warden.exe"));
    // A build that reports Running and stops itself 3 s later.
    const std::string newAgent = oldAgent + "\nwarden-test-stop-after-s=3\n";
    const std::string source = Place(before["temp"], "tessaro-warden-7.0.3.exe", newAgent);
    auto events = Ask("update", "--type Request\r\n--name UpdateAgent\r\n--int FileCount=1\r\n"
                                "--str File0=temp:tessaro-warden-7.0.3.exe\r\n--str Schedule-ID=h-1\r\n"
                                "--str Task-Sequence-ID=t-1\r\n");
    ASSERT_EQ(EventsOf(events, "reply").size(), 1u);
    EXPECT_EQ(EventsOf(events, "reply")[0]["fields"]["Result"].text, "Success");

    const std::string updateLog = agent.Path("refresher.log");
    EXPECT_TRUE(WaitFor(
        [&] {
            auto lines = Lines(updateLog);
            return !lines.empty() && lines.back().find("(exit ") != std::string::npos;
        },
        kUpdateWaitMs));
    auto lines = Lines(updateLog);
    const int watching = testing_support::FindText(lines, "Watching the service for 30 s");
    ASSERT_GT(watching, 0);
    int after = -1;
    char state[32] = "";
    EXPECT_EQ(sscanf(lines[watching + 1].c_str(), "Service left Running after %d s, state: %31s", &after, state), 2)
        << lines[watching + 1];
    EXPECT_LT(after, 30);
    EXPECT_GT(testing_support::FindText(lines, "Put back " + agent.Path("warden.exe"), watching), watching);
    EXPECT_EQ(lines.back(), "Old files back, service running (exit 2)");
    EXPECT_EQ(ReadFile(agent.Path("warden.exe")), oldAgent);
    EXPECT_EQ(Leftovers(), std::vector<std::string>{});
    EXPECT_TRUE(WaitFor(
        [&] {
            auto now = Status();
            return ServiceState() == SERVICE_RUNNING && now["pid"] != before["pid"] &&
                   now["exe-checksum"] == Checksum(oldAgent);
        },
        kServiceWaitMs));

    // The old agent's first call reports the outcome to the host, once.
    for (const char *name : {"report", "again"}) {
        events = Ask(name, "--type Internal\r\n--name UpdateInfo\r\n");
        auto reports = EventsOf(events, "reply");
        if (std::string(name) == "again") {
            EXPECT_TRUE(reports.empty());
            continue;
        }
        ASSERT_EQ(reports.size(), 1u);
        const Json &fields = reports[0]["fields"];
        EXPECT_EQ(fields["Result"].text, "Failed");
        EXPECT_EQ(fields["Status-Code"].Int(), 2);
        EXPECT_EQ(fields["Status-Message"].text, "Old files back, service running (exit 2)");
        EXPECT_EQ(fields["Schedule-ID"].text, "h-1");
        EXPECT_EQ(fields["Task-Sequence-ID"].text, "t-1");
    }
    EXPECT_TRUE(Exists(source));
}

TEST_F(AgentServiceTest, ACopyInPlaceCutShortBetweenTwoSwapsIsUndoneWhenTheHostStarts) {
    // The host goes down (the service stopped); a second host process crashes in the middle
    // of a copy in place: alpha swapped, beta's turn held up by a reader.
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
    SC_HANDLE service = OpenServiceA(manager, kServiceName, SERVICE_STOP | SERVICE_START);
    SERVICE_STATUS status{};
    ASSERT_TRUE(ControlService(service, SERVICE_CONTROL_STOP, &status));
    ASSERT_TRUE(WaitFor([] { return ServiceState() == SERVICE_STOPPED; }, kServiceWaitMs));
    Place(agent.folder, "alpha.dll", "old alpha");
    Place(agent.folder, "beta.dll", "old beta");
    const std::vector<std::string> agentFiles = FolderFiles(agent.folder);
    const std::string temp = testing_support::TempFolder();
    Place(temp, "tessaro-alpha-2.dll", "new alpha");
    Place(temp, "tessaro-beta-2.dll", "new beta");
    HANDLE held =
        CreateFileA(agent.Path("beta.dll").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    std::string command = "\"" + agent.Path("warden.exe") +
                          "\" send --type Request --name UpdateAgent --int FileCount=2 --str "
                          "File0=temp:tessaro-alpha-2.dll --str File1=temp:tessaro-beta-2.dll --str Schedule-ID=cut-1";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    ASSERT_TRUE(CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr,
                               &startup, &process));
    const bool between = WaitFor(
        [&] { return ReadFile(agent.Path("alpha.dll")) == "new alpha" && Exists(agent.Path("beta.dll.refresher-new-1")); },
        30000);
    TerminateProcess(process.hProcess, 9);
    WaitForSingleObject(process.hProcess, 30000);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    CloseHandle(held);
    ASSERT_TRUE(between);
    EXPECT_EQ(ReadFile(agent.Path("beta.dll")), "old beta");
    EXPECT_TRUE(Exists(agent.Path("refresher.intent")));

    // The host starts: before it loads the plug-in, every old file is back.
    ASSERT_TRUE(StartServiceA(service, 0, nullptr)) << GetLastError();
    CloseServiceHandle(service);
    CloseServiceHandle(manager);
    ASSERT_TRUE(WaitFor([&] { return ServiceState() == SERVICE_RUNNING; }, kServiceWaitMs));
    EXPECT_EQ(ReadFile(agent.Path("alpha.dll")), "old alpha");
    EXPECT_EQ(ReadFile(agent.Path("beta.dll")), "old beta");
    EXPECT_EQ(Leftovers(), std::vector<std::string>{});
    std::vector<std::string> now = FolderFiles(agent.folder);
    for (const std::string &name : agentFiles) EXPECT_NE(std::find(now.begin(), now.end(), name), now.end()) << name;
    const auto log = Lines(agent.Path("refresher.log"));
    EXPECT_TRUE(std::any_of(log.begin(), log.end(), [&](const std::string &line) {
        return std::regex_match(line, std::regex("warden:[0-9]+ - put back the old .*\\\\alpha\\.dll"));
    }));
    EXPECT_TRUE(std::any_of(log.begin(), log.end(), [](const std::string &line) {
        return line.find("an update that did not finish was undone: the old files are back") != std::string::npos;
    }));
    // The new files are still in the temp folder for the request to be sent again, and the
    // plug-in's first call tells the host what became of the request.
    EXPECT_TRUE(Exists(temp + "tessaro-alpha-2.dll"));
    auto reports = EventsOf(Ask("report", "--type Internal\r\n--name UpdateInfo\r\n"), "reply");
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0]["fields"]["Result"].text, "Failed");
    EXPECT_EQ(reports[0]["fields"]["Status-Message"].text, "Old files back after an interrupted update (exit 2)");
    EXPECT_EQ(reports[0]["fields"]["Schedule-ID"].text, "cut-1");
}
