// A run killed at random points and restarted with -resume until it completes
// ends in the same state as a run never interrupted, and the script file is never
// lost. The seed is printed; KESTREL_SOAK_SEED repeats a run.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "test_support.h"

using namespace testing_support;

namespace {

// 50 commands: folders, file copies, values and variables in the script, short pauses.
std::string SoakScript(const std::string &folder, const std::string &log) {
    std::string out = folder + "\\out";
    std::string script = "[Data]\r\nLogging=1\r\nLogFile=" + log + "\r\n[CommandsList]\r\n";
    script += "21,," + out + "\r\n";
    for (int i = 1; i < 50; ++i) {
        std::string n = std::to_string(i);
        switch (i % 5) {
        case 0: script += "21,," + out + "\\d" + n + "\r\n"; break;
        case 1: script += "15,," + folder + "\\seed.txt," + out + "\\f" + n + ".txt\r\n"; break;
        case 2: script += "26,,Results,k" + n + ",v" + n + "\r\n"; break;
        case 3: script += "27,,V" + std::to_string(100 + i) + ",value " + n + "\r\n"; break;
        default: script += "13,30\r\n"; break;
        }
    }
    return script;
}

// What a finished run leaves: the files it made and the script's own state.
std::map<std::string, std::string> FinalState(const std::string &folder, const std::string &copy) {
    std::map<std::string, std::string> state;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "\\out\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            std::string name = found.cFileName;
            if (name == "." || name == "..") continue;
            bool isFolder = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
            state["out\\" + name] = isFolder ? "<folder>" : ReadFile(folder + "\\out\\" + name);
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    for (int i = 1; i < 50; ++i) {
        std::string n = std::to_string(i);
        if (i % 5 == 2) state["Results.k" + n] = ProfileString(copy, "Results", "k" + n, "<absent>");
        if (i % 5 == 3) {
            std::string key = "V" + std::to_string(100 + i);
            state["Variables." + key] = ProfileString(copy, "Variables", key, "<absent>");
        }
    }
    state["CurrentCmd"] = ProfileString(copy, "Commands", "CurrentCmd", "<absent>");
    return state;
}

struct Launched {
    HANDLE process = nullptr;
};

Launched Start(const std::string &arguments) {
    std::string commandLine = "\"" + KestrelPath() + "\" " + arguments;
    std::vector<char> buffer(commandLine.begin(), commandLine.end());
    buffer.push_back('\0');
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    Launched launched;
    if (CreateProcessA(KestrelPath().c_str(), buffer.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                       &info)) {
        CloseHandle(info.hThread);
        launched.process = info.hProcess;
    }
    return launched;
}

unsigned SoakSeed() {
    if (const char *fixed = getenv("KESTREL_SOAK_SEED")) return static_cast<unsigned>(strtoul(fixed, nullptr, 10));
    return static_cast<unsigned>(GetTickCount());
}

TEST(KillAndResume, KilledRunsEndLikeAnUninterruptedRun) {
    // The uninterrupted run.
    std::string reference = FreshFolder("soak_reference");
    WriteFile(reference + "\\seed.txt", "seed file");
    WriteFile(reference + "\\soakref.ini", SoakScript(reference, reference + "\\install.log"));
    DeleteTree(WorkingCopyOf("soakref.ini"));
    const ULONGLONG began = GetTickCount64();
    ASSERT_EQ(0, RunKestrel(reference + "\\soakref.ini -silent"));
    // Kills are drawn against what a whole run takes here (program start-up is
    // much slower where 32-bit programs run emulated).
    const int wholeRun = static_cast<int>(GetTickCount64() - began);
    std::map<std::string, std::string> expected = FinalState(reference, WorkingCopyOf("soakref.ini"));
    ASSERT_EQ("50", expected["CurrentCmd"]);

    const unsigned seed = SoakSeed();
    printf("kill-and-resume seed: %u (set KESTREL_SOAK_SEED to repeat)\n", seed);
    fflush(stdout);
    std::mt19937 random(seed);
    // Short waits hit the start-up and its writes, long ones let the run get on.
    std::uniform_int_distribution<int> shortWait(1, std::max(120, wholeRun / 4)),
        longWait(10, std::max(400, wholeRun));

    int totalKills = 0;
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE("round " + std::to_string(round) + ", seed " + std::to_string(seed));
        std::string name = "soakkill" + std::to_string(round);
        std::string folder = FreshFolder(name);
        WriteFile(folder + "\\seed.txt", "seed file");
        std::string script = folder + "\\" + name + ".ini";
        std::string copy = WorkingCopyOf(name + ".ini");
        WriteFile(script, SoakScript(folder, folder + "\\install.log"));
        DeleteTree(copy);

        int kills = 0;
        bool finished = false;
        bool copyMade = false;
        for (int start = 0; start < 300 && !finished; ++start) {
            Launched run = Start(script + (start == 0 ? " -silent" : " -silent -resume"));
            ASSERT_NE(nullptr, run.process);
            // The waits grow with the restarts: on a loaded machine a start can take longer
            // than any fixed wait, and the run must still get to its end.
            int wait = (start % 2 ? longWait(random) : shortWait(random)) * (1 + start / 10);
            if (WaitForSingleObject(run.process, wait) == WAIT_OBJECT_0) {
                finished = true;
                CloseHandle(run.process);
                continue;
            }
            TerminateProcess(run.process, 77);
            WaitForSingleObject(run.process, INFINITE);
            CloseHandle(run.process);
            ++kills;
            // Once made, the script file is always there after a kill, and either it
            // or the state saved before the write that was cut off can be read.
            if (!copyMade) copyMade = Exists(copy);
            if (!copyMade) continue;
            ASSERT_TRUE(Exists(copy)) << "working copy lost after kill " << kills;
            bool whole = ProfileSectionExists(copy, "CommandsList");
            bool saved = Exists(copy + ".kwrite") && ProfileSectionExists(copy + ".kbak", "CommandsList");
            EXPECT_TRUE(whole || saved) << "working copy unreadable after kill " << kills;
        }
        totalKills += kills;
        ASSERT_TRUE(finished) << "the run never completed";
        std::vector<std::string> texts = LogTexts(folder + "\\install.log");
        ASSERT_FALSE(texts.empty());
        EXPECT_EQ("DONE !", texts.back());
        EXPECT_EQ(expected, FinalState(folder, copy));
    }
    printf("kills: %d\n", totalKills);
    EXPECT_GT(totalKills, 0) << "the soak never interrupted a run";
}

}  // namespace
