// warden.exe as the real agent service in the prefix, and the update script run by the
// real script host against it: stop, copy, start again.
#include <windows.h>

#include <gtest/gtest.h>

#include <map>

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
        EXPECT_EQ(result.exitCode, 0) << result.out << result.err;
    }
    const std::vector<std::string> once{"In Update Script, some log corruption may exist", "Checking for update list",
                                        "UpdateList exists", "Finding Service",
                                        "No agent service, nothing copied (exit 0)"};
    std::vector<std::string> twice = once;
    twice.insert(twice.end(), once.begin(), once.end());
    EXPECT_EQ(Lines(updateLog), twice);
    EXPECT_FALSE(Exists(folder + "old.dll"));
    EXPECT_FALSE(Exists(folder + "other.dll"));
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

    AgentCopy agent;
    std::string installOptions;
    std::vector<std::string> placed;
};

// An agent that takes several seconds longer to stop than its files take to copy.
class SlowStoppingAgentTest : public AgentServiceTest {
protected:
    static const unsigned kStopDelayMs = 8000;
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
    // the running script's files alone. (The script keeps its log to itself while it runs.)
    const std::string updateLog = agent.Path("refresher.log");
    ASSERT_TRUE(WaitFor([&] { return ServiceState() == SERVICE_STOP_PENDING; }, kServiceWaitMs));
    const std::string script = ReadFile(agent.Path("external-update.vbs"));
    const std::string list = ReadFile(agent.Path("updatelist.txt"));
    Place(testing_support::TempFolder(), "tessaro-warden-7.0.2.exe", "second agent");
    Captured second = agent.Run("send --type Request --name UpdateAgent --int FileCount=1 "
                                "--str File0=temp:tessaro-warden-7.0.2.exe");
    auto secondReplies = EventsOf(Events(second.out), "reply");
    ASSERT_EQ(secondReplies.size(), 1u) << second.out;
    EXPECT_EQ(secondReplies[0]["fields"]["Result"].text, "Failed");
    EXPECT_EQ(secondReplies[0]["fields"]["Status-Message"].text, "update already in progress");
    EXPECT_EQ(ReadFile(agent.Path("external-update.vbs")), script);
    EXPECT_EQ(ReadFile(agent.Path("updatelist.txt")), list);

    // The script copies once the agent has stopped, then starts it again.
    EXPECT_TRUE(WaitFor(
        [&] {
            auto now = Status();
            auto lines = Lines(updateLog);
            return now["pid"] != before["pid"] && now["exe-checksum"] == Checksum(newAgent) &&
                   ServiceState() == SERVICE_RUNNING && !lines.empty() &&
                   lines.back().find("(exit ") != std::string::npos;
        },
        kServiceWaitMs));
    auto after = Status();
    EXPECT_EQ(after["exe-checksum"], Checksum(newAgent));
    EXPECT_EQ(after["plugin-checksum"], Checksum(newPlugin));
    EXPECT_EQ(ReadFile(agent.Path("warden.exe")), newAgent);
    EXPECT_EQ(ReadFile(agent.Path("refresher.dll")), newPlugin);
    auto lines = Lines(updateLog);
    ASSERT_EQ(lines.size(), 13u);
    const std::vector<std::string> opening{"In Update Script, some log corruption may exist",
                                           "Checking for update list", "UpdateList exists", "Finding Service",
                                           "Stopping Service", "StopService returned 0"};
    EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + 6), opening);
    int waited = -1;
    EXPECT_EQ(sscanf(lines[6].c_str(), "Service stopped after %d s", &waited), 1) << lines[6];
    EXPECT_GE(waited * 1000 + 1000, static_cast<int>(kStopDelayMs)) << lines[6];
    // The script copied the agent's staged copies, not the files in the temp folder.
    const std::string staged = agent.Path("refresher-staging\\");
    EXPECT_EQ(lines[7], "Copying " + staged + "tessaro-warden-7.0.1.exe To " + agent.Path("warden.exe"));
    EXPECT_EQ(lines[8], "Copying " + staged + "tessaro-refresher-6.8.283.X64.dll To " + agent.Path("refresher.dll"));
    EXPECT_EQ(lines[9], "Starting Service");
    EXPECT_EQ(lines[10], "StartService returned 0");
    EXPECT_EQ(lines[11].rfind("Service running after ", 0), 0u) << lines[11];
    EXPECT_EQ(lines[12], "Files updated, service running (exit 0)");
    // The old files were kept only until the new ones ran.
    for (const char *file : {"warden.exe", "refresher.dll"})
        for (const char *n : {"0", "1"}) EXPECT_FALSE(Exists(agent.Path(std::string(file) + ".refresher-old-" + n)));

    // The updated agent serves requests with the updated plug-in.
    events = Ask("after", "--type Internal\r\n--name UpdateInfo\r\n");
    ASSERT_FALSE(EventsOf(events, "result").empty());
    EXPECT_EQ(EventsOf(events, "result")[0]["code"].Int(), 2);
}

