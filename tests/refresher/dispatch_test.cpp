// warden.exe handing messages to the real refresher.dll: which handler runs and what the
// host sees of it.
#include <gtest/gtest.h>

#include <windows.h>

#include <regex>

#include "AgentHost.h"
#include "AgentService.h"
#include "refresher_support.h"
#include "test_support.h"

using refresher_testing::Events;
using refresher_testing::EventsOf;
using refresher_testing::Json;
using refresher_testing::LogTexts;
using refresher_testing::RunWarden;

namespace {

struct Outcome {
    int exitCode;
    std::vector<Json> events;
    int64_t Result() const {
        auto results = EventsOf(events, "result");
        return results.size() == 1 ? results[0]["code"].Int() : -1;
    }
    const Json &Message() const {
        static const Json kNone;
        for (const Json &event : events) {
            if (event["event"].text == "message") return event;
        }
        return kNone;
    }
};

Outcome Send(const std::string &arguments) {
    auto run = RunWarden(arguments);
    return Outcome{run.exitCode, Events(run.out)};
}

bool IsFindingLine(const std::string &text, const std::string &type, const std::string &name) {
    return std::regex_match(text, std::regex("Toolbox-Main:[0-9]+ Toolbox::DoMagic - Finding handler for " +
                                             type + "=" + name));
}

}  // namespace

TEST(Dispatch, PassesOverNamesItDoesNotActUpon) {
    for (const char *type : {"Request", "Internal"}) {
        for (const char *name : {"Inventory", "CloseSession", "updateagent"}) {
            SCOPED_TRACE(std::string(type) + "/" + name);
            Outcome outcome = Send(std::string("send --type ") + type + " --name " + name +
                                   " --str Schedule-ID=s-1 --int FileCount=3");
            EXPECT_EQ(outcome.exitCode, 0);
            EXPECT_EQ(outcome.Result(), 2);
            auto logs = LogTexts(outcome.events);
            ASSERT_EQ(logs.size(), 1u);
            EXPECT_TRUE(IsFindingLine(logs[0], type, name)) << logs[0];
            EXPECT_TRUE(EventsOf(outcome.events, "reply").empty());
            EXPECT_TRUE(EventsOf(outcome.events, "dispatch").empty());
            const Json &message = outcome.Message();
            EXPECT_EQ(message["type"].text, type);
            EXPECT_EQ(message["name"].text, name);
            ASSERT_EQ(message["fields"].members.size(), 2u);
            EXPECT_EQ(message["fields"]["Schedule-ID"].text, "s-1");
            EXPECT_EQ(message["fields"]["FileCount"].Int(), 3);
        }
    }
}

TEST(Dispatch, TypesAreMatchedExactly) {
    for (const char *type : {"request", "Reply", "REQUEST", "Internal "}) {
        SCOPED_TRACE(type);
        Outcome outcome = Send(std::string("send --type \"") + type + "\" --name UpdateAgent");
        EXPECT_EQ(outcome.exitCode, 0);
        EXPECT_EQ(outcome.Result(), 0);
        auto logs = LogTexts(outcome.events);
        ASSERT_EQ(logs.size(), 1u);
        EXPECT_TRUE(IsFindingLine(logs[0], type, "UpdateAgent")) << logs[0];
    }
}

TEST(Dispatch, NullParametersFailWithTheTwoErrorLines) {
    Outcome outcome = Send("send --null-message");
    EXPECT_EQ(outcome.exitCode, 0);
    EXPECT_EQ(outcome.Result(), 0);
    auto logs = EventsOf(outcome.events, "log");
    ASSERT_EQ(logs.size(), 2u);
    EXPECT_EQ(logs[0]["level"].Int(), 0);
    EXPECT_EQ(logs[1]["level"].Int(), 0);
    EXPECT_TRUE(std::regex_match(logs[0]["text"].text,
                                 std::regex("Toolbox-Main:[0-9]+ Toolbox::DoMagic caught an unhandled exception")));
    EXPECT_TRUE(std::regex_match(
        logs[1]["text"].text,
        std::regex("Exception Details: Toolbox-Main:[0-9]+ - DoMagic - Bad Parameter \\(NULL\\) \\(error = 0\\) ")))
        << "[" << logs[1]["text"].text << "]";

    // Without a host there is nowhere to log to.
    outcome = Send("send --null-host --type Request --name UpdateAgent --int FileCount=1");
    EXPECT_EQ(outcome.Result(), 0);
    EXPECT_TRUE(LogTexts(outcome.events).empty());
    EXPECT_EQ(outcome.Message()["fields"]["FileCount"].Int(), 1);
}

