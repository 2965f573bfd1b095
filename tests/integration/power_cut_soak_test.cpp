// A run whose temporary folder lies on a disk that loses every unflushed write:
// started, killed at a random point, the power cut, started again with -resume,
// until it ends; in each mode of the cut. A resumed run goes on at the command
// that was cut off or the one after it (none repeated, none skipped, never from
// the start again), never runs a torn script, and the run ends as an
// uninterrupted one does. KESTREL_POWERCUT_CUTS sets the cuts per mode (the
// 32-bit build, emulated, makes fewer); the seeds are printed.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "powercut.h"
#include "script_run.h"
#include "test_support.h"

using namespace testing_support;

namespace {

// A restart by 20 (the soak starts the run again, as the PC's start-up would),
// a section jump, a ~%C000 folder deleted through V000, values written between
// pauses.
std::string SoakScript() {
    return Ini({"[CommandsList]", "21,,~%C000", "27,,V100,first", "13,40", "32,one", "19,Second",
                "26,,Results,k5,v5", "20", "[Second]", "32,second", "27,,V101,second", "13,40", "16,,~%V000",
                "26,,Results,k11,v11", "32,last"});
}
constexpr int kLastCommand = 12;  // [Second] is numbered on from 7

int CutsPerMode() {
    if (const char *set = getenv("KESTREL_POWERCUT_CUTS")) return std::max(1, atoi(set));
    return kWow64Build ? 40 : 200;
}

using PowerCutSoak = ScriptRun;

TEST_F(PowerCutSoak, ResumedRunsGoOnWhereTheCutLeftThemInEveryMode) {
    const int wanted = CutsPerMode();
    for (const char *mode : {"drop", "zeros", "torn"}) {
        SCOPED_TRACE(mode);
        PowerCutMount disk(std::string("kestrel_soak_") + mode, mode);
        if (!disk.Mounted()) GTEST_SKIP() << disk.Reason();
        const std::string temp = disk.Folder() + "\\temp";
        CreateDirectoryA(temp.c_str(), nullptr);
        const std::string copy = temp + "\\" + name_ + ".ini";
        std::mt19937 random(disk.Seed());
        WriteScript(SoakScript());

        // An uninterrupted run, for the time a run takes and what it leaves.
        std::string oldTemp(MAX_PATH, '\0');
        oldTemp.resize(GetEnvironmentVariableA("TMP", &oldTemp[0], MAX_PATH));
        SetEnvironmentVariableA("TMP", (temp + "\\").c_str());
        SetEnvironmentVariableA("TEMP", (temp + "\\").c_str());
        const ULONGLONG began = GetTickCount64();
        ASSERT_EQ(0, Run("-silent -noreboot"));
        ASSERT_EQ(0, Run("-silent -resume"));  // after the restart by 20
        const int wholeRun = static_cast<int>(GetTickCount64() - began) / 2;
        ASSERT_EQ("DONE !", Texts().back());

        int cuts = 0, rounds = 0, starts = 0;
        std::uniform_int_distribution<int> wait(1, std::max(50, wholeRun));
        while (cuts < wanted) {
            ++rounds;
            DeleteTree(log_);
            // A fresh start each round: a first start cut off before its copy was in
            // place would otherwise resume the last round's finished run.
            for (const char *suffix : {"", ".kjournal", ".ksave0", ".ksave1"}) DeleteTree(copy + suffix);
            bool finished = false, copyInPlace = false;
            for (int start = 0; start < 400 && !finished; ++start, ++starts) {
                // Until the first start has put its working copy in place it is
                // started again as it was: before then nothing of it is saved.
                const HANDLE started =
                    StartKestrel(script_ + (copyInPlace ? " -silent -resume" : " -silent -noreboot"));
                ASSERT_NE(nullptr, started);
                // Waits grow with the restarts, so a busy machine still gets to the end.
                const DWORD waited = WaitForSingleObject(started, wait(random) * (1 + start / 20));
                if (waited != WAIT_OBJECT_0) TerminateProcess(started, 77);
                WaitForSingleObject(started, INFINITE);
                CloseHandle(started);
                // Cut after every start, killed or ended: an ended run's state must be
                // on the disk too.
                ASSERT_TRUE(disk.Cut()) << "the layer refused the cut";
                ++cuts;
                // Ended when the last command has run and a run said DONE after it (a
                // run cut off after the last command ends at once when resumed).
                std::vector<std::string> texts = Texts();
                for (const std::string &t : texts)
                    copyInPlace = copyInPlace || t.rfind("InitINIFile() The INI file in use is ", 0) == 0;
                int lastRun = -1;
                for (const std::vector<int> &commands : CommandsPerRun(texts))
                    if (!commands.empty()) lastRun = commands.back();
                finished = !texts.empty() && texts.back() == "DONE !" && lastRun == kLastCommand;
            }
            ASSERT_TRUE(finished) << "the run never completed; seed " << disk.Seed();
            const std::vector<std::string> texts = Texts();
            for (const std::string &t : texts)
                EXPECT_NE(0u, t.rfind("ERROR-=-", 0)) << t << " (seed " << disk.Seed() << ")";
            // In order across the starts: each run begins with the command cut off
            // or the one after it.
            int last = -1;
            for (const std::vector<int> &run : CommandsPerRun(texts)) {
                for (size_t k = 0; k < run.size(); ++k) {
                    const int lowest = k == 0 ? std::max(last, 0) : last + 1;
                    ASSERT_TRUE(run[k] >= lowest && run[k] <= last + 1)
                        << "command " << run[k] << " ran after command " << last << "; seed " << disk.Seed();
                    last = run[k];
                }
            }
            EXPECT_EQ("first", ProfileString(copy, "Variables", "V100"));
            EXPECT_EQ("second", ProfileString(copy, "Variables", "V101"));
            EXPECT_EQ("v11", ProfileString(copy, "Results", "k11"));
            const std::string made = ProfileString(copy, "Variables", "V000");
            EXPECT_TRUE(!made.empty() && !Exists(made)) << "~%V000 named another folder than ~%C000 made";
            // The switch of the first start held through every cut: 20 never asked for a restart.
            EXPECT_FALSE(ContainsText(texts, "Setting to reboot system... "));
            if (HasFailure()) break;
        }
        SetEnvironmentVariableA("TMP", oldTemp.empty() ? nullptr : oldTemp.c_str());
        SetEnvironmentVariableA("TEMP", oldTemp.empty() ? nullptr : oldTemp.c_str());
        printf("power-cut soak (%s): %d cuts over %d starts, %d whole runs; seed %u\n", mode, cuts, starts, rounds,
               disk.Seed());
        fflush(stdout);
        if (HasFailure()) return;
    }
}

}  // namespace
