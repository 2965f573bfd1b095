// Every shipped example runs to its end under kestrel, as a newcomer would run it.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "test_support.h"

using namespace testing_support;

namespace {

// The repository as Wine sees it: Z: is the Linux root.
std::string ExamplesFolder() {
    std::string folder = "Z:" + std::string(KESTREL_SOURCE_DIR) + "/examples";
    for (char &c : folder)
        if (c == '/') c = '\\';
    return folder;
}

std::vector<std::string> ExampleScripts() {
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((ExamplesFolder() + "\\*.ini").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do names.push_back(found.cFileName);
    while (FindNextFileA(search, &found));
    FindClose(search);
    return names;
}

std::string LogFileOf(const std::string &script) {
    return ProfileString(script, "Data", "LogFile", "C:\\system.sav\\util\\install.log");
}

TEST(Examples, EveryExampleRunsToItsEnd) {
    std::vector<std::string> scripts = ExampleScripts();
    ASSERT_FALSE(scripts.empty()) << ExamplesFolder();
    SavedFile hardwareFile(kHardwareInfoPath);
    std::string folder = FreshFolder("examples");
    for (const std::string &name : scripts) {
        SCOPED_TRACE(name);
        std::string script = folder + "\\" + name;
        ASSERT_TRUE(CopyFileA((ExamplesFolder() + "\\" + name).c_str(), script.c_str(), FALSE));
        std::string log = LogFileOf(script);
        DeleteTree(log);
        DeleteTree(WorkingCopyOf(name));
        ASSERT_EQ(0, RunKestrel(script + " -silent -noreboot", 120000));
        std::vector<std::string> texts = LogTexts(log);
        ASSERT_FALSE(texts.empty());
        EXPECT_TRUE(texts.back() == "DONE !" || texts.back() == "DONE  Shutting down system.") << texts.back();
    }
}

}  // namespace