TEST(UpdateInfo, AppendsItsEntryAndRaisesTheCount) {
    struct Case {
        const char *options;
        const char *current, *pattern;
        int64_t count;
    } cases[] = {
        {"", "Auto-Update-Current0", "Auto-Update-Pattern0", 1},
        {"--int Auto-Update-Count=3", "Auto-Update-Current3", "Auto-Update-Pattern3", 4},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.options);
        Outcome outcome = Send(std::string("info ") + c.options);
        EXPECT_EQ(outcome.exitCode, 0);
        EXPECT_EQ(outcome.Result(), 2);
        EXPECT_EQ(LogTexts(outcome.events).size(), 1u);  // the dispatch line only
        const Json &fields = outcome.Message()["fields"];
        EXPECT_EQ(fields.members.size(), 3u);
        EXPECT_EQ(fields[c.current].text, "tessaro-refresher-6.8.282.X64.dll");
        EXPECT_EQ(fields[c.pattern].text, "agents\\corvid\\tessaro-refresher-*.X64.dll");
        EXPECT_EQ(fields["Auto-Update-Count"].kind, Json::kNumber);
        EXPECT_EQ(fields["Auto-Update-Count"].Int(), c.count);
    }
}

TEST(Warden, ReportsTheVersionAndRefusesBadCommandLines) {
    auto run = RunWarden("version");
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, "6.8.282\r\n");

    for (const char *bad : {"", "send --type Request", "send --type Request --name X --int FileCount=two",
                            "send --type Request --name X --int FileCount=99999999999", "send --str NoEquals",
                            "info --type Request", "install --stop-delay-ms", "install --stop-delay-ms soon",
                            "service --auto", "explode"}) {
        SCOPED_TRACE(bad);
        run = RunWarden(bad);
        EXPECT_EQ(run.exitCode, 2);
        EXPECT_TRUE(run.out.empty());
        EXPECT_NE(run.err.find("usage: warden.exe"), std::string::npos);
    }
}

TEST(Warden, LoadsThePluginOnlyFromItsOwnFolder) {
    std::string folder = testing_support::FreshFolder("warden-alone");
    std::string warden = folder + "\\warden.exe";
    ASSERT_TRUE(CopyFileA(refresher_testing::WardenPath().c_str(), warden.c_str(), FALSE));
    // The current folder holds a refresher.dll; it must not be the one loaded.
    char current[MAX_PATH] = "";
    GetCurrentDirectoryA(sizeof current, current);
    ASSERT_TRUE(SetCurrentDirectoryA(testing_support::ProgramFolder().c_str()));
    auto run = refresher_testing::RunCaptured(warden, "info");
    SetCurrentDirectoryA(current);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.out.empty());
    EXPECT_NE(run.err.find(folder + "\\refresher.dll"), std::string::npos) << run.err;
    testing_support::DeleteTree(folder);
}

TEST(Warden, RunsARequestFileOnceEvenWhenItCannotBeRemoved) {
    const std::string folder = testing_support::FreshFolder("warden-requests");
    Plugin plugin;
    std::string error;
    ASSERT_TRUE(plugin.Load(testing_support::ProgramFolder() + "\\refresher.dll", error)) << error;
    // A read-only file can be renamed but not deleted.
    const std::string request = folder + "\\once.req";
    testing_support::WriteFile(request, "--type Internal\r\n--name UpdateInfo\r\n");
    ASSERT_TRUE(SetFileAttributesA(request.c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(agent_service::AnswerRequests(plugin.Api(), folder), 1);
    EXPECT_FALSE(testing_support::Exists(request));
    EXPECT_NE(testing_support::ReadFile(folder + "\\once.reply").find("\"code\":2"), std::string::npos);
    EXPECT_EQ(agent_service::AnswerRequests(plugin.Api(), folder), 0);
    SetFileAttributesA((request + ".taken").c_str(), FILE_ATTRIBUTE_NORMAL);
    testing_support::DeleteTree(folder);
}
