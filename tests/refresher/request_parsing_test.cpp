// An update request read into the file list, with the host's own message and log.
#include <gtest/gtest.h>

#include <regex>

#include "AgentHost.h"
#include "UpdateAgent.h"
#include "refresher_support.h"

using refresher_testing::Json;

namespace {

const char kTemp[] = "C:\\Temp\\";
const char kAgent[] = "C:\\Agent\\";

struct LogLine {
    int level;
    std::string text;  // without the "UpdateAgent:<line>" opening
};

struct Parse {
    std::vector<LogLine> log;
    FileList files;
    bool raised = false;
    UpdateAgent::RefresherError error{"", 0, ""};

    explicit Parse(HostMessage &message) {
        AgentHost host([this](const std::string &line) {
            Json event;
            ASSERT_TRUE(refresher_testing::ParseJson(line, event)) << line;
            std::smatch match;
            const std::string text = event["text"].text;
            ASSERT_TRUE(std::regex_search(text, match, std::regex("^UpdateAgent:[0-9]+"))) << text;
            log.push_back(LogLine{static_cast<int>(event["level"].Int()), match.suffix().str()});
        });
        try {
            BuildFileList(&host, &message, kTemp, kAgent, files);
        } catch (const UpdateAgent::RefresherError &caught) {
            raised = true;
            error = caught;
        }
    }
};

const int32_t kCountOfFiles = INT32_MIN;

HostMessage Request(std::initializer_list<std::string> files, int32_t count = kCountOfFiles) {
    HostMessage message("Request", "UpdateAgent");
    message.SetInt("FileCount", count != kCountOfFiles ? count : static_cast<int32_t>(files.size()));
    int i = 0;
    for (const std::string &file : files) message.SetString("File" + std::to_string(i++), file);
    return message;
}

}  // namespace

TEST(BuildFileList, DerivesEachDestinationFromTheNameInTheTempFolder) {
    struct Case {
        const char *value, *source, *destination;
    } cases[] = {
        {"temp:foo.txt", "C:\\Temp\\foo.txt", "C:\\Agent\\foo.txt"},
        {"temp:tessaro-tool.exe", "C:\\Temp\\tessaro-tool.exe", "C:\\Agent\\tool.exe"},
        {"temp:a-b-c-d.ini", "C:\\Temp\\a-b-c-d.ini", "C:\\Agent\\b.ini"},
        {"temp:-x.dll", "C:\\Temp\\-x.dll", "C:\\Agent\\x.dll"},
        {"temp:x-.dll", "C:\\Temp\\x-.dll", "C:\\Agent\\.dll"},
        {"temp:tessaro-refresher-6.8.282.X64.dll", "C:\\Temp\\tessaro-refresher-6.8.282.X64.dll",
         "C:\\Agent\\refresher.dll"},
        // The opening five characters go whatever they are.
        {"12345x.dll", "C:\\Temp\\x.dll", "C:\\Agent\\x.dll"},
        // Read as they are; the handler then refuses pairs that leave the two folders.
        {"abc", "C:\\Temp\\", "C:\\Agent\\"},
        {"temp:sub\\tessaro-a.dll", "C:\\Temp\\sub\\tessaro-a.dll", "C:\\Agent\\a.dll"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.value);
        HostMessage message = Request({c.value});
        Parse parse(message);
        ASSERT_FALSE(parse.raised) << parse.error.message;
        ASSERT_EQ(parse.files.size(), 1u);
        EXPECT_EQ(parse.files[0].source, c.source);
        EXPECT_EQ(parse.files[0].destination, c.destination);
    }
}

TEST(BuildFileList, LogsEveryStepOfTheDerivation) {
    HostMessage message = Request({"temp:a-b-c.ini"});
    Parse parse(message);
    ASSERT_FALSE(parse.raised);
    std::vector<std::string> texts;
    for (const LogLine &line : parse.log) {
        EXPECT_EQ(line.level, 2) << line.text;
        texts.push_back(line.text);
    }
    EXPECT_EQ(texts, (std::vector<std::string>{
                         " splitpath returned:\nC:\n\\Temp\\\na-b-c\n.ini",
                         " strTemp = a-b-c",
                         " strTemp = b-c",
                         " strTemp = b",
                         " destination file is b.ini",
                         " Adding C:\\Temp\\a-b-c.ini -AND- C:\\Agent\\b.ini to file list",
                     }));
}

TEST(BuildFileList, ReadsExactlyFileCountEntriesInOrder) {
    HostMessage two = Request({"temp:one.dll", "temp:two.dll", "temp:three.dll"}, 2);
    Parse parse(two);
    ASSERT_FALSE(parse.raised);
    ASSERT_EQ(parse.files.size(), 2u);
    EXPECT_EQ(parse.files[0].destination, "C:\\Agent\\one.dll");
    EXPECT_EQ(parse.files[1].destination, "C:\\Agent\\two.dll");

    for (int32_t count : {0, -4}) {
        HostMessage none = Request({"temp:one.dll"}, count);
        Parse nothing(none);
        EXPECT_FALSE(nothing.raised);
        EXPECT_TRUE(nothing.files.empty());
        EXPECT_TRUE(nothing.log.empty());
    }
}