TEST_F(AgentServiceTest, AFailedCopyPutsTheOldFilesBackAndStartsTheServiceAgain) {
    const std::string folder = agent.folder;
    const std::string script = Place(folder, "external-update.vbs", UpdateScriptOnDisk());
    const std::string a = Place(folder, "a-new.dll", "new a");
    const std::string b = Place(folder, "b-new.dll", "new b");
    Place(folder, "a.dll", "old a");
    Place(folder, "b.dll", "old b");
    // Blanks around the paths are trimmed and a third part is ignored.
    const std::string list = Place(folder, "updatelist.txt",
                                   "   " + a + "   ,   " + folder + "a.dll   , ignored part\r\n" + folder +
                                       "missing.dll, " + folder + "x.dll\r\n" + b + ", " + folder + "b.dll\r\n\r\n");
    const std::string before = Status()["pid"];
    Captured run = RunScript(script, "\"" + list + "\" \"" + folder + "refresher.log\"");
    EXPECT_EQ(run.exitCode, 2) << run.out << run.err;

    auto lines = Lines(folder + "refresher.log");
    ASSERT_EQ(lines.size(), 15u);
    EXPECT_EQ(lines[4], "Stopping Service");
    EXPECT_EQ(lines[5], "StopService returned 0");
    EXPECT_EQ(lines[6].rfind("Service stopped after ", 0), 0u) << lines[6];
    EXPECT_EQ(lines[7], "Copying " + a + " To " + folder + "a.dll");
    EXPECT_EQ(lines[8], "Copying " + folder + "missing.dll To " + folder + "x.dll");
    EXPECT_EQ(lines[9], "Copy failed: " + folder + "missing.dll does not exist");
    EXPECT_EQ(lines[10], "Put back " + folder + "a.dll");
    EXPECT_EQ(lines[11], "Starting Service");
    EXPECT_EQ(lines[12], "StartService returned 0");
    EXPECT_EQ(lines[13].rfind("Service running after ", 0), 0u) << lines[13];
    EXPECT_EQ(lines[14], "Old files kept, service running (exit 2)");
    EXPECT_EQ(ReadFile(folder + "a.dll"), "old a");
    EXPECT_EQ(ReadFile(folder + "b.dll"), "old b");
    EXPECT_FALSE(Exists(folder + "x.dll"));
    EXPECT_FALSE(Exists(folder + "a.dll.refresher-old-0"));
    EXPECT_TRUE(
        WaitFor([&] { return ServiceState() == SERVICE_RUNNING && Status()["pid"] != before; }, kServiceWaitMs));
}

TEST_F(AgentServiceTest, ANewAgentThatDoesNotStartIsReplacedByTheOldOne) {
    const std::string folder = agent.folder;
    const std::string oldAgent = ReadFile(agent.Path("warden.exe"));
    const std::string script = Place(folder, "external-update.vbs", UpdateScriptOnDisk());
    const std::string broken = Place(folder, "warden-new.exe", "not a program");
    const std::string list = Place(folder, "updatelist.txt", broken + ", " + agent.Path("warden.exe") + "\r\n\r\n");
    const std::string before = Status()["pid"];
    Captured run = RunScript(script, "\"" + list + "\" \"" + folder + "refresher.log\"");
    EXPECT_EQ(run.exitCode, 2) << run.out << run.err;

    auto lines = Lines(folder + "refresher.log");
    ASSERT_GE(lines.size(), 12u);
    EXPECT_EQ(lines[7], "Copying " + broken + " To " + agent.Path("warden.exe"));
    EXPECT_EQ(lines[8], "Starting Service");
    const int putBack = testing_support::FindText(lines, "Put back " + agent.Path("warden.exe"), 9);
    ASSERT_GT(putBack, 9);
    EXPECT_EQ(lines[putBack + 1], "Starting Service");
    EXPECT_EQ(lines[putBack + 2], "StartService returned 0");
    EXPECT_EQ(lines.back(), "Old files kept, service running (exit 2)");
    EXPECT_EQ(ReadFile(agent.Path("warden.exe")), oldAgent);
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
