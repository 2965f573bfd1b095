// A run killed at random points and restarted with -resume until it completes
// ends in the same state as a run never interrupted, every resumed run goes on at
// the command that was running or the one after it, and the script file is never
// lost. The seed is printed; KESTREL_SOAK_SEED repeats a run.
//
// The same run cut off by power cuts (tests/powercut): the script, the working
// copy and its saved state live on a disk that forgets what was not flushed.
// The 32-bit build, emulated, runs fewer rounds of it.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "powercut.h"
#include "test_support.h"

using namespace testing_support;

namespace {

// 51 commands in two sections: folders, file copies, values and variables in the
// script, short pauses, and the jump between the sections.
std::string SoakScript(const std::string &folder, const std::string &log) {
    std::string out = folder + "\\out";
    std::string script = "[Data]\r\nLogging=1\r\nLogFile=" + log + "\r\n[CommandsList]\r\n";
    script += "21,," + out + "\r\n";
    for (int i = 1; i < 50; ++i) {
        std::string n = std::to_string(i);
        if (i == 25) script += "19,Second\r\n[Second]\r\n";
        switch (i % 5) {
        case 0: script += "21,," + out + "\\d" + n + "\r\n"; break;
        case 1: script += "15,," + folder + "\\seed.txt," + out + "\\f" + n + ".txt\r\n"; break;
        // The pause ends a run of commands that only save their cursor: a kill in
        // it finds the whole copy three commands behind the cursor.
        case 2: script += "13,30\r\n"; break;
        case 3: script += "26,,Results,k" + n + ",v" + n + "\r\n"; break;
        default: script += "27,,V" + std::to_string(100 + i) + ",value " + n + "\r\n"; break;
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
        if (i % 5 == 3) state["Results.k" + n] = ProfileString(copy, "Results", "k" + n, "<absent>");
        if (i % 5 == 4) {
            std::string key = "V" + std::to_string(100 + i);
            state["Variables." + key] = ProfileString(copy, "Variables", key, "<absent>");
        }
    }
    state["CurrentCmd"] = ProfileString(copy, "Commands", "CurrentCmd", "<absent>");
    return state;
}

// Milliseconds from the banner to the first command line of a finished run's log.
int StartUpMilliseconds(const std::string &log) {
    int banner = -1, first = -1;
    for (const std::string &line : Lines(log)) {
        int h, m, sec, ms;
        if (sscanf(line.c_str(), "[%d:%d:%d.%d]", &h, &m, &sec, &ms) != 4) continue;
        int at = ((h * 60 + m) * 60 + sec) * 1000 + ms;
        if (banner < 0 && line.find("*** Starting ") != std::string::npos) banner = at;
        if (first < 0 && line.find("> CMD0> ") != std::string::npos) first = at;
    }
    return banner >= 0 && first >= banner ? first - banner : 0;
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
    ASSERT_EQ("51", expected["CurrentCmd"]);

    const unsigned seed = SoakSeed();
    printf("kill-and-resume seed: %u (set KESTREL_SOAK_SEED to repeat)\n", seed);
    fflush(stdout);
    std::mt19937 random(seed);
    // Short waits hit the start-up and its writes, long ones let the run get past
    // it (the inventory takes longer on a busy machine) and on; both are drawn
    // against what a whole run takes here.
    const int startUp = StartUpMilliseconds(reference + "\\install.log");
    std::uniform_int_distribution<int> shortWait(1, std::max(120, wholeRun / 4)),
        longWait(startUp + 10, startUp + std::max(400, wholeRun));

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
            const HANDLE started = StartKestrel(script + (start == 0 ? " -silent" : " -silent -resume"));
            ASSERT_NE(nullptr, started);
            // The waits grow with the restarts: on a loaded machine a start can take longer
            // than any fixed wait, and the run must still get to its end.
            int wait = (start % 2 ? longWait(random) : shortWait(random)) * (1 + start / 10);
            if (WaitForSingleObject(started, wait) == WAIT_OBJECT_0) {
                finished = true;
                CloseHandle(started);
                continue;
            }
            TerminateProcess(started, 77);
            WaitForSingleObject(started, INFINITE);
            CloseHandle(started);
            ++kills;
            // Once made, the script file is always there after a kill, and either it
            // or the state saved before the write that was cut off can be read.
            if (!copyMade) copyMade = Exists(copy);
            if (!copyMade) continue;
            ASSERT_TRUE(Exists(copy)) << "working copy lost after kill " << kills;
            bool whole = ProfileSectionExists(copy, "CommandsList");
            bool saved = Exists(copy + ".kjournal") && (ProfileSectionExists(copy + ".ksave0", "CommandsList") ||
                                                         ProfileSectionExists(copy + ".ksave1", "CommandsList"));
            EXPECT_TRUE(whole || saved) << "working copy unreadable after kill " << kills;
        }
        totalKills += kills;
        ASSERT_TRUE(finished) << "the run never completed";
        std::vector<std::string> texts = LogTexts(folder + "\\install.log");
        ASSERT_FALSE(texts.empty());
        EXPECT_EQ("DONE !", texts.back());
        EXPECT_EQ(expected, FinalState(folder, copy));
        // Commands run in order; a resumed run starts with the command that was cut
        // off or the one after it: never an earlier one, never one further on.
        int last = -1;
        for (const std::vector<int> &run : CommandsPerRun(LogTexts(folder + "\\install.log"))) {
            for (size_t k = 0; k < run.size(); ++k) {
                int lowest = k == 0 ? std::max(last, 0) : last + 1;
                ASSERT_TRUE(run[k] >= lowest && run[k] <= last + 1)
                    << "command " << run[k] << " ran after command " << last;
                last = run[k];
            }
        }
        EXPECT_EQ(50, last);
    }
    printf("kills: %d\n", totalKills);
    EXPECT_GT(totalKills, 0) << "the soak never interrupted a run";
}