TEST(BuildFileList, AnEmptyOrMissingEntryFailsTheRequest) {
    HostMessage empty = Request({"temp:one.dll", ""});
    HostMessage missing = Request({"temp:one.dll"}, 2);
    for (HostMessage *message : {&empty, &missing}) {
        Parse parse(*message);
        ASSERT_TRUE(parse.raised);
        EXPECT_STREQ(parse.error.file, "UpdateAgent");
        EXPECT_STREQ(parse.error.message, "FileCount is empty");
        EXPECT_EQ(parse.error.value, 0);
        EXPECT_EQ(parse.error.systemError, 0);
        // The pair read before the bad entry stays in the list.
        ASSERT_EQ(parse.files.size(), 1u);
        ASSERT_FALSE(parse.log.empty());
        EXPECT_EQ(parse.log.back().level, 0);
        EXPECT_EQ(parse.log.back().text, " File Count is incorrect, File1 is empty");
    }
}

TEST(BuildFileList, APathTooLongToSplitFailsWithTheSplittersError) {
    HostMessage message = Request({"temp:" + std::string(300, 'n') + ".dll"});
    Parse parse(message);
    ASSERT_TRUE(parse.raised);
    EXPECT_STREQ(parse.error.message, "_splitpath failure");
    EXPECT_EQ(parse.error.systemError, 34);  // ERANGE
    ASSERT_EQ(parse.log.size(), 1u);
    EXPECT_EQ(parse.log[0].level, 0);
    EXPECT_EQ(parse.log[0].text, " _splitpath failed, 34 is empty");
    EXPECT_TRUE(parse.files.empty());
}

TEST(NeedsExternalUpdate, LooksForTheAgentAndThePluginInDestinations) {
    auto list = [](std::initializer_list<const char *> destinations) {
        FileList files;
        for (const char *destination : destinations) files.push_back({"C:\\Temp\\warden.exe", destination});
        return files;
    };
    EXPECT_TRUE(NeedsExternalUpdate(list({"C:\\Agent\\a.dll", "C:\\Program Files\\Agent\\WARDEN.EXE"})));
    EXPECT_TRUE(NeedsExternalUpdate(list({"C:\\Agent\\warden.exe.bak"})));
    EXPECT_TRUE(NeedsExternalUpdate(list({"C:\\Agent\\Refresher.Dll"})));
    // Sources do not count, and neither do near misses.
    EXPECT_FALSE(NeedsExternalUpdate(list({"C:\\Agent\\a.dll", "C:\\Agent\\warden.ex", "C:\\Agent\\refresher.exe"})));
    EXPECT_FALSE(NeedsExternalUpdate(FileList{}));
}

TEST(FirstPairOutsideFolders, AcceptsOnlyPlainNamesOfTheTwoFolders) {
    struct Case {
        const char *name;
        bool plain;
    } cases[] = {
        {"refresher.dll", true}, {".dll", true},        {"a b.txt", true},  {"CONFIG.SYS", true},
        {"console.txt", true},   {"", false},           {".", false},       {"..", false},
        {"sub\\a.dll", false},  {"sub/a.dll", false},   {"C:a.dll", false}, {"a.dll:s", false},
        {"a\tb.dll", false},     {"a*.dll", false},      {"a?.dll", false},  {"a\".dll", false},
        {"a<b>.dll", false},     {"a|b.dll", false},    {"a.dll.", false},  {"a.dll ", false},
        {"NUL", false},          {"nul.txt", false},    {"Com1.log", false}, {"LPT9", false},
        {"CON .txt", false},     {"CONOUT$", false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(IsPlainFileName(c.name), c.plain);
        // The name as the source in the temp folder, then as the destination.
        EXPECT_EQ(FirstPairOutsideFolders({{"C:\\Temp\\x.dll", "C:\\Agent\\x.dll"},
                                           {std::string("C:\\Temp\\") + c.name, "C:\\Agent\\x.dll"}},
                                          kTemp, kAgent),
                  c.plain ? -1 : 1);
        EXPECT_EQ(FirstPairOutsideFolders({{"C:\\Temp\\x.dll", std::string("c:\\agent\\") + c.name}}, kTemp,
                                          kAgent),
                  c.plain ? -1 : 0);
    }
    // A path outside the folder altogether.
    EXPECT_EQ(FirstPairOutsideFolders({{"C:\\Other\\x.dll", "C:\\Agent\\x.dll"}}, kTemp, kAgent), 0);
    EXPECT_EQ(FirstPairOutsideFolders({}, kTemp, kAgent), -1);
}
