// The plug-in as the host sees it: the real refresher.dll loaded into this process, and the
// log forwarding and formatting its handlers rest on.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "AgentHost.h"
#include "FileUtils.h"
#include "Format.h"
#include "MessageHandler.h"
#include "UpdateAgent.h"
#include "test_support.h"

namespace {

std::vector<std::string> ExportNames(HMODULE module) {
    auto base = reinterpret_cast<const unsigned char *>(module);
    auto dos = reinterpret_cast<const IMAGE_DOS_HEADER *>(base);
    auto nt = reinterpret_cast<const IMAGE_NT_HEADERS *>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY &directory = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    std::vector<std::string> names;
    if (directory.VirtualAddress == 0) return names;
    auto exports = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY *>(base + directory.VirtualAddress);
    auto nameTable = reinterpret_cast<const DWORD *>(base + exports->AddressOfNames);
    for (DWORD i = 0; i < exports->NumberOfNames; ++i)
        names.push_back(reinterpret_cast<const char *>(base + nameTable[i]));
    EXPECT_EQ(exports->NumberOfFunctions, exports->NumberOfNames);
    return names;
}

struct CollectingHost {
    std::vector<std::string> lines;
    AgentHost host{[this](const std::string &line) { lines.push_back(line); }};
};

}  // namespace

TEST(PluginLibrary, ExportsOnlyTheTableWhichNeverChanges) {
    HMODULE module = LoadLibraryA((testing_support::ProgramFolder() + "\\refresher.dll").c_str());
    ASSERT_NE(module, nullptr) << GetLastError();
    EXPECT_EQ(ExportNames(module), std::vector<std::string>{"GetToolboxAPI"});

    auto getApi = reinterpret_cast<GetToolboxAPIFunction>(
        reinterpret_cast<void (*)()>(GetProcAddress(module, "GetToolboxAPI")));
    ASSERT_NE(getApi, nullptr);
    const ToolboxAPI *first = getApi();
    const ToolboxAPI *second = getApi();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first, second);
    EXPECT_EQ(first->revision, 1);

    int32_t major = -1, minor = -1, build = -1;
    first->GetToolboxVersion(&major, &minor, &build);
    EXPECT_EQ(major, 6);
    EXPECT_EQ(minor, 8);
    EXPECT_EQ(build, 282);

    // A host message handed across the boundary comes back changed by the plug-in.
    HostMessage info("Internal", "UpdateInfo");
    info.SetInt("Auto-Update-Count", 1);
    CollectingHost collector;
    EXPECT_EQ(first->DoMagic(&info, &collector.host), 2);
    EXPECT_EQ(info.GetInt("Auto-Update-Count"), 2);
    EXPECT_STREQ(info.GetString("Auto-Update-Current1"), "tessaro-refresher-6.8.282.X64.dll");
    FreeLibrary(module);
}

TEST(HandlerLog, ForwardsTheFinishedTextUnchanged) {
    CollectingHost collector;
    DefaultHandler handler;
    handler.host = &collector.host;
    handler.Log(1, "%s", "100% done, %d%s left");
    handler.Log(2, "rate %d%%", 5);
    handler.Log(0, nullptr);
    ASSERT_EQ(collector.lines.size(), 2u);
    EXPECT_EQ(collector.lines[0], "{\"event\":\"log\",\"level\":1,\"text\":\"100% done, %d%s left\"}");
    EXPECT_EQ(collector.lines[1], "{\"event\":\"log\",\"level\":2,\"text\":\"rate 5%\"}");
}

TEST(HandlerLog, WithoutAHostWritesNothing) {
    UpdateInfo handler;
    ASSERT_EQ(handler.host, nullptr);
    handler.Log(0, "%s:%d nothing to see", "UpdateAgent", 1);  // must simply return
    SUCCEED();
}

TEST(Format, HasNoLengthLimit) {
    std::string long_text(1500, 'x');
    EXPECT_EQ(util::Format("%s", long_text.c_str()), long_text);
    std::string padded = util::Format("%1200d|%s", 7, "end");
    EXPECT_EQ(padded.size(), 1204u);
    EXPECT_EQ(padded.substr(1193), "      7|end");
    EXPECT_EQ(util::Format(nullptr), "");
    EXPECT_EQ(util::Format("%s", ""), "");
    EXPECT_EQ(util::Format("File%d", 12), "File12");
}

TEST(ErrorRecords, AreCaughtAsTheGeneralRecordWithTheirOrigin) {
    std::string folder = testing_support::FreshFolder("refresher-errors");
    try {
        util::DeleteExistingFile(folder + "\\missing.dll");
        FAIL() << "no error raised";
    } catch (const err::CGeneralError &error) {
        EXPECT_STREQ(error.file, "common\\util\\FileUtils");
        EXPECT_STREQ(error.message, "Delete failed - target does not exist");
        EXPECT_GT(error.line, 0);
        EXPECT_EQ(error.value, 0);
        EXPECT_EQ(error.systemError, ERROR_FILE_NOT_FOUND);
    }
    // A folder is not a file to delete either, and stays where it is.
    try {
        util::DeleteExistingFile(folder);
        FAIL() << "no error raised";
    } catch (const util::CFileIOError &error) {
        EXPECT_STREQ(error.message, "Delete failed - target does not exist");
    }
    EXPECT_TRUE(testing_support::Exists(folder));
    testing_support::DeleteTree(folder);
}