// The runs of one log: the texts from each banner on.
std::vector<std::vector<std::string>> RunTexts(const std::string &log) {
    std::vector<std::vector<std::string>> runs;
    for (const std::string &textValue : LogTexts(log)) {
        if (textValue.rfind("*** Starting ", 0) == 0) runs.emplace_back();
        if (!runs.empty()) runs.back().push_back(textValue);
    }
    return runs;
}

// A working copy that still holds every command line of its script, and no zeros.
bool WholeCopy(const std::string &copyText, const std::string &scriptText) {
    if (copyText.empty() || copyText.find('\0') != std::string::npos) return false;
    for (size_t at = scriptText.find("[CommandsList]"); at < scriptText.size();) {
        size_t end = scriptText.find("\r\n", at);
        if (copyText.find(scriptText.substr(at, end - at)) == std::string::npos) return false;
        at = end == std::string::npos ? end : end + 2;
    }
    return true;
}

// What cuts did to runs of the script, counted from the install log (outside the
// mount: every command leaves its line there) and the working copy.
struct CutTally {
    int cuts = 0, starts = 0, failedStarts = 0, repeats = 0, skips = 0, startOvers = 0, damaged = 0, ranDamaged = 0,
        lost = 0, stuck = 0;
};

bool Any(const std::vector<std::string> &texts, bool (*wanted)(const std::string &)) {
    return std::any_of(texts.begin(), texts.end(), wanted);
}

// One run of the script in the mount, cut off at random and resumed until it ends
// with "DONE !" or, five times in a row, with anything else (stuck).
void PowerCutRun(PowerCutMount &disk, const std::string &name, std::mt19937 &random, int wholeRun,
                 const std::map<std::string, std::string> &expected, CutTally &tally) {
    const std::string outside = FreshFolder("powercut_" + name), scriptFolder = disk.Folder() + "\\script";
    const std::string script = scriptFolder + "\\" + name + ".ini", log = outside + "\\install.log";
    const std::string copy = WorkingCopyOf(name + ".ini");
    CreateDirectoryA(scriptFolder.c_str(), nullptr);
    WriteFile(outside + "\\seed.txt", "seed file");
    // The script was on the disk long before the run.
    const std::string scriptText = SoakScript(outside, log);
    HANDLE file = CreateFileA(script.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    ::WriteFile(file, scriptText.data(), static_cast<DWORD>(scriptText.size()), &written, nullptr);
    FlushFileBuffers(file);
    CloseHandle(file);
    DeleteTree(copy);

    std::uniform_int_distribution<int> wait(1, std::max(400, wholeRun));
    bool finished = false, checkNext = false;
    for (int start = 0, failedInARow = 0; start < 60 && !finished && failedInARow < 5; ++start) {
        const HANDLE started = StartKestrel(script + (start == 0 ? " -silent" : " -silent -resume"));
        if (!started) break;
        ++tally.starts;
        // Waits grow with the starts, so a busy machine still lets a run get to its end.
        const bool ended = WaitForSingleObject(started, wait(random) * (1 + start / 10)) == WAIT_OBJECT_0;
        if (!ended) {
            TerminateProcess(started, 77);
            WaitForSingleObject(started, INFINITE);
        }
        CloseHandle(started);
        std::vector<std::vector<std::string>> runs = RunTexts(log);
        const std::vector<std::string> last = runs.empty() ? std::vector<std::string>() : runs.back();
        // A damaged copy found after the last cut must be restored (or, before anything
        // was saved, copied afresh from the script), never run as it stands.
        if (checkNext && Any(last, [](const std::string &t) { return t.rfind("CMD", 0) == 0; }) &&
            !Any(last, [](const std::string &t) {
                return t.find("restored from") != std::string::npos || t.find("has been copied to") != std::string::npos;
            }))
            ++tally.ranDamaged;
        checkNext = false;
        if (ended) {
            finished = !last.empty() && last.back() == "DONE !";
            failedInARow = finished ? 0 : failedInARow + 1;
            tally.failedStarts += finished ? 0 : 1;
            continue;
        }
        failedInARow = 0;
        ++tally.cuts;
        disk.Cut();
        if (Exists(copy) && !WholeCopy(ReadFile(copy), scriptText)) {
            ++tally.damaged;
            checkNext = true;
        }
    }
    // Every command once, in order: a resumed run goes on at the command cut off or the next.
    int last = -1;
    for (const std::vector<int> &run : CommandsPerRun(LogTexts(log))) {
        for (size_t k = 0; k < run.size(); ++k) {
            const int n = run[k];
            if (k == 0 && n == 0 && last > 0) ++tally.startOvers;
            if (n < last) ++tally.repeats;  // finished before the cut: only the command cut off may run again
            if (n > last + 1) tally.skips += n - last - 1;
            last = std::max(last, n);
        }
    }
    if (!finished) {
        ++tally.stuck;
        return;
    }
    if (last < 50) tally.skips += 50 - last;
    std::map<std::string, std::string> state = FinalState(outside, copy);
    for (const auto &[key, value] : expected)
        if (key != "CurrentCmd" && state[key] != value) ++tally.lost;
}

TEST(PowerCutAndResume, CutRunsEndWithoutRepeatsSkipsOrStartOvers) {
    std::string reference = FreshFolder("powercut_reference");
    WriteFile(reference + "\\seed.txt", "seed file");
    WriteFile(reference + "\\pcref.ini", SoakScript(reference, reference + "\\install.log"));
    DeleteTree(WorkingCopyOf("pcref.ini"));
    const ULONGLONG began = GetTickCount64();
    ASSERT_EQ(0, RunKestrel(reference + "\\pcref.ini -silent"));
    const int wholeRun = static_cast<int>(GetTickCount64() - began);
    const std::map<std::string, std::string> expected = FinalState(reference, WorkingCopyOf("pcref.ini"));
    const unsigned seed = SoakSeed();
    printf("power-cut seed: %u (set KESTREL_SOAK_SEED to repeat)\n", seed);
    for (const char *mode : {"drop", "zeros", "torn"}) {
        SCOPED_TRACE(std::string("mode ") + mode + ", seed " + std::to_string(seed));
        PowerCutMount disk(std::string("soak_") + mode, mode, seed);
        ASSERT_TRUE(disk.Mounted()) << disk.Reason();
        std::string temp = TempFolder();
        temp.pop_back();
        FolderInMount tempInMount(temp, disk.Folder() + "\\temp");  // the working copy and its saved state
        ASSERT_TRUE(tempInMount.Linked());
        std::mt19937 random(seed);
        CutTally tally;
        const int rounds = kWow64Build ? 2 : 4;
        for (int round = 0; round < rounds; ++round)
            PowerCutRun(disk, "pcsoak" + std::string(mode) + std::to_string(round), random, wholeRun, expected, tally);
        printf("power cut mode=%s seed=%u: %d runs, %d starts, %d cuts, %d ended without DONE; repeats %d, skips %d, "
               "start-overs %d, damaged copies %d (run as they stood %d), lost results %d, runs stuck %d\n",
               mode, disk.Seed(), rounds, tally.starts, tally.cuts, tally.failedStarts, tally.repeats, tally.skips,
               tally.startOvers, tally.damaged, tally.ranDamaged, tally.lost, tally.stuck);
        fflush(stdout);
        EXPECT_GT(tally.cuts, 0) << "no run was cut off";
        EXPECT_EQ(0, tally.stuck) << "runs never completed";
        EXPECT_EQ(0, tally.repeats) << "finished commands ran again";
        EXPECT_EQ(0, tally.skips) << "commands never ran";
        EXPECT_EQ(0, tally.startOvers) << "runs started over";
        EXPECT_EQ(0, tally.ranDamaged) << "a torn or empty working copy was run";
        EXPECT_EQ(0, tally.lost) << "results written by finished commands were lost";
    }
}

}  // namespace
